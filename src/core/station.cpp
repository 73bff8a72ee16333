#include "core/station.h"

#include "web/jpeg_encoder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

#include "capture/hicap/hicap.h"
#include "config/config_changes.h"
#include "config/passwords.h"
#include "platform/cp1250.h"
#include "platform/drive_map.h"
#include "platform/json_text.h"
#include "platform/sha256.h"
#include "platform/skins_folder.h"
#include "recording/camera_track.h"
#include "recording/drive_table.h"
#include "recording/schedule.h"
#include "recording/time_stamps.h"

namespace kel {

namespace fs = std::filesystem;

namespace {
constexpr const char* kSys = "SYS";
constexpr const char* kPrg = "PRG";
constexpr const char* kFirstRunQuestion =
    "{#0005} Pierwsze uruchomienie lub niepoprawna konfiguracja systemu. "
    "Czy zastosowac domyslne ustawienia systemu?";
constexpr const char* kNotClosed = "{#0009} Podczas ostatniego uruchomienia aplikacja nie zostala poprawnie "
                                   "zamknieta";
constexpr const char* kScreenTooSmall = "{#0007} Minimalna rozdzielczosc ekranu wynosi 1024x768";
constexpr const char* kFallback = "Automatycznie wybrano najnizsza rozdzielczosc aplikacji 1024x768";
constexpr const char* kCloseQuestion =
    "Zamknięcie Aplikacji przerywa rejestrację obrazu. Czy na pewno zamknąć "
    "Aplikację?";
// The old installation's scratch folder on drive C:, cleared at every start.
constexpr const char* kOldTempFolder = "drives/c:/Program Files/KEL System/Temp";
constexpr const char* kNoVideoMemory = "{#0011} Niewystarczajaca ilosc pamieci RAM na Karcie Graficznej";
constexpr const char* kNoSkinFiles = "{#0008} Brak plików graficznych";
constexpr int32_t kMinVideoMemoryMB = 24;  // 16 camera surfaces, the back surface and the bitmaps
}  // namespace

Station::Station(StationOptions options, TShared& shared, ConsoleWindow& console, MessageBox& box,
                 DebugLines& debug, const SystemInfo& info, ScreenSaver& saver, InstanceLock& mark,
                 const Clock& clock)
    : options_(std::move(options)), shared_(shared), console_(console), box_(box), debug_(debug),
      clock_(clock), log_(clock), system_(info, saver, mark),
      audit_(AuditTrail::PathBeside(options_.registry), clock), offsite_(OffsiteLinksFor(*this)),
      pipeline_(shared, console, log_, box, clock,
                PipelineLinks{[this](const std::string& text, BoxKind kind, bool logFirst) {
                                  return Stop(text, kind, logFirst);
                              },
                              [this](const std::string& text) { Report(text); },
                              [this](std::function<void()> job) { OnWindowThread(std::move(job)); },
                              [this](bool show) {
                                  if (windows_.closing && !options_.headless)
                                      windows_.closing->ShowClosingForm(show);
                              },
                              [this](const std::string& who, const char* what, const std::string& detail) {
                                  // The trail takes any thread; only a failure's log line needs
                                  // the window thread.
                                  if (!audit_.Append(who, what, detail))
                                      OnWindowThread([this, who, what, detail] { Audit(who, what, detail); });
                              },
                              [this](int camera, const std::string& name, double start) {
                                  offsite_.Archived(camera, name, start);
                              }}),
      remote_(shared, log_, debug, clock,
              [this](std::function<void()> job) { OnWindowThread(std::move(job)); }),
      notices_(shared, log_) {}

Station::~Station() {
    // Neither the timer, the server, the notices nor the recorder may call back into a station
    // that is going; the server reads the recorder's pictures, so it goes first.
    timer_.reset();
    if (events_)
        events_->Stop();
    offsite_.Stop();
    remote_.Stop();
    notices_.Close();
}

bool Station::Stop(const std::string& text, BoxKind kind, bool logFirst) {
    if (logFirst)
        log_.Error(kSys, text);
    box_.Show(kind, text);
    if (!logFirst)
        log_.Error(kSys, text);
    return false;
}

bool Station::FormCreate() {
    console_.SetVersionLabel(kVersionLabel);
    log_.Write(kSys, "**************************************");
    log_.Write(kSys, "Start Systemu KEL 2.0.3");
    window_thread_ = std::this_thread::get_id();
    std::error_code ec;
    shared_.WorkDir = fs::current_path(ec).string();
    log_.Write(kSys, "Folder roboczy: " + shared_.WorkDir);
    // The key that signs evidence; without it the station records all the same.
    std::string keyError;
    bool keyMade = false;
    key_ = StationKey::LoadOrCreate(shared_.WorkDir, keyError, &keyMade);
    if (keyMade)
        log_.Write(kSys, "Utworzono klucz podpisu stacji: " + StationKey::PrivatePath(shared_.WorkDir));
    if (key_)
        log_.Write(kSys, "Klucz podpisu stacji: " + key_->FingerprintText());
    else
        log_.Error(kSys, keyError);
    DeleteOldTempFolder();

    if (!system_.Check())
        return Stop(system_.ErrorText(), BoxKind::Error, true);
    log_.Write(kSys, system_.OsText());
    log_.Write(kSys, "Ilosc Pamieci RAM w Systemie " + std::to_string(system_.RamMB()) + "MB");

    if (!LoadConfiguration())
        return false;
    if (!audit_.Open())
        log_.Error(kSys, "Dziennik zdarzen niedostepny: " + audit_.ErrorText());
    audit_.Prune();
    // From here on the applied snapshot is the one source of settings; the record only writes.
    snapshot_ = MakeSnapshot(*config_);
    view_ = std::make_unique<ViewController>(shared_, console_, static_cast<ViewPorts&>(*this));
    if (!pipeline_.FindBoard(options_.board))
        return false;

    const bool closedInOrder = config_->GetCorrectClose();
    if (!pipeline_.CreateRecorder(RecorderView(snapshot_), options_.registry, !closedInOrder))
        return false;

    if (!closedInOrder)
        log_.Error(kSys, kNotClosed);
    if (!CheckScreen())
        return false;
    const RendererView console(snapshot_);
    shared_.AppWidth = console.Width();
    shared_.AppHeight = console.Height();
    console_.ArrangeWindow(console.Width(), console.Height());

    if (!pipeline_.CreateRenderer(console, console.Width(), console.Height(), console.Skin()))
        return false;
    auto audit = [this](const std::string& who, const char* what, const std::string& detail) {
        if (!audit_.Append(who, what, detail))
            OnWindowThread([this, who, what, detail] { Audit(who, what, detail); });
    };
    remote_.SetAlert([this](const std::string& text) { RaiseAlert("account", text); });
    remote_.Start(*pipeline_.Recorder(), ServerView(snapshot_), audit);
    remote_.MakeWeb(
        [this](int camera) { return remote_.Tables().PtzAddress(camera); },
        [this](int camera, int kind) { OnWindowThread([this, camera, kind] { PtzPressFor(camera, kind); }); },
        audit);
    if (WebServer* web = remote_.Web())
        web->SetStation(WebView(snapshot_).Station());
    remote_.StartWeb(WebView(snapshot_));
    StartEvents();
    StartOffsite();
    StartAuditWatch();
    notices_.Start();

    console_.AddTrayIcon(kTrayTip);
    StartPtz();
    config_->SetCorrectClose(false);
    if (!pipeline_.OpenBoard(BoardView(snapshot_))) {
        config_->SetCorrectClose(closedInOrder);  // a start stopped in order: the last run's mark stands
        return false;
    }
    console_.PostAfterCreate();
    Audit("", AuditTrail::kStart,
          std::string(kVersionLabel) + ", folder roboczy " + shared_.WorkDir + ", klucz " +
              (key_ ? key_->FingerprintText() : std::string("niedostepny")));
    shared_.RecordDrive = pipeline_.Recorder()->RecordDrive();
    return true;
}

void Station::DeleteOldTempFolder() {
    std::error_code ec;
    if (!fs::is_directory(kOldTempFolder, ec))
        return;
    fs::remove_all(kOldTempFolder, ec);
    log_.Write(kSys, "LOG_TempDeleted");
}

bool Station::LoadConfiguration() {
    config_ = std::make_unique<TConfig>(options_.registry);
    if (config_->Load()) {
        log_.Write(kSys, "Dane Konfiguracyjne Zainicjalizowano Poprawnie");
        return true;
    }
    if (!box_.Ask(kFirstRunQuestion))
        return Stop(config_->ErrorText, BoxKind::Error, false);
    log_.Error(kSys, "System uruchomiono z domyslnymi ustawieniami");
    if (!config_->WriteDefaults() || !config_->WriteDefaultCameras() || !config_->Load()) {
        // The coded text says what failed; the store's own reason helps whoever mends it.
        if (!config_->Store().ErrorText().empty())
            log_.Error(kSys, "Blad magazynu ustawien: " + config_->Store().ErrorText());
        return Stop(config_->ErrorText, BoxKind::Error, false);
    }
    return true;
}

void Station::OnWindowThread(std::function<void()> job) {
    if (std::this_thread::get_id() == window_thread_) {
        job();
        return;
    }
    std::weak_ptr<int> alive = alive_;
    console_.WindowJobs().Post([alive, job = std::move(job)] {
        if (alive.lock())
            job();
    });
}

// A message with the picture at each start of motion, for the cameras the settings say.
void Station::MailMotion() {
    const MailView mail(snapshot_);
    for (int n = 1; n <= kCameraCount; ++n) {
        const bool moving = shared_.MotionShown[n].load(std::memory_order_relaxed) != 0;
        const bool started = moving && !motion_seen_[n];
        motion_seen_[n] = moving;
        if (!started || !mail.OnMotion())
            continue;
        const FrameBank::PicturePtr picture = shared_.LiveFrame.Newest(n);
        JpegEncoder encoder;
        std::vector<uint8_t> jpeg;
        if (!picture || !encoder.EncodePicture(*picture, jpeg, 85))
            continue;
        const LocalTime now = clock_.Now();
        const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count();
        notices_.SendMotion(mail, n, snapshot_->cameras[n - 1].Name.Get(),
                            ShortDateText(now) + " - " + LongTimeText(now),
                            std::string(jpeg.begin(), jpeg.end()), seconds);
    }
}

void Station::TimerTick() {
    console_.SetDriveLabel(DriveUsage());
    MailMotion();
    if (events_) {
        int used = -1;
        uint64_t freeKB = 0, totalKB = 0;
        TSaveThread* recorder = pipeline_.Recorder();
        const bool any = recorder && RecorderView(snapshot_).AnyDrive();
        if (any && recorder->Archive().DriveUsage(shared_.RecordDrive, freeKB, totalKB) && totalKB)
            used = UsedPercent(freeKB, totalKB);
        events_->SetDrive(any ? shared_.RecordDrive.load() : 0, used, shared_.DiskFullWarned.load());
    }
    CountDownMotion(shared_.MotionHold, shared_.BeepLatch);
    notices_.CheckAddress(MailView(snapshot_));
    const LocalTime now = clock_.Now();
    const std::string time = LongTimeText(now);
    shared_.SetOsd(time, ShortDateText(now));
    pipeline_.PollSignal();
    pipeline_.UpdatePictureDemand();
    console_.SetClockLabel(time);
    if (view_)
        view_->SequenceStep();
    if (++prune_ticks_ >= 3600) {  // records past their keeping time go every hour
        prune_ticks_ = 0;
        audit_.Prune();
    }
    ApplySchedule(RecorderView(snapshot_).Schedule(), now, shared_.ScheduleMode);
}

bool Station::SendsStream(int camera) const {
    const std::shared_ptr<BoardBackend> backend = HicapBackend();
    return backend && camera >= 1 && camera <= kCameraCount && backend->SendsStream(camera - 1);
}

std::string Station::DriveUsage() {
    TSaveThread* recorder = pipeline_.Recorder();
    if (!recorder || !RecorderView(snapshot_).AnyDrive())
        return kNoDriveUsage;
    const char letter = shared_.RecordDrive;
    uint64_t freeKB = 0, totalKB = 0;
    const bool read = recorder->Archive().DriveUsage(letter, freeKB, totalKB);
    return DriveUsageText(true, letter, read, freeKB, totalKB);
}

// "Użycie Napędu D -  37%": the second space stands where the figure's sign would.
std::string Station::DriveUsageText(bool anyDrive, char letter, bool read, uint64_t freeKB,
                                    uint64_t totalKB) {
    if (!anyDrive || !read || totalKB == 0)
        return kNoDriveUsage;
    return std::string("Użycie Napędu ") + letter + " - " + " " +
           std::to_string(UsedPercent(freeKB, totalKB)) + "%";
}

int Station::UsedPercent(uint64_t freeKB, uint64_t totalKB) {
    const double freeShare =
        100.0 * static_cast<double>(std::min(freeKB, totalKB)) / static_cast<double>(totalKB);
    return 100 - static_cast<int>(std::nearbyint(freeShare));  // half to even
}

void Station::ApplyRecorderSettings() {
    pipeline_.ApplyRecorderSettings(RecorderView(snapshot_));
}

void Station::Publish(ConfigSnapshot next, const ConfigChanges& changes) {
    snapshot_ = std::move(next);
    pipeline_.GiveCaptureSettings(BoardView(snapshot_));
    const RendererView console(snapshot_);
    pipeline_.GiveRendererSettings(console);
    pipeline_.SetCameraLists(CameraListsOf(console));
    GiveRendererRights();
    if (changes.recorder)
        ApplyRecorderSettings();
    if (changes.tables || changes.ptz)
        ShareTablesWithServer();
    if (WebServer* web = remote_.Web())
        web->SetStation(WebView(snapshot_).Station());
}

ConfigChanges Station::Apply(ConfigSnapshot next, bool driveListShown) {
    ConfigChanges changes = CompareConfigs(*snapshot_, *next);
    // The dialog's drive flags follow the rows of the drive list it showed: the recorder reads
    // its drives again whether the flags changed or not.
    changes.recorder = changes.recorder || driveListShown;
    // A camera that restarts ends its segment with the settings it was recorded with.
    pipeline_.FinishSegments(changes);
    Publish(std::move(next), changes);
    pipeline_.ApplyBoard(BoardView(snapshot_), changes);
    ApplySchedule(RecorderView(snapshot_).Schedule(), clock_.Now(), shared_.ScheduleMode);
    return changes;
}

void Station::PutOnSlot(int layout, int slot, int camera) {
    auto next = std::make_shared<AppliedConfig>(*snapshot_);
    TSettingsBlock& s = next->settings;
    const std::span<int32_t> tables[] = {{}, s.CamMode4, s.CamMode9, s.CamMode16, s.CamMode8, s.CamMode13};
    if (layout == 0)
        s.CamMode1 = camera;
    else if (layout >= 1 && layout <= 5 && slot >= 1 && slot <= static_cast<int>(tables[layout].size()))
        tables[layout][slot - 1] = camera;
    else
        return;
    Apply(std::move(next));
}

bool Station::CheckScreen() {
    int sw = system_.ScreenWidth(), sh = system_.ScreenHeight();
    if (sw < kMinScreenWidth || sh < kMinScreenHeight)
        return Stop(kScreenTooSmall, BoxKind::Error, false);
    if (sw < config_->Width || sh < config_->Height) {
        config_->Width = 1024;
        config_->Height = 768;
        snapshot_ = MakeSnapshot(*config_);
        log_.Write(kSys, kFallback);
        box_.Warning(kFallback);
    } else {
        log_.Write(kSys, "Ustawiono Rozdzielczosc - " + std::to_string(config_->Width) + "x" +
                             std::to_string(config_->Height));
    }
    return true;
}

void Station::AfterCreate() {
    SendNotification(TMailNotifier::StartupText(clock_.Now(), notices_.StartupAddress()));
    AddStartupSummary();
    std::weak_ptr<int> alive = alive_;
    timer_ = std::make_unique<SecondTimer>([this, alive] {
        console_.WindowJobs().Post([this, alive] {
            if (alive.lock() && !shut_down_)
                TimerTick();
        });
    });
    timer_->Start();
    const RendererView console(snapshot_);
    if (windows_.smartView &&
        !windows_.smartView->PrepareSmartView(console.Skin(), console.Width(), snapshot_->cameras,
                                              console.SmartX(), console.SmartY())) {
        // Nothing has started yet but the board: it is closed, and the program ends through
        // its event loop.
        log_.Error(kSys, kNoSkinFiles);
        box_.Warning(kNoSkinFiles);
        timer_->Stop();
        pipeline_.StopCapture();
        console_.Quit(1);
        return;
    }
    view_->Start();
    console_.SetClockLabel(LongTimeText(clock_.Now()));
    console_.BuildCameraMenu();
    // The schedule before the first picture: waiting for the first tick cost every start a second.
    ApplySchedule(RecorderView(snapshot_).Schedule(), clock_.Now(), shared_.ScheduleMode);
    pipeline_.StartWorkers(BoardView(snapshot_), RecorderView(snapshot_));
    pipeline_.StartDisplay(CameraListsOf(console), system_.ScreenWidth(), system_.ScreenHeight());
    FirstView();
    Login();
}

void Station::AddStartupSummary() {
    const TSettingsBlock& c = snapshot_->settings;
    debug_.AddLine("Wersja Aplikacji - " + c.Version);
    debug_.AddLine(system_.OsText());
    debug_.AddLine("Ilosc Pamieci RAM w Systemie " + std::to_string(system_.RamMB()) + "MB");
    debug_.AddLine("Wykryto Kartę: " + pipeline_.Board()->Name());
    debug_.AddLine("Rozdzielczosc aplikacji - " + std::to_string(c.Width) + "x" + std::to_string(c.Height));
    debug_.AddLine("Rozdzielczosc ekranu - " + std::to_string(system_.ScreenWidth()) + "x" +
                   std::to_string(system_.ScreenHeight()));
    debug_.AddLine("Folder Skórki - " + SkinFolderPath(c.Skin, c.Width));
}

void Station::FirstView() {
    const RendererView console(snapshot_);
    switch (console.AppMode()) {
    case 0:
        view_->WindowMode();
        shared_.WindowLeft = (system_.ScreenWidth() - console.Width()) / 2;
        shared_.WindowTop = (system_.ScreenHeight() - console.Height()) / 2;
        console_.HideWindow();
        break;
    case 1:
        console_.ShowWindow();
        console_.WindowPosition(shared_.WindowLeft, shared_.WindowTop);
        view_->WindowMode();
        break;
    case 2:
        console_.ShowWindow();
        view_->SmartViewOn();
        break;
    case 3:
        view_->FullScreenOn();
        console_.ShowWindow();
        break;
    default:
        break;
    }
}

void Station::Report(const std::string& text) {
    debug_.AddLine(text);
    log_.Write(kPrg, text);
}

void Station::DebugLine(const std::string& text) {
    debug_.AddLine(text);
}

int32_t Station::HitTest(int x, int y, bool planView) const {
    const TDirectX* renderer = pipeline_.Renderer();
    return renderer ? renderer->HitTest(x, y, planView) : ViewController::kNoTile;
}

void Station::ZoomStart(int camera, int x, int y) {
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->ZoomStart(camera, x, y);
}

void Station::ZoomPan(int camera, int x, int y) {
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->ZoomPan(camera, x, y);
}

void Station::ZoomStop() {
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->ZoomStop();
}

bool Station::ZoomActive() const {
    const TDirectX* renderer = pipeline_.Renderer();
    return renderer && renderer->ZoomActive();
}

// Once the board is closed there is no output to switch.
void Station::MonitorOutput(int camera) {
    if (pipeline_.Board() && !shut_down_)
        HICAP50_bl_TVOUT(camera - 1);
}

CameraLists Station::CameraListsOf(const RendererView& applied) {
    CameraLists lists;
    const auto copy = [&](int layout, auto& to) {
        const std::span<const int32_t> from = applied.SlotTable(layout);
        std::copy(from.begin(), from.end(), to.begin());
    };
    copy(1, lists.CamMode4);
    copy(2, lists.CamMode9);
    copy(3, lists.CamMode16);
    copy(4, lists.CamMode8);
    copy(5, lists.CamMode13);
    return lists;
}

VideoSink* Station::SmartViewOutput() {
    return options_.headless || !windows_.smartView ? nullptr : windows_.smartView->SmartViewOutput();
}

void Station::PresentTo(bool smartView) {
    TDirectX* renderer = pipeline_.Renderer();
    if (!renderer)
        return;
    renderer->HideNames = smartView ? 1 : 0;
    renderer->SetClipperWindow(smartView ? SmartViewOutput() : console_.VideoOutput());
}

void Station::SuspendDisplay() {
    pipeline_.SuspendDisplay();
}

void Station::ResumeDisplay() {
    pipeline_.ResumeDisplay();
}

void Station::OpenConfigurator(int camera) {
    const TUserRecord* user = UsersView(snapshot_).User(shared_.CurrentUser);
    if (!view_ || shut_down_ || !user || !user->ConfigRight)
        return;
    if (shared_.ViewMode == kViewConfig || !console_.CanShowDialogs())
        return;
    Report("Wlaczono konfigurator");
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->SetClipperWindow(options_.headless || !windows_.configurator
                                       ? nullptr
                                       : windows_.configurator->ConfigPreviewOutput());
    // Recording, detection, the server and the notices go on while the dialog is open.
    view_->ConfiguratorOn(camera != 0);

    ConfiguratorWork work;
    work.settings = snapshot_->settings;
    work.cameras = snapshot_->cameras;
    work.live = snapshot_->cameras;
    work.startPage = camera == 0 ? 0 : camera + 1;
    // Without its window the dialog closes as it opened: cancelled.
    if (windows_.configurator) {
        console_.StepAside(true);
        windows_.configurator->RunConfigurator(work, *this);
        console_.StepAside(false);
    }
    ApplyConfiguration(work);
}

void Station::ApplyConfiguration(const ConfiguratorWork& work) {
    pipeline_.SetDetectionTest(false, TZoneTable{}, 0);
    pipeline_.ShowZone(0, nullptr, false);
    std::error_code ec;
    fs::current_path(shared_.WorkDir, ec);
    const std::string who = CurrentLogin();
    if (work.applied) {
        auto next = std::make_shared<AppliedConfig>(*snapshot_);
        ApplyDialogSettings(work.settings, next->settings);
        CopyCameras(work.cameras, next->cameras);
        const ConfigChanges changes = Apply(std::move(next), true);
        // Written at once: a crash later must not take the installer's work with it.
        SaveApplied();
        console_.BuildCameraMenu();
        if (windows_.smartView)
            windows_.smartView->BuildSmartViewMenu(snapshot_->cameras);
        if (changes.server)
            remote_.Restart(ServerView(snapshot_));
        if (changes.web)
            remote_.StartWeb(WebView(snapshot_));
        if (changes.events || changes.tables)
            StartEvents();
        if (changes.offsite)
            StartOffsite();
        const std::string summary = changes.summary.empty() ? "bez zmian" : changes.summary;
        log_.Write(kSys, "Zastosowano konfiguracje (uzytkownik " + who + "): " + summary);
        Audit(who, AuditTrail::kConfiguration, summary);
    } else {
        // The preview tried picture values on the board: the applied ones come back.
        pipeline_.GiveCaptureSettings(BoardView(snapshot_));
        if (TDirectX* renderer = pipeline_.Renderer())
            renderer->SetCameraRecords(RendererView(snapshot_).Cameras());
        log_.Write(kSys, "Anulowano konfiguracje (uzytkownik " + who + ")");
    }
    view_->ConfiguratorOff();
}

// The preview tries the dialog's picture values (and shows its names) on the running cameras;
// size, rate and the active flag wait for OK, so that the dialog stops no recording.
void Station::SetLiveCameras(const TCameraTable& live) {
    TCameraTable table = snapshot_->cameras;
    for (int i = 0; i < kCameraCount; ++i) {
        TCameraRecord& t = table[i];
        const TCameraRecord& l = live[i];
        t.Name = l.Name;
        t.Brightness = l.Brightness;
        t.Contrast = l.Contrast;
        t.Sharpness = l.Sharpness;
        t.SatU = l.SatU;
        t.SatV = l.SatV;
        t.Hue = l.Hue;
    }
    pipeline_.SetLiveCameras(table);
}

void Station::PreviewCamera(int camera) {
    view_->PreviewCamera(camera);
}

void Station::GiveRendererRights() {
    const TUserRecord* user = UsersView(snapshot_).User(shared_.CurrentUser);
    pipeline_.GiveRendererRights(user ? user->CamRights : nullptr);
}

void Station::Login() {
    const UsersView users(snapshot_);
    shared_.CurrentUser = kNobody;
    if (users.AutoLogin()) {
        // Unattended: a weak password is only told here (the station comes up without a dialog).
        shared_.CurrentUser = users.AutoLoginUser();
        if (shared_.CurrentUser != kNobody)
            Audit(users.AutoUser(), AuditTrail::kLogin, "konsola, logowanie automatyczne");
        if (users.WeakAdministrator(shared_.CurrentUser))
            log_.Error(kSys, "Uzytkownik \"" + users.AutoUser() +
                                 "\" ma haslo domyslne lub krotsze niz 8 znakow: serwer WWW i serwer TCP go "
                                 "nie wpuszcza, zmien haslo na konsoli");
    }
    view_->HideToTray();
    shared_.LoginCancelled = false;
    std::string login, password;
    while (shared_.CurrentUser == kNobody && !shared_.LoginCancelled && console_.CanShowDialogs() &&
           windows_.login) {
        const int user = AskLogin(login, password);
        if (user < 0)
            shared_.LoginCancelled = true;
        else if (user != kNobody) {
            shared_.CurrentUser = user;
            Audit(login, AuditTrail::kLogin, "konsola");
            AskStrongPassword(user);
        }
    }
    // The renderer shows only the cameras the user may watch; nobody (a cancelled login) none.
    GiveRendererRights();
    if (shared_.LoginCancelled)
        console_.RequestClose();
    if (RendererView(snapshot_).AppMode() != 0 && !shut_down_)
        view_->RestoreFromTray();
}

// The login is written down, never the password.
int Station::AskLogin(std::string& login, std::string& password) {
    if (!windows_.login || !windows_.login->RunLoginDialog(login, password))
        return -1;
    if (login.empty() || password.empty())
        return kNobody;
    const int user = UsersView(snapshot_).Find(login, password);
    if (user == kNobody) {
        log_.Error(kSys, "Odmowa logowania uzytkownika \"" + login + "\" (konsola)");
        Audit(login, AuditTrail::kLoginRefused, "konsola");
        box_.Warning(kBadLogin);
    }
    return user;
}

void Station::ChangeOperator() {
    if (shut_down_ || !view_ || !console_.CanShowDialogs() || !windows_.login)
        return;
    const std::string who = CurrentLogin();
    if (!who.empty()) {
        log_.Write(kSys, "Wylogowano uzytkownika " + who);
        Audit(who, AuditTrail::kLogout, "konsola");
    }
    shared_.CurrentUser = kNobody;
    GiveRendererRights();  // every camera locked before the dialog shows
    std::string login, password;
    for (;;) {
        const int user = AskLogin(login, password);
        if (user < 0)
            break;
        if (user != kNobody) {
            shared_.CurrentUser = user;
            log_.Write(kSys, "Zalogowano uzytkownika " + login);
            Audit(login, AuditTrail::kLogin, "konsola, zmiana operatora");
            AskStrongPassword(user);
            break;
        }
    }
    GiveRendererRights();
}

void Station::AskStrongPassword(int user) {
    const UsersView users(snapshot_);
    if (!users.WeakAdministrator(user) || !windows_.login)
        return;
    const std::string login = users.User(user)->Login.Get();
    std::string first, second;
    for (;;) {
        first.clear();
        second.clear();
        if (!windows_.login->RunNewPasswordDialog(login, first, second)) {
            log_.Error(kSys, "Uzytkownik \"" + login +
                                 "\" nie zmienil hasla domyslnego lub krotszego niz 8 znakow: serwer WWW i "
                                 "serwer TCP go nie wpuszcza");
            return;
        }
        if (first != second)
            box_.Warning(kPasswordsDiffer);
        else if (WeakPassword(first) || first.size() > kMaxPasswordChars || ToCp1250(first).empty() ||
                 FromCp1250(ToCp1250(first)) != first)
            box_.Warning(kPasswordTooWeak);
        else
            break;
    }
    // Hashed into a new snapshot, saved at once, handed to the servers like every configuration.
    auto next = std::make_shared<AppliedConfig>(*snapshot_);
    const TPasswordTable before = next->settings.PassHashes;
    SetPassword(next->settings.Users[user], next->settings.PassHashes[user], first);
    FollowAutoLogin(before, next->settings);
    Apply(std::move(next));
    SaveApplied();
    log_.Write(kSys, "Zmieniono haslo uzytkownika " + login + " (konsola)");
    Audit(login, AuditTrail::kConfiguration, "zmiana hasla (konsola)");
}

std::string Station::ViewerHandOver() const {
    const UsersView users(snapshot_);
    const TUserRecord* user = snapshot_ ? users.User(shared_.CurrentUser) : nullptr;
    const std::string hash = user ? PasswordHashText(*users.Password(shared_.CurrentUser)) : std::string();
    return hash.empty() ? std::string() : user->Login.Get() + "\n" + hash + "\n";
}

void Station::RecordSnapshot(const std::string& shown, const std::string& file) {
    Audit(CurrentLogin(), AuditTrail::kSnapshot, shown + ", plik " + file + ", SHA-256 " + Sha256File(file));
}

// Closing needs a user with the configuration right. Every refused attempt is logged and audited
// with the login tried (or the user at the console), never the password.
bool Station::AuthorizeClose(std::string& closer) {
    const TUserRecord* user = UsersView(snapshot_).User(shared_.CurrentUser);
    if (user && user->ConfigRight) {
        closer = user->Login.Get();
        return true;
    }
    std::string tried = user ? user->Login.Get() : std::string();
    std::string why = user ? "brak prawa do konfiguracji" : "nikt nie jest zalogowany";
    auto refuse = [&] {
        log_.Error(kSys, "Odmowa zamkniecia systemu" +
                             (tried.empty() ? std::string() : " uzytkownikowi \"" + tried + "\"") + " (" +
                             why + ")");
        Audit(tried, AuditTrail::kCloseRefused, "konsola, " + why);
        return false;
    };
    if (!console_.CanShowDialogs() || !windows_.login)
        return refuse();  // nobody here can give the right
    box_.Warning(kCloseNeedsRight);
    std::string login, password;
    for (;;) {
        const int index = AskLogin(login, password);
        if (index < 0)
            return refuse();
        if (!login.empty()) {
            tried = login;
            why = index == kNobody ? "nieprawidlowe haslo" : "brak prawa do konfiguracji";
        }
        const TUserRecord* other = UsersView(snapshot_).User(index);
        if (other && other->ConfigRight) {
            closer = login;
            return true;
        }
        if (other)
            box_.Warning(kCloseNeedsRight);
    }
}

bool Station::FormClose() {
    if (shut_down_)
        return true;
    std::string closer;
    if (!AuthorizeClose(closer))
        return false;
    if (!box_.Ask(kCloseQuestion))
        return false;
    closer_ = closer;
    Shutdown(true);
    return true;
}

void Station::EndSession() {
    if (shut_down_)
        return;
    log_.Write(kSys, "Aplikacja zostala zamknieta wraz z zamknieciem systemu Windows");
    Shutdown(false);
    FormDestroy();
}

void Station::Shutdown(bool byUser) {
    if (shut_down_ || !snapshot_)
        return;
    shut_down_ = true;
    Audit(byUser ? closer_ : std::string(), AuditTrail::kStop,
          byUser ? "z konsoli" : "koniec sesji systemu (sygnal)");
    if (timer_)
        timer_->Stop();
    remote_.StopMoves([this](int camera, int kind) { PtzPressFor(camera, kind); });
    StopPtz();
    if (audit_watch_)
        audit_watch_->Stop();
    if (events_)
        events_->Stop();
    offsite_.Stop();  // what is archived from here on is queued and copied at the next start
    remote_.Stop();
    notices_.StopWatcher();
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->ShowNames = 0;
    // The capture first: every picture it delivered is still queued for the recorder, whose close
    // writes them before it ends the segments.
    pipeline_.StopCapture();
    pipeline_.StopDisplay();
    console_.RemoveTrayIcon();
    auto last = std::make_shared<AppliedConfig>(*snapshot_);
    if (windows_.smartView)
        windows_.smartView->SmartViewPosition(last->settings.Smart_X, last->settings.Smart_Y);
    snapshot_ = std::move(last);
    // The close goes on either way; a save that failed leaves the previous one whole and says why.
    SaveApplied();
    pipeline_.StopRecorder();
    // Last: a crash anywhere before, archiving included, is reported at the next start.
    config_->SetCorrectClose(true);
    log_.Write(kSys, "Zamkniecie Systemu przez uzytkownika " + closer_);
}

void Station::SendNotification(const std::string& text) {
    if (snapshot_)
        notices_.Send(MailView(snapshot_), text);
}

void Station::Audit(const std::string& who, const char* what, const std::string& detail) {
    if (audit_.Append(who, what, detail)) {
        audit_failing_ = false;
        return;
    }
    if (!audit_failing_)
        log_.Error(kSys, "Nie mozna zapisac dziennika zdarzen: " + audit_.ErrorText());
    audit_failing_ = true;
}

void Station::RaiseAlert(const std::string& kind, const std::string& text) {
    log_.Error(kSys, "ALARM: " + text);
    Audit("", AuditTrail::kAlert, text);
    const LocalTime now = clock_.Now();
    SendNotification(ShortDateText(now) + " - " + LongTimeText(now) + " : ALARM KEL 2.0: " + text);
    if (events_)
        events_->Alert("{\"alert\":" + JsonString(kind) + ",\"text\":" + JsonString(text) +
                       ",\"time\":" + JsonString(ShortDateText(now) + " " + LongTimeText(now)) + "}");
}

// The trail is checked at the start and every hour, and its head leaves the station for the
// broker and the off-site store, whichever are set up.
void Station::StartAuditWatch() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    AuditWatch::Links links{
        [this](const std::string& json) {
            OnWindowThread([this, json] {
                if (events_)
                    events_->SetAuditHead(json);
                if (offsite_.Running())
                    offsite_.PutAuditHead(json);
            });
        },
        [this](const std::string& why) {
            OnWindowThread([this, why] { RaiseAlert("audit", "Dziennik zdarzen naruszony: " + why); });
        }};
    audit_watch_ = std::make_unique<AuditWatch>(audit_, host, std::move(links));
    audit_watch_->Start();
}

