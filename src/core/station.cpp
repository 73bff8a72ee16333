#include "core/station.h"

#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

#include "capture/hicap/hicap.h"
#include "config/config_changes.h"
#include "platform/drive_map.h"
#include "platform/skins_folder.h"
#include "recording/drive_table.h"
#include "recording/schedule.h"

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

Station::Station(StationOptions options, TShared& shared, StationHost& host, MessageBox& box,
                 DebugLines& debug, const SystemInfo& info, ScreenSaver& saver, InstanceLock& mark,
                 const Clock& clock)
    : options_(std::move(options)), shared_(shared), host_(host), box_(box), debug_(debug), clock_(clock),
      log_(clock), system_(info, saver, mark),
      pipeline_(shared, host, log_, box, clock,
                PipelineLinks{[this](const std::string& text, BoxKind kind, bool logFirst) {
                                  return Stop(text, kind, logFirst);
                              },
                              [this](const std::string& text) { Report(text); },
                              [this](std::function<void()> job) { OnWindowThread(std::move(job)); }}),
      remote_(shared, log_, debug, clock,
              [this](std::function<void()> job) { OnWindowThread(std::move(job)); }),
      notices_(shared, log_) {}

Station::~Station() {
    // Neither the timer, the server, the notices nor the recorder may call back into a station
    // that is going; the server reads the recorder's pictures, so it goes first.
    timer_.reset();
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
    host_.SetVersionLabel(kVersionLabel);
    log_.Write(kSys, "**************************************");
    log_.Write(kSys, "Start Systemu KEL 2.0.3");
    window_thread_ = std::this_thread::get_id();
    std::error_code ec;
    shared_.WorkDir = fs::current_path(ec).string();
    log_.Write(kSys, "Folder roboczy: " + shared_.WorkDir);
    DeleteOldTempFolder();

    if (!system_.Check())
        return Stop(system_.ErrorText(), BoxKind::Error, true);
    log_.Write(kSys, system_.OsText());
    log_.Write(kSys, "Ilosc Pamieci RAM w Systemie " + std::to_string(system_.RamMB()) + "MB");

    if (!LoadConfiguration())
        return false;
    snapshot_ = MakeSnapshot(*config_);
    view_ = std::make_unique<ViewController>(shared_, *config_, host_, static_cast<ViewPorts&>(*this));
    if (!pipeline_.FindBoard(options_.board))
        return false;

    const bool closedInOrder = config_->GetCorrectClose();
    if (!pipeline_.CreateRecorder(snapshot_, options_.registry, !closedInOrder))
        return false;

    if (!closedInOrder)
        log_.Error(kSys, kNotClosed);
    if (!CheckScreen())
        return false;
    shared_.AppWidth = config_->Width;
    shared_.AppHeight = config_->Height;
    host_.ArrangeWindow(config_->Width, config_->Height);

    if (!pipeline_.CreateRenderer(snapshot_, config_->Width, config_->Height, config_->Skin))
        return false;
    remote_.Share(snapshot_);
    remote_.Start(*pipeline_.Recorder(), *config_);
    notices_.Start();

    host_.AddTrayIcon(kTrayTip);
    StartPtz();
    config_->SetCorrectClose(false);
    if (!pipeline_.OpenBoard(config_->Cameras, config_->Ntsc)) {
        config_->SetCorrectClose(closedInOrder);  // a start stopped in order: the last run's mark stands
        return false;
    }
    host_.PostAfterCreate();
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
    host_.WindowJobs().Post([alive, job = std::move(job)] {
        if (alive.lock())
            job();
    });
}

void Station::TimerTick() {
    host_.SetDriveLabel(DriveUsage());
    CountDownMotion(shared_.MotionHold, shared_.BeepLatch);
    notices_.CheckAddress(*config_);
    const LocalTime now = clock_.Now();
    const std::string time = LongTimeText(now);
    shared_.SetOsd(time, ShortDateText(now));
    pipeline_.PollSignal();
    host_.SetClockLabel(time);
    if (view_)
        view_->SequenceStep();
    if (config_)
        ApplySchedule(config_->Scheduler, now, shared_.ScheduleMode);
}

std::string Station::DriveUsage() {
    TSaveThread* recorder = pipeline_.Recorder();
    if (!recorder || !config_)
        return kNoDriveUsage;
    bool anyDrive = false;
    for (int i = 0; i < 24; ++i)
        anyDrive = anyDrive || config_->HDDs[i] == 1;
    if (!anyDrive)
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
    const double freeShare =
        100.0 * static_cast<double>(std::min(freeKB, totalKB)) / static_cast<double>(totalKB);
    const long used = 100 - static_cast<long>(std::nearbyint(freeShare));  // half to even
    return std::string("Użycie Napędu ") + letter + " - " + " " + std::to_string(used) + "%";
}

void Station::ApplyRecorderSettings() {
    pipeline_.ApplyRecorderSettings(snapshot_);
}

