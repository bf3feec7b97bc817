// BSTR storage: a 32-bit byte length, the characters, a NUL. The pointer
// handed out points at the characters, 4 bytes into the block.
#include <cstdlib>
#include <cstring>

#include "comapi.h"

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

BSTR AllocBstr(const OLECHAR* pch, UINT len) {
    if (len > (0x7FFFFFFFu - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    size_t bytes = static_cast<size_t>(len) * sizeof(OLECHAR);
    auto* block = static_cast<BYTE*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    DWORD byteLen = static_cast<DWORD>(bytes);
    std::memcpy(block, &byteLen, kPrefix);
    auto* text = reinterpret_cast<BSTR>(block + kPrefix);
    if (pch)
        std::memcpy(text, pch, bytes);
    else
        std::memset(text, 0, bytes);
    text[len] = 0;
    return text;
}

UINT Length(const OLECHAR* psz) {
    UINT len = 0;
    if (psz) {
        while (psz[len])
            ++len;
    }
    return len;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    return psz ? AllocBstr(psz, Length(psz)) : nullptr;
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
    return AllocBstr(pch, ui);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr)
        return FALSE;
    // psz may point into *pbstr, so the copy is made before the old one goes.
    BSTR copy = AllocBstr(psz, len);
    if (!copy)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = copy;
    return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    return SysReAllocStringLen(pbstr, psz, Length(psz));
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        std::free(reinterpret_cast<BYTE*>(bstrString) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr)
        return 0;
    DWORD byteLen;
    std::memcpy(&byteLen, reinterpret_cast<BYTE*>(bstr) - kPrefix, kPrefix);
    return byteLen;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}
