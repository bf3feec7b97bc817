#include "TestHttpServer.h"

#include "HttpResponseWriter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <list>
#include <map>
#include <stdexcept>
#include <mutex>
#include <thread>

namespace orvi::test {

namespace {

constexpr std::size_t kMaxHeadSize = 1 << 20;

std::string Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// Waits until `fd` has data (or was closed); false when the server stops.
bool WaitReadable(int fd, int stopFd)
{
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && !fds[1].revents;
    }
}

// Appends what the socket has to `data`; false when the peer left or the
// server stops.
bool ReceiveMore(int fd, int stopFd, std::string* data)
{
    char buffer[8192];
    if (!WaitReadable(fd, stopFd))
        return false;
    ssize_t n;
    do {
        n = recv(fd, buffer, sizeof buffer, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return false;
    data->append(buffer, static_cast<std::size_t>(n));
    return true;
}

// Splits the head (request line and header lines, bare LF tolerated).
bool ParseHead(std::string_view head, HttpRequest* request)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < head.size()) {
        auto end = head.find('\n', start);
        if (end == std::string_view::npos)
            end = head.size();
        std::string_view line = head.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    if (lines.empty())
        return false;
    const std::string& requestLine = lines[0];
    const auto firstSpace = requestLine.find(' ');
    const auto lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace)
        return false;
    request->method = requestLine.substr(0, firstSpace);
    request->target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request->version = requestLine.substr(lastSpace + 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto colon = lines[i].find(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        request->headers.push_back({lines[i].substr(0, colon),
                                    Trim(std::string_view(lines[i]).substr(colon + 1))});
    }
    return !request->method.empty() && !request->target.empty();
}

enum class ReadResult { Complete, Malformed, Gone };

ReadResult ReadRequest(int fd, int stopFd, HttpRequest* request)
{
    std::string data;
    std::size_t headEnd = std::string::npos;
    std::size_t bodyStart = 0;
    while (headEnd == std::string::npos) {
        if (data.size() > kMaxHeadSize)
            return ReadResult::Malformed;
        if (!ReceiveMore(fd, stopFd, &data))
            return ReadResult::Gone;
        const auto crlf = data.find("\r\n\r\n");
        const auto lf = data.find("\n\n");
        if (lf != std::string::npos && (crlf == std::string::npos || lf < crlf)) {
            headEnd = lf;
            bodyStart = lf + 2;
        } else if (crlf != std::string::npos) {
            headEnd = crlf;
            bodyStart = crlf + 4;
        }
    }
    if (!ParseHead(std::string_view(data).substr(0, headEnd), request))
        return ReadResult::Malformed;
    const std::string length = request->Header("Content-Length");
    const std::size_t bodyLength = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    if (data.size() - bodyStart < bodyLength && EqualsNoCase(request->Header("Expect"), "100-continue")) {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        send(fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL);
    }
    while (data.size() - bodyStart < bodyLength) {
        if (!ReceiveMore(fd, stopFd, &data))
            return ReadResult::Gone;
    }
    request->body = data.substr(bodyStart, bodyLength);
    return ReadResult::Complete;
}

// Ends the connection without a reset: whatever the client sent beyond the
// request is read away first, as unread input would turn close into RST and
// could destroy response bytes still in flight.
void CloseGracefully(int fd)
{
    shutdown(fd, SHUT_WR);
    char discard[4096];
    while (recv(fd, discard, sizeof discard, MSG_DONTWAIT) > 0) {
    }
}

}  // namespace

struct TestHttpServer::State {
    struct Connection {
        int fd = -1;  // guarded by mutex; -1 once closed
        bool done = false;
        std::thread thread;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool started = false;
    bool stopping = false;
    int listenFd = -1;
    int stopRead = -1;  // readable once Stop() began
    int stopWrite = -1;
    std::uint16_t port = 0;
    std::thread acceptThread;
    std::map<std::string, HttpHandler> routes;
    std::vector<HttpRequest> requests;
    std::list<Connection> connections;
    std::size_t openConnections = 0;

