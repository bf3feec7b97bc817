// Starts a station: resolves its address into a stream address (through the
// download cache, or by fetching it and following its media type and
// playlists), picks the player by the stream address's scheme and opens it,
// falling back to the playlist's next candidate when an open is refused.
//
// Ownership: the Now Playing view owns one of these next to its two players
// and lends it the players, the download cache and the status line; they
// must outlive it. The HTTP client and the playlist are its own.
//
// Threading: used by the Now Playing worker only, one station at a time. The
// players are called on that thread too (SetVolume, Open); the download cache
// must not be used by another thread meanwhile. COM must be initialised on
// the worker (XML playlists are parsed with the XML DOM).
#pragma once

#include <string>
#include <vector>

#include "CPlayList.h"
#include "CPlayer.h"
#include "COrviHttp.h"
#include "IStatusLine.h"
#include "platform.h"

class CDownloadCache;
class CRadioChannel;

class CStationPlayer {
public:
    // Status that Resolve reports for an address that could not be fetched,
    // and for a playlist chain that goes deeper than kMaxDepth.
    static constexpr int kNotFound = 404;
    // Playlists naming playlists are followed this many levels deep (the
    // station's own address is level 1), so that playlists naming each other
    // cannot recurse without end.
    static constexpr int kMaxDepth = 8;

    CStationPlayer(CDownloadCache& cache, IStatusLine& statusLine);
    CStationPlayer(const CStationPlayer&) = delete;
    CStationPlayer& operator=(const CStationPlayer&) = delete;

    // The decoder player takes every stream but "mms:" and "rtsp:" ones,
    // which go to the media player. A missing player refuses every open.
    void SetPlayers(CPlayer* pDecoder, CPlayer* pMediaPlayer);
    // Set on each player (absolute) before it opens a stream.
    void SetConfiguredVolume(int nVolume) { m_nVolume = nVolume; }

    // The stream address for pszUrl; nDepth is 1 for a station's own
    // address. *pnStatus: 0 when an address was found, kNotFound when
    // nothing answered, or the failed body read's length or code. At level 1
    // a cached address is returned without any request, an address the HTTP
    // client cannot fetch ("mms:") is returned as it stands, a failure gives
    // "" and an address that leads to no other gives the address itself. Leaves
    // the unused candidates of the last playlist read in PlayList(), the one
    // that produced the result first among them. Keeps a request open on
    // the HTTP client; PlayStation closes it.
    std::u16string Resolve(LPCWSTR pszUrl, int nDepth, int* pnStatus);

    // Resolves the station (a direct stream is taken as it stands) and opens
    // it on the right player, trying the playlist's further candidates while
    // opens are refused. TRUE when a player accepted a stream: the view is
    // marked playing and the address is cached for the station. Shows
    // "Loading", then "Connecting" or "Can not play the url!" on the status
    // line.
    BOOL PlayStation(const CRadioChannel& station);

    // The stream address last opened or tried; "" when there was none.
    const std::u16string& StreamUrl() const { return m_strStreamUrl; }
    // The candidates left for a fall-back.
    CPlayList& PlayList() { return m_playList; }
    COrviHttp& Http() { return m_http; }

private:
    BOOL LookupStream(LPCWSTR pszUrl, std::u16string* pStream);
    std::u16string Fetch(LPCWSTR pszUrl, int nDepth, int* pnStatus);
    std::u16string ReadMediaType(LPCWSTR pszUrl);
    std::u16string ReadPlayList(LPCWSTR pszUrl, int nKind, int nDepth, int* pnStatus);
    std::u16string WalkPlayList(LPCWSTR pszUrl, int nDepth, int* pnStatus);
    std::vector<std::u16string> CandidatesAfterFirst() const;
    void RestoreCandidates(const std::vector<std::u16string>& candidates);
    BOOL OpenCandidates(LPCWSTR pszStation);
    CPlayer* ChoosePlayer(LPCWSTR pszStream) const;
    void RemoveCachedStream(LPCWSTR pszStation);
    void ShowString(UINT uId, LPCWSTR pszArgument = nullptr);

    CDownloadCache& m_cache;
    IStatusLine& m_statusLine;
    COrviHttp m_http;
    CPlayList m_playList;
    CPlayer* m_pDecoder = nullptr;
    CPlayer* m_pMediaPlayer = nullptr;
    int m_nVolume = 50;
    std::u16string m_strStreamUrl;
};
