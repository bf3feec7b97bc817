#include "xml/CXmlNodeBase.h"

#include <vector>

#include "comptr.h"
#include "xml/CXmlDocument.h"
#include "xml/CXmlNamedNodeMap.h"
#include "xml/CXmlNodeList.h"

namespace orvi::xml {
namespace {

const char* NodeNameOf(pugi::xml_node node) {
    switch (node.type()) {
    case pugi::node_pcdata:
        return "#text";
    case pugi::node_cdata:
        return "#cdata-section";
    case pugi::node_comment:
        return "#comment";
    case pugi::node_document:
        return "#document";
    default:
        return node.name();
    }
}

bool HasValue(pugi::xml_node node) {
    switch (node.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
        return true;
    default:
        return false;
    }
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

}  // namespace

CXmlNodeBase::CXmlNodeBase(CXmlDocument* document, XmlRef ref)
    : m_ref(std::move(ref)), m_pDocument(document) {
    if (static_cast<CXmlNodeBase*>(document) != this) {
        m_pKeepAlive = static_cast<IXMLDOMDocument*>(document);
        m_pKeepAlive->AddRef();
        document->Tracker().Register(this);
    }
}

CXmlNodeBase::~CXmlNodeBase() {
    if (m_pKeepAlive) {
        m_pDocument->Tracker().Unregister(this);
        m_pKeepAlive->Release();
    }
}

CXmlNodeBase* CXmlNodeBase::FromInterface(IUnknown* node) {
    void* base = nullptr;
    if (!node || FAILED(node->QueryInterface(IID_OrviXmlNodeBase, &base)))
        return nullptr;
    // The caller holds its own reference, so the object stays alive.
    node->Release();
    return static_cast<CXmlNodeBase*>(base);
}

HRESULT CXmlNodeBase::Wrap(pugi::xml_node node, IXMLDOMNode** out) {
    return m_pDocument->WrapRef(XmlRef{m_ref.tree, node, {}}, IID_IXMLDOMNode,
                                reinterpret_cast<void**>(out));
}

// A neighbour of this node: S_FALSE and NULL when there is none.
HRESULT CXmlNodeBase::Related(pugi::xml_node node, IXMLDOMNode** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!node || m_ref.IsAttribute())
        return S_FALSE;
    return Wrap(node, out);
}

HRESULT CXmlNodeBase::get_nodeName(BSTR* name) {
    return OutBstr(m_ref.IsAttribute() ? m_ref.attr.name() : NodeNameOf(m_ref.node), name);
}

HRESULT CXmlNodeBase::get_nodeValue(VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    if (!m_ref.IsAttribute() && !HasValue(m_ref.node)) {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    value->bstrVal = ToBstr(m_ref.IsAttribute() ? m_ref.attr.value() : m_ref.node.value());
    if (!value->bstrVal)
        return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

HRESULT CXmlNodeBase::put_nodeValue(const VARIANT& value) {
    if (!m_ref.IsAttribute() && !HasValue(m_ref.node))
        return E_FAIL;
    std::string text;
    HRESULT hr = VariantToText(value, text);
    if (FAILED(hr))
        return hr;
    bool ok = m_ref.IsAttribute() ? m_ref.attr.set_value(text.c_str())
                                  : m_ref.node.set_value(text.c_str());
    return ok ? S_OK : E_OUTOFMEMORY;
}

HRESULT CXmlNodeBase::get_nodeType(DOMNodeType* type) {
    if (!type)
        return E_POINTER;
    if (m_ref.IsAttribute()) {
        *type = NODE_ATTRIBUTE;
        return S_OK;
    }
    switch (m_ref.node.type()) {
    case pugi::node_element: *type = NODE_ELEMENT; break;
    case pugi::node_pcdata: *type = NODE_TEXT; break;
    case pugi::node_cdata: *type = NODE_CDATA_SECTION; break;
    case pugi::node_comment: *type = NODE_COMMENT; break;
    case pugi::node_document: *type = NODE_DOCUMENT; break;
    case pugi::node_pi:
    case pugi::node_declaration: *type = NODE_PROCESSING_INSTRUCTION; break;
    case pugi::node_doctype: *type = NODE_DOCUMENT_TYPE; break;
    default: *type = NODE_INVALID; break;
    }
    return S_OK;
}

HRESULT CXmlNodeBase::get_parentNode(IXMLDOMNode** parent) {
    if (!parent)
        return E_POINTER;
    *parent = nullptr;
    pugi::xml_node node = m_ref.IsAttribute() ? pugi::xml_node() : m_ref.node.parent();
    // Only the document's own tree has the document as a parent; created and
    // removed nodes have none.
    if (!node || (node.type() == pugi::node_document && !m_pDocument->IsMainTree(m_ref.tree)))
        return S_FALSE;
    return Wrap(node, parent);
}

HRESULT CXmlNodeBase::get_childNodes(IXMLDOMNodeList** children) {
    if (!children)
        return E_POINTER;
    *children = nullptr;
    std::vector<XmlRef> items;
    if (!m_ref.IsAttribute()) {
        for (pugi::xml_node child : m_ref.node.children())
            items.push_back(XmlRef{m_ref.tree, child, {}});
    }
    return CXmlNodeList::Create(m_pDocument, items, children);
}

HRESULT CXmlNodeBase::get_firstChild(IXMLDOMNode** child) {
    return Related(m_ref.node.first_child(), child);
}

HRESULT CXmlNodeBase::get_lastChild(IXMLDOMNode** child) {
    return Related(m_ref.node.last_child(), child);
}

HRESULT CXmlNodeBase::get_previousSibling(IXMLDOMNode** sibling) {
    return Related(m_ref.node.previous_sibling(), sibling);
}

HRESULT CXmlNodeBase::get_nextSibling(IXMLDOMNode** sibling) {
    return Related(m_ref.node.next_sibling(), sibling);
}

HRESULT CXmlNodeBase::get_attributes(IXMLDOMNamedNodeMap** attributes) {
    if (!attributes)
        return E_POINTER;
    *attributes = nullptr;
    if (m_ref.IsAttribute() || m_ref.node.type() != pugi::node_element)
        return S_FALSE;
    return CXmlNamedNodeMap::Create(this, AsNode(), attributes);
}

HRESULT CXmlNodeBase::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
    if (outNewChild)
        *outNewChild = nullptr;
    CXmlNodeBase* child = CXmlNodeBase::FromInterface(newChild);
    if (!child || child->Document() != m_pDocument)
        return E_INVALIDARG;
    HRESULT hr = Guarded([&] { return m_pDocument->Tracker().AppendChild(m_ref, child->Ref()); });
    if (SUCCEEDED(hr) && outNewChild) {
        *outNewChild = newChild;
        newChild->AddRef();
    }
    return hr;
}

HRESULT CXmlNodeBase::removeChild(IXMLDOMNode* child, IXMLDOMNode** oldChild) {
    if (oldChild)
        *oldChild = nullptr;
    CXmlNodeBase* node = CXmlNodeBase::FromInterface(child);
    if (!node || node->Document() != m_pDocument || node->Ref().IsAttribute() ||
        node->Ref().tree != m_ref.tree || node->Ref().node.parent() != m_ref.node ||
        m_ref.IsAttribute())
        return E_INVALIDARG;
    HRESULT hr = Guarded([&] { return m_pDocument->Tracker().Detach(node->Ref()); });
    if (SUCCEEDED(hr) && oldChild) {
        *oldChild = child;
        child->AddRef();
    }
    return hr;
}

HRESULT CXmlNodeBase::hasChildNodes(VARIANT_BOOL* has) {
    if (!has)
        return E_POINTER;
    bool any = !m_ref.IsAttribute() && m_ref.node.first_child();
    *has = any ? VARIANT_TRUE : VARIANT_FALSE;
    return any ? S_OK : S_FALSE;
}

HRESULT CXmlNodeBase::get_ownerDocument(IXMLDOMDocument** document) {
    if (!document)
        return E_POINTER;
    *document = m_pDocument;
    m_pDocument->AddRef();
    return S_OK;
}

HRESULT CXmlNodeBase::get_text(BSTR* text) {
    if (m_ref.IsAttribute())
        return OutBstr(m_ref.attr.value(), text);
    if (HasValue(m_ref.node))
        return OutBstr(m_ref.node.value(), text);
    return OutBstr(TrimWhiteSpace(DescendantText(m_ref.node)), text);
}

HRESULT CXmlNodeBase::put_text(BSTR text) {
    std::string value = FromBstr(text);
    if (m_ref.IsAttribute())
        return m_ref.attr.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
    if (HasValue(m_ref.node))
        return m_ref.node.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
    if (m_ref.node.type() != pugi::node_element)
        return E_FAIL;
    return Guarded([&]() -> HRESULT {
        // Children go to trees of their own so that wrappers of them stay valid.
        while (pugi::xml_node child = m_ref.node.first_child()) {
            HRESULT hr = m_pDocument->Tracker().Detach(XmlRef{m_ref.tree, child, {}});
            if (FAILED(hr))
                return hr;
        }
        if (value.empty())
            return S_OK;
        pugi::xml_node textNode = m_ref.node.append_child(pugi::node_pcdata);
        return textNode && textNode.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CXmlNodeBase::get_xml(BSTR* xml) {
    if (m_ref.IsAttribute()) {
        StringWriter writer;
        pugi::xml_document scratch;
        scratch.append_child("x").append_copy(m_ref.attr);
        scratch.first_child().print(writer, "", pugi::format_raw);
        // "<x name="value"/>" without the element around it.
        std::string text = writer.text;
        return OutBstr(text.size() > 5 ? text.substr(3, text.size() - 5) : std::string(), xml);
    }
    return Guarded([&] {
        StringWriter writer;
        m_ref.node.print(writer, "\t", pugi::format_raw);
        return OutBstr(writer.text, xml);
    });
}

}  // namespace orvi::xml
