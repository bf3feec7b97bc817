// The one formatter of the system (see wformat.h) and the buffer rules of
// its wrappers.
//
// Choices where the device's C library leaves room:
// - %f %e %g take only floating-point arguments; an integer is refused
//   rather than converted, because the device would read it as garbage.
// - Exponents have at least three digits ("1.500000e+003"), as the device
//   prints them. Rounding is exact; an exact tie goes to the even digit.
// - A width or precision above kMaxField is refused as malformed, so a
//   damaged format cannot make the formatter allocate without bound.
// - %n is refused: nothing is ever written through an argument.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "textapi.h"
#include "wformat.h"

namespace orvi::fmt {
namespace {

constexpr int kMaxField = 65535;

enum class Size : uint8_t { Default, Char, Short, Long, LongLong, PtrSize, LongDouble, Wide };

// One parsed conversion: %[flags][width][.precision][size]conversion.
struct Conversion {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    int width = 0;
    int precision = -1;  // -1: none given
    Size size = Size::Default;
    char16_t type = 0;  // the conversion letter
};

// A WCHAR is an integral argument too (its code for %d, itself for %c).
bool IsInteger(const Arg& a) {
    return a.kind == Arg::Kind::Signed || a.kind == Arg::Kind::Unsigned ||
           a.kind == Arg::Kind::WideChar;
}

uint64_t IntegerBits(const Arg& a) {
    return a.kind == Arg::Kind::Signed ? static_cast<uint64_t>(a.i) : a.u;
}

void AppendAscii(std::u16string* out, std::string_view text) {
    for (char c : text)
        out->push_back(static_cast<unsigned char>(c));
}

// Narrow text is in the ANSI code page.
std::u16string FromAnsi(const char* s, size_t n) {
    std::u16string text(n, u'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, s, static_cast<int>(n), text.data(), static_cast<int>(n));
    return text;
}

template <class Char>
size_t BoundedLength(const Char* s, int precision) {
    size_t n = 0;
    while ((precision < 0 || n < static_cast<size_t>(precision)) && s[n])
        ++n;
    return n;
}

// Keeps an exponent to at least three digits: "e+05" -> "e+005".
void WidenExponent(std::string* text) {
    size_t e = text->find_first_of("eE");
    if (e == std::string::npos || e + 1 >= text->size())
        return;
    size_t digits = e + 2;  // past the sign
    if (text->size() - digits < 3)
        text->insert(digits, 3 - (text->size() - digits), '0');
}

class Formatter {
public:
    Formatter(std::u16string* out, const Arg* args, size_t count)
        : m_out(out), m_args(args), m_count(count) {}

    bool Run(std::u16string_view format);

private:
    const Arg* Next() { return m_index < m_count ? &m_args[m_index++] : nullptr; }
    bool ParseConversion(std::u16string_view f, size_t* pos, Conversion* conv);
    bool ParseField(std::u16string_view f, size_t* pos, int* value, bool* star);
    bool StarValue(int* value);
    static void ParseSize(std::u16string_view f, size_t* pos, Size* size);
    bool Convert(const Conversion& conv);
    bool FormatInteger(const Conversion& conv, const Arg& a);
    bool FormatFloat(const Conversion& conv, const Arg& a);
    bool FormatChar(const Conversion& conv, const Arg& a);
    bool FormatString(const Conversion& conv, const Arg& a);
    bool FormatPointer(const Conversion& conv, const Arg& a);
    void Pad(const Conversion& conv, std::u16string_view prefix, std::u16string_view body, bool zeroPad);

    std::u16string* m_out;
    const Arg* m_args;
    size_t m_count;
    size_t m_index = 0;
};

bool Formatter::Run(std::u16string_view f) {
    size_t i = 0;
    while (i < f.size()) {
        size_t percent = f.find(u'%', i);
        m_out->append(f.substr(i, percent == f.npos ? f.npos : percent - i));
        if (percent == f.npos)
            return true;
        i = percent + 1;
        if (i < f.size() && f[i] == u'%') {
            m_out->push_back(u'%');
            ++i;
            continue;
        }
        Conversion conv;
        if (!ParseConversion(f, &i, &conv) || !Convert(conv))
            return false;
    }
    return true;
}

bool Formatter::ParseConversion(std::u16string_view f, size_t* pos, Conversion* conv) {
    for (; *pos < f.size(); ++*pos) {
        char16_t c = f[*pos];
        if (c == u'-') conv->left = true;
        else if (c == u'+') conv->plus = true;
        else if (c == u' ') conv->space = true;
        else if (c == u'#') conv->alt = true;
        else if (c == u'0') conv->zero = true;
        else break;
    }
    bool star = false;
    if (!ParseField(f, pos, &conv->width, &star))
        return false;
    if (star && conv->width < 0) {  // a negative '*' width means left-justified
        conv->left = true;
        conv->width = -conv->width;
    }
    conv->width = std::max(conv->width, 0);
    if (*pos < f.size() && f[*pos] == u'.') {
        ++*pos;
        if (!ParseField(f, pos, &conv->precision, &star))
            return false;
        if (conv->precision < 0)
            conv->precision = star ? -1 : 0;  // "%.d" is precision 0
    }
    ParseSize(f, pos, &conv->size);
    if (*pos >= f.size())
        return false;
    conv->type = f[(*pos)++];
    return true;
}

// A width or precision: digits, '*' (an int argument), or nothing (-1).
bool Formatter::ParseField(std::u16string_view f, size_t* pos, int* value, bool* star) {
    *star = *pos < f.size() && f[*pos] == u'*';
    if (*star) {
        ++*pos;
        return StarValue(value);
    }
    *value = -1;
    for (; *pos < f.size() && iswdigit(f[*pos]); ++*pos) {
        *value = std::max(*value, 0) * 10 + (f[*pos] - u'0');
        if (*value > kMaxField)
            return false;
    }
    return true;
}

bool Formatter::StarValue(int* value) {
    const Arg* a = Next();
    if (!a || !IsInteger(*a))
        return false;
    *value = static_cast<int32_t>(static_cast<uint32_t>(IntegerBits(*a)));
    return *value >= -kMaxField && *value <= kMaxField;
}

void Formatter::ParseSize(std::u16string_view f, size_t* pos, Size* size) {
    std::u16string_view rest = f.substr(*pos);
    struct Prefix {
        std::u16string_view text;
        Size size;
    };
    static constexpr Prefix kPrefixes[] = {
        {u"hh", Size::Char}, {u"h", Size::Short},     {u"ll", Size::LongLong},
        {u"l", Size::Long},  {u"I64", Size::LongLong}, {u"I32", Size::Long},
        {u"I", Size::PtrSize}, {u"L", Size::LongDouble}, {u"w", Size::Wide},
    };
    for (const Prefix& p : kPrefixes) {
        if (rest.substr(0, p.text.size()) == p.text) {
            *size = p.size;
            *pos += p.text.size();
            return;
        }
    }
}

bool Formatter::Convert(const Conversion& conv) {
    const Arg* a = Next();
    if (!a)
        return false;
    switch (conv.type) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
        return FormatInteger(conv, *a);
    case u'e': case u'E': case u'f': case u'g': case u'G':
        return FormatFloat(conv, *a);
    case u'c': case u'C':
        return FormatChar(conv, *a);
    case u's': case u'S':
        return FormatString(conv, *a);
    case u'p':
        return FormatPointer(conv, *a);
    default:
        return false;
    }
}

void Formatter::Pad(const Conversion& conv, std::u16string_view prefix, std::u16string_view body,
                    bool zeroPad) {
    size_t length = prefix.size() + body.size();
    size_t fill = static_cast<size_t>(conv.width) > length ? conv.width - length : 0;
    if (!conv.left && !zeroPad)
        m_out->append(fill, u' ');
    m_out->append(prefix);
    if (!conv.left && zeroPad)
        m_out->append(fill, u'0');
    m_out->append(body);
    if (conv.left)
        m_out->append(fill, u' ');
}

// ---- integers ----------------------------------------------------------------------------
int SizeBits(Size size) {
    switch (size) {
    case Size::Char: return 8;
    case Size::Short: return 16;
    case Size::Default:
    case Size::Long: return 32;  // the device's int and long
    default: return 64;
    }
}

std::u16string Digits(uint64_t value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string text;
    for (; value != 0; value /= base)
        text.insert(text.begin(), static_cast<char16_t>(digits[value % base]));
    return text;
}

bool Formatter::FormatInteger(const Conversion& conv, const Arg& a) {
    if (!IsInteger(a) || conv.size == Size::LongDouble || conv.size == Size::Wide)
        return false;
    int bits = SizeBits(conv.size);
    uint64_t value = IntegerBits(a);
    if (bits < 64)
        value &= (uint64_t{1} << bits) - 1;  // the device reads only this many bits
    bool isSigned = conv.type == u'd' || conv.type == u'i';
    bool negative = isSigned && ((value >> (bits - 1)) & 1) != 0;
    if (negative)
        value = (bits < 64 ? (uint64_t{1} << bits) : 0) - value;  // the magnitude, modulo 2^bits
    bool hex = conv.type == u'x' || conv.type == u'X';
    unsigned base = conv.type == u'o' ? 8 : hex ? 16 : 10;
    std::u16string body = Digits(value, base, conv.type == u'X');
    size_t precision = conv.precision < 0 ? 1 : static_cast<size_t>(conv.precision);
    if (body.size() < precision)
        body.insert(0, precision - body.size(), u'0');
    if (conv.alt && base == 8 && (body.empty() || body[0] != u'0'))
        body.insert(0, 1, u'0');
    std::u16string_view prefix;
    if (negative) prefix = u"-";
    else if (isSigned && conv.plus) prefix = u"+";
    else if (isSigned && conv.space) prefix = u" ";
    else if (conv.alt && base == 16 && value != 0) prefix = conv.type == u'X' ? u"0X" : u"0x";
    Pad(conv, prefix, body, conv.zero && conv.precision < 0);
    return true;
}

// ---- floating point ------------------------------------------------------------------------
bool Formatter::FormatFloat(const Conversion& conv, const Arg& a) {
    if (a.kind != Arg::Kind::Double ||
        (conv.size != Size::Default && conv.size != Size::Long && conv.size != Size::LongDouble))
        return false;
    std::string format = "%";
    if (conv.plus) format += '+';
    if (conv.space) format += ' ';
    if (conv.alt) format += '#';
    format += ".*";
    format += static_cast<char>(conv.type);
    int precision = conv.precision < 0 ? 6 : conv.precision;
    int length = std::snprintf(nullptr, 0, format.c_str(), precision, a.d);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), format.c_str(), precision, a.d);
    std::string text(buffer.data(), static_cast<size_t>(length));
    if (std::isfinite(a.d))
        WidenExponent(&text);
    size_t signLength = !text.empty() && std::strchr("+- ", text[0]) ? 1 : 0;
    std::u16string prefix, body;
    AppendAscii(&prefix, std::string_view(text).substr(0, signLength));
    AppendAscii(&body, std::string_view(text).substr(signLength));
    Pad(conv, prefix, body, conv.zero && std::isfinite(a.d));
    return true;
}

