// Top-level windows announced to other processes: one file per window in
// <root>/.runtime/windows/, named after the handle (which names the owner
// process) and holding "class\ntitle" in UTF-8. Entries of processes that
// are gone are removed by whoever meets them.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "internal.h"
#include "kernel/internal.h"

namespace orvi::user {
namespace {

std::string Folder() { return kernel::RuntimeHostPath("windows"); }

std::string EntryPath(HWND hwnd) {
    char name[32];
    std::snprintf(name, sizeof name, "%016" PRIxPTR, reinterpret_cast<uintptr_t>(hwnd));
    return Folder() + "/" + name;
}

bool ProcessAlive(DWORD pid) { return pid != 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// Reads an entry; false (and the entry removed) when its process is gone.
bool ReadEntry(HWND hwnd, std::u16string* cls, std::u16string* title) {
    const std::string path = EntryPath(hwnd);
    if (!ProcessAlive(ProcessOfHandle(hwnd))) {
        unlink(path.c_str());
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string clsUtf8, titleUtf8;
    std::getline(in, clsUtf8);
    std::stringstream rest;
    rest << in.rdbuf();
    titleUtf8 = rest.str();
    if (cls)
        *cls = kernel::Utf8ToUtf16(clsUtf8);
    if (title)
        *title = kernel::Utf8ToUtf16(titleUtf8);
    return true;
}

std::vector<HWND> AllEntries() {
    std::vector<HWND> handles;
    DIR* dir = opendir(Folder().c_str());
    if (!dir)
        return handles;
    while (dirent* e = readdir(dir)) {
        uintptr_t value = 0;
        if (std::sscanf(e->d_name, "%" SCNxPTR, &value) == 1 && value)
            handles.push_back(reinterpret_cast<HWND>(value));
    }
    closedir(dir);
    return handles;
}

}  // namespace

void AnnounceWindow(HWND hwnd, const std::u16string& cls, const std::u16string& title) {
    std::string text = kernel::Utf16ToUtf8(cls) + "\n" + kernel::Utf16ToUtf8(title);
    DWORD error = 0;
    if (!kernel::AtomicReplaceHostFile(EntryPath(hwnd), text.data(), text.size(), &error))
        kernel::Trace("user: cannot announce window %p (error %u)", static_cast<void*>(hwnd), error);
}

void WithdrawWindow(HWND hwnd) { unlink(EntryPath(hwnd).c_str()); }

HWND FindAnnouncedWindow(const WCHAR* cls, const WCHAR* title) {
    for (HWND h : AnnouncedWindowsOfOthers()) {
        std::u16string c, t;
        if (!ReadEntry(h, &c, &t))
            continue;
        if ((!cls || SameName(c, cls)) && (!title || t == title))
            return h;
    }
    return nullptr;
}

bool AnnouncedInfo(HWND hwnd, std::u16string* cls, std::u16string* title) {
    return IsForeignHandle(hwnd) && ReadEntry(hwnd, cls, title);
}

std::vector<HWND> AnnouncedWindowsOfOthers() {
    std::vector<HWND> others;
    for (HWND h : AllEntries()) {
        if (!IsForeignHandle(h))
            continue;
        if (!ProcessAlive(ProcessOfHandle(h))) {
            unlink(EntryPath(h).c_str());
            continue;
        }
        others.push_back(h);
    }
    return others;
}

}  // namespace orvi::user
