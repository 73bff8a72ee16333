#pragma once
// One Video4Linux2 capture device feeding one or more cameras of the map board, each camera an
// input of the device, read on a thread of its own with memory-mapped streaming buffers.
//
// A device with one camera streams without a pause. Several cameras of one device take turns, as
// a capture card's inputs share its decoder: in proportion to their shares, each turn switching
// the input (streaming stops and starts around the switch, as the drivers want it), letting the
// picture settle and taking one picture.
//
// Pictures are asked for in UYVY at the camera's size and taken in YUYV when the device offers
// only that; a picture of another size than asked for is scaled. The six picture controls go to
// the device's own controls, scaled to each control's range. A camera has no signal when its input
// reports no power, no signal or no sync, or when no picture comes; a device that fails or goes
// away is closed, its cameras have no signal, and it is opened again after a pause that grows.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "capture/hicap/picture_grader.h"
#include "capture/hicap/v4l2_device.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

struct SwsContext;

namespace kel {

struct V4l2Timing {
    std::chrono::milliseconds read{2000};  // the longest wait for a picture
    std::chrono::milliseconds retryFirst{500};
    std::chrono::milliseconds retryMax{8000};
    int settlePictures = 2;  // pictures dropped after an input switch
};

class V4l2Capture {
public:
    using Report = std::function<void(const std::string& line, bool error)>;
    struct Camera {
        int channel = 0;  // 0..15
        int input = 0;    // the device's input
    };

    V4l2Capture(std::string path, std::vector<Camera> cameras, V4l2Timing timing, VideoDeviceFactory factory,
                Report report);
    ~V4l2Capture();
    V4l2Capture(const V4l2Capture&) = delete;
    V4l2Capture& operator=(const V4l2Capture&) = delete;

    // Opens the device once, to learn its name (for the board's detail); false when it cannot be
    // opened or is no capture device.
    bool Probe(std::string& name);
    void Start();
    void Stop();

    // PAL or NTSC, from the next start of streaming.
    void SetNtsc(bool ntsc) { ntsc_.store(ntsc, std::memory_order_relaxed); }
    bool Serves(int channel) const;
    void SetSizeMode(int channel, int32_t mode);
    void SetControls(int channel, const PictureControls& controls);
    void SetShare(int channel, int32_t share);
    bool TakeNewer(int channel, uint64_t& seen, uint8_t* out);
    bool HasSignal(int channel) const;
    uint64_t Pictures(int channel) const;
    const std::string& Path() const { return path_; }

private:
    struct Buffer {
        void* address = nullptr;
        size_t length = 0;
    };
    struct Slot {
        Camera camera;
        std::atomic<int32_t> sizeMode{3};
        std::atomic<int32_t> share{1};
        std::atomic<bool> signal{false};
        std::atomic<uint64_t> pictures{0};
        int64_t credit = 0;  // the capture thread's: whose turn is next
        // Reached only through Locked(), which needs the capture's mutex_.
        struct {
            PictureControls controls{0, 128, 0, 128, 128, 0};
            bool controlsChanged = true;
            std::vector<uint8_t> latest;
            uint64_t sequence = 0;
        } locked;
    };
    // A slot's part that mutex_ guards (the analysis cannot name the capture's mutex from the
    // slot's own fields, so they are reached through here).
    auto& Locked(Slot& slot) KEL_REQUIRES(mutex_) KEL_NO_THREAD_SAFETY_ANALYSIS { return slot.locked; }

    void Run(std::stop_token stop);
    bool OpenDevice();
    void CloseDevice();
    // Streams camera `slot`'s input at its size; false with `why` (`gone` when the device went).
    bool StartStream(Slot& slot, std::string& why, bool& gone);
    void StopStream();
    // Takes one picture of the streaming input (into `slot` when `keep`); false when none came in
    // time.
    bool Grab(Slot& slot, bool keep, std::string& why, bool& gone);
    // Converts a picture of the stream to the camera's size and hands it out.
    void Keep(Slot& slot, const uint8_t* picture);
    bool InputHasSignal(int input);
    void ApplyControls(Slot& slot, bool& gone);
    int NextTurn();
    bool Pause(std::stop_token stop, std::chrono::milliseconds d);
    void Say(const std::string& what, bool error);

    // Fixed after construction.
    const std::string path_;
    const V4l2Timing timing_;
    const VideoDeviceFactory factory_;
    const Report report_;
    std::vector<std::unique_ptr<Slot>> slots_;

    std::atomic<bool> ntsc_{false};
    mutable Mutex mutex_;
    std::condition_variable_any wake_;

    // The capture thread's own.
    std::stop_token stop_;
    std::unique_ptr<VideoDevice> device_;
    std::vector<Buffer> buffers_;
    bool streaming_ = false;
    int streaming_input_ = -1;
    int width_ = 0, height_ = 0;                // of the stream, as the device set it
    int wanted_width_ = 0, wanted_height_ = 0;  // as asked for
    uint32_t pixel_format_ = 0;
    uint32_t bytes_per_line_ = 0;
    SwsContext* sws_ = nullptr;
    bool reported_down_ = false;
    std::string last_failure_;
    std::vector<uint8_t> work_;

    WorkerThread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
