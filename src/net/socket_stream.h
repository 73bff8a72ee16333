#pragma once
// ByteStream over a connected socket. The stream does not own the descriptor: the server closes it
// after the connection's thread has been joined, so a descriptor is never reused under a thread
// that still holds it.

#include "net/byte_stream.h"

namespace kel {

class SocketStream : public ByteStream {
public:
    explicit SocketStream(int fd) : fd_(fd) {}
    // 0 also when the deadline passes with nothing to read.
    size_t Read(void* out, size_t capacity) override;
    // Never raises SIGPIPE: a client that is gone is a failed write.
    bool Write(const void* data, size_t size) override;
    void SetDeadline(std::chrono::steady_clock::time_point deadline) override { deadline_ = deadline; }

private:
    const int fd_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace kel
