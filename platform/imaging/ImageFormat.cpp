#include "imaging/ImageFormat.h"

#include <cstring>

namespace orvi::imaging {
namespace {

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool JpegComplete(const uint8_t* data, size_t size) {
    // Entropy-coded data stuffs every 0xFF with a 0x00, so markers found by a
    // plain scan are real (an embedded thumbnail ends before the main scan).
    size_t lastScan = 0;
    size_t lastEnd = 0;
    for (size_t i = 2; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xDA) {
            lastScan = i;
        } else if (data[i] == 0xFF && data[i + 1] == 0xD9) {
            lastEnd = i;
        }
    }
    return lastScan != 0 && lastEnd > lastScan;
}

bool BmpComplete(const uint8_t* data, size_t size) {
    if (size < 26) {
        return false;
    }
    const uint32_t pixelsAt = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        width = Le16(data + 18);
        height = Le16(data + 20);
        bitsPerPixel = Le16(data + 24);
    } else {
        if (size < 34) {
            return false;
        }
        width = static_cast<int32_t>(Le32(data + 18));
        height = static_cast<int32_t>(Le32(data + 22));
        bitsPerPixel = Le16(data + 28);
        compression = Le32(data + 30);
    }
    const bool uncompressed = compression == 0 || compression == 3;  // BI_RGB, BI_BITFIELDS
    if (!uncompressed || width <= 0) {
        return true;  // the decoder refuses these itself
    }
    const int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    const int64_t rows = height < 0 ? -height : height;
    return static_cast<int64_t>(pixelsAt) + stride * rows <= static_cast<int64_t>(size);
}

// Steps over a chain of GIF data sub-blocks ending in an empty one.
bool SkipGifSubBlocks(const uint8_t* data, size_t size, size_t& pos) {
    while (pos < size) {
        const uint8_t length = data[pos++];
        if (length == 0) {
            return true;
        }
        pos += length;
    }
    return false;
}

size_t GifColourTableSize(uint8_t flags) {
    return (flags & 0x80) ? 3u * (1u << ((flags & 7) + 1)) : 0;
}

bool GifComplete(const uint8_t* data, size_t size) {
    if (size < 13) {
        return false;
    }
    size_t pos = 13 + GifColourTableSize(data[10]);
    while (pos < size) {
        const uint8_t block = data[pos++];
        if (block == 0x21) {  // extension: label, then sub-blocks
            ++pos;
            if (!SkipGifSubBlocks(data, size, pos)) {
                return false;
            }
        } else if (block == 0x2C) {  // image: descriptor, colours, code size, data
            if (pos + 9 > size) {
                return false;
            }
            pos += 9 + GifColourTableSize(data[pos + 8]) + 1;
            return SkipGifSubBlocks(data, size, pos);
        } else {
            return false;  // the trailer or garbage before any image
        }
    }
    return false;
}

}  // namespace

ImageFormat DetectImageFormat(const uint8_t* data, size_t size) {
    static const uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        return ImageFormat::Png;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return ImageFormat::Jpeg;
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return ImageFormat::Bmp;
    }
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        return ImageFormat::Gif;
    }
    return ImageFormat::Unknown;
}

bool IsImageComplete(ImageFormat format, const uint8_t* data, size_t size) {
    switch (format) {
    case ImageFormat::Jpeg:
        return JpegComplete(data, size);
    case ImageFormat::Bmp:
        return BmpComplete(data, size);
    case ImageFormat::Gif:
        return GifComplete(data, size);
    case ImageFormat::Png:
        return true;
    case ImageFormat::Unknown:
        break;
    }
    return false;
}

}  // namespace orvi::imaging
