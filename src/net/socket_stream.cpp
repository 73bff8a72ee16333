#include "net/socket_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>

#include <cerrno>

namespace kel {

size_t SocketStream::Read(void* out, size_t capacity) {
    for (;;) {
        if (deadline_ != std::chrono::steady_clock::time_point::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline_ - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            const int ready = left.count() <= 0
                                  ? 0
                                  : ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0 && std::chrono::steady_clock::now() >= deadline_)
                return 0;
            if (ready == 0)
                continue;
        }
        ssize_t n = ::recv(fd_, out, capacity, 0);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

bool SocketStream::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + send_time_;
    while (size > 0) {
        ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The client's buffers are full: wait for room until the deadline.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd w{fd_, POLLOUT, 0};
            if (left.count() <= 0 ||
                (::poll(&w, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000))) == 0 &&
                 std::chrono::steady_clock::now() >= deadline))
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace kel
