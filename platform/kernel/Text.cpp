// UTF-16 string helpers: C library names, kernel names and the safe string
// functions, with locale-independent Unicode simple case mapping.
#include <cerrno>
#include <climits>
#include <cstdint>

#include "textapi.h"

namespace {

// ---- case mapping --------------------------------------------------------------
// Each rule maps upper-case letters [first, last] (every letter, or every
// second one for alternating pairs) to lower case by adding delta. A rule
// may hold in one direction only: U+0130 lowers to 'i' but 'i' uppers to
// 'I'; U+017F (long s) uppers to 'S' but 'S' lowers to 's'.
enum class Direction : uint8_t { Both, LowerOnly, UpperOnly };

struct CaseRule {
    char16_t first;
    char16_t last;
    int delta;
    uint8_t step;
    Direction direction;
};

constexpr CaseRule kCaseRules[] = {
    {0x0041, 0x005A, 32, 1, Direction::Both},          // Basic Latin
    {0x00C0, 0x00D6, 32, 1, Direction::Both},          // Latin-1
    {0x00D8, 0x00DE, 32, 1, Direction::Both},
    {0x039C, 0x039C, 0x00B5 - 0x039C, 1, Direction::UpperOnly},  // micro sign
    {0x0100, 0x012E, 1, 2, Direction::Both},           // Latin Extended-A
    {0x0130, 0x0130, 0x0069 - 0x0130, 1, Direction::LowerOnly},
    {0x0049, 0x0049, 0x0131 - 0x0049, 1, Direction::UpperOnly},  // dotless i
    {0x0132, 0x0136, 1, 2, Direction::Both},
    {0x0139, 0x0147, 1, 2, Direction::Both},
    {0x014A, 0x0176, 1, 2, Direction::Both},
    {0x0178, 0x0178, 0x00FF - 0x0178, 1, Direction::Both},
    {0x0179, 0x017D, 1, 2, Direction::Both},
    {0x0053, 0x0053, 0x017F - 0x0053, 1, Direction::UpperOnly},  // long s
    {0x01CD, 0x01DB, 1, 2, Direction::Both},           // Latin Extended-B (pairs)
    {0x01DE, 0x01EE, 1, 2, Direction::Both},
    {0x01F8, 0x021E, 1, 2, Direction::Both},
    {0x0222, 0x0232, 1, 2, Direction::Both},
    {0x0370, 0x0372, 1, 2, Direction::Both},           // Greek
    {0x0376, 0x0376, 1, 1, Direction::Both},
    {0x037F, 0x037F, 0x03F3 - 0x037F, 1, Direction::Both},
    {0x0386, 0x0386, 0x03AC - 0x0386, 1, Direction::Both},
    {0x0388, 0x038A, 0x03AD - 0x0388, 1, Direction::Both},
    {0x038C, 0x038C, 0x03CC - 0x038C, 1, Direction::Both},
    {0x038E, 0x038F, 0x03CD - 0x038E, 1, Direction::Both},
    {0x0391, 0x03A1, 32, 1, Direction::Both},
    {0x03A3, 0x03AB, 32, 1, Direction::Both},
    {0x03A3, 0x03A3, 0x03C2 - 0x03A3, 1, Direction::UpperOnly},  // final sigma
    {0x03CF, 0x03CF, 0x03D7 - 0x03CF, 1, Direction::Both},
    {0x0392, 0x0392, 0x03D0 - 0x0392, 1, Direction::UpperOnly},  // symbol forms
    {0x0398, 0x0398, 0x03D1 - 0x0398, 1, Direction::UpperOnly},
    {0x03A6, 0x03A6, 0x03D5 - 0x03A6, 1, Direction::UpperOnly},
    {0x03A0, 0x03A0, 0x03D6 - 0x03A0, 1, Direction::UpperOnly},
    {0x039A, 0x039A, 0x03F0 - 0x039A, 1, Direction::UpperOnly},
    {0x03A1, 0x03A1, 0x03F1 - 0x03A1, 1, Direction::UpperOnly},
    {0x0395, 0x0395, 0x03F5 - 0x0395, 1, Direction::UpperOnly},
    {0x03D8, 0x03EE, 1, 2, Direction::Both},
    {0x03F4, 0x03F4, 0x03B8 - 0x03F4, 1, Direction::LowerOnly},
    {0x03F7, 0x03F7, 1, 1, Direction::Both},
    {0x03F9, 0x03F9, 0x03F2 - 0x03F9, 1, Direction::Both},
    {0x03FA, 0x03FA, 1, 1, Direction::Both},
    {0x03FD, 0x03FF, 0x037B - 0x03FD, 1, Direction::Both},
    {0x0400, 0x040F, 80, 1, Direction::Both},          // Cyrillic
    {0x0410, 0x042F, 32, 1, Direction::Both},
    {0x0460, 0x0480, 1, 2, Direction::Both},
    {0x048A, 0x04BE, 1, 2, Direction::Both},
    {0x04C0, 0x04C0, 0x04CF - 0x04C0, 1, Direction::Both},
    {0x04C1, 0x04CD, 1, 2, Direction::Both},
    {0x04D0, 0x04FE, 1, 2, Direction::Both},
    {0x0500, 0x052E, 1, 2, Direction::Both},           // Cyrillic Supplement
    {0x1E00, 0x1E94, 1, 2, Direction::Both},           // Latin Extended Additional
    {0x1E9E, 0x1E9E, 0x00DF - 0x1E9E, 1, Direction::LowerOnly},  // capital sharp s
    {0x1EA0, 0x1EFE, 1, 2, Direction::Both},
    {0xFF21, 0xFF3A, 32, 1, Direction::Both},          // full-width Latin
};

bool RuleCovers(const CaseRule& rule, int upper) {
    return upper >= rule.first && upper <= rule.last && (upper - rule.first) % rule.step == 0;
}

char16_t ToLower(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    for (const CaseRule& rule : kCaseRules) {
        if (rule.direction != Direction::UpperOnly && RuleCovers(rule, c))
            return static_cast<char16_t>(c + rule.delta);
    }
    return c;
}

char16_t ToUpper(char16_t c) {
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    for (const CaseRule& rule : kCaseRules) {
        if (rule.direction != Direction::LowerOnly && RuleCovers(rule, c - rule.delta))
            return static_cast<char16_t>(c - rule.delta);
    }
    return c;
}

// ---- comparison ----------------------------------------------------------------------
template <class Map>
int CompareN(const char16_t* a, const char16_t* b, size_t n, Map map) {
    for (size_t i = 0; i < n; ++i) {
        int ca = map(a[i]);
        int cb = map(b[i]);
        if (ca != cb || ca == 0)
            return ca - cb;
    }
    return 0;
}

char16_t Identity(char16_t c) { return c; }

int Sign(int value) { return (value > 0) - (value < 0); }

// ---- numbers ----------------------------------------------------------------------------
int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + 10;
    return 99;
}

