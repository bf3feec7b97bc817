// The picture decoder behind the imaging API, reusable by the skin engine's
// imaging objects: bytes in, premultiplied pixels out. Stateless and
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging.h"

namespace orvi::imaging {

struct DecodedImage {
    int width = 0;
    int height = 0;
    // width * height pixels, top-down rows, 0xAARRGGBB with the colour
    // premultiplied by alpha.
    std::vector<uint32_t> pixels;
    // Some pixel is not fully opaque.
    bool hasAlpha = false;
};

// Decodes PNG, JPEG, BMP or GIF (first frame) data of any origin, including
// hostile input: returns S_OK or one of ORVI_E_IMAGE_UNSUPPORTED,
// ORVI_E_IMAGE_DAMAGED, ORVI_E_IMAGE_TOO_LARGE, E_OUTOFMEMORY. `image` is
// left empty on failure.
HRESULT DecodeImage(const uint8_t* data, size_t size, DecodedImage& image);

// Reads a whole picture file (a device path) through the file API. Fails with
// HRESULT_FROM_WIN32 of the file error, ORVI_E_IMAGE_DAMAGED for an empty
// file and ORVI_E_IMAGE_TOO_LARGE for one larger than a picture may be.
HRESULT ReadImageFile(LPCWSTR path, std::vector<uint8_t>& data);

}  // namespace orvi::imaging
