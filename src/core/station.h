#pragma once
// The station's spine: the start-up check chain run while the main window is created, the second
// stage run from the event loop, the close question and the orderly shutdown. It owns the global
// objects (log, environment checker, configuration, the capture board and the 16 capture threads,
// the recorder, the renderer and the display thread; the servers join as they are built) and
// talks to the windows only through their small interfaces (station_windows.h), so it runs
// without widgets. It is built in app/ and handed to the console.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture.h"
#include "capture/hicap.h"
#include "config/applied_config.h"
#include "config/config.h"
#include "config/config_changes.h"
#include "config/config_views.h"
#include "core/audit_watch.h"
#include "core/configurator_ports.h"
#include "core/debug_lines.h"
#include "core/log.h"
#include "core/remote_links.h"
#include "core/second_timer.h"
#include "core/shared.h"
#include "core/station_notices.h"
#include "core/station_pipeline.h"
#include "core/station_windows.h"
#include "core/system.h"
#include "core/view_controller.h"
#include "display/direct_x.h"
#include "display/display.h"
#include "display/qt_display_platform.h"
#include "events/mqtt_events.h"
#include "events/offsite_copies.h"
#include "net/curl_mail_sender.h"
#include "net/ip_monitor.h"
#include "net/mail_notifier.h"
#include "net/server_tables.h"
#include "net/tcp_server.h"
#include "platform/audit_trail.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/drive_probe.h"
#include "platform/message_box.h"
#include "platform/station_key.h"
#include "platform/window_queue.h"
#include "ptz/comport_driver_thread.h"
#include "ptz/ptz_pad.h"
#include "recording/save_thread.h"

namespace kel {

struct StationOptions {
    std::string registry;  // the settings store file
    bool headless = false;
    std::string board = "sim";                                  // the capture board back end, NAME[:OPTIONS]
    std::string serial = TComportDriverThread::kDefaultDevice;  // the PTZ line
};

class Station : private ViewPorts, private ConfiguratorPorts {
    friend class StationTestPeer;  // what only tests look at (tests/support/station_peer.h)

public:
    static constexpr const char* kVersionLabel = "KEL 50 wersja 2.0.3 PRO";
    static constexpr const char* kTrayTip = "System Cyfrowej Rejestracji Obrazu KEL 2.0.3";
    static constexpr int kMinScreenWidth = 1024;
    static constexpr int kMinScreenHeight = 768;
    static constexpr const char* kNoTempSpace = StationPipeline::kNoTempSpace;
    static constexpr uint64_t kTempSpaceKB = StationPipeline::kTempSpaceKB;
    static constexpr const char* kNoDriveUsage = "Użycie Napędu - brak";
    static constexpr const char* kBadLogin = "Nieprawidłowy login lub hasło.";
    static constexpr const char* kPasswordsDiffer = "Hasła się różnią. Wpisz nowe hasło dwa razy tak samo.";
    static constexpr const char* kPasswordTooWeak =
        "Hasło musi mieć co najmniej 8 znaków i nie może być hasłem domyślnym.";
    static constexpr const char* kCloseNeedsRight =
        "Zamknięcie Aplikacji wymaga uprawnień do zmiany konfiguracji. Zaloguj się jako uprawniony "
        "użytkownik.";

    Station(StationOptions options, TShared& shared, ConsoleWindow& console, MessageBox& box,
            DebugLines& debug, const SystemInfo& info, ScreenSaver& saver, InstanceLock& mark,
            const Clock& clock = SystemClock::Instance());
    ~Station();

    // The windows made after the console, once they exist (after FormCreate).
    void AttachWindows(const CompanionWindows& windows) { windows_ = windows; }

