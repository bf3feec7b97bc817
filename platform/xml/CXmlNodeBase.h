// The behaviour every DOM node wrapper shares (the IXMLDOMNode methods),
// written once over an XmlRef. The COM classes derive from TXmlNode, which
// forwards the interface's methods here.
#pragma once

#include "xml/XmlRef.h"
#include "xmldom.h"

namespace orvi::xml {

class CXmlDocument;

// Answered by every wrapper of this DOM, so that a node handed back to a
// method (appendChild, setNamedItem) can be recognised as one of ours.
ORVI_DEFINE_GUID(IID_OrviXmlNodeBase, 0x417c9ff1, 0x4770, 0x4fa9, 0x8b, 0x60, 0xb7, 0x36, 0xb3,
                 0xd6, 0x9d, 0xc1);

class CXmlNodeBase {
public:
    // Node wrappers keep the document alive and are retargeted by it when
    // their node moves between trees. The document's own wrapper passes
    // itself and holds no reference to itself.
    CXmlNodeBase(CXmlDocument* document, XmlRef ref);
    virtual ~CXmlNodeBase();
    CXmlNodeBase(const CXmlNodeBase&) = delete;
    CXmlNodeBase& operator=(const CXmlNodeBase&) = delete;

    const XmlRef& Ref() const { return m_ref; }
    // Called by the document, under its lock, when the node moved.
    void Retarget(const XmlRef& ref) { m_ref = ref; }
    CXmlDocument* Document() const { return m_pDocument; }
    // Our wrapper behind an interface pointer, or nullptr for a foreign one.
    static CXmlNodeBase* FromInterface(IUnknown* node);

    HRESULT get_nodeName(BSTR* name);
    HRESULT get_nodeValue(VARIANT* value);
    HRESULT put_nodeValue(const VARIANT& value);
    HRESULT get_nodeType(DOMNodeType* type);
    HRESULT get_parentNode(IXMLDOMNode** parent);
    HRESULT get_childNodes(IXMLDOMNodeList** children);
    HRESULT get_firstChild(IXMLDOMNode** child);
    HRESULT get_lastChild(IXMLDOMNode** child);
    HRESULT get_previousSibling(IXMLDOMNode** sibling);
    HRESULT get_nextSibling(IXMLDOMNode** sibling);
    HRESULT get_attributes(IXMLDOMNamedNodeMap** attributes);
    HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild);
    HRESULT removeChild(IXMLDOMNode* child, IXMLDOMNode** oldChild);
    HRESULT hasChildNodes(VARIANT_BOOL* has);
    HRESULT get_ownerDocument(IXMLDOMDocument** document);
    HRESULT get_text(BSTR* text);
    HRESULT put_text(BSTR text);
    HRESULT get_xml(BSTR* xml);
    HRESULT selectNodes(BSTR query, IXMLDOMNodeList** result);
    HRESULT selectSingleNode(BSTR query, IXMLDOMNode** result);

protected:
    // The interface the wrapper answers as itself (for get_attributes etc.).
    virtual IXMLDOMNode* AsNode() = 0;
    HRESULT Wrap(pugi::xml_node node, IXMLDOMNode** out);
    HRESULT Related(pugi::xml_node node, IXMLDOMNode** out);

    XmlRef m_ref;
    CXmlDocument* m_pDocument;

private:
    IUnknown* m_pKeepAlive = nullptr;
};

// Forwards IXMLDOMNode of interface I to CXmlNodeBase.
template <class I>
class TXmlNode : public I, public CXmlNodeBase {
public:
    using CXmlNodeBase::CXmlNodeBase;

#define ORVI_FORWARD(name, param, arg) \
    STDMETHODIMP name(param) override { return CXmlNodeBase::name(arg); }
    ORVI_FORWARD(get_nodeName, BSTR* p, p)
    ORVI_FORWARD(get_nodeValue, VARIANT* p, p)
    ORVI_FORWARD(put_nodeValue, VARIANT v, v)
    ORVI_FORWARD(get_nodeType, DOMNodeType* p, p)
    ORVI_FORWARD(get_parentNode, IXMLDOMNode** p, p)
    ORVI_FORWARD(get_childNodes, IXMLDOMNodeList** p, p)
    ORVI_FORWARD(get_firstChild, IXMLDOMNode** p, p)
    ORVI_FORWARD(get_lastChild, IXMLDOMNode** p, p)
    ORVI_FORWARD(get_previousSibling, IXMLDOMNode** p, p)
    ORVI_FORWARD(get_nextSibling, IXMLDOMNode** p, p)
    ORVI_FORWARD(get_attributes, IXMLDOMNamedNodeMap** p, p)
    ORVI_FORWARD(hasChildNodes, VARIANT_BOOL* p, p)
    ORVI_FORWARD(get_ownerDocument, IXMLDOMDocument** p, p)
    ORVI_FORWARD(get_text, BSTR* p, p)
    ORVI_FORWARD(put_text, BSTR p, p)
    ORVI_FORWARD(get_xml, BSTR* p, p)
#undef ORVI_FORWARD
    STDMETHODIMP appendChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
        return CXmlNodeBase::appendChild(child, out);
    }
    STDMETHODIMP removeChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
        return CXmlNodeBase::removeChild(child, out);
    }
    STDMETHODIMP selectNodes(BSTR query, IXMLDOMNodeList** out) override {
        return CXmlNodeBase::selectNodes(query, out);
    }
    STDMETHODIMP selectSingleNode(BSTR query, IXMLDOMNode** out) override {
        return CXmlNodeBase::selectSingleNode(query, out);
    }

protected:
    IXMLDOMNode* AsNode() override { return this; }
    // Interfaces every node answers; I's own IID is added by the class.
    void* NodeInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IXMLDOMNode)
            return static_cast<IXMLDOMNode*>(this);
        if (riid == IID_OrviXmlNodeBase)
            return static_cast<CXmlNodeBase*>(this);
        return nullptr;
    }
};

}  // namespace orvi::xml
