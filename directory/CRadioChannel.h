// One entry the user sees: a station, a folder of the directory, a page
// loaded from its URL (the directory's root, the favourites, search results).
//
// Ownership: records are made only by NewChannel (OpmlPage.h) and owned by
// the station directory, which deletes them all when it is destroyed. Lists
// (children) hold borrowed pointers: dropping or replacing a list never frees
// a record, so a pointer taken from any list stays valid for the directory's
// life.
//
// Threading: the user-interface thread builds and changes records; the Now
// Playing worker only reads the station it was given.
#pragma once

#include <string>

#include "LcArray.h"
#include "platform.h"

class CRadioChannel;

// Borrowed record pointers in list order (see LcArray.h for sharing).
using CRadioChannelArray = CLcArray<CRadioChannel*>;

class CRadioChannel {
public:
    enum Kind : LONG { Container = 1, Link = 2, Audio = 3 };

    // Fixed ids; 0 and 3 to 9 are made on request by the directory.
    enum FixedId : LONG {
        kTitleRowId = 0,
        kRootPageId = 1,
        kFavoritesId = 2,
        kSearchPageId = 3,
        kNowPlayingFirstId = 4,
        kNowPlayingSecondId = 5,
        kOpenUrlId = 6,
        kFirstOrdinaryId = 11,
    };

    // A bitrate of -1 marks a direct stream: its URL is played as it stands.
    static constexpr LONG kDirectStream = -1;

    CRadioChannel() = default;
    CRadioChannel(const CRadioChannel&) = delete;
    CRadioChannel& operator=(const CRadioChannel&) = delete;

    bool IsDirectStream() const { return bitrate == kDirectStream; }

    LONG id = 0;
    LONG kind = Container;
    std::u16string localFile;  // the page's local copy (pages only)
    LONG timeLimit = 0;        // seconds the local copy stays fresh; -1 never expires
    std::u16string pageTitle;  // head/title of the page that listed the entry
    std::u16string text;
    std::u16string url;
    std::u16string image;
    LONG bitrate = 0;  // kbit/s; 0 unknown; kDirectStream
    std::u16string currentTrack;
    std::u16string nowPlayingId;
    std::u16string presetId;
    std::u16string qtoId;  // the directory's key of a station; favourites match on it
    CRadioChannelArray children;
    LONG parentId = 0;           // the list the record was last loaded into; 0 none
    LONG hiddenCompanionId = 0;  // the hiddenoutline record that followed it; 0 none
};
