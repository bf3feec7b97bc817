// The window framework's window classes: CWindow, a thin wrapper of a window
// handle, and CWindowImpl, which binds a C++ object to a window of its own
// class (or to a subclassed window) and hands every message to one virtual
// ProcessWindowMessage.
//
// Ownership: a CWindow never owns its window. A CWindowImpl object must
// outlive its window; it is told of the window's last message through
// OnFinalMessage, after which m_hWnd is null again.
#pragma once

#include <string>
#include <typeinfo>

#include "winuser.h"

class CWindow {
public:
    HWND m_hWnd;

    CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
    CWindow& operator=(HWND hWnd) {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach() {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }

    HWND Create(LPCWSTR className, HWND parent, const RECT* rect, LPCWSTR name, DWORD style,
                DWORD exStyle = 0, UINT_PTR id = 0, LPVOID param = nullptr) {
        RECT rc = rect ? *rect : RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
        bool useDefault = rect == nullptr;
        m_hWnd = ::CreateWindowExW(exStyle, className, name, style, rc.left, rc.top,
                                   useDefault ? CW_USEDEFAULT : rc.right - rc.left,
                                   useDefault ? CW_USEDEFAULT : rc.bottom - rc.top, parent,
                                   reinterpret_cast<HMENU>(id), nullptr, param);
        return m_hWnd;
    }
    BOOL DestroyWindow() {
        if (!::DestroyWindow(m_hWnd))
            return FALSE;
        m_hWnd = nullptr;
        return TRUE;
    }

    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL InvalidateRect(const RECT* rect, BOOL erase = TRUE) {
        return ::InvalidateRect(m_hWnd, rect, erase);
    }
    BOOL ValidateRect(const RECT* rect) { return ::ValidateRect(m_hWnd, rect); }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }

    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    BOOL MoveWindow(const RECT* rect, BOOL repaint = TRUE) {
        return MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                          repaint);
    }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL ClientToScreen(POINT* point) const { return ::ClientToScreen(m_hWnd, point); }
    BOOL ScreenToClient(POINT* point) const { return ::ScreenToClient(m_hWnd, point); }

    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND SetParent(HWND parent) { return ::SetParent(m_hWnd, parent); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    BOOL IsChild(HWND hWnd) const { return ::IsChild(m_hWnd, hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }

    BOOL SetWindowText(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR buffer, int size) const {
        return ::GetWindowTextW(m_hWnd, buffer, size);
    }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    // Changes the style bits; flags other than 0 are handed to SetWindowPos so
    // the frame is recomputed, as the device's framework does.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0) {
        return ModifyLong(GWL_STYLE, remove, add, flags);
    }
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0) {
        return ModifyLong(GWL_EXSTYLE, remove, add, flags);
    }
    LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtrW(m_hWnd, index); }
    LONG_PTR SetWindowLongPtr(int index, LONG_PTR value) {
        return ::SetWindowLongPtrW(m_hWnd, index, value);
    }

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) {
        return ::SetTimer(m_hWnd, id, elapse, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    HDC GetDC() { return ::GetDC(m_hWnd); }
    int ReleaseDC(HDC hdc) { return ::ReleaseDC(m_hWnd, hdc); }

private:
    BOOL ModifyLong(int index, DWORD remove, DWORD add, UINT flags) {
        DWORD old = static_cast<DWORD>(::GetWindowLongW(m_hWnd, index));
        DWORD changed = (old & ~remove) | add;
        if (changed == old)
            return FALSE;
        ::SetWindowLongW(m_hWnd, index, static_cast<LONG>(changed));
        if (flags)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
        return TRUE;
    }
};

// Style defaults of a CWindowImpl class; a class overrides GetWndStyle and
// GetWndExStyle to change them.
template <DWORD t_style = 0, DWORD t_exStyle = 0>
struct CWinTraits {
    static DWORD GetWndStyle(DWORD style) { return style == 0 ? t_style : style; }
    static DWORD GetWndExStyle(DWORD exStyle) { return exStyle == 0 ? t_exStyle : exStyle; }
};
typedef CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0> CControlWinTraits;
// The device's main windows have no border or caption of their own: the
// shell's navigation bar shows the caption.
typedef CWinTraits<WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0> CFrameWinTraits;

namespace orvi::framework {

// The property that binds a window to its framework object.
inline constexpr WCHAR kObjectProperty[] = u"OrviFrameworkObject";

// Registers a window class once per process (a class that exists already is
// fine); returns FALSE when registration fails.
inline BOOL RegisterFrameworkClass(LPCWSTR className, UINT classStyle, HBRUSH background,
                                   WNDPROC startProc) {
    WNDCLASSW existing{};
    if (::GetClassInfoW(nullptr, className, &existing))
        return TRUE;
    WNDCLASSW wc{};
    wc.style = classStyle;
    wc.lpfnWndProc = startProc;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The object a window being created on this thread is to be bound to; taken
// by the window's first message.
inline void*& PendingObject() {
    thread_local void* t_pending = nullptr;
    return t_pending;
}

// The non-template half of CWindowImpl over a wrapper base (CWindow or a
// control wrapper): the binding of an object to its window, the procedure
// every bound window runs, and subclassing.
template <class TBase = CWindow>
class CWindowImplRoot : public TBase {
public:
    virtual ~CWindowImplRoot() = default;

    // Handles one message: returns TRUE with lResult set when handled, FALSE
    // to let the default (or the subclassed window's own) procedure run.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD msgMapId = 0) = 0;
    // Called after the window's last message; the object may delete itself.
    virtual void OnFinalMessage(HWND hWnd) { (void)hWnd; }

    // The message being handled, for handlers that need the raw parameters.
    const MSG* GetCurrentMessage() const { return m_currentMessage; }

    // Binds this object to an existing window by replacing its procedure.
    BOOL SubclassWindow(HWND hWnd) {
        if (this->m_hWnd || !::IsWindow(hWnd))
            return FALSE;
        this->m_hWnd = hWnd;
        ::SetPropW(hWnd, kObjectProperty, static_cast<HANDLE>(this));
        m_superWindowProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
            hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindowImplRoot::WindowProc)));
        return TRUE;
    }
    // Gives the window its own procedure back and returns the window.
    HWND UnsubclassWindow() {
        HWND hWnd = this->m_hWnd;
        if (!hWnd)
            return nullptr;
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superWindowProc));
        ::RemovePropW(hWnd, kObjectProperty);
        m_superWindowProc = ::DefWindowProcW;
        this->m_hWnd = nullptr;
        return hWnd;
    }
    // Runs the procedure the window had before this object took it (or
    // DefWindowProcW), for messages a handler passes on.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::CallWindowProcW(m_superWindowProc, this->m_hWnd, message, wParam, lParam);
    }
    LRESULT DefWindowProc() {
        const MSG* msg = m_currentMessage;
        return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
    }