std::string Station::CurrentLogin() const {
    const TUserRecord* user = snapshot_ ? UsersView(snapshot_).User(shared_.CurrentUser) : nullptr;
    return user ? user->Login.Get() : std::string();
}

void Station::SaveApplied() {
    config_->TakeApplied(snapshot_->settings, snapshot_->cameras);
    if (!config_->SaveAll() || !config_->SaveCameras())
        log_.Error(kSys, "Zapis konfiguracji nie powiodl sie: " + config_->Store().ErrorText());
}

std::function<void()> Station::SendTestMail(const std::string& server, const std::string& user,
                                            const std::string& password, const std::string& target,
                                            std::function<void(bool sent, const std::string& error)> done) {
    return notices_.SendTest(server, user, password, target,
                             [this, done](bool sent, const std::string& error) {
                                 OnWindowThread([done, sent, error] { done(sent, error); });
                             });
}

void Station::ShareTablesWithServer() {
    remote_.Share(ServerView(snapshot_));
}

// The port is opened by its first poll, on the window thread; a line that cannot be opened is
// logged once and left alone.
void Station::StartPtz() {
    ptz_port_ = std::make_unique<TComportDriverThread>(
        [this](std::function<void()> job) { console_.WindowJobs().Post(std::move(job)); },
        [this](const std::string& text) { log_.Error(kSys, text); });
    ptz_port_->SetDevice(options_.serial);
    ptz_port_->SetSpeed(ComSpeed::Baud2400);
    ptz_port_->SetPollingDelay(500);
    ptz_pad_ = std::make_unique<PtzPad>(
        *ptz_port_, [this] { return shared_.SingleCamera.load(); },
        [this](int camera) { return PtzView(snapshot_).Address(camera); });
    ptz_port_->SetActive(true);
}

