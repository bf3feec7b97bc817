// Reading lists: records from outlines, and pages brought up to date from
// their local copies or their URLs.
#include "OpmlPage.h"

#include <limits>

#include "COrviHttp.h"
#include "CStationDirectory.h"
#include "OrviDebug.h"
#include "OrviXml.h"
#include "QueryGpsPosition.h"
#include "comptr.h"

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ULL;  // FILETIME units
constexpr LONG kMaxLong = std::numeric_limits<LONG>::max();

enum class Source { Nothing, FreshCopy, Download, Parse };

std::u16string BstrText(const CComBSTR& text) {
    return text.m_str ? std::u16string(text.m_str, text.Length()) : std::u16string();
}

void ReplaceAll(std::u16string* text, std::u16string_view what, std::u16string_view by) {
    for (size_t at = text->find(what); at != std::u16string::npos; at = text->find(what, at + by.size()))
        text->replace(at, what.size(), by);
}

// A lone leading "-" marks a direct stream; otherwise the leading decimal
// digits ("128k" is 128), none giving 0 and too many the largest value.
LONG ParseBitrate(const std::u16string& text) {
    if (!text.empty() && text[0] == u'-')
        return CRadioChannel::kDirectStream;
    LONG value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            break;
        const LONG digit = c - u'0';
        if (value > (kMaxLong - digit) / 10)
            return kMaxLong;
        value = value * 10 + digit;
    }
    return value;
}

void ReadTypedOutline(IXMLDOMNamedNodeMap* attributes, const std::u16string& type, CRadioChannel* record) {
    record->url = GetAttr(attributes, u"url");
    if (record->url.empty())
        record->url = GetAttr(attributes, u"URL");
    // Some pages escape their ampersands twice.
    ReplaceAll(&record->url, u"&amp;", u"&");
    ReplaceAll(&record->url, u"&AMP;", u"&");

    record->text = GetAttr(attributes, u"text");
    record->image = GetAttr(attributes, u"image");
    record->currentTrack = GetAttr(attributes, u"current_track");
    if (_wcsicmp(type.c_str(), u"audio") != 0) {
        record->kind = CRadioChannel::Link;
        return;
    }
    record->kind = CRadioChannel::Audio;
    record->bitrate = ParseBitrate(GetAttr(attributes, u"bitrate"));
    record->nowPlayingId = GetAttr(attributes, u"now_playing_id");
    record->presetId = GetAttr(attributes, u"preset_id");
    record->qtoId = GetAttr(attributes, u"qto_id");
}

void AdoptChildren(CRadioChannel* list, const CRadioChannelArray& children) {
    list->children = children;
    for (CRadioChannel* child : list->children)
        child->parentId = list->id;
}

BOOL ParseOutlineAt(CStationDirectory& directory, IXMLDOMNode* node, CRadioChannel* record, int depth);

// A container's `outline` children become its list; a `hiddenoutline`
// becomes the companion of the entry before it (or of nothing when first).
void ReadContainer(CStationDirectory& directory, IXMLDOMNode* node, CRadioChannel* record, int depth) {
    CRadioChannelArray list;
    CComPtr<IXMLDOMNodeList> nodes;
    if (depth < kMaxOutlineDepth &&
        node->selectNodes(CComBSTR(u"outline|hiddenoutline"), &nodes) == S_OK && nodes) {
        CComPtr<IXMLDOMNode> child;
        while (nodes->nextNode(&child) == S_OK && child) {
            CRadioChannel* entry = NewChannel(directory);
            CComBSTR name;
            if (!entry)
                break;
            ParseOutlineAt(directory, child, entry, depth + 1);
            child->get_nodeName(&name);
            if (BstrText(name) == u"outline")
                list.Add(entry);
            else if (!list.IsEmpty())
                list[list.GetSize() - 1]->hiddenCompanionId = entry->id;
            child.Release();
        }
    }
    AdoptChildren(record, list);
}

BOOL ParseOutlineAt(CStationDirectory& directory, IXMLDOMNode* node, CRadioChannel* record, int depth) {
    CComPtr<IXMLDOMNamedNodeMap> attributes;
    if (!node || !record || node->get_attributes(&attributes) != S_OK || !attributes)
        return FALSE;
    const std::u16string type = GetAttr(attributes, u"type");
    if (!type.empty()) {
        ReadTypedOutline(attributes, type, record);
        return TRUE;
    }
    record->kind = CRadioChannel::Container;
    record->text = GetAttr(attributes, u"text");
    ReadContainer(directory, node, record, depth);
    return TRUE;
}

// The text of the node at path below node; empty when there is none.
std::u16string NodeText(IXMLDOMNode* node, LPCWSTR path) {
    CComPtr<IXMLDOMNode> found;
    CComBSTR text;
    if (node->selectSingleNode(CComBSTR(path), &found) != S_OK || !found || found->get_text(&text) != S_OK)
        return {};
    return BstrText(text);
}