protected:
    HWND CreateBound(LPCWSTR className, HWND parent, const RECT* rect, LPCWSTR name, DWORD style,
                     DWORD exStyle, UINT_PTR id, LPVOID param) {
        if (this->m_hWnd) {
            ::SetLastError(ERROR_INVALID_PARAMETER);  // one window per object
            return nullptr;
        }
        PendingObject() = this;
        HWND hWnd = CWindow::Create(className, parent, rect, name, style, exStyle, id, param);
        PendingObject() = nullptr;  // creation failed before the first message
        if (!hWnd)
            this->m_hWnd = nullptr;
        return hWnd;
    }

    // The class procedure of framework classes: binds the pending object on
    // the window's first message, then hands over to WindowProc for good.
    static LRESULT CALLBACK StartWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<CWindowImplRoot*>(PendingObject());
        if (!self)
            return ::DefWindowProcW(hWnd, message, wParam, lParam);
        PendingObject() = nullptr;
        self->m_hWnd = hWnd;
        ::SetPropW(hWnd, kObjectProperty, static_cast<HANDLE>(self));
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC,
                            reinterpret_cast<LONG_PTR>(&CWindowImplRoot::WindowProc));
        return WindowProc(hWnd, message, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<CWindowImplRoot*>(::GetPropW(hWnd, kObjectProperty));
        if (!self)
            return ::DefWindowProcW(hWnd, message, wParam, lParam);
        return self->Dispatch(hWnd, message, wParam, lParam);
    }

    WNDPROC m_superWindowProc = ::DefWindowProcW;

private:
    LRESULT Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        MSG msg{hWnd, message, wParam, lParam, 0, {0, 0}};
        const MSG* outer = m_currentMessage;
        m_currentMessage = &msg;
        LRESULT result = 0;
        if (!ProcessWindowMessage(hWnd, message, wParam, lParam, result, 0))
            result = DefWindowProc(message, wParam, lParam);
        m_currentMessage = outer;
        if (message == WM_NCDESTROY)
            Finish(hWnd);
        return result;
    }
    // The window is gone: unbind, then let the object know (it may delete
    // itself, so nothing touches it afterwards).
    void Finish(HWND hWnd) {
        ::RemovePropW(hWnd, kObjectProperty);
        m_superWindowProc = ::DefWindowProcW;
        this->m_hWnd = nullptr;
        OnFinalMessage(hWnd);
    }

    const MSG* m_currentMessage = nullptr;
};

}  // namespace orvi::framework

// A window of its own class, bound to an object of T. T may name its class
// with a static GetWndClassName() (default: a name made from the type) and
// give the class style and background with GetWndClassStyle() and
// GetWndClassBackground().
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public orvi::framework::CWindowImplRoot<TBase> {
public:
    static LPCWSTR GetWndClassName() { return nullptr; }
    static UINT GetWndClassStyle() { return CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS; }
    static HBRUSH GetWndClassBackground() { return reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1); }

    HWND Create(HWND parent, const RECT* rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
                DWORD exStyle = 0, UINT_PTR id = 0, LPVOID param = nullptr) {
        LPCWSTR className = ClassName();
        if (!orvi::framework::RegisterFrameworkClass(className, T::GetWndClassStyle(),
                                                      T::GetWndClassBackground(),
                                                      &CWindowImpl::StartWindowProc))
            return nullptr;
        return this->CreateBound(className, parent, rect, name, TWinTraits::GetWndStyle(style),
                                 TWinTraits::GetWndExStyle(exStyle), id, param);
    }

private:
    static LPCWSTR ClassName() {
        if (LPCWSTR name = T::GetWndClassName())
            return name;
        // One generated name per T, stable for the process's life.
        static const std::u16string s_generated = MakeGeneratedName();
        return s_generated.c_str();
    }
    static std::u16string MakeGeneratedName() {
        std::u16string name = u"OrviWnd:";
        for (const char* p = typeid(T).name(); *p; ++p)
            name += static_cast<char16_t>(static_cast<unsigned char>(*p));
        return name;
    }
};
