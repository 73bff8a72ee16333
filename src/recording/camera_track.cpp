#include "recording/camera_track.h"

#include <algorithm>
#include <cmath>

#include <cstdio>

namespace kel {

std::string MomentText(int64_t ms) {
    int64_t day = ms / kMsPerDay, inDay = ms % kMsPerDay;
    if (inDay < 0) {
        inDay += kMsPerDay;
        --day;
    }
    // The civil date of a day counted from 1 March of year 0 (days since 1970 move by 25569 from
    // the index's 30 December 1899, and by 719468 from 1 March of year 0).
    const int64_t z = day - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                  static_cast<long long>(inDay / 3600000), static_cast<long long>(inDay / 60000 % 60),
                  static_cast<long long>(inDay / 1000 % 60), static_cast<long long>(inDay % 1000));
    return text;
}

CameraTrack::CameraTrack(std::vector<CatalogEntry> segments, size_t openReaders)
    : max_open_(openReaders < 1 ? 1 : openReaders) {
    segs_.reserve(segments.size());
    for (auto& e : segments) {
        Seg s;
        s.entry = std::move(e);
        segs_.push_back(std::move(s));
    }
}

SegmentReader* CameraTrack::Reader(int segment) {
    if (segment < 0 || static_cast<size_t>(segment) >= segs_.size() || segs_[segment].missing)
        return nullptr;
    for (auto it = open_.begin(); it != open_.end(); ++it)
        if (it->first == segment) {
            open_.splice(open_.begin(), open_, it);
            return open_.front().second.get();
        }
    auto reader = std::make_unique<SegmentReader>();
    if (segs_[segment].entry.path.empty() || !reader->Open(segs_[segment].entry.path)) {
        error_ = segs_[segment].entry.path.empty() ? segs_[segment].entry.dosPath + ": brak dysku"
                                                   : reader->ErrorText();
        segs_[segment].missing = true;
        return nullptr;
    }
    open_.emplace_front(segment, std::move(reader));
    if (open_.size() > max_open_)
        open_.pop_back();
    return open_.front().second.get();
}

bool CameraTrack::Know(int segment) {
    Seg& s = segs_[segment];
    if (s.known)
        return !s.missing;
    SegmentReader* r = Reader(segment);
    if (!r || r->Pictures() == 0) {
        s.missing = s.missing || !r;
        s.known = r && r->Finished();
        s.pictures = 0;
        s.endMs = s.entry.startMs;
        return false;
    }
    s.pictures = r->Pictures();
    s.stamps.assign(s.pictures, kUnknown);
    s.known = r->Finished();
    s.endMs = StampMs(segment, s.pictures - 1) + 1000;  // the end of the last picture's second
    s.known = true;                                     // a growing segment is looked at again by Refresh
    return true;
}

bool CameraTrack::Refresh() {
    bool any = false;
    for (auto& [segment, reader] : open_) {
        bool changed = false;
        if (!reader->Refresh(changed)) {
            segs_[segment].missing = true;
            continue;
        }
        if (changed) {
            segs_[segment].known = false;
            any = true;
        }
    }
    open_.remove_if([&](const auto& o) { return segs_[o.first].missing; });
    return any;
}

int64_t CameraTrack::StampMs(int segment, size_t i) {
    Seg& s = segs_[segment];
    if (s.stamps[i] != kUnknown)
        return s.stamps[i];
    SegmentReader* r = Reader(segment);
    int64_t ms = 0;
    if (!r || !SegmentReader::ParseStamp(r->Stamp(i), ms))  // no stamp: by the rate from the start
        ms = s.entry.startMs +
             static_cast<int64_t>(std::floor(i * 1000 / (r ? r->Rate() : 25.0))) / 1000 * 1000;
    s.stamps[i] = ms;
    return ms;
}

