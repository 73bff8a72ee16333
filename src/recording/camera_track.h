#pragma once
// One camera's recordings as a single time line: its segments in order of start, each opened on
// demand (a few stay open) and read through its own index. Every picture has a moment: the second
// its stamp names, shared out evenly among the pictures of that stamp. Finding a moment is a binary search
// over segments and then over stamps, reading a handful of stamps; no segment is ever walked picture by
// picture.
//
// A segment whose file is gone (rotated away) or cannot be read is marked missing and skipped.
// A segment that grows (being recorded) is read again by Refresh. One thread uses a track.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "recording/archive_catalog.h"
#include "recording/segment_reader.h"

namespace kel {

// A moment of the tracks' time scale (local milliseconds since 30 December 1899) as the viewer
// writes it: "yyyy-MM-dd HH:mm:ss.zzz".
std::string MomentText(int64_t ms);

class CameraTrack {
public:
    struct Position {
        int segment = -1;  // -1: none
        size_t picture = 0;
        bool Valid() const { return segment >= 0; }
        bool operator==(const Position&) const = default;
    };
    struct Stretch {
        int64_t fromMs = 0;
        int64_t toMs = 0;  // just after the last picture's moment
        bool missing = false;
    };

    explicit CameraTrack(std::vector<CatalogEntry> segments, size_t openReaders = 4);

    size_t Segments() const { return segs_.size(); }
    const CatalogEntry& Entry(int segment) const { return segs_[segment].entry; }
    // The segment's stretch of time; opens it (once) to learn its end.
    Stretch StretchOf(int segment);
    bool Missing(int segment) const { return segs_[segment].missing; }

    // The picture whose moment is nearest to `ms` (the earlier of two equally near); invalid when
    // no segment can be read.
    Position Nearest(int64_t ms);
    // The last picture whose moment is at or before `ms`; invalid when none is.
    Position AtOrBefore(int64_t ms);
    // The first picture whose moment is after `ms`; invalid when none is.
    Position After(int64_t ms);
    // The picture after / before p, across segments; invalid at the ends.
    Position Next(Position p);
    Position Previous(Position p);
    int64_t Moment(Position p);

    // Picture p's bytes and stamp. False with ErrorText.
    bool Read(Position p, std::vector<uint8_t>& bytes, std::string& stamp);
    // The open reader of p's segment (nullptr when it cannot be read): picture size, rate.
    SegmentReader* Reader(int segment);

    // Looks again at segments that were still growing; true when any gained pictures.
    bool Refresh();
    const std::string& ErrorText() const { return error_; }

private:
    struct Seg {
        CatalogEntry entry;
        bool missing = false;
        bool known = false;  // pictures and end below are known
        size_t pictures = 0;
        int64_t endMs = 0;
        std::vector<int64_t> stamps;  // per picture; kUnknown until read
    };
    static constexpr int64_t kUnknown = INT64_MIN;
    // How far a segment's first stamp may come before the start its name gives.
    static constexpr int64_t kNameSlackMs = 5000;

    bool Know(int segment);
    int64_t StampMs(int segment, size_t i);
    int64_t MomentOf(int segment, size_t i);
    // The last segment whose start is at or before ms, -1 when none.
    int SegmentAt(int64_t ms) const;
    Position LastIn(int segment, int64_t ms);  // last picture of the segment at or before ms

    std::vector<Seg> segs_;
    size_t max_open_;
    std::list<std::pair<int, std::unique_ptr<SegmentReader>>> open_;  // most recent first
    std::string error_;
};

}  // namespace kel