const char16_t* SkipSpace(const char16_t* s) {
    while (iswspace(*s))
        ++s;
    return s;
}

// Reads the optional sign and base prefix of a wcstol/wcstoul number.
// Returns the first digit or NULL for an unusable base.
const char16_t* ParsePrefix(const char16_t* s, int* base, bool* negative) {
    *negative = false;
    if (*s == u'-' || *s == u'+')
        *negative = *s++ == u'-';
    bool hexPrefix = s[0] == u'0' && (s[1] == u'x' || s[1] == u'X') && DigitValue(s[2]) < 16;
    if ((*base == 0 || *base == 16) && hexPrefix) {
        *base = 16;
        return s + 2;
    }
    if (*base == 0)
        *base = s[0] == u'0' ? 8 : 10;
    return (*base >= 2 && *base <= 36) ? s : nullptr;
}

// Parses the magnitude, saturating at limit. *overflow tells whether it did.
const char16_t* ParseMagnitude(const char16_t* s, int base, uint64_t limit, uint64_t* value,
                               bool* overflow) {
    *value = 0;
    *overflow = false;
    for (; DigitValue(*s) < base; ++s) {
        *value = *value * base + DigitValue(*s);
        if (*value > limit) {
            *overflow = true;
            *value = limit;
        }
    }
    return s;
}

struct ParsedNumber {
    uint64_t magnitude = 0;
    bool negative = false;
    bool overflow = false;
};

