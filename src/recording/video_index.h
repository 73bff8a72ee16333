#pragma once
// The index of archived recordings, "VideoIndex.dat": 72-byte entries back to back, oldest first,
// no header. How many entries count is kept apart (the store's VideoFiles), so a file is read
// only as far as that count. A copy, "~VideoIndex.dat", is written beside it and never read.
//
// Files are replaced through a flushed temporary file and a rename: a crash while writing leaves
// the previous index whole.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/records.h"

namespace kel {

#pragma pack(push, 1)
struct TVideoIndexEntry {
    ShortString<50> FileName;  // the archived file's DOS path, "D:\KEL2_Videos\Kamera3\….avi"
    uint8_t Camera = 0;        // 1..16
    uint8_t Reserved1[4] = {};
    double StartTime = 0;  // days since 30 December 1899, the fraction the time of day
    int32_t MotionCount = 0;
    uint8_t Reserved2[4] = {};
};
#pragma pack(pop)

static_assert(sizeof(TVideoIndexEntry) == 72);
static_assert(offsetof(TVideoIndexEntry, Camera) == 51);
static_assert(offsetof(TVideoIndexEntry, StartTime) == 56);
static_assert(offsetof(TVideoIndexEntry, MotionCount) == 64);

class VideoIndex {
public:
    static constexpr const char* kFile = "VideoIndex.dat";
    static constexpr const char* kCopy = "~VideoIndex.dat";

    // The first `count` entries of `path`. False, with the index left empty, when the file cannot
    // be read or holds fewer; a count of 0 or less reads nothing and succeeds.
    bool Load(const std::string& path, int32_t count);
    // The whole index into `path`. False with `error` set; the old file is then unchanged.
    bool Save(const std::string& path, std::string& error) const;

    void Append(const TVideoIndexEntry& entry) { entries_.push_back(entry); }
    void Remove(size_t i);
    void Clear() { entries_.clear(); }
    size_t Size() const { return entries_.size(); }
    const TVideoIndexEntry& At(size_t i) const { return entries_[i]; }
    const std::vector<TVideoIndexEntry>& Entries() const { return entries_; }

private:
    std::vector<TVideoIndexEntry> entries_;
};

}  // namespace kel
