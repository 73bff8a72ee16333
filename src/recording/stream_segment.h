#pragma once
// A segment of a network camera recorded as the camera sends it: the stream's packets copied one
// by one, without decoding, into a fragmented MP4 file. The header goes first and each key frame
// starts a fragment of its own, so a file cut short by a crash or a kill plays up to its last
// whole fragment (MendStreamSegment cuts off a torn one). Each packet keeps the camera's own time
// stamps, in the file's time base.
//
// Beside the video, a text track holds for each picture the station's moment of its arrival
// ("2026-05-04: 09:30:00", a sample stamped like the picture), as the AVI segments' text stream
// does; a player shows it as a subtitle. The file's "comment" tag holds the segment's note
// ("KEL mode=motion start=46000.5 motions=0"), written with the header: a segment on motion is
// indexed as one, whatever its count.
//
// Not thread-safe; the recorder guards each camera's segment.

#include <cstdint>
#include <string>

#include "recording/segment.h"
#include "recording/segment_repair.h"

struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;

namespace kel {

class StreamSegment {
public:
    StreamSegment() = default;
    ~StreamSegment();
    StreamSegment(const StreamSegment&) = delete;
    StreamSegment& operator=(const StreamSegment&) = delete;

    // A new file at `path` (which must not exist) for a stream of `params` whose packets are
    // stamped in `timeBase` (numerator, denominator), with the note's mode and start. False with
    // ErrorText; nothing is left open then.
    bool Open(const std::string& path, const AVCodecParameters* params, int timeBaseNum, int timeBaseDen,
              const SegmentNote& note = {});
    // One packet of the stream, as it came (its stream index is ignored), and the moment of its
    // arrival (empty: none). False with ErrorText.
    bool Write(const AVPacket* packet, const std::string& stamp = {});
    // The file finished (its index of fragments written) and closed. False with ErrorText; the
    // file is closed either way.
    bool Close();

    bool IsOpen() const { return out_ != nullptr; }
    // Bytes written so far (what the size limit counts), and packets.
    int64_t Bytes() const;
    int64_t Packets() const { return packets_; }
    const std::string& ErrorText() const { return error_; }

    // The note in the comment of the segment at `path`; false when it has none.
    static bool ReadNote(const std::string& path, SegmentNote& note);

private:
    bool Fail(const std::string& what, int code);
    void Release();

    AVFormatContext* out_ = nullptr;
    int in_num_ = 1, in_den_ = 1;
    int64_t packets_ = 0;
    int64_t last_stamp_ = INT64_MIN;  // the text track's last sample, in the input's time base
    std::string error_;
};

// Mends the stream segment at `path` in place: whatever follows the last whole fragment (a
// fragment torn by a crash, a box cut short) is cut off, so that every picture left plays. The
// pictures kept are counted. A file that ends within its headers holds no picture (ok, 0); one
// that is no MP4 is left as it is (ok false).
RepairResult MendStreamSegment(const std::string& path);

// Whether two streams' packets can go into one segment: the same codec, size and parameter sets.
bool SameStream(const AVCodecParameters* a, const AVCodecParameters* b);

// Whether the file at `path` is a stream segment (by its name).
bool IsStreamSegment(const std::string& path);

}  // namespace kel