    // The check chain. False when it stopped: the box was shown and the line logged; the caller
    // ends the process at once, saving nothing.
    bool FormCreate();
    // The second stage: start-up summary, first view, login.
    void AfterCreate();
    // The close request, for a user with the right to change the configuration: anyone else (or
    // nobody logged in) is first asked for the login of a user who has it. Then the question;
    // true when the operator agreed and the shutdown ran. The log names who closed it.
    bool FormClose();
    // The shift change: the current user is logged out (the renderer locks every camera at once)
    // and the login dialog shown; cancelled, nobody stays logged in until the next change.
    void ChangeOperator();
    // What the archive viewer started from the console reads on its descriptor: the current
    // user's login and the stored hash of his password ("login\npbkdf2-sha256$...\n", never the
    // password); empty for nobody (the viewer then asks).
    std::string ViewerHandOver() const;
    // A snapshot of what the console showed (`shown`) saved as `file`: an audit record with the
    // file's SHA-256.
    void RecordSnapshot(const std::string& shown, const std::string& file);
    // The end of the user's session (a signal): shutdown without a question.
    void EndSession();
    // Lets the screen saver back and drops the instance mark.
    void FormDestroy();
    // The fingerprint of the station's signing key in groups of four; empty when it has none.
    std::string SigningKeyText() const { return key_ ? key_->FingerprintText() : std::string(); }
    // The view state's owner, from the loaded configuration on (nullptr before).
    ViewController* View() { return view_.get(); }
    // The configurator on the system page (camera 0) or on camera n's page (from the camera
    // menu), for a user with the right to change the configuration; refused silently otherwise
    // (nobody logged in included). Recording goes on while the dialog is open; when it closes an
    // accepted configuration goes through the apply step and is saved, and window mode comes back
    // either way.
    void OpenConfigurator(int camera);
    // The drive usage label's text: `anyDrive` when a recording drive is selected, `read` when
    // the drive's size could be read.
    // The share of a drive in use, in percent as the console shows it (totalKB > 0).
    static int UsedPercent(uint64_t freeKB, uint64_t totalKB);
    static std::string DriveUsageText(bool anyDrive, char letter, bool read, uint64_t freeKB,
                                      uint64_t totalKB);
    // Reads the board's per-camera signal into CameraSignal (at start-up, then every second).
    void PollSignal() { pipeline_.PollSignal(); }
    // The one-second duties, in order: the drive usage label, the motion hold and beep latch
    // count down, the address check, the on-screen time and date, the board's signal, the clock
    // label, the sequence step, every camera's schedule value for the day and hour. Window thread.
    void TimerTick();
    // The apply step, the one way a new configuration reaches the running station (the dialog's
    // OK and the camera menu's slot changes): `next` compared with the applied snapshot, the
    // segments of the cameras it restarts closed, `next` published, the board set up as far as
    // the changes need and the schedule read again. `driveListShown`: the dialog's drive flags
    // follow the list it showed, so the recorder takes its part even when they look unchanged.
    ConfigChanges Apply(ConfigSnapshot next, bool driveListShown = false);
    // `next` becomes the applied snapshot and every running subsystem gets its view of it: the
    // capture threads their table, the renderer its table, colour, switches, plan and slot tables,
    // the recorder its part and the TCP server its tables when those changed.
    void Publish(ConfigSnapshot next, const ConfigChanges& changes);
    // The recorder's part of the applied snapshot: the drives read again, the size limit, sound,
    // zones, drive flags and cameras, and the first selected drive made the recording drive.
    void ApplyRecorderSettings();
    // The dialog's result. Recording went on while it was open. Accepted, the working copy becomes
    // the configuration, is saved and reaches every subsystem; only the cameras whose size, rate
    // or active flag changed start a new segment, and the board is set up again only as far as
    // that needs. Cancelled, the picture values the preview tried go back.
    void ApplyConfiguration(const ConfiguratorWork& work);
    // Hands the TCP server the applied snapshot's camera and user tables.
    void ShareTablesWithServer();
    // Sends `text` as a notice when notifications are on; returns at once, the mail goes out on
    // the notifier's thread and a failure is dropped silently.
    void SendNotification(const std::string& text);
    // The configuration dialog's test message with the values being edited; a failure is shown
    // in the error box (on the window thread) once the attempt has ended.
    std::function<void()>
    SendTestMail(const std::string& server, const std::string& user, const std::string& password,
                 const std::string& target,
                 std::function<void(bool sent, const std::string& error)> done) override;
    // The address check of the one-second timer: a notice for every new address.
    void CheckAddress() {
        if (snapshot_)
            notices_.CheckAddress(MailView(snapshot_));
    }
    // The mail port and the address lookup (tests set their own before FormCreate).
    void SetMailSender(MailSender& sender) { notices_.SetMailSender(sender); }
    void SetAddressLookup(std::function<std::string()> lookup) {
        notices_.SetAddressLookup(std::move(lookup));
    }
    // The drive probe the recorder reads free space and drive kinds through (tests set a fake
    // before FormCreate).
    void SetDriveProbe(const DriveProbe& probe) { pipeline_.SetDriveProbe(probe); }
    // The display platform the renderer is set up on (tests set a fake before FormCreate).
    void SetDisplayPlatform(const DisplayPlatform& platform) { pipeline_.SetDisplayPlatform(platform); }

