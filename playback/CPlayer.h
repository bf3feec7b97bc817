// The one interface through which the Now Playing view drives a player: the
// decoder player for ordinary streams and the media player player for "mms:"
// and "rtsp:" addresses. A player reports progress to its notify window; the
// owner hands each notification back through OnNotify and then reads
// GetStatus.
//
// Threading: the Now Playing worker calls SetVolume and Open while the
// user-interface thread may read GetStatus on its timer, so the state and the
// volume are atomic. The URL is written only by Open, before the player
// starts anything that reads it; an implementation that reads it from a
// thread of its own guards it itself.
//
// Ownership: the Now Playing view owns both players; whoever else holds a
// CPlayer* borrows it.
#pragma once

#include <atomic>
#include <string>

#include "platform.h"

// Notifications a player sends or posts to its notify window.
// Posted by the media player player after every control event (0, 0).
constexpr UINT UM_PLAYER_CHANGED = WM_USER + 848;
// From the decoder player; the engine's messages carry the engine in lParam.
constexpr UINT UM_DECODER_BUFFERING = WM_USER + 778;  // wParam: percent of the pre-buffer
constexpr UINT UM_DECODER_OPENED = WM_USER + 794;     // wParam: 0 or an error code
constexpr UINT UM_DECODER_PLAYING = WM_USER + 795;
constexpr UINT UM_DECODER_STOPPED = WM_USER + 796;
constexpr UINT UM_DECODER_STARTING = WM_USER + 797;
constexpr UINT UM_DECODER_CODEC_ERROR = WM_USER + 804;
constexpr UINT UM_DECODER_WRITE_ERROR = WM_USER + 805;

struct PlayerStatus;

class CPlayer {
public:
    enum State : LONG { Stopped = 1, Opening = 2, Playing = 3, Failed = 4 };
    enum class VolumeChange { Absolute, Relative };

    // The thirteen operations keep this order: it is the players' slot
    // layout, and both players are written against it.

    // Makes the player's machinery; non-zero on success.
    virtual BOOL Create(HWND hWndParent) = 0;
    // Stops and frees everything Create made.
    virtual void Destroy() = 0;
    // Non-zero when created and opening or playing.
    virtual BOOL IsActive() = 0;
    // Stores the URL, enters Opening and starts playing it. Non-zero when the
    // start was accepted; success itself arrives later as notifications.
    virtual BOOL Open(LPCWSTR pszUrl) = 0;
    // Starts the stored URL again (Opening).
    virtual BOOL Reopen() = 0;
    virtual BOOL Stop() = 0;
    // Neither player can pause; both answer FALSE, and the caller mutes
    // instead.
    virtual BOOL Pause() = 0;
    virtual BOOL Resume() = 0;
    // Stores and applies the volume (see NewVolume); returns it.
    virtual int SetVolume(int nValue, VolumeChange change) = 0;
    // 0..100, or -1 when the volume cannot be read.
    virtual int GetVolume() = 0;
    // FALSE when the player does not exist (the record is left alone).
    virtual BOOL GetStatus(PlayerStatus* pStatus) = 0;
    virtual void SetNotifyWindow(HWND hWnd) = 0;
    // Each notification the notify window received, handed back by the
    // owner so the player can update its state and status message.
    virtual void OnNotify(UINT uMsg, WPARAM wParam, LPARAM lParam) = 0;

    // Declared after the operations so that they keep the first slots.
    virtual ~CPlayer() = default;

    LONG GetState() const { return m_nState; }
    const std::u16string& GetUrl() const { return m_strUrl; }

    // The volume rule every player shares: a relative change is added to
    // nCurrent (taken as 50 when it could not be read, i.e. is negative);
    // the result is clamped to 0..100.
    static int NewVolume(int nValue, VolumeChange change, int nCurrent);

protected:
    CPlayer() = default;
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    std::u16string m_strUrl;
    std::atomic<LONG> m_nState{Stopped};
    std::atomic<int> m_nVolume{50};
};

// What the view shows of the current player, filled by GetStatus.
struct PlayerStatus {
    LONG state = CPlayer::Stopped;
    std::u16string artist;      // the stream's author, when the player knows one
    std::u16string title;       // the stream's or media's title
    std::u16string statusText;  // elapsed "mm:ss" while playing, else a message or empty
};
