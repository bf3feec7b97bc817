// Wrapper of an element, and of the other non-text nodes (comments,
// processing instructions), which answer IXMLDOMNode only.
#pragma once

#include "xml/CXmlNodeBase.h"

namespace orvi::xml {

class CXmlElement : public TXmlNode<IXMLDOMElement> {
public:
    CXmlElement(CXmlDocument* document, const XmlRef& ref)
        : TXmlNode<IXMLDOMElement>(document, ref) {}
    virtual ~CXmlElement() = default;

    void* GetInterface(REFIID riid);

    STDMETHODIMP get_tagName(BSTR* tagName) override;
    STDMETHODIMP getAttribute(BSTR name, VARIANT* value) override;
    STDMETHODIMP setAttribute(BSTR name, VARIANT value) override;
    STDMETHODIMP removeAttribute(BSTR name) override;
};

// Wrapper of a text or CDATA node.
class CXmlText : public TXmlNode<IXMLDOMText> {
public:
    CXmlText(CXmlDocument* document, const XmlRef& ref) : TXmlNode<IXMLDOMText>(document, ref) {}
    virtual ~CXmlText() = default;

    void* GetInterface(REFIID riid) {
        return riid == IID_IXMLDOMText ? static_cast<IXMLDOMText*>(this) : NodeInterface(riid);
    }
};

}  // namespace orvi::xml
