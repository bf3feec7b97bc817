// Remembers, for a limited time, what fetching a URL gave: a file downloaded
// into the data folder, or the stream address a station's address resolved
// to. The list is kept in the order entries were added and mirrored to an XML
// index file after every change.
//
// Threading: no lock of its own; the user-interface thread and the Now
// Playing worker never use it at the same time.
#pragma once

#include <string>

#include "CRadioConfig.h"
#include "LcArray.h"
#include "platform.h"

struct CacheEntry {
    LONG type;             // CacheEntry::StreamAddress or CacheEntry::DownloadedFile
    WCHAR url[MAX_PATH];   // the key, compared exactly
    WCHAR path[MAX_PATH];  // the local file, or the resolved stream URL
    FILETIME expiry;       // UTC

    enum Type : LONG { StreamAddress = 1, DownloadedFile = 2 };
};

class CDownloadCache : public CLcArray<CacheEntry> {
public:
    // Takes the lifetime from the options' cache-timeout (below 1: one day)
    // and loads the index named by the environment's file-cache.
    void Open(const CRadioConfig& config);

    // Seconds new entries live; below 60 nothing is stored at all.
    void SetTimeToLive(LONG seconds) { m_timeToLive = seconds; }
    LONG TimeToLive() const { return m_timeToLive; }
    LPCWSTR IndexPath() const { return m_indexPath; }

    // Keeps indexPath for later saves and reads the entries in it. 1 when the
    // file was parsed; 0 otherwise, leaving the list as it was. Stale entries
    // are kept until they are looked up.
    int Load(LPCWSTR indexPath);
    // Writes every entry to indexPath, replacing the file whole; the DOM's
    // result.
    HRESULT Save(LPCWSTR indexPath);
    // Appends an entry that expires time-to-live seconds from now and saves
    // the index. Url and path are cut to 259 characters.
    void Add(LPCWSTR url, LPCWSTR path, LONG type);
    // The path of the first entry for url into path (MAX_PATH characters).
    // FALSE when there is none or that entry is stale or its file is gone;
    // such an entry is removed and the index saved. Later entries for the
    // same url are not considered.
    BOOL Lookup(LPCWSTR url, LPWSTR path);
    // Removes entries without touching their files or the index.
    BOOL RemoveEntries(int index, int count = 1) { return RemoveAt(index, count); }

    // The file name a download of url is stored under: the MD5 of the URL's
    // UTF-16LE code units as 32 lower-case hexadecimal digits.
    static std::u16string CacheFileName(LPCWSTR url);

private:
    void RemoveAndSave(int index);

    LONG m_timeToLive = 0;
    WCHAR m_indexPath[MAX_PATH] = {};
};
