// Writing lists, naming local copies and decorating request URLs.
#include <string>

#include "CStationDirectory.h"
#include "Md5.h"
#include "OpmlPage.h"
#include "OrviDebug.h"
#include "OrviXml.h"
#include "comptr.h"

namespace {

constexpr WCHAR kEmptyOpml[] = u"<opml version=\"1\"><head title=\"\"></head><body></body></opml>";

LPCWSTR TypeOf(LONG kind) {
    switch (kind) {
    case CRadioChannel::Audio:
        return u"audio";
    case CRadioChannel::Link:
        return u"link";
    default:
        return nullptr;
    }
}

// The attributes in the order readers of the favourites file have always
// seen them; only `bitrate` is written when empty or zero.
HRESULT SetOutlineAttributes(IXMLDOMDocument* document, IXMLDOMElement* element, const CRadioChannel& record) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    HRESULT hr = element->get_attributes(&attributes);
    if (hr != S_OK || !attributes)
        return FAILED(hr) ? hr : E_FAIL;
    const auto optional = [&](LPCWSTR name, const std::u16string& value) {
        if (SUCCEEDED(hr) && !value.empty())
            hr = SetAttr(document, attributes, name, value.c_str());
    };
    if (LPCWSTR type = TypeOf(record.kind))
        hr = SetAttr(document, attributes, u"type", type);
    optional(u"text", record.text);
    optional(u"url", record.url);
    optional(u"image", record.image);
    if (SUCCEEDED(hr))
        hr = SetAttrInt(document, attributes, u"bitrate", record.bitrate);
    optional(u"current_track", record.currentTrack);
    optional(u"now_playing_id", record.nowPlayingId);
    optional(u"preset_id", record.presetId);
    optional(u"qto_id", record.qtoId);
    return hr;
}

// Writes list's children under parent. A record without text has no
// element of its own: its children go under parent instead. The depth
// bound also ends a list that (wrongly) contains itself.
HRESULT WriteChildren(IXMLDOMDocument* document, IXMLDOMNode* parent, const CRadioChannel& list, int depth) {
    if (depth >= kMaxOutlineDepth)
        return S_OK;
    for (const CRadioChannel* child : list.children) {
        HRESULT hr = S_OK;
        if (child->text.empty()) {
            hr = WriteChildren(document, parent, *child, depth + 1);
        } else {
            CComPtr<IXMLDOMElement> element;
            if (FAILED(hr = document->createElement(CComBSTR(u"outline"), &element)) ||
                FAILED(hr = parent->appendChild(element, nullptr)) ||
                FAILED(hr = SetOutlineAttributes(document, element, *child)))
                return hr;
            hr = WriteChildren(document, element, *child, depth + 1);
        }
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// The document's save replaces the file in one step (see xmldom.h), so the
// old list stays whole when this fails.
bool SaveMakingWritable(IXMLDOMDocument* document, LPCWSTR path, DWORD* error) {
    if (SUCCEEDED(XmlSaveFile(document, path)))
        return true;
    *error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) ||
        !SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY))
        return false;
    if (SUCCEEDED(XmlSaveFile(document, path)))
        return true;
    *error = GetLastError();
    return false;
}

}  // namespace

BOOL SaveOpml(CStationDirectory& directory, const CRadioChannel* page) {
    if (!page || page->localFile.empty())
        return FALSE;
    CComPtr<IXMLDOMDocument> document;
    if (FAILED(XmlCreateDocument(&document))) {
        Log(u"Create Xml Instance failed!\r\n");
        return FALSE;
    }
    const LPCWSTR path = page->localFile.c_str();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    CComPtr<IXMLDOMNode> body;
    DWORD error = ERROR_SUCCESS;
    if (document->loadXML(CComBSTR(kEmptyOpml), &loaded) != S_OK || loaded != VARIANT_TRUE ||
        document->selectSingleNode(CComBSTR(u"opml/body"), &body) != S_OK || !body ||
        FAILED(WriteChildren(document, body, *page, 0))) {
        error = GetLastError();
    } else if (!directory.PrepareToSave(page)) {
        return FALSE;
    } else if (SaveMakingWritable(document, path, &error)) {
        return TRUE;
    }
    Log(u"Can't save the %s file!\terr=%ld\r\n", page->localFile, error);
    return FALSE;
}

std::u16string LocalCopyName(const CStationDirectory& directory, const CRadioChannel& page) {
    const std::u16string pair = page.text + page.url;
    WCHAR name[kMd5NameLength + 5] = {};
    Md5FileNameOfText(pair.c_str(), u".xml", name, sizeof(name) / sizeof(name[0]));
    return directory.Config().dataFolder + std::u16string(name);
}

std::u16string DecorateUrl(CStationDirectory& directory, const std::u16string& url) {
    // A "?" in the first place does not start a query.
    std::u16string decorated = url;
    decorated += url.find(u'?', 1) == std::u16string::npos ? u'?' : u'&';
    decorated += directory.VersionParameter();
    orvi::fmt::Format(&decorated, u"%d%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return decorated;
}
