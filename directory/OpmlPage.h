// Lists of records in OPML: making records, reading an outline, bringing a
// page up to date from its local copy or its URL, writing a list back, and
// the decoration every directory request carries.
//
// Every function runs on the user-interface thread, which owns the directory
// and its records; LoadPage blocks it for a download and, for a location
// page, for the position fix.
#pragma once

#include <string>

#include "CRadioChannel.h"
#include "platform.h"
#include "xmldom.h"

class CStationDirectory;

// Results of LoadPage.
constexpr int kLoadPageDone = 0;
// No local copy and nothing to download: the URL is empty or downloading
// was not allowed.
constexpr int kLoadPageNothingToLoad = 0x8001;
// The download failed (logged); the local copy and the children are as
// they were.
constexpr int kLoadPageDownloadFailed = 0x8002;
// The local copy cannot be opened, is not well-formed, or is not OPML; the
// page keeps its previous children.
constexpr int kLoadPageNotOpml = 0x8003;
// The URL needs the position, none is available and the page has no
// companion to fall back to; nothing was requested.
constexpr int kLoadPageNoPosition = 0x8004;

// Outlines nested deeper than this below a page are not read (nor written):
// a list on a handheld never comes close, and a hostile page must not be
// able to exhaust the stack.
constexpr int kMaxOutlineDepth = 64;

// A new record (container, empty texts, the options' channel time limit)
// with the directory's next id, owned by the directory. NULL only when
// memory runs out.
CRadioChannel* NewChannel(CStationDirectory& directory);

// Fills record from one `outline` element; a container's `outline` and
// `hiddenoutline` children become new records (its children and their hidden
// companions). FALSE when the node is not an element.
BOOL ParseOutline(CStationDirectory& directory, IXMLDOMNode* node, CRadioChannel* record);

// Brings page's children up to date from its local copy, downloading it
// first when that is allowed and the copy is missing or stale. Names the
// local copy on first use when the page has none. Earlier children stay
// alive (the directory owns them) but are no longer listed. One of the
// kLoadPage results.
int LoadPage(CStationDirectory& directory, CRadioChannel* page, BOOL allowDownload);

// Writes page's children to page's local file, replacing it whole so that a
// reader (the Today plug-in) sees the old list or the new one, never a mix.
// A read-only file is made writable first. FALSE, logged, when the page has
// no local file or the file cannot be written; the old file then stays.
BOOL SaveOpml(CStationDirectory& directory, const CRadioChannel* page);

// url with the program's version and the screen size appended as the query
// (or as more of it): "?version=WM<build>&device=WM<width><height>".
std::u16string DecorateUrl(CStationDirectory& directory, const std::u16string& url);

// The name of a page's local copy: the data folder and the MD5 of the text
// followed by the URL, as 32 lower-case hexadecimal digits, plus ".xml".
// Pairs of any length are hashed whole, so different pairs get different
// names however long they are.
std::u16string LocalCopyName(const CStationDirectory& directory, const CRadioChannel& page);