// Shared body of wcstol/wcstoul; sets *end and errno. limit is the largest
// magnitude before saturation.
ParsedNumber ParseNumber(const char16_t* s, char16_t** end, int base, uint64_t limit) {
    ParsedNumber n;
    const char16_t* start = s;
    const char16_t* digits = s ? ParsePrefix(SkipSpace(s), &base, &n.negative) : nullptr;
    if (!digits) {
        errno = EINVAL;
        if (end)
            *end = const_cast<char16_t*>(start);
        return n;
    }
    const char16_t* stop = ParseMagnitude(digits, base, limit, &n.magnitude, &n.overflow);
    if (stop == digits)
        stop = start;  // no conversion
    if (n.overflow)
        errno = ERANGE;
    if (end)
        *end = const_cast<char16_t*>(stop);
    return n;
}

// ---- safe string functions -----------------------------------------------------------
bool ValidCch(LPCWSTR buffer, size_t cch) {
    return buffer && cch > 0 && cch <= STRSAFE_MAX_CCH;
}

// Copies up to max characters of src to dest (room for cch - 1 of them).
HRESULT CopyBounded(LPWSTR dest, size_t cch, LPCWSTR src, size_t max) {
    size_t i = 0;
    for (; src && i < max && src[i]; ++i) {
        if (i + 1 == cch) {
            dest[i] = 0;
            return STRSAFE_E_INSUFFICIENT_BUFFER;
        }
        dest[i] = src[i];
    }
    dest[i] = 0;
    return S_OK;
}

}  // namespace

// ---- C library string functions ------------------------------------------------------------
size_t wcslen(const char16_t* s) {
    const char16_t* p = s;
    while (*p)
        ++p;
    return static_cast<size_t>(p - s);
}

char16_t* wcscpy(char16_t* dest, const char16_t* src) {
    char16_t* d = dest;
    while ((*d++ = *src++) != 0) {
    }
    return dest;
}

char16_t* wcsncpy(char16_t* dest, const char16_t* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i]; ++i)
        dest[i] = src[i];
    for (; i < n; ++i)
        dest[i] = 0;
    return dest;
}

char16_t* wcscat(char16_t* dest, const char16_t* src) {
    wcscpy(dest + wcslen(dest), src);
    return dest;
}

char16_t* wcsncat(char16_t* dest, const char16_t* src, size_t n) {
    char16_t* d = dest + wcslen(dest);
    size_t i = 0;
    for (; i < n && src[i]; ++i)
        d[i] = src[i];
    d[i] = 0;
    return dest;
}

int wcscmp(const char16_t* a, const char16_t* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const char16_t* a, const char16_t* b, size_t n) { return CompareN(a, b, n, Identity); }

int _wcsicmp(const char16_t* a, const char16_t* b) { return _wcsnicmp(a, b, SIZE_MAX); }

int _wcsnicmp(const char16_t* a, const char16_t* b, size_t n) { return CompareN(a, b, n, ToLower); }

const char16_t* wcschr(const char16_t* s, char16_t c) {
    for (;; ++s) {
        if (*s == c)
            return s;
        if (!*s)
            return nullptr;
    }
}

char16_t* wcschr(char16_t* s, char16_t c) {
    return const_cast<char16_t*>(wcschr(static_cast<const char16_t*>(s), c));
}

const char16_t* wcsrchr(const char16_t* s, char16_t c) {
    const char16_t* found = nullptr;
    for (;; ++s) {
        if (*s == c)
            found = s;
        if (!*s)
            return found;
    }
}

char16_t* wcsrchr(char16_t* s, char16_t c) {
    return const_cast<char16_t*>(wcsrchr(static_cast<const char16_t*>(s), c));
}

const char16_t* wcsstr(const char16_t* haystack, const char16_t* needle) {
    size_t n = wcslen(needle);
    for (; *haystack; ++haystack) {
        if (wcsncmp(haystack, needle, n) == 0)
            return haystack;
    }
    return n == 0 ? haystack : nullptr;
}

char16_t* wcsstr(char16_t* haystack, const char16_t* needle) {
    return const_cast<char16_t*>(wcsstr(static_cast<const char16_t*>(haystack), needle));
}

char16_t* _wcslwr(char16_t* s) {
    for (char16_t* p = s; *p; ++p)
        *p = ToLower(*p);
    return s;
}

char16_t* _wcsupr(char16_t* s) {
    for (char16_t* p = s; *p; ++p)
        *p = ToUpper(*p);
    return s;
}

