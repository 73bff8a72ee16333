#include "core/station_pipeline.h"

#include <filesystem>
#include <system_error>

#include "capture/hicap/hicap.h"
#include "platform/drive_map.h"
#include "recording/drive_table.h"
#include "recording/schedule.h"

namespace kel {

namespace fs = std::filesystem;

namespace {
constexpr const char* kSys = "SYS";
constexpr const char* kNoVideoMemory = "{#0011} Niewystarczajaca ilosc pamieci RAM na Karcie Graficznej";
constexpr const char* kNoSkinFiles = "{#0008} Brak plików graficznych";
constexpr int32_t kMinVideoMemoryMB = 24;  // 16 camera surfaces, the back surface and the bitmaps
}  // namespace

StationPipeline::StationPipeline(TShared& shared, ConsoleWindow& console, TLog& log, MessageBox& box,
                                 const Clock& clock, PipelineLinks links)
    : shared_(shared), console_(console), log_(log), box_(box), clock_(clock), links_(std::move(links)),
      recorder_log_(clock) {}

// The recorder may not call back once the pipeline is going.
StationPipeline::~StationPipeline() {
    HicapSetReporter(nullptr);
    if (std::shared_ptr<BoardBackend> backend = HicapBackend())
        backend->SetPictureListener(nullptr);  // it wakes the capture threads, which go with this
    recorder_.reset();
}

bool StationPipeline::FindBoard(const std::string& board) {
    board_ = std::make_unique<THicap>(board);
    // The cameras of a map board come and go; the log says when (the log may be written from any
    // thread).
    HicapSetReporter(
        [log = log_](const std::string& line, bool error) mutable { log.Write(kSys, line, !error); });
    if (!board_->Find())
        return links_.stop(board_->ErrorText(), BoxKind::Warning, true);
    log_.Write(kSys, "Wykryto kartę: " + board_->Name());
    return true;
}

bool StationPipeline::CreateRecorder(const RecorderView& applied, const std::string& storeFile,
                                     bool lastRunCrashed) {
    RecorderLinks links{shared_.LiveFrame,   shared_.ScheduleMode,  shared_.RecordingNow,
                        shared_.MotionShown, shared_.MotionHold,    shared_.BeepLatch,
                        shared_.RecordDrive, shared_.DiskFullWarned};
    recorder_ =
        std::make_unique<TSaveThread>(shared_.WorkDir, links, MakeRecorderHooks(), clock_, *drive_probe_);
    recorder_->Configure(applied);
    // The temporary folders lie in the working directory; drive C: stands for the space there.
    recorder_->EnsureDriveC();
    if (recorder_->FreeSpaceKB('C') < kTempSpaceKB)
        return links_.stop(kNoTempSpace, BoxKind::Error, false);
    if (!recorder_->Initialize(storeFile, lastRunCrashed))
        return links_.stop(recorder_->ErrorText(), BoxKind::Error, false);
    return true;
}

RecorderHooks StationPipeline::MakeRecorderHooks() {
    RecorderHooks hooks;
    hooks.log = [this](const std::string& text, bool error) { recorder_log_.Write(kSys, text, !error); };
    hooks.warn = [this](const std::string& text) {
        links_.onWindowThread([this, text] { box_.Alarm(text); });
    };
    hooks.beep = [this] { links_.onWindowThread([this] { console_.SystemBeeper().Beep(); }); };
    hooks.audit = [this](const char* what, const std::string& detail) {
        if (links_.audit)
            links_.audit("", what, detail);
    };
    hooks.archived = links_.archived;
    return hooks;
}

bool StationPipeline::CreateRenderer(const RendererView& applied, int width, int height,
                                     const std::string& skin) {
    renderer_ = std::make_unique<TDirectX>(*display_platform_);
    GiveRendererSettings(applied);
    if (!renderer_->Init(width, height, console_.VideoOutput()))
        return links_.stop(renderer_->ErrorText(), BoxKind::Warning, true);
    log_.Write(kSys, "Wykryto biblioteki DirectX");
    int32_t memoryMB = renderer_->VideoMemoryMB();
    if (memoryMB < kMinVideoMemoryMB)
        return links_.stop(kNoVideoMemory, BoxKind::Warning, true);
    log_.Write(kSys, "Ilosci pamieci na karcie graficznej - " + std::to_string(memoryMB) + "MB");
    if (!renderer_->LoadDisplayBitmaps(skin, width) || !console_.LoadMainSkin(skin, width))
        return links_.stop(kNoSkinFiles, BoxKind::Warning, true);
    log_.Write(kSys, "Poprawnie wczytano pliki graficzne - Folder: " + skin + "/" + std::to_string(width));
    return true;
}

// A board that will not start stops the station as one not found does: running on without
// pictures would look like a working recorder that records nothing.
bool StationPipeline::OpenBoard(const BoardView& applied) {
    if (!board_->Open(applied.Table(), applied.Ntsc()))
        return links_.stop(board_->ErrorText(), BoxKind::Warning, true);
    PollSignal();
    return true;
}

void StationPipeline::StartWorkers(const BoardView& board, const RecorderView& recorder) {
    // Which cameras send streams is known before their first picture: one would otherwise be
    // compressed as a capture input's until then.
    const std::shared_ptr<BoardBackend> streams = HicapBackend();
    if (streams) {
        std::array<bool, kCameraCount + 1> sends{};
        for (int n = 1; n <= kCameraCount; ++n)
            sends[n] = streams->SendsStream(n - 1);
        recorder_->SetStreamSources(sends);
    }
    for (int n = 1; n <= kCameraCount; ++n) {
        auto capture = std::make_unique<TCapture>(n, shared_.LiveFrame, shared_.FrameReady);
        capture->SetSettings(board.Cameras());
        capture->SetMask(PrivacyMask::Make(board.Mask(n).Cells));
        capture->SetActive(true);
        capture->Start();
        captures_[n] = std::move(capture);
    }
    recorder_->SetCameras(recorder.Cameras());
    // Cameras that send streams of their own hand the recorder their packets as they come.
    if (const std::shared_ptr<BoardBackend>& backend = streams) {
        TSaveThread* saver = recorder_.get();
        backend->SetPacketSink([saver](int32_t channel, const StreamPacket& packet) {
            saver->StreamPacket(channel + 1, packet);
        });
        // A camera's capture thread takes a new picture when it comes, not at its next look.
        std::array<TCapture*, kCameraCount + 1> takers{};
        for (int n = 1; n <= kCameraCount; ++n)
            takers[n] = captures_[n].get();
        backend->SetPictureListener([takers](int32_t channel) {
            if (channel >= 0 && channel < kCameraCount && takers[channel + 1])
                takers[channel + 1]->WakeUp();
        });
    }
    recorder_->SetRecording(true);
    recorder_->Resume();
    UpdatePictureDemand();
}

void StationPipeline::UpdatePictureDemand() {
    const std::shared_ptr<BoardBackend> backend = HicapBackend();
    if (!backend || !recorder_)
        return;
    const bool watched = renderer_ && renderer_->Watched.load(std::memory_order_relaxed) != 0;
    const uint32_t shown = watched && display_ ? display_->OnScreen() : 0;
    for (int n = 1; n <= kCameraCount; ++n) {
        if (!backend->SendsStream(n - 1))
            continue;
        PictureDemand demand = PictureDemand::None;
        const bool browsed = shared_.WebWatched.load(std::memory_order_relaxed) & (1u << n);
        if (!recorder_->Streams().AsSent(n) || (shown & (1u << n)) || recorder_->Batch().Asked(n) || browsed)
            demand = PictureDemand::Every;
        else if (watched || shared_.ScheduleMode[n].load(std::memory_order_relaxed) == kOnMotion)
            demand = PictureDemand::Keys;  // off the screen: a recent picture ready for a new layout
        backend->SetPictureDemand(n - 1, demand);
    }
}

void StationPipeline::StartDisplay(const CameraLists& lists, int screenWidth, int screenHeight) {
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
        links_.onWindowThread([this, text] { log_.Error(kSys, text); });
    });
    display_->SetCameraLists(lists);
    display_->SetScreenSize(screenWidth, screenHeight);
    if (!display_->Start()) {
        log_.Error(kSys, "Nie mozna uruchomic watku wyswietlania kamer");
        return;
    }
    links_.report("Uruchomiono watek wyswietlania kamer");
}

