// One registry hive shared by every process of the device through its file.
//
// Files: <root>/.runtime/registry/<NAME>.hive holds the hive and
// <NAME>.lock beside it the flock that orders the processes. They live under
// the runtime folder only so that the device file system does not list them;
// unlike the rest of that folder they are persistent data and must not be
// cleaned away. The first 8 bytes of the lock file count the writes, which
// tells a reader of a rewritten hive from one it has already seen even when
// the file's inode, size and time stamp all came out the same.
//
// Every reader takes the shared file lock and reloads the hive when the file
// changed; every writer takes the exclusive lock, reloads, changes the tree
// and replaces the file before unlocking, so two processes never lose each
// other's changes. A file that cannot be decoded is renamed aside
// ("<NAME>.hive.damaged-<time>") and the hive starts empty.
//
// Thread safety: all members may be called from any thread; the hive's mutex
// is held while fn runs, so fn must not call back into the registry.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "RegistryKey.h"

namespace orvi::kernel {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

class RegistryHive {
public:
    // The hive of the current device root. Hives are cached per root; a
    // change of $ORVI_DEVICE_ROOT starts a new cache while references to
    // hives of the old root stay usable.
    static std::shared_ptr<RegistryHive> Open(RegistryRoot root);

    RegistryHive(std::string folder, const char* name);
    ~RegistryHive();
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;

    const std::string& Folder() const { return m_folder; }

    // Runs fn on the latest contents and returns its result, or the error
    // that kept the hive from being read. *version, when given, is set before
    // fn runs to a number that changes whenever the contents may have.
    using ReadFn = std::function<LONG(const RegistryKey& root)>;
    LONG Read(const ReadFn& fn, uint64_t* version = nullptr);

    // What a writer may do besides changing the tree.
    class Edit {
    public:
        explicit Edit(uint64_t* nextKeyId) : m_nextKeyId(nextKeyId) {}
        uint64_t NewKeyId() { return (*m_nextKeyId)++; }
        // Marks the tree changed: it is written to the file.
        void Changed() { m_changed = true; }
        bool IsChanged() const { return m_changed; }

    private:
        uint64_t* m_nextKeyId;
        bool m_changed = false;
    };
    // Runs fn on the latest contents under the exclusive file lock. fn either
    // fails without touching the tree or succeeds; a changed tree is then
    // written before the lock is released, and the write's error replaces
    // the result (the tree is then reloaded from the file on next use).
    using WriteFn = std::function<LONG(RegistryKey& root, Edit& edit)>;
    LONG Write(const WriteFn& fn);

private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modified = 0;
        int64_t changed = 0;
        uint64_t writes = 0;
        bool operator==(const Stamp&) const = default;
    };
    class FileLock;

    LONG RefreshLocked(FileLock& lock);
    LONG LoadLocked(bool* damaged);
    void SetAsideLocked();
    LONG SaveLocked();
    Stamp CurrentStamp();
    uint64_t WriteCount();
    void ResetTreeLocked();

    const std::string m_folder;
    const std::string m_name;
    const std::string m_path;
    const std::string m_lockPath;

    std::mutex m_mutex;
    int m_lockFd = -1;  // opened on first use, kept for the hive's life
    std::unique_ptr<RegistryKey> m_root;
    uint64_t m_nextKeyId = 1;
    Stamp m_stamp;
    bool m_loaded = false;  // false forces a reload from the file
    uint64_t m_version = 0;
};

}  // namespace orvi::kernel
