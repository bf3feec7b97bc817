#include "xml/XmlRef.h"

#include <cstdio>

#include "kernel/internal.h"

namespace orvi::xml {

std::string FromBstr(BSTR text) {
    if (!text)
        return {};
    return kernel::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

BSTR ToBstr(std::string_view utf8) {
    std::u16string wide = kernel::Utf8ToUtf16(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

HRESULT OutBstr(std::string_view utf8, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = ToBstr(utf8);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VariantToText(const VARIANT& value, std::string& text) {
    char number[32];
    switch (value.vt) {
    case VT_BSTR:
        text = FromBstr(value.bstrVal);
        return S_OK;
    case VT_EMPTY:
    case VT_NULL:
        text.clear();
        return S_OK;
    case VT_I2:
        std::snprintf(number, sizeof number, "%d", value.iVal);
        break;
    case VT_I4:
    case VT_INT:
        std::snprintf(number, sizeof number, "%d", static_cast<int>(value.lVal));
        break;
    case VT_UI4:
    case VT_UINT:
        std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(value.ulVal));
        break;
    case VT_BOOL:
        std::snprintf(number, sizeof number, "%s", value.boolVal ? "true" : "false");
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    text = number;
    return S_OK;
}

std::string DescendantText(pugi::xml_node node) {
    std::string text;
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        return node.value();
    for (pugi::xml_node child = node.first_child(); child;) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
        // Depth-first walk without recursion, bounded by `node`.
        if (child.first_child()) {
            child = child.first_child();
            continue;
        }
        while (child != node && !child.next_sibling())
            child = child.parent();
        if (child == node)
            break;
        child = child.next_sibling();
    }
    return text;
}

std::string TrimWhiteSpace(const std::string& text) {
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

}  // namespace orvi::xml
