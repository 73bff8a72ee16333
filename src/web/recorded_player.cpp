#include "web/recorded_player.h"

#include <algorithm>
#include <chrono>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "recording/camera_track.h"
#include "recording/frame_decoder.h"
#include "web/jpeg_encoder.h"

namespace kel {

namespace {

using Clock = std::chrono::steady_clock;
// A picture further than this before the moment played means a gap in the recordings.
constexpr int64_t kGapMs = 2000;

// The decoded frame as JPEG after a head of LiveFrame::kHead bytes: planar 4:2:0 straight from
// the decoder, anything else converted to it first.
bool Compress(const AVFrame* frame, JpegEncoder& encoder, SwsContext*& sws, std::vector<uint8_t>& planes,
              std::vector<uint8_t>& out) {
    const int w = frame->width, h = frame->height;
    if (frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P) {
        const uint8_t* const p[3] = {frame->data[0], frame->data[1], frame->data[2]};
        const int strides[3] = {frame->linesize[0], frame->linesize[1], frame->linesize[2]};
        return encoder.EncodeI420(p, strides, w, h, out, JpegEncoder::kQuality, LiveFrame::kHead);
    }
    sws = sws_getCachedContext(sws, w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_YUV420P,
                               SWS_POINT, nullptr, nullptr, nullptr);
    if (!sws)
        return false;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    planes.resize(static_cast<size_t>(w) * h + 2 * static_cast<size_t>(cw) * ch);
    uint8_t* dst[4] = {planes.data(), planes.data() + static_cast<size_t>(w) * h,
                       planes.data() + static_cast<size_t>(w) * h + static_cast<size_t>(cw) * ch, nullptr};
    int dstStride[4] = {w, cw, cw, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
    const uint8_t* const p[3] = {dst[0], dst[1], dst[2]};
    const int strides[3] = {w, cw, cw};
    return encoder.EncodeI420(p, strides, w, h, out, JpegEncoder::kQuality, LiveFrame::kHead);
}

}  // namespace

RecordedPlayer::RecordedPlayer(int camera, std::vector<CatalogEntry> segments,
                               std::function<void(LiveFramePtr)> deliver, std::function<void()> ended)
    : camera_(camera), segments_(std::move(segments)), deliver_(std::move(deliver)),
      ended_(std::move(ended)) {}

RecordedPlayer::~RecordedPlayer() {
    Stop();
}

bool RecordedPlayer::Start(int64_t fromMs, int speed) {
    Stop();
    speed = std::clamp(speed, 1, kMaxSpeed);
    return thread_.Start([this, fromMs, speed](std::stop_token stop) { Run(stop, fromMs, speed); });
}

void RecordedPlayer::Stop() {
    thread_.Stop();
}

void RecordedPlayer::Run(std::stop_token stop, int64_t fromMs, int speed) {
    CameraTrack track(segments_);
    FrameDecoder decoder;
    JpegEncoder encoder;
    SwsContext* sws = nullptr;
    std::vector<uint8_t> planes, bytes;
    std::string stamp;
    CameraTrack::Position last;
    int64_t startMs = fromMs;
    Clock::time_point startAt = Clock::now();
    while (!stop.stop_requested()) {
        const int64_t target =
            startMs +
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startAt).count() * speed;
        CameraTrack::Position p = track.AtOrBefore(target);
        if (!p.Valid() || track.Moment(p) < target - kGapMs) {
            // Before the first recording or in a gap: on to the next picture there is.
            const CameraTrack::Position next = track.After(target);
            if (!next.Valid())
                break;
            startMs = track.Moment(next);
            startAt = Clock::now();
            continue;
        }
        if (!(p == last) && in_flight_.load(std::memory_order_acquire) < 2) {
            last = p;
            SegmentReader* reader = track.Reader(p.segment);
            const AVFrame* frame = nullptr;
            if (reader && reader->Stream()) {
                frame = decoder.DecodeStream(*reader, p.picture);
            } else if (reader && track.Read(p, bytes, stamp)) {
                frame = decoder.Decode(bytes, reader->Compression(), reader->Width(), reader->Height());
            }
            auto picture = std::make_shared<LiveFrame>();
            if (frame && Compress(frame, encoder, sws, planes, picture->bytes)) {
                picture->camera = camera_;
                picture->stampMs = track.Moment(p);
                picture->serial = ++sent_;
                PutFrameHead(picture->bytes.data(), 'P', camera_, picture->stampMs, picture->serial);
                picture->bytes.shrink_to_fit();
                in_flight_.fetch_add(1, std::memory_order_acq_rel);
                deliver_(std::move(picture));
            }
        }
        // Until the next picture is due (or a little while, when the browser is behind).
        const CameraTrack::Position next = track.Next(p);
        if (!next.Valid() && p == last && in_flight_.load() == 0)
            break;
        int64_t waitMs = 10;
        if (next.Valid()) {
            const int64_t due = (track.Moment(next) - target) / speed;
            waitMs = std::clamp<int64_t>(due, 1, 200);
        }
        thread_.Pause(stop, std::chrono::milliseconds(waitMs));
    }
    sws_freeContext(sws);
    if (!stop.stop_requested() && ended_)
        ended_();
}

}  // namespace kel
