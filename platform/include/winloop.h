// The window framework's message loop and application module.
//
// CMessageLoop runs one thread's loop: message filters see every message
// before it is translated and dispatched, idle handlers run when the queue
// has run dry. CAppModule keeps at most one registered loop per thread, so a
// window on any thread can find the loop that serves it.
//
// Threading: a CMessageLoop belongs to the thread that runs it; filters and
// idle handlers are added and removed on that thread. CAppModule's loop table
// is shared by all threads and guarded by the module's critical section.
#pragma once

#include <algorithm>
#include <map>
#include <vector>

#include "kernelapi.h"
#include "winuser.h"

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    // TRUE when the message was handled and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    // TRUE to be called again before the loop waits.
    virtual BOOL OnIdle() = 0;
};

class CMessageLoop {
public:
    virtual ~CMessageLoop() = default;

    BOOL AddMessageFilter(CMessageFilter* filter) { return Add(m_filters, filter); }
    BOOL RemoveMessageFilter(CMessageFilter* filter) { return Remove(m_filters, filter); }
    BOOL AddIdleHandler(CIdleHandler* handler) { return Add(m_idleHandlers, handler); }
    BOOL RemoveIdleHandler(CIdleHandler* handler) { return Remove(m_idleHandlers, handler); }

    // Runs until WM_QUIT and returns its exit code.
    int Run() {
        bool doIdle = true;
        int idleCount = 0;
        for (;;) {
            while (doIdle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!OnIdle(idleCount++))
                    doIdle = false;
            }
            BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
            if (got == -1)
                continue;  // an invalid argument cannot recur; keep serving
            if (!got)
                break;
            if (!PreTranslateMessage(&m_msg)) {
                ::TranslateMessage(&m_msg);
                ::DispatchMessageW(&m_msg);
            }
            if (IsIdleMessage(&m_msg)) {
                doIdle = true;
                idleCount = 0;
            }
        }
        return static_cast<int>(m_msg.wParam);
    }

    // Filters run newest first; the first that handles the message wins.
    virtual BOOL PreTranslateMessage(MSG* msg) {
        for (size_t i = m_filters.size(); i-- > 0;) {
            if (m_filters[i]->PreTranslateMessage(msg))
                return TRUE;
        }
        return FALSE;
    }

    // Every handler runs; the loop idles again only if one asked for it.
    virtual BOOL OnIdle(int idleCount) {
        (void)idleCount;
        BOOL again = FALSE;
        // A handler may remove itself: iterate over a copy.
        std::vector<CIdleHandler*> handlers = m_idleHandlers;
        for (CIdleHandler* handler : handlers)
            again |= handler->OnIdle();
        return again;
    }

    // Messages after which idle processing starts over: not the ones that
    // come by themselves while nothing happens.
    static BOOL IsIdleMessage(const MSG* msg) {
        switch (msg->message) {
        case WM_MOUSEMOVE:
        case WM_PAINT:
        case WM_TIMER:
            return FALSE;
        default:
            return TRUE;
        }
    }

    MSG m_msg{};

private:
    template <class P>
    static BOOL Add(std::vector<P*>& list, P* item) {
        if (!item) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        list.push_back(item);
        return TRUE;
    }
    template <class P>
    static BOOL Remove(std::vector<P*>& list, P* item) {
        auto it = std::find(list.begin(), list.end(), item);
        if (it == list.end())
            return FALSE;
        list.erase(it);
        return TRUE;
    }

    std::vector<CMessageFilter*> m_filters;
    std::vector<CIdleHandler*> m_idleHandlers;
};

class CAppModule {
public:
    CAppModule() { ::InitializeCriticalSection(&m_lock); }
    ~CAppModule() { ::DeleteCriticalSection(&m_lock); }
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    // objectMap and libId are accepted for the device's signature; this
    // platform has no per-module COM registration to make from them.
    HRESULT Init(const void* objectMap, HINSTANCE instance, const void* libId = nullptr) {
        (void)objectMap;
        (void)libId;
        m_instance = instance;
        return S_OK;
    }
    // Forgets every registered loop; the loops themselves belong to callers.
    void Term() {
        ::EnterCriticalSection(&m_lock);
        m_loops.clear();
        ::LeaveCriticalSection(&m_lock);
        m_instance = nullptr;
    }

    HINSTANCE GetModuleInstance() const { return m_instance; }
    HINSTANCE GetResourceInstance() const { return m_instance; }

    // Registers the calling thread's loop; FALSE when the thread has one.
    BOOL AddMessageLoop(CMessageLoop* loop) {
        if (!loop) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ::EnterCriticalSection(&m_lock);
        bool added = m_loops.emplace(::GetCurrentThreadId(), loop).second;
        ::LeaveCriticalSection(&m_lock);
        return added ? TRUE : FALSE;
    }
    // Unregisters the calling thread's loop; FALSE when it had none.
    BOOL RemoveMessageLoop() {
        ::EnterCriticalSection(&m_lock);
        bool removed = m_loops.erase(::GetCurrentThreadId()) != 0;
        ::LeaveCriticalSection(&m_lock);
        return removed ? TRUE : FALSE;
    }
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) {
        ::EnterCriticalSection(&m_lock);
        auto it = m_loops.find(threadId);
        CMessageLoop* loop = it == m_loops.end() ? nullptr : it->second;
        ::LeaveCriticalSection(&m_lock);
        return loop;
    }

private:
    CRITICAL_SECTION m_lock;
    HINSTANCE m_instance = nullptr;
    std::map<DWORD, CMessageLoop*> m_loops;
};
