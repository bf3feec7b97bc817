// Where the device file system lives on the host.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <mutex>

#include "internal.h"

namespace orvi::kernel {
namespace {

void MakeDirs(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/')
            mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

// The folders every device has from the factory.
const char* const kStandardFolders[] = {
    "/Application Data", "/Program Files", "/My Documents", "/Temp", "/Windows",
    "/Windows/StartUp", "/Windows/Start Menu", "/Windows/Start Menu/Programs", "/Windows/Fonts",
};

// True when the folder is missing or holds nothing of the device's.
bool IsNewRoot(const std::string& root) {
    DIR* dir = opendir(root.c_str());
    if (!dir)
        return true;
    bool empty = true;
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != ".." && name != ".runtime") {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

// A new root becomes a factory-fresh device: the standard folders appear.
// A root that already holds files is taken as it is. Done once per root
// and process.
void PrepareRoot(const std::string& root) {
    static std::mutex lock;
    static std::string prepared;
    std::lock_guard guard(lock);
    if (prepared == root)
        return;
    bool fresh = IsNewRoot(root);
    MakeDirs(root + "/.runtime");
    if (fresh) {
        for (const char* folder : kStandardFolders)
            mkdir((root + folder).c_str(), 0755);
    }
    prepared = root;
}

}  // namespace

std::string DeviceRootHostPath() {
    std::string root;
    if (const char* env = std::getenv("ORVI_DEVICE_ROOT"); env && *env) {
        root = env;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        root = std::string(xdg) + "/orvi-device";
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home && *home ? home : "/tmp") + "/.local/share/orvi-device";
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    PrepareRoot(root);
    return root;
}

std::string RuntimeHostPath(std::string_view sub) {
    std::string path = DeviceRootHostPath() + "/.runtime";
    if (!sub.empty()) {
        path += '/';
        path += sub;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        MakeDirs(path);
    return path;
}

}  // namespace orvi::kernel
