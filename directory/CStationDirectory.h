// The station directory: owner of every record, of the root page of the
// directory, of the favourites list, of the configuration and of the
// download cache. The main frame owns one; views hold pointers to it.
//
// Records accumulate for the whole run: a reload drops records from a list,
// never from memory, so a pointer taken from any list stays valid until the
// directory is destroyed, which deletes them all.
//
// Threading: the user-interface thread only (the Now Playing worker reads
// the one station it was given, and the download cache, never a list).
#pragma once

#include <string>

#include "CDownloadCache.h"
#include "CRadioChannel.h"
#include "CRadioConfig.h"
#include "platform.h"

class CStationDirectory {
public:
    static constexpr LONG kFirstId = 10;  // the first ordinary record gets 11
    static constexpr LONG kDefaultCacheLifetime = 86400;
    // Appended to the favourites file's name when it cannot be read, so the
    // first save does not overwrite it ("fav.opml.unreadable", then
    // ".unreadable2" up to ".unreadable9" when earlier ones are still there).
    static constexpr WCHAR kUnreadableSuffix[] = u".unreadable";

    CStationDirectory();
    ~CStationDirectory();
    CStationDirectory(const CStationDirectory&) = delete;
    CStationDirectory& operator=(const CStationDirectory&) = delete;

    CRadioConfig& Config() { return m_config; }
    const CRadioConfig& Config() const { return m_config; }

    // The root page (id 1). While it has no children it is (re)pointed at
    // the configured local file, directory URL and channel time limit.
    CRadioChannel* GetRootPage();
    // The favourites (id 2, never stale). Read from the favourites file on
    // first use only; later changes are made in memory and saved.
    CRadioChannel* GetFavorites();
    // 1 the root page, 2 the favourites, else the first record with that id;
    // a missing id from 0 to 9 is made on the spot. NULL for any other id.
    CRadioChannel* GetRecord(LONG id);
    // The first record with that id among all records (the root page and the
    // favourites are not among them); never makes one.
    CRadioChannel* FindRecord(LONG id) const;
    // Opened on first use with the options' cache-timeout as lifetime.
    CDownloadCache& GetCache();
    // The cache's entry lifetime in seconds; 0 until the cache is opened.
    LONG CacheLifetime() const { return m_cacheLifetime; }

    // The first child of list with that id / qto id; an empty qto id finds
    // nothing. NULL without a list.
    static CRadioChannel* FindById(const CRadioChannel* list, LONG id);
    static CRadioChannel* FindByQtoId(const CRadioChannel* list, const std::u16string& qtoId);

    // Appends a copy of record (same id, no current track) to the favourites
    // and saves them; the copy, or NULL when a favourite with the same qto
    // id is there already (or memory runs out). A failed save is logged and
    // the change kept in memory.
    CRadioChannel* AddFavorite(const CRadioChannel* record);
    // Drops the first favourite with record's id (the others keep their
    // order; the record stays alive) and saves. FALSE when there is none.
    BOOL RemoveFavorite(const CRadioChannel* record);

    // For NewChannel: the next free id, and taking ownership of a record.
    LONG TakeNextId() { return ++m_nextId; }
    BOOL Adopt(CRadioChannel* record) { return m_records.Add(record) >= 0; }
    const CRadioChannelArray& Records() const { return m_records; }
    // For DecorateUrl: "version=WM<build>&device=WM", built once per run.
    const std::u16string& VersionParameter();
    // For SaveOpml: sets an unreadable favourites file aside before the
    // first save would replace it. FALSE (logged) when it cannot be moved;
    // the save must not go ahead then.
    BOOL PrepareToSave(const CRadioChannel* page);

private:
    LONG m_nextId = kFirstId;
    CRadioConfig m_config;
    CDownloadCache m_cache;
    LONG m_cacheLifetime = 0;
    CRadioChannelArray m_records;  // every record NewChannel made; owned
    CRadioChannel m_rootPage;
    CRadioChannel m_favorites;
    bool m_bFavoritesLoaded = false;
    bool m_bFavoritesUnreadable = false;  // the file is there but is not OPML
    std::u16string m_versionParameter;
};
