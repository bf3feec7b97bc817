// Wrapper of an attribute node.
#pragma once

#include "xml/CXmlNodeBase.h"

namespace orvi::xml {

class CXmlAttribute : public TXmlNode<IXMLDOMAttribute> {
public:
    CXmlAttribute(CXmlDocument* document, const XmlRef& ref)
        : TXmlNode<IXMLDOMAttribute>(document, ref) {}
    virtual ~CXmlAttribute() = default;

    void* GetInterface(REFIID riid) {
        if (riid == IID_IXMLDOMAttribute)
            return static_cast<IXMLDOMAttribute*>(this);
        return NodeInterface(riid);
    }

    STDMETHODIMP get_name(BSTR* name) override { return OutBstr(m_ref.attr.name(), name); }
    STDMETHODIMP get_value(VARIANT* value) override { return get_nodeValue(value); }
    STDMETHODIMP put_value(VARIANT value) override { return put_nodeValue(value); }
};

}  // namespace orvi::xml
