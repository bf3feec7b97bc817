#include "xml/CXmlNamedNodeMap.h"

#include "xml/CXmlDocument.h"

namespace orvi::xml {

HRESULT CXmlNamedNodeMap::Create(CXmlNodeBase* element, IXMLDOMNode* keepAlive,
                                 IXMLDOMNamedNodeMap** map) {
    return CComObject<CXmlNamedNodeMap>::CreateInstance(
        IID_IXMLDOMNamedNodeMap, reinterpret_cast<void**>(map), element, keepAlive);
}

HRESULT CXmlNamedNodeMap::WrapAttribute(pugi::xml_attribute attr, IXMLDOMNode** out) {
    if (!attr)
        return S_FALSE;
    const XmlRef& element = m_pElement->Ref();
    return m_pElement->Document()->WrapRef(XmlRef{element.tree, element.node, attr},
                                           IID_IXMLDOMNode, reinterpret_cast<void**>(out));
}

STDMETHODIMP CXmlNamedNodeMap::getNamedItem(BSTR name, IXMLDOMNode** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (!name)
        return E_INVALIDARG;
    return WrapAttribute(m_pElement->Ref().node.attribute(FromBstr(name).c_str()), item);
}

STDMETHODIMP CXmlNamedNodeMap::setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) {
    if (nameItem)
        *nameItem = nullptr;
    CXmlNodeBase* attribute = CXmlNodeBase::FromInterface(newItem);
    if (!attribute || attribute->Document() != m_pElement->Document())
        return E_INVALIDARG;
    HRESULT hr = Guarded([&] {
        return m_pElement->Document()->Tracker().PlaceAttribute(m_pElement->Ref(),
                                                                attribute->Ref());
    });
    if (SUCCEEDED(hr) && nameItem) {
        *nameItem = newItem;
        newItem->AddRef();
    }
    return hr;
}

STDMETHODIMP CXmlNamedNodeMap::removeNamedItem(BSTR name, IXMLDOMNode** namedItem) {
    if (namedItem)
        *namedItem = nullptr;
    if (!name)
        return E_INVALIDARG;
    const XmlRef& element = m_pElement->Ref();
    pugi::xml_attribute attr = element.node.attribute(FromBstr(name).c_str());
    if (!attr)
        return S_FALSE;
    CComPtr<IXMLDOMNode> removed;
    HRESULT hr = WrapAttribute(attr, &removed);
    if (FAILED(hr))
        return hr;
    hr = Guarded([&] {
        return m_pElement->Document()->Tracker().DetachAttribute(
            XmlRef{element.tree, element.node, attr});
    });
    if (SUCCEEDED(hr) && namedItem)
        *namedItem = removed.Detach();
    return hr;
}

STDMETHODIMP CXmlNamedNodeMap::get_item(LONG index, IXMLDOMNode** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (index < 0)
        return S_FALSE;
    pugi::xml_attribute attr = m_pElement->Ref().node.first_attribute();
    for (LONG i = 0; attr && i < index; ++i)
        attr = attr.next_attribute();
    return WrapAttribute(attr, item);
}

STDMETHODIMP CXmlNamedNodeMap::get_length(LONG* length) {
    if (!length)
        return E_POINTER;
    LONG count = 0;
    for (pugi::xml_attribute attr : m_pElement->Ref().node.attributes()) {
        (void)attr;
        ++count;
    }
    *length = count;
    return S_OK;
}

STDMETHODIMP CXmlNamedNodeMap::nextNode(IXMLDOMNode** next) {
    HRESULT hr = get_item(m_next, next);
    if (hr == S_OK)
        ++m_next;
    return hr;
}

STDMETHODIMP CXmlNamedNodeMap::reset() {
    m_next = 0;
    return S_OK;
}

}  // namespace orvi::xml
