// The archive viewer on real recordings: the index and its copy, seeking to the picture, passage
// between segments, files rotated away, play at one clock, and what it saves.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QImage>

#include "config/records.h"
#include "platform/registry_store.h"
#include "recording/archive_catalog.h"
#include "recording/avi_reader.h"
#include "recording/camera_track.h"
#include "recording/segment_reader.h"
#include "support/process.h"
#include "support/recordings.h"
#include "viewer/archive_export.h"
#include "viewer/evidence_check.h"
#include "viewer/playback.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

// The mean green level of an image, which stands for the grey it shows.
int MeanGrey(const QImage& image) {
    if (image.isNull())
        return -1;
    int64_t sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qGreen(image.pixel(x, y));
    return static_cast<int>(sum / (image.width() * image.height()));
}

// Picture k's grey, as decoded (the luma range maps onto full-range RGB).
bool ShowsPicture(const QImage& image, size_t k) {
    const int expected = (GreyOf(k) - 16) * 255 / 219;
    return std::abs(MeanGrey(image) - expected) <= 4;
}

TEST(ArchiveCatalogTest, TheIndexOrItsCopyIsReadAndWhenNeitherCanBeTheViewerSaysSo) {
    enum Spoil { None, CutIndex, EmptyIndex, CutBoth, RemoveBoth };
    const struct {
        Spoil spoil;
        bool ok;
        ArchiveCatalog::Source source;
        size_t entries;
    } cases[] = {
        {None, true, ArchiveCatalog::Source::Index, 2},
        {CutIndex, true, ArchiveCatalog::Source::Copy, 2},
        {EmptyIndex, true, ArchiveCatalog::Source::Copy, 2},  // the longer one is taken
        {CutBoth, false, ArchiveCatalog::Source::None, 0},
        {RemoveBoth, true, ArchiveCatalog::Source::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.spoil));
        TestArchive archive;
        archive.Record(3, At(10, 0, 0), 5);
        archive.Record(3, At(11, 0, 0), 5);
        const std::string index = archive.dir / VideoIndex::kFile, copy = archive.dir / VideoIndex::kCopy;
        if (c.spoil == CutIndex || c.spoil == CutBoth)
            fs::resize_file(index, 100);
        if (c.spoil == EmptyIndex)
            fs::resize_file(index, 0);
        if (c.spoil == CutBoth)
            WriteFile(copy, std::string(144, 'x'));
        if (c.spoil == RemoveBoth)
            fs::remove(index), fs::remove(copy);
        ArchiveCatalog catalog(archive.dir.Path());
        EXPECT_EQ(catalog.Load(), c.ok) << catalog.ErrorText();
        EXPECT_EQ(catalog.LoadedFrom(), c.source);
        EXPECT_EQ(catalog.Entries(3).size(), c.entries);
        EXPECT_EQ(catalog.ErrorText().empty(), c.ok);
        if (c.entries) {
            EXPECT_EQ(catalog.Entries(3)[1].startMs, MsOf(At(11, 0, 0)));
            EXPECT_TRUE(fs::exists(catalog.Entries(3)[0].path));
            EXPECT_EQ(catalog.Days(), std::vector<int64_t>{MsOf(At(0, 0, 0)) / kMsPerDay});
            EXPECT_TRUE(catalog.HasWithin(3, MsOf(At(10, 30, 0)), MsOf(At(11, 30, 0))));
            EXPECT_FALSE(catalog.HasWithin(3, MsOf(At(11, 30, 0)), MsOf(At(12, 0, 0))));
        }
        EXPECT_FALSE(catalog.Changed());
        archive.Record(3, At(12, 0, 0), 5);
        EXPECT_TRUE(catalog.Changed()) << "the station wrote the index again";
    }
}

// A camera the user may not view is left out of the catalog, so no list, day, picture or export
// of the viewer can reach it.
TEST(ArchiveCatalogTest, ACameraWithoutTheRightIsLeftOut) {
    TestArchive archive;
    archive.Record(3, At(10, 0, 0), 5);
    archive.Record(5, At(11, 0, 0), 5);
    ArchiveCatalog catalog(archive.dir.Path());
    std::array<bool, ArchiveCatalog::kCameras> allowed{};
    allowed[4] = true;  // camera 5 only
    catalog.SetAllowed(allowed);
    ASSERT_TRUE(catalog.Load()) << catalog.ErrorText();
    EXPECT_TRUE(catalog.Entries(3).empty());
    EXPECT_FALSE(catalog.HasWithin(3, MsOf(At(0, 0, 0)), MsOf(At(23, 0, 0))));
    EXPECT_EQ(catalog.Entries(5).size(), 1u);
    EXPECT_FALSE(catalog.Allowed(3));
    EXPECT_TRUE(catalog.Allowed(5));
    for (int outside : {0, 17})
        EXPECT_FALSE(catalog.Allowed(outside));
    allowed.fill(false);
    catalog.SetAllowed(allowed);
    ASSERT_TRUE(catalog.Load());
    EXPECT_TRUE(catalog.Days().empty()) << "no day shows bold for a user of no camera";
}

