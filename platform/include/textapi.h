// String helpers on UTF-16 text and the code page conversions of the device.
//
// WCHAR is char16_t here, so the C library's wcs* functions (wchar_t, 32-bit
// on the host) cannot serve the system's text. The functions below keep the
// device's names and overload the host's wchar_t versions (C++ linkage, so
// <cwchar> may be included as well). Case-insensitive comparison and case
// mapping use Unicode simple case mapping, independent of any locale, as the
// device does; the mapping covers Latin (Basic, Latin-1, Extended-A, the
// paired letters of Extended-B, Extended Additional), Greek, Cyrillic and
// full-width Latin letters.
//
// Every function is thread-safe and keeps no state.
#pragma once

#include <cstddef>
#include <cwchar>
#include <cwctype>
// The standard library's own wide-string functions take the address of
// std::wcstol and friends; they must see only the host's overloads, so
// <string> comes in before the char16_t overloads below are declared.
#include <string>

#include "winerror.h"
#include "wintypes.h"


// ---- C library string functions ------------------------------------------
size_t wcslen(const char16_t* s);
char16_t* wcscpy(char16_t* dest, const char16_t* src);
// C rules: pads with NULs up to n, and leaves dest unterminated when src has
// n or more characters.
char16_t* wcsncpy(char16_t* dest, const char16_t* src, size_t n);
char16_t* wcscat(char16_t* dest, const char16_t* src);
// Appends at most n characters and always terminates.
char16_t* wcsncat(char16_t* dest, const char16_t* src, size_t n);
int wcscmp(const char16_t* a, const char16_t* b);
int wcsncmp(const char16_t* a, const char16_t* b, size_t n);
// Compare the lower-case forms; the result is their difference at the first
// mismatch.
int _wcsicmp(const char16_t* a, const char16_t* b);
int _wcsnicmp(const char16_t* a, const char16_t* b, size_t n);
const char16_t* wcschr(const char16_t* s, char16_t c);
char16_t* wcschr(char16_t* s, char16_t c);
const char16_t* wcsrchr(const char16_t* s, char16_t c);
char16_t* wcsrchr(char16_t* s, char16_t c);
const char16_t* wcsstr(const char16_t* haystack, const char16_t* needle);
char16_t* wcsstr(char16_t* haystack, const char16_t* needle);
// In place; return s.
char16_t* _wcslwr(char16_t* s);
char16_t* _wcsupr(char16_t* s);

// Character functions. A WCHAR, or an int holding a promoted WCHAR, is a
// UTF-16 code unit (an int outside 0..0xFFFF comes back unchanged / is no
// space or digit); a host wchar_t keeps the host's function.
char16_t towlower(char16_t c);
char16_t towupper(char16_t c);
int towlower(int c);
int towupper(int c);
inline wint_t towlower(wchar_t c) { return towlower(static_cast<wint_t>(c)); }
inline wint_t towupper(wchar_t c) { return towupper(static_cast<wint_t>(c)); }
// Unicode white space (tab to carriage return, space, U+0085, U+00A0, the
// U+2000 block separators, U+3000, ...).
int iswspace(char16_t c);
int iswspace(int c);
inline int iswspace(wchar_t c) { return iswspace(static_cast<wint_t>(c)); }
// Only '0' to '9'.
int iswdigit(char16_t c);
int iswdigit(int c);
inline int iswdigit(wchar_t c) { return iswdigit(static_cast<wint_t>(c)); }

// The device's conversion: skip white space, an optional sign, then decimal
// digits up to the first non-digit; no digits give 0. The value is
// accumulated in 32 bits and wraps on overflow, as the device's 32-bit long
// does ("4294967297" gives 1, "2147483648" gives -2147483648). NULL gives 0.
LONG _wtol(const char16_t* s);
int _wtoi(const char16_t* s);
// C rules with the device's 32-bit long: base 0 (prefix "0x" = 16, "0" = 8,
// else 10) or 2..36; an overflow saturates and sets errno to ERANGE; *end
// (when given) points past the last digit used, or at s when none was.
LONG wcstol(const char16_t* s, char16_t** end, int base);
ULONG wcstoul(const char16_t* s, char16_t** end, int base);

// ---- kernel string functions ---------------------------------------------------
int lstrlenW(LPCWSTR s);  // NULL gives 0
LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR src);
// Copies at most n - 1 characters and always terminates (n > 0).
LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR src, int n);
// Return -1, 0 or 1. The order is by UTF-16 code unit (lstrcmpiW: of the
// lower-case forms), not the device's linguistic order; equality is the same.
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// ---- safe string functions ---------------------------------------------------------
// S_OK; STRSAFE_E_INSUFFICIENT_BUFFER with the text truncated and
// terminated; STRSAFE_E_INVALID_PARAMETER for a NULL buffer, cch 0 or above
// STRSAFE_MAX_CCH (nothing written), or a destination without a terminator
// (StringCchCatW). A NULL source reads as empty text.
#define STRSAFE_MAX_CCH 2147483647
HRESULT StringCchCopyW(LPWSTR dest, size_t cchDest, LPCWSTR src);
HRESULT StringCchCatW(LPWSTR dest, size_t cchDest, LPCWSTR src);
// Copies at most cchToCopy characters of src (fewer when src ends first).
HRESULT StringCchCopyNW(LPWSTR dest, size_t cchDest, LPCWSTR src, size_t cchToCopy);
// STRSAFE_E_INVALID_PARAMETER (and *pcchLength 0) when s has no terminator
// within cchMax characters.
HRESULT StringCchLengthW(LPCWSTR s, size_t cchMax, size_t* pcchLength);

// ---- code pages ------------------------------------------------------------------------
#define CP_ACP 0  // the ANSI code page: Windows-1252
#define CP_OEMCP 1  // taken as the ANSI code page
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

// Code pages: CP_ACP, CP_OEMCP, 1252, CP_UTF8, 936 (GBK) and 950 (Big5);
// any other fails with ERROR_INVALID_PARAMETER. cbMultiByte / cchWideChar
// -1 means NUL-terminated input, the terminator included in the result.
// With an output size of 0 the size needed is returned and nothing written.
// Failures return 0: ERROR_INVALID_PARAMETER (NULL input, a size of 0 or
// below -1, NULL output with a size, the same buffer for input and output),
// ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER (the output is left
// untouched), ERROR_NO_UNICODE_TRANSLATION (invalid input with
// MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS). Success leaves the last
// error alone.
//
// Without MB_ERR_INVALID_CHARS an invalid sequence becomes U+FFFD (one per
// maximal invalid part in UTF-8). In Windows-1252 the five unassigned bytes
// 0x81 0x8D 0x8F 0x90 0x9D map to the C1 controls of the same value and
// back. MB_PRECOMPOSED and MB_USEGLYPHCHARS are accepted and change nothing;
// MB_COMPOSITE is not supported (ERROR_INVALID_FLAGS).
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);

// A character the code page lacks becomes the default character ('?', or
// the single byte *lpDefaultChar) and sets *lpUsedDefaultChar; no best-fit
// substitutes are made, as if WC_NO_BEST_FIT_CHARS were always given. For
// CP_UTF8 the flags may only be WC_ERR_INVALID_CHARS and both default-char
// pointers must be NULL (ERROR_INVALID_PARAMETER); an unpaired surrogate
// becomes U+FFFD, or fails with WC_ERR_INVALID_CHARS.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar);
