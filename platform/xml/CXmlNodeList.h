// A list of nodes taken when it was made (selectNodes, childNodes). Each
// entry is a wrapper, so it follows its node if the node moves later.
#pragma once

#include <vector>

#include "comptr.h"
#include "xml/CXmlNodeBase.h"

namespace orvi::xml {

class CXmlNodeList : public IXMLDOMNodeList {
public:
    CXmlNodeList() = default;
    virtual ~CXmlNodeList() = default;

    static HRESULT Create(CXmlDocument* document, const std::vector<XmlRef>& items,
                          IXMLDOMNodeList** list);

    void* GetInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IXMLDOMNodeList)
            return static_cast<IXMLDOMNodeList*>(this);
        return nullptr;
    }

    STDMETHODIMP get_item(LONG index, IXMLDOMNode** item) override;
    STDMETHODIMP get_length(LONG* length) override;
    STDMETHODIMP nextNode(IXMLDOMNode** next) override;
    STDMETHODIMP reset() override;

private:
    std::vector<CComPtr<IXMLDOMNode>> m_items;
    LONG m_next = 0;
};

}  // namespace orvi::xml
