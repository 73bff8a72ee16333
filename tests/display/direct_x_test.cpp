// The renderer on a skin of solid-colour bitmaps, so that a pixel of the back surface tells what
// was drawn there: the set-up checks, the skin files, the panels' precedence, the zone tint,
// hit tests, the zoom over passes, the site plan, the text rules and presentation.

#include "display/direct_x.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <filesystem>
#include <functional>

#include "display/display_test_util.h"
#include "display/tile_text.h"
#include "support/fake_display_platform.h"

namespace kel {
namespace {

constexpr uint32_t kWhite = 0xffffff;
constexpr uint32_t kGrey = 0x808080;  // what Y 126 shows as, near enough

class DirectXTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        for (int n = 1; n <= 16; ++n) {
            cameras[n - 1].Name.Set("Kamera " + std::to_string(n));
            cameras[n - 1].Active = 1;
            cameras[n - 1].Resolution = 0;
        }
    }
    void TearDown() override { std::filesystem::current_path(old_cwd_); }

    // A renderer set up for width x height with the test skin, every camera active, with a
    // signal and allowed.
    std::unique_ptr<TDirectX> Ready(int width = 1024, int height = 768) {
        WriteSkin(dir.Path(), "Test", width, width - 250, height - 41);
        auto dx = std::make_unique<TDirectX>(platform);
        EXPECT_TRUE(dx->Init(width, height, &sink)) << dx->ErrorText();
        EXPECT_TRUE(dx->LoadDisplayBitmaps("Test", width));
        dx->SetCameraRecords(cameras);
        for (int n = 1; n <= 16; ++n)
            dx->CameraSignal[n] = dx->Allowed[n] = 1;
        return dx;
    }
    void Upload(TDirectX& dx, int camera, uint8_t y) {
        std::vector<uint8_t> frame = SolidFrame(704, 576, y);
        dx.UploadFrame(704, 576, camera, frame.data());
    }

    TempDir dir;
    FakeDisplayPlatform platform;
    KeepingSink sink;
    TCameraTable cameras{};

private:
    std::filesystem::path old_cwd_;
};

TEST_F(DirectXTest, EachFailedSetUpCheckGivesItsCodedText) {
    const std::pair<std::function<void(FakeDisplayPlatform&)>, std::string> cases[] = {
        {[](auto& p) { p.connected = false; }, "{#0010} Brak badz niewlasciwa wersja bibliotek Direct X"},
        {[](auto& p) { p.windowed = false; }, "{#0013} Wybrany tryb dziala jedynie w trybie FULLSCREEN"},
        {[](auto& p) { p.screen = false; }, "{#0015} Brak mozliwosci utworzenia Primary Surface"},
        {[](auto& p) { p.writesRgb32 = false; }, "{#0012} Brak wspomagania trybu OVERLAY"},
        {[](auto& p) { p.readsUyvy = false; }, "{#0014} Format Obrazu Nieobslugiwany"},
        {[](auto& p) { p.depth = 0; }, "{#0018} Blad podczas pobierania danych o trybie wyswietlania"},
        {[](auto& p) { p.memory = 2u << 20; }, "{#0019} Blad podczas tworzenia Back Surface"},
    };
    for (const auto& [change, text] : cases) {
        FakeDisplayPlatform p;
        change(p);
        TDirectX dx(p);
        EXPECT_FALSE(dx.Init(1024, 768, nullptr)) << text;
        EXPECT_EQ(dx.ErrorText(), text);
    }
    TDirectX narrow(platform);
    EXPECT_FALSE(narrow.Init(250, 768, nullptr)) << "a window no wider than its control panel";
    EXPECT_EQ(narrow.ErrorText(), "{#0019} Blad podczas tworzenia Back Surface");
}