TEST(ArchiveCatalogTest, CameraNamesComeFromTheStoreWhichIsNeverCreated) {
    TempDir dir;
    ArchiveCatalog catalog(dir.Path());
    EXPECT_FALSE(catalog.LoadNames(dir / "none.sqlite"));
    EXPECT_FALSE(fs::exists(dir / "none.sqlite"));
    EXPECT_EQ(catalog.Name(2), "Kamera 2");
    {
        RegistryStore store;
        ASSERT_TRUE(store.Open(dir / "reg.sqlite"));
        std::vector<uint8_t> cameras(16 * sizeof(TCameraRecord));
        TCameraRecord r;
        r.Name.Set("Wejście");
        std::memcpy(cameras.data() + sizeof r, &r, sizeof r);
        ASSERT_TRUE(store.CreateKey("Software\\KEL2"));
        ASSERT_TRUE(store.WriteValue("Software\\KEL2", "Cameras", RegType::Binary, cameras));
    }
    EXPECT_TRUE(catalog.LoadNames(dir / "reg.sqlite"));
    EXPECT_EQ(catalog.Name(2), "Wejście");
    EXPECT_EQ(catalog.Name(1), "Kamera 1") << "an empty name";
}

// Camera 1: 10 pictures at 5 a second from 10:00:00, then 10 from 10:00:05, then 10 from 10:00:10.
class TrackTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int s : {0, 5, 10})
            paths.push_back(archive.Record(1, At(10, 0, s), 10));
        ASSERT_TRUE(catalog.Load());
    }
    int64_t Ms(int second, int ms = 0) { return MsOf(At(10, 0, second)) + ms; }

    TestArchive archive;
    ArchiveCatalog catalog{archive.dir.Path()};
    std::vector<std::string> paths;
};

TEST_F(TrackTest, ASeekShowsThePictureNearestTheMomentToThePicture) {
    CameraTrack track(catalog.Entries(1));
    const struct {
        int64_t asked;
        int segment;
        size_t picture;
    } cases[] = {
        {Ms(0), 0, 0}, {Ms(1, 400), 0, 7}, {Ms(1, 450), 0, 7}, {Ms(1, 500), 0, 7}, {Ms(1, 510), 0, 8},
        {Ms(3), 0, 9}, {Ms(4), 1, 0},      {Ms(6, 200), 1, 6}, {Ms(-60), 0, 0},    {Ms(59), 2, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked - Ms(0));
        const CameraTrack::Position p = track.Nearest(c.asked);
        EXPECT_EQ(p, (CameraTrack::Position{c.segment, c.picture}));
        std::vector<uint8_t> bytes;
        std::string stamp;
        ASSERT_TRUE(track.Read(p, bytes, stamp));
        EXPECT_EQ(stamp, FrameStamp(Plus(At(10, 0, c.segment * 5), static_cast<int>(c.picture) / 5)));
    }
    // The moments: each stamp's second, shared out among its pictures at the segment's rate.
    EXPECT_EQ(track.Moment({1, 6}), Ms(6, 200));
    EXPECT_EQ(track.StretchOf(1).fromMs, Ms(5));
    EXPECT_EQ(track.StretchOf(1).toMs, Ms(7));
}

TEST_F(TrackTest, StepsPassBetweenSegmentsAndSkipAFileRotatedAway) {
    CameraTrack track(catalog.Entries(1));
    EXPECT_EQ(track.Next({0, 9}), (CameraTrack::Position{1, 0}));
    EXPECT_EQ(track.Previous({1, 0}), (CameraTrack::Position{0, 9}));
    EXPECT_FALSE(track.Next({2, 9}).Valid());
    EXPECT_FALSE(track.Previous({0, 0}).Valid());

    fs::remove(paths[1]);
    CameraTrack after(catalog.Entries(1));
    EXPECT_EQ(after.Next({0, 9}), (CameraTrack::Position{2, 0}));
    EXPECT_TRUE(after.Missing(1));
    EXPECT_EQ(after.Nearest(Ms(5)), (CameraTrack::Position{0, 9}));
    EXPECT_EQ(after.Nearest(Ms(6)), (CameraTrack::Position{2, 0}));
}

