// The program's one top-level window. Its class and caption are the
// application name, so that a second instance finds it with FindWindowW.
//
// Owns the configuration record for its life; the views, tabs, skin and
// menu bar are built on it as they arrive. Runs on the user-interface
// thread only.
#pragma once

#include "CRadioConfig.h"
#include "platform.h"
#include "winloop.h"
#include "winwindow.h"

// Asks the frame to play a favourite: wParam 1, lParam the zero-based index
// in the favourites file.
#define UM_PLAY_FAVORITE (WM_USER + 4)

class CMainFrame : public CWindowImpl<CMainFrame, CWindow, CFrameWinTraits>,
                   public CMessageFilter,
                   public CIdleHandler {
public:
    static LPCWSTR GetWndClassName();

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override;

    BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult, DWORD msgMapId = 0) override;

    CRadioConfig& Config() { return m_config; }

private:
    LRESULT OnCreate();
    LRESULT OnDestroy();
    LRESULT OnPlayFavorite(WPARAM wParam, LPARAM lParam);
    LPARAM FavoriteCount() const;

    CRadioConfig m_config;
    RECT m_clientRect{};
};