TEST_F(DirectXTest, BackSurfaceAndVideoMemory) {
    for (auto [w, h, bw, bh] :
         {std::tuple{1024, 768, 774, 727}, {1152, 864, 902, 823}, {1280, 1024, 1030, 983}}) {
        TDirectX dx(platform);
        ASSERT_TRUE(dx.Init(w, h, nullptr));
        EXPECT_EQ(dx.Back().Width(), bw);
        EXPECT_EQ(dx.Back().Height(), bh);
    }
    TDirectX dx(platform);
    platform.memory = (24ull << 20) - 1;
    EXPECT_EQ(dx.VideoMemoryMB(), 23);
    platform.memory = 24ull << 20;  // read afresh on every call
    EXPECT_EQ(dx.VideoMemoryMB(), 24);
}

TEST_F(DirectXTest, EveryRequiredBitmapIsNeeded) {
    const char* required[] = {"w_background.bmp",    "panel_nosignal.bmp", "panel_nocam.bmp",
                              "panel_noallowed.bmp", "2harm_rec.bmp",      "2harm_detekcja.bmp",
                              "screen.bmp"};
    for (const char* missing : required) {
        std::filesystem::remove_all(dir.File("Skins"));
        WriteSkin(dir.Path(), "Test", 1024, 774, 727, {missing});
        TDirectX dx(platform);
        ASSERT_TRUE(dx.Init(1024, 768, nullptr));
        EXPECT_FALSE(dx.LoadDisplayBitmaps("Test", 1024)) << missing;
    }
    TDirectX dx(platform);
    ASSERT_TRUE(dx.Init(1024, 768, nullptr));
    EXPECT_FALSE(dx.LoadDisplayBitmaps("Test", 1152)) << "no folder for that width";
}

TEST_F(DirectXTest, SitePlanFileAndItsFallBack) {
    WriteSkin(dir.Path(), "Test", 1024, 774, 727, {"camera_5.bmp"});
    WriteBitmap(dir.File("plan.bmp"), 598, 472, kOtherPlanRgb);
    const std::pair<std::string, uint32_t> cases[] = {
        {"", kPlanRgb}, {"screen.bmp", kPlanRgb}, {"plan.bmp", kOtherPlanRgb}, {"missing.bmp", kPlanRgb}};
    for (const auto& [map, rgb] : cases) {
        TDirectX dx(platform);
        ASSERT_TRUE(dx.Init(1024, 768, nullptr));
        dx.SetMapFile(map);
        ASSERT_TRUE(dx.LoadDisplayBitmaps("Test", 1024)) << map;
        EXPECT_EQ(Pixel(dx.Bitmaps().Plan, 10, 10), rgb) << "MapFile \"" << map << "\"";
        EXPECT_FALSE(dx.Bitmaps().Icon[5].Valid()) << "a missing icon is skipped";
        EXPECT_TRUE(dx.Bitmaps().Icon[6].Valid());
        EXPECT_TRUE(dx.HasCameraSurface(16));
    }
}

// Camera surfaces that do not fit in the memory left are skipped; their tiles stay empty.
TEST_F(DirectXTest, CameraSurfacesThatDoNotFitAreSkipped) {
    WriteSkin(dir.Path(), "Test", 1024, 774, 727);
    uint64_t needed =
        2 * Surface::BytesFor(774, 727, PixelFormat::Rgb32) +
        3 * Surface::BytesFor(352, 288, PixelFormat::Rgb32) +
        2 * Surface::BytesFor(40, 16, PixelFormat::Rgb32) + Surface::BytesFor(598, 472, PixelFormat::Rgb32) +
        32 * Surface::BytesFor(50, 50, PixelFormat::Rgb32) + Surface::BytesFor(10, 10, PixelFormat::Uyvy);
    platform.memory = needed + 3 * Surface::BytesFor(704, 576, PixelFormat::Uyvy);
    TDirectX dx(platform);
    ASSERT_TRUE(dx.Init(1024, 768, nullptr));
    ASSERT_TRUE(dx.LoadDisplayBitmaps("Test", 1024));
    EXPECT_TRUE(dx.HasCameraSurface(3));
    EXPECT_FALSE(dx.HasCameraSurface(4));
    dx.SetCameraRecords(cameras);
    dx.CameraSignal[4] = dx.Allowed[4] = 1;
    Upload(dx, 4, 235);
    const int32_t list[] = {4};
    dx.DrawGrid(list, 1, false);
    EXPECT_EQ(Pixel(dx.Back(), 300, 300), kBackgroundRgb);
}