void Station::StopPtz() {
    if (!ptz_port_)
        return;
    ptz_port_->SetActive(false);  // first, or the next poll would open the port again
    ptz_port_->Disconnect();
}

void Station::PtzPress(int kind) {
    if (ptz_pad_)
        ptz_pad_->Press(kind);
}

void Station::PtzRelease() {
    if (ptz_pad_)
        ptz_pad_->Release();
}

// The events go on their own thread; the flags they publish are read from the shared state.
void Station::StartEvents() {
    if (events_)
        events_->Stop();
    const EventsView view(snapshot_);
    if (!view.On())
        return;
    if (!events_) {
        EventLinks links{
            shared_.LiveFrame,
            shared_.CameraSignal,
            shared_.RecordingNow,
            shared_.MotionShown,
            [this](const std::string& text) { OnWindowThread([this, text] { log_.Write(kSys, text); }); },
            [this](const std::string& who, const char* what, const std::string& detail) {
                if (!audit_.Append(who, what, detail))
                    OnWindowThread([this, who, what, detail] { Audit(who, what, detail); });
            },
            [this] {
                const LocalTime now = clock_.Now();
                return ShortDateText(now) + " " + LongTimeText(now);
            }};
        events_ = std::make_unique<MqttEvents>(std::move(links));
    }
    MqttSettings settings;
    settings.host = view.Host();
    settings.port = view.Port();
    settings.user = view.User();
    settings.password = view.Password();
    settings.tls = view.Tls();
    settings.topic = view.Topic().empty() ? "kel" : view.Topic();
    settings.station = view.Station();
    const CameraTablePtr cameras = view.Cameras();
    for (int n = 1; n <= kCameraCount; ++n)
        if ((*cameras)[n - 1].Active)
            settings.names[n] = (*cameras)[n - 1].Name.Get();
    events_->Start(std::move(settings));
}

