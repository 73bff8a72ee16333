// The real kel binary recording: four simulated cameras, two continuously and two on motion (one
// of them still), to drive C: of the working directory's drive map, stopped by SIGTERM. What it
// leaves must be what a viewer finds: segments where the index says, an index as long as the
// store's count, files the tools read to the last picture.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "config/config.h"
#include "platform/drive_map.h"
#include "recording/avi_reader.h"
#include "recording/schedule.h"
#include "support/station_runner.h"

namespace kel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingE2E : public StationRunner {
protected:
    // Cameras 1-4 active at 352 x 288; 1 and 2 recorded continuously, 3 and 4 on motion with the
    // whole picture watched; recordings to drive C: (drive table position 0).
    void Prepare() {
        PrepareRecording(
            4, [](int n) { return n <= 2 ? kContinuous : kOnMotion; },
            [](TConfig& c) {
                for (int n : {3, 4}) {
                    std::fill(std::begin(c.Zones[n - 1].Mask), std::end(c.Zones[n - 1].Mask), 1);
                    c.Zones[n - 1].Sensitivity = 1000;
                }
            });
    }
    static int Seconds(const std::vector<uint8_t>& sample) {
        // "YYYY-MM-DD: HH:MM:SS" after the length byte.
        std::string s(sample.begin() + 1, sample.begin() + 1 + sample[0]);
        return std::stoi(s.substr(12, 2)) * 3600 + std::stoi(s.substr(15, 2)) * 60 +
               std::stoi(s.substr(18, 2));
    }
};

TEST_F(RecordingE2E, FourCamerasRecordToDriveCAndTheIndexAgreesWithTheFiles) {
    Prepare();
    const std::string report = dir.File("capture-report.txt");
    extraEnv = {"KEL_TEST_CAPTURE_REPORT=" + report};
    auto kel = Start({"--yes", "--board", "sim:motion=1,2,4"});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    std::this_thread::sleep_for(14s);
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
    // The recorder reported nothing: no file it could not create, write, close or move. (The
    // PTZ line, pointed nowhere, reports itself.)
    std::istringstream lines(LogText());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("[ERR]", 0) == 0) {
            // The automatic login of "kel" with the default password is warned of too.
            if (line.find("haslo domyslne") == std::string::npos)
                EXPECT_NE(line.find("COM-port"), std::string::npos) << line;
        }

    // The index and the store's count agree, and the copy is the same.
    const std::string work = Work();
    std::string files = Exported("VideoFiles");
    ASSERT_EQ(files.rfind("dword:", 0), 0u) << files;
    const int32_t count = static_cast<int32_t>(std::stoul(files.substr(6), nullptr, 16));
    const std::string bytes = ReadFile(work + "/VideoIndex.dat");
    ASSERT_EQ(bytes.size(), 72u * count);
    EXPECT_EQ(ReadFile(work + "/~VideoIndex.dat"), bytes);
    EXPECT_GT(count, 3);

    DriveMap map(work);
    std::map<int, int> pictures, segments, motion, repeated;
    std::map<int, std::pair<int, int>> span;  // first and last stamp, seconds of the day
    for (int32_t i = 0; i < count; ++i) {
        // The 72-byte entry: the path as a short string of 50, the camera, the motion count.
        const char* e = bytes.data() + 72 * i;
        const std::string dos(e + 1, static_cast<uint8_t>(e[0]));
        const int n = static_cast<uint8_t>(e[51]);
        int32_t detections = 0;
        std::memcpy(&detections, e + 64, 4);
        EXPECT_EQ(dos.rfind("C:\\KEL2_Videos\\Kamera" + std::to_string(n) + "\\", 0), 0u) << dos;
        const std::string path = map.Resolve(dos);
        ASSERT_TRUE(fs::is_regular_file(path)) << dos;
        EXPECT_EQ(fs::path(path).parent_path(),
                  fs::path(work) / ("drives/c:/KEL2_Videos/Kamera" + std::to_string(n)));
        AviFile f = ReadAvi(path);
        ASSERT_TRUE(f.ok) << dos << ": " << f.problem;
        EXPECT_EQ(ProbeStreams(path), "video,DIV3\nsubtitle,[0][0][0][0]\n") << dos;
        EXPECT_EQ(DecodedPictures(path), f.Count("00dc")) << dos;
        EXPECT_GT(f.Count("00dc"), 0) << dos;  // the stop writes the last batch, full or not
        EXPECT_EQ(f.Count("01tx"), f.Count("00dc")) << dos;
        pictures[n] += f.Count("00dc");
        const std::vector<uint8_t>* previous = nullptr;
        for (const AviChunk& c : f.samples)
            if (c.id == "00dc") {
                repeated[n] += previous && *previous == c.data;
                previous = &c.data;
            }
        ++segments[n];
        motion[n] += detections;
        for (const AviChunk& c : f.samples) {
            if (c.id != "01tx")
                continue;
            int t = Seconds(c.data);
            auto& [first, last] = span.try_emplace(n, t, t).first->second;
            first = std::min(first, t);
            last = std::max(last, t);
        }
    }
    for (int n : {1, 2, 4})
        EXPECT_GT(pictures[n], 0) << "camera " << n;
    // The cameras recorded continuously keep every picture their capture delivered, once each
    // (their scene moves, so no two pictures are alike), up to the last one before the stop.
    std::istringstream delivered(ReadFile(report));
    std::map<int, int> captured;
    for (int camera = 0, count = 0; delivered >> camera >> count;)
        captured[camera] = count;
    for (int n : {1, 2}) {
        EXPECT_EQ(pictures[n], captured[n]) << "camera " << n;
        EXPECT_EQ(repeated[n], 0) << "camera " << n;
    }
    // Camera 4 moves the whole time; camera 3 stands still and differs only from the empty
    // reference of the start: one detection, then the 5-second hold, then nothing.
    EXPECT_GE(span[4].second - span[4].first, 8);
    EXPECT_GT(motion[4], 1);
    EXPECT_LE(motion[3], 1);
    if (pictures[3] > 0) {
        EXPECT_LE(span[3].second - span[3].first, 6) << "camera 3 went on past its first detection's hold";
    }
    EXPECT_LT(pictures[3], pictures[4]);
    // Nothing is left behind in the temporary folders.
    for (int n = 1; n <= 4; ++n)
        if (fs::exists(work + "/Temp/Kamera" + std::to_string(n))) {
            EXPECT_TRUE(fs::is_empty(work + "/Temp/Kamera" + std::to_string(n))) << n;
        }
    EXPECT_TRUE(fs::is_symlink(work + "/drives/c:"));
}

}  // namespace
}  // namespace kel
