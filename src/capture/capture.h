#pragma once
// TCapture: the capture thread of one camera. While its run switch is on and its camera is active
// in its copy of the camera table, each pass applies the camera's six picture values to the board
// channel (so a slider's change reaches the board on the next pass), locks the channel's newest
// picture, publishes a copy of it in the frame bank (LiveFrame), unlocks, and then raises
// FrameReady (release: the picture is in the bank before the flag). The bank queues every picture
// for the recorder, so none is lost between two of its passes.
//
// The thread wakes when there is work: a pass when the board says the channel's next picture is
// due, and otherwise (camera inactive, switch off) only when the settings or the switch change.
// Created stopped; Start runs the thread, Stop (or destruction) ends it with a stop request and a
// join.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

#include "capture/frame_bank.h"
#include "capture/privacy_mask.h"
#include "config/applied_config.h"
#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

class TCapture {
public:
    // The thread of camera n (1..16): its pictures go to bank slot n and flags n.
    TCapture(int camera, FrameBank& liveFrame, CameraFlags& frameReady);
    ~TCapture();
    TCapture(const TCapture&) = delete;
    TCapture& operator=(const TCapture&) = delete;

    // The camera table the next pass uses (the thread keeps the snapshot, not a copy). Any thread.
    void SetSettings(CameraTablePtr cameras);
    void SetSettings(const TCameraTable& cameras) { SetSettings(ShareTable(cameras)); }
    // The privacy mask painted on every picture from the next one on (null: none). Any thread.
    void SetMask(PrivacyMaskPtr mask);
    // The run switch. Switched off, the thread makes no further board call once this returns (a
    // pass under way is waited for), so the board may be closed right after. Any thread.
    void SetActive(bool on);
    void Start();
    void Stop();

    // One pass of the loop without the sleep: true when a picture was delivered. The thread calls
    // it; tests and benchmarks may call it while the thread is not running.
    bool Pass();

    int Camera() const { return camera_; }
    // Pictures delivered so far (a count for tests and the capture report).
    uint64_t Delivered() const { return delivered_.load(std::memory_order_relaxed); }
    // Passes that reached the board (the camera active and the switch on).
    uint64_t BoardPasses() const { return board_passes_.load(std::memory_order_relaxed); }

    // Ends the thread's wait: a new picture may be there to take. Any thread.
    void WakeUp();

private:
    void ApplyControls(const TCameraRecord& record) const;
    bool Grab(const PrivacyMask* mask) KEL_REQUIRES(pass_mutex_);
    void Run(std::stop_token stop);
    // When the pass after the one just made is due: the board's next picture, or (nothing to
    // capture) time_point::max().
    std::chrono::steady_clock::time_point NextPass();

    // Fixed after construction.
    const int camera_;
    const int32_t channel_;
    FrameBank& live_frame_;
    CameraFlags& frame_ready_;

    std::atomic<bool> active_{false};
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> board_passes_{0};

    mutable Mutex settings_mutex_;
    CameraTablePtr settings_ KEL_GUARDED_BY(settings_mutex_);  // nullptr: no camera active
    PrivacyMaskPtr mask_ KEL_GUARDED_BY(settings_mutex_);

    // Held for a whole pass, so SetActive(false) can wait for one under way.
    Mutex pass_mutex_;
    size_t bytes_ KEL_GUARDED_BY(pass_mutex_);        // the current picture's byte count
    int32_t resolution_ KEL_GUARDED_BY(pass_mutex_);  // the code that count came from

    bool idle_ KEL_GUARDED_BY(pass_mutex_) = true;  // the last pass had nothing to capture
    bool failing_ = false;                          // the capture thread only

    Mutex wake_mutex_;
    bool woken_ KEL_GUARDED_BY(wake_mutex_) = false;
    std::condition_variable_any wake_;

    std::jthread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
