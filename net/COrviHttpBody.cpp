// Reading bodies into memory and turning them into UTF-16 text.
#include <algorithm>
#include <climits>
#include <cstring>

#include "CHttpHeap.h"
#include "COrviHttp.h"
#include "OrviHttpOperation.h"

namespace {

// Steps stay small so that the thread's messages are dispatched between them.
constexpr DWORD kReadStep = 2048;
constexpr DWORD kUnknownLengthChunk = 262144;
constexpr int kPumpLimit = 100;

bool IsBlank(WCHAR c) { return c == u' ' || c == u'\t'; }

// Code page of a charset name; *utf16 when the body is UTF-16 already; -1
// when the name is empty or unknown.
int CodePageOfCharset(LPCWSTR charset, bool* utf16) {
    *utf16 = false;
    if (wcscmp(charset, u"utf-8") == 0)
        return CP_UTF8;
    if (wcscmp(charset, u"gb2312") == 0 || wcsncmp(charset, u"gbk", 3) == 0)
        return 936;
    if (wcsncmp(charset, u"big5", 4) == 0)
        return 950;
    if (wcscmp(charset, u"utf-16") == 0 || wcscmp(charset, u"ucs2") == 0)
        *utf16 = true;
    return -1;
}

bool IsUtf8WithHighBytes(const BYTE* bytes, int length) {
    if (std::none_of(bytes, bytes + length, [](BYTE b) { return b > 127; }))
        return false;
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes), length, nullptr,
                               0) > 0;
}

// The value after "charset" in Content-Type parameters, or empty.
void FindCharset(LPCWSTR params, LPWSTR out, size_t cch) {
    out[0] = 0;
    for (LPCWSTR p = params; *p; ++p) {
        if (_wcsnicmp(p, u"charset", 7) != 0)
            continue;
        p += 7;
        while (IsBlank(*p))
            ++p;
        if (*p != u'=')
            return;
        ++p;
        while (IsBlank(*p) || *p == u'"')
            ++p;
        size_t n = 0;
        while (p[n] && !IsBlank(p[n]) && p[n] != u';' && p[n] != u'"' && n + 1 < cch)
            ++n;
        StringCchCopyNW(out, cch, p, n);
        return;
    }
}

}  // namespace

// Body pieces gathered before the length is known: a link to the next piece,
// then the data.
struct COrviHttp::Chunk {
    Chunk* next;
    BYTE* Data() { return reinterpret_cast<BYTE*>(this + 1); }
};

void COrviHttp::FreeChunks(Chunk* first) {
    while (first)
        CHttpHeap::Free(std::exchange(first, first->next));
}

DWORD COrviHttp::ContentLength() {
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (!HttpQueryInfoW(m_hRequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr))
        return 0;
    return length;
}

int COrviHttp::ReadBody(const BYTE** data, int waitSeconds, int maxBytes) {
    COrviHttpOperation operation(*this);
    if (m_pBody) {
        if (data)
            *data = m_pBody + m_nBodyOffset;
        return m_nBodyLength;
    }
    if (!m_hRequest)
        return m_nLastStatus = kNetworkFailure;
    const DWORD length = ContentLength();
    DWORD chunkSize = length >= 1 && length < INT_MAX - 2 ? length + 2 : kUnknownLengthChunk;
    if (maxBytes > 0 && static_cast<DWORD>(maxBytes) < chunkSize - 2)
        chunkSize = static_cast<DWORD>(maxBytes) + 2;
    auto* first = static_cast<Chunk*>(CHttpHeap::Alloc(sizeof(Chunk) + chunkSize));
    if (!first) {
        CloseHandleField(&m_hRequest);
        return m_nLastStatus = kOutOfMemory;
    }
    first->next = nullptr;
    int total = 0;
    int result = ReadChunks(first, chunkSize, waitSeconds, maxBytes, &total);
    const bool capped = maxBytes > 0 && total >= maxBytes;
    if (result == kOk && !capped && length >= 1 && static_cast<DWORD>(total) < length)
        result = kNetworkFailure;  // cut short: never a truncated success
    if (result != kOk || total == 0) {
        CloseHandleField(&m_hRequest);
        FreeChunks(first);
        return result == kOk ? 0 : (m_nLastStatus = result);
    }
    ParseContentType();
    CloseHandleField(&m_hRequest);
    if ((result = JoinChunks(first, chunkSize, total)) != kOk)
        return m_nLastStatus = result;
    if (data)
        *data = m_pBody + m_nBodyOffset;
    return m_nBodyLength;
}

