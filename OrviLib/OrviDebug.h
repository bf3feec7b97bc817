// The debug log of Calvaro and Dravin: one time-stamped line per Log call,
// appended to a UTF-16LE file (byte-order mark FF FE) that starts over when
// it would grow past 10240 bytes.
//
// Line format, shared by every deliverable's log:
//   "%d-%02d-%02d %02d:%02d:%02d (%lu)\t" from the local time and the tick
//   count, then the caller's message formatted printf-style with the device's
//   rules (wformat.h). The message carries its own line end; none is added.
//
// Threads: any thread may log. Each call formats into its own buffer and
// then appends under one process-wide lock (open, seek, write, close), so
// lines never mix. Logging never reports failure: a line that cannot be
// written is dropped.
#pragma once

#include <cstddef>
#include <string>

#include "platform.h"
#include "wformat.h"

// Appends the time stamp and the formatted message to *line. When the
// arguments do not fit the format, the text formatted up to that point is
// kept.
void FormatLogLine(std::u16string* line, LPCWSTR format, const orvi::fmt::Arg* args,
                   size_t count);

void LogArgs(LPCWSTR format, const orvi::fmt::Arg* args, size_t count);

template <class... A>
void Log(LPCWSTR format, const A&... args) {
    const orvi::fmt::Arg list[] = {orvi::fmt::MakeArg(args)..., orvi::fmt::Arg{}};
    LogArgs(format, list, sizeof...(A));
}

// Chooses the log file for the following lines. A path beginning with "\" is
// used as it is; any other is taken relative to the folder of the process's
// main program. NULL or "" returns to the default, the main program's folder
// + "orvidbg.log", decided at the next line. FALSE with
// ERROR_FILENAME_EXCED_RANGE (and the previous choice kept) when the result
// would not fit in MAX_PATH characters.
BOOL SetLogFile(LPCWSTR path);

// For tests only: makes time stamps use this local time and tick count
// instead of the clock; NULL returns to the clock. Affects every log writer
// of the process.
void OrviDebugSetClockForTest(const SYSTEMTIME* localTime, DWORD tickCount);
