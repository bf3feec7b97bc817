// Internal functions shared by the internet service's API files. Nothing
// outside platform/inet includes this header.
//
// Threading: one lock (InetLock) guards the handle table and every record.
// Status callbacks run on the network thread with no lock held; curl is only
// called on the network thread and never with the lock held, because curl's
// callbacks take the lock themselves.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "InetObjects.h"
#include "kernel/internal.h"
#include "kernelapi.h"

namespace orvi::inet {

std::mutex& InetLock();
using InetGuard = std::unique_lock<std::mutex>;

// ---- handle table (InetLock held) -------------------------------------------------
HINTERNET InsertHandle(std::shared_ptr<InetObject> object);
// The open object of that handle, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<InetObject> FindHandle(HINTERNET handle);
// As FindHandle, and ERROR_INTERNET_INCORRECT_HANDLE_TYPE for another kind.
template <class T>
std::shared_ptr<T> FindHandleAs(HINTERNET handle, InetKind kind) {
    auto object = FindHandle(handle);
    if (object && object->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
void RemoveHandle(HINTERNET handle);
// Links a new child under its parent and gives it the parent's callback,
// mode and time-outs.
void AdoptChild(InetObject& parent, const std::shared_ptr<InetObject>& child);

// ---- notifications -------------------------------------------------------------
// Queues a status callback for the object on the network thread; dropped if
// the handle has been closed by then. `info` is copied.
void QueueStatus(const std::shared_ptr<InetObject>& object, DWORD status, const void* info,
                 DWORD infoLength);
void QueueAsyncResult(const std::shared_ptr<InetObject>& object, DWORD status, DWORD_PTR result,
                      DWORD error);
// Calls the object's callback now (network thread, InetLock not held).
void DeliverStatus(InetObject& object, DWORD status, void* info, DWORD infoLength);

// ---- requests ------------------------------------------------------------------
// Starts the request on the network thread. With the lock held; the caller
// has put the request into Sending.
void StartRequest(const std::shared_ptr<InetRequest>& request);
// Network thread, InetLock held: the final response head arrived (error 0)
// or the transfer ended before it (error = the last-error code).
void CompleteSend(const std::shared_ptr<InetRequest>& request, DWORD error);
// InetLock held: hands buffered bytes, the end or the body's error to the
// pending read and queues its REQUEST_COMPLETE.
void FillPendingRead(const std::shared_ptr<InetRequest>& request);
// Waits (synchronous mode) until the send finished; returns its result.
BOOL WaitForResponse(InetGuard& guard, InetRequest& request);
// InternetReadFile / InternetReadFileExA. `count` receives the bytes read,
// now or, for a pending read, when it completes.
BOOL ReadResponse(HINTERNET handle, void* buffer, DWORD size, DWORD* count, bool allowPending,
                  bool noWait);
// Closes the handle and its subtree; see InternetCloseHandle.
BOOL CloseHandleTree(HINTERNET handle);

// ---- queries ---------------------------------------------------------------------
// HttpQueryInfo as bytes: a string value (narrow), a number or a SYSTEMTIME.
// Returns 0 or the last-error code. `custom` is the name for
// HTTP_QUERY_CUSTOM.
struct QueryResult {
    enum class Type { Text, Number, Time } type = Type::Text;
    std::string text;
    DWORD number = 0;
    SYSTEMTIME time{};
};
DWORD QueryInfo(const InetRequest& request, DWORD level, std::string_view custom, DWORD index,
                QueryResult& result);

// ---- text --------------------------------------------------------------------------
std::string ToNarrow(LPCWSTR text);
std::string ToNarrow(std::u16string_view text);
// Header bytes to UTF-16 through the ANSI code page, as the device does.
std::u16string HeaderToWide(std::string_view text);
// A caller's header block: `length` characters, or NUL-terminated for -1.
std::u16string_view HeaderBlock(LPCWSTR headers, DWORD length);

}  // namespace orvi::inet
