#pragma once
// The station's shared state: what the windows and the worker threads read and write to meet.
// Created by the entry and owned by the main window; handed by reference to whoever needs it, so
// the pipeline runs and is tested without widgets.
//
// Every field read across threads is atomic. Per-camera bytes are indexed by camera number 1..16
// (index 0 unused). A LiveFrame slot is handed over as capture/frame_bank.h describes: the
// picture first, then its flags.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "capture/frame_bank.h"
#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

enum ViewModes : int { kViewWindow = 1, kViewSmart = 2, kViewFull = 3, kViewConfig = 4 };

struct TShared {
    // The newest picture of every camera, written by its capture thread.
    FrameBank LiveFrame;

    // Per-camera bytes.
    CameraFlags FrameReady{};
    CameraFlags ScheduleMode{};
    CameraFlags RecordingNow{};
    CameraFlags MotionShown{};
    CameraFlags MotionHold{};
    CameraFlags BeepLatch{};
    // 1 while the board sees a picture on the camera's input. Written by the window thread (the
    // board poll); the renderer takes it over when it comes.
    CameraFlags CameraSignal{};

    // View and selection (written on the window thread, read by the display thread).
    std::atomic<int> ViewMode{kViewWindow};
    std::atomic<int> Layout{0};
    std::atomic<int> SavedLayout{0};
    std::atomic<int> SingleCamera{1};
    std::atomic<bool> SequenceOn{false};
    std::atomic<int> SequenceTicks{0};
    std::atomic<bool> ZoomOn{false};
    std::atomic<bool> PlanView{false};

    // Login (window thread).
    std::atomic<int> CurrentUser{kNobody};
    std::atomic<bool> LoginCancelled{false};

    // Recording and network.
    std::atomic<char> RecordDrive{'C'};
    std::atomic<bool> DiskFullWarned{false};
    std::atomic<int> ClientCount{0};
    // Bit n set while a browser of the web view watches camera n.
    std::atomic<uint32_t> WebWatched{0};

    // Window geometry and placement (window thread only).
    int AppWidth = 0;
    int AppHeight = 0;
    int WindowLeft = 0;
    int WindowTop = 0;

    // Fixed after start-up.
    std::string WorkDir;

    // Texts shown on screen; set by the one-second timer, read by the display thread.
    void SetOsd(const std::string& time, const std::string& date);
    std::string OsdTime() const;
    std::string OsdDate() const;
    void SetLastIP(const std::string& ip);
    std::string LastIP() const;

private:
    mutable Mutex text_mutex_;
    std::string osd_time_ KEL_GUARDED_BY(text_mutex_);  // at most 9 characters
    std::string osd_date_ KEL_GUARDED_BY(text_mutex_);  // at most 10 characters
    std::string last_ip_ KEL_GUARDED_BY(text_mutex_);
};

}  // namespace kel