void Station::Publish(ConfigSnapshot next) {
    snapshot_ = next ? std::move(next) : MakeSnapshot(*config_);
    pipeline_.GiveCaptureSettings(snapshot_);
    pipeline_.GiveRendererSettings(snapshot_);
    GiveRendererRights();
    ApplyRecorderSettings();
    ShareTablesWithServer();
}

bool Station::CheckScreen() {
    int sw = system_.ScreenWidth(), sh = system_.ScreenHeight();
    if (sw < kMinScreenWidth || sh < kMinScreenHeight)
        return Stop(kScreenTooSmall, BoxKind::Error, false);
    if (sw < config_->Width || sh < config_->Height) {
        config_->Width = 1024;
        config_->Height = 768;
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
        host_.WindowJobs().Post([this, alive] {
            if (alive.lock() && !shut_down_)
                TimerTick();
        });
    });
    timer_->Start();
    if (!host_.PrepareSmartView(config_->Skin, config_->Width, config_->Cameras, config_->Smart_X,
                                config_->Smart_Y)) {
        // Nothing has started yet but the board: it is closed, and the program ends through
        // its event loop.
        log_.Error(kSys, kNoSkinFiles);
        box_.Warning(kNoSkinFiles);
        timer_->Stop();
        pipeline_.StopCapture();
        host_.Quit(1);
        return;
    }
    view_->Start();
    host_.SetClockLabel(LongTimeText(clock_.Now()));
    host_.BuildCameraMenu();
    // The schedule before the first picture: waiting for the first tick cost every start a second.
    ApplySchedule(config_->Scheduler, clock_.Now(), shared_.ScheduleMode);
    pipeline_.StartWorkers(snapshot_);
    pipeline_.StartDisplay(CameraListsOf(*config_), system_.ScreenWidth(), system_.ScreenHeight());
    FirstView();
    Login();
}

