// Playlist entries and the M3U, PLS, ASX (INI, XML, loose) and Real parsers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CPlayList.h"
#include "comapi.h"

namespace {

using List = std::vector<std::u16string>;

class CPlayListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }
    List Entries() const {
        List entries;
        for (int i = 0; i < m_list.GetSize(); ++i)
            entries.emplace_back(m_list[i]);
        return entries;
    }
    CPlayList m_list;
};

using CPlayListAdd = CPlayListTest;
using CPlayListParse = CPlayListTest;

TEST_F(CPlayListAdd, RefusesShortTextNoColonAndARepeatOfTheLastAndCutsLongText) {
    for (const char16_t* text : {u":", u"www.example.com/x", static_cast<const char16_t*>(nullptr)})
        EXPECT_EQ(-1, m_list.Add(text));
    EXPECT_EQ(0, m_list.Add(u"a:"));
    EXPECT_EQ(-1, m_list.Add(u"a:"));
    EXPECT_EQ(1, m_list.Add(u"A:"));
    EXPECT_EQ(2, m_list.Add(u"a:"));  // only the last entry counts as a repeat
    const std::u16string url = u"http://host/" + std::u16string(400, u'x');
    EXPECT_EQ(3, m_list.Add(url.c_str()));
    EXPECT_EQ(-1, m_list.Add((url + u"y").c_str()));  // equal once cut
    EXPECT_EQ((List{u"a:", u"A:", u"a:", url.substr(0, MAX_PATH - 1)}), Entries());
    EXPECT_TRUE(m_list.RemoveFirst());
    EXPECT_EQ(u"A:", std::u16string(m_list[0]));
    m_list.Clear();
    EXPECT_EQ(0, m_list.GetSize());
    EXPECT_FALSE(m_list.RemoveFirst());
}

TEST_F(CPlayListParse, M3uAndRealSkipCommentsAndBlankLinesAtAnyLineEnd) {
    const std::u16string url = u"http://host/" + std::u16string(300, u'p');
    const std::u16string text =
        u"#EXTM3U\r\n#EXTINF:-1,R\r\nhttp://a/1\n\nhttp://a/2\r\r\nhttp://a/2\r" + url + u"\n";
    for (int kind : {MIME_M3U, MIME_REAL, MIME_MPEG}) {
        EXPECT_EQ(3, m_list.Parse(kind, text.c_str()));
        EXPECT_EQ((List{u"http://a/1", u"http://a/2", url.substr(0, 259)}), Entries());
    }
    EXPECT_EQ(0, m_list.Parse(MIME_M3U, u""));
    EXPECT_EQ(0, m_list.GetSize());
}

TEST_F(CPlayListParse, PlsTakesOnlyFileLines) {
    EXPECT_EQ(1, m_list.Parse(MIME_PLS, u"[playlist]\nFile1=http://a:8000/\nTitle1=Radio A\n"));
    EXPECT_EQ((List{u"http://a:8000/"}), Entries());
    EXPECT_EQ(2, m_list.Parse(MIME_PLS, u"FILE1=http://a/?x=1\r\nLength1=-1\r\nfile2=mms://b\r\n"
                                        u"File=\r\nfile3 http://c\r\n"));
    EXPECT_EQ((List{u"http://a/?x=1", u"mms://b"}), Entries());
}

TEST_F(CPlayListParse, AsxIniFormTakesRefLinesCutAtTheirBuffer) {
    const std::u16string url = u"http://host/" + std::u16string(250, u'q');
    const std::u16string text = u" \r\n\t[Reference]\r\nref1=http://a/s?MSWMExt=.asf\r\n"
                                u"Title=x:y\r\nRef2=" + url + u"\r\n";
    EXPECT_EQ(2, m_list.Parse(MIME_ASX, text.c_str()));
    EXPECT_EQ((List{u"http://a/s?MSWMExt=.asf", url.substr(0, 207 - 5)}), Entries());
}

TEST_F(CPlayListParse, AsxXmlFormHonoursClientSkipAndAttributeSpellings) {
    EXPECT_EQ(3, m_list.Parse(
                     MIME_ASX,
                     u"\n<ASX version=\"3.0\"><Entry ClientSkip=\"YES\"><Ref href=\"http://ad\"/>"
                     u"</Entry><ENTRY clientskip=\"no\"><REF HREF=\"http://1\"/><REF HREF="
                     u"\"http://alt\"/></ENTRY><entry><ref href=\"mms://2\"/></entry><Entry>"
                     u"<Ref/></Entry><Repeat><Entry CLIENTSKIP=\"No\"><Ref href=\"http://3\"/>"
                     u"</Entry></Repeat></ASX>"));
    EXPECT_EQ((List{u"http://1", u"mms://2", u"http://3"}), Entries());
    // Only skipped entries, and refs the fall-back scan cannot see either.
    EXPECT_EQ(-1, m_list.Parse(MIME_ASX, u"<asx><entry ClientSkip=\"yes\">"
                                         u"<ref\n href=\"http://x\"/></entry></asx>"));
    EXPECT_EQ(0, m_list.GetSize());
}

TEST_F(CPlayListParse, AsxReferenceScanRescuesBrokenAndEntrylessDocuments) {
    EXPECT_EQ(1, m_list.Parse(MIME_ASX, u"<ASX version=3.0><Entry>"
                                        u"<REF HREF = \"http://Host/L?A=B\"><ref href=\"x\">"
                                        u"<Ref Href=\"mms://Other\">"));
    EXPECT_EQ((List{u"http://Host/L?A=B", u"mms://Other"}), Entries());
    EXPECT_EQ(1, m_list.Parse(MIME_ASX, u"<asx><ref href=\"http://a\"/></asx>"));
    EXPECT_EQ((List{u"http://a"}), Entries());
    EXPECT_EQ(-1, m_list.Parse(MIME_ASX, u"<asx><ref href=\"http://unterminated"));
}

TEST_F(CPlayListParse, AsxOtherTextIsReadAsM3uOnlyWhenItLooksLikeAList) {
    EXPECT_EQ(1, m_list.Parse(MIME_ASX, u"http://a/live\r\n#comment\r\n"));
    EXPECT_EQ((List{u"http://a/live"}), Entries());
    EXPECT_EQ(1, m_list.Parse(MIME_ASX, u"\r\n MMS://b/live"));
    EXPECT_EQ(1, m_list.Parse(MIME_ASX, u"#EXTM3U\nHTTP://c"));
    for (const char16_t* text : {u" \r\n\t", u"http:", u"rtsp://d/live", u"Title: http://e"}) {
        m_list.Add(u"http://old");
        EXPECT_EQ(0, m_list.Parse(MIME_ASX, text));
        EXPECT_EQ(0, m_list.GetSize());
    }
}

}  // namespace
