// A station played without the program's windows: resolved and started as
// the Now Playing view does (on a worker thread), decoded into the chosen
// wave-out sink, with one line on standard output per change of state,
// status message or stream title.
//
// Threading: everything but the start runs on the thread that calls Run,
// which owns the notify window and pumps its messages; the worker only
// resolves and opens the station.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "CDownloadCache.h"
#include "CPlayerMpeg.h"
#include "CRadioChannel.h"
#include "CStationPlayer.h"
#include "IStatusLine.h"
#include "platform.h"

class CHeadlessPlayer : public IStatusLine {
public:
    struct Options {
        double dSeconds = 0;   // stop after this much audio; 0 plays to the end
        bool bTiming = false;  // lines carry the milliseconds since the start
        int nVolume = 100;
    };

    explicit CHeadlessPlayer(const Options& options);
    ~CHeadlessPlayer();
    CHeadlessPlayer(const CHeadlessPlayer&) = delete;
    CHeadlessPlayer& operator=(const CHeadlessPlayer&) = delete;

    // Plays the station until it ends, fails or has played the seconds
    // asked for. 0 when audio was played, 1 otherwise.
    int Run(const CRadioChannel& station);

    // IStatusLine, from the worker.
    void ShowStatus(LPCWSTR pszText) override;
    void SetPlaying() override {}

private:
    static constexpr UINT UM_STARTED = WM_APP + 1;  // wParam: PlayStation's result
    static constexpr UINT_PTR kPollTimer = 1;

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI Worker(LPVOID pParam);
    bool CreateNotifyWindow();
    void OnNotify(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Poll();
    bool Finished();
    void Print(const char* pszKind, const std::string& text);

    Options m_options;
    DWORD m_dwStart = 0;
    HWND m_hWnd = nullptr;
    CPlayerMpeg m_decoder;
    CDownloadCache m_cache;
    CStationPlayer m_stations;
    const CRadioChannel* m_pStation = nullptr;
    DWORD m_dwMainThread = 0;
    int m_nStarted = -1;  // PlayStation's result once the worker is done
    bool m_bPlayed = false;
    bool m_bFirstWritePrinted = false;
    LONG m_nLastState = CPlayer::Stopped;
    std::u16string m_lastStatus;
    std::u16string m_lastTitle;
    std::mutex m_printMutex;  // the worker prints too
};
