#include "Md5.h"

namespace {

// Feeds the text's code units to the hash as little-endian byte pairs,
// whatever the host's byte order, a chunk at a time.
BOOL HashUtf16Le(HCRYPTHASH hash, LPCWSTR text) {
    BYTE chunk[512];
    DWORD used = 0;
    for (LPCWSTR p = text; *p; ++p) {
        chunk[used++] = static_cast<BYTE>(*p & 0xFF);
        chunk[used++] = static_cast<BYTE>(*p >> 8);
        if (used == sizeof(chunk)) {
            if (!CryptHashData(hash, chunk, used, 0))
                return FALSE;
            used = 0;
        }
    }
    return CryptHashData(hash, chunk, used, 0);
}

}  // namespace

BOOL Md5OfText(LPCWSTR text, BYTE digest[16]) {
    if (!text || !digest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return FALSE;
    HCRYPTHASH hash = 0;
    BOOL ok = CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
    if (ok) {
        DWORD size = 16;
        ok = HashUtf16Le(hash, text) && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
        DWORD error = GetLastError();
        CryptDestroyHash(hash);
        SetLastError(error);
    }
    DWORD error = GetLastError();
    CryptReleaseContext(provider, 0);
    SetLastError(error);
    return ok;
}

BOOL Md5NameOfText(LPCWSTR text, WCHAR name[kMd5NameLength + 1]) {
    return Md5FileNameOfText(text, nullptr, name, kMd5NameLength + 1);
}

BOOL Md5FileNameOfText(LPCWSTR text, LPCWSTR extension, LPWSTR name, size_t cchName) {
    if (!name || cchName == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    name[0] = 0;
    size_t extensionLength = 0;
    while (extension && extension[extensionLength])
        ++extensionLength;
    if (kMd5NameLength + extensionLength + 1 > cchName) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    BYTE digest[16];
    if (!Md5OfText(text, digest))
        return FALSE;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < 16; ++i) {
        name[2 * i] = static_cast<WCHAR>(kDigits[digest[i] >> 4]);
        name[2 * i + 1] = static_cast<WCHAR>(kDigits[digest[i] & 0x0F]);
    }
    for (size_t i = 0; i < extensionLength; ++i)
        name[kMd5NameLength + i] = extension[i];
    name[kMd5NameLength + extensionLength] = 0;
    return TRUE;
}
