// The object behind a file handle: an open host file, the handle's own file
// position and its place in the process's share table.
//
// Threading: every call may come from any thread. Calls that use or move the
// position are serialised by the object's lock, so two threads writing through
// one handle never overwrite each other's bytes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "DevicePath.h"
#include "FileFacts.h"

namespace orvi::kernel {

class FileObject : public KernelObject {
public:
    // Opens or creates the file at path as CreateFileW does, with its result
    // codes: ERROR_ALREADY_EXISTS or ERROR_SUCCESS in the last error on
    // success. The object is not in the handle table yet.
    static std::shared_ptr<FileObject> Open(const ResolvedPath& path, DWORD access, DWORD share,
                                             DWORD disposition, DWORD flags);
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    // Leaves the share table, so the file can be opened again at once even
    // while another thread's call still holds this object.
    void OnLastHandleClosed() override;

    // Each of these sets the last error and returns false on failure.
    bool Read(void* buffer, DWORD size, DWORD& done);
    bool Write(const void* buffer, DWORD size, DWORD& done);
    // Moves the position; a target above limit fails with
    // ERROR_INVALID_PARAMETER and a negative one with ERROR_NEGATIVE_SEEK,
    // both leaving the position where it was.
    bool Seek(int64_t distance, DWORD method, uint64_t limit, uint64_t& position);
    bool SetEnd();
    bool Flush();
    bool Facts(FileFacts& facts) const;
    // A null time is left unchanged.
    bool SetTimes(const FILETIME* lastAccess, const FILETIME* lastWrite);
    // Host permission bits (the copy of a read-only file stays read-only).
    bool SetMode(unsigned mode);

private:
    FileObject(int fd, DWORD access);
    bool RequireAccess(DWORD access) const;
    bool JoinShareTable(const FileFacts& facts, DWORD access, DWORD share);
    void LeaveShareTable();

    const int m_fd;
    const DWORD m_access;
    std::mutex m_lock;            // guards m_position and the I/O that uses it
    uint64_t m_position = 0;
    std::atomic<uint64_t> m_shareToken{0};  // 0 while not in the share table
};

// True while a handle of this process has the file open for reading or
// writing; such a file cannot be deleted or moved.
bool IsOpenInProcess(const FileFacts& facts);

}  // namespace orvi::kernel
