#include "xml/CXmlDocument.h"

#include <algorithm>
#include <cstring>

#include "comptr.h"
#include "fileapi.h"
#include "xml/CXmlAttribute.h"
#include "xml/CXmlElement.h"
#include "xml/CXmlParseError.h"
#include "xml/DomFactory.h"
#include "xml/XmlDecode.h"

namespace orvi::xml {
namespace {

// Parse errors are reported in the device's range of XML parser codes, one
// code per kind of error pugixml tells apart.
constexpr LONG kParseErrorBase = static_cast<LONG>(0xC00CE500u);
constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
constexpr DWORD kMaxFileSize = 64u << 20;

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

bool ReadWholeFile(LPCWSTR path, std::string& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxFileSize;
    if (!ok)
        SetLastError(ERROR_FILE_TOO_LARGE);
    bytes.assign(ok ? size : 0, '\0');
    DWORD done = 0;
    while (ok && done < size) {
        DWORD n = 0;
        ok = ReadFile(file, bytes.data() + done, size - done, &n, nullptr) && n > 0;
        done += n;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

// Rules of XML that pugixml does not enforce: one document element, no text
// beside it, attribute names unique within an element. nullptr when none is
// broken.
const char* BrokenRule(const pugi::xml_document& tree) {
    int elements = 0;
    for (pugi::xml_node child : tree.children()) {
        if (child.type() == pugi::node_element)
            ++elements;
        else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            return "Text is not allowed outside the document element.";
    }
    if (elements > 1)
        return "Only one top level element is allowed in an XML document.";
    for (pugi::xml_node node = tree.first_child(); node;) {
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute()) {
                if (std::strcmp(a.name(), b.name()) == 0)
                    return "Duplicate attribute.";
            }
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling())
            node = node.parent();
        if (node)
            node = node.next_sibling();
    }
    return nullptr;
}

}  // namespace

CXmlDocument::CXmlDocument() : TXmlNode<IXMLDOMDocument>(this, XmlRef{}) {
    XmlTree tree = CXmlNodeTracker::NewTree();
    m_ref = XmlRef{tree, *tree, {}};
}

void* CXmlDocument::GetInterface(REFIID riid) {
    if (riid == IID_IXMLDOMDocument)
        return static_cast<IXMLDOMDocument*>(this);
    return NodeInterface(riid);
}

HRESULT CXmlDocument::WrapRef(const XmlRef& ref, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!ref.IsAttribute() && ref.node == m_ref.node)
        return QueryInterface(riid, ppv);
    // A wrapper's registration may run out of memory.
    return Guarded([&] {
        if (ref.IsAttribute())
            return CComObject<CXmlAttribute>::CreateInstance(riid, ppv, this, ref);
        if (ref.node.type() == pugi::node_pcdata || ref.node.type() == pugi::node_cdata)
            return CComObject<CXmlText>::CreateInstance(riid, ppv, this, ref);
        return CComObject<CXmlElement>::CreateInstance(riid, ppv, this, ref);
    });
}

STDMETHODIMP CXmlDocument::get_documentElement(IXMLDOMElement** element) {
    if (!element)
        return E_POINTER;
    *element = nullptr;
    pugi::xml_node root = m_ref.tree->document_element();
    if (!root)
        return S_FALSE;
    return WrapRef(XmlRef{m_ref.tree, root, {}}, IID_IXMLDOMElement,
                   reinterpret_cast<void**>(element));
}

STDMETHODIMP CXmlDocument::createElement(BSTR tagName, IXMLDOMElement** element) {
    if (!element)
        return E_POINTER;
    *element = nullptr;
    std::string name = FromBstr(tagName);
    if (name.empty())
        return E_INVALIDARG;
    return Guarded([&] {
        XmlTree tree = CXmlNodeTracker::NewTree();
        pugi::xml_node node = tree->append_child(name.c_str());
        return WrapRef(XmlRef{tree, node, {}}, IID_IXMLDOMElement,
                       reinterpret_cast<void**>(element));
    });
}

STDMETHODIMP CXmlDocument::createTextNode(BSTR data, IXMLDOMText** text) {
    if (!text)
        return E_POINTER;
    *text = nullptr;
    return Guarded([&] {
        XmlTree tree = CXmlNodeTracker::NewTree();
        pugi::xml_node node = tree->append_child(pugi::node_pcdata);
        node.set_value(FromBstr(data).c_str());
        return WrapRef(XmlRef{tree, node, {}}, IID_IXMLDOMText, reinterpret_cast<void**>(text));
    });
}

STDMETHODIMP CXmlDocument::createAttribute(BSTR name, IXMLDOMAttribute** attribute) {
    if (!attribute)
        return E_POINTER;
    *attribute = nullptr;
    std::string text = FromBstr(name);
    if (text.empty())
        return E_INVALIDARG;
    return Guarded([&] {
        return WrapRef(CXmlNodeTracker::NewAttribute(text.c_str()), IID_IXMLDOMAttribute,
                       reinterpret_cast<void**>(attribute));
    });
}

