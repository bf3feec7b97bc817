// Helpers shared by the log tests: file bytes, UTF-16LE byte strings and the
// fixed clock the tests log with.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "OrviDebug.h"
#include "TestSupport.h"
#include "comapi.h"

namespace orvi::test {

inline const std::string kByteOrderMark = "\xFF\xFE";
// 13 February 2009, 08:05:09, tick count 123456.
inline constexpr SYSTEMTIME kFixedTime = {2009, 2, 5, 13, 8, 5, 9, 250};
inline constexpr DWORD kFixedTick = 123456;
inline const std::u16string kFixedStamp = u"2009-02-13 08:05:09 (123456)\t";

inline std::string Utf16Bytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

inline std::u16string FromUtf16Bytes(std::string_view bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<BYTE>(bytes[i]) | static_cast<BYTE>(bytes[i + 1]) << 8);
    return text;
}

inline std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

inline bool HostFileExists(const std::string& hostPath) { return std::ifstream(hostPath).good(); }

inline std::string ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::string& hostPath, const std::string& bytes) {
    std::ofstream(hostPath, std::ios::binary | std::ios::trunc) << bytes;
}

// Lines the concurrency tests write: "thread %d line %03d padding padding padding"
// behind the fixed stamp.
inline constexpr char16_t kWorkerFormat[] = u"thread %d line %03d padding padding padding\r\n";

inline std::string WorkerLine(int thread, int index) {
    char line[96];
    std::snprintf(line, sizeof(line), "2009-02-13 08:05:09 (123456)\tthread %d line %03d padding padding padding",
                  thread, index);
    return line;
}

// True when line (without its CR LF) is exactly a worker line; its numbers
// are returned.
inline bool ParseWorkerLine(const std::string& line, int* thread, int* index) {
    const size_t stamp = 29;
    return line.size() > stamp && std::sscanf(line.c_str() + stamp, "thread %d line %d", thread, index) == 2 &&
           WorkerLine(*thread, *index) == line;
}

// Gives each test its own device root and the fixed clock.
class FixedClockLogTest : public DeviceRootTest {
protected:
    void SetUp() override { OrviDebugSetClockForTest(&kFixedTime, kFixedTick); }
    void TearDown() override {
        OrviDebugSetClockForTest(nullptr, 0);
        SetLogFile(nullptr);
    }
};

// A device root per test, COM in the multithreaded apartment, and the debug
// log in "\test.log".
class LoggedDeviceTest : public DeviceRootTest {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_TRUE(SetLogFile(u"\\test.log"));
    }
    void TearDown() override {
        SetLogFile(nullptr);
        CoUninitialize();
    }
    // Writes a device file, making its folders.
    void WriteDevice(const std::string& devicePath, const std::string& bytes) {
        const std::string host = m_root.Host(devicePath);
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        WriteHostFile(host, bytes);
    }
    std::string ReadDevice(const std::string& devicePath) { return ReadHostFile(m_root.Host(devicePath)); }
    // The log's lines, each without its time stamp.
    std::u16string LogText() {
        const std::u16string text = FromUtf16Bytes(ReadDevice("\\test.log"));
        std::u16string bare;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find(u"\r\n", at);
            end = end == std::u16string::npos ? text.size() : end + 2;
            const std::u16string line = text.substr(at, end - at);
            const size_t tab = line.find(u'\t');
            bare += tab == std::u16string::npos ? line : line.substr(tab + 1);
            at = end;
        }
        return bare;
    }
};

}  // namespace orvi::test
