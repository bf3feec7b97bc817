// The imaging API: argument checks around the decoder, and the bitmap.
#include <cstring>

#include "imaging.h"
#include "imaging/ImageDecoder.h"

namespace {

using orvi::imaging::DecodedImage;

HRESULT MakeBitmap(const DecodedImage& image, HBITMAP* bitmap, SIZE* size, BOOL* hasAlpha) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down, like the decoded rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP result = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!result || !bits) {
        if (result) {
            DeleteObject(result);
        }
        return E_OUTOFMEMORY;
    }
    std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof(uint32_t));
    *bitmap = result;
    if (size) {
        *size = SIZE{image.width, image.height};
    }
    if (hasAlpha) {
        *hasAlpha = image.hasAlpha ? TRUE : FALSE;
    }
    return S_OK;
}

HRESULT Finish(HRESULT hr, const DecodedImage& image, HBITMAP* bitmap, SIZE* size,
               BOOL* hasAlpha) {
    return FAILED(hr) ? hr : MakeBitmap(image, bitmap, size, hasAlpha);
}

}  // namespace

HRESULT OrviDecodeImageFile(LPCWSTR path, HBITMAP* bitmap, SIZE* size, BOOL* hasAlpha) {
    if (!bitmap) {
        return E_POINTER;
    }
    *bitmap = nullptr;
    std::vector<uint8_t> data;
    HRESULT hr = orvi::imaging::ReadImageFile(path, data);
    if (FAILED(hr)) {
        return hr;
    }
    DecodedImage image;
    hr = orvi::imaging::DecodeImage(data.data(), data.size(), image);
    return Finish(hr, image, bitmap, size, hasAlpha);
}

HRESULT OrviDecodeImageMemory(const void* data, DWORD cbData, HBITMAP* bitmap, SIZE* size,
                              BOOL* hasAlpha) {
    if (!bitmap || !data) {
        if (bitmap) {
            *bitmap = nullptr;
        }
        return E_POINTER;
    }
    *bitmap = nullptr;
    if (cbData == 0) {
        return E_INVALIDARG;
    }
    DecodedImage image;
    const HRESULT hr =
        orvi::imaging::DecodeImage(static_cast<const uint8_t*>(data), cbData, image);
    return Finish(hr, image, bitmap, size, hasAlpha);
}