    void AcceptLoop();
    void ReapFinished();
    void Serve(Connection* connection);
    HttpResponse Answer(const HttpRequest& request);
};

std::string HttpRequest::Path() const
{
    return target.substr(0, target.find('?'));
}

std::string HttpRequest::Query() const
{
    const auto mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

std::string HttpRequest::Header(std::string_view name) const
{
    const HttpHeader* header = FindHeader(headers, name);
    return header ? header->value : std::string();
}

bool HttpRequest::HasHeader(std::string_view name) const
{
    return FindHeader(headers, name) != nullptr;
}

TestHttpServer::TestHttpServer() : m_state(std::make_shared<State>()) {}

TestHttpServer::~TestHttpServer()
{
    Stop();
}

bool TestHttpServer::Start()
{
    State& s = *m_state;
    std::lock_guard lock(s.mutex);
    if (s.started)
        return false;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            close(fd);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    s.started = true;
    s.listenFd = fd;
    s.stopRead = pipeFds[0];
    s.stopWrite = pipeFds[1];
    s.port = ntohs(address.sin_port);
    s.acceptThread = std::thread([&s] { s.AcceptLoop(); });
    return true;
}

void TestHttpServer::Stop()
{
    State& s = *m_state;
    {
        std::lock_guard lock(s.mutex);
        if (!s.started || s.stopping)
            return;
        s.stopping = true;
    }
    const char wake = 1;
    while (write(s.stopWrite, &wake, 1) < 0 && errno == EINTR) {
    }
    s.acceptThread.join();
    std::list<State::Connection> connections;
    {
        // Shutting down under the lock: a connection closes its descriptor
        // under the same lock, so no reused descriptor is hit here.
        std::lock_guard lock(s.mutex);
        for (auto& connection : s.connections) {
            if (connection.fd >= 0)
                shutdown(connection.fd, SHUT_RDWR);
        }
        connections.splice(connections.end(), s.connections);
    }
    for (auto& connection : connections)
        connection.thread.join();
    close(s.listenFd);
    close(s.stopRead);
    close(s.stopWrite);
}

std::uint16_t TestHttpServer::Port() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->port;
}

std::string TestHttpServer::Url(const std::string& path) const
{
    const std::string separator = !path.empty() && path[0] == '/' ? "" : "/";
    return "http://127.0.0.1:" + std::to_string(Port()) + separator + path;
}

void TestHttpServer::Route(const std::string& path, HttpResponse response)
{
    Route(path, [response = std::move(response)](const HttpRequest&) { return response; });
}

void TestHttpServer::Route(const std::string& path, HttpHandler handler)
{
    std::lock_guard lock(m_state->mutex);
    m_state->routes[path] = std::move(handler);
}

void TestHttpServer::RemoveRoute(const std::string& path)
{
    std::lock_guard lock(m_state->mutex);
    m_state->routes.erase(path);
}

std::size_t TestHttpServer::RequestCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests.size();
}

std::size_t TestHttpServer::RequestCount(const std::string& path) const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<std::size_t>(std::count_if(
        m_state->requests.begin(), m_state->requests.end(),
        [&path](const HttpRequest& request) { return request.Path() == path; }));
}

std::vector<HttpRequest> TestHttpServer::Requests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

bool TestHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout,
                                     [&] { return m_state->requests.size() >= count; });
}

std::size_t TestHttpServer::OpenConnections() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->openConnections;
}

bool TestHttpServer::WaitForNoConnections(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout,
                                     [&] { return m_state->openConnections == 0; });
}

void TestHttpServer::State::AcceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopRead, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            return;
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ReapFinished();
        std::lock_guard lock(mutex);
        Connection& connection = connections.emplace_back();
        connection.fd = fd;
        ++openConnections;
        connection.thread = std::thread([this, &connection] { Serve(&connection); });
    }
}

// Joins the threads of connections that ended, so a long test does not
// accumulate them.
void TestHttpServer::State::ReapFinished()
{
    std::list<Connection> finished;
    {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            auto next = std::next(it);
            if (it->done)
                finished.splice(finished.end(), connections, it);
            it = next;
        }
    }
    for (auto& connection : finished)
        connection.thread.join();
}

void TestHttpServer::State::Serve(Connection* connection)
{
    int fd;
    {
        std::lock_guard lock(mutex);
        fd = connection->fd;
    }
    HttpRequest request;
    const ReadResult read = ReadRequest(fd, stopRead, &request);
    if (read == ReadResult::Complete) {
        {
            std::lock_guard lock(mutex);
            requests.push_back(request);
        }
        changed.notify_all();
        const HttpResponse response = Answer(request);
        HttpResponseWriter(fd, stopRead, request, response).Send();
    } else if (read == ReadResult::Malformed) {
        const HttpResponse response = HttpResponse::Status(400, "Bad Request");
        HttpResponseWriter(fd, stopRead, request, response).Send();
    }
    CloseGracefully(fd);
    {
        std::lock_guard lock(mutex);
        close(fd);
        connection->fd = -1;
        connection->done = true;
        --openConnections;
    }
    changed.notify_all();
}

HttpResponse TestHttpServer::State::Answer(const HttpRequest& request)
{
    HttpHandler handler;
    {
        std::lock_guard lock(mutex);
        const auto route = routes.find(request.Path());
        if (route == routes.end())
            return HttpResponse::NotFound();
        handler = route->second;
    }
    try {
        return handler(request);
    } catch (const std::exception& error) {
        return HttpResponse::Status(500, "Internal Server Error", error.what());
    }
}

}  // namespace orvi::test
