// The attributes of one element. It holds the element's wrapper and reads
// the element's current attributes on every call, so it is live and follows
// the element when it moves.
#pragma once

#include "comptr.h"
#include "xml/CXmlNodeBase.h"

namespace orvi::xml {

class CXmlNamedNodeMap : public IXMLDOMNamedNodeMap {
public:
    CXmlNamedNodeMap(CXmlNodeBase* element, IXMLDOMNode* keepAlive)
        : m_pElement(element), m_keepAlive(keepAlive) {}
    virtual ~CXmlNamedNodeMap() = default;

    static HRESULT Create(CXmlNodeBase* element, IXMLDOMNode* keepAlive,
                          IXMLDOMNamedNodeMap** map);

    void* GetInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IXMLDOMNamedNodeMap)
            return static_cast<IXMLDOMNamedNodeMap*>(this);
        return nullptr;
    }

    STDMETHODIMP getNamedItem(BSTR name, IXMLDOMNode** item) override;
    STDMETHODIMP setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) override;
    STDMETHODIMP removeNamedItem(BSTR name, IXMLDOMNode** namedItem) override;
    STDMETHODIMP get_item(LONG index, IXMLDOMNode** item) override;
    STDMETHODIMP get_length(LONG* length) override;
    STDMETHODIMP nextNode(IXMLDOMNode** next) override;
    STDMETHODIMP reset() override;

private:
    HRESULT WrapAttribute(pugi::xml_attribute attr, IXMLDOMNode** out);

    CXmlNodeBase* m_pElement;
    CComPtr<IXMLDOMNode> m_keepAlive;
    LONG m_next = 0;
};

}  // namespace orvi::xml
