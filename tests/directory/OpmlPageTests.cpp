// The OPML dialect: outlines read into records, pages read from their local
// copies, lists written back, local copy names and request decoration.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include "DirectoryTestSupport.h"

namespace {

const ORVI_STRING_ENTRY kStrings[] = {{1, u"directory tests"}};

}  // namespace

// The test program's version: its fourth number is what requests carry.
ORVI_DEFINE_RESOURCES_VERSION(kStrings, 1, 2, 3, 47);

namespace orvi::test {
namespace {

using ParseOutline_ = DirectoryTest;
using LoadPage_ = PageServerTest;  // shared with the download cases
using SaveOpml_ = DirectoryTest;
using DecorateUrl_ = DirectoryTest;
using LocalCopyName_ = DirectoryTest;

TEST_F(ParseOutline_, AudioInAnyLetterCaseIsAStationWithEveryField) {
    CRadioChannel* record = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory,
                             Element(u"<outline type='AuDiO' text='Jazz FM' URL='http://s/p?a=1&amp;amp;b=2&amp;AMP;c=3' "
                                     u"image='http://s/logo.png' bitrate='128k' current_track='Song' "
                                     u"now_playing_id='np7' preset_id='s42' qto_id='q9'/>"),
                             record));
    EXPECT_EQ(CRadioChannel::Audio, record->kind);
    EXPECT_EQ(u"Jazz FM", record->text);
    EXPECT_EQ(u"http://s/p?a=1&b=2&c=3", record->url);  // escaped twice in the file
    EXPECT_EQ(u"http://s/logo.png", record->image);
    EXPECT_EQ(128, record->bitrate);
    EXPECT_EQ(u"Song", record->currentTrack);
    EXPECT_EQ(u"np7", record->nowPlayingId);
    EXPECT_EQ(u"s42", record->presetId);
    EXPECT_EQ(u"q9", record->qtoId);

    CRadioChannel* direct = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory, Element(u"<outline type='audio' bitrate='-' url='u' URL='U'/>"), direct));
    EXPECT_EQ(CRadioChannel::kDirectStream, direct->bitrate);
    EXPECT_EQ(u"u", direct->url);
    CRadioChannel* unknown = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory, Element(u"<outline type='audio' bitrate='fast'/>"), unknown));
    EXPECT_EQ(0, unknown->bitrate);
}

TEST_F(ParseOutline_, LinkIgnoresNestedOutlinesAndStationFields) {
    CRadioChannel* record = NewChannel(m_directory);
    const int before = m_directory.Records().GetSize();
    ASSERT_TRUE(ParseOutline(m_directory,
                             Element(u"<outline type='link' text='More' url='http://s/more' bitrate='64' qto_id='q'>"
                                     u"<outline type='audio' text='Hidden'/></outline>"),
                             record));
    EXPECT_EQ(CRadioChannel::Link, record->kind);
    EXPECT_EQ(u"http://s/more", record->url);
    EXPECT_EQ(0, record->bitrate);
    EXPECT_EQ(u"", record->qtoId);
    EXPECT_TRUE(record->children.IsEmpty());
    EXPECT_EQ(before, m_directory.Records().GetSize());
}

TEST_F(ParseOutline_, HiddenOutlineBecomesTheCompanionOfTheEntryBeforeIt) {
    CRadioChannel* record = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory,
                             Element(u"<outline text='Near me'><outline type='link' text='Local' url='http://s/l?lon=#LON#'/>"
                                     u"<hiddenoutline type='link' text='Fallback' url='http://s/any'/></outline>"),
                             record));
    EXPECT_EQ(CRadioChannel::Container, record->kind);
    EXPECT_EQ(u"Near me", record->text);
    ASSERT_EQ(std::vector<std::u16string>{u"Local"}, Texts(record));
    const CRadioChannel* local = record->children[0];
    EXPECT_EQ(record->id, local->parentId);
    const CRadioChannel* companion = m_directory.FindRecord(local->hiddenCompanionId);
    ASSERT_NE(nullptr, companion);
    EXPECT_EQ(u"http://s/any", companion->url);
    EXPECT_EQ(0, companion->parentId);
}