TEST_F(DirectXTest, PanelPrecedence) {
    auto dx = Ready();
    Upload(*dx, 1, 235);
    const Rect tile = Rect::Sized(0, 0, 192, 157);
    auto drawn = [&](uint8_t active, uint8_t signal, uint8_t allowed) {
        TCameraRecord r = cameras[0];
        r.Active = active;
        dx->CameraSignal[1] = signal;
        dx->Allowed[1] = allowed;
        dx->DrawTile(1, tile, r);
        return Pixel(dx->Back(), 96, 78);
    };
    EXPECT_TRUE(Near(drawn(0, 0, 0), kNoCamRgb)) << "switched off wins over no signal";
    EXPECT_TRUE(Near(drawn(1, 0, 0), kNoSignalRgb)) << "no signal wins over no right";
    EXPECT_TRUE(Near(drawn(1, 1, 0), kNotAllowedRgb));
    EXPECT_TRUE(Near(drawn(1, 1, 1), kWhite));
}

// A switched-off camera's tile shows its name but no stamp of a picture it no longer takes, and
// switched on again it shows none until its next picture.
TEST_F(DirectXTest, ASwitchedOffCameraLosesItsStamp) {
    const Rect tile = Rect::Sized(0, 0, 384, 314);
    auto drawn = [&](TDirectX& dx, uint8_t active, bool stamped) {
        dx.ShowNames = 1;
        if (stamped)
            dx.SetStamp(1, "12:34:56", "2026-12-08");
        TCameraRecord r = cameras[0];
        r.Active = active;
        dx.CameraSignal[1] = 0;  // the no-signal panel, the same whatever the picture
        dx.DrawTile(1, tile, r);
        dx.DrawTileText(tile, 1, r);
        return Copy(dx.Back(), tile);
    };
    auto plain = Ready();
    auto stamped = Ready();
    EXPECT_NE(drawn(*stamped, 1, true), drawn(*plain, 1, false)) << "the stamp shows while it is on";
    EXPECT_EQ(drawn(*stamped, 0, false), drawn(*plain, 0, false)) << "switched off";
    EXPECT_EQ(drawn(*stamped, 1, false), drawn(*plain, 1, false)) << "switched on again";
}

TEST_F(DirectXTest, ZoneCellsAreTintedModulo256) {
    auto dx = Ready();
    std::vector<uint8_t> mask(TDirectX::kZoneMaskBytes, 0);
    mask[1 * 176 + 2] = 1;  // grid row 1, column 2
    mask[0] = 2;            // only a 1 marks a zone cell
    dx->SetZoneMask(1, mask.data());
    std::vector<uint8_t> frame(704 * 576 * 2, 240);
    auto at = [&](int line, int byte) { return dx->CameraSurface(1).Line(line)[byte]; };

    dx->UploadFrameWithZones(704, 576, 1, frame.data());
    EXPECT_EQ(at(4, 16), 240) << "ShowZones off";
    dx->ShowZones = 1;
    dx->UploadFrameWithZones(704, 576, 1, frame.data());
    // At 704 x 576 a cell is 8 bytes by 4 lines: row 1 is lines 4..7, column 2 bytes 16..23.
    EXPECT_EQ(at(4, 16), 4);
    EXPECT_EQ(at(7, 23), 4);
    EXPECT_EQ(at(3, 16), 240);
    EXPECT_EQ(at(8, 16), 240);
    EXPECT_EQ(at(4, 15), 240);
    EXPECT_EQ(at(4, 24), 240);
    EXPECT_EQ(at(0, 0), 240);
    // At 176 x 144 a cell is 2 bytes by 1 line.
    dx->UploadFrameWithZones(176, 144, 1, frame.data());
    EXPECT_EQ(at(1, 4), 4);
    EXPECT_EQ(at(1, 5), 4);
    EXPECT_EQ(at(1, 6), 240);
    EXPECT_EQ(at(2, 4), 240);
    dx->UploadFrame(176, 144, 1, frame.data());
    EXPECT_EQ(at(1, 4), 240) << "a plain upload never tints";
}

