// Internal functions shared by the window system's API files. Nothing outside
// platform/ includes this header.
//
// Locking: one lock (TreeLock) guards the window tree, the classes, the
// per-thread state (sent messages, timers) and focus/activation. It is never
// held while a window procedure, GDI or the display runs, so a procedure may
// call any API. Window procedures run only on the owner thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Region.h"
#include "kernel/MessageQueue.h"
#include "platform.h"

namespace orvi::user {

struct WindowClass {
    std::u16string name;
    HINSTANCE instance = nullptr;
    WNDCLASSW info{};  // lpszClassName/lpszMenuName point into name/menuName
    std::u16string menuName;
    ATOM atom = 0;
    int windowCount = 0;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    DWORD threadId = 0;
    HWND parent = nullptr;  // nullptr for top-level windows
    HWND owner = nullptr;
    std::vector<HWND> children;  // z-order, topmost first
    RECT rect{};                 // in the parent's client coordinates (screen for top-level)
    DWORD style = 0;
    DWORD exStyle = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    UINT_PTR id = 0;
    std::u16string text;
    std::vector<BYTE> extra;
    std::vector<std::pair<std::u16string, HANDLE>> props;
    Region update;  // client coordinates
    bool erasePending = false;
    bool destroying = false;
    bool created = false;  // WM_CREATE succeeded
};

// ---- the tree (WindowTree.cpp) ------------------------------------------------
std::mutex& TreeLock();
// Lookups need TreeLock; nullptr for an unknown or foreign handle.
Window* FindLocked(HWND hwnd);
// Sets ERROR_INVALID_WINDOW_HANDLE when the window does not exist here.
Window* FindCheckedLocked(HWND hwnd);
// The process-wide list of top-level windows, topmost first.
std::vector<HWND>& TopLevelLocked();
// What a disabled window under the point means: WindowFromPoint finds it;
// stylus input goes nowhere (the window swallows the tap).
enum class DisabledWindows { Found, Block };
// Deepest shown window under a screen point, starting from a sibling list
// (topmost first); nullptr when none, or when a disabled one blocks.
HWND WindowAtLocked(const std::vector<HWND>& list, POINT pt, DisabledWindows disabled);
std::vector<HWND>& SiblingsLocked(const Window& w);
HWND NewHandleLocked();
Window* InsertLocked(std::unique_ptr<Window> w);
void RemoveLocked(HWND hwnd);
// Every window of the process, in no particular order.
std::vector<HWND> AllWindowsLocked();
// The pid encoded in a handle; this process's for local ones.
DWORD ProcessOfHandle(HWND hwnd);
bool IsForeignHandle(HWND hwnd);
HWND DesktopHandle();
// True when the window and all its ancestors are visible.
bool IsShownLocked(const Window& w);
HWND TopLevelOfLocked(HWND hwnd);
bool IsDescendantLocked(HWND ancestor, HWND hwnd);
// Rectangles in screen coordinates.
RECT WindowScreenRectLocked(const Window& w);
RECT ClientScreenRectLocked(const Window& w);
RECT ClientRectLocked(const Window& w);  // origin (0,0)
// Places w in its sibling list per SetWindowPos's insert-after rules.
void ZOrderLocked(Window& w, HWND insertAfter);

// ---- classes (WindowClasses.cpp) ----------------------------------------------
// The class registered by the instance, else one of that name registered by
// any instance. `name` may be an atom (MAKEINTATOM).
std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name, HINSTANCE instance);
bool IsAtomName(LPCWSTR name);
// Case-insensitive comparison of class names and properties.
bool SameName(std::u16string_view a, std::u16string_view b);

// ---- messages (MessageSender.cpp) ---------------------------------------------
// Calls the window's procedure on the calling (owner) thread.
LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
enum class SendMode { Normal, Block, Notify };
// Sends to a window of this process, on whichever thread owns it. Returns
// false with the last error set (ERROR_TIMEOUT, ERROR_INVALID_WINDOW_HANDLE).
// `foreign` marks a message relayed from another process.
bool SendLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, SendMode mode, DWORD timeoutMs,
               bool abortIfHung, bool foreign, LRESULT* result);
