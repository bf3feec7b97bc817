// Fuzz target: any bytes as the local copy of a directory page. The page is
// read without downloading and written back, so the reader, the record tree
// and the writer all see hostile input. Each input gets a directory of its
// own, so records do not pile up across runs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CStationDirectory.h"
#include "OpmlPage.h"
#include "OrviDebug.h"
#include "platform.h"

namespace {

// A private device root and COM for the whole run; set up before the first
// input, before the platform reads its environment.
bool SetUpDevice() {
    char root[] = "/tmp/orvi-opml-fuzz-XXXXXX";
    if (!mkdtemp(root)) {
        std::perror("mkdtemp");
        std::abort();
    }
    setenv("ORVI_DEVICE_ROOT", root, 1);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        std::abort();
    SetLogFile(u"\\fuzz.log");
    CreateDirectoryW(u"\\Data", nullptr);
    return true;
}

const bool s_deviceReady = SetUpDevice();

constexpr WCHAR kCopy[] = u"\\Data\\page.xml";
constexpr WCHAR kSaved[] = u"\\Data\\saved.xml";

bool WriteCopy(const uint8_t* data, size_t size) {
    HANDLE file = CreateFileW(kCopy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!s_deviceReady || size > 1 << 20 || !WriteCopy(data, size))
        return 0;
    CStationDirectory directory;
    StringCchCopyW(directory.Config().dataFolder, MAX_PATH, u"\\Data\\");
    CRadioChannel* page = NewChannel(directory);
    page->localFile = kCopy;
    page->url = u"http://127.0.0.1:9/never";
    if (LoadPage(directory, page, FALSE) == kLoadPageDone) {
        page->localFile = kSaved;
        SaveOpml(directory, page);
    }
    return 0;
}