    // The configuration as last applied (nullptr before the configuration was loaded).
    const ConfigSnapshot& Snapshot() const { return snapshot_; }
    TSystem& System() { return system_; }
    bool ShutDown() const { return shut_down_; }
    // The PTZ pad: a press sends the movement telegram of kind 1..6 to the selected camera, a
    // release the stop telegram. A failed write is ignored, as on the line itself.
    void PtzPress(int kind);
    void PtzRelease();
    // Window thread: a press of the web view's pad for `camera` (kind 1..6; 0 the release).
    void PtzPressFor(int camera, int kind);
    // Window thread: the events on the broker as the applied configuration says (off, or started
    // again on its broker, topic and cameras).
    void StartEvents();
    // The off-site copier started on the applied settings, or stopped when they switch it off.
    void StartOffsite();
    // Window thread, every second: the motion messages (see StationNotices::SendMotion).
    void MailMotion();
    // Camera n's capture thread, once the second stage has started it.
    const TCapture* Capture(int camera) const { return pipeline_.Capture(camera); }
    // The renderer, from the start-up chain on.
    TDirectX* Renderer() { return pipeline_.Renderer(); }
    // The slot tables of the layouts, as the display thread takes them.
    static CameraLists CameraListsOf(const RendererView& applied);

private:
    bool Stop(const std::string& text, BoxKind kind, bool logFirst);
    void DeleteOldTempFolder();
    bool LoadConfiguration();
    bool CheckScreen();
    // Runs `job` on the window thread: now when called there, else handed over (and dropped if
    // the station is gone by then).
    void OnWindowThread(std::function<void()> job);
    void StartPtz();
    void StopPtz();
    void AddStartupSummary();
    void FirstView();
    // ViewPorts
    // A program action: a debug line and a PRG log line.
    void Report(const std::string& text) override;
    void DebugLine(const std::string& text) override;
    int32_t HitTest(int x, int y, bool planView) const override;
    void ZoomStart(int camera, int x, int y) override;
    void ZoomPan(int camera, int x, int y) override;
    void ZoomStop() override;
    bool ZoomActive() const override;
    void MonitorOutput(int camera) override;
    RendererView Applied() const override { return RendererView(snapshot_); }
    void PutOnSlot(int layout, int slot, int camera) override;
    void SuspendDisplay() override;
    void ResumeDisplay() override;
    void PresentTo(bool smartView) override;

