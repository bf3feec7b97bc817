// Helpers of the DOM tests: a document per test on a fresh device root, and
// short ways to pass and read BSTRs.
#pragma once

#include <fstream>
#include <string>

#include "TestSupport.h"
#include "comptr.h"
#include "xmldom.h"

namespace orvi::test {

inline std::u16string Str(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

class DomTest : public DeviceRootTest {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, m_doc.CoCreateInstance(CLSID_DOMDocument, IID_IXMLDOMDocument, nullptr,
                                               CLSCTX_INPROC_SERVER));
        ASSERT_EQ(S_OK, m_doc->put_async(VARIANT_FALSE));
    }
    void TearDown() override {
        m_doc.Release();
        CoUninitialize();
    }

    // Writes raw bytes to a device file.
    void WriteDeviceFile(const std::string& devicePath, const std::string& bytes) {
        std::ofstream out(m_root.Host(devicePath), std::ios::binary);
        out << bytes;
    }
    std::string ReadDeviceFile(const std::string& devicePath) {
        std::ifstream in(m_root.Host(devicePath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    HRESULT Load(const char16_t* path, VARIANT_BOOL* ok) {
        return m_doc->load(CComVariant(path), ok);
    }
    void LoadXml(const char16_t* xml) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(S_OK, m_doc->loadXML(CComBSTR(xml), &ok));
        ASSERT_EQ(VARIANT_TRUE, ok);
    }
    CComPtr<IXMLDOMNode> Select(IXMLDOMNode* context, const char16_t* query) {
        CComPtr<IXMLDOMNode> node;
        EXPECT_EQ(S_OK, context->selectSingleNode(CComBSTR(query), &node)) << "query";
        return node;
    }
    std::u16string Text(IXMLDOMNode* node) {
        CComBSTR text;
        EXPECT_EQ(S_OK, node->get_text(&text));
        return Str(text);
    }
    std::u16string Name(IXMLDOMNode* node) {
        CComBSTR name;
        EXPECT_EQ(S_OK, node->get_nodeName(&name));
        return Str(name);
    }
    std::u16string Attr(IXMLDOMNode* node, const char16_t* name) {
        CComPtr<IXMLDOMNamedNodeMap> map;
        CComPtr<IXMLDOMNode> attr;
        if (node->get_attributes(&map) != S_OK || map->getNamedItem(CComBSTR(name), &attr) != S_OK)
            return u"<none>";
        return Text(attr);
    }

    CComPtr<IXMLDOMDocument> m_doc;
};

}  // namespace orvi::test
