#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace kel {

namespace {
std::string TmpPath(const std::string& name) {
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
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

void InstanceLock::Release() {
    if (fd_ < 0)
        return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace kel