char16_t towlower(char16_t c) { return ToLower(c); }

char16_t towupper(char16_t c) { return ToUpper(c); }

int towlower(int c) { return c >= 0 && c <= 0xFFFF ? ToLower(static_cast<char16_t>(c)) : c; }

int towupper(int c) { return c >= 0 && c <= 0xFFFF ? ToUpper(static_cast<char16_t>(c)) : c; }

int iswspace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

int iswdigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int iswspace(int c) { return c >= 0 && c <= 0xFFFF && iswspace(static_cast<char16_t>(c)); }

int iswdigit(int c) { return c >= u'0' && c <= u'9'; }

LONG _wtol(const char16_t* s) {
    if (!s)
        return 0;
    s = SkipSpace(s);
    bool negative = *s == u'-';
    if (*s == u'-' || *s == u'+')
        ++s;
    uint32_t value = 0;
    for (; iswdigit(*s); ++s)
        value = value * 10u + static_cast<uint32_t>(*s - u'0');
    return static_cast<LONG>(negative ? 0u - value : value);
}

int _wtoi(const char16_t* s) { return _wtol(s); }

LONG wcstol(const char16_t* s, char16_t** end, int base) {
    constexpr uint64_t kMax = static_cast<uint64_t>(INT32_MAX) + 1;
    ParsedNumber n = ParseNumber(s, end, base, kMax);
    if (!n.negative && n.magnitude == kMax) {
        errno = ERANGE;
        return INT32_MAX;
    }
    if (n.negative)
        return n.magnitude == kMax ? INT32_MIN : -static_cast<LONG>(n.magnitude);
    return static_cast<LONG>(n.magnitude);
}

ULONG wcstoul(const char16_t* s, char16_t** end, int base) {
    ParsedNumber n = ParseNumber(s, end, base, UINT32_MAX);
    if (n.overflow)
        return UINT32_MAX;
    ULONG value = static_cast<ULONG>(n.magnitude);
    return n.negative ? 0u - value : value;
}

// ---- kernel string functions ---------------------------------------------------------------
int lstrlenW(LPCWSTR s) { return s ? static_cast<int>(wcslen(s)) : 0; }

LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR src) { return wcscpy(dest, src); }

LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR src, int n) {
    if (n > 0)
        CopyBounded(dest, static_cast<size_t>(n), src, SIZE_MAX);
    return dest;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) { return Sign(wcscmp(a ? a : u"", b ? b : u"")); }

int lstrcmpiW(LPCWSTR a, LPCWSTR b) { return Sign(_wcsicmp(a ? a : u"", b ? b : u"")); }

// ---- safe string functions -------------------------------------------------------------------
HRESULT StringCchCopyW(LPWSTR dest, size_t cchDest, LPCWSTR src) {
    if (!ValidCch(dest, cchDest))
        return STRSAFE_E_INVALID_PARAMETER;
    return CopyBounded(dest, cchDest, src, SIZE_MAX);
}

HRESULT StringCchCopyNW(LPWSTR dest, size_t cchDest, LPCWSTR src, size_t cchToCopy) {
    if (!ValidCch(dest, cchDest))
        return STRSAFE_E_INVALID_PARAMETER;
    if (cchToCopy > STRSAFE_MAX_CCH) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    return CopyBounded(dest, cchDest, src, cchToCopy);
}

HRESULT StringCchCatW(LPWSTR dest, size_t cchDest, LPCWSTR src) {
    size_t length = 0;
    if (!ValidCch(dest, cchDest) || FAILED(StringCchLengthW(dest, cchDest, &length)))
        return STRSAFE_E_INVALID_PARAMETER;
    return CopyBounded(dest + length, cchDest - length, src, SIZE_MAX);
}

HRESULT StringCchLengthW(LPCWSTR s, size_t cchMax, size_t* pcchLength) {
    size_t length = 0;
    if (s && cchMax <= STRSAFE_MAX_CCH) {
        while (length < cchMax && s[length])
            ++length;
    }
    bool ok = s && cchMax <= STRSAFE_MAX_CCH && length < cchMax;
    if (pcchLength)
        *pcchLength = ok ? length : 0;
    return ok ? S_OK : STRSAFE_E_INVALID_PARAMETER;
}
