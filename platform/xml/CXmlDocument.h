// The DOM document: owns the main tree, the tracker of its node wrappers and
// the last parse error, and creates the wrapper objects for every node.
#pragma once

#include <string>

#include "xml/CXmlNodeBase.h"
#include "xml/CXmlNodeTracker.h"

namespace orvi::xml {

struct ParseErrorInfo {
    LONG code = 0;
    std::string reason;
    std::string srcText;
    std::string url;
    LONG line = 0;
    LONG linepos = 0;
    LONG filepos = 0;
};

class CXmlDocument : public TXmlNode<IXMLDOMDocument> {
public:
    CXmlDocument();
    virtual ~CXmlDocument() = default;

    void* GetInterface(REFIID riid);

    STDMETHODIMP get_documentElement(IXMLDOMElement** element) override;
    STDMETHODIMP createElement(BSTR tagName, IXMLDOMElement** element) override;
    STDMETHODIMP createTextNode(BSTR data, IXMLDOMText** text) override;
    STDMETHODIMP createAttribute(BSTR name, IXMLDOMAttribute** attribute) override;
    STDMETHODIMP get_async(VARIANT_BOOL* isAsync) override;
    STDMETHODIMP put_async(VARIANT_BOOL isAsync) override;
    STDMETHODIMP load(VARIANT source, VARIANT_BOOL* isSuccessful) override;
    STDMETHODIMP loadXML(BSTR xml, VARIANT_BOOL* isSuccessful) override;
    STDMETHODIMP save(VARIANT destination) override;
    STDMETHODIMP get_parseError(IXMLDOMParseError** errorObj) override;

    CXmlNodeTracker& Tracker() { return m_tracker; }
    bool IsMainTree(const XmlTree& tree) const { return tree == m_ref.tree; }
    // A wrapper of the right class for the node, answering riid. The main
    // tree's document node is this document itself.
    HRESULT WrapRef(const XmlRef& ref, REFIID riid, void** ppv);

private:
    // Parses UTF-8 text into a new main tree; a failure empties the
    // document and records why.
    HRESULT Parse(const std::string& utf8, VARIANT_BOOL* isSuccessful);
    void FailLoad(LONG code, const std::string& reason, VARIANT_BOOL* isSuccessful);
    void RecordParseError(const std::string& utf8, const pugi::xml_parse_result& result);

    CXmlNodeTracker m_tracker;
    VARIANT_BOOL m_async = VARIANT_TRUE;
    ParseErrorInfo m_parseError;
};

}  // namespace orvi::xml
