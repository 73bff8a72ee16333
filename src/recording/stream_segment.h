#pragma once
// A segment of a network camera recorded as the camera sends it: the stream's packets copied one
// by one, without decoding, into a fragmented MP4 file. The header goes first and each key frame
// starts a fragment of its own, so a file cut short by a crash or a kill plays up to its last
// whole fragment. Each packet keeps the camera's own time stamps, in the file's time base.

#include <cstdint>
#include <string>

struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;
struct AVRational;

namespace kel {

class StreamSegment {
public:
    StreamSegment() = default;
    ~StreamSegment();
    StreamSegment(const StreamSegment&) = delete;
    StreamSegment& operator=(const StreamSegment&) = delete;

    // A new file at `path` for a stream of `params` whose packets are stamped in `timeBase`
    // (numerator, denominator). False with ErrorText; nothing is left open then.
    bool Open(const std::string& path, const AVCodecParameters* params, int timeBaseNum, int timeBaseDen);
    // One packet of the stream, as it came (its stream index is ignored). False with ErrorText.
    bool Write(const AVPacket* packet);
    // The file finished (its index of fragments written) and closed. False with ErrorText.
    bool Close();

    bool IsOpen() const { return out_ != nullptr; }
    // Bytes written so far (what the size limit counts), and packets.
    int64_t Bytes() const;
    int64_t Packets() const { return packets_; }
    const std::string& ErrorText() const { return error_; }

private:
    bool Fail(const std::string& what, int code);
    void Release();

    AVFormatContext* out_ = nullptr;
    int in_num_ = 1, in_den_ = 1;
    int64_t packets_ = 0;
    std::string error_;
};

}  // namespace kel