void StationPipeline::PollSignal() {
    if (board_)
        board_->QuerySignal(shared_.CameraSignal);
}

// The threads stay (they end with the process); once switched off none touches the board again.
void StationPipeline::StopCapture() {
    if (std::shared_ptr<BoardBackend> backend = HicapBackend())
        backend->SetPictureListener(nullptr);
    for (auto& capture : captures_)
        if (capture)
            capture->SetActive(false);
    if (board_)
        board_->Close();
}

void StationPipeline::GiveCaptureSettings(const BoardView& applied) {
    const CameraTablePtr table = applied.Cameras();
    for (int n = 1; n <= kCameraCount; ++n)
        if (TCapture* capture = captures_[n].get()) {
            capture->SetSettings(table);
            capture->SetMask(PrivacyMask::Make(applied.Mask(n).Cells));
        }
}

void StationPipeline::FinishSegments(const ConfigChanges& changes) {
    if (!recorder_)
        return;
    for (int n = 1; n <= kCameraCount; ++n)
        if (changes.restart[n])
            recorder_->RequestFinish(n);
}

void StationPipeline::ApplyBoard(const BoardView& applied, const ConfigChanges& changes) {
    if (!board_)
        return;
    if (changes.boardModes) {
        // Opened again without closing: the channels keep their transfer.
        if (!board_->Open(applied.Table(), applied.Ntsc()))
            log_.Error(kSys, board_->ErrorText().empty() ? "Nie mozna otworzyc karty" : board_->ErrorText());
    } else if (changes.shares[0] || changes.shares[1]) {
        board_->Reshare(applied.Table());
    }
}