TEST_F(DirectXTest, UploadsOutsideTheSurfaceAreRefused) {
    auto dx = Ready();
    std::vector<uint8_t> big(800 * 600 * 2, 99);
    dx->UploadFrame(800, 600, 1, big.data());
    dx->UploadFrame(704, 576, 0, big.data());
    dx->UploadFrame(704, 576, 17, big.data());
    EXPECT_NE(dx->CameraSurface(1).Line(0)[1], 99);
}

// A list entry outside 1..16 draws nothing there and takes no place in the tile table.
TEST_F(DirectXTest, CamerasOutsideTheRangeDrawNothing) {
    auto dx = Ready();
    for (int n = 1; n <= 16; ++n)
        Upload(*dx, n, 235);
    const int32_t list[] = {0, 17, 3, -1};
    dx->DrawGrid(list, 2, false);
    EXPECT_EQ(Pixel(dx->Back(), 100, 100), kBackgroundRgb);
    EXPECT_EQ(Pixel(dx->Back(), 500, 100), kBackgroundRgb);
    EXPECT_EQ(Pixel(dx->Back(), 500, 400), kBackgroundRgb);
    EXPECT_TRUE(Near(Pixel(dx->Back(), 100, 400), kWhite));
    EXPECT_EQ(dx->HitTest(100, 100, false), TDirectX::kNoHit);
    EXPECT_EQ(dx->HitTest(100, 400, false), 3);
    EXPECT_EQ(dx->Tile(3).Camera, 3);
}

TEST_F(DirectXTest, HitTestsMissGapsAndEdges) {
    auto dx = Ready();
    int32_t list[16];
    for (int i = 0; i < 16; ++i)
        list[i] = 16 - i;
    dx->DrawGrid(list, 4, false);  // tiles 192 x 157, one pixel apart
    EXPECT_EQ(dx->HitTest(1, 1, false), 1);
    EXPECT_EQ(dx->HitTest(191, 156, false), 1);
    EXPECT_EQ(dx->HitTest(0, 50, false), TDirectX::kNoHit) << "left edge";
    EXPECT_EQ(dx->HitTest(192, 50, false), TDirectX::kNoHit) << "the gap";
    EXPECT_EQ(dx->HitTest(193, 50, false), TDirectX::kNoHit) << "the next tile's edge";
    EXPECT_EQ(dx->HitTest(194, 50, false), 2);
    EXPECT_EQ(dx->HitTest(50, 157, false), TDirectX::kNoHit);
    EXPECT_EQ(dx->HitTest(50, 160, false), 5);
    EXPECT_EQ(dx->HitTest(700, 640, false), TDirectX::kNoHit) << "below the last row";
    EXPECT_EQ(dx->Tile(2).Camera, 15);

    // In full screen the hit rectangles follow the presentation's size.
    dx->PresentScaled(PresentTarget::FullScreen, 1024, 768);
    dx->DrawGrid(list, 2, true);
    EXPECT_EQ(dx->HitTest(510, 382, false), 1);
    EXPECT_EQ(dx->HitTest(511, 100, false), TDirectX::kNoHit);
    EXPECT_EQ(dx->HitTest(512, 100, false), TDirectX::kNoHit);
    EXPECT_EQ(dx->HitTest(513, 100, false), 2);
    EXPECT_EQ(dx->HitTest(1022, 766, false), 4);
}

