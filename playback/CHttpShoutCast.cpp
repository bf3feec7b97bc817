#include "CHttpShoutCast.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "CStreamRing.h"

namespace {

constexpr char kIcyStatus[] = "ICY 200 OK";
constexpr size_t kIcyStatusLength = sizeof(kIcyStatus) - 1;
constexpr int kPeekBytes = 32768;
constexpr size_t kNameBytes = 4094;
constexpr DWORD kMaxInterval = 0x7FFFFFFF;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != prefix[i])
            return false;
    }
    return true;
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

DWORD ParseDecimal(std::string_view text) {
    DWORD value = 0;
    for (char c : SkipBlanks(text)) {
        if (c < '0' || c > '9')
            break;
        value = std::min<DWORD>(kMaxInterval, value * 10 + static_cast<DWORD>(c - '0'));
    }
    return value;
}

// The value of a "StreamTitle=" text: blanks skipped, up to ";" or the end,
// then one trailing and one leading quote removed. Without the key, the
// whole text.
std::string_view TitleOf(const char* pszText) {
    const char* pKey = std::strstr(pszText, "StreamTitle=");
    if (!pKey)
        return pszText;
    std::string_view value = SkipBlanks(pKey + 12);
    value = value.substr(0, value.find(';'));
    if (!value.empty() && value.back() == '\'')
        value.remove_suffix(1);
    if (!value.empty() && value.front() == '\'')
        value.remove_prefix(1);
    return value;
}

}  // namespace

CHttpShoutCast::CHttpShoutCast() : m_pMetadata(new char[kMetadataBufferSize]()) {}

CHttpShoutCast::~CHttpShoutCast() = default;

BOOL CHttpShoutCast::TakeOver(CHttpStream* pOther) {
    if (!CHttpStream::TakeOver(pOther))
        return FALSE;
    const DWORD dwOld = m_dwPosition;
    if (dwOld != 0)
        CHttpStream::Seek(0, 0);
    ParseHeaders();
    if (m_dwMetaInterval > 0)
        return TRUE;
    const bool back = m_dwPosition == dwOld || CHttpStream::Seek(dwOld, 0) >= 0;
    SwapConnection(*pOther);
    if (!back)
        pOther->Close();
    return FALSE;
}

LONGLONG CHttpShoutCast::Seek(DWORD dwPosition, DWORD dwEnd) {
    if (dwPosition != 0 || dwEnd != 0 || CHttpStream::Seek(0, 0) < 0)
        return -1;
    ParseHeaders();
    return 0;
}

void CHttpShoutCast::ParseHeaders() {
    m_dwMetaInterval = 0;
    m_dwCountdown = 0;
    m_nBlockLength = -1;
    m_cbBlockHave = 0;
    const std::unique_ptr<char[]> pPeek(new char[kPeekBytes]);
    const int cbPeek = m_pRing ? m_pRing->Peek(reinterpret_cast<BYTE*>(pPeek.get()), kPeekBytes) : 0;
    if (cbPeek > static_cast<int>(kIcyStatusLength) && std::memcmp(pPeek.get(), kIcyStatus, kIcyStatusLength) == 0) {
        const DWORD cbBlock = SkipHeaderBlock(pPeek.get(), static_cast<DWORD>(cbPeek));
        TakeHeaderFields(pPeek.get(), cbBlock);
        const int cbSkipped = m_pRing->Read(reinterpret_cast<BYTE*>(pPeek.get()), static_cast<int>(cbBlock));
        m_dwPosition += static_cast<DWORD>(cbSkipped);
        return;
    }
    DWORD cbRaw = 0;
    if (!m_hUrl || HttpQueryInfoA(m_hUrl, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &cbRaw, nullptr) || cbRaw == 0)
        return;
    const std::unique_ptr<char[]> pRaw(new char[cbRaw + 1]);
    if (HttpQueryInfoA(m_hUrl, HTTP_QUERY_RAW_HEADERS_CRLF, pRaw.get(), &cbRaw, nullptr))
        TakeHeaderFields(pRaw.get(), cbRaw);
}

// The length of the header block at the start of the data: the status
// line, then lines up to an empty one (LF or CR LF). Never more than the
// bytes at hand.
DWORD CHttpShoutCast::SkipHeaderBlock(const char* pData, DWORD cbData) const {
    DWORD at = 0;
    auto skipLine = [&] {
        while (at < cbData && pData[at] != '\n')
            ++at;
        if (at < cbData)
            ++at;
    };
    skipLine();
    while (at < cbData) {
        if (pData[at] == '\n')
            return at + 1;
        if (pData[at] == '\r' && at + 1 < cbData && pData[at + 1] == '\n')
            return at + 2;
        skipLine();
    }
    return cbData;
}

