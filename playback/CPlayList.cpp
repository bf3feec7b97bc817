#include "CPlayList.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "OrviXml.h"
#include "comptr.h"

namespace {

// Line buffers of the formats: longer lines are cut, not split.
constexpr size_t kcchLine = MAX_PATH - 1;
constexpr size_t kcchIniLine = 207;

bool StartsWithNoCase(LPCWSTR pszText, LPCWSTR pszPrefix) {
    return _wcsnicmp(pszText, pszPrefix, wcslen(pszPrefix)) == 0;
}

// Calls onLine(line, length) for every non-empty line of pszText, cut to
// cchMax characters. Lines end at CR or at LF, so CRLF needs no special case.
template <class OnLine>
void ForEachLine(LPCWSTR pszText, size_t cchMax, OnLine onLine) {
    WCHAR szLine[kcchLine + 1];
    cchMax = std::min(cchMax, kcchLine);
    const WCHAR* p = pszText;
    while (*p) {
        const WCHAR* end = p;
        while (*end && *end != u'\r' && *end != u'\n')
            ++end;
        const size_t cch = std::min(static_cast<size_t>(end - p), cchMax);
        if (cch > 0) {
            std::memcpy(szLine, p, cch * sizeof(WCHAR));
            szLine[cch] = 0;
            onLine(szLine, cch);
        }
        p = *end ? end + 1 : end;
    }
}

bool IsAsxBlank(WCHAR ch) { return ch == u' ' || ch == u'\r' || ch == u'\n' || ch == u'\t'; }

// Entries marked ClientSkip="yes" are left out; servers spell the attribute
// in three ways.
bool IsClientSkip(IXMLDOMNamedNodeMap* pAttributes) {
    for (LPCWSTR pszName : {u"ClientSkip", u"CLIENTSKIP", u"clientskip"}) {
        const std::u16string value = GetAttr(pAttributes, pszName);
        if (!value.empty())
            return _wcsicmp(value.c_str(), u"yes") == 0;
    }
    return false;
}

}  // namespace

int CPlayList::Add(LPCWSTR pszText) { return pszText ? AddText(pszText, wcslen(pszText)) : -1; }

int CPlayList::AddText(const WCHAR* pText, size_t cchText) {
    PlayListEntry entry;
    const size_t cch = std::min(cchText, kcchLine);
    std::memcpy(entry.szUrl, pText, cch * sizeof(WCHAR));
    entry.szUrl[cch] = 0;
    if (cch < 2 || !wcschr(entry.szUrl, u':'))
        return -1;
    if (!IsEmpty() && wcscmp(operator[](GetSize() - 1), entry.szUrl) == 0)
        return -1;
    return CLcArray::Add(entry);
}

int CPlayList::Parse(int nKind, LPCWSTR pszText) {
    Clear();
    if (!pszText || !*pszText)
        return 0;
    switch (nKind) {
    case MIME_ASX:
        return ParseAsx(pszText);
    case MIME_PLS:
        ParsePls(pszText);
        break;
    default:
        ParseM3u(pszText);
        break;
    }
    return GetSize();
}

void CPlayList::ParseM3u(LPCWSTR pszText) {
    ForEachLine(pszText, kcchLine, [this](LPCWSTR pszLine, size_t cch) {
        if (pszLine[0] != u'#')
            AddText(pszLine, cch);
    });
}

void CPlayList::ParsePls(LPCWSTR pszText) {
    ForEachLine(pszText, kcchLine, [this](LPCWSTR pszLine, size_t cch) {
        const WCHAR* pEquals = wcschr(pszLine, u'=');
        if (cch > 5 && pEquals && StartsWithNoCase(pszLine, u"file"))
            Add(pEquals + 1);
    });
}

int CPlayList::ParseAsx(LPCWSTR pszText) {
    while (IsAsxBlank(*pszText))
        ++pszText;
    if (*pszText == u'[') {
        ParseAsxIni(pszText);
        return GetSize();
    }
    if (*pszText == u'<')
        return ParseAsxXml(pszText);
    // Some servers label a bare address list as an ASX type.
    const size_t cch = wcslen(pszText);
    if ((cch > 3 && StartsWithNoCase(pszText, u"mms")) || pszText[0] == u'#' ||
        (cch > 5 && StartsWithNoCase(pszText, u"http:")))
        ParseM3u(pszText);
    return GetSize();
}

void CPlayList::ParseAsxIni(LPCWSTR pszText) {
    ForEachLine(pszText, kcchIniLine, [this](LPCWSTR pszLine, size_t cch) {
        const WCHAR* pEquals = wcschr(pszLine, u'=');
        if (cch > 5 && pszLine[0] != u'[' && pEquals && StartsWithNoCase(pszLine, u"Ref"))
            Add(pEquals + 1);
    });
}

int CPlayList::ParseAsxXml(LPCWSTR pszText) {
    CComPtr<IXMLDOMDocument> document;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(XmlCreateDocument(&document)) ||
        document->loadXML(CComBSTR(pszText), &loaded) != S_OK || loaded != VARIANT_TRUE)
        return ParseAsxReferences(pszText);
    CComPtr<IXMLDOMElement> root;
    CComPtr<IXMLDOMNodeList> entries;
    LONG nEntries = 0;
    if (document->get_documentElement(&root) != S_OK || !root ||
        root->selectNodes(CComBSTR(u"Entry|ENTRY|entry|Repeat/Entry"), &entries) != S_OK ||
        !entries || entries->get_length(&nEntries) != S_OK || nEntries < 1)
        return ParseAsxReferences(pszText);
    for (LONG i = 0; i < nEntries; ++i) {
        CComPtr<IXMLDOMNode> entry;
        if (entries->get_item(i, &entry) == S_OK && entry)
            AddAsxEntry(entry);
    }
    return IsEmpty() ? ParseAsxReferences(pszText) : GetSize();
}

void CPlayList::AddAsxEntry(IXMLDOMNode* pEntry) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    if (pEntry->get_attributes(&attributes) == S_OK && IsClientSkip(attributes))
        return;
    CComPtr<IXMLDOMNode> ref;
    CComPtr<IXMLDOMNamedNodeMap> refAttributes;
    if (pEntry->selectSingleNode(CComBSTR(u"REF|ref|Ref"), &ref) != S_OK || !ref ||
        ref->get_attributes(&refAttributes) != S_OK || !refAttributes)
        return;
    std::u16string href = GetAttr(refAttributes, u"HREF");
    if (href.empty())
        href = GetAttr(refAttributes, u"href");
    if (!href.empty())
        Add(href.c_str());
}

// The last resort for documents the DOM refuses or that have no entries in
// the usual places: take every double-quoted value of a "<ref href" element.
int CPlayList::ParseAsxReferences(LPCWSTR pszText) {
    static constexpr std::u16string_view kRefHref = u"<ref href";
    std::u16string lower(pszText);
    for (char16_t& ch : lower)
        ch = towlower(ch);
    size_t pos = 0;
    while ((pos = lower.find(kRefHref, pos)) != std::u16string::npos) {
        const size_t equals = lower.find(u'=', pos + kRefHref.size());
        const size_t open = equals == std::u16string::npos ? equals : lower.find(u'"', equals + 1);
        const size_t close = open == std::u16string::npos ? open : lower.find(u'"', open + 1);
        if (close == std::u16string::npos)
            break;
        if (close - open - 1 >= 2)
            AddText(pszText + open + 1, close - open - 1);
        pos = close + 1;
    }
    return IsEmpty() ? -1 : 1;
}