// The page's children from its local copy. An unreadable or foreign file
// leaves them as they were.
int ParsePage(CStationDirectory& directory, CRadioChannel* page) {
    const LPCWSTR path = page->localFile.c_str();
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kLoadPageNotOpml;
    CloseHandle(file);
    CComPtr<IXMLDOMDocument> document;
    CComPtr<IXMLDOMElement> root;
    CComBSTR rootName;
    if (!XmlLoadFile(path, &document) || document->get_documentElement(&root) != S_OK || !root ||
        root->get_nodeName(&rootName) != S_OK)
        return kLoadPageNotOpml;
    if (_wcsicmp(BstrText(rootName).c_str(), u"opml") != 0) {
        Log(u"Invaild OPML file %s,the root node name is %s!\r\n", page->localFile, BstrText(rootName));
        return kLoadPageNotOpml;
    }
    CComPtr<IXMLDOMNodeList> outlines;
    if (root->selectNodes(CComBSTR(u"body/outline"), &outlines) != S_OK || !outlines)
        return kLoadPageDone;
    const std::u16string title = NodeText(root, u"head/title");
    CRadioChannelArray list;
    CComPtr<IXMLDOMNode> outline;
    while (outlines->nextNode(&outline) == S_OK && outline) {
        CRadioChannel* entry = NewChannel(directory);
        if (!entry)
            break;
        list.Add(entry);
        entry->pageTitle = title;
        ParseOutlineAt(directory, outline, entry, 1);
        outline.Release();
    }
    AdoptChildren(page, list);
    return kLoadPageDone;
}

int UseFreshCopy(CStationDirectory& directory, CRadioChannel* page) {
    return page->children.IsEmpty() ? ParsePage(directory, page) : kLoadPageDone;
}

// FALSE when the file cannot be opened or has no time.
bool LastWriteTime(const std::u16string& path, ULONGLONG* time) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME written{};
    const BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    *time = (ULONGLONG{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    return ok != FALSE;
}

bool CopyIsWithinTimeLimit(const CRadioChannel& page) {
    ULONGLONG written = 0;
    if (!LastWriteTime(page.localFile, &written))
        return false;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG current = (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return written + ULONGLONG(page.timeLimit) * kTicksPerSecond > current;
}

Source ChooseSource(const CRadioChannel& page, BOOL allowDownload) {
    if (GetFileAttributesW(page.localFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        return allowDownload ? Source::Download : Source::Nothing;
    if (allowDownload && page.timeLimit > 0)
        return CopyIsWithinTimeLimit(page) ? Source::FreshCopy : Source::Download;
    if (page.timeLimit == -1)
        return Source::FreshCopy;
    return allowDownload ? Source::Download : Source::Parse;
}

// The page's companion, whose URL serves when the position is unknown.
CRadioChannel* Companion(CStationDirectory& directory, const CRadioChannel& page) {
    if (page.hiddenCompanionId == 0)
        return nullptr;
    if (page.hiddenCompanionId == CRadioChannel::kRootPageId)
        return directory.GetRootPage();
    return directory.FindRecord(page.hiddenCompanionId);
}

// The URL to request: a location page gets the position put in, or its
// companion's URL without one. Empty when there is nothing to request.
std::u16string RequestUrl(CStationDirectory& directory, const CRadioChannel& page) {
    std::u16string url = page.url;
    if (url.find(u"#LON#", 1) == std::u16string::npos)
        return url;
    double longitude = 0;
    double latitude = 0;
    if (QueryGpsPosition(&longitude, &latitude)) {
        std::u16string text;
        orvi::fmt::Format(&text, u"%.2f", longitude);
        ReplaceAll(&url, u"#LON#", text);
        text.clear();
        orvi::fmt::Format(&text, u"%.2f", latitude);
        ReplaceAll(&url, u"#LAT#", text);
        return url;
    }
    const CRadioChannel* companion = Companion(directory, page);
    return companion ? companion->url : std::u16string();
}

int DownloadPage(CStationDirectory& directory, CRadioChannel* page) {
    if (page->url.empty())
        return kLoadPageNothingToLoad;
    const std::u16string url = RequestUrl(directory, *page);
    if (url.empty())
        return kLoadPageNoPosition;
    const std::u16string request = DecorateUrl(directory, url);
    COrviHttp http;
    const int result = http.DownloadFile(request.c_str(), page->localFile.c_str(), TRUE);
    if (result == COrviHttp::kOk)
        return ParsePage(directory, page);
    if (result == COrviHttp::kLocalCopyCurrent)
        return UseFreshCopy(directory, page);
    Log(u"Download %s failed(0x%x)!\r\n", request, result);
    return kLoadPageDownloadFailed;
}

}  // namespace

CRadioChannel* NewChannel(CStationDirectory& directory) {
    auto* record = new (std::nothrow) CRadioChannel;
    if (!record)
        return nullptr;
    record->id = directory.TakeNextId();
    record->timeLimit = directory.Config().options.channelTimeout;
    if (!directory.Adopt(record)) {
        delete record;
        return nullptr;
    }
    return record;
}

BOOL ParseOutline(CStationDirectory& directory, IXMLDOMNode* node, CRadioChannel* record) {
    return ParseOutlineAt(directory, node, record, 0);
}

int LoadPage(CStationDirectory& directory, CRadioChannel* page, BOOL allowDownload) {
    if (!page)
        return kLoadPageNothingToLoad;
    if (page->localFile.empty())
        page->localFile = LocalCopyName(directory, *page);
    switch (ChooseSource(*page, allowDownload)) {
    case Source::Nothing:
        return kLoadPageNothingToLoad;
    case Source::FreshCopy:
        return UseFreshCopy(directory, page);
    case Source::Download:
        return DownloadPage(directory, page);
    case Source::Parse:
        break;
    }
    return ParsePage(directory, page);
}
