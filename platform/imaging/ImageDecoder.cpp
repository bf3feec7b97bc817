#include "imaging/ImageDecoder.h"

#include <climits>
#include <memory>
#include <new>

#include "imaging/ImageFormat.h"

// The platform's copy of the decoder: only the four formats, never opening
// files itself (pictures arrive through the device's file API), and private
// to this file so that a program may carry its own copy.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ASSERT(x) ((void)0)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace orvi::imaging {
namespace {

struct StbFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

uint32_t Premultiply(const stbi_uc* rgba) {
    const uint32_t a = rgba[3];
    auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (scale(rgba[0]) << 16) | (scale(rgba[1]) << 8) | scale(rgba[2]);
}

HRESULT CheckHeader(const uint8_t* data, size_t size) {
    if (!data || size == 0) {
        return ORVI_E_IMAGE_DAMAGED;
    }
    const ImageFormat format = DetectImageFormat(data, size);
    if (format == ImageFormat::Unknown) {
        return ORVI_E_IMAGE_UNSUPPORTED;
    }
    if (size > INT_MAX) {
        return ORVI_E_IMAGE_TOO_LARGE;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) ||
        width <= 0 || height <= 0) {
        return ORVI_E_IMAGE_DAMAGED;
    }
    if (width > ORVI_MAX_IMAGE_SIDE || height > ORVI_MAX_IMAGE_SIDE) {
        return ORVI_E_IMAGE_TOO_LARGE;
    }
    return IsImageComplete(format, data, size) ? S_OK : ORVI_E_IMAGE_DAMAGED;
}

}  // namespace

HRESULT DecodeImage(const uint8_t* data, size_t size, DecodedImage& image) {
    image = DecodedImage{};
    const HRESULT hr = CheckHeader(data, size);
    if (FAILED(hr)) {
        return hr;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    std::unique_ptr<stbi_uc, StbFree> rgba(
        stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4));
    if (!rgba || width <= 0 || height <= 0 || width > ORVI_MAX_IMAGE_SIDE ||
        height > ORVI_MAX_IMAGE_SIDE) {
        return ORVI_E_IMAGE_DAMAGED;
    }
    const size_t count = static_cast<size_t>(width) * height;
    try {
        image.pixels.resize(count);
    } catch (const std::bad_alloc&) {
        image.pixels = {};
        return E_OUTOFMEMORY;
    }
    bool translucent = false;
    const stbi_uc* source = rgba.get();
    for (size_t i = 0; i < count; ++i, source += 4) {
        image.pixels[i] = Premultiply(source);
        translucent |= source[3] != 255;
    }
    image.width = width;
    image.height = height;
    image.hasAlpha = translucent;
    return S_OK;
}

}  // namespace orvi::imaging
