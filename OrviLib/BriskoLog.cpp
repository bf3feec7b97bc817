#include "BriskoLog.h"

#include "OrviDebug.h"

namespace {

constexpr BYTE kByteOrderMark[2] = {0xFF, 0xFE};

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// Formats into line (kLineChars characters, always terminated) and returns
// the length; a longer line is cut, never in the middle of a surrogate pair.
size_t FormatBoundedLine(WCHAR* line, LPCWSTR format, const orvi::fmt::Arg* args, size_t count) {
    std::u16string text;
    FormatLogLine(&text, format, args, count);
    size_t length = text.size();
    if (length > CBriskoLog::kLineChars - 1) {
        length = CBriskoLog::kLineChars - 1;
        if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
            --length;
    }
    text.copy(line, length);
    line[length] = 0;
    return length;
}

}  // namespace

CBriskoLog::CBriskoLog(LPCWSTR path) : m_path(path && *path ? path : u"\\Brisko.log") {}

CBriskoLog::~CBriskoLog() {
    bool open;
    {
        std::lock_guard guard(m_lock);
        open = m_hFile != INVALID_HANDLE_VALUE;
    }
    if (open)
        Close();
}

void CBriskoLog::WriteArgs(Output output, LPCWSTR format, const orvi::fmt::Arg* args,
                           size_t count) {
    const DWORD savedError = GetLastError();  // callers log "err=%ld" and go on using it
    WCHAR line[kLineChars];
    const size_t length = FormatBoundedLine(line, format, args, count);
    if (output == Output::FileAndDebugger)
        OutputDebugStringW(line);
    {
        std::lock_guard guard(m_lock);
        // Another handle may have been writing too (a second process): always
        // append at the current end.
        if (OpenLocked() && SetFilePointer(m_hFile, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
            WriteAll(m_hFile, line, static_cast<DWORD>(length * sizeof(WCHAR))))
            FlushFileBuffers(m_hFile);
    }
    SetLastError(savedError);
}

void CBriskoLog::Close() {
    const DWORD self = GetCurrentProcessId();
    const DWORD caller = static_cast<DWORD>(reinterpret_cast<uintptr_t>(GetCallerProcess()));
    Log(u"---End log, process: self=0x%08x, call=0x%08x---\r\n", self, caller);
    std::lock_guard guard(m_lock);
    CloseLocked();
}

bool CBriskoLog::OpenLocked() {
    if (m_hFile != INVALID_HANDLE_VALUE)
        return true;
    HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = SetFilePointer(file, 0, nullptr, FILE_END);
    if (size == 0 && !WriteAll(file, kByteOrderMark, sizeof(kByteOrderMark))) {
        CloseHandle(file);
        return false;
    }
    m_hFile = file;
    return true;
}

void CBriskoLog::CloseLocked() {
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
