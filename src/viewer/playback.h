#pragma once
// The viewer's playback: up to four cameras shown side by side, all at one clock. The clock moves
// at the chosen speed; each pane shows its camera's last picture at or before the clock, decoded
// only when it changes (at 16x most pictures are passed over, never decoded). When no shown camera
// recorded near the clock, the clock jumps to the next recorded moment of any of them, so play
// passes from one segment to the next, and over the gaps between recordings, without a stop.
//
// Steps and seeks follow the lead pane (the first): a step shows its next or previous picture
// exactly, and a seek shows its picture nearest to the moment asked for.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "recording/archive_catalog.h"
#include "recording/camera_track.h"
#include "viewer/picture_decoder.h"

namespace kel {

class Playback {
public:
    static constexpr int kPanes = 4;
    static constexpr std::array<double, 7> kSpeeds = {0.25, 0.5, 1, 2, 4, 8, 16};
    // Further than this behind the clock, a camera's last picture counts as no recording now.
    static constexpr int64_t kGapMs = 2000;

    struct Pane {
        int camera = 0;  // 0: empty (or a single file's pane)
        std::string title;
        std::unique_ptr<CameraTrack> track;
        CameraTrack::Position shown;
        QImage image;
        std::string stamp;  // the shown picture's own date and time
        std::string note;   // why nothing is shown, when nothing is
        // The pane's own decoder of stream segments, which goes on from the picture before.
        std::unique_ptr<PictureDecoder> streams = std::make_unique<PictureDecoder>();
    };

    // Shows cameras (1..16, at most four) of `catalog`; the clock stays where it is.
    void ShowCameras(const ArchiveCatalog& catalog, const std::vector<int>& cameras);
    // Shows one segment file alone. False with ErrorText when it is no segment.
    bool ShowFile(const std::string& path);
    // After the catalog was loaded again: the same cameras with its new entries.
    void Reload(const ArchiveCatalog& catalog);
    // Looks again at growing segments; true when anything changed.
    bool Refresh();

    // Moves the clock to the lead camera's picture nearest to `ms` and shows it.
    void Seek(int64_t ms);
    void StepForward();
    void StepBack();
    // The first and the last picture of the lead camera within the day around the clock.
    void ToDayStart();
    void ToDayEnd();

    void Play() { playing_ = true; }
    void Pause() { playing_ = false; }
    bool Playing() const { return playing_; }
    // Speed index into kSpeeds; the index is clamped.
    void SetSpeed(int index);
    int SpeedIndex() const { return speed_; }
    double Speed() const { return kSpeeds[speed_]; }

    // Advances the clock by `elapsedMs` of real time when playing, and updates the panes. Play
    // stops at the end of what is recorded.
    void Tick(int64_t elapsedMs);

    int64_t Clock() const { return clock_; }
    const std::vector<Pane>& Panes() const { return panes_; }
    std::vector<Pane>& MutablePanes() { return panes_; }
    const std::string& ErrorText() const { return error_; }

private:
    void Update();
    void ShowAt(Pane& pane, CameraTrack::Position p);
    void SetClockTo(CameraTrack::Position p);

    std::vector<Pane> panes_;
    std::vector<int> cameras_;
    int64_t clock_ = 0;
    bool playing_ = false;
    int speed_ = 2;  // 1x
    PictureDecoder decoder_;
    std::vector<uint8_t> bytes_;
    std::string error_;
};

}  // namespace kel
