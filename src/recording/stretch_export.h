#pragma once
// Takes recordings away: a stretch of one camera copied picture by picture into a new AVI file
// (every picture is a key picture, so nothing is decoded or encoded again, and each keeps its
// time stamp). A stretch of a camera recorded as it sent is copied
// packet by packet into a new MP4 file the same way, from the key picture at or before its start
// (the first picture that decodes on its own). A file is written under a temporary name beside the
// target and renamed into place only when whole: a failed or cancelled export leaves nothing.

#include <cstddef>
#include <functional>
#include <string>

#include "recording/camera_track.h"

namespace kel {

struct ExportResult {
    bool ok = false;
    size_t pictures = 0;  // written
    size_t skipped = 0;   // of another picture size than the first, left out
    std::string error;
};

// Called now and then with the pictures done and the total; returning false cancels.
using ExportProgress = std::function<bool(size_t done, size_t total)>;

// Whether the stretch starting at `from` is of a stream segment: it is exported as MP4, not AVI.
bool StretchIsStream(CameraTrack& track, CameraTrack::Position from);
// The file name's ending for the stretch: ".mp4" or ".avi".
const char* StretchExtension(CameraTrack& track, CameraTrack::Position from);

// Pictures `from` to `to` (both included, from at or before to) of `track` into `path`.
ExportResult ExportStretch(CameraTrack& track, CameraTrack::Position from, CameraTrack::Position to,
                           const std::string& path, const ExportProgress& progress = nullptr);

// The file written as `part` renamed to `path`; false with `error` (and `part` removed).
bool PlaceExported(const std::string& part, const std::string& path, std::string& error);

}  // namespace kel
