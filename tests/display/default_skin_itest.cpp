// The Default skin as the build draws it, loaded by the renderer on the running application's
// own display platform at each of the three widths.

#include <gtest/gtest.h>

#include <filesystem>

#include "display/direct_x.h"
#include "display/qt_display_platform.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

class DefaultSkinTest : public ::testing::TestWithParam<std::pair<int, int>> {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins");
    }
    void TearDown() override { std::filesystem::current_path(old_cwd_); }
    TempDir dir;

private:
    std::filesystem::path old_cwd_;
};

TEST_P(DefaultSkinTest, LoadsWithEveryIconAtTheSizesItIsDrawnAt) {
    auto [width, height] = GetParam();
    TDirectX dx(QtDisplayPlatform::Instance());
    ASSERT_TRUE(dx.Init(width, height, nullptr)) << dx.ErrorText();
    EXPECT_GE(dx.VideoMemoryMB(), 24);
    ASSERT_TRUE(dx.LoadDisplayBitmaps("Default", width));
    const DisplayBitmaps& b = dx.Bitmaps();
    EXPECT_EQ(b.Background.Width(), dx.BackWidth()) << "drawn for its width: no stretch each pass";
    EXPECT_EQ(b.Background.Height(), dx.BackHeight());
    EXPECT_EQ(b.Plan.Width(), dx.BackWidth() - 12);
    EXPECT_EQ(b.Plan.Height(), dx.BackHeight() - 20);
    for (const Surface* panel : {&b.PanelNoSignal, &b.PanelNoCam, &b.PanelNotAllowed}) {
        EXPECT_EQ(panel->Width(), TDirectX::kPanelWidth);
        EXPECT_EQ(panel->Height(), TDirectX::kPanelHeight);
    }
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(b.Icon[n].Width(), TDirectX::kIconSize) << n;
        EXPECT_EQ(b.IconMotion[n].Height(), TDirectX::kIconSize) << n;
        EXPECT_TRUE(dx.HasCameraSurface(n));
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, DefaultSkinTest,
                         ::testing::Values(std::pair{1024, 768}, std::pair{1152, 864}, std::pair{1280, 1024}),
                         [](const auto& info) { return std::to_string(info.param.first); });

TEST(QtDisplayPlatform, AnswersForTheRunningApplication) {
    const QtDisplayPlatform& p = QtDisplayPlatform::Instance();
    EXPECT_TRUE(p.Connected());
    EXPECT_TRUE(p.WindowedMode());
    EXPECT_TRUE(p.HasScreen());
    EXPECT_GT(p.ScreenDepth(), 0);
    EXPECT_TRUE(p.CanConvert(PixelFormat::Uyvy, PixelFormat::Rgb32));
    EXPECT_GT(p.SurfaceMemory(), 24ull << 20);
}

TEST(QtDisplayPlatform, ReadsTheKernelsMemoryFigures) {
    EXPECT_EQ(QtDisplayPlatform::AvailableFromMeminfo("MemTotal:  8000 kB\nMemFree:  100 kB\n"
                                                      "MemAvailable:   2048 kB\nBuffers: 1 kB\n"),
              2048u * 1024);
    EXPECT_EQ(QtDisplayPlatform::AvailableFromMeminfo("MemTotal: 8000 kB\n"), UINT64_MAX);
    EXPECT_EQ(QtDisplayPlatform::CgroupHeadroom("max\n", "123\n"), UINT64_MAX);
    EXPECT_EQ(QtDisplayPlatform::CgroupHeadroom("1000\n", "400\n"), 600u);
    EXPECT_EQ(QtDisplayPlatform::CgroupHeadroom("1000\n", "1400\n"), 0u);
    EXPECT_EQ(QtDisplayPlatform::CgroupHeadroom("", ""), UINT64_MAX);
}

}  // namespace
}  // namespace kel
