// The download cache: what a lookup finds, what it drops, and the index file
// that mirrors the list.
#include <gtest/gtest.h>

#include "CDownloadCache.h"
#include "LogTestSupport.h"

namespace orvi::test {
namespace {

ULONGLONG Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

ULONGLONG Expiry(const CacheEntry& entry) {
    return (ULONGLONG{entry.expiry.dwHighDateTime} << 32) | entry.expiry.dwLowDateTime;
}

class DownloadCacheTest : public LoggedDeviceTest {
protected:
    std::u16string Find(CDownloadCache& cache, LPCWSTR url) {
        WCHAR path[MAX_PATH] = u"untouched";
        return cache.Lookup(url, path) ? std::u16string(path) : std::u16string(u"<none>");
    }
};

using DownloadCache = DownloadCacheTest;

TEST_F(DownloadCache, EntriesAreSavedAndReadBackInOrder) {
    CDownloadCache cache;
    EXPECT_EQ(0, cache.Load(u"\\index.xml"));  // no file yet: the path is kept
    cache.SetTimeToLive(3600);
    WriteDevice("\\logo.png", "png");
    cache.Add(u"http://s/logo.png", u"\\logo.png", CacheEntry::DownloadedFile);
    cache.Add(u"http://s/station.pls", u"http://s:8000/stream", CacheEntry::StreamAddress);
    ASSERT_TRUE(HostFileExists(m_root.Host("\\index.xml")));

    CDownloadCache reread;
    EXPECT_EQ(1, reread.Load(u"\\index.xml"));
    ASSERT_EQ(2, reread.GetSize());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(cache[i].type, reread[i].type);
        EXPECT_EQ(std::u16string(cache[i].url), reread[i].url);
        EXPECT_EQ(std::u16string(cache[i].path), reread[i].path);
        EXPECT_EQ(Expiry(cache[i]), Expiry(reread[i]));  // both halves, the low one signed
    }
    const ULONGLONG expiry = Expiry(reread[0]);
    EXPECT_GT(expiry, Now() + 3500ULL * 10000000);
    EXPECT_LE(expiry, Now() + 3600ULL * 10000000);
    EXPECT_EQ(u"\\logo.png", Find(reread, u"http://s/logo.png"));
    EXPECT_EQ(u"http://s:8000/stream", Find(reread, u"http://s/station.pls"));  // not a file: fine
    EXPECT_EQ(u"<none>", Find(reread, u"http://S/logo.png"));  // keys are case-sensitive
}

TEST_F(DownloadCache, UnreadableTimeLimitsAndMissingFilesAreDroppedAtFirstLookup) {
    WriteDevice("\\index.xml",
          "<orvi><cache>"
          "<item type='1' url='abc' path='p1' time-limit='abc'/>"
          "<item type='1' url='nocomma' path='p2' time-limit='2147483647'/>"
          "<item type='1' url='leading' path='p3' time-limit=',5'/>"
          "<item type='2' url='gone' path='\\missing.png' time-limit='2147483647,0'/>"
          "<item type='1' url='kept' path='p5' time-limit='2147483647,-1'/>"
          "</cache></orvi>");
    CDownloadCache cache;
    ASSERT_EQ(1, cache.Load(u"\\index.xml"));
    ASSERT_EQ(5, cache.GetSize());  // stale entries stay until looked up
    for (LPCWSTR url : {u"abc", u"nocomma", u"leading", u"gone"})
        EXPECT_EQ(u"<none>", Find(cache, url)) << std::string(url, url + 2);
    EXPECT_EQ(u"p5", Find(cache, u"kept"));
    ASSERT_EQ(1, cache.GetSize());

    CDownloadCache reread;  // each removal saved the index
    ASSERT_EQ(1, reread.Load(u"\\index.xml"));
    ASSERT_EQ(1, reread.GetSize());
    EXPECT_EQ(u"kept", std::u16string(reread[0].url));
    EXPECT_EQ(0xFFFFFFFFu, reread[0].expiry.dwLowDateTime);
}

TEST_F(DownloadCache, DuplicatesKeepTheOlderAndAStaleFirstHidesTheRestOnce) {
    CDownloadCache cache;
    cache.SetTimeToLive(60);
    cache.Add(u"u", u"older", CacheEntry::StreamAddress);
    cache.Add(u"u", u"newer", CacheEntry::StreamAddress);
    EXPECT_EQ(2, cache.GetSize());
    EXPECT_EQ(u"older", Find(cache, u"u"));

    cache[0].expiry = FILETIME{0, 0};  // the older one goes stale
    EXPECT_EQ(u"<none>", Find(cache, u"u"));
    EXPECT_EQ(u"newer", Find(cache, u"u"));
}

TEST_F(DownloadCache, LifetimeBelowAMinuteStoresNothing) {
    CDownloadCache cache;
    cache.Load(u"\\index.xml");
    cache.SetTimeToLive(59);
    cache.Add(u"u", u"p", CacheEntry::StreamAddress);
    EXPECT_EQ(0, cache.GetSize());
    EXPECT_FALSE(HostFileExists(m_root.Host("\\index.xml")));
}

TEST_F(DownloadCache, OpenTakesTheLifetimeAndIndexFromTheConfiguration) {
    CRadioConfig config;
    StringCchCopyW(config.environmentFile, MAX_PATH, u"\\Program Files\\Calvaro\\Calvaro.xml");
    StringCchCopyW(config.fileCache, MAX_PATH, u"cache.xml");
    for (LONG option : {0, -3}) {
        config.options.cacheTimeout = option;
        CDownloadCache cache;
        cache.Open(config);
        EXPECT_EQ(86400, cache.TimeToLive());
        EXPECT_EQ(u"\\Program Files\\Calvaro\\cache.xml", std::u16string(cache.IndexPath()));
    }
    config.options.cacheTimeout = 120;
    CDownloadCache cache;
    cache.Open(config);
    EXPECT_EQ(120, cache.TimeToLive());
}

TEST(CacheFileName, IsTheMd5OfTheUtf16Bytes) {
    // MD5 of the two bytes 61 00.
    EXPECT_EQ(u"4144e195f46de78a3623da7364d04f11", CDownloadCache::CacheFileName(u"a"));
    EXPECT_EQ(32u, CDownloadCache::CacheFileName(u"http://example.org/logo.png").size());
}

}  // namespace
}  // namespace orvi::test
