// Recognising a picture's format and checking that the data holds all of
// it. The decoder reads missing bytes as zeros for some formats, so a
// truncated file would otherwise decode into a picture with a garbage tail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvi::imaging {

enum class ImageFormat { Unknown, Png, Jpeg, Bmp, Gif };

// By the signature at the start of the data.
ImageFormat DetectImageFormat(const uint8_t* data, size_t size);

// False when the data ends before the (first) picture does: a JPEG without
// an end marker after its last scan, a BMP shorter than its rows, a GIF
// whose first image's blocks run past the end. PNG data is checked by the
// decoder itself (chunk lengths and the zlib stream).
bool IsImageComplete(ImageFormat format, const uint8_t* data, size_t size);

}  // namespace orvi::imaging
