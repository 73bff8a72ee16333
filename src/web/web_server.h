#pragma once
// The web view's server: HTTPS (plain HTTP only on the loopback address) and WebSocket on a port
// of its own, one I/O thread for every connection, the live pictures compressed by a LiveFeed.
//
// A browser's WebSocket ("/ws", opened with its session cookie) asks for cameras with a text
// message "live 1 2 3 4" ("live" alone: none). It is sent, as binary messages, each new picture of
// those of them its user may watch (see LiveFrame), and once a second a text message with their
// marks: {"t":"marks","cameras":[{"n":1,"signal":true,"recording":false,"motion":false},…]}.
// A camera it may not watch is answered {"t":"refused","camera":5}. A browser slower than the
// cameras gets the newest picture of each camera when it can take one; the pictures between are
// dropped, never queued. Rights are checked again every second: a user removed or whose password
// changed is disconnected, a camera whose right was taken away stops.
//
// Window thread: Start, Stop. Stopping closes every connection and joins the threads.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "web/web_links.h"

namespace kel {

class WebServer {
public:
    static constexpr int kMaxConnections = 400;
    static constexpr size_t kMaxHeader = 8192;
    static constexpr size_t kMaxBody = 16384;
    static constexpr size_t kMaxMessage = 1024;  // a browser's WebSocket message

    struct Settings {
        int port = 8443;  // 0: any free port (tests)
        bool tls = true;
        std::string certFile;  // PEM; empty: the certificate of our own in `ownDir`
        std::string keyFile;
        std::string ownDir;  // where a certificate of our own is kept (made when missing)
    };

    explicit WebServer(WebLinks links);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // False with ErrorText when the certificate or the port cannot be had; the server is then off.
    bool Start(const Settings& settings);
    void Stop();
    bool Active() const;
    int BoundPort() const;
    const std::string& ErrorText() const { return error_; }

    // For the benchmarks and tests: open connections, live pictures compressed, and pictures
    // dropped for browsers that could not take them.
    int Connections() const;
    uint64_t Encoded() const;
    uint64_t Dropped() const;

    // Window thread: the station's name, which evidence exports name, as applied now.
    void SetStation(const std::string& name) { station_->Set(name); }

    // The certificate and key of our own in `dir`.
    static std::string OwnCertificate(const std::string& dir);
    static std::string OwnKey(const std::string& dir);

private:
    struct Impl;
    const WebLinks links_;
    const std::shared_ptr<StationName> station_ = std::make_shared<StationName>();
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

}  // namespace kel
