// The link between processes: each process that owns windows listens on
// <root>/.runtime/user/<pid>.sock; another process connects, sends one
// request (post, send or foreground) and reads one reply. Only numbers
// travel, and the receiving side decides which system messages it accepts.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>

#include "display/Display.h"
#include "internal.h"
#include "kernel/internal.h"

namespace orvi::user {
namespace {

struct Request {
    uint32_t op;
    uint32_t msg;
    uint64_t hwnd;
    uint64_t wParam;
    int64_t lParam;
    uint32_t timeoutMs;
    uint32_t reserved;
};

struct Reply {
    int64_t result;
    uint32_t ok;
    uint32_t error;
};

// Grace beyond the target's own timeout before the caller gives up on a reply.
constexpr DWORD kReplyGraceMs = 1000;
constexpr int kPollSliceMs = 10;

std::string SocketPath(DWORD pid) {
    return kernel::RuntimeHostPath("user") + "/" + std::to_string(pid) + ".sock";
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path)
        return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
    auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

Reply Fail(DWORD error) { return Reply{0, 0, error}; }

// `postAfterReply` is set for a post that passed every check: it is queued
// only once the reply is on its way, because handling it may end this
// process before a reply written later would leave.
Reply Serve(const Request& req, bool* postAfterReply) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(req.hwnd));
    if (IsForeignHandle(hwnd) || !IsWindow(hwnd))
        return Fail(ERROR_INVALID_WINDOW_HANDLE);
    const auto op = static_cast<RemoteOp>(req.op);
    if (op == RemoteOp::Foreground) {
        if (!SetForegroundInternal(hwnd))
            return Fail(GetLastError());
        display::RaiseHostWindow();
        kernel::Trace("user: window %p brought forward for another process", static_cast<void*>(hwnd));
        return Reply{0, 1, 0};
    }
    const auto wParam = static_cast<WPARAM>(req.wParam);
    const auto lParam = static_cast<LPARAM>(req.lParam);
    if (!CrossesProcessBoundary(req.msg, wParam, lParam)) {
        kernel::Trace("user: dropped message 0x%04x from another process for window %p", req.msg,
                      static_cast<void*>(hwnd));
        return Fail(ERROR_ACCESS_DENIED);
    }
    kernel::Trace("user: %s message 0x%04x (wParam %llu, lParam %lld) from another process for "
                  "window %p",
                  op == RemoteOp::Post ? "posted" : "sent", req.msg,
                  static_cast<unsigned long long>(wParam), static_cast<long long>(lParam),
                  static_cast<void*>(hwnd));
    if (op == RemoteOp::Post) {
        *postAfterReply = true;
        return Reply{0, 1, 0};
    }
    LRESULT result = 0;
    if (!SendLocal(hwnd, req.msg, wParam, lParam, SendMode::Block, req.timeoutMs, false, true, &result))
        return Fail(GetLastError());
    return Reply{static_cast<int64_t>(result), 1, 0};
}

void ServeConnection(int fd) {
    Request req{};
    bool post = false;
    if (ReadAll(fd, &req, sizeof req) && req.op >= 1 && req.op <= 3) {
        Reply reply = Serve(req, &post);
        WriteAll(fd, &reply, sizeof reply);
    }
    close(fd);
    if (post)
        PostLocal(reinterpret_cast<HWND>(static_cast<uintptr_t>(req.hwnd)), req.msg,
                  static_cast<WPARAM>(req.wParam), static_cast<LPARAM>(req.lParam));
}

void Listen(int listener) {
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            kernel::Trace("user: listener stopped (errno %d)", errno);
            return;
        }
        // A send may wait for its window as long as the caller allows, so
        // every request gets its own thread and the listener stays free.
        std::thread(ServeConnection, fd).detach();
    }
}

int Connect(DWORD pid) {
    sockaddr_un addr;
    if (!FillAddress(SocketPath(pid), &addr))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Waits for the reply; a caller that sends keeps handling what is sent to
// it meanwhile, so two processes sending to each other do not deadlock.
bool AwaitReply(int fd, DWORD timeoutMs, bool pump, Reply* reply) {
    kernel::Deadline deadline(timeoutMs == INFINITE ? INFINITE : timeoutMs + kReplyGraceMs);
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int n = poll(&p, 1, kPollSliceMs);
        if (n > 0)
            return ReadAll(fd, reply, sizeof *reply);
        if (n < 0 && errno != EINTR)
            return false;
        if (deadline.Passed()) {
            *reply = Fail(ERROR_TIMEOUT);
            return true;
        }
        if (pump)
            DispatchIncomingSent();
    }
}

}  // namespace

bool CrossesProcessBoundary(UINT msg, WPARAM, LPARAM lParam) {
    if (msg >= WM_USER)
        return true;
    switch (msg) {
    case WM_NULL:
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_HOTKEY:
    case WM_SYSCOMMAND:
    case WM_CANCELMODE:
    case WM_QUIT:
        return true;
    case WM_TIMER:
    case WM_SETTINGCHANGE:
        return lParam == 0;
    default:
        return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
    }
}

void EnsureListener() {
    static std::mutex lock;
    static std::set<std::string> listening;
    const std::string path = SocketPath(static_cast<DWORD>(getpid()));
    std::lock_guard guard(lock);
    if (listening.count(path))
        return;
    sockaddr_un addr;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || !FillAddress(path, &addr)) {
        kernel::Trace("user: no listener at %s", path.c_str());
        if (fd >= 0)
            close(fd);
        return;
    }
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        kernel::Trace("user: cannot listen at %s (errno %d)", path.c_str(), errno);
        close(fd);
        return;
    }
    listening.insert(path);
    std::thread(Listen, fd).detach();
}

bool RemoteCall(RemoteOp op, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                LRESULT* result) {
    *result = 0;
    int fd = Connect(ProcessOfHandle(hwnd));
    if (fd < 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    Request req{static_cast<uint32_t>(op), msg, reinterpret_cast<uintptr_t>(hwnd), wParam,
                static_cast<int64_t>(lParam), timeoutMs, 0};
    Reply reply{};
    bool ok = WriteAll(fd, &req, sizeof req) && AwaitReply(fd, timeoutMs, op == RemoteOp::Send, &reply);
    close(fd);
    if (!ok) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (!reply.ok) {
        SetLastError(reply.error);
        return false;
    }
    *result = static_cast<LRESULT>(reply.result);
    return true;
}

}  // namespace orvi::user
