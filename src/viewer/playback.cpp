#include "viewer/playback.h"

#include <algorithm>
#include <filesystem>

#include "recording/segment_repair.h"

namespace kel {

void Playback::ShowCameras(const ArchiveCatalog& catalog, const std::vector<int>& cameras) {
    panes_.clear();
    cameras_.clear();
    for (int n : cameras) {
        if (n < 1 || n > ArchiveCatalog::kCameras || static_cast<int>(panes_.size()) == kPanes)
            continue;
        cameras_.push_back(n);
        Pane pane;
        pane.camera = n;
        pane.title = catalog.Name(n);
        pane.track = std::make_unique<CameraTrack>(catalog.Entries(n));
        panes_.push_back(std::move(pane));
    }
    Update();
}

void Playback::Reload(const ArchiveCatalog& catalog) {
    const std::vector<int> cameras = cameras_;
    ShowCameras(catalog, cameras);
}

bool Playback::ShowFile(const std::string& path) {
    CatalogEntry entry;
    entry.path = path;
    entry.dosPath = path;
    SegmentReader probe;
    if (!probe.Open(path)) {
        error_ = probe.ErrorText();
        return false;
    }
    double days = 0;
    int64_t first = 0;
    if (probe.Pictures() > 0 && SegmentReader::ParseStamp(probe.Stamp(0), first))
        entry.startMs = first;
    else if (SegmentStartFromName(std::filesystem::path(path).filename().string(), days))
        entry.startMs = ArchiveCatalog::DaysToMs(days);
    panes_.clear();
    cameras_.clear();
    Pane pane;
    pane.title = std::filesystem::path(path).filename().string();
    pane.track = std::make_unique<CameraTrack>(std::vector<CatalogEntry>{entry});
    panes_.push_back(std::move(pane));
    playing_ = false;
    Seek(entry.startMs);
    return true;
}

bool Playback::Refresh() {
    bool any = false;
    for (Pane& pane : panes_)
        any = pane.track->Refresh() || any;
    if (any)
        Update();
    return any;
}

void Playback::SetSpeed(int index) {
    speed_ = std::clamp(index, 0, static_cast<int>(kSpeeds.size()) - 1);
}

void Playback::ShowAt(Pane& pane, CameraTrack::Position p) {
    if (!p.Valid()) {
        pane.shown = {};
        pane.image = {};
        pane.stamp.clear();
        pane.note = pane.track->Segments() == 0 ? "Brak nagran" : "Brak nagrania w tej chwili";
        return;
    }
    if (p == pane.shown && !pane.image.isNull())
        return;
    pane.shown = p;
    pane.note.clear();
    std::string stamp;
    if (!pane.track->Read(p, bytes_, stamp)) {
        pane.image = {};
        pane.stamp.clear();
        pane.note = "Nie mozna odczytac: " + pane.track->ErrorText();
        return;
    }
    SegmentReader* r = pane.track->Reader(p.segment);
    QImage image = !r            ? QImage()
                   : r->Stream() ? pane.streams->DecodeStream(*r, p.picture)
                                 : decoder_.Decode(bytes_, r->Compression(), r->Width(), r->Height());
    pane.stamp = stamp;
    if (image.isNull()) {
        pane.note = "Uszkodzony obraz";  // the last good picture stays in view
        return;
    }
    pane.image = std::move(image);
}

void Playback::Update() {
    for (Pane& pane : panes_) {
        CameraTrack::Position p = pane.track->AtOrBefore(clock_);
        if (p.Valid() && clock_ - pane.track->Moment(p) > kGapMs)
            p = {};  // a recording that ended a while ago is not shown as if it were now
        ShowAt(pane, p);
    }
}

void Playback::SetClockTo(CameraTrack::Position p) {
    if (panes_.empty() || !p.Valid())
        return;
    clock_ = panes_[0].track->Moment(p);
    Update();
}

void Playback::Seek(int64_t ms) {
    clock_ = ms;
    if (!panes_.empty()) {
        const CameraTrack::Position p = panes_[0].track->Nearest(ms);
        if (p.Valid()) {
            clock_ = panes_[0].track->Moment(p);
            Update();
            ShowAt(panes_[0], p);  // the lead shows exactly the nearest picture
            return;
        }
    }
    Update();
}

void Playback::StepForward() {
    playing_ = false;
    if (panes_.empty())
        return;
    CameraTrack& track = *panes_[0].track;
    SetClockTo(panes_[0].shown.Valid() ? track.Next(panes_[0].shown) : track.After(clock_));
}

void Playback::StepBack() {
    playing_ = false;
    if (panes_.empty())
        return;
    CameraTrack& track = *panes_[0].track;
    SetClockTo(panes_[0].shown.Valid() ? track.Previous(panes_[0].shown) : track.AtOrBefore(clock_));
}

void Playback::ToDayStart() {
    if (panes_.empty())
        return;
    const int64_t day = clock_ / kMsPerDay * kMsPerDay;
    const CameraTrack::Position p = panes_[0].track->After(day - 1);
    if (p.Valid() && panes_[0].track->Moment(p) < day + kMsPerDay)
        SetClockTo(p);
}

void Playback::ToDayEnd() {
    if (panes_.empty())
        return;
    const int64_t day = clock_ / kMsPerDay * kMsPerDay;
    const CameraTrack::Position p = panes_[0].track->AtOrBefore(day + kMsPerDay - 1);
    if (p.Valid() && panes_[0].track->Moment(p) >= day)
        SetClockTo(p);
}

void Playback::Tick(int64_t elapsedMs) {
    if (!playing_ || panes_.empty())
        return;
    clock_ += static_cast<int64_t>(static_cast<double>(elapsedMs) * Speed());
    // Nobody recorded near the clock: on to the next recorded moment of any shown camera.
    bool near = false;
    int64_t next = INT64_MAX, last = INT64_MIN;
    for (Pane& pane : panes_) {
        const CameraTrack::Position p = pane.track->AtOrBefore(clock_);
        if (p.Valid()) {
            last = std::max(last, pane.track->Moment(p));
            if (clock_ - last <= kGapMs) {
                near = true;
                break;
            }
        }
        const CameraTrack::Position after = pane.track->After(clock_);
        if (after.Valid())
            next = std::min(next, pane.track->Moment(after));
    }
    if (!near) {
        if (next != INT64_MAX) {
            clock_ = next;
        } else {
            playing_ = false;  // the end of what is recorded: its last picture stays in view
            if (last != INT64_MIN)
                clock_ = last;
        }
    }
    Update();
}

}  // namespace kel
