#include "CMainFrame.h"

#include "CalvaroApp.h"

LPCWSTR CMainFrame::GetWndClassName() { return g_appName; }

BOOL CMainFrame::PreTranslateMessage(MSG*) {
    // The program ships no accelerator table, so nothing is translated here.
    return FALSE;
}

BOOL CMainFrame::OnIdle() { return FALSE; }

BOOL CMainFrame::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult, DWORD) {
    switch (message) {
    case WM_CREATE:
        lResult = OnCreate();
        return TRUE;
    case WM_DESTROY:
        lResult = OnDestroy();
        return TRUE;
    case UM_PLAY_FAVORITE:
        lResult = OnPlayFavorite(wParam, lParam);
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CMainFrame::OnCreate() {
    if (CMessageLoop* loop = _Module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    GetClientRect(&m_clientRect);
    // Without a usable configuration there is nothing to show: the frame
    // closes itself once creation is over, which ends the program.
    if (!m_config.Load())
        PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CMainFrame::OnDestroy() {
    if (CMessageLoop* loop = _Module.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    PostQuitMessage(1);
    return 0;
}

LRESULT CMainFrame::OnPlayFavorite(WPARAM wParam, LPARAM lParam) {
    if (wParam != 1 || lParam < 0 || lParam >= FavoriteCount())
        return 0;
    // Switching to Now Playing and starting the station arrive with the views.
    return 0;
}

LPARAM CMainFrame::FavoriteCount() const {
    // The favourites list comes with the station directory; until it is
    // there the list is empty and no index is in range.
    return 0;
}
