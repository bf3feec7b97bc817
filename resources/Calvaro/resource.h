// Resource ids of the Calvaro program.
#pragma once

// The application name (string), the accelerator table (none is shipped)
// and, later, the soft-key menu share this id.
#define IDR_MAINFRAME 128

// Status messages of the decoder player.
#define IDS_CODEC_ERROR 115  // "Codec error!"
#define IDS_BUFFERING 116    // "Buffering %d%%", the pre-buffer filled
#define IDS_OPEN_ERROR 118   // "Open error!"

// Status line of the Now Playing view while a station starts.
#define IDS_CONNECTING 119   // "Connecting ......"
#define IDS_CANNOT_PLAY 122  // "Can not play the url!"
#define IDS_LOADING 123      // "Loading %s", the address being fetched
