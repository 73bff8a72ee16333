// What the real kel records, played back in the viewer: two cameras recorded continuously for a few
// seconds, then found by the index, sought to the picture, stepped through whole and saved.

#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>

#include "config/config.h"
#include "recording/avi_reader.h"
#include "recording/schedule.h"
#include "support/station_runner.h"
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

}  // namespace
}  // namespace kel