TEST_F(TrackTest, PlayKeepsCamerasInTimeAndGoesOnOverGapsAtAnySpeed) {
    archive.Record(2, At(10, 0, 1), 10);  // camera 2 from 10:00:01 to 10:00:03
    ASSERT_TRUE(catalog.Load());
    Playback play;
    play.ShowCameras(catalog, {1, 2});
    play.Seek(Ms(1, 400));
    ASSERT_EQ(play.Panes().size(), 2u);
    EXPECT_TRUE(ShowsPicture(play.Panes()[0].image, 7)) << MeanGrey(play.Panes()[0].image);
    EXPECT_TRUE(ShowsPicture(play.Panes()[1].image, 2)) << MeanGrey(play.Panes()[1].image);
    EXPECT_EQ(play.Panes()[1].stamp, FrameStamp(At(10, 0, 1)));

    play.StepForward();
    EXPECT_EQ(play.Clock(), Ms(1, 600));
    EXPECT_TRUE(ShowsPicture(play.Panes()[0].image, 8));
    EXPECT_TRUE(ShowsPicture(play.Panes()[1].image, 3)) << "the other camera follows the clock";
    play.StepBack();
    play.StepBack();
    EXPECT_EQ(play.Clock(), Ms(1, 200));

    // 1x from 10:00:01.2: on over the gap after 10:00:02 (camera 2 ends at 10:00:03) to 10:00:05.
    play.Play();
    for (int i = 0; i < 100 && play.Clock() < Ms(5); ++i)
        play.Tick(40);
    EXPECT_TRUE(play.Playing());
    EXPECT_GE(play.Clock(), Ms(5));
    EXPECT_LT(play.Clock(), Ms(5, 200)) << "the gap is passed over, not waited through";
    EXPECT_EQ(play.Panes()[0].shown, (CameraTrack::Position{1, 0}));
    EXPECT_TRUE(play.Panes()[1].image.isNull());
    EXPECT_EQ(play.Panes()[1].note, "Brak nagrania w tej chwili");

    // 16x to the end, where play stops.
    play.SetSpeed(99);
    EXPECT_EQ(play.Speed(), 16);
    for (int i = 0; i < 100 && play.Playing(); ++i)
        play.Tick(40);
    EXPECT_FALSE(play.Playing());
    EXPECT_EQ(play.Panes()[0].shown, (CameraTrack::Position{2, 9}));
    EXPECT_TRUE(ShowsPicture(play.Panes()[0].image, 9));

    play.ToDayStart();
    EXPECT_EQ(play.Clock(), Ms(0));
    play.ToDayEnd();
    EXPECT_EQ(play.Clock(), Ms(11, 800));
}

TEST_F(TrackTest, AStretchIsSavedWholeWithItsStampsOrNotAtAll) {
    CameraTrack track(catalog.Entries(1));
    const std::string out = archive.dir / "out.avi";
    ExportResult r = ExportStretch(track, {0, 5}, {1, 4}, out);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.pictures, 10u);
    EXPECT_EQ(DecodedPictures(out), 10);
    SegmentReader back;
    ASSERT_TRUE(back.Open(out));
    ASSERT_EQ(back.Pictures(), 10u);
    EXPECT_EQ(back.Stamp(0), FrameStamp(At(10, 0, 1)));
    EXPECT_EQ(back.Stamp(9), FrameStamp(At(10, 0, 5)));
    EXPECT_FALSE(fs::exists(out + ".part"));

    // A target that cannot be written, and a cancel half-way: a message, nothing left behind.
    const std::string nowhere = archive.dir / "no-such-folder/out.avi";
    r = ExportStretch(track, {0, 0}, {2, 9}, nowhere);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error, "");
    const std::string cancelled = archive.dir / "cancelled.avi";
    r = ExportStretch(track, {0, 0}, {2, 9}, cancelled, [](size_t done, size_t) { return done < 25; });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Przerwano");
    EXPECT_FALSE(fs::exists(cancelled));
    EXPECT_FALSE(fs::exists(cancelled + ".part"));

    Playback play;
    play.ShowCameras(catalog, {1});
    play.Seek(Ms(6));
    std::string error;
    ASSERT_TRUE(ExportPicture(play.Panes()[0].image, archive.dir / "pic.png", error)) << error;
    EXPECT_TRUE(ShowsPicture(QImage(QString::fromStdString(archive.dir / "pic.png")), 5));
    EXPECT_FALSE(ExportPicture(play.Panes()[0].image, nowhere + ".png", error));
    EXPECT_FALSE(fs::exists(nowhere + ".png.part"));
}

