#include "core/station.h"

#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

#include "capture/hicap/hicap.h"
#include "platform/drive_map.h"
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
      log_(clock), system_(info, saver, mark), recorder_log_(clock), server_log_(clock) {}

Station::~Station() {
    // Neither the timer nor the recorder may call back into a station that is going.
    timer_.reset();
    tcp_server_.reset();
    ip_monitor_.reset();
    mail_.reset();  // a message on its way is cancelled
    recorder_.reset();
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
    if (!FindBoard())
        return false;

    if (!CreateRecorder())
        return false;

    if (!config_->GetCorrectClose())
        log_.Error(kSys, kNotClosed);
    if (!CheckScreen())
        return false;
    shared_.AppWidth = config_->Width;
    shared_.AppHeight = config_->Height;
    host_.ArrangeWindow(config_->Width, config_->Height);

    if (!CreateRenderer())
        return false;
    StartTcpServer();
    StartNotices();

    host_.AddTrayIcon(kTrayTip);
    StartPtz();
    config_->SetCorrectClose(false);
    if (!StartBoard())
        return false;
    host_.PostAfterCreate();
    shared_.RecordDrive = recorder_->RecordDrive();
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

bool Station::FindBoard() {
    board_ = std::make_unique<THicap>(options_.board);
    if (!board_->Find())
        return Stop(board_->ErrorText(), BoxKind::Warning, true);
    log_.Write(kSys, "Wykryto kartę: " + board_->Name());
    return true;
}

// The board set up for the camera table with its transfer on, and its first signal reading.
// A board that will not start stops the station as one not found does: running on without
// pictures would look like a working recorder that records nothing.
bool Station::StartBoard() {
    if (!board_->Open(config_->Cameras))
        return Stop(board_->ErrorText(), BoxKind::Warning, true);
    PollSignal();
    return true;
}

void Station::PollSignal() {
    if (board_)
        board_->QuerySignal(shared_.CameraSignal);
}

void Station::StartCapture() {
    for (int n = 1; n <= kCameraCount; ++n) {
        auto capture =
            std::make_unique<TCapture>(n, shared_.LiveFrame, shared_.FrameReady, shared_.NetFrameReady);
        capture->SetSettings(CamerasOf(snapshot_));
        capture->SetActive(true);
        capture->Start();
        captures_[n] = std::move(capture);
    }
}

// The threads stay (they end with the process); once switched off none touches the board again.
void Station::StopCapture() {
    for (auto& capture : captures_)
        if (capture)
            capture->SetActive(false);
    if (board_)
        board_->Close();
}

const TCapture* Station::Capture(int camera) const {
    return camera >= 1 && camera <= kCameraCount ? captures_[camera].get() : nullptr;
}

bool Station::CreateRecorder() {
    RecorderLinks links{shared_.LiveFrame,    shared_.FrameReady,  shared_.ScheduleMode,
                        shared_.RecordingNow, shared_.MotionShown, shared_.MotionHold,
                        shared_.BeepLatch,    shared_.RecordDrive, shared_.DiskFullWarned};
    recorder_ =
        std::make_unique<TSaveThread>(shared_.WorkDir, links, MakeRecorderHooks(), clock_, *drive_probe_);
    recorder_->Configure(snapshot_);
    // The temporary folders lie in the working directory; drive C: stands for the space there.
    recorder_->EnsureDriveC();
    if (recorder_->FreeSpaceKB('C') < kTempSpaceKB)
        return Stop(kNoTempSpace, BoxKind::Error, false);
    if (!recorder_->Initialize(options_.registry))
        return Stop(recorder_->ErrorText(), BoxKind::Error, false);
    return true;
}

RecorderHooks Station::MakeRecorderHooks() {
    RecorderHooks hooks;
    hooks.log = [this](const std::string& text, bool error) { recorder_log_.Write(kSys, text, !error); };
    hooks.warn = [this](const std::string& text) { OnWindowThread([this, text] { box_.Warning(text); }); };
    hooks.beep = [this] { OnWindowThread([this] { host_.SystemBeeper().Beep(); }); };
    return hooks;
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
    CheckAddress();
    const LocalTime now = clock_.Now();
    const std::string time = LongTimeText(now);
    shared_.SetOsd(time, ShortDateText(now));
    PollSignal();
    host_.SetClockLabel(time);
    if (view_)
        view_->SequenceStep();
    if (config_)
        ApplySchedule(config_->Scheduler, now, shared_.ScheduleMode);
}

std::string Station::DriveUsage() const {
    if (!recorder_ || !config_)
        return kNoDriveUsage;
    bool anyDrive = false;
    for (int i = 0; i < 24; ++i)
        anyDrive = anyDrive || config_->HDDs[i] == 1;
    if (!anyDrive)
        return kNoDriveUsage;
    const char letter = shared_.RecordDrive;
    uint64_t freeKB = 0, totalKB = 0;
    const bool read = recorder_->Archive().DriveUsage(letter, freeKB, totalKB);
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
    if (!recorder_)
        return;
    // The flags follow the rows of the drive list the dialog showed, read when it opened: a drive
    // attached since the start takes its place in the table too.
    recorder_->Archive().ScanDrives();
    recorder_->Configure(snapshot_);
    if (shared_.ResetVideoCounter.exchange(false))
        recorder_->ResetIndex();
    else
        recorder_->ReadCounter();
    recorder_->ResetFrameCounters();
    // With no drive selected the previous drive stays.
    char letter = 0;
    if (recorder_->SelectFirstDrive(letter))
        shared_.RecordDrive = letter;
}

void Station::Publish() {
    snapshot_ = MakeSnapshot(*config_);
    if (renderer_) {
        GiveRendererSettings();
        GiveRendererRights();
    }
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

// The renderer set up and checked, then the video area's bitmaps and the main window's own.
bool Station::CreateRenderer() {
    renderer_ = std::make_unique<TDirectX>(*display_platform_);
    GiveRendererSettings();
    if (!renderer_->Init(config_->Width, config_->Height, host_.VideoOutput()))
        return Stop(renderer_->ErrorText(), BoxKind::Warning, true);
    log_.Write(kSys, "Wykryto biblioteki DirectX");
    int32_t memoryMB = renderer_->VideoMemoryMB();
    if (memoryMB < kMinVideoMemoryMB)
        return Stop(kNoVideoMemory, BoxKind::Warning, true);
    log_.Write(kSys, "Ilosci pamieci na karcie graficznej - " + std::to_string(memoryMB) + "MB");
    if (!renderer_->LoadDisplayBitmaps(config_->Skin, config_->Width) ||
        !host_.LoadMainSkin(config_->Skin, config_->Width))
        return Stop(kNoSkinFiles, BoxKind::Warning, true);
    log_.Write(kSys, "Poprawnie wczytano pliki graficzne - Folder: " + config_->Skin + "/" +
                         std::to_string(config_->Width));
    return true;
}

// The camera table, the text colour, the three overlay switches, the plan and its icons.
void Station::GiveRendererSettings() {
    const TSettingsBlock& s = snapshot_->settings;
    renderer_->SetCameraRecords(CamerasOf(snapshot_));
    renderer_->TextColor = static_cast<uint32_t>(s.cColor);
    renderer_->ShowNames = s.cCamName;
    renderer_->TextShadow = s.cDetection;
    renderer_->ShowRec = s.cRecording;
    renderer_->SetMapFile(s.sMapFile);
    renderer_->SetPlanIcons(s.CamIcons);
}

void Station::StartDisplay() {
    DisplayInputs inputs{shared_.LiveFrame,
                         shared_.FrameReady,
                         shared_.RecordingNow,
                         shared_.MotionShown,
                         shared_.CameraSignal,
                         shared_.ViewMode,
                         shared_.Layout,
                         shared_.SingleCamera,
                         shared_.PlanView,
                         [this] { return shared_.OsdTime(); },
                         [this] { return shared_.OsdDate(); }};
    display_ = std::make_unique<TDisplay>(*renderer_, std::move(inputs), [this](const std::string& text) {
        OnWindowThread([this, text] { log_.Error(kSys, text); });
    });
    SlotTablesChanged();
    display_->SetScreenSize(system_.ScreenWidth(), system_.ScreenHeight());
    if (!display_->Start()) {
        log_.Error(kSys, "Nie mozna uruchomic watku wyswietlania kamer");
        return;
    }
    Report("Uruchomiono watek wyswietlania kamer");
}

// The thread first: the renderer's surfaces go only once no pass can touch them.
void Station::StopDisplay() {
    if (display_) {
        display_->Terminate();
        Report("Zatrzymano watek wyswietlania kamer");
    }
    if (renderer_) {
        renderer_->Release();
        Report("Zwolniono pamiec i zamknieto DirectX");
    }
}

void Station::AfterCreate() {
    SendNotification(TMailNotifier::StartupText(clock_.Now(), StartupAddress()));
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
        StopCapture();
        host_.Quit(1);
        return;
    }
    view_->Start();
    host_.SetClockLabel(LongTimeText(clock_.Now()));
    host_.BuildCameraMenu();
    StartCapture();
    recorder_->SetCameras(CamerasOf(snapshot_));
    recorder_->SetRecording(true);
    recorder_->Resume();
    StartDisplay();
    FirstView();
    Login();
}

void Station::AddStartupSummary() {
    const TConfig& c = *config_;
    debug_.AddLine("Wersja Aplikacji - " + c.Version);
    debug_.AddLine(system_.OsText());
    debug_.AddLine("Ilosc Pamieci RAM w Systemie " + std::to_string(system_.RamMB()) + "MB");
    debug_.AddLine("Wykryto Kartę: " + board_->Name());
    debug_.AddLine("Rozdzielczosc aplikacji - " + std::to_string(c.Width) + "x" + std::to_string(c.Height));
    debug_.AddLine("Rozdzielczosc ekranu - " + std::to_string(system_.ScreenWidth()) + "x" +
                   std::to_string(system_.ScreenHeight()));
    debug_.AddLine("Folder Skórki - Skins/" + c.Skin + "/" + std::to_string(c.Width) + "/");
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
    return renderer_ ? renderer_->HitTest(x, y, planView) : ViewController::kNoTile;
}

void Station::ZoomStart(int camera, int x, int y) {
    if (renderer_)
        renderer_->ZoomStart(camera, x, y);
}

void Station::ZoomPan(int camera, int x, int y) {
    if (renderer_)
        renderer_->ZoomPan(camera, x, y);
}

void Station::ZoomStop() {
    if (renderer_)
        renderer_->ZoomStop();
}

bool Station::ZoomActive() const {
    return renderer_ && renderer_->ZoomActive();
}

// Once the board is closed there is no output to switch.
void Station::MonitorOutput(int camera) {
    if (board_ && !shut_down_)
        HICAP50_bl_TVOUT(camera - 1);
}

void Station::SlotTablesChanged() {
    if (!display_)
        return;
    CameraLists lists;
    lists.CamMode4 = config_->CamMode4;
    lists.CamMode9 = config_->CamMode9;
    lists.CamMode16 = config_->CamMode16;
    lists.CamMode8 = config_->CamMode8;
    lists.CamMode13 = config_->CamMode13;
    display_->SetCameraLists(lists);
}

void Station::PresentTo(bool smartView) {
    if (!renderer_)
        return;
    renderer_->HideNames = smartView ? 1 : 0;
    renderer_->SetClipperWindow(smartView ? host_.SmartViewOutput() : host_.VideoOutput());
}

void Station::SuspendDisplay() {
    if (display_ && display_->Running())
        display_->Suspend();
}

void Station::ResumeDisplay() {
    if (display_ && display_->Suspended())
        display_->Resume();
}

void Station::OpenConfigurator(int camera) {
    const int user = shared_.CurrentUser;
    if (!config_ || !view_ || shut_down_ || user < 0 || user >= kUserCount ||
        !config_->Users[user].ConfigRight)
        return;
    if (shared_.ViewMode == kViewConfig || !host_.CanShowDialogs())
        return;
    Report("Wlaczono konfigurator");
    if (renderer_)
        renderer_->SetClipperWindow(host_.ConfigPreviewOutput());
    host_.ShowClosingForm(true);
    for (int n = 1; n <= kCameraCount; ++n)
        if (config_->Cameras[n - 1].Active)
            recorder_->CloseSegment(n);
    host_.ShowClosingForm(false);
    view_->ConfiguratorOn(camera != 0);
    recorder_->SetRecording(false);

    ConfiguratorWork work;
    config_->CopySettingsTo(work.settings);
    work.cameras = config_->Cameras;
    work.live = config_->Cameras;
    work.startPage = camera == 0 ? 0 : camera + 1;
    host_.RunConfigurator(work, *this);
    ApplyConfiguration(work);
}

// The steps in the order the recorder and the display expect them: capture stopped and the board
// closed first, so nothing grabs while the camera table changes under it.
void Station::ApplyConfiguration(const ConfiguratorWork& work) {
    StopCapture();
    if (display_)
        display_->SetDetectionTest(nullptr);
    if (renderer_)
        renderer_->ShowZones = 0;
    std::error_code ec;
    fs::current_path(shared_.WorkDir, ec);
    if (work.applied) {
        const bool tcp = config_->TCP;
        const int32_t port = config_->Port;
        config_->ApplySettings(work.settings);
        config_->ApplyCameras(work.cameras);
        // Written at once: a crash later must not take the installer's work with it.
        if (!config_->SaveAll() || !config_->SaveCameras())
            log_.Error(kSys, "Zapis konfiguracji nie powiodl sie: " + config_->Store().ErrorText());
        Publish();
        host_.BuildCameraMenu();
        host_.BuildSmartViewMenu(config_->Cameras);
        if (config_->TCP != tcp || config_->Port != port)
            RestartTcpServer();
    } else if (renderer_) {
        // The preview changed the renderer's table; the applied one comes back.
        renderer_->SetCameraRecords(CamerasOf(snapshot_));
    }
    // Recordings deleted in the dialog leave the index empty whichever way it closed.
    if (recorder_ && shared_.ResetVideoCounter.exchange(false))
        recorder_->ResetIndex();
    if (!board_->Open(config_->Cameras))
        log_.Error(kSys, board_->ErrorText().empty() ? "Nie mozna otworzyc karty" : board_->ErrorText());
    for (auto& capture : captures_)
        if (capture) {
            capture->SetSettings(CamerasOf(snapshot_));
            capture->SetActive(true);
        }
    // The preview's test result must not stay on the tiles: the recorder sets them from now on.
    for (int n = 1; n <= kCameraCount; ++n)
        shared_.RecordingNow[n] = 0;
    recorder_->SetCameras(CamerasOf(snapshot_));
    recorder_->SetRecording(true);
    view_->ConfiguratorOff();
}

// The preview's table is no applied configuration: the capture threads and the renderer share a
// table of its own until the dialog closes.
void Station::SetLiveCameras(const TCameraTable& live) {
    const CameraTablePtr table = ShareTable(live);
    for (auto& capture : captures_)
        if (capture)
            capture->SetSettings(table);
    if (renderer_)
        renderer_->SetCameraRecords(table);
}

void Station::PreviewCamera(int camera) {
    view_->PreviewCamera(camera);
    board_->Favour(camera);
}

void Station::ShowZone(int camera, const uint8_t* cells, bool show) {
    if (!renderer_)
        return;
    if (cells)
        renderer_->SetZoneMask(camera, cells);
    renderer_->ShowZones = show ? 1 : 0;
}

// The test reads the camera's newest picture on the display thread, with the recorder's detector
// (whose reference it then replaces, as recording does) and a copy of the working zones that no
// later edit can change under it.
void Station::SetDetectionTest(bool on, const TZoneTable& zones, int32_t sensitivity) {
    if (!display_ || !recorder_)
        return;
    if (!on) {
        display_->SetDetectionTest(nullptr);
        return;
    }
    auto masks = std::make_shared<const TZoneTable>(zones);
    auto picture = std::make_shared<std::vector<uint8_t>>(FrameBank::kSlotBytes);
    display_->SetDetectionTest([this, masks, picture, sensitivity](int camera, int width, int height) {
        const FrameBank::Info info = shared_.LiveFrame.Read(camera, picture->data(), picture->size());
        if (info.bytes != static_cast<size_t>(2 * width * height))
            return false;
        return recorder_->Motion().TestDetection(camera, picture->data(), width, height,
                                                 (*masks)[camera - 1].Mask, sensitivity);
    });
}

std::vector<DriveRow> Station::Drives() const {
    DriveMap map(shared_.WorkDir);
    DriveTable table;
    table.Scan(map, *drive_probe_);
    std::vector<DriveRow> rows;
    for (char letter : table.Letters()) {
        if (letter == 'Z')
            break;
        DriveSpace space;
        drive_probe_->Space(map.DrivePath(letter), space);
        rows.push_back({letter, space.freeBytes});
    }
    return rows;
}

void Station::DeleteRecordings() {
    shared_.ResetVideoCounter = true;
    DriveMap map(shared_.WorkDir);
    for (const DriveRow& row : Drives()) {
        const fs::path folder = fs::path(map.DrivePath(row.letter)) / "KEL2_Videos";
        std::error_code ec;
        if (fs::is_directory(folder, ec) && fs::remove_all(folder, ec) == static_cast<std::uintmax_t>(-1))
            log_.Error(kSys, "Nie mozna usunac folderu " + folder.string() + ": " + ec.message());
    }
    log_.Write(kSys, "Usunieto wszystkie nagrania");
}

void Station::RestartTcpServer() {
    if (!tcp_server_)
        return;
    tcp_server_->Stop();
    tcp_server_->SetPort(config_->Port);
    if (config_->TCP && !tcp_server_->Start())
        log_.Error(kSys, "Nie mozna uruchomic serwera TCP na porcie " + std::to_string(config_->Port) + ": " +
                             tcp_server_->ErrorText());
}

void Station::GiveRendererRights() {
    const int user = shared_.CurrentUser;
    renderer_->SetAllowed(user >= 0 && user < kUserCount ? config_->Users[user].CamRights : nullptr);
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
    if (renderer_)
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
    StopTcpServer();
    StopIpMonitor();
    if (renderer_)
        renderer_->ShowNames = 0;
    if (recorder_)
        recorder_->SetRecording(false);
    StopCapture();
    StopDisplay();
    host_.RemoveTrayIcon();
    host_.SmartViewPosition(config_->Smart_X, config_->Smart_Y);
    config_->SetCorrectClose(true);
    // The close goes on either way; a save that failed leaves the previous one whole and says why.
    if (!config_->SaveAll() || !config_->SaveCameras())
        log_.Error(kSys, "Zapis konfiguracji nie powiodl sie: " + config_->Store().ErrorText());
    StopRecorder();
    log_.Write(kSys, "Zamkniecie Systemu przez uzytkownika ");
}

// Every open recording closed and archived behind the closing window, then the thread ended.
void Station::StopRecorder() {
    if (!recorder_)
        return;
    host_.ShowClosingForm(true);
    recorder_->CloseAll();
    host_.ShowClosingForm(false);
    recorder_->Terminate();
    recorder_.reset();
}

void Station::StartTcpServer() {
    ShareTablesWithServer();
    ServerLinks links{
        shared_.NetFrameReady, shared_.CameraSignal, &recorder_->Batch(), server_tables_,
        [archive = &recorder_->Archive()] { return static_cast<uint32_t>(archive->Entries().size()); },
        [this](const std::string& text) { server_log_.Write(kSys, text); },
        // The debug window is reached through the window thread, as every widget is.
        [this](const std::string& text) { OnWindowThread([this, text] { debug_.AddLine(text); }); }, clock_};
    tcp_server_ = std::make_unique<TTcpServer>(std::move(links), shared_.ClientCount);
    tcp_server_->SetPort(config_->Port);
    if (!config_->TCP)
        return;
    if (!tcp_server_->Start())
        log_.Error(kSys, "Nie mozna uruchomic serwera TCP na porcie " + std::to_string(config_->Port) + ": " +
                             tcp_server_->ErrorText());
}

void Station::StopTcpServer() {
    if (tcp_server_)
        tcp_server_->Stop();
}

void Station::StartNotices() {
    shared_.SetLastIP(address_lookup_());
    ip_monitor_ = std::make_unique<TIpMonitor>(address_lookup_);
    ip_monitor_->Start();
    mail_ = std::make_unique<TMailNotifier>(*mail_sender_);
}

void Station::StopIpMonitor() {
    if (!ip_monitor_)
        return;
    ip_monitor_->Stop();
    const std::string path = shared_.WorkDir + "/" + TIpMonitor::kHistoryFile;
    if (!ip_monitor_->SaveHistory(path))
        log_.Error(kSys, std::string("Nie mozna zapisac pliku ") + TIpMonitor::kHistoryFile);
}

// The watcher's first reading comes 500 ms after the start, usually after this notice: until then
// the address looked up at start-up stands in, so the notice always says where the station is.
std::string Station::StartupAddress() const {
    std::string current = ip_monitor_ ? ip_monitor_->Current() : "";
    return current.empty() ? shared_.LastIP() : current;
}

// A watcher without its first reading yet is no new address: the notice waits for a real one,
// so each change is told exactly once.
void Station::CheckAddress() {
    if (!ip_monitor_)
        return;
    const std::string current = ip_monitor_->Current();
    if (current.empty() || current == shared_.LastIP())
        return;
    SendNotification(TMailNotifier::AddressChangeText(current));
    shared_.SetLastIP(current);
}

void Station::SendNotification(const std::string& text) {
    if (!config_ || !config_->bMessages || !mail_)
        return;
    mail_->Post(MailMessage{config_->mSMTP, config_->mUSER, config_->mPASS, config_->mTARGET,
                            TMailNotifier::kNoticeSubject, text});
}

void Station::SendTestMail(const std::string& server, const std::string& user, const std::string& password,
                           const std::string& target) {
    if (!mail_)
        return;
    mail_->Post(
        MailMessage{server, user, password, target, TMailNotifier::kTestSubject, TMailNotifier::kTestBody},
        [this](bool sent, const std::string& error) {
            if (!sent)
                OnWindowThread([this, error] { box_.Error(error); });
        });
}

void Station::ShareTablesWithServer() {
    server_tables_.Set(snapshot_);
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
