// Hive persistence: loading, damage handling, locked read-modify-write.
#include "RegistryHive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>

#include "RegistryFormat.h"
#include "RegistryNotifier.h"
#include "internal.h"

namespace orvi::kernel {

// The flock of one hive's lock file for the span of one call. The hive's
// mutex is held around it: flock does not order threads sharing one open
// file. A read goes ahead without the lock when the lock file cannot be
// opened (a read-only device root); a write does not.
class RegistryHive::FileLock {
public:
    FileLock(RegistryHive& hive, int operation) : m_hive(hive) {
        if (m_hive.m_lockFd < 0)
            m_hive.m_lockFd = open(m_hive.m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_hive.m_lockFd < 0) {
            m_error = static_cast<LONG>(ErrorFromErrno(errno));
            return;
        }
        Take(operation);
    }
    ~FileLock() {
        if (m_mode != 0)
            flock(m_hive.m_lockFd, LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Exclusive() const { return m_mode == LOCK_EX; }
    // The shared lock becomes exclusive; another process may take the lock
    // in between, so whatever was read under the shared lock must be re-read.
    void Upgrade() { Take(LOCK_EX); }
    LONG Error() const { return m_mode != 0 ? ERROR_SUCCESS : m_error; }

private:
    void Take(int operation) {
        int rc;
        do {
            rc = flock(m_hive.m_lockFd, operation);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0)
            m_mode = operation;
        else
            m_error = static_cast<LONG>(ErrorFromErrno(errno));
    }

    RegistryHive& m_hive;
    int m_mode = 0;
    LONG m_error = ERROR_SUCCESS;
};

namespace {

const char* HiveName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::ClassesRoot: return "HKCR";
    case RegistryRoot::CurrentUser: return "HKCU";
    case RegistryRoot::LocalMachine: return "HKLM";
    }
    return "HKLM";
}

struct HiveCache {
    std::mutex lock;
    std::string root;
    std::map<RegistryRoot, std::shared_ptr<RegistryHive>> hives;
};

HiveCache& Cache() {
    static auto* cache = new HiveCache;  // used by the notification thread until exit
    return *cache;
}

int64_t Nanoseconds(const timespec& ts) { return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec; }

// Reads the whole file; false with errno set when it cannot be read.
bool ReadWholeFile(int fd, std::vector<BYTE>* bytes) {
    BYTE buffer[16384];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes->insert(bytes->end(), buffer, buffer + n);
    }
}

std::string DamagedName(const std::string& path) {
    time_t now = time(nullptr);
    tm parts{};
    localtime_r(&now, &parts);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    std::string name = path + ".damaged-" + stamp;
    std::string candidate = name;
    for (int n = 2; access(candidate.c_str(), F_OK) == 0; ++n)
        candidate = name + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

std::shared_ptr<RegistryHive> RegistryHive::Open(RegistryRoot root) {
    std::string deviceRoot = DeviceRootHostPath();
    auto& cache = Cache();
    std::lock_guard guard(cache.lock);
    if (cache.root != deviceRoot) {
        cache.hives.clear();
        cache.root = deviceRoot;
    }
    auto& hive = cache.hives[root];
    if (!hive)
        hive = std::make_shared<RegistryHive>(RuntimeHostPath("registry"), HiveName(root));
    return hive;
}

RegistryHive::RegistryHive(std::string folder, const char* name)
    : m_folder(std::move(folder)),
      m_name(name),
      m_path(m_folder + "/" + name + ".hive"),
      m_lockPath(m_folder + "/" + name + ".lock") {
    ResetTreeLocked();
}

RegistryHive::~RegistryHive() {
    if (m_lockFd >= 0)
        close(m_lockFd);
}

LONG RegistryHive::Read(const ReadFn& fn, uint64_t* version) {
    std::lock_guard guard(m_mutex);
    {
        FileLock lock(*this, LOCK_SH);
        LONG rc = RefreshLocked(lock);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    if (version)
        *version = m_version;
    return fn(*m_root);
}

LONG RegistryHive::Write(const WriteFn& fn) {
    LONG rc;
    {
        std::lock_guard guard(m_mutex);
        FileLock lock(*this, LOCK_EX);
        if (lock.Error() != ERROR_SUCCESS)
            return lock.Error();
        rc = RefreshLocked(lock);
        if (rc != ERROR_SUCCESS)
            return rc;
        Edit edit(&m_nextKeyId);
        rc = fn(*m_root, edit);
        if (rc != ERROR_SUCCESS || !edit.IsChanged())
            return rc;
        rc = SaveLocked();
    }
    // Outside the hive's lock: the notification thread reads hives.
    if (rc == ERROR_SUCCESS)
        RegistryNotifier::Instance().Wake();
    return rc;
}

LONG RegistryHive::RefreshLocked(FileLock& lock) {
    if (m_loaded && CurrentStamp() == m_stamp)
        return ERROR_SUCCESS;
    bool damaged = false;
    LONG rc = LoadLocked(&damaged);
    if (rc != ERROR_SUCCESS || !damaged)
        return rc;
    // Only a writer may move the file aside, and another process may have
    // replaced it while the shared lock was let go: look again.
    if (!lock.Exclusive() && lock.Error() == ERROR_SUCCESS) {
        lock.Upgrade();
        if (lock.Exclusive()) {
            rc = LoadLocked(&damaged);
            if (rc != ERROR_SUCCESS || !damaged)
                return rc;
        }
    }
    ResetTreeLocked();
    ++m_version;
    if (!lock.Exclusive()) {
        // Without the exclusive lock the file stays where it is; it is looked
        // at again on every call, so no writer replaces it unseen.
        Trace("registry: %s cannot be decoded; using an empty hive", m_path.c_str());
        m_loaded = false;
        return ERROR_SUCCESS;
    }
    SetAsideLocked();
    m_stamp = CurrentStamp();
    m_loaded = true;
    return ERROR_SUCCESS;
}

// Loads the file into the tree. A missing file is an empty hive; a file
// that cannot be decoded leaves the tree alone and sets *damaged.
LONG RegistryHive::LoadLocked(bool* damaged) {
    *damaged = false;
    Stamp stamp;
    stamp.writes = WriteCount();
    int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT)
        return static_cast<LONG>(ErrorFromErrno(errno));
    std::unique_ptr<RegistryKey> root;
    uint64_t nextKeyId = 1;
    if (fd >= 0) {
        struct stat st;
        std::vector<BYTE> bytes;
        bool ok = fstat(fd, &st) == 0 && ReadWholeFile(fd, &bytes);
        int err = errno;
        close(fd);
        if (!ok)
            return static_cast<LONG>(ErrorFromErrno(err));
        stamp = Stamp{true, st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
                      stamp.writes};
        root = RegistryFormat::Decode(bytes, &nextKeyId);
        if (!root) {
            *damaged = true;
            return ERROR_SUCCESS;
        }
    }
    if (root) {
        m_root = std::move(root);
        m_nextKeyId = nextKeyId;
    } else {
        ResetTreeLocked();
    }
    m_stamp = stamp;
    m_loaded = true;
    ++m_version;
    return ERROR_SUCCESS;
}

void RegistryHive::SetAsideLocked() {
    std::string aside = DamagedName(m_path);
    if (rename(m_path.c_str(), aside.c_str()) == 0)
        Trace("registry: %s cannot be decoded; kept as %s, using an empty hive", m_path.c_str(), aside.c_str());
    else
        Trace("registry: %s cannot be decoded nor set aside (errno %d); using an empty hive", m_path.c_str(),
              errno);
}

LONG RegistryHive::SaveLocked() {
    std::vector<BYTE> bytes = RegistryFormat::Encode(*m_root, m_nextKeyId);
    DWORD error = ERROR_SUCCESS;
    if (!AtomicReplaceHostFile(m_path, bytes.data(), bytes.size(), &error)) {
        m_loaded = false;  // the file still holds the old contents
        return static_cast<LONG>(error);
    }
    uint64_t writes = WriteCount() + 1;
    BYTE counter[8];
    for (int i = 0; i < 8; ++i)
        counter[i] = static_cast<BYTE>(writes >> (8 * i));
    if (pwrite(m_lockFd, counter, sizeof counter, 0) != static_cast<ssize_t>(sizeof counter))
        Trace("registry: cannot count a write in %s (errno %d)", m_lockPath.c_str(), errno);
    m_stamp = CurrentStamp();
    ++m_version;
    return ERROR_SUCCESS;
}

RegistryHive::Stamp RegistryHive::CurrentStamp() {
    Stamp stamp;
    stamp.writes = WriteCount();
    struct stat st;
    if (stat(m_path.c_str(), &st) == 0)
        stamp = Stamp{true, st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
                      stamp.writes};
    return stamp;
}

uint64_t RegistryHive::WriteCount() {
    BYTE counter[8] = {};
    if (m_lockFd < 0 || pread(m_lockFd, counter, sizeof counter, 0) != static_cast<ssize_t>(sizeof counter))
        return 0;
    uint64_t writes = 0;
    for (int i = 0; i < 8; ++i)
        writes |= static_cast<uint64_t>(counter[i]) << (8 * i);
    return writes;
}

void RegistryHive::ResetTreeLocked() {
    m_root = std::make_unique<RegistryKey>(0, std::u16string());
    m_nextKeyId = 1;
}

}  // namespace orvi::kernel
