#include "xml/CXmlElement.h"

#include "xml/CXmlDocument.h"

namespace orvi::xml {

void* CXmlElement::GetInterface(REFIID riid) {
    if (riid == IID_IXMLDOMElement)
        return m_ref.node.type() == pugi::node_element ? static_cast<IXMLDOMElement*>(this) : nullptr;
    return NodeInterface(riid);
}

STDMETHODIMP CXmlElement::get_tagName(BSTR* tagName) {
    return OutBstr(m_ref.node.name(), tagName);
}

STDMETHODIMP CXmlElement::getAttribute(BSTR name, VARIANT* value) {
    if (!value)
        return E_POINTER;
    VariantInit(value);
    if (!name || m_ref.node.type() != pugi::node_element)
        return E_INVALIDARG;
    pugi::xml_attribute attr = m_ref.node.attribute(FromBstr(name).c_str());
    if (!attr) {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    value->bstrVal = ToBstr(attr.value());
    if (!value->bstrVal)
        return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

STDMETHODIMP CXmlElement::setAttribute(BSTR name, VARIANT value) {
    std::string key = FromBstr(name);
    std::string text;
    if (key.empty() || m_ref.node.type() != pugi::node_element)
        return E_INVALIDARG;
    HRESULT hr = VariantToText(value, text);
    if (FAILED(hr))
        return hr;
    return Guarded([&] {
        pugi::xml_attribute attr = m_ref.node.attribute(key.c_str());
        if (!attr)
            attr = m_ref.node.append_attribute(key.c_str());
        return attr && attr.set_value(text.c_str()) ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CXmlElement::removeAttribute(BSTR name) {
    if (!name || m_ref.node.type() != pugi::node_element)
        return E_INVALIDARG;
    pugi::xml_attribute attr = m_ref.node.attribute(FromBstr(name).c_str());
    if (!attr)
        return S_FALSE;
    return Guarded([&] {
        return m_pDocument->Tracker().DetachAttribute(XmlRef{m_ref.tree, m_ref.node, attr});
    });
}

}  // namespace orvi::xml
