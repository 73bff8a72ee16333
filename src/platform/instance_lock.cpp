#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace kel {

namespace {
std::string TmpPath(const std::string& name) {
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

bool BellAddress(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}
}  // namespace

InstanceLock::InstanceLock(std::string name) : name_(std::move(name)) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        path_ = std::string(runtime) + "/" + name_ + ".lock";
    else
        path_ = TmpPath(name_);
}

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::Acquire() {
    another_ = false;
    if (fd_ >= 0)
        return true;
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && path_.rfind("/tmp/", 0) != 0) {
        // A runtime folder that is gone (a stale XDG_RUNTIME_DIR) must not stop the station.
        path_ = TmpPath(name_);
        fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        error_ = path_ + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        another_ = err == EWOULDBLOCK;
        error_ = path_ + ": " + std::strerror(err);
        return false;
    }
    fd_ = fd;
    return true;
}

bool InstanceLock::OpenBell() {
    if (bell_ >= 0)
        return true;
    sockaddr_un addr;
    const std::string path = BellPath();
    if (fd_ < 0 || !BellAddress(path, addr)) {
        error_ = path + ": " + (fd_ < 0 ? "the mark is not held" : "path too long");
        return false;
    }
    ::unlink(path.c_str());  // we hold the mark: a socket file there is a dead holder's
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        error_ = path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bell_ = fd;
    return true;
}

bool InstanceLock::TakeRing() {
    if (bell_ < 0)
        return false;
    const int c = ::accept4(bell_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0)
        return false;
    ::close(c);
    return true;
}

bool InstanceLock::Ring() const {
    sockaddr_un addr;
    if (!BellAddress(BellPath(), addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool rang = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return rang;
}

void InstanceLock::Release() {
    if (bell_ >= 0) {
        ::close(bell_);
        ::unlink(BellPath().c_str());
        bell_ = -1;
    }
    if (fd_ < 0)
        return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace kel
