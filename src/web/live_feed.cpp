#include "web/live_feed.h"

#include <cstring>

#include "web/jpeg_encoder.h"

namespace kel {

void PutFrameHead(uint8_t* head, char kind, int camera, int64_t stampMs, uint64_t serial) {
    std::memset(head, 0, LiveFrame::kHead);
    head[0] = static_cast<uint8_t>(kind);
    head[1] = static_cast<uint8_t>(camera);
    for (int i = 0; i < 8; ++i)
        head[4 + i] = static_cast<uint8_t>(static_cast<uint64_t>(stampMs) >> (8 * i));
    for (int i = 0; i < 4; ++i)
        head[12 + i] = static_cast<uint8_t>(serial >> (8 * i));
}

LiveFeed::LiveFeed(const FrameBank& pictures, std::function<void(LiveFramePtr)> deliver)
    : pictures_(pictures), deliver_(std::move(deliver)) {}

LiveFeed::~LiveFeed() {
    Stop();
}

bool LiveFeed::Start() {
    return thread_.Start([this](std::stop_token stop) { Run(stop); });
}

void LiveFeed::Stop() {
    thread_.Stop();
}

void LiveFeed::SetWanted(uint32_t cameras) {
    {
        MutexLock lock(mutex_);
        wanted_.store(cameras, std::memory_order_relaxed);
    }
    wake_.notify_all();
}

void LiveFeed::Run(std::stop_token stop) {
    JpegEncoder encoder;
    std::array<uint64_t, kCameraCount + 1> sent{};
    while (!stop.stop_requested()) {
        {
            // Nobody watches: sleep until someone does.
            UniqueMutexLock lock(mutex_);
            wake_.wait(lock.Native(), stop, [&] { return wanted_.load(std::memory_order_relaxed) != 0; });
        }
        if (stop.stop_requested())
            return;
        const uint64_t seen = pictures_.News();
        const uint32_t wanted = wanted_.load(std::memory_order_relaxed);
        for (int n = 1; n <= kCameraCount; ++n) {
            if (!(wanted & (1u << n)))
                continue;
            const FrameBank::PicturePtr picture = pictures_.Newest(n);
            if (!picture || picture->info.serial == sent[n])
                continue;
            sent[n] = picture->info.serial;
            auto frame = std::make_shared<LiveFrame>();
            frame->camera = n;
            frame->serial = picture->info.serial;
            frame->stampMs = picture->info.stampMs;
            if (!encoder.EncodePicture(*picture, frame->bytes, JpegEncoder::kQuality, LiveFrame::kHead))
                continue;
            frame->bytes.shrink_to_fit();
            PutFrameHead(frame->bytes.data(), 'L', n, frame->stampMs, frame->serial);
            encoded_.fetch_add(1, std::memory_order_relaxed);
            deliver_(std::move(frame));
        }
        // Woken by any camera's next picture; a camera no one watches costs only this check.
        pictures_.WaitForPictures(seen, std::chrono::milliseconds(200), stop);
    }
}

}  // namespace kel
