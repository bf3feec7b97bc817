// CryptoAPI subset: verify-only contexts and MD5 hash objects over OpenSSL's
// EVP digests.
#include <openssl/evp.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "cryptapi.h"
#include "kernelapi.h"

namespace orvi::kernel {
namespace {

constexpr DWORD kMd5Size = 16;
constexpr DWORD kKnownAcquireFlags = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                                     CRYPT_MACHINE_KEYSET | CRYPT_SILENT;

// One hash object. Its own lock makes every call on it atomic; the table
// hands out shared references so a destroy racing with a use is harmless.
class HashObject {
public:
    HashObject() : m_context(EVP_MD_CTX_new()) {}
    ~HashObject() { EVP_MD_CTX_free(m_context); }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;

    bool Start() { return m_context && EVP_DigestInit_ex(m_context, EVP_md5(), nullptr) == 1; }

    DWORD Update(const BYTE* data, DWORD size) {
        std::lock_guard guard(m_lock);
        if (m_finished)
            return static_cast<DWORD>(NTE_BAD_HASH_STATE);
        if (size && EVP_DigestUpdate(m_context, data, size) != 1)
            return static_cast<DWORD>(NTE_BAD_HASH_STATE);
        return ERROR_SUCCESS;
    }

    // Finishes the digest on first use; later calls return the same bytes.
    DWORD Value(BYTE out[kMd5Size]) {
        std::lock_guard guard(m_lock);
        if (!m_finished) {
            unsigned int size = 0;
            if (EVP_DigestFinal_ex(m_context, m_value, &size) != 1 || size != kMd5Size)
                return static_cast<DWORD>(NTE_BAD_HASH_STATE);
            m_finished = true;
        }
        for (DWORD i = 0; i < kMd5Size; ++i)
            out[i] = m_value[i];
        return ERROR_SUCCESS;
    }

private:
    std::mutex m_lock;
    EVP_MD_CTX* m_context;
    bool m_finished = false;
    BYTE m_value[kMd5Size] = {};
};

struct CryptTable {
    std::mutex lock;
    std::unordered_map<ULONG_PTR, bool> contexts;
    std::unordered_map<ULONG_PTR, std::shared_ptr<HashObject>> hashes;
    // Contexts and hashes share one sequence, so a context passed where a
    // hash belongs (or the reverse) is never found.
    ULONG_PTR next = 0x10000;
};

CryptTable& Table() {
    static auto* table = new CryptTable;  // lives until exit; threads may outlive main
    return *table;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL Fail(HRESULT error) { return Fail(static_cast<DWORD>(error)); }

bool IsContext(HCRYPTPROV hProv) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.contexts.count(hProv) != 0;
}

std::shared_ptr<HashObject> FindHash(HCRYPTHASH hHash) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.hashes.find(hHash);
    return it == table.hashes.end() ? nullptr : it->second;
}

// Copies a parameter's bytes out with the size rules of CryptGetHashParam.
BOOL CopyParam(const void* value, DWORD size, BYTE* pbData, DWORD* pdwDataLen) {
    DWORD room = *pdwDataLen;
    *pdwDataLen = size;
    if (!pbData)
        return TRUE;
    if (room < size)
        return Fail(static_cast<DWORD>(ERROR_MORE_DATA));
    const BYTE* bytes = static_cast<const BYTE*>(value);
    for (DWORD i = 0; i < size; ++i)
        pbData[i] = bytes[i];
    return TRUE;
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

BOOL CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                          DWORD dwProvType, DWORD dwFlags) {
    if (!phProv)
        return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (dwFlags & ~kKnownAcquireFlags)
        return Fail(NTE_BAD_FLAGS);
    if (szProvider && *szProvider)
        return Fail(NTE_KEYSET_NOT_DEF);
    if (dwProvType != PROV_RSA_FULL)
        return Fail(NTE_BAD_PROV_TYPE);
    if ((dwFlags & ~CRYPT_SILENT) != CRYPT_VERIFYCONTEXT)
        return Fail(NTE_BAD_KEYSET);
    if (szContainer && *szContainer)
        return Fail(NTE_BAD_FLAGS);
    auto& table = Table();
    std::lock_guard guard(table.lock);
    HCRYPTPROV handle = table.next;
    table.next += 4;
    table.contexts.emplace(handle, true);
    *phProv = handle;
    return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
    if (dwFlags != 0)
        return Fail(NTE_BAD_FLAGS);
    auto& table = Table();
    std::lock_guard guard(table.lock);
    if (table.contexts.erase(hProv) == 0)
        return Fail(NTE_BAD_UID);
    return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                     HCRYPTHASH* phHash) {
    if (!phHash)
        return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (!IsContext(hProv))
        return Fail(NTE_BAD_UID);
    if (Algid != CALG_MD5)
        return Fail(NTE_BAD_ALGID);
    if (hKey != 0)
        return Fail(NTE_BAD_KEY);
    if (dwFlags != 0)
        return Fail(NTE_BAD_FLAGS);
    auto hash = std::make_shared<HashObject>();
    if (!hash->Start())
        return Fail(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    auto& table = Table();
    std::lock_guard guard(table.lock);
    HCRYPTHASH handle = table.next;
    table.next += 4;
    table.hashes.emplace(handle, std::move(hash));
    *phHash = handle;
    return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
    auto hash = FindHash(hHash);
    if (!hash)
        return Fail(NTE_BAD_HASH);
    if (dwFlags != 0)
        return Fail(NTE_BAD_FLAGS);
    if (!pbData && dwDataLen != 0)
        return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD error = hash->Update(pbData, dwDataLen);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                       DWORD dwFlags) {
    auto hash = FindHash(hHash);
    if (!hash)
        return Fail(NTE_BAD_HASH);
    if (dwFlags != 0)
        return Fail(NTE_BAD_FLAGS);
    if (!pdwDataLen)
        return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    switch (dwParam) {
    case HP_ALGID: {
        ALG_ID algid = CALG_MD5;
        return CopyParam(&algid, sizeof(algid), pbData, pdwDataLen);
    }
    case HP_HASHSIZE: {
        DWORD size = kMd5Size;
        return CopyParam(&size, sizeof(size), pbData, pdwDataLen);
    }
    case HP_HASHVAL: {
        // Asking for the size or offering a short buffer must not finish
        // the hash: the caller may still add data.
        if (!pbData || *pdwDataLen < kMd5Size) {
            bool sizeQuery = !pbData;
            *pdwDataLen = kMd5Size;
            return sizeQuery ? TRUE : Fail(static_cast<DWORD>(ERROR_MORE_DATA));
        }
        BYTE value[kMd5Size];
        DWORD error = hash->Value(value);
        if (error != ERROR_SUCCESS)
            return Fail(error);
        return CopyParam(value, kMd5Size, pbData, pdwDataLen);
    }
    default:
        return Fail(NTE_BAD_TYPE);
    }
}

BOOL CryptDestroyHash(HCRYPTHASH hHash) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    if (table.hashes.erase(hHash) == 0)
        return Fail(NTE_BAD_HASH);
    return TRUE;
}
