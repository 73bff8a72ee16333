#pragma once
// TDisplay: the display thread. About 25 times a second it uploads every camera picture that a
// capture thread has marked new, composes the current layout (or the site plan) on the renderer's
// back surface and presents it for the current view mode, then pauses 40 ms. The renderer draws
// only the tiles that changed and presents only a changed picture; while nobody watches (the
// renderer's Watched is 0) a pass does nothing at all and the next comes after 250 ms.
//
// The window thread may pause the loop (while a window is dragged) and resume it; a pause takes
// effect between passes, without ever waiting for the pass under way. A pass that fails is
// reported (once, until one succeeds again) and the loop goes on. Terminate ends the loop with a
// stop request and a join; the renderer may be released after it returns.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "display/direct_x.h"
#include "display/display_inputs.h"
#include "platform/guarded.h"
#include "platform/periodic_thread.h"

namespace kel {

class TDisplay {
public:
    static constexpr int kPauseMs = 40;
    static constexpr int kUnwatchedPauseMs = 250;  // while no window shows the pictures
    // View modes, as the station's ViewMode holds them.
    static constexpr int kModeWindow = 1;
    static constexpr int kModeSmart = 2;
    static constexpr int kModeFull = 3;
    static constexpr int kModeConfig = 4;
    static constexpr int kSmartWidth = 255;  // the SmartView window's picture
    static constexpr int kSmartHeight = 188;
    static constexpr int kPreviewWidth = 352;  // the configuration dialog's preview
    static constexpr int kPreviewHeight = 288;

    // The configuration dialog's motion test on a new picture of camera n (width x height): true
    // when it sees motion. Runs on the display thread while the dialog is open.
    using DetectionTest = std::function<bool(int camera, int width, int height)>;
    // Reports a failed pass; called on the display thread.
    using FailureReport = std::function<void(const std::string& text)>;

    TDisplay(TDirectX& renderer, DisplayInputs inputs, FailureReport report = nullptr);
    ~TDisplay();
    TDisplay(const TDisplay&) = delete;
    TDisplay& operator=(const TDisplay&) = delete;

    // Window thread, at any time.
    void SetCameraLists(const CameraLists& lists);
    // The screen that full screen covers.
    void SetScreenSize(int width, int height);
    // The test while the dialog's test button is down; nullptr when it is up.
    void SetDetectionTest(DetectionTest test);

    // Starts the loop; false when the thread could not be made.
    bool Start();
    void Suspend();
    void Resume();
    bool Suspended() const;
    // Ends the loop after the pass under way, without another; returns once it has ended.
    void Terminate();
    bool Running() const { return thread_.Running(); }

    // One pass without the pause. The thread calls it; tests and benchmarks may call it while the
    // thread is not running.
    void Pass();
    uint64_t Passes() const { return passes_.load(std::memory_order_relaxed); }
    // The cameras the last watched pass's layout showed: bit n for camera n. Any thread.
    uint32_t OnScreen() const { return on_screen_.load(std::memory_order_relaxed); }

private:
    void UploadReady(int viewMode);
    void ComposeLayout(bool fullScreen);
    // Tells the frame bank which cameras' pictures to halve on the way in (bit n: camera n).
    void WantHalves(uint32_t cameras);
    void Present(int viewMode);

    // Fixed after construction.
    TDirectX& renderer_;
    const DisplayInputs in_;
    const FailureReport report_;

    std::atomic<int> screen_width_{0};
    std::atomic<int> screen_height_{0};
    std::atomic<uint64_t> passes_{0};
    std::atomic<uint32_t> on_screen_{0};
    // The preview's "REC" while the dialog's motion test sees motion; the display thread's own, so
    // the recorder's indicators stay as recording sets them.
    std::array<uint8_t, kCameraCount + 1> test_shown_{};
    uint32_t halves_wanted_ = 0;  // what the bank was last told

    mutable Mutex mutex_;
    CameraLists lists_ KEL_GUARDED_BY(mutex_);
    DetectionTest detection_ KEL_GUARDED_BY(mutex_);
    PeriodicThread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
