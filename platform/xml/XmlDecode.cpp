#include "xml/XmlDecode.h"

#include <algorithm>
#include <cctype>

#include "kernel/internal.h"
#include "textapi.h"

namespace orvi::xml {
namespace {

std::string FromUtf16(const std::string& bytes, size_t start, bool bigEndian) {
    std::u16string wide;
    wide.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        wide.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    return kernel::Utf16ToUtf8(wide);
}

// The encoding named in a leading XML declaration, lower-cased, or "".
std::string DeclaredEncoding(const std::string& bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0)
        return {};
    size_t end = bytes.find("?>");
    size_t at = bytes.find("encoding", 0);
    if (end == std::string::npos || at == std::string::npos || at > end)
        return {};
    size_t quote = bytes.find_first_of("\"'", at);
    if (quote == std::string::npos || quote > end)
        return {};
    size_t close = bytes.find(bytes[quote], quote + 1);
    if (close == std::string::npos || close > end)
        return {};
    std::string name = bytes.substr(quote + 1, close - quote - 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::string FromLatin1(const std::string& bytes) {
    std::u16string wide(bytes.begin(), bytes.end());
    for (size_t i = 0; i < bytes.size(); ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
    return kernel::Utf16ToUtf8(wide);
}

std::string FromWindows1252(const std::string& bytes) {
    int count = MultiByteToWideChar(1252, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
    if (count <= 0)
        return FromLatin1(bytes);
    std::u16string wide(static_cast<size_t>(count), u'\0');
    MultiByteToWideChar(1252, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), count);
    return kernel::Utf16ToUtf8(wide);
}

}  // namespace

std::string DecodeXmlBytes(const std::string& bytes) {
    auto at = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100; };
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return bytes.substr(3);
    if (at(0) == 0xFF && at(1) == 0xFE)
        return FromUtf16(bytes, 2, false);
    if (at(0) == 0xFE && at(1) == 0xFF)
        return FromUtf16(bytes, 2, true);
    if (at(0) == '<' && at(1) == 0 && at(2) == '?' && at(3) == 0)
        return FromUtf16(bytes, 0, false);
    if (at(0) == 0 && at(1) == '<' && at(2) == 0 && at(3) == '?')
        return FromUtf16(bytes, 0, true);
    std::string encoding = DeclaredEncoding(bytes);
    if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "iso_8859-1" ||
        encoding == "us-ascii")
        return FromLatin1(bytes);
    if (encoding == "windows-1252" || encoding == "cp1252")
        return FromWindows1252(bytes);
    return bytes;
}

}  // namespace orvi::xml