    // ConfiguratorPorts
    void SetLiveCameras(const TCameraTable& live) override;
    void PreviewCamera(int camera) override;
    void ShowZone(int camera, const uint8_t* cells, bool show) override {
        pipeline_.ShowZone(camera, cells, show);
    }
    void SetDetectionTest(bool on, const TZoneTable& zones, int32_t sensitivity) override {
        pipeline_.SetDetectionTest(on, zones, sensitivity);
    }
    std::vector<DriveRow> Drives() const override { return pipeline_.Drives(); }
    void DeleteRecordings() override { pipeline_.DeleteRecordings(); }
    bool SendsStream(int camera) const override;
    void DialogMoveStarted() override { SuspendDisplay(); }
    void DialogMoveEnded() override { ResumeDisplay(); }
    // The logged-in user's camera rights to the renderer; nobody gets none.
    void GiveRendererRights();

    std::string DriveUsage();
    // A record of the audit trail; a trail that cannot be written is said in the log once each
    // time it stops being written.
    void Audit(const std::string& who, const char* what, const std::string& detail);
    // Window thread: what needs someone now, said in the log (an error), the audit trail, an
    // e-mail and on MQTT. `kind` names it for machines ("audit", "account").
    void RaiseAlert(const std::string& kind, const std::string& text);
    void StartAuditWatch();
    // The logged-in user's login, empty for nobody.
    std::string CurrentLogin() const;
    // Where SmartView's pictures go: nowhere headless or without the window.
    VideoSink* SmartViewOutput();
    // The applied snapshot written to the store (the counters are the recorder's).
    void SaveApplied();
    void Login();
    // One showing of the login dialog: the user's index; kNobody for a login and password that
    // match nobody (said in a box, the log and the trail; empty fields just show it again); -1
    // when cancelled.
    int AskLogin(std::string& login, std::string& password);
    // A user with the configuration right and a weak password, logged in at the console, is asked
    // for a new one (typed twice); cancelled, he stays logged in here and refused on the network.
    void AskStrongPassword(int user);
    // Whether the close may go on: the current user has the configuration right, or one who has
    // it logs in for it. `closer` receives that user's login.
    bool AuthorizeClose(std::string& closer);
    // `byUser`: the operator closed the station; otherwise the session ended (a signal).
    void Shutdown(bool byUser);

    StationOptions options_;
    TShared& shared_;
    ConsoleWindow& console_;
    CompanionWindows windows_;
    MessageBox& box_;
    DebugLines& debug_;
    const Clock& clock_;
    TLog log_;
    TSystem system_;
    AuditTrail audit_;
    std::shared_ptr<const StationKey> key_;  // signs evidence; read (or made) at the start
    bool audit_failing_ = false;
    std::string closer_;               // who closed the station from the console
    int prune_ticks_ = 0;              // seconds to the next pruning of the trail
    std::unique_ptr<TConfig> config_;  // loads at the start and saves; never read after it
    ConfigSnapshot snapshot_;          // the configuration as last applied; what everything reads
    std::unique_ptr<ViewController> view_;
    std::unique_ptr<MqttEvents> events_;
    // The copier's ways to the log, the clock and the recorder's index.
    static OffsiteLinks OffsiteLinksFor(Station& s);
    // Before the pipeline: the recorder hands it what it archived until the pipeline is gone.
    OffsiteCopies offsite_;
    std::array<bool, kCameraCount + 1> motion_seen_{};  // MotionShown at the last tick
    std::unique_ptr<TComportDriverThread> ptz_port_;
    std::unique_ptr<PtzPad> ptz_pad_;
    bool shut_down_ = false;
    std::thread::id window_thread_;
    // Jobs handed to the window thread hold it weakly: they do nothing once the station is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::unique_ptr<SecondTimer> timer_;
    std::unique_ptr<AuditWatch> audit_watch_;  // started once the events and copies are
    // The pieces, each readable alone: the picture pipeline, then what reads it (the TCP server,
    // ended first) and the notices.
    StationPipeline pipeline_;
    RemoteLinks remote_;
    StationNotices notices_;
};

}  // namespace kel