// ---- characters and strings ------------------------------------------------------------------
// In a wide format, c and s are wide and C and S narrow, unless a size
// says otherwise: 'l' or 'w' makes either wide, 'h' narrow.
bool IsWideText(const Conversion& conv, bool* valid) {
    *valid = conv.size == Size::Default || conv.size == Size::Short || conv.size == Size::Long ||
             conv.size == Size::Wide;
    if (conv.size == Size::Short)
        return false;
    if (conv.size == Size::Long || conv.size == Size::Wide)
        return true;
    return conv.type == u'c' || conv.type == u's';
}

bool Formatter::FormatChar(const Conversion& conv, const Arg& a) {
    bool valid = false;
    bool wide = IsWideText(conv, &valid);
    char16_t c = 0;
    if (valid && wide && IsInteger(a)) {
        c = static_cast<char16_t>(IntegerBits(a) & 0xFFFF);
    } else if (valid && !wide && IsInteger(a)) {
        char byte = static_cast<char>(IntegerBits(a) & 0xFF);
        c = FromAnsi(&byte, 1)[0];
    } else {
        return false;
    }
    Pad(conv, {}, std::u16string_view(&c, 1), false);
    return true;
}

bool Formatter::FormatString(const Conversion& conv, const Arg& a) {
    bool valid = false;
    bool wide = IsWideText(conv, &valid);
    Arg::Kind expected = wide ? Arg::Kind::WideString : Arg::Kind::NarrowString;
    if (!valid || a.kind != expected)
        return false;
    std::u16string narrow;
    std::u16string_view text;
    if (wide && a.ws) {
        text = std::u16string_view(a.ws, BoundedLength(a.ws, conv.precision));
    } else if (!wide && a.ns) {
        narrow = FromAnsi(a.ns, BoundedLength(a.ns, conv.precision));
        text = narrow;
    } else {
        text = u"(null)";
        if (conv.precision >= 0)
            text = text.substr(0, static_cast<size_t>(conv.precision));
    }
    Pad(conv, {}, text, false);
    return true;
}