void Station::AddStartupSummary() {
    const TConfig& c = *config_;
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
    switch (config_->AppMode) {
    case 0:
        view_->WindowMode();
        shared_.WindowLeft = (system_.ScreenWidth() - config_->Width) / 2;
        shared_.WindowTop = (system_.ScreenHeight() - config_->Height) / 2;
        host_.HideWindow();
        break;
    case 1:
        host_.ShowWindow();
        host_.WindowPosition(shared_.WindowLeft, shared_.WindowTop);
        view_->WindowMode();
        break;
    case 2:
        host_.ShowWindow();
        view_->SmartViewOn();
        break;
    case 3:
        view_->FullScreenOn();
        host_.ShowWindow();
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

CameraLists Station::CameraListsOf(const TConfig& config) {
    CameraLists lists;
    lists.CamMode4 = config.CamMode4;
    lists.CamMode9 = config.CamMode9;
    lists.CamMode16 = config.CamMode16;
    lists.CamMode8 = config.CamMode8;
    lists.CamMode13 = config.CamMode13;
    return lists;
}

void Station::SlotTablesChanged() {
    pipeline_.SetCameraLists(CameraListsOf(*config_));
}

void Station::PresentTo(bool smartView) {
    TDirectX* renderer = pipeline_.Renderer();
    if (!renderer)
        return;
    renderer->HideNames = smartView ? 1 : 0;
    renderer->SetClipperWindow(smartView ? host_.SmartViewOutput() : host_.VideoOutput());
}

void Station::SuspendDisplay() {
    pipeline_.SuspendDisplay();
}

void Station::ResumeDisplay() {
    pipeline_.ResumeDisplay();
}

void Station::OpenConfigurator(int camera) {
    const int user = shared_.CurrentUser;
    if (!config_ || !view_ || shut_down_ || user < 0 || user >= kUserCount ||
        !config_->Users[user].ConfigRight)
        return;
    if (shared_.ViewMode == kViewConfig || !host_.CanShowDialogs())
        return;
    Report("Wlaczono konfigurator");
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->SetClipperWindow(host_.ConfigPreviewOutput());
    // Recording, detection, the server and the notices go on while the dialog is open.
    view_->ConfiguratorOn(camera != 0);

    ConfiguratorWork work;
    config_->CopySettingsTo(work.settings);
    work.cameras = config_->Cameras;
    work.live = config_->Cameras;
    work.startPage = camera == 0 ? 0 : camera + 1;
    host_.RunConfigurator(work, *this);
    ApplyConfiguration(work);
}

void Station::ApplyConfiguration(const ConfiguratorWork& work) {
    pipeline_.SetDetectionTest(false, config_->Zones, 0);
    pipeline_.ShowZone(0, nullptr, false);
    std::error_code ec;
    fs::current_path(shared_.WorkDir, ec);
    const int user = shared_.CurrentUser;
    const std::string who = user >= 0 && user < kUserCount ? config_->Users[user].Login.Get() : std::string();
    if (work.applied) {
        const ConfigSnapshot before = snapshot_;
        config_->ApplySettings(work.settings);
        config_->ApplyCameras(work.cameras);
        // Written at once: a crash later must not take the installer's work with it.
        if (!config_->SaveAll() || !config_->SaveCameras())
            log_.Error(kSys, "Zapis konfiguracji nie powiodl sie: " + config_->Store().ErrorText());
        ConfigSnapshot after = MakeSnapshot(*config_);
        const ConfigChanges changes = CompareConfigs(*before, *after);
        // A camera that restarts ends its segment with the settings it was recorded with.
        pipeline_.FinishSegments(changes);
        Publish(std::move(after));
        pipeline_.ApplyBoard(snapshot_, changes);
        ApplySchedule(config_->Scheduler, clock_.Now(), shared_.ScheduleMode);
        host_.BuildCameraMenu();
        host_.BuildSmartViewMenu(config_->Cameras);
        if (changes.server)
            remote_.Restart(*config_);
        log_.Write(kSys, "Zastosowano konfiguracje (uzytkownik " + who +
                             "): " + (changes.summary.empty() ? "bez zmian" : changes.summary));
    } else {
        // The preview tried picture values on the board: the applied ones come back.
        pipeline_.GiveCaptureSettings(snapshot_);
        if (TDirectX* renderer = pipeline_.Renderer())
            renderer->SetCameraRecords(CamerasOf(snapshot_));
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
    const int user = shared_.CurrentUser;
    pipeline_.GiveRendererRights(user >= 0 && user < kUserCount ? config_->Users[user].CamRights : nullptr);
}

void Station::Login() {
    shared_.CurrentUser = kNobody;
    if (config_->AutoLogin)
        shared_.CurrentUser = config_->FindUser(config_->sUser, config_->sPass);
    view_->HideToTray();
    shared_.LoginCancelled = false;
    std::string login, password;
    while (shared_.CurrentUser == kNobody && !shared_.LoginCancelled && host_.CanShowDialogs()) {
        if (!host_.RunLoginDialog(login, password))
            shared_.LoginCancelled = true;
        else if (!login.empty() && !password.empty())
            shared_.CurrentUser = config_->FindUser(login, password);
    }
    // The renderer shows only the cameras the user may watch; nobody (a cancelled login) none.
    GiveRendererRights();
    if (shared_.LoginCancelled)
        host_.RequestClose();
    if (config_->AppMode != 0 && !shut_down_)
        view_->RestoreFromTray();
}

bool Station::FormClose() {
    if (shut_down_)
        return true;
    if (!box_.Ask(kCloseQuestion))
        return false;
    Shutdown();
    return true;
}

void Station::EndSession() {
    if (shut_down_)
        return;
    log_.Write(kSys, "Aplikacja zostala zamknieta wraz z zamknieciem systemu Windows");
    Shutdown();
    FormDestroy();
}

void Station::Shutdown() {
    if (shut_down_ || !config_)
        return;
    shut_down_ = true;
    if (timer_)
        timer_->Stop();
    StopPtz();
    remote_.Stop();
    notices_.StopWatcher();
    if (TDirectX* renderer = pipeline_.Renderer())
        renderer->ShowNames = 0;
    if (TSaveThread* recorder = pipeline_.Recorder())
        recorder->SetRecording(false);
    pipeline_.StopCapture();
    pipeline_.StopDisplay();
    host_.RemoveTrayIcon();
    host_.SmartViewPosition(config_->Smart_X, config_->Smart_Y);
    // The close goes on either way; a save that failed leaves the previous one whole and says why.
    if (!config_->SaveAll() || !config_->SaveCameras())
        log_.Error(kSys, "Zapis konfiguracji nie powiodl sie: " + config_->Store().ErrorText());
    pipeline_.StopRecorder();
    // Last: a crash anywhere before, archiving included, is reported at the next start.
    config_->SetCorrectClose(true);
    log_.Write(kSys, "Zamkniecie Systemu przez uzytkownika ");
}

void Station::SendNotification(const std::string& text) {
    if (config_)
        notices_.Send(*config_, text);
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
    remote_.Share(snapshot_);
}

// The port is opened by its first poll, on the window thread; a line that cannot be opened is
// logged once and left alone.
void Station::StartPtz() {
    ptz_port_ = std::make_unique<TComportDriverThread>(
        [this](std::function<void()> job) { host_.WindowJobs().Post(std::move(job)); },
        [this](const std::string& text) { log_.Error(kSys, text); });
    ptz_port_->SetDevice(options_.serial);
    ptz_port_->SetSpeed(ComSpeed::Baud2400);
    ptz_port_->SetPollingDelay(500);
    ptz_pad_ = std::make_unique<PtzPad>(
        *ptz_port_, [this] { return shared_.SingleCamera.load(); }, config_->PTZPorts);
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

void Station::FormDestroy() {
    system_.Release();
}

}  // namespace kel
