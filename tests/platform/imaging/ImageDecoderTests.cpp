// OrviDecodeImageMemory / OrviDecodeImageFile and the decoder behind them,
// on pictures made here: PNG and JPEG through stb_image_write, BMP and GIF
// written byte by byte.
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include <cstring>
#include <vector>

#include "imaging/ImageDecoder.h"
#include "TestSupport.h"
#include "fileapi.h"
#include "imaging.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes Png(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
    Bytes out;
    stbi_write_png_to_func(Append, &out, width, height, channels, pixels.data(), width * channels);
    return out;
}

// 2 x 2: opaque red, half-covered green, invisible blue, faint white.
Bytes TranslucentPng() {
    return Png(2, 2, 4, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 255, 255, 255, 64});
}

Bytes SolidJpeg() {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 16 * 8; ++i) {
        rgb.insert(rgb.end(), {200, 40, 10});
    }
    Bytes out;
    stbi_write_jpg_to_func(Append, &out, 16, 8, 3, rgb.data(), 95);
    return out;
}

// 2 x 2, 24 bits, rows stored bottom-up and padded to 4 bytes.
Bytes Bmp() {
    Bytes b = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
               40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
               16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const uint8_t bottom[] = {0, 0, 255, 0, 255, 0, 0, 0};      // red, green (BGR)
    const uint8_t top[] = {255, 0, 0, 255, 255, 255, 0, 0};     // blue, white
    b.insert(b.end(), std::begin(bottom), std::end(bottom));
    b.insert(b.end(), std::begin(top), std::end(top));
    return b;
}

// 2 x 1: palette red/blue, index 1 transparent; LZW codes clear, 0, 1, end.
Bytes Gif() {
    return {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,
            0xFF, 0, 0, 0, 0, 0xFF,                          // palette
            0x21, 0xF9, 4, 1, 0, 0, 1, 0,                    // transparency: index 1
            0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0,                 // image descriptor
            2, 2, 0x44, 0x0A, 0,                             // pixel data
            0x3B};
}

struct Decoded {
    HRESULT hr;
    HBITMAP bitmap = nullptr;
    SIZE size{};
    BOOL hasAlpha = -1;
    std::vector<uint32_t> pixels;
};

Decoded Decode(const Bytes& data) {
    Decoded d;
    d.hr = OrviDecodeImageMemory(data.data(), static_cast<DWORD>(data.size()), &d.bitmap,
                                 &d.size, &d.hasAlpha);
    if (d.bitmap) {
        DIBSECTION ds{};
        EXPECT_EQ(GetObjectW(d.bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
        EXPECT_EQ(ds.dsBmih.biBitCount, 32);
        EXPECT_LT(ds.dsBmih.biHeight, 0);  // top-down
        const auto* bits = static_cast<const uint32_t*>(ds.dsBm.bmBits);
        d.pixels.assign(bits, bits + d.size.cx * d.size.cy);
        EXPECT_TRUE(DeleteObject(d.bitmap));
    }
    return d;
}

TEST(OrviDecodeImageMemory, PngKeepsPremultipliedAlpha) {
    Decoded d = Decode(TranslucentPng());
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.size.cx, 2);
    EXPECT_EQ(d.size.cy, 2);
    EXPECT_EQ(d.hasAlpha, TRUE);
    EXPECT_EQ(d.pixels, (std::vector<uint32_t>{0xFFFF0000, 0x80008000, 0x00000000, 0x40404040}));

    Decoded opaque = Decode(Png(1, 2, 3, {1, 2, 3, 250, 128, 0}));
    ASSERT_EQ(opaque.hr, S_OK);
    EXPECT_EQ(opaque.hasAlpha, FALSE);
    EXPECT_EQ(opaque.pixels, (std::vector<uint32_t>{0xFF010203, 0xFFFA8000}));
}

TEST(OrviDecodeImageMemory, JpegBmpAndGifDecode) {
    Decoded jpeg = Decode(SolidJpeg());
    ASSERT_EQ(jpeg.hr, S_OK);
    EXPECT_EQ(jpeg.size.cx, 16);
    EXPECT_EQ(jpeg.size.cy, 8);
    EXPECT_EQ(jpeg.hasAlpha, FALSE);
    for (uint32_t p : jpeg.pixels) {
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 200, 8);
        EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 40, 8);
        EXPECT_NEAR(static_cast<int>(p & 0xFF), 10, 8);
    }

    Decoded bmp = Decode(Bmp());
    ASSERT_EQ(bmp.hr, S_OK);
    EXPECT_EQ(bmp.hasAlpha, FALSE);
    EXPECT_EQ(bmp.pixels, (std::vector<uint32_t>{0xFF0000FF, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00}));

    Decoded gif = Decode(Gif());
    ASSERT_EQ(gif.hr, S_OK);
    EXPECT_EQ(gif.size.cx, 2);
    EXPECT_EQ(gif.size.cy, 1);
    EXPECT_EQ(gif.hasAlpha, TRUE);
    EXPECT_EQ(gif.pixels, (std::vector<uint32_t>{0xFFFF0000, 0x00000000}));
}

