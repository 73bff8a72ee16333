#pragma once
// The little of a Video4Linux2 device that the capture needs, behind an interface so that the
// capture can be tried against a device that follows the kernel's documented behaviour without a
// card in the machine. The calls mean what their system calls mean: results are 0 or an errno
// value (ENODEV when the device went away, EAGAIN when no buffer is ready).

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace kel {

class VideoDevice {
public:
    virtual ~VideoDevice() = default;
    // Opens the device non-blocking.
    virtual int Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual int Ioctl(unsigned long request, void* argument) = 0;
    // Maps a buffer the device offered; nullptr on failure.
    virtual void* Map(size_t length, off_t offset) = 0;
    virtual void Unmap(void* address, size_t length) = 0;
    // Waits up to `ms` for a filled buffer: 1 ready, 0 time-out, an errno value as a negative number.
    virtual int Wait(int ms) = 0;
};

// The kernel's devices.
class LinuxVideoDevice : public VideoDevice {
public:
    ~LinuxVideoDevice() override;
    int Open(const std::string& path) override;
    void Close() override;
    int Ioctl(unsigned long request, void* argument) override;
    void* Map(size_t length, off_t offset) override;
    void Unmap(void* address, size_t length) override;
    int Wait(int ms) override;

private:
    int fd_ = -1;
};

using VideoDeviceFactory = std::function<std::unique_ptr<VideoDevice>()>;

}  // namespace kel