// The copier logs through the window thread and finds recordings through the recorder's index.
OffsiteLinks Station::OffsiteLinksFor(Station& s) {
    return OffsiteLinks{
        [&s](int camera, const std::string& name) {
            TSaveThread* recorder = s.pipeline_.Recorder();
            return recorder ? recorder->Archive().ArchivedFile(camera, name) : std::string();
        },
        [&s] {
            std::vector<QueuedCopy> out;
            if (TSaveThread* recorder = s.pipeline_.Recorder())
                for (const TVideoIndexEntry& e : recorder->Archive().Entries()) {
                    const std::string path = e.FileName.Get();
                    out.push_back(
                        {0, e.Camera, path.substr(path.find_last_of('\\') + 1), e.StartTime, 0, {}});
                }
            return out;
        },
        [&s](const std::string& text, bool error) {
            s.OnWindowThread([&s, text, error] {
                if (error)
                    s.log_.Error(kSys, text);
                else
                    s.log_.Write(kSys, text);
            });
        },
        [&s] { return DateTimeValue(s.clock_.Now()); },
        [](double value) {
            return MomentText(static_cast<int64_t>(std::llround(value * 86400000.0))).substr(0, 19);
        }};
}

void Station::StartOffsite() {
    const OffsiteView view(snapshot_);
    if (!view.On()) {
        if (offsite_.Running())
            log_.Write(kSys, "Kopie poza stacja wylaczone");
        offsite_.Stop();
        return;
    }
    OffsiteSettings settings;
    settings.store.endpoint = view.Endpoint();
    settings.store.bucket = view.Bucket();
    settings.store.credentials = {view.KeyId(), view.Secret(),
                                  view.Region().empty() ? "us-east-1" : view.Region()};
    settings.store.bytesPerSecond = static_cast<uint64_t>(std::max(view.LimitKBps(), 0)) * 1024;
    settings.prefix = view.Prefix();
    if (settings.prefix.empty()) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        settings.prefix = host;
    }
    if (offsite_.Start((fs::path(shared_.WorkDir) / CopyQueue::kFile).string(), settings))
        log_.Write(kSys,
                   "Kopie poza stacja: " + view.Endpoint() + "/" + view.Bucket() + "/" + settings.prefix +
                       (view.LimitKBps() > 0 ? ", do " + std::to_string(view.LimitKBps()) + " KB/s" : ""));
}

// The web view's pad steers the camera its browser shows, whichever the console shows.
void Station::PtzPressFor(int camera, int kind) {
    if (!ptz_port_)
        return;
    PtzPad pad(
        *ptz_port_, [camera] { return camera; }, [this](int n) { return PtzView(snapshot_).Address(n); });
    if (kind == 0)
        pad.Release();
    else
        pad.Press(kind);
}

void Station::FormDestroy() {
    system_.Release();
}

}  // namespace kel
