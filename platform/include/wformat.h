// The one formatter of the system, with the device's printf rules for wide
// formats: %s and %ls are wide strings, %S and %hs narrow ones, %c a wide
// character and %C/%hc a narrow one; %d %i %u %x %X %o with no size or with
// 'l' are 32-bit (a wider argument is cut to its low 32 bits, as the device
// reads 32 bits), with 'h' 16-bit, "hh" 8-bit, "ll" or "I64" 64-bit and 'I'
// pointer-sized (64-bit here); %f %e %E %g %G take a floating-point
// argument (not an integer); %p a pointer; %% a percent sign. Flags '-', '+', ' ', '#',
// '0', a width and a precision (both may be '*') work as in C. A NULL
// string pointer prints "(null)"; %p prints the address in upper-case hex,
// zero-padded to the host's pointer width; narrow text is taken in the ANSI
// code page (Windows-1252).
//
// Arguments are captured with their types, so a conversion whose argument
// has the wrong type (a number for %s, a narrow string for %s, too few
// arguments) is caught: formatting stops there and the call fails as the
// wrapper documents. Nothing is read from an argument of the wrong type.
// Integer conversions take any integral type (bool and enums too) but no
// pointer; %c takes a WCHAR or an integer; %p takes any pointer, a string
// pointer included. A type that cannot be formatted at all (a class other
// than std::u16string / std::string) fails to compile. Extra arguments are
// ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "winerror.h"
#include "wintypes.h"

namespace orvi::fmt {

struct Arg {
    enum class Kind : uint8_t { Signed, Unsigned, Double, WideString, NarrowString, WideChar, Pointer };
    Kind kind;
    uint8_t bytes;  // size of the original integer type
    union {
        int64_t i;
        uint64_t u;
        double d;
        const char16_t* ws;
        const char* ns;
        const void* p;
    };
};

inline Arg MakeArg(const char16_t* s) { Arg a{Arg::Kind::WideString, sizeof(s), {}}; a.ws = s; return a; }
inline Arg MakeArg(char16_t* s) { return MakeArg(static_cast<const char16_t*>(s)); }
inline Arg MakeArg(const std::u16string& s) { return MakeArg(s.c_str()); }
inline Arg MakeArg(const char* s) { Arg a{Arg::Kind::NarrowString, sizeof(s), {}}; a.ns = s; return a; }
inline Arg MakeArg(char* s) { return MakeArg(static_cast<const char*>(s)); }
inline Arg MakeArg(const std::string& s) { return MakeArg(s.c_str()); }
inline Arg MakeArg(char16_t c) { Arg a{Arg::Kind::WideChar, sizeof(c), {}}; a.u = c; return a; }
inline Arg MakeArg(std::nullptr_t) { Arg a{Arg::Kind::Pointer, sizeof(void*), {}}; a.p = nullptr; return a; }

template <class T>
Arg MakeArg(const T& value) {
    Arg a{};
    if constexpr (std::is_same_v<T, bool>) {
        a.kind = Arg::Kind::Signed;
        a.bytes = sizeof(int);
        a.i = value ? 1 : 0;
    } else if constexpr (std::is_enum_v<T>) {
        return MakeArg(static_cast<std::underlying_type_t<T>>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        a.kind = Arg::Kind::Signed;
        a.bytes = sizeof(T);
        a.i = value;
    } else if constexpr (std::is_integral_v<T>) {
        a.kind = Arg::Kind::Unsigned;
        a.bytes = sizeof(T);
        a.u = value;
    } else if constexpr (std::is_floating_point_v<T>) {
        a.kind = Arg::Kind::Double;
        a.bytes = sizeof(double);
        a.d = static_cast<double>(value);
    } else if constexpr (std::is_pointer_v<T>) {
        a.kind = Arg::Kind::Pointer;
        a.bytes = sizeof(void*);
        a.p = reinterpret_cast<const void*>(value);
    } else {
        static_assert(std::is_pointer_v<T>, "this type cannot be formatted");
    }
    return a;
}

// Appends the formatted text to *out. Returns false when the format and the
// arguments do not fit (wrong type, missing argument, a malformed
// conversion); *out then holds the text up to the offending conversion.
bool FormatArgs(std::u16string* out, std::u16string_view format, const Arg* args, size_t count);

template <class... A>
bool Format(std::u16string* out, std::u16string_view format, const A&... args) {
    const Arg list[] = {MakeArg(args)..., Arg{}};
    return FormatArgs(out, format, list, sizeof...(A));
}

// Copies text into a buffer of cch characters with the wrappers' rules;
// shared by the wrappers below.
int CopyOut(LPWSTR buffer, size_t cch, const std::u16string& text, bool ok, int mode);
enum CopyMode : int { kWsprintf = 0, kSnwprintf = 1 };
HRESULT CopyOutStrsafe(LPWSTR buffer, size_t cch, const std::u16string& text, bool ok);

// What wsprintfW may write: the size of an array buffer, capped at the
// device's 1024 characters plus the terminator.
template <class Buffer>
constexpr size_t WsprintfCapacity() {
    using T = std::remove_reference_t<Buffer>;
    if constexpr (std::is_array_v<T>)
        return std::extent_v<T> < 1025 ? std::extent_v<T> : 1025;
    else
        return 1025;
}
}  // namespace orvi::fmt

// The device's wsprintfW writes at most 1024 characters plus the terminator
// and returns the number written; an unusable format writes an empty string
// and returns 0. Given an array (rather than a pointer), it never writes
// past the array: longer text is cut and terminated. One template serves
// both forms, because separate pointer and array overloads are ambiguous
// for an array argument.
template <class Buffer, class... A>
int wsprintfW(Buffer&& buffer, LPCWSTR format, const A&... args) {
    static_assert(std::is_convertible_v<Buffer, LPWSTR>, "wsprintfW writes into a WCHAR buffer");
    std::u16string text;
    bool ok = orvi::fmt::Format(&text, format ? format : u"", args...);
    return orvi::fmt::CopyOut(buffer, orvi::fmt::WsprintfCapacity<Buffer>(), text, ok,
                              orvi::fmt::kWsprintf);
}

// Writes at most count characters. Returns the number of characters written
// when the text and its terminator fit; when only the text fits exactly it is
// written without a terminator and its length returned; when it does not fit,
// count characters are written, no terminator, and -1 is returned (the device
// C library's rule: callers terminate the buffer themselves).
template <class... A>
int _snwprintf(LPWSTR buffer, size_t count, LPCWSTR format, const A&... args) {
    std::u16string text;
    bool ok = orvi::fmt::Format(&text, format ? format : u"", args...);
    return orvi::fmt::CopyOut(buffer, count, text, ok, orvi::fmt::kSnwprintf);
}

// Always terminates the buffer (when cch > 0). S_OK, or
// STRSAFE_E_INSUFFICIENT_BUFFER with the text truncated, or
// STRSAFE_E_INVALID_PARAMETER for cch 0 or an unusable format.
template <class... A>
HRESULT StringCchPrintfW(LPWSTR buffer, size_t cch, LPCWSTR format, const A&... args) {
    std::u16string text;
    bool ok = orvi::fmt::Format(&text, format ? format : u"", args...);
    return orvi::fmt::CopyOutStrsafe(buffer, cch, text, ok);
}
