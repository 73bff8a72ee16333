#include "capture/capture.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "capture/hicap/hicap.h"
#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

namespace {
constexpr auto kPassInterval = std::chrono::milliseconds(30);
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
    MutexLock lock(settings_mutex_);
    settings_ = std::move(cameras);
}

void TCapture::SetActive(bool on) {
    active_.store(on);
    if (!on) {
        MutexLock wait(pass_mutex_);
    }
}

void TCapture::Start() {
    thread_.Start(
        kPassInterval, PeriodicThread::Pace::PauseAfterWork, [this] { Pass(); },
        [this](const std::string& what) {
            // Nothing in a pass is expected to throw; if one does, the next pass tries again.
            std::fprintf(stderr, "kel: capture thread of camera %d: %s\n", camera_, what.c_str());
        });
}

void TCapture::Stop() {
    thread_.Stop();
}

bool TCapture::Pass() {
    MutexLock pass(pass_mutex_);
    if (!active_.load())
        return false;
    CameraTablePtr cameras;
    {
        MutexLock lock(settings_mutex_);
        cameras = settings_;
    }
    if (!cameras)
        return false;
    const TCameraRecord& record = (*cameras)[channel_];
    if (!record.Active)
        return false;
    board_passes_.fetch_add(1, std::memory_order_relaxed);
    // An unknown code keeps the count of the last known one.
    if (ValidResolution(record.Resolution)) {
        bytes_ = ResolutionBytes(record.Resolution);
        resolution_ = record.Resolution;
    }
    ApplyControls(record);
    return Grab();
}

void TCapture::ApplyControls(const TCameraRecord& r) const {
    HICAP50_bl_BRIGHTNESSControl(channel_, r.Brightness);
    HICAP50_bl_CONTRASTControl(channel_, r.Contrast);
    HICAP50_bl_SHARPNESSControl(channel_, r.Sharpness);
    HICAP50_bl_SATURATIONUControl(channel_, r.SatU);
    HICAP50_bl_SATURATIONVControl(channel_, r.SatV);
    HICAP50_bl_HUEControl(channel_, r.Hue);
}

bool TCapture::Grab() {
    uint8_t* picture = nullptr;
    // A failed lock holds nothing: no unlock, slot and flags as they were.
    if (HICAP50_dw_LockWait4GetImageAddrEx(channel_, &picture, kFourccUYVY, kLockMode, kLockTimeout) !=
        kHicapOk)
        return false;
    live_frame_.Write(camera_, picture, bytes_, resolution_);
    HICAP50_no_UnLockWait4GetImageAddr(channel_);
    frame_ready_[camera_].store(1, std::memory_order_release);
    delivered_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace kel
