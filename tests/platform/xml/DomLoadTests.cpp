// Loading documents: encodings, malformed input, missing files.
#include "DomTestSupport.h"
#include "fileapi.h"

namespace orvi::test {
namespace {

using DomLoad = DomTest;

TEST_F(DomLoad, ReadsUtf8Utf16AndLatin1Files) {
    const std::u16string expected = u"Caf\u00e9 \u00c5";
    WriteDeviceFile("/utf8.xml", "\xEF\xBB\xBF<r a=\"x\">Caf\xC3\xA9 \xC3\x85</r>");
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r a=\"x\">" + expected + u"</r>")
        if (c)
            utf16 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    WriteDeviceFile("/utf16.xml", utf16);
    WriteDeviceFile("/latin1.xml",
                    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"x\">Caf\xE9 \xC5</r>");
    // 0x80 is the euro sign in Windows-1252 but a control character in ISO-8859-1.
    WriteDeviceFile("/cp1252.xml", "<?xml version='1.0' encoding='windows-1252'?><r a='\x80'>Caf\xE9 \xC5</r>");
    WriteDeviceFile("/latin1c1.xml", "<?xml version='1.0' encoding='iso-8859-1'?><r a='\x80'>Caf\xE9 \xC5</r>");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, Load(u"\\cp1252.xml", &loaded));
    EXPECT_EQ(u"\u20ac", Attr(Select(m_doc, u"r"), u"a"));
    ASSERT_EQ(S_OK, Load(u"\\latin1c1.xml", &loaded));
    EXPECT_EQ(u"\u0080", Attr(Select(m_doc, u"r"), u"a"));
    for (const char16_t* path : {u"\\utf8.xml", u"\\UTF16.xml", u"\\latin1.xml"}) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        SCOPED_TRACE(::testing::PrintToString(std::u16string(path)));
        ASSERT_EQ(S_OK, Load(path, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok);
        CComPtr<IXMLDOMElement> root;
        ASSERT_EQ(S_OK, m_doc->get_documentElement(&root));
        EXPECT_EQ(expected, Text(root));
        EXPECT_EQ(u"x", Attr(root, u"a"));
    }
}

TEST_F(DomLoad, MalformedDocumentFailsWithReasonAndPosition) {
    LoadXml(u"<old/>");
    WriteDeviceFile("/bad.xml", "<?xml version=\"1.0\"?>\n<r>\n  <a></b>\n</r>");
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, Load(u"\\bad.xml", &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    CComPtr<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, m_doc->get_parseError(&error));
    LONG code = 0, line = 0, linepos = 0;
    CComBSTR reason;
    EXPECT_EQ(S_OK, error->get_errorCode(&code));
    EXPECT_EQ(S_OK, error->get_line(&line));
    EXPECT_EQ(S_OK, error->get_linepos(&linepos));
    EXPECT_EQ(S_OK, error->get_reason(&reason));
    EXPECT_LT(code, 0);
    EXPECT_EQ(3, line);
    EXPECT_GT(linepos, 3);
    EXPECT_FALSE(Str(reason).empty());
    // The document that was there before is gone, as after any failed load.
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, m_doc->get_documentElement(&root));
    EXPECT_EQ(nullptr, root.p);

    for (const char16_t* text : {u"", u"plain text", u"<a><b></a>", u"<a/><b/>", u"<a x='1' x='2'/>"}) {
        SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
        EXPECT_EQ(S_FALSE, m_doc->loadXML(CComBSTR(text), &ok));
        EXPECT_EQ(VARIANT_FALSE, ok);
    }
    LoadXml(u"<fine/>");
    error.Release();
    ASSERT_EQ(S_OK, m_doc->get_parseError(&error));
    EXPECT_EQ(S_OK, error->get_errorCode(&code));
    EXPECT_EQ(0, code);
}

TEST_F(DomLoad, MissingFileAndBadSource) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    SetLastError(0);
    EXPECT_EQ(S_FALSE, Load(u"\\Program Files\\none.xml", &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    CComVariant number(LONG(3));
    EXPECT_EQ(E_INVALIDARG, m_doc->load(number, &ok));
    EXPECT_EQ(E_POINTER, m_doc->load(CComVariant(u"\\x.xml"), nullptr));
}

}  // namespace
}  // namespace orvi::test
