#include "ptz/comport_driver_thread.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace kel {

namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

TComportDriverThread::TComportDriverThread(Poster post, ErrorHandler onError)
    : post_(std::move(post)), onError_(std::move(onError)) {}

TComportDriverThread::~TComportDriverThread() {
    StopPolling();
    Disconnect();
}

bool TComportDriverThread::Connect() {
    if (fd_ >= 0)
        return true;
    // Non-blocking: the open must not wait for a carrier, and writes wait only as long as we say.
    int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = SystemError(device_, errno);
        return false;
    }
    if (!::isatty(fd)) {
        error_ = device_ + ": not a serial line";
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = SystemError(device_ + ": in use", errno);
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        error_ = SystemError(device_ + ": exclusive use", errno);
        ::close(fd);
        return false;
    }
    if (!Configure(fd, line_)) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }
    ::tcflush(fd, TCIFLUSH);  // bytes that arrived before the line was ours mean nothing
    fd_ = fd;
    if (settleDelay_ > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(settleDelay_));
    return true;
}

// The termios settings, then the modem lines. A line without modem control (a pseudo-terminal, some
// USB adapters) refuses TIOCMBIS/TIOCMBIC; it has no RTS or DTR to set, so that is no failure.
bool TComportDriverThread::Configure(int fd, const LineSettings& s) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        error_ = SystemError(device_ + ": reading the line settings", errno);
        return false;
    }
    if (!ApplyLineSettings(s, t, error_))
        return false;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        error_ = SystemError(device_ + ": setting the line", errno);
        return false;
    }
    ModemLines lines = ModemLinesFor(s);
    if (lines.set != 0)
        ::ioctl(fd, TIOCMBIS, &lines.set);
    ::ioctl(fd, TIOCMBIC, &lines.clear);
    return true;
}

void TComportDriverThread::Disconnect() {
    if (fd_ < 0)
        return;
    // close() on a serial port waits until the output has left, up to half a minute on a line held
    // by its handshake; wait a bounded time ourselves and drop what is left instead.
    auto deadline = Clock::now() + std::chrono::milliseconds(writeTimeout_);
    int queued = 0;
    while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::tcflush(fd_, TCOFLUSH);
    // The exclusive mark belongs to the terminal, not to this descriptor: clear it, or the next
    // opener of a terminal that outlives us (a pseudo-terminal) is refused.
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

bool TComportDriverThread::SendData(const uint8_t* buffer, size_t count) {
    if (fd_ < 0) {
        error_ = device_ + ": the port is not open";
        return false;
    }
    if (count == 0)
        return true;
    if (!buffer)
        return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(writeTimeout_);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error_ = SystemError(device_ + ": write", errno);
            return false;
        }
        // The driver's buffer is full: wait for room, but not past the deadline.
        int left = MillisecondsLeft(deadline);
        pollfd p{fd_, POLLOUT, 0};
        int r = left > 0 ? ::poll(&p, 1, left) : 0;
        if (r < 0 && errno != EINTR) {
            error_ = SystemError(device_ + ": waiting to write", errno);
            return false;
        }
        if (r == 0 && MillisecondsLeft(deadline) == 0) {
            error_ = device_ + ": the line took " + std::to_string(done) + " of " + std::to_string(count) +
                     " bytes in " + std::to_string(writeTimeout_) + " ms";
            return false;
        }
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
            error_ = device_ + ": the line hung up";
            return false;
        }
    }
    return true;
}

void TComportDriverThread::SetActive(bool active) {
    if (active == active_)
        return;
    if (!active) {
        StopPolling();
        return;
    }
    active_ = true;
    ++generation_;
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
    // The job holds no strong reference: it runs only while the component lives. A post that
    // fails (out of memory) is tried again at the next period.
    poller_.Start(
        std::chrono::milliseconds(pollingDelay_), PeriodicThread::Pace::PauseAfterWork,
        [this, alive = std::weak_ptr<void>(alive_), g = generation_] {
            post_([this, alive, g] {
                if (!alive.expired())
                    OnPoll(g);
            });
        },
        nullptr, true);
}

void TComportDriverThread::StopPolling() {
    active_ = false;
    poller_.Stop();
}

void TComportDriverThread::OnPoll(uint64_t generation) {
    if (!active_ || generation != generation_ || fd_ >= 0)
        return;
    if (Connect())
        return;
    StopPolling();
    if (onError_)
        onError_(kConnectError);
}

bool TComportDriverThread::SetDevice(std::string path) {
    if (fd_ >= 0) {
        error_ = "the device of an open port cannot change";
        return false;
    }
    device_ = std::move(path);
    return true;
}

bool TComportDriverThread::SetPortIndex(int index) {
    if (index < 0 || index > 8) {
        error_ = "port index " + std::to_string(index) + " is outside 0..8";
        return false;
    }
    return SetDevice("/dev/ttyS" + std::to_string(index));
}

bool TComportDriverThread::ChangeLine(const LineSettings& next) {
    termios scratch{};
    if (!ApplyLineSettings(next, scratch, error_))
        return false;
    if (fd_ >= 0 && !Configure(fd_, next)) {
        std::string why = error_;
        Configure(fd_, line_);  // back to what the port ran with
        error_ = why;
        return false;
    }
    line_ = next;
    return true;
}

bool TComportDriverThread::SetSpeed(ComSpeed speed) {
    LineSettings next = line_;
    next.speed = speed;
    return ChangeLine(next);
}

bool TComportDriverThread::SetDataBits(int bits) {
    LineSettings next = line_;
    next.dataBits = bits;
    return ChangeLine(next);
}

bool TComportDriverThread::SetParity(ComParity parity) {
    LineSettings next = line_;
    next.parity = parity;
    return ChangeLine(next);
}

bool TComportDriverThread::SetStopBits(ComStopBits bits) {
    LineSettings next = line_;
    next.stopBits = bits;
    return ChangeLine(next);
}

bool TComportDriverThread::SetHwHandshake(HwHandshake handshake) {
    LineSettings next = line_;
    next.hardware = handshake;
    return ChangeLine(next);
}

bool TComportDriverThread::SetSwHandshake(SwHandshake handshake) {
    LineSettings next = line_;
    next.software = handshake;
    return ChangeLine(next);
}

bool TComportDriverThread::SetReadTimeouts(int intervalMs, int totalMultiplierMs, int totalConstantMs) {
    LineSettings next = line_;
    next.readIntervalTimeout = intervalMs;
    next.readTotalTimeoutMultiplier = totalMultiplierMs;
    next.readTotalTimeoutConstant = totalConstantMs;
    return ChangeLine(next);
}

void TComportDriverThread::SetBufferSizes(int inBytes, int outBytes) {
    inBufferSize_ = inBytes;
    outBufferSize_ = outBytes;
}

}  // namespace kel
