#include "CStationPlayer.h"

#include <algorithm>
#include <cstring>

#include "CDownloadCache.h"
#include "CRadioChannel.h"
#include "MimeTypes.h"
#include "OrviDebug.h"
#include "resource.h"

namespace {

// A playlist is read within 10 seconds per wait and up to 32 KB; a body
// beyond that is no playlist worth following.
constexpr int kBodyWaitSeconds = 10;
constexpr int kBodyCap = 32768;
// A body this short served without a media type is taken for an ASX file.
constexpr DWORD kMaxUntypedPlayListBytes = 10239;

bool StartsWithNoCase(LPCWSTR pszText, LPCWSTR pszPrefix) {
    return _wcsnicmp(pszText, pszPrefix, wcslen(pszPrefix)) == 0;
}

bool IsBlank(WCHAR ch) { return ch == u' ' || ch == u'\t'; }

}  // namespace

CStationPlayer::CStationPlayer(CDownloadCache& cache, IStatusLine& statusLine)
    : m_cache(cache), m_statusLine(statusLine) {}

void CStationPlayer::SetPlayers(CPlayer* pDecoder, CPlayer* pMediaPlayer) {
    m_pDecoder = pDecoder;
    m_pMediaPlayer = pMediaPlayer;
}

std::u16string CStationPlayer::Resolve(LPCWSTR pszUrl, int nDepth, int* pnStatus) {
    std::u16string result;
    if (nDepth > kMaxDepth) {
        *pnStatus = kNotFound;
        return result;
    }
    if (nDepth == 1) {
        // Candidates of an earlier resolution must not stand in for this one.
        m_playList.Clear();
        if (LookupStream(pszUrl, &result))
            return result;
        // An address the HTTP client cannot fetch ("mms:", "rtsp:") is the
        // stream itself, as it would be in a playlist.
        if (!StartsWithNoCase(pszUrl, u"http:") && !StartsWithNoCase(pszUrl, u"https:")) {
            *pnStatus = 0;
            return pszUrl;
        }
    }
    result = Fetch(pszUrl, nDepth, pnStatus);
    if (nDepth == 1) {
        if (result.empty())
            result = pszUrl;
        if (*pnStatus == kNotFound)
            result.clear();
    }
    return result;
}

// The stream address behind pszUrl by its media type: the address itself
// for a stream or an unknown type, else what its playlist leads to.
std::u16string CStationPlayer::Fetch(LPCWSTR pszUrl, int nDepth, int* pnStatus) {
    const int nResult = m_http.SendGet(pszUrl);
    if (nResult != COrviHttp::kOk) {
        Log(u"Get %s failed(0x%x)!\r\n", pszUrl, nResult);
        *pnStatus = kNotFound;
        return {};
    }
    const std::u16string mediaType = ReadMediaType(pszUrl);
    const MimeKind kind = GetMimeKind(mediaType.c_str());
    *pnStatus = 0;
    if (kind >= MIME_M3U && kind <= MIME_REAL)
        return ReadPlayList(pszUrl, kind, nDepth, pnStatus);
    if (kind == MIME_UNKNOWN)
        Log(u"ERROR we don't know the mime type: %s(%s)\r\n", mediaType, pszUrl);
    return pszUrl;
}

// Only a stream address counts: a downloaded file cached under the same
// address is no answer to this question.
BOOL CStationPlayer::LookupStream(LPCWSTR pszUrl, std::u16string* pStream) {
    int nIndex = 0;
    while (nIndex < m_cache.GetSize() && wcscmp(m_cache[nIndex].url, pszUrl) != 0)
        ++nIndex;
    if (nIndex == m_cache.GetSize() || m_cache[nIndex].type != CacheEntry::StreamAddress)
        return FALSE;
    WCHAR szStream[MAX_PATH] = {};
    if (!m_cache.Lookup(pszUrl, szStream) || !szStream[0])
        return FALSE;
    *pStream = szStream;
    return TRUE;
}

