#pragma once
// The picture pipeline: the capture board, the 16 capture threads, the recorder, the renderer and
// the display thread, with the order they start and stop in. Producers stop before consumers:
// capture off and the board closed, then the display thread ended and the renderer released,
// then the recorder's recordings closed and the thread awaited. The station's start-up chain
// calls its steps; a failed step stops the station through the chain's own stop.
//
// It also carries the configuration dialog's preview: the live camera table, the camera shown,
// the zone overlay and the motion test, the drive list and the deletion of the recordings.
//
// Window thread only, but for what the threads themselves do.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/hicap.h"
#include "config/applied_config.h"
#include "config/config_changes.h"
#include "config/config_views.h"
#include "core/configurator_ports.h"
#include "core/log.h"
#include "core/shared.h"
#include "core/station_windows.h"
#include "display/direct_x.h"
#include "display/display.h"
#include "display/display_inputs.h"
#include "display/qt_display_platform.h"
#include "platform/clock.h"
#include "platform/drive_probe.h"
#include "platform/message_box.h"
#include "recording/save_thread.h"

namespace kel {

// What the pipeline asks of the station around it.
struct PipelineLinks {
    // Stops the start-up: the box shown and the line logged (first when `logFirst`); false.
    std::function<bool(const std::string& text, BoxKind kind, bool logFirst)> stop;
    // A program action: a debug line and a PRG log line.
    std::function<void(const std::string& text)> report;
    // Runs a job on the window thread (now when called there).
    std::function<void(std::function<void()>)> onWindowThread;
    // The closing window shown (true) while the recordings are closed, and hidden again.
    std::function<void(bool show)> showClosing;
    // A record of the audit trail from any thread (who, what, detail).
    std::function<void(const std::string& who, const char* what, const std::string& detail)> audit;
    // A recording was archived and indexed (any thread).
    std::function<void(int camera, const std::string& name, double start)> archived;
};

class StationPipeline {
public:
    static constexpr uint64_t kTempSpaceKB = 1000000;
    static constexpr const char* kNoTempSpace = "{#0025} Brak miejsca na pliki tymczasowe!";

    StationPipeline(TShared& shared, ConsoleWindow& console, TLog& log, MessageBox& box, const Clock& clock,
                    PipelineLinks links);
    ~StationPipeline();

    // What the recorder reads drives through, and the display platform the renderer is set up on
    // (tests set fakes before the start).
    void SetDriveProbe(const DriveProbe& probe) { drive_probe_ = &probe; }
    const DriveProbe& Probe() const { return *drive_probe_; }
    void SetDisplayPlatform(const DisplayPlatform& platform) { display_platform_ = &platform; }

    // --- Start-up steps, in the order the chain runs them. False once the station was stopped.
    bool FindBoard(const std::string& board);
    // The recorder created suspended, the temporary space checked, the applied configuration
    // given, the compressor opened.
    bool CreateRecorder(const RecorderView& applied, const std::string& storeFile, bool lastRunCrashed);
    // The renderer given its settings, set up for width x height, its memory checked, its skin
    // bitmaps loaded and then the main window's own.
    bool CreateRenderer(const RendererView& applied, int width, int height, const std::string& skin);
    // The board set up for the camera table with its transfer on, and its first signal reading.
    bool OpenBoard(const BoardView& applied);
    // The 16 capture threads started on the applied table, then the recorder resumed with it.
    void StartWorkers(const BoardView& board, const RecorderView& recorder);
    void StartDisplay(const CameraLists& lists, int screenWidth, int screenHeight);

    // --- Running.
    void PollSignal();
    // What each camera sending a stream of its own decodes: every picture while the console's
    // layout shows it, a remote viewer or a browser asked for it or it is compressed again; its key pictures
    // while the console is on screen without it (a recent picture for the next layout) or its
    // hour records on motion; none when it is only recorded as it sends. Every second.
    void UpdatePictureDemand();
    // The capture threads off, then the board closed; the threads stay and idle.
    void StopCapture();
    // The applied table to every capture thread: the next grab uses it.
    void GiveCaptureSettings(const BoardView& applied);
    // The segments of the cameras an accepted configuration restarts written out and closed by
    // the recorder thread at its next pass; the window thread does not wait for it.
    void FinishSegments(const ConfigChanges& changes);
    // The board set up for the applied table as far as the changes need: opened again for a new
    // size or standard, its groups' time split again for a new rate or active flag.
    void ApplyBoard(const BoardView& applied, const ConfigChanges& changes);
    // The renderer's table, text colour, overlay switches, plan and icons; and the user's rights
    // (nullptr: none).
    void GiveRendererSettings(const RendererView& applied);
    void GiveRendererRights(const uint8_t* rights);
    // The recorder's part of a new configuration (see Station::ApplyRecorderSettings).
    void ApplyRecorderSettings(const RecorderView& applied);
    void SetCameraLists(const CameraLists& lists);
    void SuspendDisplay();
    void ResumeDisplay();

    // --- Shutdown, in this order after StopCapture.
    void StopDisplay();
    // Every open recording closed and archived behind the closing window, then the thread ended.
    void StopRecorder();

    // --- The configurator's preview.
    void SetLiveCameras(const TCameraTable& live);
    void ShowZone(int camera, const uint8_t* cells, bool show);
    void SetDetectionTest(bool on, const TZoneTable& zones, int32_t sensitivity);
    std::vector<DriveRow> Drives() const;
    // Every recording deleted and the index emptied at once, while recording goes on.
    void DeleteRecordings();

    THicap* Board() { return board_.get(); }
    const TCapture* Capture(int camera) const;
    TSaveThread* Recorder() { return recorder_.get(); }
    TDirectX* Renderer() { return renderer_.get(); }
    const TDirectX* Renderer() const { return renderer_.get(); }
    TDisplay* DisplayThread() { return display_.get(); }

private:
    RecorderHooks MakeRecorderHooks();
    // The fixed and network drives in the system's order.
    std::vector<char> DriveLetters() const;

    TShared& shared_;
    ConsoleWindow& console_;
    TLog& log_;
    MessageBox& box_;
    const Clock& clock_;
    const PipelineLinks links_;
    TLog recorder_log_;  // the recorder's own writer of the same log
    const DriveProbe* drive_probe_ = &SystemDriveProbe::Instance();
    const DisplayPlatform* display_platform_ = &QtDisplayPlatform::Instance();
    std::unique_ptr<THicap> board_;
    std::unique_ptr<TSaveThread> recorder_;
    std::unique_ptr<TDirectX> renderer_;
    std::unique_ptr<TDisplay> display_;                   // after the renderer: it ends first
    std::shared_ptr<std::vector<uint8_t>> test_picture_;  // the preview's motion test reads into it
    std::shared_ptr<MotionDetector> test_detector_;       // its own references: the recorder's stay
    // Index = camera number. Last, so the threads are ended and joined before anything they use.
    std::array<std::unique_ptr<TCapture>, kCameraCount + 1> captures_;
};

}  // namespace kel
