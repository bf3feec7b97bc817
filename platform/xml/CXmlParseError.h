// A snapshot of why the document's last load failed.
#pragma once

#include "xml/CXmlDocument.h"

namespace orvi::xml {

class CXmlParseError : public IXMLDOMParseError {
public:
    explicit CXmlParseError(const ParseErrorInfo& info) : m_info(info) {}
    virtual ~CXmlParseError() = default;

    void* GetInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IXMLDOMParseError)
            return static_cast<IXMLDOMParseError*>(this);
        return nullptr;
    }

    STDMETHODIMP get_errorCode(LONG* code) override { return Out(m_info.code, code); }
    STDMETHODIMP get_url(BSTR* url) override { return OutBstr(m_info.url, url); }
    STDMETHODIMP get_reason(BSTR* reason) override { return OutBstr(m_info.reason, reason); }
    STDMETHODIMP get_srcText(BSTR* text) override { return OutBstr(m_info.srcText, text); }
    STDMETHODIMP get_line(LONG* line) override { return Out(m_info.line, line); }
    STDMETHODIMP get_linepos(LONG* linepos) override { return Out(m_info.linepos, linepos); }
    STDMETHODIMP get_filepos(LONG* filepos) override { return Out(m_info.filepos, filepos); }

private:
    static HRESULT Out(LONG value, LONG* out) {
        if (!out)
            return E_POINTER;
        *out = value;
        return S_OK;
    }

    ParseErrorInfo m_info;
};

}  // namespace orvi::xml
