// LoadPage against the local HTTP server and the stand-in gpsd: time limits,
// Last-Modified, failed downloads and location pages.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>

#include "DirectoryTestSupport.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;

constexpr std::time_t kServerTime = 1700000000;  // 2023-11-14 22:13:20 UTC

using LoadPage_ = PageServerTest;

TEST_F(LoadPage_, TimeLimitZeroDownloadsOnEveryLoadWithTheDecoration) {
    m_server.Route("/top.opml", HttpResponse::Text(Opml("<outline type='audio' text='First'/>")));
    CRadioChannel* page = Page("/top.opml", 0);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"First"}, Texts(page));
    m_server.Route("/top.opml", HttpResponse::Text(Opml("<outline type='audio' text='Second'/>")));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"Second"}, Texts(page));
    ASSERT_EQ(2u, m_server.RequestCount("/top.opml"));
    EXPECT_EQ("version=WM47&device=WM" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) +
                  std::to_string(GetSystemMetrics(SM_CYSCREEN)),
              m_server.Requests()[1].Query());
    // Without downloading the copy on disk is read again.
    EXPECT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    EXPECT_EQ(2u, m_server.RequestCount());
}

TEST_F(LoadPage_, TimeLimitMinusOneReadsTheCopyOnceAndNeverDownloads) {
    m_server.Route("/fav.opml", HttpResponse::Text(Opml("<outline type='audio' text='Server'/>")));
    CRadioChannel* page = Page("/fav.opml", -1);
    WriteDevice("\\Data\\page.xml", Opml("<outline type='audio' text='Disk'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    const auto first = Pointers(page);
    EXPECT_EQ(std::vector<std::u16string>{u"Disk"}, Texts(page));
    WriteDevice("\\Data\\page.xml", Opml("<outline type='audio' text='Changed'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(first, Pointers(page));
    EXPECT_EQ(0u, m_server.RequestCount());
}

TEST_F(LoadPage_, PositiveTimeLimitDownloadsOnlyAStaleCopy) {
    m_server.Route("/p.opml", HttpResponse::Text(Opml("<outline type='audio' text='Server'/>")));
    CRadioChannel* page = Page("/p.opml", 3600);
    WriteDevice("\\Data\\page.xml", Opml("<outline type='audio' text='Disk'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"Disk"}, Texts(page));
    EXPECT_EQ(0u, m_server.RequestCount());
    StampCopy(std::time(nullptr) - 3700);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"Server"}, Texts(page));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(LoadPage_, SameLastModifiedKeepsTheChildrenWithoutReparsing) {
    m_server.Route("/lm.opml",
                   HttpResponse::Text(Opml("<outline type='audio' text='One'/>")).LastModified(kServerTime));
    CRadioChannel* page = Page("/lm.opml", 0);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    const auto first = Pointers(page);
    const int records = m_directory.Records().GetSize();
    m_server.Route("/lm.opml",
                   HttpResponse::Text(Opml("<outline type='audio' text='Two'/>")).LastModified(kServerTime));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(first, Pointers(page));
    EXPECT_EQ(records, m_directory.Records().GetSize());
    EXPECT_EQ(2u, m_server.RequestCount());
}

TEST_F(LoadPage_, FailedDownloadKeepsCopyAndChildrenAndLogs) {
    m_server.Route("/gone.opml", HttpResponse::Status(500, "Server Error", "oops"));
    const std::string copy = Opml("<outline type='audio' text='Kept'/>");
    CRadioChannel* page = Page("/gone.opml", 0);
    WriteDevice("\\Data\\page.xml", copy);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    const auto before = Pointers(page);
    EXPECT_EQ(kLoadPageDownloadFailed, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(before, Pointers(page));
    EXPECT_EQ(copy, ReadDevice("\\Data\\page.xml"));
    EXPECT_EQ(u"Download " + DecorateUrl(m_directory, page->url) + u" failed(0x1f4)!\r\n", LogText());
}

TEST_F(LoadPage_, LocationPageCarriesThePosition) {
    FakeTpv fix;
    fix.lat = 37.7793;
    fix.lon = -122.4193;
    m_gpsd.SetScript({fix}, 100ms);
    m_server.Route("/near", HttpResponse::Text(Opml("<outline type='audio' text='Near'/>")));
    CRadioChannel* page = Page("/near?lon=#LON#&lat=#LAT#&again=#LON#", 0);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    ASSERT_EQ(1u, m_server.RequestCount("/near"));
    EXPECT_EQ(0u, m_server.Requests()[0].Query().find("lon=-122.42&lat=37.78&again=-122.42&version=WM47&"));
}

TEST_F(LoadPage_, LocationPageWithoutPositionFallsBackToItsCompanion) {
    m_gpsd.Stop();
    m_server.Route("/any", HttpResponse::Text(Opml("<outline type='audio' text='Anywhere'/>")));
    CRadioChannel* page = Page("/near?lon=#LON#&lat=#LAT#", 0);
    EXPECT_EQ(kLoadPageNoPosition, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(0u, m_server.RequestCount());

    CRadioChannel* companion = NewChannel(m_directory);
    companion->url = Ascii(m_server.Url("/any"));
    page->hiddenCompanionId = companion->id;
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"Anywhere"}, Texts(page));

    // Companion 1 is the root page, with the configured directory address.
    StringCchCopyW(m_directory.Config().directoryUrl, MAX_PATH, Ascii(m_server.Url("/root.opml")).c_str());
    m_server.Route("/root.opml", HttpResponse::Text(Opml("<outline type='link' text='Root'/>")));
    page->hiddenCompanionId = CRadioChannel::kRootPageId;
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, TRUE));
    EXPECT_EQ(std::vector<std::u16string>{u"Root"}, Texts(page));
    EXPECT_EQ(1u, m_server.RequestCount("/any"));
    EXPECT_EQ(1u, m_server.RequestCount("/root.opml"));
    EXPECT_EQ(0u, m_server.RequestCount("/near"));
}

}  // namespace
}  // namespace orvi::test
