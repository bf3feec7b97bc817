// CBriskoLog: the Today plug-in's debug log. Unlike the program's log
// (OrviDebug.h) it keeps its file open between lines, flushes after each
// line and never starts the file over. Lines have the same format: the
// time stamp of FormatLogLine, then the message.
//
// The file is opened (or created, with the byte-order mark FF FE when it is
// empty) by the first line and stays open until Close. A line is limited to
// kLineChars - 1 characters; a longer one is cut. A line that cannot be
// written is dropped; nothing is reported to the caller.
//
// Threads: any thread may log through one object. Formatting happens in the
// caller's own buffer; writing, flushing, opening and closing are serialised
// by the object, so lines never mix.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "platform.h"
#include "wformat.h"

class CBriskoLog {
public:
    static constexpr size_t kLineChars = 2048;

    // path NULL or "" means "\Brisko.log" at the root of the device.
    explicit CBriskoLog(LPCWSTR path = nullptr);
    // Writes the closing line (Close) when the file is still open, which is
    // what unloading the plug-in does with its log.
    ~CBriskoLog();
    CBriskoLog(const CBriskoLog&) = delete;
    CBriskoLog& operator=(const CBriskoLog&) = delete;

    // Appends one line to the file.
    template <class... A>
    void Log(LPCWSTR format, const A&... args) {
        const orvi::fmt::Arg list[] = {orvi::fmt::MakeArg(args)..., orvi::fmt::Arg{}};
        WriteArgs(Output::File, format, list, sizeof...(A));
    }
    // Appends one line and passes it to the debugger output as well.
    template <class... A>
    void Trace(LPCWSTR format, const A&... args) {
        const orvi::fmt::Arg list[] = {orvi::fmt::MakeArg(args)..., orvi::fmt::Arg{}};
        WriteArgs(Output::FileAndDebugger, format, list, sizeof...(A));
    }

    // Writes "---End log, process: self=0x%08x, call=0x%08x---\r\n" with the
    // current and the calling process ids and closes the file. A later line
    // opens it again.
    void Close();

    enum class Output { File, FileAndDebugger };
    void WriteArgs(Output output, LPCWSTR format, const orvi::fmt::Arg* args, size_t count);

private:
    bool OpenLocked();
    void CloseLocked();

    std::mutex m_lock;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    std::u16string m_path;
};
