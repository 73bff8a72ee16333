#pragma once
// The two directions of one client connection, so the protocol runs over a socket in the server
// and over memory in tests and the fuzz target.

#include <cstddef>

namespace kel {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Up to `capacity` bytes; 0 when the peer has closed or the connection failed.
    virtual size_t Read(void* out, size_t capacity) = 0;
    // All `size` bytes or false (the peer is gone).
    virtual bool Write(const void* data, size_t size) = 0;
};

}  // namespace kel
