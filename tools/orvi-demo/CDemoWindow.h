// The demo window: paints a title, the last stylus tap and the last key, so
// that a person (or a test through the automation socket) can see input
// arrive and painting come out.
#pragma once

#include "platform.h"
#include "winwindow.h"

class CDemoWindow : public CWindowImpl<CDemoWindow, CWindow, CFrameWinTraits> {
public:
    static LPCWSTR GetWndClassName() { return u"OrviDemo"; }

    // Colours a test reads back from a screenshot.
    static constexpr COLORREF kTapColor = RGB(220, 30, 30);
    static constexpr COLORREF kIdleKeyColor = RGB(160, 160, 160);
    static constexpr COLORREF kEnterKeyColor = RGB(30, 160, 60);
    static constexpr COLORREF kOtherKeyColor = RGB(40, 80, 200);
    // Half the side of the square painted at the last tap.
    static constexpr int kTapMark = 6;

    ~CDemoWindow() override;

    BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult, DWORD msgMapId = 0) override;

private:
    LRESULT OnCreate();
    LRESULT OnPaint();
    LRESULT OnLButtonDown(LPARAM lParam);
    LRESULT OnKeyDown(WPARAM key);
    LRESULT OnChar(WPARAM ch);
    LRESULT OnDestroy();

    // The rectangle whose colour shows the last key.
    RECT KeyBar() const;
    void PaintStatus(HDC hdc, const RECT& client);

    HFONT m_font = nullptr;
    bool m_tapped = false;
    POINT m_tap{0, 0};
    UINT m_lastKey = 0;
    WCHAR m_typed[64] = {};
};