TEST_F(DirectXTest, ZoomGlidesOverTenPassesAndWaitsForALayout) {
    auto dx = Ready();
    dx->ZoomStart(1, 0, 0);
    EXPECT_FALSE(dx->ZoomActive()) << "no layout drawn yet";
    // Camera 1: left half white, right half black.
    std::vector<uint8_t> frame = SolidFrame(704, 576, 16);
    for (int y = 0; y < 576; ++y)
        for (int b = 0; b < 704; b += 2)
            frame[static_cast<size_t>(y) * 1408 + b + 1] = 235;
    dx->UploadFrame(704, 576, 1, frame.data());
    const int32_t one[] = {1};
    dx->DrawGrid(one, 1, false);
    EXPECT_TRUE(Near(Pixel(dx->Back(), 700, 300), 0));
    dx->ZoomStart(1, 0, 0);  // the top-left quarter, all white
    ASSERT_TRUE(dx->ZoomActive());
    for (int pass = 0; pass < 11; ++pass)
        dx->DrawGrid(one, 1, false);
    EXPECT_EQ(dx->Zoom().Current(), (Rect{0, 0, 354, 286}));
    EXPECT_TRUE(Near(Pixel(dx->Back(), 700, 300), kWhite, 8));
    dx->ZoomStop();
    dx->DrawGrid(one, 1, false);
    EXPECT_TRUE(Near(Pixel(dx->Back(), 700, 300), 0)) << "the whole picture again at once";
    dx->ZoomStart(99, 0, 0);
    EXPECT_FALSE(dx->ZoomActive());
}

TEST_F(DirectXTest, SitePlanPlacesIconsByTheEditorsScale) {
    auto dx = Ready();
    TCamIconTable icons{};
    icons[2] = {100, 200, 0, 1, {}};  // camera 3 at editor (100, 200)
    icons[3] = {300, 100, 0, 0, {}};  // camera 4 not placed
    dx->SetPlanIcons(icons);
    dx->DrawPlan();
    EXPECT_EQ(dx->IconBox(3), Rect::Sized(130, 322, 50, 50));
    EXPECT_TRUE(Near(Pixel(dx->Back(), 155, 347), kIconRgb));
    EXPECT_TRUE(Near(Pixel(dx->Back(), 400, 100), kPlanRgb));
    EXPECT_EQ(Pixel(dx->Back(), 1, 100), kBackgroundRgb) << "the plan leaves a margin";
    dx->Motion[3] = 1;
    dx->DrawPlan();
    EXPECT_TRUE(Near(Pixel(dx->Back(), 155, 347), kMotionIconRgb));
    EXPECT_EQ(dx->HitTest(155, 347, true), 3);
    EXPECT_EQ(dx->HitTest(130, 347, true), TDirectX::kNoHit) << "the icon's edge";
    int x4 = 776 * 300 / 598 + 25, y4 = 737 * 100 / 472 + 10 + 25;
    EXPECT_EQ(dx->HitTest(x4, y4, true), TDirectX::kNoHit) << "where the unplaced icon would be";
}

// A long name and the date-and-time stamp stay whole in their boxes at every size: they are drawn
// smaller when the size of the tile would cut them.
TEST(TileTextTest, NamesAndStampsFitTheirBoxes) {
    TileText text;
    const QString stamp = QStringLiteral("2026-12-07 11:03:27");
    const QString name = QStringLiteral("Wejście główne od parkingu");
    const Rect tile = Rect::Sized(0, 0, 770, 630);
    for (int points : {8, 10, 11, 22}) {
        for (const auto& [t, box] :
             {std::pair{stamp, TileText::StampBox(tile, points)}, std::pair{name, TileText::NameBox(tile)}}) {
            QFont f = text.FittedFont(points, t, box.width());
            const int advance = QFontMetrics(f).horizontalAdvance(t);
            EXPECT_LE(advance, box.width()) << points << " " << t.toStdString();
            if (f.pixelSize() < TileText::PixelSize(points)) {
                EXPECT_GE(advance, box.width() * 3 / 4) << "only as much smaller as needed";
            }
        }
    }
    EXPECT_EQ(text.FittedFont(22, QStringLiteral("Brama"), 200).pixelSize(), TileText::PixelSize(22));
}