void CHttpShoutCast::TakeHeaderFields(const char* pText, DWORD cbText) {
    std::string_view rest(pText, cbText);
    std::string_view name;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (StartsWithNoCase(line, "icy-metaint:"))
            m_dwMetaInterval = ParseDecimal(line.substr(12));
        else if (StartsWithNoCase(line, "icy-name:"))
            name = SkipBlanks(line.substr(9)).substr(0, kNameBytes);
    }
    if (m_dwMetaInterval == 0)
        return;
    m_dwCountdown = m_dwMetaInterval;
    if (!name.empty())
        std::memcpy(m_pMetadata.get() + 1, name.data(), name.size());
    m_pMetadata[1 + name.size()] = 0;
}

int CHttpShoutCast::Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    if (m_dwMetaInterval == 0)
        return CHttpStreamBuffer::Read(pBuffer, cbBuffer, dwTimeoutMs);
    if (cbBuffer <= 0)
        return cbBuffer == 0 ? 0 : -1;
    const DWORD start = GetTickCount();
    int got = 0;
    while (got < cbBuffer) {
        if (m_dwCountdown == 0) {
            const int block = ReadMetadata(start, dwTimeoutMs);
            if (block <= 0)
                return got > 0 ? got : block;
        }
        const int want = static_cast<int>(std::min(static_cast<DWORD>(cbBuffer - got), m_dwCountdown));
        const int read = CHttpStreamBuffer::Read(pBuffer + got, want, CStreamSignal::Remaining(start, dwTimeoutMs));
        if (read <= 0)
            return got > 0 ? got : read;
        got += read;
        m_dwCountdown -= static_cast<DWORD>(read);
        if (read < want)
            break;  // the end, or the limit: what came is delivered
    }
    return got;
}

// One metadata block: 1 when it is read, 0 at the end of the data before
// its length byte, -19 when the data ends inside it, or the read's error
// (the part read so far is kept for the next call).
int CHttpShoutCast::ReadMetadata(DWORD dwStart, DWORD dwLimitMs) {
    if (m_nBlockLength == kFramingError)
        return kFramingError;
    if (m_nBlockLength < 0) {
        BYTE length = 0;
        const int read = CHttpStreamBuffer::Read(&length, 1, CStreamSignal::Remaining(dwStart, dwLimitMs));
        if (read <= 0)
            return read;
        m_nBlockLength = length * 16;
        m_cbBlockHave = 0;
    }
    BYTE* pText = reinterpret_cast<BYTE*>(m_pMetadata.get()) + 1;
    while (m_cbBlockHave < m_nBlockLength) {
        const int read = CHttpStreamBuffer::Read(pText + m_cbBlockHave, m_nBlockLength - m_cbBlockHave,
                                                 CStreamSignal::Remaining(dwStart, dwLimitMs));
        if (read == 0) {
            m_nBlockLength = kFramingError;  // the framing is gone for good
            return kFramingError;
        }
        if (read < 0)
            return read;
        m_cbBlockHave += read;
    }
    const bool empty = m_nBlockLength == 0;
    if (!empty) {
        m_pMetadata[0] = static_cast<char>(m_nBlockLength / 16);
        pText[m_nBlockLength] = 0;
    }
    m_nBlockLength = -1;
    m_cbBlockHave = 0;
    m_dwCountdown = m_dwMetaInterval;
    ApplyTitle(empty);
    return 1;
}

// The text stays after a non-empty block; after an empty one it is used
// once (the station name, first), then emptied.
void CHttpShoutCast::ApplyTitle(bool bEmptyBlock) {
    IStreamEngine* pEngine = Engine();
    char* pszText = m_pMetadata.get() + 1;
    if (!pEngine || !*pszText)
        return;
    const std::string_view title = TitleOf(pszText);
    WCHAR szTitle[kTitleChars];
    const int cbTitle = static_cast<int>(std::min<size_t>(title.size(), kTitleChars - 1));
    const int cch = cbTitle ? MultiByteToWideChar(CP_ACP, 0, title.data(), cbTitle, szTitle, kTitleChars - 1) : 0;
    szTitle[cch > 0 ? cch : 0] = 0;
    pEngine->SetStreamTitle(szTitle);
    if (bEmptyBlock)
        *pszText = 0;
}
