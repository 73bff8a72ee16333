#pragma once
// What the recorder shares with the rest of the station: the pictures and per-camera bytes it
// reads and writes (owned by the station's shared state), and the services it asks of the window
// side. The station fills both before the recorder is created.

#include <atomic>
#include <functional>
#include <string>

#include "capture/frame_bank.h"

namespace kel {

struct RecorderLinks {
    FrameBank& LiveFrame;
    CameraFlags& ScheduleMode;
    CameraFlags& RecordingNow;
    CameraFlags& MotionShown;
    CameraFlags& MotionHold;
    CameraFlags& BeepLatch;
    std::atomic<char>& RecordDrive;
    std::atomic<bool>& DiskFullWarned;
};

// Called from the recorder thread or from whichever thread closes a segment. None may wait for
// the window thread, which may itself be waiting for the recorder.
struct RecorderHooks {
    // The recorder's own log writer: a line of category SYS, an error line when `error` is set.
    std::function<void(const std::string& text, bool error)> log;
    // The once-per-run warning box that no recording drive has room left.
    std::function<void(const std::string& text)> warn;
    // The system beep for a camera that starts seeing motion.
    std::function<void()> beep;
    // A record of the audit trail, made by the station (who: nobody).
    std::function<void(const char* what, const std::string& detail)> audit;
    // A segment was archived and indexed (on the thread that archived it): its camera, file name
    // and start.
    std::function<void(int camera, const std::string& name, double start)> archived;
};

}  // namespace kel
