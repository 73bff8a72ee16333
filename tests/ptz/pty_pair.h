#pragma once
// A pseudo-terminal pair standing in for a serial line: the port under test opens the slave, the
// test reads the line on the master. Through the master the test also sees the slave's termios,
// which the pty driver keeps (speeds included) though it applies none of them.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kel {

// Up to `count` bytes from `fd`, whatever has come when `limitMs` is over.
inline std::vector<int> ReadBytes(int fd, size_t count, int limitMs = 5000) {
    std::vector<int> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        uint8_t buf[64];
        if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        char name[128];
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
            ::ptsname_r(master_, name, sizeof name) == 0)
            slave_ = name;
    }
    ~PtyPair() { ::close(master_); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return !slave_.empty(); }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slave_; }
    termios SlaveSettings() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }

private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace kel
