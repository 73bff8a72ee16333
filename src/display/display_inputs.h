#pragma once
// What the display thread reads and writes of the station's shared state. The station builds it
// from its shared object; tests build it from their own fields. Everything here outlives the
// display thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "capture/frame_bank.h"

namespace kel {

struct DisplayInputs {
    FrameBank& LiveFrame;
    CameraFlags& FrameReady;    // cleared after each upload
    CameraFlags& RecordingNow;  // written only while the configuration dialog is open
    const CameraFlags& MotionShown;
    const CameraFlags& CameraSignal;
    const std::atomic<int>& ViewMode;  // 1 window, 2 SmartView, 3 full screen, 4 configurator
    const std::atomic<int>& Layout;    // 0..5 = 1, 4, 9, 16, 8, 13 cameras
    const std::atomic<int>& SingleCamera;
    const std::atomic<bool>& PlanView;
    // The on-screen time and date texts (any thread).
    std::function<std::string()> OsdTime;
    std::function<std::string()> OsdDate;
};

// The camera lists of the layouts (the configuration's CamMode4 ... CamMode13).
struct CameraLists {
    std::array<int32_t, 4> CamMode4{};
    std::array<int32_t, 9> CamMode9{};
    std::array<int32_t, 16> CamMode16{};
    std::array<int32_t, 8> CamMode8{};
    std::array<int32_t, 13> CamMode13{};
};

}  // namespace kel
