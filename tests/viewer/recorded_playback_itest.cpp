// What the real kel records, played back in the viewer: two cameras recorded continuously for a few
// seconds, then found by the index, sought to the picture, stepped through whole and saved; and a
// network camera recorded as it sent, sought, stepped and saved the same way without re-encoding.

#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavutil/avutil.h>
}

#include "config/config.h"
#include "recording/avi_reader.h"
#include "recording/schedule.h"
#include "support/station_runner.h"
#include "viewer/archive_export.h"
#include "viewer/pane_grid.h"
#include "viewer/viewer_window.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class RecordedPlayback : public StationRunner {};

TEST_F(RecordedPlayback, WhatTheStationRecordedIsFoundSoughtSteppedThroughAndSaved) {
    PrepareRecording(2, nullptr, [](TConfig& c) { c.Cameras[1].Name.Set("Brama"); });
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    std::this_thread::sleep_for(6s);
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();

    ViewerWindow window(Work(), Registry());
    window.Tell = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    window.LoadArchive();
    ArchiveCatalog& catalog = window.Catalog();
    ASSERT_FALSE(catalog.Entries(1).empty());
    ASSERT_FALSE(catalog.Entries(2).empty());
    EXPECT_EQ(catalog.Name(2), "Brama");
    window.SetCameras({2, 1});
    ASSERT_EQ(window.Panes()->Views().size(), 2u);
    EXPECT_EQ(window.Panes()->Views()[0].title, "2. Brama");

    // A second into the recording: the lead shows a picture stamped with that very second.
    Playback& play = window.Player();
    const int64_t start = catalog.Entries(2).front().startMs;
    play.Seek(start + 1000);
    ASSERT_TRUE(play.Panes()[0].shown.Valid());
    int64_t stamped = 0;
    ASSERT_TRUE(SegmentReader::ParseStamp(play.Panes()[0].stamp, stamped)) << play.Panes()[0].stamp;
    EXPECT_EQ(stamped, start + 1000);
    EXPECT_EQ(play.Clock(), start + 1000) << "the first picture of that second";

    // Every picture of camera 2, step by step, decodes, with stamps that never go back. (The first
    // pictures may bear the second before the one the segment is named after.)
    play.Seek(start - 60'000);
    EXPECT_EQ(play.Panes()[0].shown, (CameraTrack::Position{0, 0}));
    size_t pictures = 1;
    int64_t last = play.Clock();
    for (;;) {
        ASSERT_FALSE(play.Panes()[0].image.isNull()) << play.Panes()[0].note;
        const CameraTrack::Position before = play.Panes()[0].shown;
        play.StepForward();
        if (play.Panes()[0].shown == before)
            break;
        ++pictures;
        EXPECT_GE(play.Clock(), last);
        last = play.Clock();
    }
    int decoded = 0;
    for (const CatalogEntry& e : catalog.Entries(2))
        decoded += DecodedPictures(e.path);
    EXPECT_EQ(static_cast<int>(pictures), decoded);
    EXPECT_GT(pictures, 50u);

    // The whole first segment of camera 2, saved: the tools read every picture of it.
    const std::string saved = dir.File("saved.avi");
    window.ChooseSaveFile = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(saved);
    };
    play.Seek(start);
    window.SaveStretch();
    EXPECT_EQ(DecodedPictures(saved), DecodedPictures(catalog.Entries(2).front().path));
    EXPECT_EQ(ProbeStreams(saved), "video,DIV3\nsubtitle,[0][0][0][0]\n");
}

