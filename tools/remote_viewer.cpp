// kel_remote: a remote viewer on the command line, for testing a station by hand and in tests.
// It connects, logs in, reads the camera table, selects cameras, polls for pictures and saves
// them as AVI files a player or ffmpeg opens: one file per camera, or one per picture. A camera
// asked for that the user has no right to view is named as refused: the station never sends it.
//
//   kel_remote [--host H] [--port P] --user LOGIN --password PASS [--cameras 1,2,…]
//              [--polls N] [--interval-ms MS] [--out DIR] [--pictures]

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/resolution.h"
#include "config/records.h"
#include "platform/cp1250.h"
#include "recording/frame_batch.h"
#include "recording/segment.h"

namespace {

struct Options {
    std::string host = "127.0.0.1";
    std::string port = "777";
    std::string user, password;
    std::vector<int> cameras{1};
    int polls = 25;
    int intervalMs = 40;
    std::string out = ".";
    bool pictures = false;
};

// One connection to the station; every read fails once the station has closed it.
class Connection {
public:
    ~Connection() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Open(const std::string& host, const std::string& port) {
        addrinfo hints{}, *list = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0)
            return false;
        for (addrinfo* a = list; a && fd_ < 0; a = a->ai_next) {
            fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, 0);
            if (fd_ >= 0 && ::connect(fd_, a->ai_addr, a->ai_addrlen) != 0) {
                ::close(fd_);
                fd_ = -1;
            }
        }
        ::freeaddrinfo(list);
        return fd_ >= 0;
    }
    bool Send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    bool Read(void* out, size_t n) {
        auto* p = static_cast<char*>(out);
        while (n > 0) {
            ssize_t got = ::recv(fd_, p, n, 0);
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    std::string Line() {
        std::string line;
        char c;
        while (Read(&c, 1) && c != '\n')
            line += c;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    bool Be32(uint32_t& v) {
        uint8_t b[4];
        if (!Read(b, 4))
            return false;
        v = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
        return true;
    }

private:
    int fd_ = -1;
};

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--host")
            o.host = next();
        else if (a == "--port")
            o.port = next();
        else if (a == "--user")
            o.user = next();
        else if (a == "--password")
            o.password = next();
        else if (a == "--polls")
            o.polls = std::atoi(next().c_str());
        else if (a == "--interval-ms")
            o.intervalMs = std::atoi(next().c_str());
        else if (a == "--out")
            o.out = next();
        else if (a == "--pictures")
            o.pictures = true;
        else if (a == "--cameras") {
            o.cameras.clear();
            std::stringstream list(next());
            for (std::string n; std::getline(list, n, ',');)
                o.cameras.push_back(std::atoi(n.c_str()));
        } else
            return false;
    }
    return !o.user.empty();
}

// Where a camera's pictures go: one open file, or a new one per picture.
class PictureFiles {
public:
    PictureFiles(const Options& o, const kel::TCameraTable& cameras) : options_(o), cameras_(cameras) {}
    ~PictureFiles() {
        for (auto& [n, file] : open_)
            file->Close();
    }
    bool Save(int camera, const uint8_t* data, size_t size) {
        int count = ++counts_[camera];
        kel::Segment* file = open_.count(camera) ? open_[camera].get() : nullptr;
        if (options_.pictures || !file) {
            std::string name = "kamera" + std::to_string(camera);
            if (options_.pictures)
                name += "_" + std::to_string(count);
            auto segment = std::make_unique<kel::Segment>();
            const kel::TCameraRecord& r = cameras_[camera - 1];
            kel::PictureSize s = kel::ResolutionSize(kel::ValidResolution(r.Resolution) ? r.Resolution : 2);
            std::string path = options_.out + "/" + name + ".avi";
            std::filesystem::remove(path);
            if (!segment->Open(path, name, 0, s.width, s.height, r.FPS > 0 ? r.FPS : 25))
                return false;
            if (open_.count(camera))
                open_[camera]->Close();
            open_[camera] = std::move(segment);
            file = open_[camera].get();
        }
        return file->WriteFrame(data, size, "");
    }
    const std::map<int, int>& Counts() const { return counts_; }

private:
    const Options& options_;
    const kel::TCameraTable& cameras_;
    std::map<int, std::unique_ptr<kel::Segment>> open_;
    std::map<int, int> counts_;
};

int Fail(const char* what) {
    std::fprintf(stderr, "kel_remote: %s\n", what);
    return 1;
}

}  // namespace

constexpr const char* kUsage =
    "usage: kel_remote [--host H] [--port P] --user LOGIN --password PASS [--cameras 1,2] [--polls N]\n"
    "                  [--interval-ms MS] [--out DIR] [--pictures]\n"
    "       kel_remote --help | --version\n"
    "Logs in to a station's TCP server as a remote viewer does, selects cameras and polls pictures.\n";

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::string(argv[i]) == "--version") {
            std::puts("kel_remote " KEL_VERSION);
            return 0;
        }
    }
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Connection c;
    if (!c.Open(o.host, o.port))
        return Fail("cannot connect");
    std::string greeting = c.Line();
    if (greeting != "KEL2.0")
        return Fail(("refused: " + greeting).c_str());
    uint8_t rights[16];
    // The station keeps logins in code page 1250; the command line gives UTF-8.
    if (!c.Send("@gud\n" + kel::ToCp1250(o.user) + "\n" + kel::ToCp1250(o.password) + "\n") ||
        c.Line() != "@ufo" || !c.Read(rights, 16))
        return Fail("login refused");
    uint32_t length = 0;
    kel::TCameraTable cameras{};
    if (!c.Send("@gcd\n") || c.Line() != "@ufo" || !c.Be32(length) || length != sizeof cameras ||
        !c.Read(cameras.data(), sizeof cameras))
        return Fail("no camera table");
    std::string selection(16, '\0');
    for (int n : o.cameras)
        if (n >= 1 && n <= 16) {
            selection[n - 1] = 1;
            if (rights[n - 1] == 0)
                std::printf("camera %d: refused (no right to view it)\n", n);
        }
    if (!c.Send("@svc\n" + selection))
        return Fail("connection lost");
    std::filesystem::create_directories(o.out);
    PictureFiles files(o, cameras);
    std::vector<uint8_t> payload;
    for (int poll = 0; poll < o.polls; ++poll) {
        // Time and date, then at most every camera's largest picture: a longer length is no reply
        // of a station, and is not trusted with memory.
        constexpr uint32_t kLongestReply = 21 + 16 * (8 + kel::FrameBatch::kSlotBytes);
        if (!c.Send("@gcs\n") || c.Line() != "@ufo" || !c.Be32(length) || length < 21 ||
            length > kLongestReply)
            return Fail("bad picture reply");
        payload.resize(length);
        if (!c.Read(payload.data(), length))
            return Fail("connection lost");
        for (size_t at = 21; at + 8 <= payload.size();) {
            int camera = static_cast<int>(Le32(&payload[at]));
            uint32_t size = Le32(&payload[at + 4]);
            at += 8;
            if (size > payload.size() - at || camera < 1 || camera > 16)
                return Fail("bad picture payload");
            if (size > 0 && !files.Save(camera, &payload[at], size))
                return Fail("cannot write the picture file");
            at += size;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(o.intervalMs));
    }
    for (auto [camera, count] : files.Counts())
        std::printf("camera %d: %d pictures\n", camera, count);
    return 0;
}
