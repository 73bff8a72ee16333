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
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class CaptureE2E : public ::testing::Test {
protected:
    std::string Work() const { return dir.File("work"); }
    std::string Registry() const { return dir.File("registry.sqlite"); }
    std::string Report() const { return dir.File("capture-report.txt"); }
    std::string LogText() const { return ReadFile(Work() + "/Server.log"); }
    std::vector<std::string> Env() const {
        return {"XDG_RUNTIME_DIR=" + dir.Path(), "QT_QPA_PLATFORM=", "KEL_TEST_CAPTURE_REPORT=" + Report()};
    }
    std::unique_ptr<Process> Start(std::vector<std::string> extra) {
        std::vector<std::string> args{"--headless", "--workdir", Work(), "--registry", Registry()};
        args.insert(args.end(), extra.begin(), extra.end());
        ++runs_;
        return std::make_unique<Process>(KEL_BINARY, args, Env(), dir.File("out" + std::to_string(runs_)),
                                         dir.File("err" + std::to_string(runs_)));
    }
    bool WaitForLog(const std::string& text) {
        auto end = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < end) {
            if (LogText().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
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
    int RunStore(std::vector<std::string> args) {
        args.insert(args.begin(), {"--registry", Registry()});
        ++runs_;
        Process p(KEL_BINARY, args, Env(), dir.File("out" + std::to_string(runs_)),
                  dir.File("err" + std::to_string(runs_)));
        return p.Wait(60s);
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

    TempDir dir;
    int runs_ = 0;
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

TEST_F(CaptureE2E, AnUnreadableBoardIsACommandLineError) {
    auto kel = Start({"--yes", "--board", "sim:bogus"});
    EXPECT_EQ(kel->Wait(), 2);
    EXPECT_NE(kel->Err().find("--board sim:bogus: unknown option 'bogus'"), std::string::npos) << kel->Err();
    EXPECT_FALSE(std::filesystem::exists(Work() + "/Server.log"));
}

}  // namespace
}  // namespace kel
