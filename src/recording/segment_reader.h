#pragma once
// Reads a recorded segment back: its picture size and rate, and picture by picture the compressed
// video chunk and the time-stamp text beside it. A finished segment is read through its own index
// ('idx1'), never by walking the file; one without an index (still being recorded, or cut short
// by a crash) is walked chunk by chunk, and Refresh picks up what was appended since. Either way
// the pictures end where the file stops making sense: a damaged segment gives the pictures before
// its damage.
//
// A stream segment (a network camera recorded as it sent, "*.mp4") is read through libavformat
// once at the opening: its pictures in the order they are decoded, each with its place in the
// file, key-frame flag and time stamps, and the moment of arrival its text track gives. Its
// pictures are read like the AVI ones; unlike them, only key pictures decode on their own
// (KeyBefore says where decoding must start).
//
// Reads use pread on one descriptor; one thread uses a reader at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;

namespace kel {

// What a stream segment's pictures need beyond their bytes: the stream's parameters, and per
// picture its key flag and time stamps (in the stream's time base).
struct StreamPictures {
    struct Times {
        bool key = false;
        int64_t pts = 0, dts = 0, duration = 0;
    };
    AVCodecParameters* params = nullptr;
    int timeBaseNum = 1, timeBaseDen = 25;
    std::vector<Times> times;
    std::vector<std::string> stamps;
    StreamPictures() = default;
    StreamPictures(const StreamPictures&) = delete;
    StreamPictures& operator=(const StreamPictures&) = delete;
    ~StreamPictures();
};

class SegmentReader {
public:
    SegmentReader() = default;
    ~SegmentReader();
    SegmentReader(const SegmentReader&) = delete;
    SegmentReader& operator=(const SegmentReader&) = delete;
    SegmentReader(SegmentReader&& other) noexcept;
    SegmentReader& operator=(SegmentReader&& other) noexcept;

    // Opens the file and finds its pictures. False with ErrorText when it is no segment (no AVI,
    // no video stream, headers damaged); a segment with no picture opens.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Looks again at a file that had no index: pictures appended since are added, and a file
    // finished since is read through its index. True when the pictures changed. False with
    // ErrorText when the file can no longer be read (it vanished or was cut below what was read).
    bool Refresh(bool& changed);
    // Whether the file was read through its index (it was finished).
    bool Finished() const { return indexed_; }
    // Whether the pictures ended at something that is no whole chunk before the file did.
    bool Damaged() const { return damaged_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    uint32_t Compression() const { return compression_; }  // the video's four-character code
    // A stream segment's own: its parameters and times (null for an AVI segment).
    const StreamPictures* Stream() const { return stream_.get(); }
    // The key picture at or before picture i (i itself in an AVI segment, where every one is).
    size_t KeyBefore(size_t i) const;
    // Pictures a second as the headers give it (25 when they give none).
    double Rate() const { return rate_; }
    size_t Pictures() const { return pictures_.size(); }

    // Picture i's compressed bytes into `out`. False with ErrorText when they cannot be read.
    bool ReadPicture(size_t i, std::vector<uint8_t>& out);
    // Picture i's time-stamp text ("2026-05-04: 09:30:00", a stream's to the millisecond:
    // "2026-05-04: 09:30:00.250"); empty when it has none or it cannot be read.
    std::string Stamp(size_t i);

    const std::string& Path() const { return path_; }
    const std::string& ErrorText() const { return error_; }

    // The moment a stamp names (its milliseconds, when it has them), as milliseconds on the station's local
    // time scale (since 30 December 1899 00:00, as the index's start times count days); false when the text
    // is no stamp.
    static bool ParseStamp(const std::string& stamp, int64_t& ms);

private:
    struct Chunk {
        uint64_t at = 0;  // the data's offset in the file
        uint32_t size = 0;
    };
    bool ReadHeaders();
    bool OpenStream();
    bool ReadIndex();
    void Walk();
    void Add(int stream, const Chunk& chunk);
    bool Fail(const std::string& what);
    uint64_t FileSize() const;

    int fd_ = -1;
    std::string path_;
    std::string error_;
    int width_ = 0;
    int height_ = 0;
    uint32_t compression_ = 0;
    double rate_ = 25;
    int streams_ = 0;
    int video_stream_ = -1;
    int text_stream_ = -1;    // -1: the file has no time stamps
    uint64_t movi_type_ = 0;  // the 'movi' list's type field, the index's origin
    uint64_t walked_ = 0;     // where a walk without an index goes on
    bool indexed_ = false;
    bool damaged_ = false;
    struct Picture {
        Chunk video;
        Chunk stamp;
    };
    std::vector<Picture> pictures_;  // whole pictures: with its stamp, when the file has stamps
    std::vector<Chunk> waiting_;     // video chunks whose stamp is not there yet
    std::unique_ptr<StreamPictures> stream_;
};

}  // namespace kel
