// The display thread's pass against the renderer and a real frame bank: uploads of every ready
// picture, the view modes, the configurator's preview, the plan, and the thread's pause and stop.

#include "display/display.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "display/display_test_util.h"
#include "support/fake_display_platform.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kWhite = 0xffffff;

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        WriteSkin(dir.Path(), "Test", 1024, 774, 727);
        ASSERT_TRUE(renderer.Init(1024, 768, &sink));
        ASSERT_TRUE(renderer.LoadDisplayBitmaps("Test", 1024));
        TCameraTable cameras{};
        for (int n = 1; n <= 16; ++n) {
            cameras[n - 1].Active = 1;
            cameras[n - 1].Resolution = 0;
            signal[n] = 1;
        }
        renderer.SetCameraRecords(cameras);
        uint8_t rights[16];
        std::fill(std::begin(rights), std::end(rights), 1);
        renderer.SetAllowed(rights);
        CameraLists lists;
        for (int i = 0; i < 16; ++i)
            lists.CamMode16[i] = i + 1;
        for (int i = 0; i < 4; ++i)
            lists.CamMode4[i] = i + 1;
        display.SetCameraLists(lists);
        display.SetScreenSize(1280, 1024);
    }
    void TearDown() override {
        display.Terminate();
        std::filesystem::current_path(old_cwd_);
    }
    // A new picture of camera n, marked ready as its capture thread does.
    void Deliver(int camera, uint8_t y) {
        std::vector<uint8_t> frame = SolidFrame(704, 576, y);
        bank.Write(camera, frame.data(), frame.size(), 0);
        ready[camera].store(1, std::memory_order_release);
    }
    uint32_t Shown(int x, int y) { return Pixel(sink.Last().picture, x, y); }

    TempDir dir;
    FakeDisplayPlatform platform;
    KeepingSink sink;
    TDirectX renderer{platform};
    FrameBank bank;
    CameraFlags ready{}, recording{}, motion{}, signal{};
    std::atomic<int> viewMode{TDisplay::kModeWindow}, layout{3}, single{1};
    std::atomic<bool> planView{false};
    TDisplay display{renderer,
                     {bank, ready, recording, motion, signal, viewMode, layout, single, planView,
                      [] { return std::string("12:34:56"); }, [] { return std::string("2024-05-06"); }}};

private:
    std::filesystem::path old_cwd_;
};

// Pictures of cameras the layout does not show are uploaded too, so they appear as soon as the
// layout shows them; a camera without a new picture keeps its last.
TEST_F(DisplayTest, EveryReadyPictureIsUploadedAndItsFlagCleared) {
    layout = 0;
    for (int n = 1; n <= 16; ++n)
        Deliver(n, 235);
    display.Pass();
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(ready[n].load(), 0) << n;
    EXPECT_TRUE(Near(Shown(300, 300), kWhite));
    EXPECT_EQ(display.OnScreen(), 1u << 1) << "the one camera shown";
    EXPECT_EQ(renderer.CameraSurface(1).Line(0), bank.Newest(1)->data) << "drawn from the bank, not copied";
    auto halved = [&] {
        uint32_t bits = 0;
        for (int n = 1; n <= 16; ++n)
            bits |= bank.WantsHalves(n) ? 1u << n : 0;
        return bits;
    };
    EXPECT_EQ(halved(), 0u) << "a tile wider than half the picture";
    layout = 3;
    display.Pass();
    EXPECT_TRUE(Near(Shown(4 * 193 - 100, 3 * 158 + 80), kWhite)) << "camera 16, uploaded while hidden";
    EXPECT_EQ(sink.Count(), 2u);
    EXPECT_EQ(display.OnScreen(), 0x1fffeu) << "all sixteen";
    EXPECT_EQ(halved(), 0x1fffeu) << "sixteen tiles under half the picture";
    Deliver(16, 16);
    display.Pass();
    EXPECT_NE(bank.Newest(16)->half, nullptr);
    EXPECT_TRUE(Near(Shown(4 * 193 - 100, 3 * 158 + 80), 0)) << "drawn from the bank's half";
    layout = 1;
    display.Pass();
    EXPECT_EQ(display.OnScreen(), 0x1eu) << "cameras 1 to 4";
    EXPECT_EQ(halved(), 0u);
    layout = 3;
    display.Pass();
    renderer.Watched = 0;
    display.Pass();
    EXPECT_EQ(halved(), 0u) << "nobody watches: nothing halved";
}

