// Feeds arbitrary playlist bodies to CPlayList::Parse. The first byte picks
// the media kind (0 to 9, so every parser and fall-back is reached); the
// remaining bytes are the body as UTF-16LE code units, ending at the first
// zero unit as a body read from the network would.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CPlayList.h"
#include "platform.h"

namespace {

// The count Parse answers for the entries it left: their number, or for ASX
// -1 with none, or 1 with some after the reference scan.
bool CountMatches(int kind, int count, int entries) {
    if (count == entries)
        return true;
    return kind == MIME_ASX && ((count == -1 && entries == 0) || (count == 1 && entries >= 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // XML playlists are parsed with the platform's XML DOM, which needs COM
    // on the calling thread; libFuzzer calls from one thread throughout. Done
    // at the first call, once the platform's own statics exist.
    static const bool s_comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!s_comReady || size < 1)
        return 0;
    const int kind = data[0] % 10;
    std::vector<WCHAR> text;
    text.reserve((size - 1) / 2 + 1);
    for (size_t i = 1; i + 1 < size; i += 2)
        text.push_back(static_cast<WCHAR>(data[i] | data[i + 1] << 8));
    text.push_back(0);

    CPlayList list;
    const int count = list.Parse(kind, text.data());
    // What every caller relies on: the count matches the entries, and every
    // entry holds a ':' and at least two characters.
    if (!CountMatches(kind, count, list.GetSize()))
        __builtin_trap();
    for (int i = 0; i < list.GetSize(); ++i) {
        if (wcslen(list[i]) < 2 || !wcschr(list[i], u':'))
            __builtin_trap();
    }
    return 0;
}
