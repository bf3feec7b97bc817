// The device's CryptoAPI subset: a verify-only context of the full RSA
// provider type and MD5 hash objects, used for the file names of downloaded
// and cached files.
//
// Contexts and hashes are numbers (never pointers, never reused within a
// run), released with CryptReleaseContext / CryptDestroyHash. A hash outlives
// the context that created it. One hash object may be used from several
// threads; each call on it is atomic. Failures return FALSE and set the last
// error to the documented NTE_ code (or ERROR_INVALID_PARAMETER /
// ERROR_MORE_DATA).
#pragma once

#include "winerror.h"
#include "wintypes.h"

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTHASH;
typedef ULONG_PTR HCRYPTKEY;
typedef unsigned int ALG_ID;

#define PROV_RSA_FULL 1

#define CRYPT_VERIFYCONTEXT 0xF0000000u
#define CRYPT_NEWKEYSET 0x00000008u
#define CRYPT_DELETEKEYSET 0x00000010u
#define CRYPT_MACHINE_KEYSET 0x00000020u
#define CRYPT_SILENT 0x00000040u

#define ALG_CLASS_HASH (4u << 13)
#define ALG_TYPE_ANY 0u
#define ALG_SID_MD5 3u
#define ALG_SID_SHA1 4u
#define CALG_MD5 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_MD5)
#define CALG_SHA1 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_SHA1)

#define HP_ALGID 0x0001
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004

#define NTE_BAD_UID static_cast<HRESULT>(0x80090001L)
#define NTE_BAD_HASH static_cast<HRESULT>(0x80090002L)
#define NTE_BAD_KEY static_cast<HRESULT>(0x80090003L)
#define NTE_BAD_ALGID static_cast<HRESULT>(0x80090008L)
#define NTE_BAD_FLAGS static_cast<HRESULT>(0x80090009L)
#define NTE_BAD_TYPE static_cast<HRESULT>(0x8009000AL)
#define NTE_BAD_HASH_STATE static_cast<HRESULT>(0x8009000CL)
#define NTE_BAD_PROV_TYPE static_cast<HRESULT>(0x80090014L)
#define NTE_BAD_KEYSET static_cast<HRESULT>(0x80090016L)
#define NTE_KEYSET_NOT_DEF static_cast<HRESULT>(0x80090019L)

// Only PROV_RSA_FULL with CRYPT_VERIFYCONTEXT (optionally CRYPT_SILENT), no
// container name and the default provider (NULL or empty name) are offered:
// this platform keeps no key containers, so a request for one fails with
// NTE_BAD_KEYSET.
BOOL CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                          DWORD dwProvType, DWORD dwFlags);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);

// CALG_MD5 only; any other algorithm fails with NTE_BAD_ALGID.
BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                     HCRYPTHASH* phHash);
// Fails with NTE_BAD_HASH_STATE once HP_HASHVAL has been read.
BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
// HP_ALGID, HP_HASHSIZE (a DWORD) and HP_HASHVAL (the digest; finishes the
// hash, later reads return the same value). pbData NULL asks for the size;
// a short buffer fails with ERROR_MORE_DATA. *pdwDataLen receives the size
// in both cases.
BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                       DWORD dwFlags);
BOOL CryptDestroyHash(HCRYPTHASH hHash);
