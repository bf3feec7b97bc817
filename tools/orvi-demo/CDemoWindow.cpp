#include "CDemoWindow.h"

CDemoWindow::~CDemoWindow() {
    if (m_font)
        DeleteObject(m_font);
}

BOOL CDemoWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& lResult, DWORD) {
    switch (message) {
    case WM_CREATE: lResult = OnCreate(); return TRUE;
    case WM_PAINT: lResult = OnPaint(); return TRUE;
    case WM_LBUTTONDOWN: lResult = OnLButtonDown(lParam); return TRUE;
    case WM_KEYDOWN: lResult = OnKeyDown(wParam); return TRUE;
    case WM_CHAR: lResult = OnChar(wParam); return TRUE;
    case WM_DESTROY: lResult = OnDestroy(); return TRUE;
    default: return FALSE;
    }
}

LRESULT CDemoWindow::OnCreate() {
    LOGFONTW lf{};
    lf.lfHeight = -14;
    lf.lfWeight = FW_BOLD;
    m_font = CreateFontIndirectW(&lf);
    return 0;
}

RECT CDemoWindow::KeyBar() const {
    RECT client;
    GetClientRect(&client);
    return RECT{client.left, client.bottom - 40, client.right, client.bottom};
}

LRESULT CDemoWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(&client);
    PaintStatus(hdc, client);
    RECT bar = KeyBar();
    COLORREF keyColor = m_lastKey == 0 ? kIdleKeyColor
                        : m_lastKey == VK_RETURN ? kEnterKeyColor
                                                 : kOtherKeyColor;
    HBRUSH barBrush = CreateSolidBrush(keyColor);
    FillRect(hdc, &bar, barBrush);
    DeleteObject(barBrush);
    if (m_tapped) {
        RECT mark{m_tap.x - kTapMark, m_tap.y - kTapMark, m_tap.x + kTapMark, m_tap.y + kTapMark};
        HBRUSH tapBrush = CreateSolidBrush(kTapColor);
        FillRect(hdc, &mark, tapBrush);
        DeleteObject(tapBrush);
    }
    EndPaint(m_hWnd, &ps);
    return 0;
}

void CDemoWindow::PaintStatus(HDC hdc, const RECT& client) {
    HGDIOBJ oldFont = SelectObject(hdc, m_font);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(0, 0, 0));
    RECT title{client.left + 8, client.top + 8, client.right - 8, client.top + 40};
    DrawTextW(hdc, u"Tap, type or press a key", -1, &title, DT_CENTER | DT_WORDBREAK);
    WCHAR status[128];
    if (m_tapped)
        StringCchPrintfW(status, 128, u"Tap at %ld, %ld\nKey 0x%02X\n%s", m_tap.x, m_tap.y,
                         m_lastKey, m_typed);
    else
        StringCchPrintfW(status, 128, u"No tap yet\nKey 0x%02X\n%s", m_lastKey, m_typed);
    RECT text{client.left + 8, client.top + 48, client.right - 8, client.bottom - 48};
    DrawTextW(hdc, status, -1, &text, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    SelectObject(hdc, oldFont);
}

LRESULT CDemoWindow::OnLButtonDown(LPARAM lParam) {
    m_tapped = true;
    m_tap = POINT{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
    Invalidate();
    return 0;
}

LRESULT CDemoWindow::OnKeyDown(WPARAM key) {
    if (key == VK_ESCAPE) {
        PostMessage(WM_CLOSE);
        return 0;
    }
    m_lastKey = static_cast<UINT>(key);
    Invalidate();
    return 0;
}

LRESULT CDemoWindow::OnChar(WPARAM ch) {
    size_t length = wcslen(m_typed);
    if (ch >= 0x20 && length + 1 < sizeof(m_typed) / sizeof(m_typed[0])) {
        m_typed[length] = static_cast<WCHAR>(ch);
        m_typed[length + 1] = 0;
        Invalidate();
    }
    return 0;
}

LRESULT CDemoWindow::OnDestroy() {
    PostQuitMessage(0);
    return 0;
}