// The media type of the open request, without parameters. Without a
// Content-Type, a short body is assumed to be an ASX file ("asf"); otherwise
// the type is empty, which the caller treats as unknown.
std::u16string CStationPlayer::ReadMediaType(LPCWSTR pszUrl) {
    WCHAR szHeader[520] = {};  // 1040 bytes
    DWORD cbHeader = sizeof(szHeader) - sizeof(WCHAR);
    std::u16string mediaType;
    if (HttpQueryInfoW(m_http.RequestHandle(), HTTP_QUERY_CONTENT_TYPE, szHeader, &cbHeader, nullptr)) {
        mediaType = szHeader;
        mediaType.erase(std::min(mediaType.find(u';'), mediaType.size()));
        while (!mediaType.empty() && IsBlank(mediaType.back()))
            mediaType.pop_back();
    } else {
        Log(u"Get ContentType failed!(%s)\r\n", pszUrl);
        DWORD dwLength = 0;
        DWORD cbLength = sizeof(dwLength);
        if (HttpQueryInfoW(m_http.RequestHandle(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                           &dwLength, &cbLength, nullptr) &&
            dwLength >= 1 && dwLength <= kMaxUntypedPlayListBytes)
            mediaType = u"asf";
    }
    return mediaType;
}

std::u16string CStationPlayer::ReadPlayList(LPCWSTR pszUrl, int nKind, int nDepth, int* pnStatus) {
    const int nLength = m_http.ReadBody(nullptr, kBodyWaitSeconds, kBodyCap);
    if (nLength < 1) {
        Log(u"Download %s failed(%d)!\r\n", pszUrl, nLength);
        *pnStatus = nLength;
        m_playList.Clear();
        return {};
    }
    LPCWSTR pszText = nullptr;
    if (m_http.ReadText(&pszText) < 0)
        pszText = nullptr;
    m_playList.Parse(nKind, pszText);
    return WalkPlayList(pszUrl, nDepth, pnStatus);
}

// Tries the playlist's candidates in order. A candidate that leads nowhere is
// dropped and the candidates after it are tried, even when following it
// replaced the playlist by a deeper one.
std::u16string CStationPlayer::WalkPlayList(LPCWSTR pszUrl, int nDepth, int* pnStatus) {
    while (!m_playList.IsEmpty()) {
        const std::u16string candidate = m_playList[0];
        if (_wcsicmp(candidate.c_str(), pszUrl) == 0) {
            *pnStatus = 0;
            return pszUrl;
        }
        if (!StartsWithNoCase(candidate.c_str(), u"http:")) {
            *pnStatus = 0;
            return candidate;
        }
        ShowString(IDS_LOADING, candidate.c_str());
        const std::vector<std::u16string> rest = CandidatesAfterFirst();
        std::u16string result = Resolve(candidate.c_str(), nDepth + 1, pnStatus);
        if (*pnStatus != kNotFound && !result.empty())
            return result;
        RestoreCandidates(rest);
    }
    return {};
}

std::vector<std::u16string> CStationPlayer::CandidatesAfterFirst() const {
    std::vector<std::u16string> candidates;
    for (int i = 1; i < m_playList.GetSize(); ++i)
        candidates.emplace_back(m_playList[i]);
    return candidates;
}

void CStationPlayer::RestoreCandidates(const std::vector<std::u16string>& candidates) {
    m_playList.Clear();
    for (const std::u16string& candidate : candidates)
        m_playList.Add(candidate.c_str());
}

BOOL CStationPlayer::PlayStation(const CRadioChannel& station) {
    LPCWSTR pszStation = station.url.c_str();
    m_playList.Clear();
    ShowString(IDS_LOADING, pszStation);
    m_strStreamUrl.clear();
    if (station.IsDirectStream()) {
        m_strStreamUrl = station.url;
    } else {
        int nStatus = 0;
        m_strStreamUrl = Resolve(pszStation, 1, &nStatus);
        m_playList.RemoveFirst();  // the candidate just resolved, if any
    }
    BOOL bPlaying = FALSE;
    if (m_strStreamUrl.empty()) {
        ShowString(IDS_CANNOT_PLAY);
    } else {
        ShowString(IDS_CONNECTING);
        bPlaying = OpenCandidates(pszStation);
    }
    m_http.Close();
    return bPlaying;
}

BOOL CStationPlayer::OpenCandidates(LPCWSTR pszStation) {
    while (!m_strStreamUrl.empty()) {
        LPCWSTR pszStream = m_strStreamUrl.c_str();
        Log(u"Play:%s\r\n", pszStream);
        CPlayer* pPlayer = ChoosePlayer(pszStream);
        if (pPlayer) {
            pPlayer->SetVolume(m_nVolume, CPlayer::VolumeChange::Absolute);
            if (pPlayer->Open(pszStream)) {
                m_statusLine.SetPlaying();
                m_cache.Add(pszStation, pszStream, CacheEntry::StreamAddress);
                return TRUE;
            }
        }
        Log(u"Open failed!\r\n");
        RemoveCachedStream(pszStation);
        if (m_playList.IsEmpty()) {
            m_strStreamUrl.clear();
        } else {
            m_strStreamUrl = m_playList[0];
            m_playList.RemoveFirst();
        }
    }
    return FALSE;
}

CPlayer* CStationPlayer::ChoosePlayer(LPCWSTR pszStream) const {
    if (StartsWithNoCase(pszStream, u"mms:") || StartsWithNoCase(pszStream, u"rtsp:"))
        return m_pMediaPlayer;
    return m_pDecoder;
}

// An address that failed to open must not be offered again by the cache.
// The index file is rewritten too, so the address does not come back with
// the next start of the program.
void CStationPlayer::RemoveCachedStream(LPCWSTR pszStation) {
    for (int i = 0; i < m_cache.GetSize(); ++i) {
        if (wcscmp(m_cache[i].url, pszStation) == 0) {
            m_cache.RemoveEntries(i);
            if (m_cache.IndexPath()[0])
                m_cache.Save(m_cache.IndexPath());
            return;
        }
    }
}

void CStationPlayer::ShowString(UINT uId, LPCWSTR pszArgument) {
    WCHAR szFormat[260] = {};
    LoadStringW(nullptr, uId, szFormat, 260);
    WCHAR szText[1025] = {};
    if (pszArgument)
        wsprintfW(szText, szFormat, pszArgument);
    else
        StringCchCopyW(szText, 1025, szFormat);
    m_statusLine.ShowStatus(szText);
}
