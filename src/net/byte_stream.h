#pragma once
// The two directions of one client connection, so the protocol runs over a socket in the server
// and over memory in tests and the fuzz target.

#include <chrono>
#include <cstddef>

namespace kel {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Up to `capacity` bytes; 0 when the peer has closed or the connection failed.
    virtual size_t Read(void* out, size_t capacity) = 0;
    // All `size` bytes or false (the peer is gone).
    virtual bool Write(const void* data, size_t size) = 0;
    // Reads from now on give up (return 0) at `deadline`. Streams in memory ignore it.
    virtual void SetDeadline(std::chrono::steady_clock::time_point deadline) { (void)deadline; }
};

}  // namespace kel