// Evidence of three cameras over a segment boundary: each camera's stretch whole in its own
// file, the manifest naming them with their sizes and hashes; kel-viewer --verify passes it, then
// names a file changed by one byte and a file removed. A cancel leaves nothing.
TEST(EvidenceTest, ThreeCamerasOverASegmentBoundaryVerifyUntilAByteChanges) {
    TestArchive archive;
    for (int n : {1, 2, 3})
        for (int s : {0, 2})  // 10 pictures at 5 a second each: 0.0 to 1.8 and 2.0 to 3.8
            archive.Record(n, At(10, 0, s), 10);
    ArchiveCatalog catalog{archive.dir.Path()};
    ASSERT_TRUE(catalog.Load());
    std::vector<std::unique_ptr<CameraTrack>> tracks;
    std::vector<EvidenceCamera> cameras;
    for (int n : {1, 2, 3}) {
        tracks.push_back(std::make_unique<CameraTrack>(catalog.Entries(n)));
        EvidenceCamera c;
        c.camera = n;
        c.name = "Brama " + std::to_string(n);
        c.track = tracks.back().get();
        c.from = c.track->After(MsOf(At(10, 0, 1)) - 1);
        c.to = c.track->AtOrBefore(MsOf(At(10, 0, 3)));
        cameras.push_back(c);
    }
    std::string error;
    const auto key = StationKey::LoadOrCreate(archive.dir.Path(), error);
    ASSERT_TRUE(key) << error;
    EvidenceInfo info{"Stacja Północ", "anna", "2026-12-08 14:00:00", "od", "do", key.get()};
    const std::string folder = archive.dir / "Dowod";

    const EvidenceResult cancelled =
        ExportEvidence(cameras, info, folder, [](size_t done, size_t) { return done < 15; });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(folder + ".part")) << "a cancel leaves nothing";

    size_t last = 0, total = 0;
    const EvidenceResult r = ExportEvidence(cameras, info, folder, [&](size_t done, size_t all) {
        EXPECT_GE(done, last);
        last = done;
        total = all;
        return true;
    });
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.pictures, 3u * 11);  // 10:00:01 to 10:00:03, five before the boundary and six after
    EXPECT_EQ(last, total);
    EXPECT_FALSE(fs::exists(folder + ".part"));
    for (int n : {1, 2, 3})
        EXPECT_EQ(DecodedPictures(folder + "/Kamera" + std::to_string(n) + ".avi"), 11);
    const std::string manifest = ReadFile(folder + "/manifest.json");
    for (const char* part : {"\"station\": \"Stacja Północ\"", "\"exported_by\": \"anna\"",
                             "\"name\": \"Brama 2\"", "\"first\": \"2026-12-07 10:00:01.000\"",
                             "\"last\": \"2026-12-07 10:00:03.000\"", "\"sha256\": \""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part << "\n" << manifest;
    EXPECT_FALSE(ExportEvidence(cameras, info, folder).ok) << "an existing folder is never written into";

    auto verify = [&](std::string& out) {
        Process viewer(KEL_VIEWER_BINARY, {"--verify", folder, "--workdir", archive.dir.Path()}, {},
                       archive.dir / "verify.out", archive.dir / "verify.err");
        const int status = viewer.Wait(std::chrono::seconds(30));
        out = viewer.Out();
        return status;
    };
    std::string out;
    EXPECT_EQ(verify(out), 0) << out;
    EXPECT_NE(out.find("Eksport jest nienaruszony (3 plików)"), std::string::npos) << out;
    {
        std::fstream f(folder + "/Kamera2.avi", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(3000);
        f.put('\x5a');
    }
    EXPECT_EQ(verify(out), 1) << out;
    EXPECT_NE(out.find("NIEZGODNY: Kamera2.avi: inna suma SHA-256"), std::string::npos) << out;
    fs::remove(folder + "/Kamera3.avi");
    EXPECT_EQ(verify(out), 1) << out;
    EXPECT_NE(out.find("NIEZGODNY: Kamera3.avi: brak pliku"), std::string::npos) << out;
    EXPECT_NE(out.find("zgodny: Kamera1.avi"), std::string::npos) << out;
    fs::remove(folder + "/manifest.json");
    EXPECT_EQ(verify(out), 2);
}

}  // namespace
}  // namespace kel