TEST_F(ParseOutline_, HiddenOutlineFirstIsParsedButAttachedToNothing) {
    CRadioChannel* record = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory,
                             Element(u"<outline><hiddenoutline type='link' url='http://s/h'/>"
                                     u"<outline type='audio' text='A'/></outline>"),
                             record));
    ASSERT_EQ(std::vector<std::u16string>{u"A"}, Texts(record));
    EXPECT_EQ(0, record->children[0]->hiddenCompanionId);
    const CRadioChannel* last = m_directory.Records()[m_directory.Records().GetSize() - 1];
    const CRadioChannel* hidden = m_directory.Records()[m_directory.Records().GetSize() - 2];
    EXPECT_EQ(u"A", last->text);
    EXPECT_EQ(u"http://s/h", hidden->url);
}

TEST_F(ParseOutline_, DeepNestingStopsAtTheDepthLimit) {
    std::u16string xml;
    for (int i = 0; i < 5000; ++i)
        xml += u"<outline text='x'>";
    for (int i = 0; i < 5000; ++i)
        xml += u"</outline>";
    CRadioChannel* record = NewChannel(m_directory);
    ASSERT_TRUE(ParseOutline(m_directory, Element(xml), record));
    int depth = 0;
    for (const CRadioChannel* level = record; !level->children.IsEmpty(); level = level->children[0])
        ++depth;
    EXPECT_EQ(kMaxOutlineDepth, depth);
}

TEST_F(LoadPage_, NoCopyAndNothingToDownloadNamesTheCopyAfterTextAndUrl) {
    CRadioChannel* page = NewChannel(m_directory);
    page->text = u"Jazz";
    page->url = u"http://example.org/jazz.opml";
    EXPECT_EQ(kLoadPageNothingToLoad, LoadPage(m_directory, page, FALSE));
    EXPECT_EQ(u"\\Data\\21663f3653681edb1d29dd0e20053aac.xml", page->localFile);
    page->url.clear();
    EXPECT_EQ(kLoadPageNothingToLoad, LoadPage(m_directory, page, TRUE));
    EXPECT_TRUE(page->children.IsEmpty());
}

TEST_F(LocalCopyName_, LongPairsAreHashedWhole) {
    CRadioChannel first;
    first.text = std::u16string(200, u'T');
    first.url = u"http://example.org/" + std::u16string(100, u'x') + u"1";
    CRadioChannel second;
    second.text = first.text;
    second.url = first.url.substr(0, first.url.size() - 1) + u"2";
    EXPECT_EQ(u"\\Data\\9dbfe356b7cc5773d122cb2d9d54bf82.xml", LocalCopyName(m_directory, first));
    EXPECT_NE(LocalCopyName(m_directory, first), LocalCopyName(m_directory, second));
}