// A message the window system itself sends to a window of this process
// (creation, sizing, focus): waits as long as it takes, result or 0.
LRESULT SendOwner(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool PostLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Wakes the owner thread of a window so it re-reads its queue state.
void WakeOwnerLocked(const Window& w);
// Creates the calling thread's window-system state (idempotent); installs
// the queue hooks on first use.
void EnsureThreadState();
// Window threads of this process with their queues, for the idle check.
bool AllThreadsIdle();
// Called when a window goes: senders waiting on it are released.
void ForgetWindowLocked(HWND hwnd);
// InSendMessageEx of the message the calling thread is handling.
DWORD CurrentSendFlags();
bool ReplyToCurrent(LRESULT result);
DWORD QueueBitOf(UINT message);
// Handles the messages other threads sent to the calling thread.
void DispatchIncomingSent();

// ---- timers (Timers.cpp) ------------------------------------------------------
UINT_PTR SetTimerInternal(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
bool KillTimerInternal(HWND hwnd, UINT_PTR id);
void KillWindowTimersLocked(HWND hwnd);
// For the calling thread, under TreeLock.
bool TimerDueLocked(DWORD threadId);
DWORD MsUntilNextTimerLocked(DWORD threadId);
bool TakeTimerLocked(DWORD threadId, const kernel::MessageFilter& filter, bool remove, MSG* msg);
void ForgetThreadTimersLocked(DWORD threadId);
// Whether a WM_TIMER's procedure is one this thread set (takes TreeLock).
bool IsLiveTimerProc(HWND hwnd, UINT_PTR id, TIMERPROC proc);

// ---- painting (Painting.cpp, VisibleRegion.cpp) ---------------------------------
// Adds client-coordinate area to the update region (children too when the
// window does not clip them); wakes the owner.
void InvalidateLocked(Window& w, const RECT* area, bool erase);
void ValidateLocked(Window& w, const RECT* area);
bool NeedsPaintLocked(const Window& w);
bool TakePaintLocked(DWORD threadId, const kernel::MessageFilter& filter, MSG* msg);
// What of the window can be drawn, in screen coordinates.
Region VisibleRegionLocked(const Window& w, bool client);
// Invalidates (with erase) whatever lies under a screen area, except
// `except` and its descendants, and fills bare desktop. Takes TreeLock.
void ExposeScreenArea(const RECT& area, HWND except);
LRESULT DefEraseBackground(HWND hwnd, HDC hdc);

// ---- focus and activation (Activation.cpp) -----------------------------------
struct InputState {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND foreground = nullptr;
    HWND capture = nullptr;
};
InputState& InputLocked();
HWND SetFocusInternal(HWND hwnd);
HWND SetActiveInternal(HWND hwnd);
bool SetForegroundInternal(HWND hwnd);
HWND SetCaptureInternal(HWND hwnd);
void ReleaseCaptureInternal();
// A window going away or hidden: focus, activation and capture move on.
void LoseInputState(HWND hwnd);

// ---- positions (WindowPos.cpp) -----------------------------------------------
bool SetWindowPosInternal(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool ShowWindowInternal(HWND hwnd, int cmd);

// ---- creation (WindowLifecycle.cpp) ------------------------------------------
HWND CreateWindowInternal(const CREATESTRUCTW& cs, const std::shared_ptr<WindowClass>& cls);
bool DestroyWindowInternal(HWND hwnd);
// Drops the windows of a thread that ends without destroying them.
void DropThreadWindows(DWORD threadId);

// ---- other processes (RemoteLink.cpp, Announcements.cpp) -----------------------
void AnnounceWindow(HWND hwnd, const std::u16string& cls, const std::u16string& title);
void WithdrawWindow(HWND hwnd);
HWND FindAnnouncedWindow(const WCHAR* cls, const WCHAR* title);
bool AnnouncedInfo(HWND hwnd, std::u16string* cls, std::u16string* title);
std::vector<HWND> AnnouncedWindowsOfOthers();
enum class RemoteOp : uint32_t { Post = 1, Send = 2, Foreground = 3 };
// Delivers to another process's window. Fails with
// ERROR_INVALID_WINDOW_HANDLE (gone), ERROR_ACCESS_DENIED (refused at the
// boundary) or ERROR_TIMEOUT.
bool RemoteCall(RemoteOp op, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                LRESULT* result);
// Starts this process's listener; idempotent.
void EnsureListener();
// Whether a message of another process may be handed to a window procedure.
bool CrossesProcessBoundary(UINT msg, WPARAM wParam, LPARAM lParam);

// ---- keyboard (Input.cpp) ----------------------------------------------------
void NoteKey(UINT vk, bool down);
bool KeyDown(UINT vk);

}  // namespace orvi::user
