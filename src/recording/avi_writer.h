#pragma once
// A writer of AVI 1.0 files ("RIFF AVI "): the header list with one stream list per stream, the
// 'movi' list of sample chunks and the 'idx1' index. Samples are appended as chunks padded to an
// even length; the index and the final sizes are written when the file is closed, and only then
// is the file complete.
//
//   RIFF 'AVI '
//     LIST 'hdrl'  'avih'  LIST 'strl' ('strh' 'strf') per stream  [LIST 'INFO' ('ICMT')]
//     LIST 'movi'  '00dc' '01tx' '00dc' …
//     'idx1'
//
// Stream n's chunks are named by its number and a two-letter kind ("00dc" for compressed video,
// "01tx" for text). The headers keep their size from creation to close, so closing rewrites them
// in place. One thread uses a writer at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recording/avi_format.h"

namespace kel {

class AviWriter {
public:
    // An AVI 1.0 file stays below 1 GiB, where every reader still follows it.
    static constexpr uint64_t kMaxFileBytes = 1ull << 30;

    AviWriter() = default;
    ~AviWriter();  // abandons an open file (no index written)
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Abandons an open file and forgets the streams, ready for the next file.
    void Reset();
    // Before Create: adds a stream with its header and format block; `kind` is "dc", "tx", ….
    // Returns the stream's number.
    int AddStream(const AviStreamHeader& header, std::vector<uint8_t> format, const char (&kind)[3]);
    // Replaces a stream's format block with one of the same size; it is written at Close.
    bool SetFormat(int stream, const void* data, size_t size);
    // A comment in the headers (LIST 'INFO', 'ICMT', read by players as the file's comment), in a
    // chunk of kCommentBytes so that it can be changed up to Close; longer text is cut. One set
    // before Create is written with the headers at once; without one there is no such list.
    static constexpr size_t kCommentBytes = 96;
    void SetComment(const std::string& text);
    // Creates the file, which must not exist yet, and writes provisional headers. The picture size
    // and rate of the main header come from stream 0. False with ErrorText.
    bool Create(const std::string& path, int width, int height);

    // Appends one sample to a stream. False with ErrorText when it could not be written whole;
    // the file then ends where it ended before the call.
    bool Write(int stream, const void* data, size_t size, bool keyFrame);
    // A point to go back to: everything written after it can be taken back together.
    struct Mark {
        uint64_t position = 0;
        size_t entries = 0;
        std::vector<uint32_t> samples;
    };
    Mark Here() const;
    // Cuts the file back to `mark`. False when the file could not be cut (it is then unusable).
    bool RollBack(const Mark& mark);

    // Writes the index and the final headers and flushes the file to the disk. False with
    // ErrorText when any of it failed; the file is closed either way.
    bool Close();
    // Closes without finishing the file.
    void Abandon();

    bool IsOpen() const { return fd_ >= 0; }
    uint64_t FileBytes() const { return position_; }
    uint32_t Samples(int stream) const;
    const std::string& ErrorText() const { return error_; }

private:
    struct Stream {
        AviStreamHeader header;
        std::vector<uint8_t> format;
        uint32_t chunkId = 0;
        uint32_t samples = 0;
        uint32_t largest = 0;
    };
    std::vector<uint8_t> Headers(uint64_t moviEnd, uint64_t fileEnd) const;
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    bool Append(const void* data, size_t size);
    bool Fail(const std::string& what);

    std::vector<Stream> streams_;
    bool commented_ = false;
    std::string comment_;
    int width_ = 0;
    int height_ = 0;
    std::string path_;
    int fd_ = -1;
    uint64_t position_ = 0;   // the file's end
    uint64_t movi_type_ = 0;  // offset of the 'movi' list's type field, the index's origin
    std::vector<AviIndexEntry> index_;
    std::string error_;
};

}  // namespace kel
