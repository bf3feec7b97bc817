#include "CDownloadCache.h"

#include "Md5.h"
#include "OrviXml.h"
#include "comptr.h"

namespace {

constexpr WCHAR kEmptyIndex[] = u"<?xml version=\"1.0\" ?><orvi><cache/></orvi>";
constexpr LONG kMinimumTimeToLive = 60;
constexpr LONG kDefaultTimeToLive = 86400;

ULONGLONG ToUlong(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(ULONGLONG value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// "high,low" as two signed decimals; an expiry of 0 (stale at once) unless
// a comma stands after the first character.
FILETIME ParseTimeLimit(const std::u16string& text) {
    const size_t comma = text.find(u',');
    if (comma == std::u16string::npos || comma == 0)
        return FILETIME{0, 0};
    const LONG high = _wtol(text.substr(0, comma).c_str());
    const LONG low = _wtol(text.c_str() + comma + 1);
    return FILETIME{static_cast<DWORD>(low), static_cast<DWORD>(high)};
}

}  // namespace

void CDownloadCache::Open(const CRadioConfig& config) {
    const LONG option = config.options.cacheTimeout;
    SetTimeToLive(option < 1 ? kDefaultTimeToLive : option);
    Load(config.ResolvePattern(config.fileCache).c_str());
}

int CDownloadCache::Load(LPCWSTR indexPath) {
    StringCchCopyW(m_indexPath, MAX_PATH, indexPath ? indexPath : u"");
    CComPtr<IXMLDOMDocument> document;
    if (!XmlLoadFile(m_indexPath, &document))
        return 0;
    CComPtr<IXMLDOMNode> cache;
    if (document->selectSingleNode(CComBSTR(u"orvi/cache"), &cache) != S_OK)
        return 1;
    CComPtr<IXMLDOMNode> item;
    cache->get_firstChild(&item);
    while (item) {
        CComPtr<IXMLDOMNamedNodeMap> attributes;
        if (item->get_attributes(&attributes) == S_OK && attributes) {
            CacheEntry entry{};
            entry.type = GetAttrInt(attributes, u"type", 0);
            StringCchCopyW(entry.url, MAX_PATH, GetAttr(attributes, u"url").c_str());
            StringCchCopyW(entry.path, MAX_PATH, GetAttr(attributes, u"path").c_str());
            entry.expiry = ParseTimeLimit(GetAttr(attributes, u"time-limit"));
            CLcArray::Add(entry);
        }
        CComPtr<IXMLDOMNode> next;
        item->get_nextSibling(&next);
        item = next;
    }
    return 1;
}

HRESULT CDownloadCache::Save(LPCWSTR indexPath) {
    CComPtr<IXMLDOMDocument> document;
    HRESULT hr = XmlCreateDocument(&document);
    if (FAILED(hr))
        return hr;
    VARIANT_BOOL ok = VARIANT_FALSE;
    CComPtr<IXMLDOMNode> cache;
    if (document->loadXML(CComBSTR(kEmptyIndex), &ok) != S_OK ||
        document->selectSingleNode(CComBSTR(u"orvi/cache"), &cache) != S_OK)
        return E_FAIL;
    for (const CacheEntry& entry : *this) {
        CComPtr<IXMLDOMElement> item;
        CComPtr<IXMLDOMNamedNodeMap> attributes;
        if (FAILED(hr = document->createElement(CComBSTR(u"item"), &item)) ||
            FAILED(hr = cache->appendChild(item, nullptr)) ||
            FAILED(hr = item->get_attributes(&attributes)))
            return hr;
        WCHAR timeLimit[32];
        wsprintfW(timeLimit, u"%d,%d", static_cast<int>(entry.expiry.dwHighDateTime),
                  static_cast<int>(entry.expiry.dwLowDateTime));
        SetAttrInt(document, attributes, u"type", entry.type);
        SetAttr(document, attributes, u"url", entry.url);
        SetAttr(document, attributes, u"path", entry.path);
        SetAttr(document, attributes, u"time-limit", timeLimit);
    }
    return XmlSaveFile(document, indexPath);
}

void CDownloadCache::Add(LPCWSTR url, LPCWSTR path, LONG type) {
    if (m_timeToLive < kMinimumTimeToLive)
        return;
    CacheEntry entry{};
    entry.type = type;
    StringCchCopyW(entry.url, MAX_PATH, url);
    StringCchCopyW(entry.path, MAX_PATH, path);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    entry.expiry = ToFileTime(ToUlong(now) + ULONGLONG(m_timeToLive) * 10000000ULL);
    CLcArray::Add(entry);
    if (m_indexPath[0])
        Save(m_indexPath);
}

BOOL CDownloadCache::Lookup(LPCWSTR url, LPWSTR path) {
    int index = 0;
    while (index < GetSize() && wcscmp((*this)[index].url, url) != 0)
        ++index;
    if (index == GetSize())
        return FALSE;
    const CacheEntry& entry = (*this)[index];
    if (entry.type == CacheEntry::DownloadedFile &&
        GetFileAttributesW(entry.path) == INVALID_FILE_ATTRIBUTES) {
        RemoveAndSave(index);
        return FALSE;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (CompareFileTime(&entry.expiry, &now) >= 0) {
        StringCchCopyW(path, MAX_PATH, entry.path);
        return TRUE;
    }
    RemoveAndSave(index);
    return FALSE;
}

void CDownloadCache::RemoveAndSave(int index) {
    RemoveAt(index);
    if (m_indexPath[0])
        Save(m_indexPath);
}

std::u16string CDownloadCache::CacheFileName(LPCWSTR url) {
    WCHAR name[kMd5NameLength + 1] = {};
    Md5NameOfText(url, name);
    return name;
}
