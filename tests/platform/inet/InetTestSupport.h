// Shared helpers of the internet service tests: a status-callback recorder
// and a session / request against the local test server.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "TestHttpServer.h"
#include "platform.h"

namespace orvi::test {

struct StatusEvent {
    HINTERNET handle;
    DWORD status;
    DWORD_PTR result;  // INTERNET_ASYNC_RESULT::dwResult, or the DWORD of 41
    DWORD error;
};

// Records every status callback; the context of each handle points at it.
class StatusRecorder {
public:
    static void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                  DWORD length);

    // Waits for the next event of `status` on `handle` (null: any handle)
    // after those already taken; false after 10 s.
    bool Next(DWORD status, HINTERNET handle, StatusEvent* event = nullptr);
    std::vector<StatusEvent> Events();
    DWORD_PTR Context() { return reinterpret_cast<DWORD_PTR>(this); }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<StatusEvent> m_events;
    size_t m_taken = 0;
};

// An asynchronous session with the recorder installed.
class AsyncSession {
public:
    explicit AsyncSession(DWORD accessType = INTERNET_OPEN_TYPE_DIRECT, LPCWSTR proxy = nullptr);
    ~AsyncSession();
    HINTERNET Session() const { return m_session; }
    StatusRecorder& Recorder() { return m_recorder; }

    // GET of `path` on 127.0.0.1:port through InternetConnectW / HttpOpenRequestW /
    // HttpSendRequestW; waits for the send to complete. Null on failure.
    HINTERNET Get(std::uint16_t port, LPCWSTR path, LPCWSTR headers = nullptr);
    // InternetOpenUrlW; waits for REQUEST_COMPLETE and returns its handle.
    HINTERNET OpenUrl(const std::string& url, StatusEvent* completion = nullptr);
    // Reads the whole body with asynchronous InternetReadFileExA; false and
    // *error on a failed read.
    bool ReadAll(HINTERNET request, std::string& body, DWORD* error = nullptr);

private:
    StatusRecorder m_recorder;
    HINTERNET m_session = nullptr;
};

std::u16string Wide(const std::string& text);

}  // namespace orvi::test
