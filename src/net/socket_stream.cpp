#include "net/socket_stream.h"

#include <sys/socket.h>

#include <cerrno>

namespace kel {

size_t SocketStream::Read(void* out, size_t capacity) {
    for (;;) {
        ssize_t n = ::recv(fd_, out, capacity, 0);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

bool SocketStream::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace kel