TEST(OrviDecodeImageMemory, RefusesOversizeDamagedAndUnknownData) {
    // A PNG header that claims 5000 x 10 and nothing behind it.
    Bytes claims = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                    0, 0, 0x13, 0x88, 0, 0, 0, 10, 8, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Decode(claims).hr, ORVI_E_IMAGE_TOO_LARGE);
    EXPECT_EQ(Decode(Png(4097, 1, 1, std::vector<uint8_t>(4097, 7))).hr, ORVI_E_IMAGE_TOO_LARGE);
    EXPECT_EQ(Decode(Png(4096, 1, 1, std::vector<uint8_t>(4096, 7))).hr, S_OK);

    for (const Bytes& whole : {TranslucentPng(), SolidJpeg(), Bmp(), Gif()}) {
        Bytes half(whole.begin(), whole.begin() + whole.size() / 2);
        Decoded d = Decode(half);
        EXPECT_EQ(d.hr, ORVI_E_IMAGE_DAMAGED) << "format " << whole[0];
        EXPECT_EQ(d.bitmap, nullptr);
    }
    EXPECT_EQ(Decode(Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'p', 'i', 'c'}).hr,
              ORVI_E_IMAGE_UNSUPPORTED);
    Bytes pngGarbage = TranslucentPng();
    std::memset(pngGarbage.data() + 8, 0x5A, pngGarbage.size() - 8);
    EXPECT_EQ(Decode(pngGarbage).hr, ORVI_E_IMAGE_DAMAGED);

    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    EXPECT_EQ(OrviDecodeImageMemory(nullptr, 4, &bitmap, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(OrviDecodeImageMemory("x", 0, &bitmap, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(OrviDecodeImageMemory("x", 1, nullptr, nullptr, nullptr), E_POINTER);
}

TEST(DecodeImage, EveryTruncationFailsCleanlyOrDecodes) {
    // Hostile input in small steps; the sanitizer builds catch any overread.
    for (const Bytes& whole : {TranslucentPng(), SolidJpeg(), Bmp(), Gif()}) {
        for (size_t length = 0; length <= whole.size(); ++length) {
            orvi::imaging::DecodedImage image;
            const HRESULT hr = orvi::imaging::DecodeImage(whole.data(), length, image);
            if (hr == S_OK) {
                EXPECT_EQ(image.pixels.size(), static_cast<size_t>(image.width) * image.height);
            } else {
                EXPECT_TRUE(hr == ORVI_E_IMAGE_DAMAGED || hr == ORVI_E_IMAGE_UNSUPPORTED) << hr;
                EXPECT_TRUE(image.pixels.empty());
            }
        }
    }
}

class OrviDecodeImageFileTest : public orvi::test::DeviceRootTest {
protected:
    void Write(const char16_t* path, const Bytes& data) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        EXPECT_TRUE(CloseHandle(file));
    }
};

TEST_F(OrviDecodeImageFileTest, ReadsThroughDevicePaths) {
    Write(u"\\pic.png", TranslucentPng());
    HBITMAP bitmap = nullptr;
    SIZE size{};
    BOOL alpha = FALSE;
    ASSERT_EQ(OrviDecodeImageFile(u"\\pic.png", &bitmap, &size, &alpha), S_OK);
    EXPECT_EQ(size.cx, 2);
    EXPECT_EQ(alpha, TRUE);
    EXPECT_TRUE(DeleteObject(bitmap));
    ASSERT_EQ(OrviDecodeImageFile(u"\\pic.png", &bitmap, nullptr, nullptr), S_OK);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(OrviDecodeImageFileTest, FailsWithFileAndDataCodes) {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    EXPECT_EQ(OrviDecodeImageFile(u"\\missing.png", &bitmap, nullptr, nullptr),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(OrviDecodeImageFile(u"\\no folder\\x.png", &bitmap, nullptr, nullptr),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    Write(u"\\empty.png", {});
    EXPECT_EQ(OrviDecodeImageFile(u"\\empty.png", &bitmap, nullptr, nullptr), ORVI_E_IMAGE_DAMAGED);
    Write(u"\\text.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    EXPECT_EQ(OrviDecodeImageFile(u"\\text.png", &bitmap, nullptr, nullptr),
              ORVI_E_IMAGE_UNSUPPORTED);
    EXPECT_EQ(OrviDecodeImageFile(nullptr, &bitmap, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(OrviDecodeImageFile(u"", &bitmap, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(OrviDecodeImageFile(u"\\pic.png", nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(bitmap, nullptr);
}

}  // namespace