const TCapture* StationPipeline::Capture(int camera) const {
    return camera >= 1 && camera <= kCameraCount ? captures_[camera].get() : nullptr;
}

// The camera table, the text colour, the three overlay switches, the plan and its icons.
void StationPipeline::GiveRendererSettings(const RendererView& applied) {
    if (!renderer_)
        return;
    renderer_->SetCameraRecords(applied.Cameras());
    renderer_->TextColor = applied.TextColor();
    renderer_->ShowNames = applied.ShowNames();
    renderer_->TextShadow = applied.ShowDetection();
    renderer_->ShowRec = applied.ShowRecording();
    renderer_->SetMapFile(applied.MapFile());
    renderer_->SetPlanIcons(applied.PlanIcons());
}

void StationPipeline::GiveRendererRights(const uint8_t* rights) {
    if (renderer_)
        renderer_->SetAllowed(rights);
}

void StationPipeline::ApplyRecorderSettings(const RecorderView& applied) {
    if (!recorder_)
        return;
    // The flags follow the rows of the drive list the dialog showed, read when it opened: a drive
    // attached since the start takes its place in the table too.
    recorder_->Archive().ScanDrives();
    // The counter is the recorder's own from the start: reading it back from the store could
    // only move it behind a segment already named.
    recorder_->Configure(applied);
    // With no drive selected the previous drive stays.
    char letter = 0;
    if (recorder_->SelectFirstDrive(letter))
        shared_.RecordDrive = letter;
}

void StationPipeline::SetCameraLists(const CameraLists& lists) {
    if (display_)
        display_->SetCameraLists(lists);
}