TEST_F(DisplayTest, ALayoutOutsideTheRangePresentsTheLastPicture) {
    Deliver(1, 235);
    display.Pass();
    uint32_t before = Shown(100, 80);
    layout = 7;
    Deliver(1, 16);  // a black picture arrives, but nothing is composed
    display.Pass();
    EXPECT_EQ(sink.Count(), 1u) << "the same picture is not presented again";
    EXPECT_EQ(Shown(100, 80), before);
    EXPECT_TRUE(Near(before, kWhite));
}

// A second renderer fed the same pictures draws everything on every pass; after every kind of
// change the one that draws only what changed must show the same picture, pixel for pixel.
TEST_F(DisplayTest, DrawingOnlyWhatChangedShowsWhatAFullRedrawShows) {
    KeepingSink fullSink;
    TDirectX full{platform};
    ASSERT_TRUE(full.Init(1024, 768, &fullSink));
    ASSERT_TRUE(full.LoadDisplayBitmaps("Test", 1024));
    CameraFlags fullReady{};
    TDisplay fullDisplay{full,
                         {bank, fullReady, recording, motion, signal, viewMode, layout, single, planView,
                          [] { return std::string("12:34:56"); }, [] { return std::string("2024-05-06"); }}};
    TCameraTable cameras = *renderer.Records();
    std::array<uint8_t, 16> rights;
    rights.fill(1);
    CameraLists lists;
    for (int i = 0; i < 16; ++i) {
        lists.CamMode16[i] = i + 1;
        if (i < 13)
            lists.CamMode13[i] = i + 1;
        if (i < 9)
            lists.CamMode9[i] = i + 1;
        if (i < 8)
            lists.CamMode8[i] = i + 1;
        if (i < 4)
            lists.CamMode4[i] = i + 1;
    }
    auto apply = [&] {
        for (TDirectX* r : {&renderer, &full}) {
            r->SetCameraRecords(cameras);
            r->SetAllowed(rights.data());
        }
        display.SetCameraLists(lists);
        fullDisplay.SetCameraLists(lists);
    };
    auto picture = [&](int camera, int seed) {  // a pattern, so that scaling and zoom show
        std::vector<uint8_t> frame(704 * 576 * 2);
        for (size_t i = 0; i < frame.size(); i += 2) {
            const size_t x = i / 2 % 704, y = i / 1408;
            frame[i] = static_cast<uint8_t>(100 + camera * 5);
            frame[i + 1] = static_cast<uint8_t>(16 + (x + 3 * y + seed * 37) % 219);
        }
        bank.Write(camera, frame.data(), frame.size(), 0);
        ready[camera] = fullReady[camera] = 1;
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        int passes;
    };
    const std::vector<Step> steps = {
        {"every camera's first picture",
         [&] {
             for (int n = 1; n <= 16; ++n)
                 picture(n, 0);
         },
         1},
        {"two new pictures",
         [&] {
             picture(3, 1);
             picture(14, 1);
         },
         1},
        {"names, stamps and REC",
         [&] {
             for (TDirectX* r : {&renderer, &full})
                 r->ShowNames = r->ShowRec = 1;
             recording[2] = 1;
         },
         1},
        {"REC off, a new picture",
         [&] {
             recording[2] = 0;
             picture(2, 2);
         },
         1},
        {"shadows and a colour",
         [&] {
             for (TDirectX* r : {&renderer, &full}) {
                 r->TextShadow = 1;
                 r->TextColor = 0x00ff00;
             }
         },
         1},
        {"a lost signal", [&] { signal[5] = 0; }, 1},
        {"a camera not allowed",
         [&] {
             rights[6] = 0;
             apply();
         },
         1},
        {"a camera switched off and renamed",
         [&] {
             cameras[8].Active = 0;
             cameras[9].Name.Set("Brama");
             apply();
         },
         1},
        {"a camera taken out of the layout",
         [&] {
             lists.CamMode16[10] = 0;
             lists.CamMode16[11] = 3;
             apply();
         },
         1},
        {"four cameras", [&] { layout = 1; }, 1},
        {"nine",
         [&] {
             layout = 2;
             picture(1, 3);
         },
         1},
        {"eight", [&] { layout = 4; }, 1},
        {"thirteen", [&] { layout = 5; }, 1},
        {"one camera",
         [&] {
             layout = 0;
             single = 4;
         },
         1},
        {"the zoom gliding",
         [&] {
             renderer.ZoomStart(4, 100, 100);
             full.ZoomStart(4, 100, 100);
         },
         4},
        {"a new picture under the zoom", [&] { picture(4, 4); }, 1},
        {"the zoom ended",
         [&] {
             renderer.ZoomStop();
             full.ZoomStop();
         },
         1},
        {"the plan", [&] { planView = true; }, 1},
        {"the plan left",
         [&] {
             planView = false;
             layout = 3;
         },
         1},
        {"full screen", [&] { viewMode = TDisplay::kModeFull; }, 1},
    };
    apply();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        for (int i = 0; i < step.passes; ++i) {
            display.Pass();
            full.RedrawAll();
            fullDisplay.Pass();
        }
        const Surface& a = renderer.Back();
        const Surface& b = full.Back();
        int differ = 0;
        for (int y = 0; y < a.Height(); ++y)
            differ += std::memcmp(a.Line(y), b.Line(y), static_cast<size_t>(a.Width()) * 4) != 0;
        EXPECT_EQ(differ, 0) << "rows that differ";
    }
    // In a steady layout a pass draws the tiles with a new picture, and presents once.
    layout = 3;
    viewMode = TDisplay::kModeWindow;
    display.Pass();
    const uint64_t tiles = renderer.TilesDrawn(), shown = renderer.Presentations();
    picture(1, 5);
    picture(16, 5);
    display.Pass();
    display.Pass();
    EXPECT_EQ(renderer.TilesDrawn() - tiles, 2u);
    EXPECT_EQ(renderer.Presentations() - shown, 1u);
}

