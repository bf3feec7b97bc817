// Saving documents to device files.
#include "DomTestSupport.h"
#include "fileapi.h"

namespace orvi::test {
namespace {

using DomSave = DomTest;

TEST_F(DomSave, RoundTripKeepsContentAndWritesUtf8) {
    WriteDeviceFile("/in.xml",
                    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                    "<orvi><!-- kept --><options><param name=\"email\" value=\"\xE9@x\"/></options></orvi>");
    ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, Load(u"\\in.xml", &ok));
    CComPtr<IXMLDOMNode> options = Select(m_doc, u"orvi/options");
    CComPtr<IXMLDOMElement> param;
    ASSERT_EQ(S_OK, m_doc->createElement(CComBSTR(u"param"), &param));
    ASSERT_EQ(S_OK, options->appendChild(param, nullptr));
    param->setAttribute(CComBSTR(u"name"), CComVariant(u"volume"));
    param->setAttribute(CComBSTR(u"value"), CComVariant(LONG(35)));
    ASSERT_EQ(S_OK, m_doc->save(CComVariant(u"\\Data\\out.xml")));

    std::string saved = ReadDeviceFile("/Data/out.xml");
    EXPECT_EQ(0u, saved.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
    EXPECT_EQ(std::string::npos, saved.find("ISO-8859-1"));
    EXPECT_NE(std::string::npos, saved.find("\xC3\xA9@x"));

    CComPtr<IXMLDOMDocument> copy;
    ASSERT_EQ(S_OK, copy.CoCreateInstance(CLSID_DOMDocument, IID_IXMLDOMDocument));
    ASSERT_EQ(S_OK, copy->load(CComVariant(u"\\data\\OUT.xml"), &ok));
    EXPECT_EQ(u"\u00e9@x", Attr(Select(copy, u"orvi/options/param[@name='email']"), u"value"));
    EXPECT_EQ(u"35", Attr(Select(copy, u"orvi/options/param[2]"), u"value"));
    EXPECT_NE(nullptr, Select(copy, u"orvi/comment()").p);
}

TEST_F(DomSave, ReadOnlyOrMissingTargetFailsAndLeavesTheFile) {
    LoadXml(u"<orvi><options/></orvi>");
    WriteDeviceFile("/ro.xml", "<old/>");
    ASSERT_TRUE(SetFileAttributesW(u"\\ro.xml", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(E_ACCESSDENIED, m_doc->save(CComVariant(u"\\ro.xml")));
    EXPECT_EQ("<old/>", ReadDeviceFile("/ro.xml"));
    // The callers' path: clear the bit and save again.
    ASSERT_TRUE(SetFileAttributesW(u"\\ro.xml", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(S_OK, m_doc->save(CComVariant(u"\\ro.xml")));
    EXPECT_NE(std::string::npos, ReadDeviceFile("/ro.xml").find("<options />"));

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              m_doc->save(CComVariant(u"\\No Folder\\x.xml")));
    EXPECT_EQ(E_INVALIDARG, m_doc->save(CComVariant(LONG(1))));
}

}  // namespace
}  // namespace orvi::test
