// The Calvaro program's string table and version; linked into the executable
// itself, where the platform looks for a program's resources.
#include "moduleapi.h"
#include "resource.h"

namespace {

const ORVI_STRING_ENTRY kStrings[] = {
    {IDR_MAINFRAME, u"Calvaro"},
    {IDS_CODEC_ERROR, u"Codec error!"},
    {IDS_BUFFERING, u"Buffering %d%%"},
    {IDS_OPEN_ERROR, u"Open error!"},
    {IDS_CONNECTING, u"Connecting ......"},
    {IDS_CANNOT_PLAY, u"Can not play the url!"},
    {IDS_LOADING, u"Loading %s"},
};

}  // namespace

ORVI_DEFINE_RESOURCES(kStrings);
