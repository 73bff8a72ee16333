#pragma once
// A remote viewer for tests: a blocking IPv4 connection to the server on loopback, with a receive
// time-out so a missing reply fails the test instead of hanging it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kel {

class TestClient {
public:
    explicit TestClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~TestClient() { Close(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return connected_; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool Send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Exactly n bytes, or fewer when the server closed (or went silent for 10 s).
    std::string Read(size_t n) {
        std::string out;
        while (out.size() < n) {
            char buf[65536];
            ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0)
                break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }
    // A reply line with its CR LF.
    std::string Line() {
        std::string out;
        while (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) {
            std::string c = Read(1);
            if (c.empty())
                break;
            out += c;
        }
        return out;
    }
    uint32_t Be32() {
        std::string b = Read(4);
        if (b.size() != 4)
            return 0xFFFFFFFF;
        uint32_t v = 0;
        for (char c : b)
            v = (v << 8) | static_cast<uint8_t>(c);
        return v;
    }
    // True when the server has closed the connection (after any bytes still unread).
    bool ClosedByServer() {
        char c;
        return ::recv(fd_, &c, 1, 0) == 0;
    }
    // Logs in and returns the 16 rights bytes after "@ufo".
    std::string LogIn(const std::string& login, const std::string& password) {
        Send("@gud\n" + login + "\n" + password + "\n");
        if (Line() != "@ufo\r\n")
            return "";
        return Read(16);
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

}  // namespace kel
