#pragma once
// The index of archived recordings, "VideoIndex.dat": 72-byte entries back to back, oldest first,
// no header. How many entries count is kept apart (the store's VideoFiles). A copy,
// "~VideoIndex.dat", is written beside it and read when the index itself fails its checks.
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

    // Every entry of `path`. False, with the index left empty, when the file cannot be read, is no
    // whole number of entries, or holds an entry the station could not have written.
    bool LoadChecked(const std::string& path);
    // Which of the index and its copy was taken: the one with more plausible entries (a file cut
    // at an entry's end, even to nothing, is shorter than its copy), the index when they are equal.
    // Entries that are not plausible are left out and counted.
    enum class Source { Index, Copy, Neither };
    struct Loaded {
        Source from = Source::Neither;
        size_t dropped = 0;
    };
    Loaded LoadBest(const std::string& indexPath, const std::string& copyPath);
    // Every whole entry of `path` that is plausible; `dropped` counts the others. False, with the
    // index left empty, when the file cannot be read or is no whole number of entries.
    bool LoadPlausible(const std::string& path, size_t& dropped);
    // Whether an entry could have been written by the station: its path
    // "L:\KEL2_Videos\Kamera<n>\<ddmmyyhhmmss>.avi" (".mp4": a stream as sent) with n its own camera, and a
    // start time within a minute of the one its name gives.
    static bool Plausible(const TVideoIndexEntry& entry);
    // Whether `startTime` may be the start of a segment named "ddmmyyhhmmss.avi".
    static bool StartFitsName(double startTime, const std::string& name);
    // The DOS path an archived segment of camera n named `name` has on drive `letter`.
    static std::string ArchivePath(char letter, int camera, const std::string& name);
    // The whole index into `path`. False with `error` set; the old file is then unchanged.
    bool Save(const std::string& path, std::string& error) const;

    void Append(const TVideoIndexEntry& entry) { entries_.push_back(entry); }
    void Remove(size_t i);
    void Clear() { entries_.clear(); }
    // Oldest first by start time; entries of the same time keep their order.
    void SortByStart();
    std::vector<TVideoIndexEntry>& Mutable() { return entries_; }
    size_t Size() const { return entries_.size(); }
    const TVideoIndexEntry& At(size_t i) const { return entries_[i]; }
    const std::vector<TVideoIndexEntry>& Entries() const { return entries_; }

private:
    std::vector<TVideoIndexEntry> entries_;
};

}  // namespace kel
