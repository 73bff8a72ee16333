#include "net/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "net/client_session.h"
#include "net/socket_stream.h"
#include "platform/guarded.h"

namespace kel {

namespace {
// How often the listener looks at its stop request while no one connects.
constexpr int kPollMs = 100;

std::string Reason() {
    return std::strerror(errno);
}
}  // namespace

TTcpServer::TTcpServer(ServerLinks links, std::atomic<int>& clientCount)
    : links_(std::move(links)), clients_(clientCount, links_.PerAddress), guard_(links_.Guard) {}

TTcpServer::~TTcpServer() {
    Stop();
}

bool TTcpServer::Start() {
    if (Active())
        return true;
    error_.clear();
    if (!OpenSocket()) {
        if (listen_fd_ >= 0)
            ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    guard_.SetStopping(false);
    listener_.Start([this](std::stop_token stop) { Listen(stop); },
                    [this](const std::string& what) { links_.Log("Blad watku serwera TCP: " + what); });
    return true;
}

bool TTcpServer::OpenSocket() {
    if (port_ < 0 || port_ > 65535) {
        error_ = "port " + std::to_string(port_) + " out of range";
        return false;
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) {
        error_ = "socket: " + Reason();
        return false;
    }
    // A restarted station may take its port back while old connections linger in TIME_WAIT.
    int on = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error_ = "bind: " + Reason();
        return false;
    }
    if (::listen(listen_fd_, SOMAXCONN) != 0) {
        error_ = "listen: " + Reason();
        return false;
    }
    socklen_t length = sizeof address;
    if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        bound_port_ = ntohs(address.sin_port);
    return true;
}

void TTcpServer::Stop() {
    if (!Active())
        return;
    listener_.Stop();
    guard_.SetStopping(true);  // a refused login's wait ends at once
    ::close(listen_fd_);
    listen_fd_ = -1;
    std::list<std::unique_ptr<Connection>> connections;
    {
        MutexLock lock(connections_mutex_);
        for (auto& c : connections_)
            ::shutdown(c->fd, SHUT_RDWR);
        connections.swap(connections_);
    }
    for (auto& c : connections) {
        c->thread.join();
        ::close(c->fd);
    }
}

void TTcpServer::Listen(std::stop_token stop) {
    while (!stop.stop_requested()) {
        pollfd p{listen_fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, kPollMs);
        ReapFinished();
        if (ready > 0)
            Accept();
    }
}

void TTcpServer::Accept() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors: the waiting client stays queued; pause rather than spin on it.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        return;  // otherwise the client gave up before we took it
    }
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection& c = *connection;
    MutexLock lock(connections_mutex_);
    connections_.push_back(std::move(connection));
    try {
        c.thread =
            std::jthread([&c, this, peer = std::string(text)] { Serve(c, clients_, links_, guard_, peer); });
    } catch (const std::system_error&) {
        // No thread to be had: this client is turned away, the listener goes on.
        connections_.pop_back();
        ::close(fd);
    }
}

void TTcpServer::Serve(Connection& connection, ClientTable& table, const ServerLinks& links, PeerGuard& guard,
                       std::string peer) {
    try {
        SocketStream stream(connection.fd, links.SendTime);
        ClientSession session(stream, table, links, std::move(peer), &guard);
        session.Run();
    } catch (const std::exception& e) {
        // Out of memory for the reply buffer: the connection ends, the station runs on.
        links.Log(std::string("Blad polaczenia sieciowego: ") + e.what());
    }
    ::shutdown(connection.fd, SHUT_RDWR);
    connection.done.store(true, std::memory_order_release);
}

void TTcpServer::ReapFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        MutexLock lock(connections_mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if ((*it)->done.load(std::memory_order_acquire))
                finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (auto& c : finished) {
        c->thread.join();
        ::close(c->fd);
    }
}

}  // namespace kel
