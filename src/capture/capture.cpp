#include "capture/capture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

#include "capture/hicap/hicap.h"
#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

namespace {
using SteadyClock = std::chrono::steady_clock;
// A board that names no moment for its next picture is asked again this soon, and none is waited
// for longer (a board reopened meanwhile starts counting again). The longest wait is above the
// 320 ms between the pictures of one of eight cameras sharing a group's 25 a second, so that such
// a camera's thread wakes once a picture.
constexpr auto kShortestWait = std::chrono::milliseconds(1);
constexpr auto kLongestWait = std::chrono::milliseconds(400);
// Nothing to capture: the thread sleeps until woken, but looks again now and then.
constexpr auto kIdleWait = std::chrono::seconds(1);
// Carried to the board's lock call unchanged.
constexpr int32_t kLockMode = 1;
constexpr int32_t kLockTimeout = 5;
// Until the camera's own resolution is seen, the size an unused channel runs at.
constexpr int32_t kStartResolution = 2;
}  // namespace

TCapture::TCapture(int camera, FrameBank& liveFrame, CameraFlags& frameReady)
    : camera_(camera), channel_(camera - 1), live_frame_(liveFrame), frame_ready_(frameReady),
      bytes_(ResolutionBytes(kStartResolution)), resolution_(kStartResolution) {}

TCapture::~TCapture() {
    Stop();
}

void TCapture::SetSettings(CameraTablePtr cameras) {
    {
        MutexLock lock(settings_mutex_);
        settings_ = std::move(cameras);
    }
    WakeUp();
}

void TCapture::SetMask(PrivacyMaskPtr mask) {
    MutexLock lock(settings_mutex_);
    mask_ = std::move(mask);
}

void TCapture::SetActive(bool on) {
    active_.store(on);
    if (!on) {
        MutexLock wait(pass_mutex_);
    }
    WakeUp();
}

void TCapture::WakeUp() {
    {
        MutexLock lock(wake_mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void TCapture::Start() {
    if (thread_.joinable())
        return;
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void TCapture::Stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
}

void TCapture::Run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        try {
            Pass();
            failing_ = false;
        } catch (const std::exception& e) {
            // Nothing in a pass is expected to throw; if one does, the next pass tries again.
            if (!failing_)
                std::fprintf(stderr, "kel: capture thread of camera %d: %s\n", camera_, e.what());
            failing_ = true;
        } catch (...) {
            if (!failing_)
                std::fprintf(stderr, "kel: capture thread of camera %d: unknown error\n", camera_);
            failing_ = true;
        }
        const SteadyClock::time_point next = NextPass();
        UniqueMutexLock lock(wake_mutex_);
        wake_.wait_until(lock, stop, next, [this]() KEL_REQUIRES(wake_mutex_) { return woken_; });
        woken_ = false;
    }
}

SteadyClock::time_point TCapture::NextPass() {
    const SteadyClock::time_point now = SteadyClock::now();
    {
        MutexLock pass(pass_mutex_);
        if (idle_)
            return now + kIdleWait;
    }
    return std::clamp(HicapNextPicture(channel_), now + kShortestWait, now + kLongestWait);
}

bool TCapture::Pass() {
    MutexLock pass(pass_mutex_);
    idle_ = true;
    if (!active_.load())
        return false;
    CameraTablePtr cameras;
    PrivacyMaskPtr mask;
    {
        MutexLock lock(settings_mutex_);
        cameras = settings_;
        mask = mask_;
    }
    if (!cameras)
        return false;
    const TCameraRecord& record = (*cameras)[channel_];
    if (!record.Active)
        return false;
    idle_ = false;
    board_passes_.fetch_add(1, std::memory_order_relaxed);
    // An unknown code keeps the count of the last known one.
    if (ValidResolution(record.Resolution)) {
        bytes_ = ResolutionBytes(record.Resolution);
        resolution_ = record.Resolution;
    }
    ApplyControls(record);
    return Grab(mask.get());
}

void TCapture::ApplyControls(const TCameraRecord& r) const {
    HICAP50_bl_BRIGHTNESSControl(channel_, r.Brightness);
    HICAP50_bl_CONTRASTControl(channel_, r.Contrast);
    HICAP50_bl_SHARPNESSControl(channel_, r.Sharpness);
    HICAP50_bl_SATURATIONUControl(channel_, r.SatU);
    HICAP50_bl_SATURATIONVControl(channel_, r.SatV);
    HICAP50_bl_HUEControl(channel_, r.Hue);
}

bool TCapture::Grab(const PrivacyMask* mask) {
    uint8_t* picture = nullptr;
    // A failed lock holds nothing: no unlock, slot and flags as they were.
    if (HICAP50_dw_LockWait4GetImageAddrEx(channel_, &picture, kFourccUYVY, kLockMode, kLockTimeout) !=
        kHicapOk)
        return false;
    live_frame_.Write(camera_, picture, bytes_, resolution_, mask);
    HICAP50_no_UnLockWait4GetImageAddr(channel_);
    frame_ready_[camera_].store(1, std::memory_order_release);
    delivered_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace kel
