// MultiByteToWideChar / WideCharToMultiByte for the code pages the system
// meets: Windows-1252 (the ANSI code page), UTF-8, GBK (936) and Big5 (950).
//
// Windows-1252 and UTF-8 are converted here: the host's Windows-1252 tables
// leave five bytes unassigned that the device maps to C1 controls, and
// UTF-8 is the common case. The double-byte pages go through iconv, each
// conversion on a descriptor no other thread is using (see IconvLease).
#include <iconv.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "internal.h"
#include "kernelapi.h"
#include "textapi.h"

namespace {

enum class Page { Windows1252, Utf8, Gbk, Big5, Unknown };

Page PageOf(UINT codePage) {
    switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:
    case 1252: return Page::Windows1252;
    case CP_UTF8: return Page::Utf8;
    case 936: return Page::Gbk;
    case 950: return Page::Big5;
    default: return Page::Unknown;
    }
}

const char* IconvName(Page page) { return page == Page::Gbk ? "CP936" : "CP950"; }

constexpr const char* kUtf16Host =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = 0xFFFD;

// Code units of an unconvertible character at s: a surrogate pair is one.
size_t UnconvertibleLength(const char16_t* s, size_t n) {
    return n >= 2 && s[0] >= 0xD800 && s[0] <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF ? 2 : 1;
}

// ---- Windows-1252 -----------------------------------------------------------------
// 0x80..0x9F; the rest of the page is Latin-1.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void Decode1252(std::string_view in, std::u16string* out) {
    for (char ch : in) {
        auto b = static_cast<unsigned char>(ch);
        out->push_back(b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : b);
    }
}

