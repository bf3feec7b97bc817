// The player of every stream that is not "mms:" or "rtsp:": a thin adapter
// of the player interface over the decoder engine, which reads the stream
// through the program's own input protocols, decodes it with FFmpeg and
// plays it through the wave-out device.
//
// Threading: see CPlayer.h. Open (and Reopen) block for the connection and
// the probing of the stream, so the Now Playing worker calls them; Stop,
// Destroy, GetStatus and OnNotify run on the user-interface thread. The
// state, the status message and the percent are atomic because the two
// threads meet on them.
#pragma once

#include <atomic>

#include "CDecoderEngine.h"
#include "CPlayer.h"

class CPlayerMpeg : public CPlayer {
public:
    CPlayerMpeg() = default;
    ~CPlayerMpeg() override;  // Destroy()

    BOOL Create(HWND hWndParent) override;
    void Destroy() override;
    BOOL IsActive() override;
    BOOL Open(LPCWSTR pszUrl) override;
    BOOL Reopen() override;
    BOOL Stop() override;
    BOOL Pause() override { return FALSE; }
    BOOL Resume() override { return FALSE; }
    int SetVolume(int nValue, VolumeChange change) override;
    // The device's volume when it is open (and stored), else the stored one.
    int GetVolume() override;
    BOOL GetStatus(PlayerStatus* pStatus) override;
    void SetNotifyWindow(HWND hWnd) override;
    void OnNotify(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // The engine, for those who need its figures; NULL before Create.
    CDecoderEngine* Engine() const { return m_pEngine; }
    // The status message id (IDS_CODEC_ERROR, IDS_BUFFERING, IDS_OPEN_ERROR)
    // or 0, and the buffering percent.
    UINT StatusId() const { return m_uStatusId; }
    int Percent() const { return m_nPercent; }

private:
    CDecoderEngine* m_pEngine = nullptr;
    HWND m_hWndNotify = nullptr;
    std::atomic<UINT> m_uStatusId{0};
    std::atomic<int> m_nPercent{0};
};
