#include "CPlayerMpeg.h"

#include <new>

#include "CrashTrace.h"
#include "OrviDebug.h"
#include "resource.h"

CPlayerMpeg::~CPlayerMpeg() { Destroy(); }

BOOL CPlayerMpeg::Create(HWND) {
    if (!m_pEngine) {
        m_pEngine = new (std::nothrow) CDecoderEngine;
        if (!m_pEngine)
            return FALSE;
        m_pEngine->SetNotifyWindow(m_hWndNotify);
        CrashTraceInit();
    }
    return TRUE;
}

// An engine whose decode thread did not end is left alive: the thread
// still reads it.
void CPlayerMpeg::Destroy() {
    CDecoderEngine* engine = m_pEngine;
    if (!engine)
        return;
    m_pEngine = nullptr;
    if (engine->Destroy())
        delete engine;
    else
        Log(u"The decode thread did not end; its engine is kept\r\n");
}

BOOL CPlayerMpeg::IsActive() {
    const LONG state = m_nState;
    return m_pEngine && (state == Opening || state == Playing);
}

BOOL CPlayerMpeg::Open(LPCWSTR pszUrl) {
    m_strUrl = pszUrl ? pszUrl : u"";
    m_uStatusId = 0;
    m_nPercent = 0;
    m_nState = Opening;
    if (!m_pEngine || !m_pEngine->Open(m_strUrl.c_str()) || !m_pEngine->Start())
        return FALSE;
    m_pEngine->SetVolume(m_nVolume);
    return TRUE;
}

BOOL CPlayerMpeg::Reopen() {
    const std::u16string url = m_strUrl;
    return Open(url.c_str());
}

BOOL CPlayerMpeg::Stop() {
    if (!m_pEngine)
        return FALSE;
    m_pEngine->Stop();
    return TRUE;
}

int CPlayerMpeg::SetVolume(int nValue, VolumeChange change) {
    const int volume = NewVolume(nValue, change, m_nVolume);
    m_nVolume = volume;
    if (m_pEngine)
        m_pEngine->SetVolume(volume);
    return volume;
}

int CPlayerMpeg::GetVolume() {
    const int volume = m_pEngine ? m_pEngine->GetVolume() : -1;
    if (volume >= 0)
        m_nVolume = volume;
    return m_nVolume;
}

BOOL CPlayerMpeg::GetStatus(PlayerStatus* pStatus) {
    if (!m_pEngine || !pStatus)
        return FALSE;
    pStatus->state = m_nState;
    if (pStatus->state == Playing) {
        pStatus->title = m_pEngine->Title();
        pStatus->artist = m_pEngine->Author();
        pStatus->statusText = m_pEngine->ElapsedText();
        m_uStatusId = 0;
        return TRUE;
    }
    pStatus->title.clear();
    pStatus->artist.clear();
    if (const UINT id = m_uStatusId) {
        WCHAR szFormat[260] = {};
        LoadStringW(nullptr, id, szFormat, 260);
        WCHAR szText[260] = {};
        wsprintfW(szText, szFormat, m_nPercent.load());
        pStatus->statusText = szText;
    }
    return TRUE;
}

void CPlayerMpeg::SetNotifyWindow(HWND hWnd) {
    m_hWndNotify = hWnd;
    if (m_pEngine)
        m_pEngine->SetNotifyWindow(hWnd);
}

void CPlayerMpeg::OnNotify(UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case UM_DECODER_CODEC_ERROR:
        m_nState = Failed;
        m_uStatusId = IDS_CODEC_ERROR;
        break;
    case UM_DECODER_OPENED:
        if (wParam != 0) {
            m_nState = Failed;
            m_uStatusId = IDS_OPEN_ERROR;
        } else {
            m_uStatusId = IDS_BUFFERING;
        }
        break;
    case UM_DECODER_BUFFERING:
        if (m_nState != Failed && m_nState != Stopped) {
            m_nPercent = static_cast<int>(wParam);
            m_uStatusId = IDS_BUFFERING;
        }
        break;
    case UM_DECODER_STOPPED:
        m_nState = Stopped;
        m_uStatusId = 0;
        break;
    case UM_DECODER_STARTING:
        m_nPercent = 100;
        m_nState = Opening;
        m_uStatusId = IDS_BUFFERING;
        break;
    case UM_DECODER_PLAYING:
        m_nState = Playing;
        m_uStatusId = 0;
        break;
    default:
        break;
    }
}
