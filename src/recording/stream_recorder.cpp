#include "recording/stream_recorder.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "config/records.h"
#include "platform/file_faults.h"
#include "recording/time_stamps.h"

namespace kel {

namespace fs = std::filesystem;

namespace {

// `t` moved on by `seconds` (day, month and year carried; the weekday is not needed here).
LocalTime Later(LocalTime t, int seconds) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second + seconds;
    const std::time_t at = timegm(&tm);
    gmtime_r(&at, &tm);
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

}  // namespace

StreamRecorder::StreamRecorder(std::string workDir, Links links, const Clock& clock)
    : work_dir_(std::move(workDir)), links_(std::move(links)), clock_(clock) {
    for (Camera& c : cameras_) {
        MutexLock lock(c.mutex);
        c.lastDts = AV_NOPTS_VALUE;
        c.lastSent = AV_NOPTS_VALUE;
    }
}

StreamRecorder::~StreamRecorder() {
    CloseAll();
    for (Camera& c : cameras_) {
        MutexLock lock(c.mutex);
        Forget(c);
    }
}

void StreamRecorder::SetCameras(const std::array<bool, kCameras + 1>& asSent) {
    for (int n = 1; n <= kCameras; ++n) {
        as_sent_[n].store(asSent[n], std::memory_order_relaxed);
        if (!asSent[n]) {
            Camera& c = cameras_[n];
            MutexLock lock(c.mutex);
            CloseLocked(n, c);
            Forget(c);
        }
    }
}

bool StreamRecorder::AsSent(int n) const {
    return n >= 1 && n <= kCameras && as_sent_[n].load(std::memory_order_relaxed);
}

bool StreamRecorder::Changed(const Camera& c, const StreamPacket& p) {
    return c.params &&
           (!SameStream(c.params, p.params) || c.tbNum != p.timeBaseNum || c.tbDen != p.timeBaseDen);
}

void StreamRecorder::DropHeld(Camera& c) {
    DropBefore(c, c.since.size());
}

void StreamRecorder::DropBefore(Camera& c, size_t count) {
    count = std::min(count, c.since.size());
    for (size_t k = 0; k < count; ++k) {
        c.sinceBytes -= static_cast<size_t>(c.since[k].packet->size);
        av_packet_free(&c.since[k].packet);
    }
    c.since.erase(c.since.begin(), c.since.begin() + static_cast<std::ptrdiff_t>(count));
    c.groupStart = c.groupStart > count ? c.groupStart - count : 0;
}

void StreamRecorder::Forget(Camera& c) {
    DropHeld(c);
    c.sinceKey = -1;
    c.interval = 0;
    c.candidate = 0;
    c.lastDts = AV_NOPTS_VALUE;
    c.lastSent = AV_NOPTS_VALUE;
    for (AVPacket*& u : c.untimed)
        av_packet_free(&u);
    c.untimed.clear();
    avcodec_parameters_free(&c.params);
}

void StreamRecorder::SetMask(int n, const uint8_t* cells) {
    if (n < 1 || n > kCameras)
        return;
    Camera& c = cameras_[n];
    MutexLock encoding(c.encoderMutex);
    std::vector<uint8_t> wanted;
    if (cells)
        wanted.assign(cells, cells + kZoneCols * kZoneRows);
    if (wanted == c.maskCells && (cells != nullptr) == (c.encoder != nullptr))
        return;
    c.maskCells = wanted;
    c.encoder = cells ? std::make_unique<MaskedEncoder>(cells) : nullptr;
    c.encoderFailing = false;
    MutexLock lock(c.mutex);
    CloseLocked(n, c);
    Forget(c);
}

// A masked camera's pictures are compressed on its source's thread, outside the segment's lock:
// a close from another thread waits for no compression.
void StreamRecorder::Packet(int n, const StreamPacket& p) {
    if (n < 1 || n > kCameras)
        return;
    Camera& c = cameras_[n];
    MutexLock encoding(c.encoderMutex);
    if (!c.encoder || !AsSent(n)) {
        Record(n, p);
        return;
    }
    // An hour that records nothing, on motion or not, compresses nothing: the next one starts at
    // a key frame.
    const bool wanted = !p.packet || (links_.due && links_.due(n)) || (links_.onMotion && links_.onMotion(n));
    if (!wanted) {
        if (c.encoder->Active()) {
            c.encoder->Reset();
            MutexLock lock(c.mutex);
            CloseLocked(n, c);
            Forget(c);
        }
        return;
    }
    const bool ok = c.encoder->Packet(p, [&](const StreamPacket& q) { Record(n, q); });
    if (!ok && !c.encoderFailing && links_.log)
        links_.log("Kamera " + std::to_string(n) + ": nagrywanie z maska: " + c.encoder->ErrorText(), true);
    c.encoderFailing = !ok;
    if (!p.packet)
        Record(n, p);  // the stream ended
}

void StreamRecorder::Record(int n, const StreamPacket& p) {
    Camera& c = cameras_[n];
    MutexLock lock(c.mutex);
    if (!p.packet || !p.params || !AsSent(n)) {
        CloseLocked(n, c);
        Forget(c);
        return;
    }
    AVPacket* packet = av_packet_clone(p.packet);
    if (!packet)
        return;
    // A stream's first packets may come without a time (parameter sets said to a client joining):
    // they take the time of the first packet that has one, as ffmpeg's copy gives them.
    const bool timed = packet->dts != AV_NOPTS_VALUE || packet->pts != AV_NOPTS_VALUE;
    if (!timed && c.lastSent == AV_NOPTS_VALUE) {
        if (c.untimed.size() < kUntimed)
            c.untimed.push_back(packet);
        else
            av_packet_free(&packet);
        return;
    }
    std::vector<AVPacket*> untimed = std::move(c.untimed);
    c.untimed.clear();
    for (AVPacket* u : untimed) {
        u->pts = u->dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        TakeLocked(n, c, p, u);
    }
    TakeLocked(n, c, p, packet);
}

void StreamRecorder::TakeLocked(int n, Camera& c, const StreamPacket& p, AVPacket* packet) {
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    const int64_t sent = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    // Another stream, or stamps that went back more than a second (a camera started again): a
    // segment of its own.
    const int64_t second = p.timeBaseNum > 0 ? p.timeBaseDen / p.timeBaseNum : 0;
    if (Changed(c, p) ||
        (sent != AV_NOPTS_VALUE && c.lastSent != AV_NOPTS_VALUE && c.lastSent - sent > second)) {
        CloseLocked(n, c);
        Forget(c);
    }
    if (!c.params) {
        c.params = avcodec_parameters_alloc();
        if (!c.params || avcodec_parameters_copy(c.params, p.params) < 0) {
            avcodec_parameters_free(&c.params);
            av_packet_free(&packet);
            return;
        }
        c.tbNum = p.timeBaseNum;
        c.tbDen = p.timeBaseDen;
    }
    // Parameter sets sent apart from their picture come as a key packet of the same moment: the
    // two are one key frame.
    const bool sameMoment = sent != AV_NOPTS_VALUE && sent == c.lastSent;
    // The file's stamps must grow: one that does not (that same moment, a camera's slip) is set
    // just after the last, as ffmpeg's copy does; none at all follows the last.
    int64_t dts = sent;
    if (c.lastDts != AV_NOPTS_VALUE && (dts == AV_NOPTS_VALUE || dts <= c.lastDts))
        dts = c.lastDts + 1;
    if (dts != AV_NOPTS_VALUE) {
        packet->dts = dts;
        if (packet->pts == AV_NOPTS_VALUE || packet->pts < dts)
            packet->pts = dts;
        c.lastDts = dts;
    }
    if (sent != AV_NOPTS_VALUE)
        c.lastSent = sent;

    const bool startsGroup = key && !sameMoment;
    bool newInterval = false;
    if (startsGroup) {
        // An interval is one that comes twice running: a key frame out of turn (a scene cut) or
        // the group the stream was joined in changes nothing.
        const int64_t length = c.sinceKey;
        if (length <= 0 || length == c.interval) {
            c.candidate = 0;
        } else if (length == c.candidate) {
            newInterval = c.interval != 0;
            c.interval = length;
            c.candidate = 0;
        } else {
            c.candidate = length;
        }
        c.sinceKey = 0;
        // The group before this one stays: motion seen in this group's first picture (a camera
        // decoded at its key pictures) began during it.
        DropBefore(c, c.groupStart);
        c.groupStart = c.since.size();
    }
    const std::string stamp = FineStamp(clock_.Now());
    if (c.sinceKey >= 0) {
        if (!sameMoment)
            ++c.sinceKey;
        if (c.sinceBytes + static_cast<size_t>(packet->size) > kPrerollBytes) {
            DropHeld(c);
            c.sinceKey = -1;  // too long a group to keep: the next key frame starts again
        } else if (AVPacket* held = av_packet_clone(packet)) {
            c.since.push_back({held, stamp, false});
            c.sinceBytes += static_cast<size_t>(packet->size);
        }
    }

    if (!links_.due(n)) {
        CloseLocked(n, c);
        av_packet_free(&packet);
        return;
    }
    if (c.segment.IsOpen() && startsGroup && (newInterval || c.segment.Bytes() > links_.sizeLimit()))
        CloseLocked(n, c);
    if (c.segment.IsOpen()) {
        WriteLocked(c, packet, stamp);
        if (!c.since.empty())
            c.since.back().written = true;
        av_packet_free(&packet);
        return;
    }
    // A new segment starts with the first key frame held that was not written yet (the group
    // before the one under way, after a pause), and everything since.
    size_t first = 0;
    while (first < c.since.size() && c.since[first].written)
        ++first;
    while (first < c.since.size() && !(c.since[first].packet->flags & AV_PKT_FLAG_KEY))
        ++first;
    if (first < c.since.size() && OpenLocked(n, c))
        for (size_t k = first; k < c.since.size(); ++k) {
            WriteLocked(c, c.since[k].packet, c.since[k].stamp);
            c.since[k].written = true;
        }
    av_packet_free(&packet);
}

bool StreamRecorder::OpenLocked(int n, Camera& c) {
    const fs::path folder = fs::path(work_dir_) / "Temp" / ("Kamera" + std::to_string(n));
    std::error_code ec;
    fs::create_directories(folder, ec);
    const LocalTime now = clock_.Now();
    // A stream that changes twice within a second needs a second name: the next free second's,
    // which still tells the start within the minute the index allows.
    std::string name = SegmentName(now) + ".mp4";
    auto taken = [&] { return fs::exists(folder / name, ec) || (links_.taken && links_.taken(n, name)); };
    for (int k = 1; k < 30 && taken(); ++k)
        name = SegmentName(Later(now, k)) + ".mp4";
    const std::string path = (folder / name).string();
    SegmentNote note;
    note.onMotion = links_.onMotion(n);
    note.startTime = DateTimeValue(now);
    if (!c.segment.Open(path, c.params, c.tbNum, c.tbDen, note)) {
        if (!c.createFailed) {
            links_.log("Nie mozna utworzyc pliku: " + c.segment.ErrorText(), true);
            links_.writeFailed(c.segment.ErrorText());
        }
        c.createFailed = true;
        return false;
    }
    c.createFailed = false;
    c.path = path;
    c.name = name;
    c.start = note.startTime;
    return true;
}

void StreamRecorder::WriteLocked(Camera& c, const AVPacket* packet, const std::string& stamp) {
    if (c.segment.Write(packet, stamp)) {
        c.writeFailed = false;
        c.written.fetch_add(1, std::memory_order_relaxed);
    } else if (!c.writeFailed) {
        links_.log("Blad zapisu pliku: " + c.segment.ErrorText(), true);
        links_.writeFailed(c.segment.ErrorText());
        c.writeFailed = true;
    }
}

void StreamRecorder::CloseLocked(int n, Camera& c) {
    if (!c.segment.IsOpen())
        return;
    const bool empty = c.segment.Packets() == 0;
    if (!c.segment.Close()) {
        // Its fragments are on the disk; the archiving thread mends the file once there is room.
        links_.log("Nie mozna zamknac pliku: " + c.segment.ErrorText(), true);
        links_.writeFailed(c.segment.ErrorText());
        links_.closed(n, c.path, c.name, c.start, true);
        return;
    }
    if (empty) {
        FileRemove(c.path.c_str());
        return;
    }
    links_.closed(n, c.path, c.name, c.start, false);
}

void StreamRecorder::Close(int n) {
    if (n < 1 || n > kCameras)
        return;
    Camera& c = cameras_[n];
    MutexLock lock(c.mutex);
    CloseLocked(n, c);
}

void StreamRecorder::CloseAll() {
    for (int n = 1; n <= kCameras; ++n)
        Close(n);
}

bool StreamRecorder::SegmentOpen(int n) const {
    if (n < 1 || n > kCameras)
        return false;
    MutexLock lock(cameras_[n].mutex);
    return cameras_[n].segment.IsOpen();
}

int64_t StreamRecorder::Written(int n) const {
    return n >= 1 && n <= kCameras ? cameras_[n].written.load(std::memory_order_relaxed) : 0;
}

}  // namespace kel
