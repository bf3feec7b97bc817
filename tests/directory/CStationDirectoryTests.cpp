// The station directory: fixed records, favourites and their file, the
// download cache.
#include <gtest/gtest.h>

#include "DirectoryTestSupport.h"

namespace orvi::test {
namespace {

class FavoritesTest : public DirectoryTest {
protected:
    void SetUp() override {
        DirectoryTest::SetUp();
        StringCchCopyW(m_directory.Config().fileFavorite, MAX_PATH, u"fav.opml");
    }
    CRadioChannel* Station(const char16_t* text, const char16_t* qtoId) {
        CRadioChannel* station = NewChannel(m_directory);
        station->kind = CRadioChannel::Audio;
        station->text = text;
        station->url = u"http://s/" + std::u16string(text);
        station->qtoId = qtoId;
        station->bitrate = 64;
        station->currentTrack = u"Playing now";
        return station;
    }
    // The favourites as the file holds them.
    std::vector<std::u16string> FileTexts() {
        CRadioChannel* reader = NewChannel(m_directory);
        reader->localFile = u"\\Data\\fav.opml";
        EXPECT_EQ(kLoadPageDone, LoadPage(m_directory, reader, FALSE));
        return Texts(reader);
    }
};

using AddFavorite_ = FavoritesTest;
using RemoveFavorite_ = FavoritesTest;
using GetFavorites_ = FavoritesTest;
using GetRecord_ = DirectoryTest;
using GetRootPage_ = DirectoryTest;
using GetCache_ = DirectoryTest;

TEST_F(AddFavorite_, StationWithQtoIdOnceWithoutQtoIdAsOftenAsAdded) {
    CRadioChannel* keyed = Station(u"Keyed", u"q1");
    CRadioChannel* plain = Station(u"Plain", u"");
    ASSERT_NE(nullptr, m_directory.AddFavorite(keyed));
    EXPECT_EQ(nullptr, m_directory.AddFavorite(keyed));
    ASSERT_NE(nullptr, m_directory.AddFavorite(plain));
    ASSERT_NE(nullptr, m_directory.AddFavorite(plain));
    const auto expected = std::vector<std::u16string>{u"Keyed", u"Plain", u"Plain"};
    EXPECT_EQ(expected, Texts(m_directory.GetFavorites()));
    EXPECT_EQ(expected, FileTexts());
    EXPECT_EQ(u"", LogText());
}

TEST_F(AddFavorite_, CopyKeepsTheSourceIdAndFieldsButNoCurrentTrack) {
    CRadioChannel* source = Station(u"Source", u"q7");
    source->image = u"http://s/logo.png";
    source->nowPlayingId = u"np";
    source->presetId = u"p";
    source->pageTitle = u"Top 40";
    source->timeLimit = 77;
    CRadioChannel* copy = m_directory.AddFavorite(source);
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(source, copy);
    EXPECT_EQ(source->id, copy->id);
    EXPECT_EQ(u"", copy->currentTrack);
    EXPECT_EQ(u"Playing now", source->currentTrack);
    EXPECT_EQ(source->kind, copy->kind);
    EXPECT_EQ(source->url, copy->url);
    EXPECT_EQ(source->image, copy->image);
    EXPECT_EQ(64, copy->bitrate);
    EXPECT_EQ(u"np", copy->nowPlayingId);
    EXPECT_EQ(u"p", copy->presetId);
    EXPECT_EQ(u"Top 40", copy->pageTitle);
    EXPECT_EQ(77, copy->timeLimit);
    EXPECT_EQ(std::string::npos, ReadDevice("\\Data\\fav.opml").find("current_track"));
}

TEST_F(RemoveFavorite_, DropsTheFirstEntryWithTheIdKeepingTheOthersInOrder) {
    CRadioChannel* one = Station(u"One", u"");
    CRadioChannel* two = Station(u"Two", u"");
    CRadioChannel* three = Station(u"Three", u"");
    for (CRadioChannel* station : {one, two, three, two})
        ASSERT_NE(nullptr, m_directory.AddFavorite(station));
    ASSERT_TRUE(m_directory.RemoveFavorite(two));
    const auto expected = std::vector<std::u16string>{u"One", u"Three", u"Two"};
    EXPECT_EQ(expected, Texts(m_directory.GetFavorites()));
    EXPECT_EQ(expected, FileTexts());
    EXPECT_EQ(u"Two", two->text);  // still alive
    CRadioChannel* never = Station(u"Never", u"");
    EXPECT_FALSE(m_directory.RemoveFavorite(never));
    EXPECT_FALSE(m_directory.RemoveFavorite(nullptr));
    EXPECT_EQ(expected, FileTexts());
}

TEST_F(GetFavorites_, FileIsReadOnFirstUseOnly) {
    WriteDevice("\\Data\\fav.opml", Opml("<outline type='audio' text='First'/>"));
    CRadioChannel* favorites = m_directory.GetFavorites();
    EXPECT_EQ(CRadioChannel::kFavoritesId, favorites->id);
    EXPECT_EQ(-1, favorites->timeLimit);
    EXPECT_EQ(u"\\Data\\fav.opml", favorites->localFile);
    ASSERT_EQ(std::vector<std::u16string>{u"First"}, Texts(favorites));
    EXPECT_EQ(favorites->id, favorites->children[0]->parentId);
    const auto first = Pointers(favorites);
    WriteDevice("\\Data\\fav.opml", Opml("<outline type='audio' text='Other'/>"));
    EXPECT_EQ(favorites, m_directory.GetFavorites());
    EXPECT_EQ(first, Pointers(m_directory.GetRecord(CRadioChannel::kFavoritesId)));
}

TEST_F(GetFavorites_, UnreadableFileIsSetAsideBeforeTheFirstSaveAndNeverLost) {
    const std::string broken = "<opml><body><outline type='audio' text='Half";
    WriteDevice("\\Data\\fav.opml", broken);
    WriteDevice("\\Data\\fav.opml.unreadable", "from an earlier run");
    EXPECT_TRUE(m_directory.GetFavorites()->children.IsEmpty());
    EXPECT_EQ(broken, ReadDevice("\\Data\\fav.opml"));  // nothing moved until a change

    ASSERT_NE(nullptr, m_directory.AddFavorite(Station(u"New", u"")));
    EXPECT_EQ(std::vector<std::u16string>{u"New"}, FileTexts());
    EXPECT_EQ(broken, ReadDevice("\\Data\\fav.opml.unreadable2"));
    EXPECT_EQ("from an earlier run", ReadDevice("\\Data\\fav.opml.unreadable"));
    EXPECT_NE(std::u16string::npos,
              LogText().find(u"The favorites file \\Data\\fav.opml is not readable, kept as "
                             u"\\Data\\fav.opml.unreadable2\r\n"));

    ASSERT_NE(nullptr, m_directory.AddFavorite(Station(u"Next", u"")));
    EXPECT_EQ((std::vector<std::u16string>{u"New", u"Next"}), FileTexts());
    EXPECT_EQ(broken, ReadDevice("\\Data\\fav.opml.unreadable2"));
    EXPECT_FALSE(HostFileExists(m_root.Host("\\Data\\fav.opml.unreadable3")));
}

TEST_F(GetRecord_, FixedIdsAreMadeOnRequestAndNoOthers) {
    EXPECT_EQ(m_directory.GetRootPage(), m_directory.GetRecord(CRadioChannel::kRootPageId));
    EXPECT_EQ(m_directory.GetFavorites(), m_directory.GetRecord(CRadioChannel::kFavoritesId));
    for (LONG id : {0, 3, 6, 9}) {
        CRadioChannel* record = m_directory.GetRecord(id);
        ASSERT_NE(nullptr, record) << id;
        EXPECT_EQ(id, record->id);
        EXPECT_EQ(CRadioChannel::Container, record->kind);
        EXPECT_EQ(record, m_directory.GetRecord(id));
    }
    const int count = m_directory.Records().GetSize();
    EXPECT_EQ(nullptr, m_directory.GetRecord(-1));
    EXPECT_EQ(nullptr, m_directory.GetRecord(10));
    EXPECT_EQ(nullptr, m_directory.GetRecord(500));
    EXPECT_EQ(count, m_directory.Records().GetSize());

    CRadioChannel* ordinary = NewChannel(m_directory);
    EXPECT_GE(ordinary->id, CRadioChannel::kFirstOrdinaryId);
    EXPECT_EQ(ordinary, m_directory.GetRecord(ordinary->id));
    EXPECT_EQ(ordinary->id + 1, NewChannel(m_directory)->id);
}

TEST_F(GetRecord_, FirstRecordsAreNumberedFromElevenWithTheChannelTimeLimit) {
    m_directory.Config().options.channelTimeout = 900;
    CRadioChannel* first = NewChannel(m_directory);
    EXPECT_EQ(CRadioChannel::kFirstOrdinaryId, first->id);
    EXPECT_EQ(900, first->timeLimit);
}

TEST_F(GetRecord_, FindByQtoIdMatchesExactlyAndEmptyFindsNothing) {
    CRadioChannel* list = NewChannel(m_directory);
    CRadioChannel* blank = NewChannel(m_directory);
    CRadioChannel* keyed = NewChannel(m_directory);
    keyed->qtoId = u"s123";
    list->children.Add(blank);
    list->children.Add(keyed);
    EXPECT_EQ(keyed, CStationDirectory::FindByQtoId(list, u"s123"));
    EXPECT_EQ(nullptr, CStationDirectory::FindByQtoId(list, u"S123"));
    EXPECT_EQ(nullptr, CStationDirectory::FindByQtoId(list, u""));
    EXPECT_EQ(keyed, CStationDirectory::FindById(list, keyed->id));
    EXPECT_EQ(nullptr, CStationDirectory::FindById(list, list->id));
}

TEST_F(GetRootPage_, PointsAtTheConfiguredCopyAndAddressWhileEmpty) {
    CRadioConfig& config = m_directory.Config();
    StringCchCopyW(config.fileDirectory, MAX_PATH, u"directory.opml");
    StringCchCopyW(config.directoryUrl, MAX_PATH, u"http://s/root");
    config.options.channelTimeout = 600;
    CRadioChannel* root = m_directory.GetRootPage();
    EXPECT_EQ(CRadioChannel::kRootPageId, root->id);
    EXPECT_EQ(u"\\Data\\directory.opml", root->localFile);
    EXPECT_EQ(u"http://s/root", root->url);
    EXPECT_EQ(600, root->timeLimit);
    WriteDevice("\\Data\\directory.opml", Opml("<outline type='link' text='Music'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, root, FALSE));
    ASSERT_EQ(1, root->children.GetSize());
    EXPECT_EQ(root->id, root->children[0]->parentId);
    StringCchCopyW(config.directoryUrl, MAX_PATH, u"http://s/other");
    EXPECT_EQ(u"http://s/root", m_directory.GetRootPage()->url);  // a loaded page stays as it is
}

TEST_F(GetCache_, LifetimeIsTheCacheTimeoutOrOneDayBelowOne) {
    WriteDevice("\\Windows\\Calvaro.xml",
                "<orvi><environment><param name='file-cache' value='cache.xml'/></environment>"
                "<options><param name='cache-timeout' value='1800'/></options></orvi>");
    ASSERT_TRUE(m_directory.Config().Load());
    EXPECT_EQ(0, m_directory.CacheLifetime());
    CDownloadCache& cache = m_directory.GetCache();
    EXPECT_EQ(1800, m_directory.CacheLifetime());
    EXPECT_EQ(1800, cache.TimeToLive());
    EXPECT_EQ(u"\\Windows\\cache.xml", std::u16string(cache.IndexPath()));
    EXPECT_EQ(&cache, &m_directory.GetCache());

    for (LONG timeout : {0, -5}) {
        CStationDirectory other;
        other.Config().options.cacheTimeout = timeout;
        other.GetCache();
        EXPECT_EQ(CStationDirectory::kDefaultCacheLifetime, other.CacheLifetime()) << timeout;
        EXPECT_EQ(86400, other.GetCache().TimeToLive()) << timeout;
    }
}

}  // namespace
}  // namespace orvi::test
