// API entry points: window longs and extra bytes, text, properties and
// window procedures.
#include <algorithm>
#include <cstring>

#include "internal.h"

using namespace orvi::user;

namespace {

bool ReadLongLocked(Window& w, int index, LONG_PTR* value) {
    switch (index) {
    case GWL_WNDPROC:
        *value = reinterpret_cast<LONG_PTR>(w.proc);
        return true;
    case GWL_HINSTANCE:
        *value = reinterpret_cast<LONG_PTR>(w.instance);
        return true;
    case GWL_HWNDPARENT:
        *value = reinterpret_cast<LONG_PTR>(w.parent ? w.parent : w.owner);
        return true;
    case GWL_ID:
        *value = static_cast<LONG_PTR>(w.id);
        return true;
    case GWL_STYLE:
        *value = static_cast<LONG>(w.style);
        return true;
    case GWL_EXSTYLE:
        *value = static_cast<LONG>(w.exStyle);
        return true;
    case GWL_USERDATA:
        *value = w.userData;
        return true;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
}

bool WriteLongLocked(Window& w, int index, LONG_PTR value) {
    switch (index) {
    case GWL_WNDPROC:
        if (!value) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        w.proc = reinterpret_cast<WNDPROC>(value);
        return true;
    case GWL_HINSTANCE:
        w.instance = reinterpret_cast<HINSTANCE>(value);
        return true;
    case GWL_HWNDPARENT:
        if (w.parent) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        w.owner = reinterpret_cast<HWND>(value);
        return true;
    case GWL_ID:
        w.id = static_cast<UINT_PTR>(value);
        return true;
    case GWL_STYLE:
        w.style = static_cast<DWORD>(value);
        return true;
    case GWL_EXSTYLE:
        w.exStyle = static_cast<DWORD>(value);
        return true;
    case GWL_USERDATA:
        w.userData = value;
        return true;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
}

// Reads or writes `size` bytes of the window's extra storage at `index`.
bool ExtraBytesLocked(Window& w, int index, size_t size, LONG_PTR* value, const LONG_PTR* newValue) {
    if (static_cast<size_t>(index) + size > w.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    int64_t old = 0;
    std::memcpy(&old, w.extra.data() + index, size);
    if (size == sizeof(LONG))
        old = static_cast<LONG>(old);
    *value = static_cast<LONG_PTR>(old);
    if (newValue)
        std::memcpy(w.extra.data() + index, newValue, size);
    return true;
}

// Get (newValue null) or set a long; pointer-sized unless `narrow`.
LONG_PTR AccessLong(HWND hwnd, int index, const LONG_PTR* newValue, bool narrow) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hwnd);
    if (!w)
        return 0;
    LONG_PTR old = 0;
    if (index >= 0) {
        ExtraBytesLocked(*w, index, narrow ? sizeof(LONG) : sizeof(LONG_PTR), &old, newValue);
        return old;
    }
    if (!ReadLongLocked(*w, index, &old))
        return 0;
    if (newValue && !WriteLongLocked(*w, index, *newValue))
        return 0;
    return old;
}

std::u16string PropKey(LPCWSTR name) {
    if (IsAtomName(name))
        return u"#" + std::u16string(1, static_cast<char16_t>(reinterpret_cast<uintptr_t>(name)));
    return name;
}

}  // namespace

LONG GetWindowLongW(HWND hWnd, int nIndex) {
    if (nIndex == GWL_WNDPROC) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(AccessLong(hWnd, nIndex, nullptr, true));
}

LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (nIndex == GWL_WNDPROC) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = dwNewLong;
    if (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE)
        value = static_cast<LONG_PTR>(static_cast<DWORD>(dwNewLong));
    return static_cast<LONG>(AccessLong(hWnd, nIndex, &value, true));
}

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) { return AccessLong(hWnd, nIndex, nullptr, false); }

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return AccessLong(hWnd, nIndex, &dwNewLong, false);
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!lpPrevWndFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (IsForeignHandle(hWnd)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (!lpString || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IsForeignHandle(hWnd)) {
        std::u16string title;
        if (!AnnouncedInfo(hWnd, nullptr, &title)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        size_t n = std::min(title.size(), static_cast<size_t>(nMaxCount - 1));
        std::copy_n(title.begin(), n, lpString);
        lpString[n] = 0;
        return static_cast<int>(n);
    }
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    lpString[0] = 0;
    return static_cast<int>(
        SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthW(HWND hWnd) {
    if (IsForeignHandle(hWnd)) {
        std::u16string title;
        if (!AnnouncedInfo(hWnd, nullptr, &title)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        return static_cast<int>(title.size());
    }
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

namespace {

// The window's property of that name (compared as the device compares
// them), or the end of its list. TreeLock() held.
auto FindPropLocked(Window& w, const std::u16string& key) {
    return std::find_if(w.props.begin(), w.props.end(),
                        [&](const auto& prop) { return SameName(prop.first, key); });
}

}  // namespace

BOOL SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
    if (!lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string key = PropKey(lpString);
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return FALSE;
    auto it = FindPropLocked(*w, key);
    if (it != w->props.end())
        it->second = hData;
    else
        w->props.emplace_back(key, hData);
    return TRUE;
}

HANDLE GetPropW(HWND hWnd, LPCWSTR lpString) {
    if (!lpString)
        return nullptr;
    std::u16string key = PropKey(lpString);
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return nullptr;
    auto it = FindPropLocked(*w, key);
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemovePropW(HWND hWnd, LPCWSTR lpString) {
    if (!lpString)
        return nullptr;
    std::u16string key = PropKey(lpString);
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return nullptr;
    auto it = FindPropLocked(*w, key);
    if (it == w->props.end())
        return nullptr;
    HANDLE value = it->second;
    w->props.erase(it);
    return value;
}
