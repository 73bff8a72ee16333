#include "capture/hicap/v4l2_device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kel {

LinuxVideoDevice::~LinuxVideoDevice() {
    Close();
}

int LinuxVideoDevice::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd_ < 0 ? errno : 0;
}

void LinuxVideoDevice::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int LinuxVideoDevice::Ioctl(unsigned long request, void* argument) {
    if (fd_ < 0)
        return EBADF;
    int r;
    do {
        r = ::ioctl(fd_, request, argument);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
}

void* LinuxVideoDevice::Map(size_t length, off_t offset) {
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, offset);
    return p == MAP_FAILED ? nullptr : p;
}

void LinuxVideoDevice::Unmap(void* address, size_t length) {
    if (address)
        ::munmap(address, length);
}

int LinuxVideoDevice::Wait(int ms) {
    pollfd p{fd_, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        return -errno;
    if (r > 0 && (p.revents & (POLLHUP | POLLNVAL)))
        return -ENODEV;  // unplugged
    if (r > 0 && (p.revents & POLLERR) && !(p.revents & POLLIN))
        return -EIO;
    return r > 0 ? 1 : 0;
}

}  // namespace kel
