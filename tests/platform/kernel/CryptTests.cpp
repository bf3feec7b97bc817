#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

// Digests are the test suite of RFC 1321, appendix A.5.

namespace {

constexpr DWORD Code(HRESULT hr) { return static_cast<DWORD>(hr); }
const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

HCRYPTPROV AcquireVerifyContext() {
    HCRYPTPROV provider = 0;
    EXPECT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    return provider;
}

std::string Hex(const BYTE* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

// Hashes the pieces one CryptHashData call each; returns the digest in hex.
std::string Md5Of(std::initializer_list<const char*> pieces) {
    HCRYPTPROV provider = AcquireVerifyContext();
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
    for (const char* piece : pieces)
        EXPECT_TRUE(CryptHashData(hash, Bytes(piece), std::strlen(piece), 0));
    BYTE value[16];
    DWORD size = sizeof(value);
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
    EXPECT_EQ(size, 16u);
    EXPECT_TRUE(CryptDestroyHash(hash));
    EXPECT_TRUE(CryptReleaseContext(provider, 0));
    return Hex(value, sizeof(value));
}

// A verify context with one MD5 hash, released at the end of the test.
struct Md5Object {
    Md5Object() {
        provider = AcquireVerifyContext();
        EXPECT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
    }
    ~Md5Object() {
        CryptDestroyHash(hash);
        CryptReleaseContext(provider, 0);
    }
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
};

}  // namespace

TEST(CryptAcquireContextW, OnlyVerifyContextsOfTheFullProviderType) {
    HCRYPTPROV provider = 0;
    HCRYPTPROV second = 0;
    SetLastError(0);
    ASSERT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    ASSERT_TRUE(CryptAcquireContextW(&second, nullptr, u"", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT));
    EXPECT_NE(second, provider);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(CryptReleaseContext(provider, 0));
    EXPECT_TRUE(CryptReleaseContext(second, 0));

    struct Case {
        LPCWSTR container;
        LPCWSTR providerName;
        DWORD type;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT, Code(NTE_BAD_PROV_TYPE)},
        {nullptr, nullptr, PROV_RSA_FULL, 0, Code(NTE_BAD_KEYSET)},
        {nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | 0x100, Code(NTE_BAD_FLAGS)},
        {u"keys", nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT, Code(NTE_BAD_FLAGS)},
        {nullptr, u"Other Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT, Code(NTE_KEYSET_NOT_DEF)},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(CryptAcquireContextW(&provider, c.container, c.providerName, c.type, c.flags));
        EXPECT_EQ(GetLastError(), c.error) << "type " << c.type << " flags " << std::hex << c.flags;
    }
    EXPECT_FALSE(CryptAcquireContextW(nullptr, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CryptReleaseContext, SecondReleaseAndFlagsFail) {
    HCRYPTPROV provider = AcquireVerifyContext();
    EXPECT_FALSE(CryptReleaseContext(provider, 1));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_FLAGS));
    EXPECT_TRUE(CryptReleaseContext(provider, 0));
    EXPECT_FALSE(CryptReleaseContext(provider, 0));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_UID));
}

TEST(CryptCreateHash, OnlyMd5OfALiveContextIsOffered) {
    HCRYPTPROV provider = AcquireVerifyContext();
    HCRYPTHASH hash = 0;
    EXPECT_FALSE(CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_ALGID));
    EXPECT_EQ(hash, 0u);
    EXPECT_FALSE(CryptCreateHash(provider, CALG_MD5, 0x1234, 0, &hash));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_KEY));
    EXPECT_FALSE(CryptCreateHash(provider, CALG_MD5, 0, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CryptReleaseContext(provider, 0);
    EXPECT_FALSE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_UID));
}

TEST(CryptHashData, DigestsOfTheReferenceSuiteInEveryThread) {
    EXPECT_EQ(Md5Of({}), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Of({"abc"}), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Of({"12345678901234567890123456789012345678901234567890",
                     "123456789012345678901234567890"}),
              "57edf4a22be3c955ac49da2e2107b67a");
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&results, t] {
            for (int i = 0; i < 50; ++i)
                results[t] = Md5Of({"message", " ", "", "digest"});
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_EQ(result, "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(CryptHashData, BadHandlesFlagsAndBuffersAreRefused) {
    Md5Object md5;
    EXPECT_FALSE(CryptHashData(md5.provider, Bytes("a"), 1, 0));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_HASH));
    EXPECT_FALSE(CryptHashData(md5.hash, Bytes("a"), 1, 0x10));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_FLAGS));
    EXPECT_FALSE(CryptHashData(md5.hash, nullptr, 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(CryptHashData(md5.hash, nullptr, 0, 0));
}

TEST(CryptGetHashParam, ValueSizeAndAlgorithm) {
    Md5Object md5;
    DWORD size = 0;
    ASSERT_TRUE(CryptGetHashParam(md5.hash, HP_HASHVAL, nullptr, &size, 0));
    EXPECT_EQ(size, 16u);
    BYTE shortBuffer[15] = {};
    size = sizeof(shortBuffer);
    EXPECT_FALSE(CryptGetHashParam(md5.hash, HP_HASHVAL, shortBuffer, &size, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(shortBuffer[0], 0);
    // A short buffer leaves the hash open: the data goes in and the digest is that of "abc".
    ASSERT_TRUE(CryptHashData(md5.hash, Bytes("abc"), 3, 0));
    BYTE value[20];
    size = sizeof(value);
    ASSERT_TRUE(CryptGetHashParam(md5.hash, HP_HASHVAL, value, &size, 0));
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(Hex(value, 16), "900150983cd24fb0d6963f7d28e17f72");
    // Reading it again answers the same value; more data is refused.
    BYTE again[16];
    size = sizeof(again);
    ASSERT_TRUE(CryptGetHashParam(md5.hash, HP_HASHVAL, again, &size, 0));
    EXPECT_EQ(0, std::memcmp(value, again, 16));
    EXPECT_FALSE(CryptHashData(md5.hash, Bytes("a"), 1, 0));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_HASH_STATE));

    DWORD hashSize = 0;
    size = sizeof(hashSize);
    ASSERT_TRUE(CryptGetHashParam(md5.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), &size, 0));
    EXPECT_EQ(hashSize, 16u);
    EXPECT_EQ(size, sizeof(DWORD));
    ALG_ID algid = 0;
    size = sizeof(algid);
    ASSERT_TRUE(CryptGetHashParam(md5.hash, HP_ALGID, reinterpret_cast<BYTE*>(&algid), &size, 0));
    EXPECT_EQ(algid, CALG_MD5);
    EXPECT_FALSE(CryptGetHashParam(md5.hash, 3, reinterpret_cast<BYTE*>(&algid), &size, 0));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_TYPE));
    EXPECT_FALSE(CryptGetHashParam(md5.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CryptGetHashParam(md5.hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), &size, 1));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_FLAGS));
}

TEST(CryptDestroyHash, HashOutlivesItsContextAndDiesOnce) {
    HCRYPTPROV provider = AcquireVerifyContext();
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
    ASSERT_TRUE(CryptReleaseContext(provider, 0));
    EXPECT_TRUE(CryptHashData(hash, Bytes("abc"), 3, 0));
    EXPECT_TRUE(CryptDestroyHash(hash));
    EXPECT_FALSE(CryptDestroyHash(hash));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_HASH));
    DWORD size = 16;
    BYTE value[16];
    SetLastError(0);
    EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
    EXPECT_EQ(GetLastError(), Code(NTE_BAD_HASH));
}