void StationPipeline::SuspendDisplay() {
    if (display_ && display_->Running())
        display_->Suspend();
}

void StationPipeline::ResumeDisplay() {
    if (display_ && display_->Suspended())
        display_->Resume();
}

// The thread first: the renderer's surfaces go only once no pass can touch them.
void StationPipeline::StopDisplay() {
    if (display_) {
        display_->Terminate();
        links_.report("Zatrzymano watek wyswietlania kamer");
    }
    if (renderer_) {
        renderer_->Release();
        links_.report("Zwolniono pamiec i zamknieto DirectX");
    }
}

void StationPipeline::StopRecorder() {
    if (!recorder_)
        return;
    // No packet reaches the recorder once this returns.
    if (std::shared_ptr<BoardBackend> backend = HicapBackend())
        backend->SetPacketSink(nullptr);
    links_.showClosing(true);
    recorder_->CloseAll();
    links_.showClosing(false);
    recorder_->Terminate();
    recorder_.reset();
}

// The preview's table is no applied configuration: the capture threads and the renderer share a
// table of its own until the dialog closes.
void StationPipeline::SetLiveCameras(const TCameraTable& live) {
    const CameraTablePtr table = ShareTable(live);
    for (auto& capture : captures_)
        if (capture)
            capture->SetSettings(table);
    if (renderer_)
        renderer_->SetCameraRecords(table);
}

void StationPipeline::ShowZone(int camera, const uint8_t* cells, bool show) {
    if (!renderer_)
        return;
    if (cells)
        renderer_->SetZoneMask(camera, cells);
    renderer_->ShowZones = show ? 1 : 0;
}

// The test reads the camera's newest picture on the display thread, with a detector of its own
// (the recorder's references and counts stay as recording left them) and a copy of the working
// zones that no later edit can change under it.
void StationPipeline::SetDetectionTest(bool on, const TZoneTable& zones, int32_t sensitivity) {
    if (!display_)
        return;
    if (!on) {
        display_->SetDetectionTest(nullptr);
        return;
    }
    auto masks = std::make_shared<const TZoneTable>(zones);
    // One buffer and detector for every test of the dialog: only the display thread uses them.
    if (!test_picture_)
        test_picture_ = std::make_shared<std::vector<uint8_t>>(FrameBank::kSlotBytes);
    if (!test_detector_)
        test_detector_ = std::make_shared<MotionDetector>();
    auto picture = test_picture_;
    auto detector = test_detector_;
    display_->SetDetectionTest(
        [this, masks, picture, detector, sensitivity](int camera, int width, int height) {
            const FrameBank::Info info = shared_.LiveFrame.Read(camera, picture->data(), picture->size());
            if (info.bytes != static_cast<size_t>(2 * width * height))
                return false;
            return detector->TestDetection(camera, picture->data(), width, height, (*masks)[camera - 1].Mask,
                                           sensitivity);
        });
}

std::vector<char> StationPipeline::DriveLetters() const {
    DriveTable table;
    table.Scan(DriveMap(shared_.WorkDir), *drive_probe_);
    std::vector<char> letters;
    for (char letter : table.Letters())
        if (letter != 'Z')
            letters.push_back(letter);
    return letters;
}

std::vector<DriveRow> StationPipeline::Drives() const {
    DriveMap map(shared_.WorkDir);
    std::vector<DriveRow> rows;
    for (char letter : DriveLetters()) {
        DriveSpace space;
        drive_probe_->Space(map.DrivePath(letter), space);
        rows.push_back({letter, space.freeBytes});
    }
    return rows;
}

void StationPipeline::DeleteRecordings() {
    if (!recorder_)
        return;
    for (const std::string& failure : recorder_->Archive().DeleteAll())
        log_.Error(kSys, "Nie mozna usunac " + failure);
    log_.Write(kSys, "Usunieto wszystkie nagrania");
}

}  // namespace kel
