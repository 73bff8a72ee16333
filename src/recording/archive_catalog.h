#pragma once
// What the station archived, as the viewer finds it: the recordings' index ("VideoIndex.dat", or
// its copy when the index fails its checks) read from a working directory, every entry's DOS path
// resolved through that directory's drive map, grouped by camera and ordered by start. The camera
// names come from the settings store when it can be read.
//
// Times here are milliseconds on the station's local time scale, counted from 30 December 1899
// 00:00 as the index counts days (see SegmentReader::ParseStamp).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/drive_map.h"

namespace kel {

constexpr int64_t kMsPerDay = 86'400'000;

struct CatalogEntry {
    int camera = 0;       // 1..16
    std::string dosPath;  // as the index holds it
    std::string path;     // the native path through the drive map; empty when it resolves nowhere
    int64_t startMs = 0;
    int32_t motion = 0;
};

class ArchiveCatalog {
public:
    static constexpr int kCameras = 16;
    enum class Source { None, Index, Copy };

    explicit ArchiveCatalog(std::string workDir);

    // Reads the index again. False with ErrorText when neither the index nor its copy can be read
    // (the catalog is then empty); a missing index with no copy is an empty archive, not an error.
    bool Load();
    // Whether the index files changed since Load (written again by the station).
    bool Changed() const;
    Source LoadedFrom() const { return source_; }

    // Reads the cameras' names from the settings store `file`; false (names stay "Kamera n") when
    // it does not exist or cannot be read. The store is never created or written.
    bool LoadNames(const std::string& file);
    std::string Name(int camera) const;
    // The station's name ("TCPServerName" of the store), as LoadNames read it; empty when unknown.
    const std::string& Station() const { return station_; }

    // Camera n's entries, oldest first.
    const std::vector<CatalogEntry>& Entries(int camera) const;
    // Whether camera n recorded anything that starts within [fromMs, toMs).
    bool HasWithin(int camera, int64_t fromMs, int64_t toMs) const;
    // The days (as the day number, ms / kMsPerDay) on which any camera's recording starts.
    std::vector<int64_t> Days() const;

    const std::string& WorkDir() const { return work_dir_; }
    const std::string& ErrorText() const { return error_; }

    // The cameras the user may view (camera n at index n - 1; all until set). The others' entries
    // are left out at the next Load, so nothing the viewer lists, plays or exports reaches them.
    void SetAllowed(const std::array<bool, kCameras>& allowed) { allowed_ = allowed; }
    bool Allowed(int camera) const { return camera >= 1 && camera <= kCameras && allowed_[camera - 1]; }

    // The index's day-time value as milliseconds.
    static int64_t DaysToMs(double days);

private:
    struct FileMark {
        int64_t size = -1;
        int64_t mtimeNs = 0;
    };
    FileMark MarkOf(const std::string& path) const;

    std::string work_dir_;
    DriveMap map_;
    Source source_ = Source::None;
    std::array<std::vector<CatalogEntry>, kCameras> cameras_;
    std::array<std::string, kCameras> names_;
    std::string station_;
    std::array<bool, kCameras> allowed_ = MakeAll();
    static std::array<bool, kCameras> MakeAll() {
        std::array<bool, kCameras> all;
        all.fill(true);
        return all;
    }
    FileMark index_mark_, copy_mark_;
    std::string error_;
};

}  // namespace kel
