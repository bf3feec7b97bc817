// MD5 names of downloaded and cached files: the digest (RFC 1321) of a text's
// UTF-16LE code units, terminator excluded, written as 32 lower-case
// hexadecimal digits. Callers that name a file after text plus an address
// concatenate the two first. Computed with the platform's CryptoAPI; safe to
// call from any thread.
#pragma once

#include <cstddef>

#include "platform.h"

// Length of the hexadecimal name, terminator excluded.
constexpr size_t kMd5NameLength = 32;

// Writes the 16 digest bytes of text's code units. FALSE when text is NULL
// (ERROR_INVALID_PARAMETER) or the CryptoAPI fails (its last error is kept).
BOOL Md5OfText(LPCWSTR text, BYTE digest[16]);

// Writes the 32 hexadecimal digits and a terminator.
BOOL Md5NameOfText(LPCWSTR text, WCHAR name[kMd5NameLength + 1]);

// Writes the digits followed by extension (which may be NULL or empty, and
// carries its own "." if one is wanted) into a buffer of cchName characters.
// FALSE with ERROR_INSUFFICIENT_BUFFER, and an empty string, when the name
// and its terminator do not fit.
BOOL Md5FileNameOfText(LPCWSTR text, LPCWSTR extension, LPWSTR name, size_t cchName);