// ---- pointers ----------------------------------------------------------------------------------
bool Formatter::FormatPointer(const Conversion& conv, const Arg& a) {
    const void* p = nullptr;
    switch (a.kind) {
    case Arg::Kind::Pointer: p = a.p; break;
    case Arg::Kind::WideString: p = a.ws; break;
    case Arg::Kind::NarrowString: p = a.ns; break;
    default: return false;
    }
    if (conv.size != Size::Default)
        return false;
    std::u16string body = Digits(reinterpret_cast<uintptr_t>(p), 16, true);
    body.insert(0, sizeof(void*) * 2 - body.size(), u'0');
    Pad(conv, {}, body, false);
    return true;
}

}  // namespace

bool FormatArgs(std::u16string* out, std::u16string_view format, const Arg* args, size_t count) {
    return Formatter(out, args, count).Run(format);
}

// ---- wrappers' buffer rules -------------------------------------------------------------
int CopyOut(LPWSTR buffer, size_t cch, const std::u16string& text, bool ok, int mode) {
    if (mode == kWsprintf) {
        if (!buffer || cch == 0)
            return 0;
        size_t n = ok ? std::min(text.size(), cch - 1) : 0;
        std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
        buffer[n] = 0;
        return static_cast<int>(n);
    }
    if (!buffer)  // a size query: _snwprintf(NULL, 0, ...)
        return ok && cch == 0 && text.size() <= INT32_MAX ? static_cast<int>(text.size()) : -1;
    if (!ok) {
        if (cch > 0)
            buffer[0] = 0;
        return -1;
    }
    size_t n = std::min(text.size(), cch);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    if (n < cch)
        buffer[n] = 0;
    return n == text.size() && n <= INT32_MAX ? static_cast<int>(n) : -1;
}

HRESULT CopyOutStrsafe(LPWSTR buffer, size_t cch, const std::u16string& text, bool ok) {
    if (!buffer || cch == 0 || cch > STRSAFE_MAX_CCH)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!ok) {
        buffer[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    size_t n = std::min(text.size(), cch - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
    return n == text.size() ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

}  // namespace orvi::fmt