// While no window shows the pictures nothing is uploaded, drawn or presented; the first pass
// watched again shows the newest picture of every camera.
TEST_F(DisplayTest, NothingIsDrawnWhileNobodyWatches) {
    Deliver(1, 235);
    display.Pass();
    const uint64_t tiles = renderer.TilesDrawn(), shown = sink.Count();
    renderer.Watched = 0;
    for (uint8_t y : {16, 80, 120}) {
        Deliver(1, y);
        display.Pass();
    }
    EXPECT_EQ(renderer.TilesDrawn(), tiles);
    EXPECT_EQ(sink.Count(), shown);
    EXPECT_EQ(ready[1].load(), 1) << "the picture waits for the next watched pass";
    renderer.Watched = 1;
    display.Pass();
    EXPECT_EQ(sink.Count(), shown + 1);
    EXPECT_TRUE(Near(Shown(100, 80), 0x787878, 12)) << std::hex << Shown(100, 80);
}

TEST_F(DisplayTest, EachViewModePresentsItsTarget) {
    const std::tuple<int, PresentTarget, QSize> modes[] = {
        {TDisplay::kModeWindow, PresentTarget::MainWindow, {774, 727}},
        {TDisplay::kModeSmart, PresentTarget::SmartView, {255, 188}},
        {TDisplay::kModeFull, PresentTarget::FullScreen, {1280, 1024}},
        {TDisplay::kModeConfig, PresentTarget::ConfigPreview, {352, 288}},
    };
    for (const auto& [mode, target, size] : modes) {
        viewMode = mode;
        display.Pass();
        EXPECT_EQ(sink.Last().target, target) << mode;
        EXPECT_EQ(sink.Last().picture.size(), size) << mode;
    }
    for (int mode : {0, 5}) {
        viewMode = mode;
        Deliver(1, 235);
        size_t before = sink.Count();
        display.Pass();
        EXPECT_EQ(sink.Count(), before) << "mode " << mode << " presents nothing";
        EXPECT_EQ(ready[1].load(), 0) << "but still takes the picture";
    }
}