// The byte for c, or -1 when Windows-1252 has none.
int Encode1252Char(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (k1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

void Encode1252(std::u16string_view in, char defaultChar, std::string* out, bool* usedDefault) {
    for (size_t i = 0; i < in.size(); ++i) {
        int b = Encode1252Char(in[i]);
        if (b < 0) {
            *usedDefault = true;
            out->push_back(defaultChar);
            i += UnconvertibleLength(&in[i], in.size() - i) - 1;
            continue;
        }
        out->push_back(static_cast<char>(b));
    }
}

// ---- UTF-8 -----------------------------------------------------------------------------
struct Utf8Step {
    char32_t c;
    size_t length;  // bytes used; for an invalid step, the maximal invalid part
    bool valid;
};

// Well-formed sequences per the Unicode table of UTF-8 byte ranges, which
// rules out overlong forms, surrogates and values above U+10FFFF.
Utf8Step NextUtf8(const unsigned char* s, size_t n) {
    unsigned b = s[0];
    if (b < 0x80)
        return {b, 1, true};
    size_t need = 0;
    unsigned lo = 0x80, hi = 0xBF;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        c = b & 0x0F;
        lo = b == 0xE0 ? 0xA0 : lo;
        hi = b == 0xED ? 0x9F : hi;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        c = b & 0x07;
        lo = b == 0xF0 ? 0x90 : lo;
        hi = b == 0xF4 ? 0x8F : hi;
    } else {
        return {kReplacement, 1, false};
    }
    for (size_t k = 1; k <= need; ++k) {
        if (k >= n || s[k] < lo || s[k] > hi)
            return {kReplacement, k, false};
        c = (c << 6) | (s[k] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return {c, need + 1, true};
}

void AppendUtf16(char32_t c, std::u16string* out) {
    if (c < 0x10000) {
        out->push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

DWORD DecodeUtf8(std::string_view in, bool strict, std::u16string* out) {
    auto* s = reinterpret_cast<const unsigned char*>(in.data());
    for (size_t i = 0; i < in.size();) {
        Utf8Step step = NextUtf8(s + i, in.size() - i);
        if (!step.valid && strict)
            return ERROR_NO_UNICODE_TRANSLATION;
        AppendUtf16(step.c, out);
        i += step.length;
    }
    return ERROR_SUCCESS;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return;
    }
    int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out->push_back(static_cast<char>(kLead[tail] | (c >> (6 * tail))));
    for (int k = tail - 1; k >= 0; --k)
        out->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

DWORD EncodeUtf8(std::u16string_view in, bool strict, std::string* out) {
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict)
                return ERROR_NO_UNICODE_TRANSLATION;
            c = kReplacement;
        }
        AppendUtf8(c, out);
    }
    return ERROR_SUCCESS;
}

// ---- double-byte pages through iconv -------------------------------------------------
enum class Direction { ToUtf16, FromUtf16 };

// A descriptor borrowed from a process-wide pool for one conversion. A
// descriptor carries conversion state, so only one thread uses it at a time;
// it is reset and returned to the pool afterwards, never closed. Closing the
// last descriptor of a page would unload the host's converter module, and
// loading and unloading modules on every call is slow and races inside the
// host's dynamic loader. The pool holds at most one descriptor per thread
// that converted at the same time, and lives until the process ends.
class IconvLease {
public:
    IconvLease(Page page, Direction direction) : m_slot(Slot(page, direction)) {
        std::lock_guard guard(Mutex());
        std::vector<iconv_t>& pool = Pools()[m_slot];
        if (!pool.empty()) {
            m_cd = pool.back();
            pool.pop_back();
        } else if (direction == Direction::ToUtf16) {
            m_cd = iconv_open(kUtf16Host, IconvName(page));
        } else {
            m_cd = iconv_open(IconvName(page), kUtf16Host);
        }
    }
    ~IconvLease() {
        if (!Valid())
            return;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::lock_guard guard(Mutex());
        Pools()[m_slot].push_back(m_cd);
    }
    IconvLease(const IconvLease&) = delete;
    IconvLease& operator=(const IconvLease&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as it can; returns 0 when all input is used, else the
    // errno that stopped it (E2BIG, EILSEQ, EINVAL).
    int Convert(const char** in, size_t* inLeft, char** out, size_t* outLeft) {
        size_t r = iconv(m_cd, const_cast<char**>(in), inLeft, out, outLeft);
        return r == static_cast<size_t>(-1) ? errno : 0;
    }

private:
    static constexpr size_t kSlots = 4;  // {GBK, Big5} x {to, from UTF-16}
    static size_t Slot(Page page, Direction direction) {
        return (page == Page::Gbk ? 0 : 2) + (direction == Direction::ToUtf16 ? 0 : 1);
    }
    // Deliberately never destroyed: a thread may still convert while the
    // process exits.
    static std::mutex& Mutex() {
        static auto* mutex = new std::mutex;
        return *mutex;
    }
    static std::vector<iconv_t>* Pools() {
        static auto* pools = new std::vector<iconv_t>[kSlots];
        return pools;
    }

    size_t m_slot;
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
};

// Bytes of an invalid double-byte sequence to skip: a lead byte takes a
// plausible trail byte with it, anything else stands alone.
size_t InvalidDbcsLength(const unsigned char* s, size_t n) {
    bool lead = s[0] >= 0x81 && s[0] <= 0xFE;
    bool trail = n >= 2 && s[1] >= 0x40 && s[1] <= 0xFE && s[1] != 0x7F;
    return lead && trail ? 2 : 1;
}

DWORD DecodeDbcs(Page page, std::string_view in, bool strict, std::u16string* out) {
    IconvLease cd(page, Direction::ToUtf16);
    if (!cd.Valid())
        return ERROR_INVALID_PARAMETER;
    const char* ip = in.data();
    size_t left = in.size();
    char16_t buffer[256];
    while (left > 0) {
        char* op = reinterpret_cast<char*>(buffer);
        size_t room = sizeof(buffer);
        int err = cd.Convert(&ip, &left, &op, &room);
        out->append(buffer, static_cast<size_t>(op - reinterpret_cast<char*>(buffer)) / 2);
        if (err == 0 || err == E2BIG)
            continue;
        if (strict)
            return ERROR_NO_UNICODE_TRANSLATION;
        size_t skip = InvalidDbcsLength(reinterpret_cast<const unsigned char*>(ip), left);
        out->push_back(kReplacement);
        ip += skip;
        left -= skip;
    }
    return ERROR_SUCCESS;
}

DWORD EncodeDbcs(Page page, std::u16string_view in, char defaultChar, std::string* out,
                 bool* usedDefault) {
    IconvLease cd(page, Direction::FromUtf16);
    if (!cd.Valid())
        return ERROR_INVALID_PARAMETER;
    const char* ip = reinterpret_cast<const char*>(in.data());
    size_t left = in.size() * 2;
    char buffer[512];
    while (left > 0) {
        char* op = buffer;
        size_t room = sizeof(buffer);
        int err = cd.Convert(&ip, &left, &op, &room);
        out->append(buffer, static_cast<size_t>(op - buffer));
        if (err == 0 || err == E2BIG)
            continue;
        size_t skip = UnconvertibleLength(reinterpret_cast<const char16_t*>(ip), left / 2);
        out->push_back(defaultChar);
        *usedDefault = true;
        ip += skip * 2;
        left -= skip * 2;
    }
    return ERROR_SUCCESS;
}

// ---- entry-point helpers -------------------------------------------------------------------
template <class Char>
size_t InputLength(const Char* s, int count) {
    if (count != -1)
        return static_cast<size_t>(count);
    size_t n = 0;
    while (s[n])
        ++n;
    return n + 1;  // the terminator is converted too
}

// Copies a converted text out with the size-query and too-small rules.
template <class String, class Char>
int CopyResult(const String& text, Char* out, int outSize) {
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int size = static_cast<int>(text.size());
    if (outSize == 0)
        return size;
    if (size > outSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text.data(), text.size() * sizeof(Char));
    return size;
}

DWORD CheckMultiByteFlags(Page page, DWORD flags) {
    DWORD allowed = page == Page::Utf8 ? MB_ERR_INVALID_CHARS
                                       : MB_PRECOMPOSED | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    return (flags & ~allowed) ? ERROR_INVALID_FLAGS : ERROR_SUCCESS;
}

DWORD CheckWideCharFlags(Page page, DWORD flags, LPCSTR defaultChar, const BOOL* usedDefault) {
    if (page == Page::Utf8) {
        if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS))
            return ERROR_INVALID_FLAGS;
        return defaultChar || usedDefault ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    }
    DWORD allowed = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                    WC_NO_BEST_FIT_CHARS;
    return (flags & ~allowed) ? ERROR_INVALID_FLAGS : ERROR_SUCCESS;
}

bool SizesValid(const void* in, int inCount, const void* out, int outSize) {
    return in && inCount != 0 && inCount >= -1 && outSize >= 0 && (outSize == 0 || out) &&
           in != out;
}

DWORD Decode(Page page, std::string_view in, bool strict, std::u16string* out) {
    switch (page) {
    case Page::Windows1252: Decode1252(in, out); return ERROR_SUCCESS;
    case Page::Utf8: return DecodeUtf8(in, strict, out);
    default: return DecodeDbcs(page, in, strict, out);
    }
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    Page page = PageOf(CodePage);
    if (page == Page::Unknown ||
        !SizesValid(lpMultiByteStr, cbMultiByte, lpWideCharStr, cchWideChar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD error = CheckMultiByteFlags(page, dwFlags);
    std::u16string text;
    if (error == ERROR_SUCCESS) {
        std::string_view in(lpMultiByteStr, InputLength(lpMultiByteStr, cbMultiByte));
        error = Decode(page, in, (dwFlags & MB_ERR_INVALID_CHARS) != 0, &text);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    return CopyResult(text, lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
    Page page = PageOf(CodePage);
    if (page == Page::Unknown ||
        !SizesValid(lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD error = CheckWideCharFlags(page, dwFlags, lpDefaultChar, lpUsedDefaultChar);
    std::u16string_view in(lpWideCharStr, InputLength(lpWideCharStr, cchWideChar));
    std::string text;
    bool usedDefault = false;
    char defaultChar = lpDefaultChar ? *lpDefaultChar : '?';
    if (error == ERROR_SUCCESS && page == Page::Utf8)
        error = EncodeUtf8(in, (dwFlags & WC_ERR_INVALID_CHARS) != 0, &text);
    else if (error == ERROR_SUCCESS && page == Page::Windows1252)
        Encode1252(in, defaultChar, &text, &usedDefault);
    else if (error == ERROR_SUCCESS)
        error = EncodeDbcs(page, in, defaultChar, &text, &usedDefault);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    int result = CopyResult(text, lpMultiByteStr, cbMultiByte);
    if (result > 0 && lpUsedDefaultChar)
        *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return result;
}

namespace orvi::kernel {

// The platform's own conversions (host paths, trace lines) never fail:
// malformed input becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    EncodeUtf8(text, false, &out);
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    DecodeUtf8(text, false, &out);
    return out;
}

}  // namespace orvi::kernel
