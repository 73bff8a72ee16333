#pragma once
// The live pictures of the web view: one thread that compresses each new picture of every camera
// a browser watches to JPEG, once however many browsers watch it, and hands it on. It sleeps while
// nobody watches and wakes with each new picture while someone does.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/frame_bank.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

namespace kel {

// One compressed picture, as sent: a 16-byte head, then the JPEG. The head: 'L', the camera
// (1..16), two zero bytes, the picture's wall-clock time in milliseconds (8 bytes, little end
// first) and the low 32 bits of its serial.
struct LiveFrame {
    static constexpr size_t kHead = 16;
    int camera = 0;
    uint64_t serial = 0;
    int64_t stampMs = 0;
    std::vector<uint8_t> bytes;
};
using LiveFramePtr = std::shared_ptr<const LiveFrame>;

// The head of a picture sent to a browser (see LiveFrame), written over the first kHead bytes.
void PutFrameHead(uint8_t* head, char kind, int camera, int64_t stampMs, uint64_t serial);

class LiveFeed {
public:
    // `deliver` is called on the feed's thread with each new picture.
    LiveFeed(const FrameBank& pictures, std::function<void(LiveFramePtr)> deliver);
    ~LiveFeed();
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    bool Start();
    void Stop();
    // Any thread: the cameras watched now (bit n for camera n).
    void SetWanted(uint32_t cameras);
    uint32_t Wanted() const { return wanted_.load(std::memory_order_relaxed); }
    // Pictures compressed so far.
    uint64_t Encoded() const { return encoded_.load(std::memory_order_relaxed); }

private:
    void Run(std::stop_token stop);

    const FrameBank& pictures_;
    const std::function<void(LiveFramePtr)> deliver_;
    std::atomic<uint32_t> wanted_{0};
    std::atomic<uint64_t> encoded_{0};
    Mutex mutex_;
    std::condition_variable_any wake_;
    WorkerThread thread_;
};

}  // namespace kel
