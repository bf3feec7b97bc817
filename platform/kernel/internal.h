// Internal functions shared by the kernel's API files. Nothing outside
// platform/ includes this header.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "kernelapi.h"

namespace orvi::kernel {

// ---- handle table ----------------------------------------------------------
// Every kernel handle (file, find, event, mutex, thread, heap, registry
// notification, ...) is an index into one process-wide table. The table holds
// a shared reference, so an object stays alive while a call that looked it up
// is still using it, even if another thread closes the handle meanwhile.
enum class ObjectType { File, Find, Event, Mutex, Thread, Heap, Module };

struct KernelObject {
    explicit KernelObject(ObjectType t) : type(t) {}
    virtual ~KernelObject() = default;
    // Called when the last handle is closed (before the last reference goes).
    virtual void OnLastHandleClosed() {}
    const ObjectType type;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> ReferenceHandle(HANDLE h);
// Looks up a handle of the given type; sets ERROR_INVALID_HANDLE when absent.
template <class T>
std::shared_ptr<T> ReferenceHandleAs(HANDLE h, ObjectType type) {
    auto object = ReferenceHandle(h);
    if (!object || object->type != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
// Removes the handle; false when it was not valid.
bool RemoveHandle(HANDLE h);

// ---- text ------------------------------------------------------------------
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// ---- debug channel -----------------------------------------------------------
// printf-style line to the platform's debug channel ($ORVI_TRACE); adds '\n'.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- device root -------------------------------------------------------------
// Host folder that holds the device file system: $ORVI_DEVICE_ROOT, else
// $XDG_DATA_HOME/orvi-device, else ~/.local/share/orvi-device. Created on
// first use with its runtime folder and the device's standard folders
// (\Application Data, \Program Files, \Windows, ...). Read from the
// environment on every call so that a test can switch roots.
std::string DeviceRootHostPath();
// <root>/.runtime/<sub>, created when missing.
std::string RuntimeHostPath(std::string_view sub);

// Maps a device path ("\Program Files\x.txt") to the host path below the
// root, resolving each existing component case-insensitively and keeping the
// given case for components that do not exist. Fails with
// ERROR_ACCESS_DENIED for a path that would leave the root ("..", a link
// pointing out of it) and ERROR_INVALID_NAME / ERROR_PATH_NOT_FOUND for
// malformed paths. Implemented by the file system.
bool DevicePathToHost(std::u16string_view devicePath, std::string& hostPath);
// Maps a host path below the root back to its device path; false when the
// host path is outside the root.
bool HostPathToDevice(const std::string& hostPath, std::u16string& devicePath);

// Replaces a host file with the given bytes through a temporary file in the
// same folder and a rename, so readers see the old or the new contents, never
// a torn file. A read-only target is refused with ERROR_ACCESS_DENIED. On
// failure the old file is intact and *error holds the last-error code.
bool AtomicReplaceHostFile(const std::string& hostPath, const void* data, size_t size,
                           DWORD* error);

// Converts errno to the device's last-error code.
DWORD ErrorFromErrno(int err);

}  // namespace orvi::kernel
