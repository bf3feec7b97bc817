#include "OrviXml.h"

#include "OrviDebug.h"
#include "comptr.h"
#include "platform.h"

namespace {

// The parse error's reason, or empty text.
std::u16string ParseReason(IXMLDOMDocument* document) {
    CComPtr<IXMLDOMParseError> error;
    CComBSTR reason;
    if (document->get_parseError(&error) != S_OK || !error || error->get_reason(&reason) != S_OK ||
        !reason.m_str)
        return {};
    return std::u16string(reason.m_str, reason.Length());
}

}  // namespace

HRESULT XmlCreateDocument(IXMLDOMDocument** document) {
    if (!document)
        return E_POINTER;
    *document = nullptr;
    CComPtr<IXMLDOMDocument> created;
    HRESULT hr = CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IXMLDOMDocument, reinterpret_cast<void**>(&created));
    if (FAILED(hr))
        return hr;
    created->put_async(VARIANT_FALSE);
    *document = created.Detach();
    return S_OK;
}

BOOL XmlLoadFile(LPCWSTR path, IXMLDOMDocument** document) {
    *document = nullptr;
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        Log(u"Load XML file failed(err=%ld): %s\r\n", GetLastError(), path);
        return FALSE;
    }
    CComPtr<IXMLDOMDocument> loaded;
    HRESULT hr = XmlCreateDocument(&loaded);
    if (FAILED(hr)) {
        Log(u"Create XMLDOM object failed(hr=0x%08lx)!\r\n", hr);
        return FALSE;
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = loaded->load(CComVariant(path), &ok);
    if (hr != S_OK || ok != VARIANT_TRUE) {
        Log(u"The XML file is format invalid(err=%ld): %s %s\r\n", GetLastError(), path,
            ParseReason(loaded));
        return FALSE;
    }
    *document = loaded.Detach();
    return TRUE;
}

HRESULT XmlSaveFile(IXMLDOMDocument* document, LPCWSTR path) {
    if (!document || !path)
        return E_INVALIDARG;
    return document->save(CComVariant(path));
}

std::u16string GetParam(IXMLDOMNode* node, LPCWSTR name, int lang) {
    std::u16string query;
    if (lang == 0)
        orvi::fmt::Format(&query, u"param[@name='%s']", name);
    else
        orvi::fmt::Format(&query, u"param[@name='%s'][@lang='%d']", name, lang);
    CComPtr<IXMLDOMNode> param;
    if (!node || node->selectSingleNode(CComBSTR(query.c_str()), &param) != S_OK || !param)
        return {};
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    if (param->get_attributes(&attributes) != S_OK || !attributes)
        return {};
    return GetAttr(attributes, u"value");
}

BOOL SetParam(IXMLDOMNode* node, LPCWSTR name, LPCWSTR value) {
    CComPtr<IXMLDOMDocument> document;
    if (!node || node->get_ownerDocument(&document) != S_OK || !document)
        return FALSE;
    std::u16string query;
    orvi::fmt::Format(&query, u"param[@name='%s']", name);
    CComPtr<IXMLDOMNode> param;
    bool created = false;
    if (node->selectSingleNode(CComBSTR(query.c_str()), &param) != S_OK || !param) {
        CComPtr<IXMLDOMElement> element;
        if (SUCCEEDED(document->createElement(CComBSTR(u"param"), &element)) && element) {
            node->appendChild(element, nullptr);
            param = element;
            created = true;
        }
    }
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    if (!param || param->get_attributes(&attributes) != S_OK || !attributes)
        return FALSE;
    if (created)
        SetAttr(document, attributes, u"name", name);
    SetAttr(document, attributes, u"value", value);
    return TRUE;
}

BOOL SetParamInt(IXMLDOMNode* node, LPCWSTR name, LONG number) {
    std::u16string text;
    orvi::fmt::Format(&text, u"%ld", number);
    return SetParam(node, name, text.c_str());
}

std::u16string GetAttr(IXMLDOMNamedNodeMap* attributes, LPCWSTR name) {
    CComPtr<IXMLDOMNode> attribute;
    if (!attributes || attributes->getNamedItem(CComBSTR(name), &attribute) != S_OK || !attribute)
        return {};
    CComBSTR text;
    if (attribute->get_text(&text) != S_OK || !text.m_str)
        return {};
    return std::u16string(text.m_str, text.Length());
}

LONG GetAttrInt(IXMLDOMNamedNodeMap* attributes, LPCWSTR name, LONG defaultValue) {
    const std::u16string text = GetAttr(attributes, name);
    return text.empty() ? defaultValue : _wtol(text.c_str());
}

HRESULT SetAttr(IXMLDOMDocument* document, IXMLDOMNamedNodeMap* attributes, LPCWSTR name,
                LPCWSTR value) {
    if (!document || !attributes)
        return E_INVALIDARG;
    CComPtr<IXMLDOMAttribute> attribute;
    HRESULT hr = document->createAttribute(CComBSTR(name), &attribute);
    if (FAILED(hr))
        return hr;
    hr = attribute->put_text(CComBSTR(value ? value : u""));
    if (FAILED(hr))
        return hr;
    return attributes->setNamedItem(attribute, nullptr);
}

HRESULT SetAttrInt(IXMLDOMDocument* document, IXMLDOMNamedNodeMap* attributes, LPCWSTR name,
                   LONG number) {
    std::u16string text;
    orvi::fmt::Format(&text, u"%ld", number);
    return SetAttr(document, attributes, name, text.c_str());
}