TEST_F(DisplayTest, TheConfiguratorPreviewShowsTheMotionTest) {
    // The preview's REC shows the test; the recorder's own indicators stay as recording sets them.
    viewMode = TDisplay::kModeConfig;
    recording[1] = recording[2] = 1;
    Deliver(1, 200);
    Deliver(2, 200);
    display.Pass();
    EXPECT_EQ(renderer.Recording[1].load(), 0) << "the test button is up";
    EXPECT_EQ(renderer.Recording[2].load(), 0);
    EXPECT_EQ(recording[1].load(), 1) << "recording goes on behind the dialog";
    EXPECT_EQ(renderer.PreviewOverlay.load(), 1) << "names and REC shown on the preview";
    EXPECT_EQ(renderer.ShowNames.load(), 0) << "the operator's switches stay as they were given";

    display.SetDetectionTest([](int camera, int w, int h) { return camera == 2 && w == 704 && h == 576; });
    recording[2] = 0;
    Deliver(1, 200);
    Deliver(2, 200);
    display.Pass();
    EXPECT_EQ(renderer.Recording[1].load(), 0);
    EXPECT_EQ(renderer.Recording[2].load(), 1);
    EXPECT_EQ(recording[2].load(), 0);

    // Zones are tinted while the dialog is open, never otherwise.
    std::vector<uint8_t> mask(TDirectX::kZoneMaskBytes, 1);
    renderer.SetZoneMask(1, mask.data());
    renderer.ShowZones = 1;
    Deliver(1, 200);
    display.Pass();
    EXPECT_EQ(renderer.CameraSurface(1).Line(0)[1], 220);
    viewMode = TDisplay::kModeWindow;
    Deliver(1, 200);
    display.Pass();
    EXPECT_EQ(renderer.CameraSurface(1).Line(0)[1], 200);
    EXPECT_EQ(renderer.PreviewOverlay.load(), 0);
}

TEST_F(DisplayTest, ThePlanReplacesTheLayoutAndShowsMotion) {
    TCamIconTable icons{};
    icons[0] = {100, 200, 0, 1, {}};
    renderer.SetPlanIcons(icons);
    planView = true;
    motion[1] = 1;
    display.Pass();
    EXPECT_TRUE(Near(Shown(400, 100), kPlanRgb));
    EXPECT_TRUE(Near(Shown(155, 347), kMotionIconRgb));
    EXPECT_EQ(renderer.Tile(1).Camera, 1) << "the tile table keeps the layout's entries";
}

TEST_F(DisplayTest, TheThreadPausesBetweenPassesAndStops) {
    ASSERT_TRUE(display.Start());
    auto waitFor = [&](uint64_t passes) {
        auto end = std::chrono::steady_clock::now() + 10s;
        while (display.Passes() < passes && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        return display.Passes() >= passes;
    };
    ASSERT_TRUE(waitFor(2));
    display.Suspend();
    std::this_thread::sleep_for(100ms);  // a pass under way may still finish
    uint64_t paused = display.Passes();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(display.Passes(), paused);
    display.Resume();
    ASSERT_TRUE(waitFor(paused + 2));
    display.Terminate();
    EXPECT_FALSE(display.Running());
    uint64_t stopped = display.Passes();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(display.Passes(), stopped);
}

TEST_F(DisplayTest, TerminateEndsAPausedThread) {
    ASSERT_TRUE(display.Start());
    display.Suspend();
    display.Terminate();
    EXPECT_FALSE(display.Running());
}

}  // namespace
}  // namespace kel