// "size,flags,md5" of each video packet of a recording.
std::vector<std::string> Packets(const std::string& path) {
    std::istringstream in(
        Shell("ffprobe -v error -select_streams v:0 -show_entries packet=size,flags,data_hash "
              "-show_data_hash md5 -of csv=p=0 '" +
              path + "' 2>/dev/null"));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST_F(RecordedPlayback, ANetworkCameraRecordedAsItSendsIsSoughtSteppedAndSavedWithoutReencoding) {
    // The camera: an H.264 file played in a loop at its own pace, a key picture every second.
    const std::string camera = dir.File("camera.mp4");
    ASSERT_EQ(
        Shell("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=640x360:rate=25 -t 20 -c:v libx264 -g 25 "
              "-pix_fmt yuv420p -y '" +
              camera + "'; echo $?"),
        "0\n");
    std::ofstream(dir.File("cameras.txt")) << "1 = " << camera << "\n";
    PrepareRecording(1);
    auto kel = Start({"--yes", "--board", "stream:" + dir.File("cameras.txt")});
    ASSERT_TRUE(WaitForLog("Kamera 1: obraz z " + camera)) << LogText() << kel->Err();
    std::this_thread::sleep_for(6s);
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();

    ViewerWindow window(Work(), Registry());
    window.Tell = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    window.LoadArchive();
    const std::vector<CatalogEntry>& entries = window.Catalog().Entries(1);
    ASSERT_FALSE(entries.empty());
    ASSERT_EQ(entries.front().path.substr(entries.front().path.size() - 4), ".mp4");
    window.SetCameras({1});
    Playback& play = window.Player();
    Playback::Pane& pane = play.MutablePanes()[0];

    // Step through every picture from the first, each going on from the one before; keep a few.
    const int64_t start = entries.front().startMs;
    play.Seek(start - 60'000);
    ASSERT_EQ(pane.shown, (CameraTrack::Position{0, 0}));
    std::vector<std::pair<CameraTrack::Position, QImage>> kept;
    size_t pictures = 1;
    int64_t last = play.Clock();
    for (;;) {
        ASSERT_FALSE(pane.image.isNull()) << pane.note;
        if (pictures % 17 == 5)
            kept.emplace_back(pane.shown, pane.image);
        const CameraTrack::Position before = pane.shown;
        play.StepForward();
        if (pane.shown == before)
            break;
        ++pictures;
        EXPECT_GT(play.Clock(), last) << "each picture its own moment, to the millisecond";
        last = play.Clock();
    }
    size_t recorded = 0;
    for (const CatalogEntry& e : entries)
        recorded += Packets(e.path).size();
    EXPECT_EQ(pictures, recorded);
    EXPECT_GT(pictures, 100u) << "every picture the camera sent, 25 a second";

    // A seek lands on the picture nearest the moment, decoded from its group's key picture: the
    // same image as when reached step by step.
    ASSERT_GT(kept.size(), 4u);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
        const int64_t at = pane.track->Moment(it->first);
        play.Seek(at + 1);
        EXPECT_EQ(pane.shown, it->first);
        EXPECT_EQ(play.Clock(), at);
        EXPECT_TRUE(pane.image == it->second) << "picture " << it->first.picture;
        int64_t stamped = 0;
        ASSERT_TRUE(SegmentReader::ParseStamp(pane.stamp, stamped)) << pane.stamp;
        EXPECT_EQ(stamped, at);
    }

    // A stretch from the middle of a group saved as MP4: from the key picture before it, each
    // packet as recorded, and it plays.
    CameraTrack& track = *pane.track;
    const CameraTrack::Position from{0, 37}, to{0, 80};
    ASSERT_TRUE(StretchIsStream(track, from));
    const size_t key = track.Reader(0)->KeyBefore(37);
    EXPECT_EQ(key, 25u);
    const std::string saved = dir.File("saved.mp4");
    const ExportResult r = ExportStretch(track, from, to, saved);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.pictures, 80 - key + 1);
    const std::vector<std::string> source = Packets(entries.front().path);
    ASSERT_GT(source.size(), 80u);
    EXPECT_EQ(Packets(saved), std::vector<std::string>(source.begin() + static_cast<std::ptrdiff_t>(key),
                                                       source.begin() + 81));
    EXPECT_EQ(DecodedPictures(saved), static_cast<int>(r.pictures));
    EXPECT_EQ(ProbeStreams(saved), "video,avc1\nsubtitle,tx3g\n");
}

}  // namespace
}  // namespace kel