// Text over a grey picture: black boxes without the shadow switch, a black shadow with it, and
// "REC" drawn whatever the name switches say.
TEST_F(DirectXTest, TileTextBoxesAndShadows) {
    auto dx = Ready();
    Upload(*dx, 1, 126);
    dx->TextColor = 0x00ffff;  // yellow
    const int32_t one[] = {1};
    const Rect tile = Rect::Sized(0, 0, 770, 630);
    auto blackIn = [&](const QRect& box) {
        int n = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                n += Pixel(dx->Back(), x, y) == 0;
        return n;
    };
    dx->ShowNames = 1;
    dx->DrawGrid(one, 1, false);
    EXPECT_EQ(Pixel(dx->Back(), 5, 5), 0u) << "the name stands on a black box";
    EXPECT_TRUE(Near(Pixel(dx->Back(), 4, 5), kGrey, 8));

    dx->TextShadow = 1;
    dx->DrawGrid(one, 1, false);
    EXPECT_TRUE(Near(Pixel(dx->Back(), 5, 5), kGrey, 8)) << "no box with the shadow";
    EXPECT_GT(blackIn(TileText::NameBox(tile)), 20) << "the shadow";

    dx->ShowNames = 0;
    dx->ShowRec = 1;
    dx->Recording[1] = 1;
    dx->DrawGrid(one, 1, false);
    QRect rec = TileText::RecBox(tile, 22);
    EXPECT_EQ(rec.left(), 770 - 88);
    EXPECT_GT(blackIn(rec.adjusted(0, 0, -200, -10)), 20) << "REC has its shadow";
    EXPECT_EQ(blackIn(TileText::NameBox(tile)), 0) << "no name";
    dx->Recording[1] = 0;
    dx->DrawGrid(one, 1, false);
    EXPECT_EQ(blackIn(rec.adjusted(0, 0, -200, -10)), 0);

    dx->ShowNames = 1;
    dx->HideNames = 1;
    dx->Recording[1] = 1;
    dx->DrawGrid(one, 1, false);
    EXPECT_EQ(blackIn(TileText::NameBox(tile)), 0) << "SmartView hides the names";
    EXPECT_GT(blackIn(rec.adjusted(0, 0, -200, -10)), 20) << "but not REC";
}

TEST_F(DirectXTest, PresentationHandsOverFinishedPictures) {
    auto dx = Ready();
    EXPECT_TRUE(dx->CopyToImage(352, 288).isNull()) << "nothing composed yet";
    const int32_t one[] = {2};
    Upload(*dx, 2, 235);
    dx->DrawGrid(one, 1, false);
    ASSERT_TRUE(dx->PresentWindow());
    KeepingSink::Shown shown = sink.Last();
    EXPECT_EQ(shown.target, PresentTarget::MainWindow);
    EXPECT_EQ(shown.picture.size(), QSize(774, 727));
    EXPECT_EQ(Pixel(shown.picture, 100, 100), Pixel(dx->Back(), 100, 100));

    ASSERT_TRUE(dx->PresentScaled(PresentTarget::SmartView, 255, 188));
    shown = sink.Last();
    EXPECT_EQ(shown.target, PresentTarget::SmartView);
    EXPECT_EQ(shown.picture.size(), QSize(255, 188));
    EXPECT_TRUE(Near(Pixel(shown.picture, 250, 183), kWhite, 8)) << "the used area fills it";
    EXPECT_EQ(dx->TargetWidth(), 255);
    EXPECT_EQ(dx->TargetHeight(), 188);
    // Later changes to the back surface never reach a picture already handed over.
    const int32_t none[] = {0};
    dx->DrawGrid(none, 1, false);
    EXPECT_TRUE(Near(Pixel(shown.picture, 100, 100), kWhite, 8));

    QImage snapshot = dx->CopyToImage(704, 576);
    EXPECT_EQ(snapshot.size(), QSize(704, 576));
    dx->SetClipperWindow(nullptr);
    EXPECT_FALSE(dx->PresentWindow()) << "composed, presented nowhere";
}

TEST_F(DirectXTest, AReleasedRendererDrawsNothing) {
    auto dx = Ready();
    dx->Release();
    const int32_t list[] = {1, 2, 3, 4};
    Upload(*dx, 1, 235);
    EXPECT_TRUE(dx->DrawGrid(list, 2, false));
    dx->DrawPlan();
    EXPECT_FALSE(dx->PresentWindow());
    EXPECT_FALSE(dx->PresentScaled(PresentTarget::FullScreen, 1024, 768));
}

}  // namespace
}  // namespace kel
