#pragma once
// TTcpServer: the remote viewers' command server. A listener thread accepts IPv4 connections on
// all local addresses and gives each its own thread running a ClientSession.
//
// Stopping shuts every connection's socket down (which ends its blocking reads), joins every
// thread and only then closes the descriptors, so no thread ever uses a descriptor that has been
// closed or reused. Finished connections are joined by the listener as it goes.

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "net/client_table.h"
#include "net/peer_guard.h"
#include "net/server_links.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

namespace kel {

class TTcpServer {
public:
    TTcpServer(ServerLinks links, std::atomic<int>& clientCount);
    // Stops the server.
    ~TTcpServer();
    TTcpServer(const TTcpServer&) = delete;
    TTcpServer& operator=(const TTcpServer&) = delete;

    // Window thread: the port taken by the next Start.
    void SetPort(int port) { port_ = port; }
    // Window thread: opens the port and starts listening. False with ErrorText (the reason) when
    // the port cannot be opened; the server then stays off.
    bool Start();
    // Window thread: the listener closed, every connection shut down and joined.
    void Stop();
    bool Active() const { return listener_.Running(); }
    // The port actually bound (Start with port 0 binds a free one, for tests).
    int BoundPort() const { return bound_port_; }
    const std::string& ErrorText() const { return error_; }
    const ClientTable& Clients() const { return clients_; }

private:
    struct Connection {
        int fd = -1;
        std::atomic<bool> done{false};
        std::jthread thread;
    };

    bool OpenSocket();
    void Listen(std::stop_token stop);
    void Accept();
    void ReapFinished();
    static void Serve(Connection& connection, ClientTable& table, const ServerLinks& links, PeerGuard& guard,
                      std::string peer);

    // Fixed after construction.
    const ServerLinks links_;

    // Window thread only.
    int port_ = 777;
    int bound_port_ = 0;
    std::string error_;
    int listen_fd_ = -1;  // read by the listener while it runs

    ClientTable clients_;
    PeerGuard guard_;
    Mutex connections_mutex_;
    std::list<std::unique_ptr<Connection>> connections_ KEL_GUARDED_BY(connections_mutex_);
    WorkerThread listener_;
};

}  // namespace kel
