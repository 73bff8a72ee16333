#pragma once
// The one thing the PTZ pad needs from a serial line: writing bytes. The port component is the real
// line; tests put a recording fake in its place.

#include <cstddef>
#include <cstdint>

namespace kel {

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // True only when every one of the `count` bytes was handed to the line.
    virtual bool SendData(const uint8_t* buffer, size_t count) = 0;
};

}  // namespace kel
