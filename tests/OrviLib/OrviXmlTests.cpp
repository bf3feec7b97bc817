// The parameter and attribute helpers over the DOM, and the file helpers.
#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "OrviXml.h"
#include "comptr.h"

namespace orvi::test {
namespace {

std::u16string Xml(IXMLDOMNode* node) {
    CComBSTR xml;
    node->get_xml(&xml);
    return xml.m_str ? std::u16string(xml.m_str, xml.Length()) : std::u16string();
}

class XmlHelperTest : public DeviceRootTest {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, XmlCreateDocument(&m_doc));
    }
    void TearDown() override {
        m_section.Release();
        m_doc.Release();
        CoUninitialize();
        SetLogFile(nullptr);
    }
    void LoadSection(const char16_t* xml) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(S_OK, m_doc->loadXML(CComBSTR(xml), &ok));
        ASSERT_EQ(S_OK, m_doc->selectSingleNode(CComBSTR(u"orvi/section"), &m_section));
    }
    CComPtr<IXMLDOMDocument> m_doc;
    CComPtr<IXMLDOMNode> m_section;
};

using GetParam_ = XmlHelperTest;

TEST_F(GetParam_, MatchesNameAndLanguage) {
    LoadSection(u"<orvi><section>"
                u"<param name='title' value='Radio' />"
                u"<param name='title' lang='1031' value='Funk' />"
                u"<param name='novalue' />"
                u"<param name=\"it's\" value='quoted' />"
                u"</section></orvi>");
    EXPECT_EQ(u"Radio", GetParam(m_section, u"title"));
    EXPECT_EQ(u"Funk", GetParam(m_section, u"title", 1031));
    EXPECT_EQ(u"", GetParam(m_section, u"title", 1036));  // no param in that language
    EXPECT_EQ(u"", GetParam(m_section, u"novalue"));
    EXPECT_EQ(u"", GetParam(m_section, u"missing"));
    // A quote breaks the query, which reads as not found.
    EXPECT_EQ(u"", GetParam(m_section, u"it's"));
    EXPECT_EQ(u"", GetParam(nullptr, u"title"));
}

using SetParam_ = XmlHelperTest;

TEST_F(SetParam_, NewElementGetsNameBeforeValueAndExistingKeepsItsAttributes) {
    LoadSection(u"<orvi><section><param lang='7' name='kept' value='old' extra='x'/></section></orvi>");
    EXPECT_TRUE(SetParam(m_section, u"added", u"one"));
    EXPECT_TRUE(SetParamInt(m_section, u"number", -42));
    EXPECT_TRUE(SetParam(m_section, u"kept", u"new"));
    EXPECT_EQ(u"<section><param lang=\"7\" name=\"kept\" value=\"new\" extra=\"x\"/>"
              u"<param name=\"added\" value=\"one\"/><param name=\"number\" value=\"-42\"/></section>",
              Xml(m_section));
    EXPECT_EQ(u"-42", GetParam(m_section, u"number"));
}

TEST_F(SetParam_, NodeWithoutOwnerDocumentFails) {
    EXPECT_FALSE(SetParam(nullptr, u"a", u"b"));
}

using Attributes = XmlHelperTest;

TEST_F(Attributes, ReadConvertAndReplace) {
    LoadSection(u"<orvi><section a='12abc' b='abc' c='' d=' 7'/></orvi>");
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, m_section->get_attributes(&attributes));
    EXPECT_EQ(12, GetAttrInt(attributes, u"a", -1));
    EXPECT_EQ(0, GetAttrInt(attributes, u"b", -1));   // no digits: 0, not the default
    EXPECT_EQ(-1, GetAttrInt(attributes, u"c", -1));  // empty text: the default
    EXPECT_EQ(-1, GetAttrInt(attributes, u"missing", -1));
    EXPECT_EQ(7, GetAttrInt(attributes, u"d", -1));
    EXPECT_EQ(u"12abc", GetAttr(attributes, u"a"));
    EXPECT_EQ(u"", GetAttr(attributes, u"missing"));
    EXPECT_EQ(u"", GetAttr(nullptr, u"a"));

    EXPECT_EQ(S_OK, SetAttr(m_doc, attributes, u"a", u"\u00e9t\u00e9 & <co>"));
    EXPECT_EQ(S_OK, SetAttrInt(m_doc, attributes, u"e", 2147483647));
    EXPECT_EQ(u"\u00e9t\u00e9 & <co>", GetAttr(attributes, u"a"));
    EXPECT_EQ(2147483647, GetAttrInt(attributes, u"e", 0));
    LONG length = 0;
    attributes->get_length(&length);
    EXPECT_EQ(5, length);  // replaced in place, one appended
    EXPECT_TRUE(FAILED(SetAttr(nullptr, attributes, u"a", u"b")));
}

using XmlFiles = XmlHelperTest;

TEST_F(XmlFiles, SaveThenLoadAndFailuresAreLogged) {
    LoadSection(u"<orvi><section/></orvi>");
    SetParam(m_section, u"k", u"v");
    ASSERT_EQ(S_OK, XmlSaveFile(m_doc, u"\\saved.xml"));
    CComPtr<IXMLDOMDocument> loaded;
    ASSERT_TRUE(XmlLoadFile(u"\\saved.xml", &loaded));
    CComPtr<IXMLDOMNode> section;
    ASSERT_EQ(S_OK, loaded->selectSingleNode(CComBSTR(u"orvi/section"), &section));
    EXPECT_EQ(u"v", GetParam(section, u"k"));

    ASSERT_TRUE(SetLogFile(u"\\helper.log"));
    CComPtr<IXMLDOMDocument> none;
    EXPECT_FALSE(XmlLoadFile(u"\\missing.xml", &none));
    EXPECT_EQ(nullptr, none.p);
    WriteHostFile(m_root.Host("\\bad.xml"), "<orvi><section></orvi>");
    EXPECT_FALSE(XmlLoadFile(u"\\bad.xml", &none));
    EXPECT_EQ(nullptr, none.p);
    const std::u16string log = FromUtf16Bytes(ReadHostFile(m_root.Host("\\helper.log")));
    EXPECT_NE(std::u16string::npos, log.find(u"failed(err=2): \\missing.xml\r\n"));
    EXPECT_NE(std::u16string::npos, log.find(u"format invalid(err="));
    EXPECT_NE(std::u16string::npos, log.find(u"\\bad.xml"));
}

}  // namespace
}  // namespace orvi::test
