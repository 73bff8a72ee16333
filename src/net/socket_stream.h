#pragma once
// ByteStream over a connected socket. The stream does not own the descriptor: the server closes it
// after the connection's thread has been joined, so a descriptor is never reused under a thread
// that still holds it.

#include "net/byte_stream.h"

namespace kel {

class SocketStream : public ByteStream {
public:
    // A write that the client does not take within `sendTime` fails: a client that never reads
    // must not hold its connection's thread (and its slot) in send() for ever.
    explicit SocketStream(int fd, std::chrono::milliseconds sendTime = std::chrono::seconds(10))
        : fd_(fd), send_time_(sendTime) {}
    // 0 also when the deadline passes with nothing to read.
    size_t Read(void* out, size_t capacity) override;
    // Never raises SIGPIPE: a client that is gone, or that has not taken the data within the send
    // time, is a failed write.
    bool Write(const void* data, size_t size) override;
    void SetDeadline(std::chrono::steady_clock::time_point deadline) override { deadline_ = deadline; }

private:
    const int fd_;
    const std::chrono::milliseconds send_time_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};

}  // namespace kel
