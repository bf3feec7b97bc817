#include "xml/CXmlNodeList.h"

#include "xml/CXmlDocument.h"

namespace orvi::xml {

HRESULT CXmlNodeList::Create(CXmlDocument* document, const std::vector<XmlRef>& items,
                             IXMLDOMNodeList** list) {
    if (!list)
        return E_POINTER;
    *list = nullptr;
    CComPtr<IXMLDOMNodeList> created;
    HRESULT hr = CComObject<CXmlNodeList>::CreateInstance(IID_IXMLDOMNodeList,
                                                          reinterpret_cast<void**>(&created));
    if (FAILED(hr))
        return hr;
    auto* self = static_cast<CXmlNodeList*>(created.p);
    self->m_items.reserve(items.size());
    for (const XmlRef& ref : items) {
        CComPtr<IXMLDOMNode> node;
        hr = document->WrapRef(ref, IID_IXMLDOMNode, reinterpret_cast<void**>(&node));
        if (FAILED(hr))
            return hr;
        self->m_items.push_back(node);
    }
    *list = created.Detach();
    return S_OK;
}

STDMETHODIMP CXmlNodeList::get_item(LONG index, IXMLDOMNode** item) {
    if (!item)
        return E_POINTER;
    *item = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= m_items.size())
        return S_FALSE;
    return m_items[static_cast<size_t>(index)].CopyTo(item);
}

STDMETHODIMP CXmlNodeList::get_length(LONG* length) {
    if (!length)
        return E_POINTER;
    *length = static_cast<LONG>(m_items.size());
    return S_OK;
}

STDMETHODIMP CXmlNodeList::nextNode(IXMLDOMNode** next) {
    HRESULT hr = get_item(m_next, next);
    if (hr == S_OK)
        ++m_next;
    return hr;
}

STDMETHODIMP CXmlNodeList::reset() {
    m_next = 0;
    return S_OK;
}

}  // namespace orvi::xml
