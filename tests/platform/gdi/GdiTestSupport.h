// Memory DCs over top-down (or bottom-up) 32-bit DIB sections whose pixels
// the tests read directly.
#pragma once

#include <gtest/gtest.h>

#include "platform.h"

namespace orvi::test {

class DibDc {
public:
    DibDc(int width, int height, bool bottomUp = false) : m_width(width), m_height(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = bottomUp ? height : -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<uint32_t*>(bits);
        m_bottomUp = bottomUp;
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~DibDc() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    DibDc(const DibDc&) = delete;
    DibDc& operator=(const DibDc&) = delete;

    HDC Dc() const { return m_dc; }
    HBITMAP Bitmap() const { return m_bitmap; }
    // Pixel (x, y) counted from the top, 0x00RRGGBB.
    uint32_t& At(int x, int y) { return m_bits[(m_bottomUp ? m_height - 1 - y : y) * m_width + x]; }
    void Fill(COLORREF color) {
        for (int i = 0; i < m_width * m_height; ++i)
            m_bits[i] = ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
    }
    COLORREF Color(int x, int y) {
        uint32_t p = At(x, y);
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width;
    int m_height;
    bool m_bottomUp = false;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
};

}  // namespace orvi::test
