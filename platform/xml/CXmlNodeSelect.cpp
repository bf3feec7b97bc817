// XPath selection of CXmlNodeBase: pugixml's XPath 1.0 with the wrapper's
// node (or attribute) as the context node.
#include <vector>

#include "xml/CXmlDocument.h"
#include "xml/CXmlNodeBase.h"
#include "xml/CXmlNodeList.h"

namespace orvi::xml {
namespace {

pugi::xpath_node ContextOf(const XmlRef& ref) {
    return ref.IsAttribute() ? pugi::xpath_node(ref.attr, ref.node) : pugi::xpath_node(ref.node);
}

XmlRef RefOf(const XmlTree& tree, const pugi::xpath_node& found) {
    return XmlRef{tree, found.attribute() ? found.parent() : found.node(), found.attribute()};
}

// Compiles the query; a query pugixml rejects is E_FAIL (exceptions are
// caught by the callers' Guarded, a build without them reports in result()).
HRESULT Evaluate(const XmlRef& ref, BSTR query, pugi::xpath_node_set& found) {
    if (!query)
        return E_INVALIDARG;
    std::string text = FromBstr(query);
    pugi::xpath_query compiled(text.c_str());
    if (!compiled.result())
        return E_FAIL;
    found = compiled.evaluate_node_set(ContextOf(ref));
    found.sort();
    return S_OK;
}

}  // namespace

HRESULT CXmlNodeBase::selectNodes(BSTR query, IXMLDOMNodeList** result) {
    if (!result)
        return E_POINTER;
    *result = nullptr;
    return Guarded([&] {
        pugi::xpath_node_set found;
        HRESULT hr = Evaluate(m_ref, query, found);
        if (FAILED(hr))
            return hr;
        std::vector<XmlRef> items;
        items.reserve(found.size());
        for (const pugi::xpath_node& node : found)
            items.push_back(RefOf(m_ref.tree, node));
        return CXmlNodeList::Create(m_pDocument, items, result);
    });
}

HRESULT CXmlNodeBase::selectSingleNode(BSTR query, IXMLDOMNode** result) {
    if (!result)
        return E_POINTER;
    *result = nullptr;
    return Guarded([&] {
        pugi::xpath_node_set found;
        HRESULT hr = Evaluate(m_ref, query, found);
        if (FAILED(hr))
            return hr;
        if (found.empty())
            return S_FALSE;
        return m_pDocument->WrapRef(RefOf(m_ref.tree, found.first()), IID_IXMLDOMNode,
                                    reinterpret_cast<void**>(result));
    });
}

}  // namespace orvi::xml
