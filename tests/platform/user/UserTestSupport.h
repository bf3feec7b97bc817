// Helpers shared by the window-system tests: a message recorder, window
// classes with unique names, threads running lambdas and a bounded pump.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform.h"

namespace orvi::test {

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Messages seen by RecordingProc, from any thread.
class MessageLog {
public:
    void Add(const Logged& m) {
        std::lock_guard guard(m_lock);
        m_entries.push_back(m);
    }
    std::vector<Logged> Take() {
        std::lock_guard guard(m_lock);
        return std::move(m_entries);
    }
    // The messages of the given kinds, in order.
    std::vector<std::pair<HWND, UINT>> Only(std::initializer_list<UINT> kinds) {
        std::lock_guard guard(m_lock);
        std::vector<std::pair<HWND, UINT>> out;
        for (auto& e : m_entries)
            for (UINT k : kinds)
                if (e.msg == k)
                    out.emplace_back(e.hwnd, e.msg);
        return out;
    }
    void Clear() {
        std::lock_guard guard(m_lock);
        m_entries.clear();
    }

private:
    std::mutex m_lock;
    std::vector<Logged> m_entries;
};

MessageLog& Log();
// Logs every message, then DefWindowProcW.
LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Registers a class with a name unique to this process run.
std::u16string UniqueClass(WNDPROC proc, HBRUSH background = nullptr, int extraBytes = 0);
HWND MakeTopLevel(const std::u16string& cls, RECT r, DWORD style = WS_VISIBLE);
HWND MakeChild(const std::u16string& cls, HWND parent, RECT r, int id = 0,
               DWORD style = WS_VISIBLE | WS_CHILD);
// Dispatches messages until pred holds or the time runs out.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);
// Dispatches what is queued now (and generated paint/timers) once.
void PumpPending();
// A platform thread running fn; close the handle after waiting.
HANDLE StartThread(std::function<void()> fn);

}  // namespace orvi::test
