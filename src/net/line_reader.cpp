#include "net/line_reader.h"

#include <cstring>

namespace kel {

namespace {
constexpr size_t kChunk = 4096;
}

bool LineReader::Fill() {
    char chunk[kChunk];
    size_t n = stream_.Read(chunk, sizeof chunk);
    if (n == 0)
        return false;
    buffer_.append(chunk, n);
    return true;
}

LineReader::Result LineReader::ReadLine(std::string& line) {
    for (;;) {
        size_t lf = buffer_.find('\n', scanned_);
        if (lf != std::string::npos) {
            size_t length = lf > 0 && buffer_[lf - 1] == '\r' ? lf - 1 : lf;
            if (length > kMaxLine)
                return Result::TooLong;
            line.assign(buffer_, 0, length);
            buffer_.erase(0, lf + 1);
            scanned_ = 0;
            return Result::Ok;
        }
        scanned_ = buffer_.size();
        // One byte more than the limit may still be the CR of a line that fits.
        if (buffer_.size() > kMaxLine + 1)
            return Result::TooLong;
        if (!Fill())
            return Result::Closed;
    }
}

bool LineReader::ReadExact(uint8_t* out, size_t size) {
    while (buffer_.size() < size)
        if (!Fill())
            return false;
    std::memcpy(out, buffer_.data(), size);
    buffer_.erase(0, size);
    scanned_ = 0;
    return true;
}

}  // namespace kel