STDMETHODIMP CXmlDocument::get_async(VARIANT_BOOL* isAsync) {
    if (!isAsync)
        return E_POINTER;
    *isAsync = m_async;
    return S_OK;
}

STDMETHODIMP CXmlDocument::put_async(VARIANT_BOOL isAsync) {
    m_async = isAsync ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CXmlDocument::load(VARIANT source, VARIANT_BOOL* isSuccessful) {
    if (!isSuccessful)
        return E_POINTER;
    *isSuccessful = VARIANT_FALSE;
    if (source.vt != VT_BSTR || !source.bstrVal)
        return E_INVALIDARG;
    std::string bytes;
    if (!ReadWholeFile(source.bstrVal, bytes)) {
        DWORD error = GetLastError();
        FailLoad(HRESULT_FROM_WIN32(error), "The file could not be read.", isSuccessful);
        m_parseError.url = FromBstr(source.bstrVal);
        SetLastError(error);
        return S_FALSE;
    }
    HRESULT hr = Guarded([&] { return Parse(DecodeXmlBytes(bytes), isSuccessful); });
    m_parseError.url = FromBstr(source.bstrVal);
    return hr;
}

STDMETHODIMP CXmlDocument::loadXML(BSTR xml, VARIANT_BOOL* isSuccessful) {
    if (!isSuccessful)
        return E_POINTER;
    *isSuccessful = VARIANT_FALSE;
    return Guarded([&] { return Parse(FromBstr(xml), isSuccessful); });
}

HRESULT CXmlDocument::Parse(const std::string& utf8, VARIANT_BOOL* isSuccessful) {
    XmlTree tree = CXmlNodeTracker::NewTree();
    pugi::xml_parse_result result =
        tree->load_buffer(utf8.data(), utf8.size(), kParseFlags, pugi::encoding_utf8);
    if (!result) {
        FailLoad(kParseErrorBase + static_cast<LONG>(result.status), result.description(),
                 isSuccessful);
        RecordParseError(utf8, result);
        return S_FALSE;
    }
    if (const char* rule = BrokenRule(*tree)) {
        FailLoad(kParseErrorBase + static_cast<LONG>(pugi::status_internal_error + 1), rule,
                 isSuccessful);
        return S_FALSE;
    }
    // Wrappers of the old tree keep it alive; they are no longer part of
    // this document's content.
    m_ref = XmlRef{tree, *tree, {}};
    m_parseError = ParseErrorInfo{};
    *isSuccessful = VARIANT_TRUE;
    return S_OK;
}

void CXmlDocument::FailLoad(LONG code, const std::string& reason, VARIANT_BOOL* isSuccessful) {
    XmlTree empty = CXmlNodeTracker::NewTree();
    m_ref = XmlRef{empty, *empty, {}};
    m_parseError = ParseErrorInfo{};
    m_parseError.code = code;
    m_parseError.reason = reason;
    *isSuccessful = VARIANT_FALSE;
}

void CXmlDocument::RecordParseError(const std::string& utf8, const pugi::xml_parse_result& result) {
    size_t offset = std::min(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), utf8.size());
    size_t lineStart = utf8.rfind('\n', offset == 0 ? 0 : offset - 1);
    lineStart = (lineStart == std::string::npos || offset == 0) ? 0 : lineStart + 1;
    size_t lineEnd = utf8.find('\n', offset);
    m_parseError.line = static_cast<LONG>(std::count(utf8.begin(), utf8.begin() + offset, '\n') + 1);
    m_parseError.linepos = static_cast<LONG>(offset - lineStart + 1);
    m_parseError.filepos = static_cast<LONG>(offset);
    m_parseError.srcText = utf8.substr(lineStart, lineEnd == std::string::npos ? std::string::npos
                                                                               : lineEnd - lineStart);
}

STDMETHODIMP CXmlDocument::save(VARIANT destination) {
    if (destination.vt != VT_BSTR || !destination.bstrVal || !destination.bstrVal[0])
        return E_INVALIDARG;
    std::string text;
    HRESULT hr = Guarded([&] {
        StringWriter writer;
        writer.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        for (pugi::xml_node child : m_ref.tree->children()) {
            if (child.type() != pugi::node_declaration)
                child.print(writer, "  ", pugi::format_indent, pugi::encoding_utf8, 0);
        }
        text = std::move(writer.text);
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    if (!OrviAtomicWriteFile(destination.bstrVal, text.data(), static_cast<DWORD>(text.size()))) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP CXmlDocument::get_parseError(IXMLDOMParseError** errorObj) {
    return CComObject<CXmlParseError>::CreateInstance(IID_IXMLDOMParseError,
                                                      reinterpret_cast<void**>(errorObj),
                                                      m_parseError);
}

HRESULT CreateDomDocument(REFIID riid, void** ppv) {
    return Guarded([&] { return CComObject<CXmlDocument>::CreateInstance(riid, ppv); });
}

}  // namespace orvi::xml
