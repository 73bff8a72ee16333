#pragma once
// Recordings made for the tests of what reads them back: segments written as the recorder writes
// them (real DIV3 pictures, one stamp a picture) into a working directory's drive C:, entered in
// its index. Picture k of a segment is a flat grey whose level tells k, so a decoded picture says
// which it was.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "recording/segment.h"
#include "recording/time_stamps.h"
#include "recording/video_compressor.h"
#include "recording/video_index.h"
#include "support/temp_dir.h"

namespace kel {

constexpr int kTestWidth = 176;
constexpr int kTestHeight = 144;

// The grey level of picture k.
inline int GreyOf(size_t k) {
    return 32 + static_cast<int>(k % 12) * 16;
}

// The moment as milliseconds since 30 December 1899, as readers count it.
inline int64_t MsOf(const LocalTime& t) {
    return std::llround(DateTimeValue(t) * 86'400'000.0);
}

inline LocalTime At(int hour, int minute, int second, int day = 7) {
    LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

inline LocalTime Plus(LocalTime t, int seconds) {
    int s = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    t.hour = s / 3600;
    t.minute = s / 60 % 60;
    t.second = s % 60;
    return t;
}

class TestArchive {
public:
    TestArchive() {
        DriveMap map(dir.Path());
        EXPECT_TRUE(map.EnsureDriveC());
        EXPECT_TRUE(compressor.Open());
    }

    // Records `pictures` pictures at `fps` for camera n from `start`; with `index`, enters the
    // segment in the index. Returns the native path.
    std::string Record(int camera, LocalTime start, int pictures, int fps = 5, bool index = true) {
        const std::string name = SegmentName(start) + ".avi";
        const std::string dos = VideoIndex::ArchivePath('C', camera, name);
        const std::string path = DriveMap(dir.Path()).Resolve(dos);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        Segment s;
        EXPECT_TRUE(s.Open(path, name, DateTimeValue(start), kTestWidth, kTestHeight, fps)) << s.ErrorText();
        for (int k = 0; k < pictures; ++k)
            Write(s, start, k, fps);
        EXPECT_TRUE(s.Close());
        if (index) {
            TVideoIndexEntry e;
            e.FileName.Set(dos);
            e.Camera = static_cast<uint8_t>(camera);
            e.StartTime = DateTimeValue(start);
            e.MotionCount = 1;
            idx.Append(e);
            std::string error;
            EXPECT_TRUE(idx.Save(dir / VideoIndex::kFile, error)) << error;
            EXPECT_TRUE(idx.Save(dir / VideoIndex::kCopy, error)) << error;
        }
        return path;
    }

    // Picture k of a segment begun at `start`.
    void Write(Segment& s, LocalTime start, int k, int fps) {
        std::vector<uint8_t> uyvy(kTestWidth * kTestHeight * 2), out(200000);
        for (size_t i = 0; i < uyvy.size(); i += 2) {
            uyvy[i] = 128;
            uyvy[i + 1] = static_cast<uint8_t>(GreyOf(k));
        }
        size_t size = 0;
        EXPECT_TRUE(compressor.Compress(uyvy.data(), kTestWidth, kTestHeight, out.data(), out.size(), size));
        EXPECT_TRUE(s.WriteFrame(out.data(), size, FrameStamp(Plus(start, k / fps))));
    }

    TempDir dir;
    VideoIndex idx;
    TVideoCompressor compressor;
};

}  // namespace kel
