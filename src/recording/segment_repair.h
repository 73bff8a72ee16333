#pragma once
// Mends a segment that a crash or a power cut left unfinished. A segment's headers are written
// when it is created and its pictures appended as chunks, each a video chunk followed by its text
// chunk; only the index and the final sizes wait for the close. So what was written before the
// crash is still there: the pictures written whole are kept, a torn last picture (a video chunk
// without its text, or a chunk cut short) is cut off, and the index, the list and file sizes and
// the frame counts are written from the chunks present.
//
// A finished file (its index in place) is rewritten the same way, which changes nothing a reader
// sees.

#include <cstdint>
#include <string>

namespace kel {

struct RepairResult {
    bool ok = false;        // the file is now a whole AVI file, or one cut within its headers
    uint32_t pictures = 0;  // the pictures it holds
    uint32_t cut = 0;       // chunks cut off the end
    std::string error;      // why it could not be mended
};

// Mends the segment at `path` in place (a stream segment, "*.mp4", as MendStreamSegment does). A
// file that ends before its headers do (a crash right
// after it was created) holds no picture: ok, with pictures 0, and left as it is. A file that is
// no segment, or one whose headers are damaged, is left as it is (ok false).
RepairResult RepairSegment(const std::string& path);

// The start of a segment from its name "ddmmyyhhmmss.avi" (or ".mp4"), as days since 30 December 1899; false
// when the name is no such time.
bool SegmentStartFromName(const std::string& name, double& startTime);

}  // namespace kel
