#include "OrviDebug.h"

#include <mutex>

#include "moduleapi.h"

namespace {

constexpr DWORD kSizeLimit = 10240;
constexpr BYTE kByteOrderMark[2] = {0xFF, 0xFE};
constexpr WCHAR kEmptyUpon[] = u"--Empty upon--\r\n";
constexpr WCHAR kDefaultName[] = u"orvidbg.log";

struct TestClock {
    std::mutex lock;
    bool active = false;
    SYSTEMTIME localTime{};
    DWORD tickCount = 0;
};

// The writer's state. The path stays empty until the first line (or
// SetLogFile) decides it.
struct LogWriter {
    std::mutex lock;
    WCHAR path[MAX_PATH] = {};
    DWORD sizeLimit = kSizeLimit;
};

// Both live until exit: other threads may still log while statics are torn
// down.
TestClock& Clock() {
    static auto* clock = new TestClock;
    return *clock;
}

LogWriter& Writer() {
    static auto* writer = new LogWriter;
    return *writer;
}

void ReadClock(SYSTEMTIME* localTime, DWORD* tickCount) {
    {
        auto& clock = Clock();
        std::lock_guard guard(clock.lock);
        if (clock.active) {
            *localTime = clock.localTime;
            *tickCount = clock.tickCount;
            return;
        }
    }
    GetLocalTime(localTime);
    *tickCount = GetTickCount();
}

// Joins the main program's folder (up to and including its last "\") and
// name into path. The root stands in when the program's name is unknown.
bool BesideMainProgram(LPCWSTR name, WCHAR path[MAX_PATH]) {
    WCHAR program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    size_t folder = 0;
    if (length > 0 && length < MAX_PATH) {
        for (DWORD i = 0; i < length; ++i) {
            if (program[i] == u'\\')
                folder = i + 1;
        }
    }
    if (folder == 0) {
        program[0] = u'\\';
        folder = 1;
    }
    size_t nameLength = wcslen(name);
    if (folder + nameLength >= MAX_PATH)
        return false;
    for (size_t i = 0; i < folder; ++i)
        path[i] = program[i];
    for (size_t i = 0; i <= nameLength; ++i)
        path[folder + i] = name[i];
    return true;
}

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

HANDLE OpenOrCreate(LPCWSTR path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // A second try covers another process creating the file between the two
    // calls.
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        file = CreateFileW(path, GENERIC_WRITE, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return INVALID_HANDLE_VALUE;
}

// Appends one line; the caller holds the writer's lock. A new (empty) file
// gets its byte-order mark first; a line that would take the file past the
// limit starts it over behind the mark.
void AppendLine(LogWriter& writer, const std::u16string& line) {
    HANDLE file = OpenOrCreate(writer.path);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const uint64_t lineBytes = uint64_t{line.size()} * sizeof(WCHAR);
    DWORD size = SetFilePointer(file, 0, nullptr, FILE_END);
    bool ready = size != INVALID_SET_FILE_POINTER && lineBytes <= 0xFFFFFFFFu;
    if (ready && size == 0) {
        ready = WriteAll(file, kByteOrderMark, sizeof(kByteOrderMark));
        size = sizeof(kByteOrderMark);
    }
    if (ready && size + lineBytes > writer.sizeLimit) {
        ready = SetFilePointer(file, sizeof(kByteOrderMark), nullptr, FILE_BEGIN) == sizeof(kByteOrderMark) &&
                WriteAll(file, kEmptyUpon, sizeof(kEmptyUpon) - sizeof(WCHAR)) && SetEndOfFile(file);
    }
    if (ready)
        WriteAll(file, line.data(), static_cast<DWORD>(lineBytes));
    CloseHandle(file);
}

}  // namespace

void FormatLogLine(std::u16string* line, LPCWSTR format, const orvi::fmt::Arg* args,
                   size_t count) {
    SYSTEMTIME now;
    DWORD tick;
    ReadClock(&now, &tick);
    orvi::fmt::Format(line, u"%d-%02d-%02d %02d:%02d:%02d (%lu)\t", int{now.wYear},
                      int{now.wMonth}, int{now.wDay}, int{now.wHour}, int{now.wMinute},
                      int{now.wSecond}, tick);
    orvi::fmt::FormatArgs(line, format ? format : u"", args, count);
}

void LogArgs(LPCWSTR format, const orvi::fmt::Arg* args, size_t count) {
    const DWORD savedError = GetLastError();  // callers log "err=%ld" and go on using it
    std::u16string line;
    FormatLogLine(&line, format, args, count);
    auto& writer = Writer();
    {
        std::lock_guard guard(writer.lock);
        if (writer.path[0] != 0 || BesideMainProgram(kDefaultName, writer.path))
            AppendLine(writer, line);
    }
    SetLastError(savedError);
}

BOOL SetLogFile(LPCWSTR path) {
    WCHAR resolved[MAX_PATH] = {};
    if (path && path[0] == u'\\') {
        size_t length = wcslen(path);
        if (length >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return FALSE;
        }
        for (size_t i = 0; i <= length; ++i)
            resolved[i] = path[i];
    } else if (path && path[0] != 0 && !BesideMainProgram(path, resolved)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    auto& writer = Writer();
    std::lock_guard guard(writer.lock);
    for (size_t i = 0; i < MAX_PATH; ++i)
        writer.path[i] = resolved[i];
    return TRUE;
}

void OrviDebugSetClockForTest(const SYSTEMTIME* localTime, DWORD tickCount) {
    auto& clock = Clock();
    std::lock_guard guard(clock.lock);
    clock.active = localTime != nullptr;
    if (localTime)
        clock.localTime = *localTime;
    clock.tickCount = tickCount;
}
