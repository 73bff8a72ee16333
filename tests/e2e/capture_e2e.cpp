// The real kel binary, headless, with the simulated board: which cameras deliver pictures, and how
// a missing or failing board stops the start.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "config/records.h"
#include "support/station_runner.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class CaptureE2E : public StationRunner {
protected:
    void SetUp() override { extraEnv = {"KEL_TEST_CAPTURE_REPORT=" + Report()}; }
    std::string Report() const { return dir.File("capture-report.txt"); }

    // The first-run defaults with the given cameras made active, through the store commands.
    void StoreWithActiveCameras(const std::vector<int>& active) {
        ASSERT_EQ(RunStore({"reg", "defaults"}), 0);
        TCameraTable cameras{};
        for (int n = 1; n <= kCameraCount; ++n) {
            TCameraRecord& c = cameras[n - 1];
            c.Name.Set("Kamera " + std::to_string(n));
            c.Active = std::find(active.begin(), active.end(), n) != active.end();
            c.Resolution = 2;
            c.FPS = 3;
            c.Contrast = c.SatU = c.SatV = 128;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(cameras.data());
        std::string hex;
        for (size_t i = 0; i < sizeof cameras; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%s%02x", i ? "," : "", bytes[i]);
            hex += b;
        }
        WriteFile(dir.File("cameras.reg"), "Windows Registry Editor Version 5.00\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                                           "\"Cameras\"=hex:" +
                                               hex + "\r\n");
        ASSERT_EQ(RunStore({"reg", "import", dir.File("cameras.reg")}), 0);
    }
    // Pictures per camera from the capture report of the last run.
    std::map<int, long> Pictures() const {
        std::map<int, long> counts;
        std::istringstream in(ReadFile(Report()));
        int camera = 0;
        long count = 0;
        while (in >> camera >> count)
            counts[camera] = count;
        return counts;
    }
};

TEST_F(CaptureE2E, OnlyTheActiveCamerasDeliverPictures) {
    const std::vector<int> active{1, 6, 11, 16};
    StoreWithActiveCameras(active);
    auto kel = Start({});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_NE(LogText().find("] Wykryto kartę: KEL-16 (symulacja)\r\n"), std::string::npos);
    // Each active camera gets 12.5 pictures a second here; two seconds leave plenty.
    std::this_thread::sleep_for(2s);
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
    auto pictures = Pictures();
    ASSERT_EQ(pictures.size(), 16u) << ReadFile(Report());
    for (int n = 1; n <= kCameraCount; ++n) {
        if (std::find(active.begin(), active.end(), n) != active.end())
            EXPECT_GT(pictures[n], 0) << "camera " << n;
        else
            EXPECT_EQ(pictures[n], 0) << "camera " << n;
    }
}

TEST_F(CaptureE2E, AMissingBoardStopsTheStart) {
    auto kel = Start({"--yes", "--board", "sim:absent"});
    ASSERT_EQ(kel->Wait(), 1);
    EXPECT_NE(kel->Err().find("Uwaga! {#0020} Brak karty KEL"), std::string::npos) << kel->Err();
    EXPECT_NE(LogText().find("[ERR][SYS]["), std::string::npos);
    EXPECT_NE(LogText().find("] {#0020} Brak karty KEL\r\n"), std::string::npos) << LogText();
}

// A board that is found but will not open stops the start in order: the mark of the last run's
// orderly close stands, so the next start reports no crash.
TEST_F(CaptureE2E, ABoardThatWillNotOpenStopsTheStartInOrder) {
    auto first = Start({"--yes"});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    first->Signal(SIGTERM);
    ASSERT_EQ(first->Wait(), 0);
    auto kel = Start({"--yes", "--board", "sim:closed"});
    ASSERT_EQ(kel->Wait(), 1);
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000001");
}

TEST_F(CaptureE2E, AnUnreadableBoardIsACommandLineError) {
    auto kel = Start({"--yes", "--board", "sim:bogus"});
    EXPECT_EQ(kel->Wait(), 2);
    EXPECT_NE(kel->Err().find("--board sim:bogus: unknown option 'bogus'"), std::string::npos) << kel->Err();
    EXPECT_FALSE(std::filesystem::exists(Work() + "/Server.log"));
}

}  // namespace
}  // namespace kel
