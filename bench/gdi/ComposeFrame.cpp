// Composing one device screen the way the skinned views do: an off-screen
// 240x320 bitmap gets a background, 12 rows of text and 24 colour-keyed
// 30x30 icons drawn by the mask method (mask AND, picture OR), then goes to
// the window in one blit. Target: under 2 ms per frame (median).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform.h"

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 320;
constexpr int kIcon = 30;
constexpr int kIcons = 24;
constexpr int kRows = 12;
constexpr COLORREF kKey = RGB(255, 0, 255);

// A colour-keyed icon prepared as the skinned controls prepare theirs: a
// monochrome mask (1 where the key colour was) and the picture with its
// key-coloured pixels turned black, so AND then OR draws it transparently.
struct KeyedIcon {
    HBITMAP picture = nullptr;
    HBITMAP mask = nullptr;
};

KeyedIcon MakeIcon(HDC screen, int seed) {
    KeyedIcon icon;
    HDC dc = CreateCompatibleDC(screen);
    icon.picture = CreateCompatibleBitmap(screen, kIcon, kIcon);
    HGDIOBJ old = SelectObject(dc, icon.picture);
    RECT all{0, 0, kIcon, kIcon};
    HBRUSH key = CreateSolidBrush(kKey);
    FillRect(dc, &all, key);
    DeleteObject(key);
    RECT body{4, 4, kIcon - 4, kIcon - 4};
    HBRUSH fill = CreateSolidBrush(RGB(40 * seed % 255, 90, 200 - seed * 5));
    FillRect(dc, &body, fill);
    DeleteObject(fill);

    HDC maskDc = CreateCompatibleDC(screen);
    icon.mask = CreateBitmap(kIcon, kIcon, 1, 1, nullptr);
    HGDIOBJ oldMask = SelectObject(maskDc, icon.mask);
    SetBkColor(dc, kKey);
    BitBlt(maskDc, 0, 0, kIcon, kIcon, dc, 0, 0, SRCCOPY);
    // Black out the key colour in the picture: mono→colour takes the
    // destination's colours (0 bits text, 1 bits background), so the mask
    // becomes white over the body and black over the key.
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 255, 255));
    BitBlt(dc, 0, 0, kIcon, kIcon, maskDc, 0, 0, SRCAND);
    SelectObject(maskDc, oldMask);
    DeleteDC(maskDc);
    SelectObject(dc, old);
    DeleteDC(dc);
    return icon;
}

LRESULT CALLBACK BenchProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

void BM_ComposeFrame(benchmark::State& state) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BenchProc;
    wc.lpszClassName = u"OrviBenchFrame";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, u"OrviBenchFrame", u"Bench", WS_VISIBLE, 0, 26, kWidth,
                                  kHeight - 26, nullptr, nullptr, nullptr, nullptr);
    HDC screen = GetDC(window);
    HDC frame = CreateCompatibleDC(screen);
    HBITMAP frameBitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    HGDIOBJ oldFrame = SelectObject(frame, frameBitmap);
    HDC iconDc = CreateCompatibleDC(screen);
    std::vector<KeyedIcon> icons;
    for (int i = 0; i < kIcons; ++i)
        icons.push_back(MakeIcon(screen, i));
    LOGFONTW lf{};
    lf.lfHeight = -12;
    HFONT font = CreateFontIndirectW(&lf);
    HBRUSH background = CreateSolidBrush(RGB(245, 245, 250));
    const RECT all{0, 0, kWidth, kHeight};

    for (auto _ : state) {
        FillRect(frame, &all, background);
        HGDIOBJ oldFont = SelectObject(frame, font);
        SetBkMode(frame, TRANSPARENT);
        SetTextColor(frame, RGB(20, 20, 20));
        for (int row = 0; row < kRows; ++row) {
            RECT line{36, row * 26 + 4, kWidth - 4, row * 26 + 30};
            DrawTextW(frame, u"Station name of some length, 128 kbit/s", -1, &line,
                      DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
        }
        SelectObject(frame, oldFont);
        // The mask's 0 bits (body) clear the frame, its 1 bits (key) keep it.
        SetTextColor(frame, RGB(0, 0, 0));
        SetBkColor(frame, RGB(255, 255, 255));
        for (int i = 0; i < kIcons; ++i) {
            int x = (i % 2) * (kWidth - kIcon - 2) + 2;
            int y = (i / 2) * 26 + 2;
            HGDIOBJ old = SelectObject(iconDc, icons[i].mask);
            BitBlt(frame, x, y, kIcon, kIcon, iconDc, 0, 0, SRCAND);
            SelectObject(iconDc, icons[i].picture);
            BitBlt(frame, x, y, kIcon, kIcon, iconDc, 0, 0, SRCPAINT);
            SelectObject(iconDc, old);
        }
        BitBlt(screen, 0, 0, kWidth, kHeight, frame, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }

    DeleteObject(background);
    DeleteObject(font);
    for (auto& icon : icons) {
        DeleteObject(icon.picture);
        DeleteObject(icon.mask);
    }
    DeleteDC(iconDc);
    SelectObject(frame, oldFrame);
    DeleteObject(frameBitmap);
    DeleteDC(frame);
    ReleaseDC(window, screen);
    DestroyWindow(window);
}
BENCHMARK(BM_ComposeFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
