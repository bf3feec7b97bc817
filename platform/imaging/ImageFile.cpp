#include <algorithm>
#include <new>

#include "fileapi.h"
#include "imaging/ImageDecoder.h"

namespace orvi::imaging {
namespace {

// The largest file a 4096 x 4096 picture can need (an uncompressed 32-bit
// BMP) with room for headers and metadata.
constexpr DWORD kMaxFileBytes = 4096u * 4096u * 4u + (1u << 20);

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error == NO_ERROR ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HRESULT ReadAll(HANDLE file, std::vector<uint8_t>& data) {
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        return LastErrorResult();
    }
    if (high != 0 || low > kMaxFileBytes) {
        return ORVI_E_IMAGE_TOO_LARGE;
    }
    if (low == 0) {
        return ORVI_E_IMAGE_DAMAGED;
    }
    try {
        data.resize(low);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DWORD total = 0;
    while (total < low) {
        DWORD read = 0;
        if (!ReadFile(file, data.data() + total, low - total, &read, nullptr)) {
            return LastErrorResult();
        }
        if (read == 0) {
            break;  // the file shrank meanwhile; the decoder judges what is there
        }
        total += read;
    }
    data.resize(total);
    return S_OK;
}

}  // namespace

HRESULT ReadImageFile(LPCWSTR path, std::vector<uint8_t>& data) {
    data.clear();
    if (!path) {
        return E_POINTER;
    }
    if (path[0] == 0) {
        return E_INVALIDARG;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorResult();
    }
    const HRESULT hr = ReadAll(file, data);
    CloseHandle(file);
    if (FAILED(hr)) {
        data.clear();
    }
    return hr;
}

}  // namespace orvi::imaging
