#pragma once
// Reads a client's input: LF-ended lines of at most kMaxLine bytes (a CR right before the LF is
// dropped) and runs of raw bytes, from one buffer, so bytes a client sends ahead are never lost.

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/byte_stream.h"

namespace kel {

class LineReader {
public:
    static constexpr size_t kMaxLine = 16384;
    enum class Result { Ok, Closed, TooLong };

    explicit LineReader(ByteStream& stream) : stream_(stream) {}

    // The next line without its end. TooLong once a line has passed kMaxLine bytes (the rest of
    // it is not read); Closed when the stream ends before an LF.
    Result ReadLine(std::string& line);
    // Exactly `size` bytes; false when the stream ends first.
    bool ReadExact(uint8_t* out, size_t size);

private:
    bool Fill();

    ByteStream& stream_;
    std::string buffer_;  // received, not yet consumed
    size_t scanned_ = 0;  // bytes of buffer_ known to hold no LF
};

}  // namespace kel