TEST_F(LoadPage_, LocalCopyGivesTheTopLevelEntriesWithTitleAndParent) {
    CRadioChannel* page = PageWithCopy(
        Opml("<outline type='link' text='One' url='http://s/1'/><outline text='Box'><outline type='audio' text='In'/>"
             "</outline><hiddenoutline type='link' text='Not read'/><outline type='audio' text='Two'/>",
             "<title>Top 40</title>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    ASSERT_EQ((std::vector<std::u16string>{u"One", u"Box", u"Two"}), Texts(page));
    for (const CRadioChannel* child : page->children) {
        EXPECT_EQ(u"Top 40", child->pageTitle);
        EXPECT_EQ(page->id, child->parentId);
    }
    ASSERT_EQ(std::vector<std::u16string>{u"In"}, Texts(page->children[1]));
    EXPECT_EQ(u"", page->children[1]->children[0]->pageTitle);
}

TEST_F(LoadPage_, CopyThatIsNotOpmlKeepsThePreviousChildren) {
    CRadioChannel* page = PageWithCopy(Opml("<outline type='audio' text='Kept'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    const auto before = Pointers(page);

    WriteDevice("\\Data\\page.xml", "<?xml version='1.0'?><rss><channel/></rss>");
    EXPECT_EQ(kLoadPageNotOpml, LoadPage(m_directory, page, FALSE));
    EXPECT_EQ(before, Pointers(page));
    EXPECT_EQ(u"Invaild OPML file \\Data\\page.xml,the root node name is rss!\r\n", LogText());

    WriteDevice("\\Data\\page.xml", "<opml><body><outline type='audio'");
    EXPECT_EQ(kLoadPageNotOpml, LoadPage(m_directory, page, FALSE));
    EXPECT_EQ(before, Pointers(page));

    WriteDevice("\\Data\\page.xml", "<OPML><body><outline type='audio' text='New'/></body></OPML>");
    EXPECT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    ASSERT_EQ(std::vector<std::u16string>{u"New"}, Texts(page));
    EXPECT_EQ(u"", page->children[0]->pageTitle);
}

// Bitrates as read from a page: "-", "128k", missing.
constexpr char kStations[] =
    "<outline type='audio' text='Direct' url='http://s/d' bitrate='-'/>"
    "<outline type='Audio' text='Fast' url='http://s/f' image='http://s/i.png' bitrate='128k' current_track='Now'"
    " now_playing_id='n' preset_id='p' qto_id='q'/>"
    "<outline type='audio' text='Plain'/>"
    "<outline type='link' text='More' url='http://s/m'/>"
    "<outline text='Box'><outline type='audio' text='Inside' bitrate='32'/></outline>"
    "<outline><outline type='link' text='Lifted' url='http://s/l'/></outline>";

// The written outlines as "name=value" lists, depth-first.
std::vector<std::u16string> WrittenOutlines(IXMLDOMNode* node) {
    std::vector<std::u16string> outlines;
    CComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(S_OK, node->selectNodes(CComBSTR(u".//outline"), &list));
    CComPtr<IXMLDOMNode> outline;
    while (list->nextNode(&outline) == S_OK && outline) {
        CComPtr<IXMLDOMNamedNodeMap> attributes;
        outline->get_attributes(&attributes);
        std::u16string line;
        CComPtr<IXMLDOMNode> attribute;
        while (attributes->nextNode(&attribute) == S_OK && attribute) {
            CComBSTR name;
            CComBSTR text;
            attribute->get_nodeName(&name);
            attribute->get_text(&text);
            line += std::u16string(name.m_str) + u"=" + std::u16string(text.m_str ? text.m_str : u"") + u" ";
            attribute.Release();
        }
        outlines.push_back(line);
        outline.Release();
    }
    return outlines;
}

TEST_F(SaveOpml_, WritesTheAttributesInOrderAndTheBitratesBack) {
    CRadioChannel* page = PageWithCopy(Opml(kStations));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    page->localFile = u"\\Data\\saved.opml";
    ASSERT_TRUE(SaveOpml(m_directory, page));
    CComPtr<IXMLDOMDocument> saved;
    ASSERT_TRUE(XmlLoadFile(u"\\Data\\saved.opml", &saved));
    EXPECT_EQ((std::vector<std::u16string>{
                  u"type=audio text=Direct url=http://s/d bitrate=-1 ",
                  u"type=audio text=Fast url=http://s/f image=http://s/i.png bitrate=128 current_track=Now "
                  u"now_playing_id=n preset_id=p qto_id=q ",
                  u"type=audio text=Plain bitrate=0 ",
                  u"type=link text=More url=http://s/m bitrate=0 ",
                  u"text=Box bitrate=0 ",
                  u"type=audio text=Inside bitrate=32 ",
                  u"type=link text=Lifted url=http://s/l bitrate=0 ",
              }),
              WrittenOutlines(saved));
    CComPtr<IXMLDOMNodeList> top;
    LONG count = 0;
    ASSERT_EQ(S_OK, saved->selectNodes(CComBSTR(u"opml/body/outline"), &top));
    top->get_length(&count);
    EXPECT_EQ(6, count);  // "Lifted" stands in the body, in place of its nameless container

    // Read back, the list is the same.
    CRadioChannel* again = NewChannel(m_directory);
    again->localFile = u"\\Data\\saved.opml";
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, again, FALSE));
    ASSERT_EQ(6, again->children.GetSize());
    EXPECT_EQ(-1, again->children[0]->bitrate);
    EXPECT_EQ(128, again->children[1]->bitrate);
    EXPECT_EQ(0, again->children[2]->bitrate);
}

TEST_F(SaveOpml_, EmptyListWritesABodyWithoutOutlinesAndNoFileMeansNoSave) {
    CRadioChannel* favorites = m_directory.GetRecord(CRadioChannel::kFavoritesId);
    favorites->localFile = u"\\Data\\fav.opml";
    ASSERT_TRUE(SaveOpml(m_directory, favorites));
    CComPtr<IXMLDOMDocument> saved;
    ASSERT_TRUE(XmlLoadFile(u"\\Data\\fav.opml", &saved));
    CComPtr<IXMLDOMNode> body;
    ASSERT_EQ(S_OK, saved->selectSingleNode(CComBSTR(u"opml/body"), &body));
    VARIANT_BOOL has = VARIANT_TRUE;
    body->hasChildNodes(&has);
    EXPECT_EQ(VARIANT_FALSE, has);

    CRadioChannel* nowhere = NewChannel(m_directory);
    EXPECT_FALSE(SaveOpml(m_directory, nowhere));
    EXPECT_FALSE(SaveOpml(m_directory, nullptr));
    EXPECT_EQ(u"", LogText());
}

TEST_F(SaveOpml_, ReadOnlyFileIsMadeWritableAndReplaced) {
    CRadioChannel* page = PageWithCopy(Opml("<outline type='audio' text='Old'/>"));
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    ASSERT_EQ(1, page->children.GetSize());
    page->children[0]->text = u"New";
    ASSERT_TRUE(SetFileAttributesW(u"\\Data\\page.xml", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SaveOpml(m_directory, page));
    EXPECT_NE(std::string::npos, ReadDevice("\\Data\\page.xml").find("text=\"New\""));
    EXPECT_EQ(0u, GetFileAttributesW(u"\\Data\\page.xml") & FILE_ATTRIBUTE_READONLY);
}

// Lets no file of this process grow past `bytes` while it lives, so that a
// save fails on the way even for the super-user.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(SaveOpml_, FailedSaveLeavesTheOldFileWholeAndLogs) {
    const std::string old = Opml("<outline type='audio' text='Old'/>");
    CRadioChannel* page = PageWithCopy(old);
    ASSERT_EQ(kLoadPageDone, LoadPage(m_directory, page, FALSE));
    ASSERT_EQ(1, page->children.GetSize());
    for (int i = 0; i < 200; ++i)
        page->children.Add(page->children[0]);  // a list far larger than the limit
    BOOL saved = TRUE;
    {
        FileSizeLimit limit(4096);
        saved = SaveOpml(m_directory, page);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(old, ReadDevice("\\Data\\page.xml"));
    EXPECT_EQ(0u, LogText().find(u"Can't save the \\Data\\page.xml file!\terr="));
    ASSERT_TRUE(SaveOpml(m_directory, page));
    EXPECT_GT(ReadDevice("\\Data\\page.xml").size(), 4096u);
}

TEST_F(DecorateUrl_, AppendsVersionAndScreenSizeAsQueryOrMoreOfIt) {
    std::u16string screen;
    orvi::fmt::Format(&screen, u"%d%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const std::u16string tail = u"version=WM47&device=WM" + screen;
    EXPECT_EQ(u"http://s/page.opml?" + tail, DecorateUrl(m_directory, u"http://s/page.opml"));
    EXPECT_EQ(u"http://s/page.opml?id=3&" + tail, DecorateUrl(m_directory, u"http://s/page.opml?id=3"));
    EXPECT_EQ(u"?page?" + tail, DecorateUrl(m_directory, u"?page"));
    EXPECT_EQ(u"?" + tail, DecorateUrl(m_directory, u""));
}

}  // namespace
}  // namespace orvi::test
