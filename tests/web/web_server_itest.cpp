// The web view's server on real sockets: live pictures over a WebSocket for the cameras a user may
// watch and no others, rights taken away while connected, and hostile clients (oversized or
// malformed requests and frames, a client that never reads, hundreds of idle connections) that
// leave the server serving everyone else.

#include "web/web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "capture/resolution.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

// Everything the server sends until it closes (or 5 s of silence).
std::string ReadToEnd(int fd) {
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

std::string Exchange(int port, const std::string& request) {
    const int fd = Connect(port);
    SendAll(fd, request);
    std::string reply = ReadToEnd(fd);
    ::close(fd);
    return reply;
}

int Status(const std::string& reply) {
    return reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0;
}

// A WebSocket client written by hand, so that it can also break the rules.
class RawSocket {
public:
    RawSocket(int port, const std::string& cookie, const std::string& extra = "",
              const std::string& path = "/ws") {
        fd_ = Connect(port);
        SendAll(fd_, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nCookie: " +
                         cookie + "\r\n" + extra + "\r\n");
        while (head_.find("\r\n\r\n") == std::string::npos) {
            char c;
            if (::recv(fd_, &c, 1, 0) != 1)
                break;
            head_.push_back(c);
        }
    }
    ~RawSocket() { Close(); }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int Status() const { return kel::Status(head_); }
    void SendFrame(uint8_t opcode, const std::string& payload, bool mask = true) {
        std::string frame(1, static_cast<char>(0x80 | opcode));
        const uint8_t bit = mask ? 0x80 : 0;
        if (payload.size() < 126) {
            frame.push_back(static_cast<char>(bit | payload.size()));
        } else {
            frame.push_back(static_cast<char>(bit | 126));
            frame.push_back(static_cast<char>(payload.size() >> 8));
            frame.push_back(static_cast<char>(payload.size() & 255));
        }
        std::string body = payload;
        if (mask) {
            const char key[4] = {0x12, 0x34, 0x56, 0x78};
            frame.append(key, 4);
            for (size_t i = 0; i < body.size(); ++i)
                body[i] ^= key[i % 4];
        }
        SendAll(fd_, frame + body);
    }
    void Text(const std::string& text) { SendFrame(1, text); }
    // The next message: its opcode (0 when the connection ended) and payload.
    int Next(std::string& payload) {
        uint8_t head[2];
        if (!Read(head, 2))
            return 0;
        uint64_t size = head[1] & 0x7f;
        if (size == 126) {
            uint8_t b[2];
            if (!Read(b, 2))
                return 0;
            size = (b[0] << 8) | b[1];
        } else if (size == 127) {
            uint8_t b[8];
            if (!Read(b, 8))
                return 0;
            size = 0;
            for (uint8_t x : b)
                size = size << 8 | x;
        }
        payload.resize(size);
        if (size && !Read(reinterpret_cast<uint8_t*>(payload.data()), size))
            return 0;
        return head[0] & 0x0f;
    }
    // Messages until one passes `want` or the connection ends; false for the end.
    bool Until(const std::function<bool(int opcode, const std::string&)>& want) {
        std::string payload;
        for (int opcode; (opcode = Next(payload)) != 0 && opcode != 8;)
            if (want(opcode, payload))
                return true;
        return false;
    }
    int Fd() const { return fd_; }

private:
    bool Read(uint8_t* out, size_t n) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::recv(fd_, out + got, n - got, 0);
            if (r <= 0)
                return false;
            got += static_cast<size_t>(r);
        }
        return true;
    }
    int fd_ = -1;
    std::string head_;
};

