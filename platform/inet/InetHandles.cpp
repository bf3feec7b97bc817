// The table of internet handles and the text helpers of the API files.
#include <unordered_map>

#include "HttpTransfer.h"
#include "internal.h"
#include "kernel/internal.h"
#include "textapi.h"
#include "winerror.h"

namespace orvi::inet {
namespace {

struct HandleTable {
    std::unordered_map<uintptr_t, std::shared_ptr<InetObject>> entries;
    // Never reused within a run, so a stale handle fails cleanly instead of
    // reaching an unrelated object; multiples of 4 as on the device.
    uintptr_t next = 0xCC0004;
};

HandleTable& Table() {
    static auto* table = new HandleTable;  // lives until exit, like the network thread
    return *table;
}

}  // namespace

// Defined here so that HttpTransfer is complete where the request dies.
InetRequest::InetRequest() : InetObject(InetKind::Request) {}
InetRequest::~InetRequest() = default;

std::mutex& InetLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

HINTERNET InsertHandle(std::shared_ptr<InetObject> object) {
    auto& table = Table();
    uintptr_t value = table.next;
    table.next += 4;
    auto handle = reinterpret_cast<HINTERNET>(value);
    object->handle = handle;
    table.entries.emplace(value, std::move(object));
    return handle;
}

std::shared_ptr<InetObject> FindHandle(HINTERNET handle) {
    auto& table = Table();
    auto it = table.entries.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.entries.end() || it->second->closing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

void RemoveHandle(HINTERNET handle) {
    Table().entries.erase(reinterpret_cast<uintptr_t>(handle));
}

void AdoptChild(InetObject& parent, const std::shared_ptr<InetObject>& child) {
    child->parent = &parent;
    child->callback = parent.callback;
    child->async = parent.async;
    child->timeouts = parent.timeouts;
    parent.children.push_back(child);
}

std::string ToNarrow(LPCWSTR text) {
    return text ? kernel::Utf16ToUtf8(text) : std::string();
}

std::string ToNarrow(std::u16string_view text) { return kernel::Utf16ToUtf8(text); }

std::u16string HeaderToWide(std::string_view text) {
    if (text.empty())
        return {};
    DWORD saved = GetLastError();
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(length > 0 ? length : 0), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    SetLastError(saved);
    return wide;
}

std::u16string_view HeaderBlock(LPCWSTR headers, DWORD length) {
    if (!headers)
        return {};
    // -1 marks a NUL-terminated block; 0 is taken the same way, as callers
    // that pass a string without its length expect.
    if (length == 0xFFFFFFFFu || length == 0)
        return std::u16string_view(headers);
    return std::u16string_view(headers, length);
}

}  // namespace orvi::inet