int64_t CameraTrack::MomentOf(int segment, size_t i) {
    const int64_t stamp = StampMs(segment, i);
    // The pictures of the same stamp (stamps never go back within a segment) share its second
    // evenly: the rate in the headers is what the camera was set to, not what it delivered.
    size_t lo = 0, hi = i;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (StampMs(segment, mid) < stamp)
            lo = mid + 1;
        else
            hi = mid;
    }
    const size_t first = lo;
    lo = i + 1;
    hi = segs_[segment].pictures;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (StampMs(segment, mid) <= stamp)
            lo = mid + 1;
        else
            hi = mid;
    }
    const size_t count = lo - first;
    return stamp + static_cast<int64_t>((i - first) * 1000 / count);
}

int64_t CameraTrack::Moment(Position p) {
    if (!p.Valid() || !Know(p.segment) || p.picture >= segs_[p.segment].pictures)
        return 0;
    return MomentOf(p.segment, p.picture);
}

CameraTrack::Stretch CameraTrack::StretchOf(int segment) {
    Know(segment);
    const Seg& s = segs_[segment];
    return {s.entry.startMs, std::max(s.endMs, s.entry.startMs), s.missing};
}

int CameraTrack::SegmentAt(int64_t ms) const {
    auto it = std::upper_bound(segs_.begin(), segs_.end(), ms,
                               [](int64_t t, const Seg& s) { return t < s.entry.startMs; });
    return static_cast<int>(it - segs_.begin()) - 1;
}

CameraTrack::Position CameraTrack::LastIn(int segment, int64_t ms) {
    if (!Know(segment) || MomentOf(segment, 0) > ms)
        return {};
    size_t lo = 0, hi = segs_[segment].pictures - 1;  // the answer lies in [lo, hi]
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (MomentOf(segment, mid) <= ms)
            lo = mid;
        else
            hi = mid - 1;
    }
    return {segment, lo};
}

CameraTrack::Position CameraTrack::AtOrBefore(int64_t ms) {
    // A segment's stamps may begin a little before or after the start its name gives: look from
    // the segments begun shortly after the moment back.
    for (int k = SegmentAt(ms + kNameSlackMs); k >= 0; --k)
        if (Position p = LastIn(k, ms); p.Valid())
            return p;
    return {};
}

CameraTrack::Position CameraTrack::After(int64_t ms) {
    Position p = AtOrBefore(ms);
    if (p.Valid())
        return Next(p);
    for (int k = 0; static_cast<size_t>(k) < segs_.size(); ++k)
        if (Know(k))
            return {k, 0};
    return {};
}

CameraTrack::Position CameraTrack::Nearest(int64_t ms) {
    const Position before = AtOrBefore(ms);
    const Position after = before.Valid() ? Next(before) : After(ms);
    if (!before.Valid())
        return after;
    if (!after.Valid())
        return before;
    return ms - Moment(before) <= Moment(after) - ms ? before : after;
}

CameraTrack::Position CameraTrack::Next(Position p) {
    if (!p.Valid())
        return {};
    if (Know(p.segment) && p.picture + 1 < segs_[p.segment].pictures)
        return {p.segment, p.picture + 1};
    for (int k = p.segment + 1; static_cast<size_t>(k) < segs_.size(); ++k)
        if (Know(k))
            return {k, 0};
    return {};
}

CameraTrack::Position CameraTrack::Previous(Position p) {
    if (!p.Valid())
        return {};
    if (p.picture > 0)
        return {p.segment, p.picture - 1};
    for (int k = p.segment - 1; k >= 0; --k)
        if (Know(k))
            return {k, segs_[k].pictures - 1};
    return {};
}

bool CameraTrack::Read(Position p, std::vector<uint8_t>& bytes, std::string& stamp) {
    SegmentReader* r = p.Valid() ? Reader(p.segment) : nullptr;
    if (!r) {
        error_ = p.Valid() ? error_ : "brak obrazu";
        return false;
    }
    if (!r->ReadPicture(p.picture, bytes)) {
        error_ = r->ErrorText();
        return false;
    }
    stamp = r->Stamp(p.picture);
    return true;
}

}  // namespace kel
