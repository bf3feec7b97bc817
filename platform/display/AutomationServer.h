// The automation socket: a Unix stream socket on which test drivers and
// scripts send one command per line and read one reply line per command.
// One platform thread accepts; each connected client is served on a thread
// of its own, so a client that stays connected does not block the next one.
// Both kinds of thread block in accept/recv and use no CPU while idle.
#pragma once

#include <string>

namespace orvi::display {

class AutomationServer {
public:
    // Binds and listens at socketPath (a stale socket there is removed; any
    // other file is left alone and the start fails), then accepts on a
    // thread that lives as long as the process.
    static bool Start(const std::string& socketPath);

private:
    explicit AutomationServer(int listener) : m_listener(listener) {}
    void AcceptLoop();
    static void Serve(int client);

    const int m_listener;
};

}  // namespace orvi::display
