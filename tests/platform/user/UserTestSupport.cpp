#include "UserTestSupport.h"

#include <atomic>
#include <cstdlib>
#include <memory>

namespace orvi::test {

namespace {
// Windows announce themselves under the device root: the whole program gets
// a temporary one (a child process inherits its parent's).
struct ProgramRoot {
    std::unique_ptr<TempDeviceRoot> root;
    ProgramRoot() {
        if (!getenv("ORVI_TEST_CHILD"))
            root = std::make_unique<TempDeviceRoot>();
    }
} s_programRoot;
}  // namespace

MessageLog& Log() {
    static MessageLog log;
    return log;
}

LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Log().Add({hwnd, msg, wParam, lParam});
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::u16string UniqueClass(WNDPROC proc, HBRUSH background, int extraBytes) {
    static std::atomic<int> counter{0};
    std::string name = "OrviTestClass" + std::to_string(counter++);
    std::u16string cls(name.begin(), name.end());
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = cls.c_str();
    wc.hbrBackground = background;
    wc.cbWndExtra = extraBytes;
    EXPECT_NE(RegisterClassW(&wc), 0);
    return cls;
}

HWND MakeTopLevel(const std::u16string& cls, RECT r, DWORD style) {
    return CreateWindowExW(0, cls.c_str(), u"top", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           nullptr, nullptr, nullptr, nullptr);
}

HWND MakeChild(const std::u16string& cls, HWND parent, RECT r, int id, DWORD style) {
    return CreateWindowExW(0, cls.c_str(), u"child", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

void PumpPending() {
    MSG msg;
    // Bounded: a window that never validates would keep WM_PAINT coming.
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

namespace {
DWORD RunFunction(LPVOID param) {
    std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(param));
    (*fn)();
    return 0;
}
}  // namespace

HANDLE StartThread(std::function<void()> fn) {
    auto* heapFn = new std::function<void()>(std::move(fn));
    return CreateThread(nullptr, 0, RunFunction, heapFn, 0, nullptr);
}

}  // namespace orvi::test