class WebServerTest : public ::testing::Test {
protected:
    WebServerTest() {
        users_[0].Login.Set("kel");
        users_[0].Password.Set("qxv-mocne1");  // a weak one is refused on the web
        std::fill(std::begin(users_[0].CamRights), std::end(users_[0].CamRights), 1);
        users_[1].Login.Set("ochrona");
        users_[1].Password.Set("tajne");
        users_[1].CamRights[0] = users_[1].CamRights[1] = 1;
        tables.SetUsers(users_);
        TCameraTable cameras{};
        for (int n = 1; n <= 3; ++n)
            cameras[n - 1].Active = 1;
        tables.SetCameras(cameras);
        feeder_ = std::jthread([this](std::stop_token stop) {
            // Noise, so that the pictures are as large as a busy scene's.
            std::vector<uint8_t> pictures[2];
            uint32_t seed = 1;
            for (auto& picture : pictures) {
                picture.resize(ResolutionBytes(2));
                for (uint8_t& b : picture)
                    b = static_cast<uint8_t>((seed = seed * 1664525 + 1013904223) >> 24);
            }
            for (size_t k = 0; !stop.stop_requested(); ++k) {
                for (int n = 1; n <= 3; ++n)
                    bank.Write(n, pictures[k % 2].data(), pictures[k % 2].size(), 2);
                std::this_thread::sleep_for(20ms);
            }
        });
    }
    ~WebServerTest() override {
        server.Stop();
        feeder_.request_stop();
    }
    int StartPlain() {
        WebServer::Settings how;
        how.port = 0;
        how.tls = false;
        EXPECT_TRUE(server.Start(how)) << server.ErrorText();
        return server.BoundPort();
    }
    std::string LogIn(int port, const std::string& login, const std::string& password) {
        const std::string body = "login=" + login + "&password=" + password;
        const std::string reply =
            Exchange(port, "POST /api/login HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body);
        const size_t at = reply.find("kel_session=");
        return at == std::string::npos ? "" : reply.substr(at, reply.find(';', at) - at);
    }
    // Pictures of `camera` this socket gets within a second.
    static int PicturesInASecond(RawSocket& socket, int camera) {
        int count = 0;
        const auto end = std::chrono::steady_clock::now() + 1s;
        socket.Until([&](int opcode, const std::string& payload) {
            if (opcode == 2 && payload.size() > 16 && payload[1] == camera)
                ++count;
            return std::chrono::steady_clock::now() > end;
        });
        return count;
    }

    FrameBank bank;
    CameraFlags signal{}, recording{}, motion{};
    ServerTables tables;
    std::atomic<uint32_t> watched{0};
    TUserTable users_{};
    WebServer server{WebLinks{bank, signal, recording, motion, tables, watched, [](const std::string&) {},
                              nullptr, nullptr, nullptr}};
    std::jthread feeder_;
};

TEST_F(WebServerTest, ABrowserGetsLivePicturesOfItsCamerasOnlyAndLosesThemWithItsRights) {
    const int port = StartPlain();
    const std::string cookie = LogIn(port, "ochrona", "tajne");
    ASSERT_FALSE(cookie.empty());
    RawSocket socket(port, cookie);
    ASSERT_EQ(socket.Status(), 101);
    socket.Text("live 1 3 x 99");
    bool refused = false, bad = false, picture = false, marks = false;
    ASSERT_TRUE(socket.Until([&](int opcode, const std::string& payload) {
        if (opcode == 1) {
            refused = refused || payload == "{\"t\":\"refused\",\"camera\":3}";
            bad = bad || payload.find("\"t\":\"error\"") != std::string::npos;
            marks = marks || payload.rfind("{\"t\":\"marks\",\"cameras\":[{\"n\":1,", 0) == 0;
        } else if (opcode == 2) {
            EXPECT_EQ(payload[0], 'L');
            EXPECT_EQ(payload[1], 1) << "only camera 1 was asked for and allowed";
            EXPECT_EQ(static_cast<uint8_t>(payload[16]), 0xFF);
            EXPECT_EQ(static_cast<uint8_t>(payload[17]), 0xD8);
            int64_t stamp = 0;
            std::memcpy(&stamp, payload.data() + 4, 8);
            const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
            EXPECT_LE(std::abs(now - stamp), 5000);
            picture = true;
        }
        return refused && bad && picture && marks;
    }));
    EXPECT_EQ(watched.load(), 1u << 1);
    // Playback: of a camera without the right, at a speed there is none of, of nothing recorded.
    socket.Text("play 3 4005945949000 1");
    EXPECT_TRUE(
        socket.Until([](int, const std::string& p) { return p == "{\"t\":\"refused\",\"camera\":3}"; }));
    socket.Text("play 1 4005945949000 32");
    EXPECT_TRUE(
        socket.Until([](int, const std::string& p) { return p.find("odtwarzania") != std::string::npos; }));
    socket.Text("play 1 4005945949000 4");
    EXPECT_TRUE(socket.Until([](int, const std::string& p) { return p == "{\"t\":\"ended\"}"; }));

    users_[1].CamRights[0] = 0;  // taken away while watching
    tables.SetUsers(users_);
    EXPECT_TRUE(socket.Until(
        [](int opcode, const std::string& p) { return p == "{\"t\":\"refused\",\"camera\":1}"; }));
    EXPECT_EQ(PicturesInASecond(socket, 1), 0);

    users_[1].Password.Set("nowe");
    tables.SetUsers(users_);
    EXPECT_FALSE(socket.Until([](int, const std::string&) { return false; })) << "the connection ends";
    EXPECT_EQ(Status(Exchange(port, "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " +
                                        cookie + "\r\n\r\n")),
              401);
}

TEST_F(WebServerTest, HostileClientsAreTurnedAwayWhileEveryoneElseIsServed) {
    const int port = StartPlain();
    const std::string cookie = LogIn(port, "kel", "qxv-mocne1");
    ASSERT_FALSE(cookie.empty());
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i)
        idle.push_back(Connect(port));
    EXPECT_EQ(std::count(idle.begin(), idle.end(), -1), 0);

    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"a header of 100 KB", "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(100000, 'a') + "\r\n\r\n",
         413},
        {"a body of 20 KB",
         "POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 20000\r\n\r\n" + std::string(20000, 'a'),
         413},
        {"no HTTP at all", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + "\r\n\r\n", 400},
        {"a broken request line", "GET\r\n\r\n", 400},
        {"a length that is no number", "POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n",
         400},
        {"a WebSocket without a session",
         "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: "
         "13\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
         401},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Status(Exchange(port, c.request)), c.status) << c.what;
    EXPECT_EQ(RawSocket(port, cookie, "Origin: https://evil.example\r\n").Status(), 403);
    EXPECT_EQ(RawSocket(port, cookie, "", "/ws2").Status(), 404);

    // Frames no browser sends end the connection, and only it.
    const std::function<void(RawSocket&)> breaches[] = {
        [](RawSocket& s) { s.SendFrame(1, "live 1", false); },              // unmasked
        [](RawSocket& s) { s.Text(std::string(4000, '1')); },               // too long
        [](RawSocket& s) { s.SendFrame(2, "live 1"); },                     // binary
        [](RawSocket& s) { s.SendFrame(0x3, "x"); },                        // a reserved opcode
        [](RawSocket& s) { SendAll(s.Fd(), std::string("\x81\xff", 2)); },  // a length cut off, then silence
    };
    for (size_t i = 0; i < std::size(breaches); ++i) {
        RawSocket socket(port, cookie);
        ASSERT_EQ(socket.Status(), 101);
        breaches[i](socket);
        if (i == std::size(breaches) - 1) {
            socket.Close();  // the cut-off frame: the client goes away
            continue;
        }
        EXPECT_FALSE(socket.Until([](int, const std::string&) { return false; })) << "breach " << i;
    }

    // A browser that never reads: its pictures are dropped, not queued, and nobody else waits.
    RawSocket stalled(port, cookie);
    const int tiny = 4096;
    setsockopt(stalled.Fd(), SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    stalled.Text("live 1 2 3");
    RawSocket watcher(port, cookie);
    watcher.Text("live 1");
    std::this_thread::sleep_for(3s);
    EXPECT_GT(server.Dropped(), 0u);
    EXPECT_GE(PicturesInASecond(watcher, 1), 10) << "pictures come at 50 a second";
    EXPECT_EQ(Status(Exchange(port, "GET /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")), 200);
    EXPECT_GE(server.Connections(), 200);

    for (int fd : idle)
        ::close(fd);
    stalled.Close();
    watcher.Close();
    for (int i = 0; i < 50 && server.Connections() > 0; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(WebServerTest, WithoutACertificateItMakesItsOwnAndSpeaksOnlyTls) {
    TempDir dir;
    WebServer::Settings how;
    how.port = 0;
    how.ownDir = dir.Path();
    ASSERT_TRUE(server.Start(how)) << server.ErrorText();
    struct stat key {};
    ASSERT_EQ(::stat(WebServer::OwnKey(dir.Path()).c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    const std::string url = "https://127.0.0.1:" + std::to_string(server.BoundPort());
    const std::string curl = "curl -sk -o /dev/null -w '%{http_code}' --max-time 10 ";
    auto run = [](const std::string& command) {
        std::string out;
        FILE* p = ::popen(command.c_str(), "r");
        char buffer[256];
        while (p && std::fgets(buffer, sizeof buffer, p))
            out += buffer;
        if (p)
            ::pclose(p);
        return out;
    };
    EXPECT_EQ(run(curl + url + "/login"), "200");
    EXPECT_EQ(run(curl + url + "/"), "303");
    EXPECT_EQ(run(curl + "--tls-max 1.1 " + url + "/login"), "000") << "old TLS is refused";
    EXPECT_EQ(Status(Exchange(server.BoundPort(), "GET /login HTTP/1.1\r\nHost: x\r\n\r\n")), 0)
        << "plain HTTP gets no page from a TLS port";

    // The same certificate serves the next start; a broken one is refused with the reason.
    const auto made = std::filesystem::last_write_time(WebServer::OwnCertificate(dir.Path()));
    ASSERT_TRUE(server.Start(how)) << server.ErrorText();
    EXPECT_EQ(std::filesystem::last_write_time(WebServer::OwnCertificate(dir.Path())), made);
    how.certFile = dir.File("broken.pem");
    how.keyFile = WebServer::OwnKey(dir.Path());
    FILE* broken = std::fopen(how.certFile.c_str(), "w");
    std::fputs("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n", broken);
    std::fclose(broken);
    EXPECT_FALSE(server.Start(how));
    EXPECT_NE(server.ErrorText().find("broken.pem"), std::string::npos) << server.ErrorText();
    EXPECT_FALSE(server.Active());
}

}  // namespace
}  // namespace kel