int COrviHttp::ReadChunks(Chunk* first, DWORD chunkSize, int waitSeconds, int maxBytes, int* total) {
    const DWORD waitMs = waitSeconds > 0 ? static_cast<DWORD>(waitSeconds) * 1000 : INFINITE;
    Chunk* current = first;
    DWORD used = 0;
    for (;;) {
        if (used == chunkSize) {
            auto* next = static_cast<Chunk*>(CHttpHeap::Alloc(sizeof(Chunk) + chunkSize));
            if (!next)
                return kOutOfMemory;
            next->next = nullptr;
            current = current->next = next;
            used = 0;
        }
        DWORD read = 0;
        int result = ReadStep(current->Data() + used, std::min(kReadStep, chunkSize - used), waitMs, &read);
        if (result != kOk)
            return result;
        used += read;
        *total += static_cast<int>(read);
        if ((result = PumpAfterRead()) != kOk)
            return result;
        if (read == 0 || (maxBytes > 0 && *total >= maxBytes))
            return kOk;
    }
}

// One read of at most `size` bytes. A read still pending when this returns
// would write into the caller's buffer later, so a failed wait closes the
// request first.
int COrviHttp::ReadStep(void* buffer, DWORD size, DWORD waitMs, DWORD* read) {
    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof(buffers);
    buffers.lpvBuffer = buffer;
    buffers.dwBufferLength = size;
    DropStaleEvents();
    m_dwAsyncError.store(0);
    if (InternetReadFileExA(m_hRequest, &buffers, IRF_ASYNC, reinterpret_cast<DWORD_PTR>(this))) {
        *read = buffers.dwBufferLength;
        return kOk;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return kNetworkFailure;
    const int result = WaitForStep(waitMs);
    if (result != kOk) {
        CloseHandleField(&m_hRequest);
        return result;
    }
    if (m_dwAsyncError.load() != 0)
        return kNetworkFailure;
    *read = buffers.dwBufferLength;
    return kOk;
}

// Keeps the user interface alive between reads; a cancel or a quit ends the
// read (the quit is posted again for the program's own loop).
int COrviHttp::PumpAfterRead() {
    MSG msg;
    for (int i = 0; i < kPumpLimit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        int result;
        if (msg.message == UM_HTTP_EVENT && !msg.hwnd)
            continue;
        if (HandleWaitMessage(msg, WaitKind::Step, &result))
            return result;
    }
    return kOk;
}

void COrviHttp::ParseContentType() {
    WCHAR header[520] = {};  // 1040 bytes
    DWORD size = sizeof(header);
    m_szContentType[0] = 0;
    m_szCharset[0] = 0;
    if (!HttpQueryInfoW(m_hRequest, HTTP_QUERY_CONTENT_TYPE, header, &size, nullptr))
        return;
    WCHAR* params = wcschr(header, u';');
    if (params)
        *params++ = 0;
    size_t length = wcslen(header);
    while (length && IsBlank(header[length - 1]))
        header[--length] = 0;
    StringCchCopyW(m_szContentType, 260, header);
    _wcslwr(m_szContentType);
    if (params) {
        FindCharset(params, m_szCharset, 50);
        _wcslwr(m_szCharset);
    }
}

// A body that fits its first chunk stays there; otherwise the chunks are
// joined once. Either way two zero bytes follow the data.
int COrviHttp::JoinChunks(Chunk* first, DWORD chunkSize, int total) {
    const DWORD bytes = static_cast<DWORD>(total);
    if (!first->next && bytes + 2 <= chunkSize) {
        first->Data()[bytes] = 0;
        first->Data()[bytes + 1] = 0;
        m_pBody = reinterpret_cast<BYTE*>(first);
        m_nBodyOffset = sizeof(Chunk);
        m_nBodyLength = total;
        return kOk;
    }
    auto* block = static_cast<BYTE*>(CHttpHeap::Alloc(bytes + 2));
    if (!block) {
        FreeChunks(first);
        return kOutOfMemory;
    }
    DWORD copied = 0;
    for (Chunk* chunk = first; chunk && copied < bytes; chunk = chunk->next) {
        const DWORD part = std::min(chunkSize, bytes - copied);
        std::memcpy(block + copied, chunk->Data(), part);
        copied += part;
    }
    block[bytes] = 0;
    block[bytes + 1] = 0;
    FreeChunks(first);
    m_pBody = block;
    m_nBodyOffset = 0;
    m_nBodyLength = total;
    return kOk;
}

int COrviHttp::ReadText(LPCWSTR* text) {
    COrviHttpOperation operation(*this);
    if (!m_pText) {
        const BYTE* body = nullptr;
        const int length = ReadBody(&body, 32768, 0);
        if (length < 1)
            return length;
        const int result = MakeText(body, length);
        if (result < 0)
            return m_nLastStatus = result;
    }
    if (text)
        *text = m_pText;
    return m_nTextLength;
}

int COrviHttp::MakeText(const BYTE* body, int length) {
    bool utf16 = false;
    const int codePage = CodePageOfCharset(m_szCharset, &utf16);
    if (utf16)
        return TextFromUtf16(body, length);
    if (codePage >= 0)
        return ConvertText(static_cast<UINT>(codePage), body, length);
    if (length >= 2 && ((body[0] == 0xFF && body[1] == 0xFE) || (body[0] == 0xFE && body[1] == 0xFF)))
        return TextFromUtf16(body + 2, length - 2);
    if (length >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF)
        return ConvertText(CP_UTF8, body + 3, length - 3);
    if (IsUtf8WithHighBytes(body, length))
        return ConvertText(CP_UTF8, body, length);
    return ConvertText(CP_ACP, body, length);
}

// UTF-16 text is used where it lies in the body, whose two zero bytes end
// it; an odd byte count would leave half a character before them, so such a
// text is copied and terminated whole.
int COrviHttp::TextFromUtf16(const BYTE* bytes, int length) {
    const int chars = length / 2;
    const bool aligned = reinterpret_cast<uintptr_t>(bytes) % alignof(WCHAR) == 0;
    if (length % 2 == 0 && aligned) {
        m_pText = reinterpret_cast<LPWSTR>(const_cast<BYTE*>(bytes));
    } else {
        m_pText = static_cast<LPWSTR>(CHttpHeap::Alloc((static_cast<SIZE_T>(chars) + 1) * sizeof(WCHAR)));
        if (!m_pText)
            return kOutOfMemory;
        std::memcpy(m_pText, bytes, static_cast<size_t>(chars) * sizeof(WCHAR));
        m_pText[chars] = 0;
    }
    m_nTextLength = chars;
    return chars;
}

int COrviHttp::ConvertText(UINT codePage, const BYTE* bytes, int length) {
    const auto* source = reinterpret_cast<LPCSTR>(bytes);
    const int chars = length > 0 ? MultiByteToWideChar(codePage, 0, source, length, nullptr, 0) : 0;
    if (chars <= 0)
        return kConversionFailed;
    auto* text = static_cast<LPWSTR>(CHttpHeap::Alloc((static_cast<SIZE_T>(chars) + 1) * sizeof(WCHAR)));
    if (!text)
        return kOutOfMemory;
    MultiByteToWideChar(codePage, 0, source, length, text, chars);
    text[chars] = 0;
    m_pText = text;
    m_nTextLength = chars;
    return chars;
}
