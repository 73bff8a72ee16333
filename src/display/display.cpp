#include "display/display.h"

#include <chrono>
#include <span>
#include <utility>

#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

TDisplay::TDisplay(TDirectX& renderer, DisplayInputs inputs, FailureReport report)
    : renderer_(renderer), in_(std::move(inputs)), report_(std::move(report)) {}

TDisplay::~TDisplay() {
    Terminate();
}

void TDisplay::SetCameraLists(const CameraLists& lists) {
    MutexLock lock(mutex_);
    lists_ = lists;
}

void TDisplay::SetScreenSize(int width, int height) {
    screen_width_ = width;
    screen_height_ = height;
}

void TDisplay::SetDetectionTest(DetectionTest test) {
    MutexLock lock(mutex_);
    detection_ = std::move(test);
}

bool TDisplay::Start() {
    return thread_.Start(
        std::chrono::milliseconds(kPauseMs), PeriodicThread::Pace::PauseAfterWork, [this] { Pass(); },
        [this](const std::string& what) {
            if (report_)
                report_("Blad watku wyswietlania: " + what);
        });
}

void TDisplay::Suspend() {
    thread_.Pause();
}

void TDisplay::Resume() {
    thread_.Resume();
}

bool TDisplay::Suspended() const {
    return thread_.Paused();
}

void TDisplay::Terminate() {
    thread_.Stop();
}

void TDisplay::Pass() {
    passes_.fetch_add(1, std::memory_order_relaxed);
    // Nobody sees the pictures: new ones wait in the frame bank with their flags up, and the
    // first pass that is watched again shows the newest of each camera. Meanwhile the thread
    // looks only a few times a second whether a window shows them again.
    const bool watched = renderer_.Watched.load(std::memory_order_relaxed) != 0;
    thread_.SetPeriod(std::chrono::milliseconds(watched ? kPauseMs : kUnwatchedPauseMs));
    if (!watched) {
        WantHalves(0);  // nobody looks: the capture threads halve nothing
        return;
    }
    const int viewMode = in_.ViewMode.load(std::memory_order_relaxed);
    UploadReady(viewMode);
    for (int n = 1; n <= kCameraCount; ++n) {
        renderer_.CameraSignal[n].store(in_.CameraSignal[n].load(std::memory_order_relaxed),
                                        std::memory_order_relaxed);
        renderer_.Recording[n].store(
            viewMode == kModeConfig ? test_shown_[n] : in_.RecordingNow[n].load(std::memory_order_relaxed),
            std::memory_order_relaxed);
    }
    ComposeLayout(viewMode == kModeFull);
    WantHalves(renderer_.HalvesWanted());
    for (int n = 1; n <= kCameraCount; ++n)
        renderer_.Motion[n].store(in_.MotionShown[n].load(std::memory_order_relaxed),
                                  std::memory_order_relaxed);
    if (in_.PlanView.load(std::memory_order_relaxed))
        renderer_.DrawPlan();
    Present(viewMode);
}

// Every picture that became ready is uploaded, shown by the layout or not, so a camera brought
// into view shows its newest picture at once. The flag is taken before the picture is read: a
// picture that arrives meanwhile raises it again and is shown on the next pass.
void TDisplay::UploadReady(int viewMode) {
    const CameraTablePtr shared = renderer_.Records();
    const TCameraTable& records = *shared;
    const std::string time = in_.OsdTime ? in_.OsdTime() : std::string();
    const std::string date = in_.OsdDate ? in_.OsdDate() : std::string();
    DetectionTest detection;
    renderer_.PreviewOverlay.store(viewMode == kModeConfig ? 1 : 0, std::memory_order_relaxed);
    if (viewMode == kModeConfig) {
        MutexLock lock(mutex_);
        detection = detection_;
    }
    for (int n = 1; n <= kCameraCount; ++n) {
        if (in_.FrameReady[n].exchange(0, std::memory_order_acq_rel) == 0)
            continue;
        const int32_t code = records[n - 1].Resolution;
        const PictureSize size = ResolutionSize(code);
        if (viewMode == kModeConfig) {
            // The preview shows names, and "REC" while the dialog's test sees motion.
            bool detected = detection && ValidResolution(code) && detection(n, size.width, size.height);
            test_shown_[n] = detected ? 1 : 0;
        }
        if (ValidResolution(code))
            renderer_.UploadFrom(in_.LiveFrame, n, size.width, size.height, viewMode == kModeConfig);
        renderer_.SetStamp(n, time, date);
    }
}

void TDisplay::WantHalves(uint32_t cameras) {
    if (cameras == halves_wanted_)
        return;
    for (int n = 1; n <= kCameraCount; ++n)
        in_.LiveFrame.WantHalves(n, (cameras >> n) & 1u);
    halves_wanted_ = cameras;
}

void TDisplay::ComposeLayout(bool fullScreen) {
    CameraLists lists;
    {
        MutexLock lock(mutex_);
        lists = lists_;
    }
    const int32_t layout = in_.Layout.load(std::memory_order_relaxed);
    auto mark = [&](std::span<const int32_t> cameras) {
        uint32_t bits = 0;
        for (int32_t n : cameras)
            if (n >= 1 && n <= kCameraCount)
                bits |= 1u << n;
        on_screen_.store(bits, std::memory_order_relaxed);
    };
    const int32_t one = in_.SingleCamera.load(std::memory_order_relaxed);
    switch (layout) {
    case 0:
        mark({&one, 1});
        break;
    case 1:
        mark(lists.CamMode4);
        break;
    case 2:
        mark(lists.CamMode9);
        break;
    case 3:
        mark(lists.CamMode16);
        break;
    case 4:
        mark(lists.CamMode8);
        break;
    case 5:
        mark(lists.CamMode13);
        break;
    default:
        break;
    }
    switch (layout) {
    case 0: {
        const int32_t single = in_.SingleCamera.load(std::memory_order_relaxed);
        renderer_.DrawGrid({&single, 1}, 1, fullScreen);
        break;
    }
    case 1:
        renderer_.DrawGrid(lists.CamMode4, 2, fullScreen);
        break;
    case 2:
        renderer_.DrawGrid(lists.CamMode9, 3, fullScreen);
        break;
    case 3:
        renderer_.DrawGrid(lists.CamMode16, 4, fullScreen);
        break;
    case 4:
        renderer_.DrawLayout8(lists.CamMode8, fullScreen);
        break;
    case 5:
        renderer_.DrawLayout13(lists.CamMode13, fullScreen);
        break;
    default:
        break;  // the back surface keeps the last pass's picture
    }
}

void TDisplay::Present(int viewMode) {
    switch (viewMode) {
    case kModeWindow:
        renderer_.PresentWindow();
        break;
    case kModeSmart:
        renderer_.PresentScaled(PresentTarget::SmartView, kSmartWidth, kSmartHeight);
        break;
    case kModeFull:
        renderer_.PresentScaled(PresentTarget::FullScreen, screen_width_.load(), screen_height_.load());
        break;
    case kModeConfig:
        renderer_.PresentScaled(PresentTarget::ConfigPreview, kPreviewWidth, kPreviewHeight);
        break;
    default:
        break;
    }
}

}  // namespace kel
