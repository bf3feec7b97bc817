// Window classes: registration, lookup and the class API entry points.
#include <algorithm>

#include "internal.h"

namespace orvi::user {
namespace {

std::vector<std::shared_ptr<WindowClass>>& ClassesLocked() {
    static auto* classes = new std::vector<std::shared_ptr<WindowClass>>;
    return *classes;
}

ATOM g_nextAtom = 0xC000;

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool Matches(const WindowClass& c, LPCWSTR name) {
    if (IsAtomName(name))
        return c.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    return SameName(c.name, name);
}

}  // namespace

bool IsAtomName(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) <= 0xFFFF; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    auto same = [](char16_t x, char16_t y) { return Fold(x) == Fold(y); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name, HINSTANCE instance) {
    if (!name)
        return nullptr;
    std::shared_ptr<WindowClass> any;
    for (auto& c : ClassesLocked()) {
        if (!Matches(*c, name))
            continue;
        if (c->instance == instance)
            return c;
        if (!any)
            any = c;
    }
    return any;
}

}  // namespace orvi::user

using namespace orvi::user;

ATOM RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpszClassName || IsAtomName(lpWndClass->lpszClassName) ||
        !lpWndClass->lpfnWndProc || lpWndClass->cbWndExtra < 0 || lpWndClass->cbClsExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard guard(TreeLock());
    for (auto& c : ClassesLocked())
        if (c->instance == lpWndClass->hInstance && SameName(c->name, lpWndClass->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    auto cls = std::make_shared<WindowClass>();
    cls->name = lpWndClass->lpszClassName;
    cls->instance = lpWndClass->hInstance;
    cls->info = *lpWndClass;
    if (lpWndClass->lpszMenuName && !IsAtomName(lpWndClass->lpszMenuName)) {
        cls->menuName = lpWndClass->lpszMenuName;
        cls->info.lpszMenuName = cls->menuName.c_str();
    }
    cls->info.lpszClassName = cls->name.c_str();
    cls->atom = g_nextAtom++;
    ClassesLocked().push_back(cls);
    return cls->atom;
}

BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    if (!lpClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(TreeLock());
    auto& classes = ClassesLocked();
    auto it = std::find_if(classes.begin(), classes.end(), [&](const std::shared_ptr<WindowClass>& c) {
        return c->instance == hInstance && Matches(*c, lpClassName);
    });
    if (it == classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if ((*it)->windowCount > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    classes.erase(it);
    return TRUE;
}

BOOL GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
    if (!lpClassName || !lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(TreeLock());
    auto cls = FindClassLocked(lpClassName, hInstance);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *lpWndClass = cls->info;
    return TRUE;
}

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name;
    if (IsForeignHandle(hWnd)) {
        if (!AnnouncedInfo(hWnd, &name, nullptr)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    } else {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hWnd);
        if (!w)
            return 0;
        name = w->cls->name;
    }
    size_t n = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
    std::copy_n(name.begin(), n, lpClassName);
    lpClassName[n] = 0;
    return static_cast<int>(n);
}
