#include "recording/save_thread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/audit_trail.h"
#include "platform/file_faults.h"
#include "platform/guarded.h"
#include "platform/safe_file.h"
#include "recording/schedule.h"
#include "recording/segment_repair.h"
#include "recording/time_stamps.h"
#include "recording/video_index.h"

namespace kel {

namespace fs = std::filesystem;

TSaveThread::TSaveThread(std::string workDir, RecorderLinks links, RecorderHooks hooks, const Clock& clock,
                         const DriveProbe& probe)
    : work_dir_(std::move(workDir)), links_(links), hooks_(std::move(hooks)), clock_(clock),
      packed_(new uint8_t[FrameBatch::kSlotBytes]), archive_(work_dir_, probe, links_, hooks_) {}

TSaveThread::~TSaveThread() {
    Terminate();
}

void TSaveThread::Log(const std::string& text, bool error) const {
    if (hooks_.log)
        hooks_.log(text, error);
}

StreamRecorder::Links TSaveThread::StreamLinks() {
    StreamRecorder::Links l;
    l.due = [this](int n) { return StreamDue(n); };
    l.onMotion = [this](int n) {
        return links_.ScheduleMode[n].load(std::memory_order_relaxed) == kOnMotion;
    };
    l.sizeLimit = [this] { return static_cast<int64_t>(SizeLimit()); };
    l.taken = [this](int n, const std::string& name) { return !archive_.ArchivedFile(n, name).empty(); };
    l.closed = [this](int n, const std::string& path, const std::string& name, double start,
                      bool unfinished) {
        ClosedSegment closed{n, path, name, start, motion_.TakeMotionCount(n)};
        closed.unfinished = unfinished;
        archiver_.Post(closed);
    };
    l.log = [this](const std::string& text, bool error) { Log(text, error); };
    l.writeFailed = [this](const std::string& error) { WriteFailed(error); };
    return l;
}

bool TSaveThread::StreamDue(int n) const {
    if (!recording_.load(std::memory_order_acquire) || !archive_.AnyDriveSelected())
        return false;
    {
        MutexLock lock(cameras_mutex_);
        if (!(*cameras_)[n - 1].Active)
            return false;
    }
    const uint8_t mode = links_.ScheduleMode[n].load(std::memory_order_relaxed);
    return mode == kContinuous ||
           (mode == kOnMotion && links_.MotionHold[n].load(std::memory_order_relaxed) > 0);
}

bool TSaveThread::Initialize(const std::string& storeFile, bool lastRunCrashed) {
    archive_.ScanDrives();
    ResetFrameCounters();
    for (int n = 1; n <= kCameraCount; ++n) {
        links_.BeepLatch[n].store(0, std::memory_order_relaxed);
        links_.MotionHold[n].store(0, std::memory_order_relaxed);
    }
    archive_.Start(applied_.Valid() ? applied_.StartCounter() : 0,
                   applied_.Valid() ? applied_.StartDisk() : 0, storeFile);
    RecoverTemp(lastRunCrashed);
    if (applied_.Valid()) {
        SetSizeLimit(applied_.SizeCode());
        SetSoundDetect(applied_.SoundDetect());
    }
    MutexLock lock(pass_mutex_);
    if (!compressor_.Open()) {
        error_ = kNoCodec;
        return false;
    }
    return true;
}

void TSaveThread::Resume() {
    if (thread_.joinable())
        return;
    archiver_.SetHousekeeping([this] { DeleteExpired(); }, kExpiryCheck);
    archiver_.Start();
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

// A pass that failed leaves the recorder running; the next one tries again. The failure is
// reported once, until a pass succeeds again.
void TSaveThread::Run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        const uint64_t seen = links_.LiveFrame.News();
        std::string failure;
        try {
            Pass();
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "unknown error";
        }
        if (!failure.empty() && !failing_)
            Log("Blad watku zapisu: " + failure, true);
        failing_ = !failure.empty();
        const auto wait = std::min<std::chrono::milliseconds>(
            kPause,
            std::chrono::milliseconds(std::max<int64_t>(1, max_wait_ms_.load(std::memory_order_relaxed))));
        const auto passed = std::chrono::steady_clock::now();
        // Woken by a picture, the thread lets the ones coming meanwhile join it for the next pass,
        // so that 16 cameras do not wake it 50 times a second; the queues hold far more.
        if (links_.LiveFrame.WaitForPictures(seen, wait, stop) && !stop.stop_requested())
            std::this_thread::sleep_until(passed + kSpacing);
    }
}

// The recorder first: it is the one that hands segments to the archiving thread.
void TSaveThread::Terminate() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    archiver_.Stop();
}

void TSaveThread::Configure(const RecorderView& applied) {
    if (!applied.Valid())
        return;
    applied_ = applied;
    SetSizeLimit(applied.SizeCode());
    SetSoundDetect(applied.SoundDetect());
    // A masked cell is black in every picture and never watched: motion behind a privacy mask
    // starts nothing, not even at the first picture, whose reference is all zero.
    auto zones = std::make_unique<TZoneTable>(applied.Zones());
    for (int n = 0; n < kCameraCount; ++n)
        for (size_t cell = 0; cell < MotionDetector::kMaskCells; ++cell)
            if (applied.Masks()[n].Cells[cell] == 1)
                (*zones)[n].Mask[cell] = 0;
    SetZones(*zones);
    SetKeepDays(applied.KeepDays());
    SetDrives(applied.Drives().data(), DriveTable::kEntries);
    SetCameras(applied.Cameras());
    SetStreamSources(stream_sources_);
}

// A camera with a privacy mask is never recorded as it sends: the camera's stream holds what the
// mask hides. One recorded at its own size is compressed again from its masked pictures (its mask
// is set before it is taken on, so no packet of it goes unmasked).
void TSaveThread::SetStreamSources(const std::array<bool, kCameraCount + 1>& sends) {
    stream_sources_ = sends;
    std::array<bool, kCameraCount + 1> asSent{};
    for (int n = 1; n <= kCameraCount; ++n) {
        asSent[n] = sends[n] && (!applied_.Valid() || applied_.AsSent(n));
        const bool masked = asSent[n] && applied_.Valid() && applied_.Masked(n);
        streams_.SetMask(n, masked ? applied_.Masks()[n - 1].Cells : nullptr);
    }
    streams_.SetCameras(asSent);
}

void TSaveThread::SetKeepDays(const std::array<int32_t, 16>& days) {
    {
        MutexLock lock(keep_mutex_);
        if (keep_days_ == days)
            return;
        keep_days_ = days;
    }
    archiver_.HousekeepNow();
}

int TSaveThread::DeleteExpired() {
    std::array<int32_t, 16> days;
    {
        MutexLock lock(keep_mutex_);
        days = keep_days_;
    }
    if (std::all_of(days.begin(), days.end(), [](int32_t d) { return d <= 0; }))
        return 0;
    const SegmentArchive::Expired gone = archive_.DeleteExpired(days, DateTimeValue(clock_.Now()));
    if (gone.total == 0)
        return 0;
    std::string which;
    for (int n = 1; n <= kCameraCount; ++n)
        if (gone.perCamera[n])
            which += (which.empty() ? "" : ", ") +
                     ("kamera " + std::to_string(n) + ": " + std::to_string(gone.perCamera[n]) + " (limit " +
                      std::to_string(days[n - 1]) + " dni)");
    const std::string text =
        "Usunieto nagrania starsze niz czas przechowywania: " + std::to_string(gone.total) + " (" + which +
        ")";
    Log(text, false);
    if (hooks_.audit)
        hooks_.audit(AuditTrail::kExpiry, std::to_string(gone.total) + " nagran; " + which);
    return gone.total;
}

void TSaveThread::SetCameras(CameraTablePtr cameras) {
    MutexLock lock(cameras_mutex_);
    cameras_ = std::move(cameras);
}

void TSaveThread::SetRecording(bool on) {
    recording_.store(on, std::memory_order_release);
    if (!on)
        MutexLock wait(pass_mutex_);  // a pass under way ends first
}

void TSaveThread::SetSizeLimit(int32_t videoFilesSize) {
    static constexpr int32_t kLimits[] = {5000000, 10000000, 20000000, 25000000, 50000000};
    if (videoFilesSize >= 0 && videoFilesSize < 5)
        size_limit_.store(kLimits[videoFilesSize], std::memory_order_relaxed);
}

void TSaveThread::ResetFrameCounters() {
    MutexLock lock(pass_mutex_);
    for (int n = 1; n <= kCameraCount; ++n) {
        batch_.Clear(n);
        written_[n] = 0;
    }
}

bool TSaveThread::Pass() {
    MutexLock lock(pass_mutex_);
    for (int n = 1; n <= kCameraCount; ++n)
        if (finish_asked_[n].exchange(false, std::memory_order_acq_rel))
            FinishLocked(n);
    const bool on = recording_.load(std::memory_order_acquire);
    const bool anyDrive = on && archive_.AnyDriveSelected();
    CameraTablePtr cameras;
    {
        MutexLock camerasLock(cameras_mutex_);
        cameras = cameras_;
    }
    // Every picture is taken, in the order of capture; with recording off they are let go. At most
    // a queue's worth of a camera a pass: a camera faster than its compression cannot keep the
    // others (and the finishes asked) waiting.
    for (int n = 1; n <= kCameraCount; ++n)
        for (size_t k = 0; k < FrameBank::kQueueDepth; ++k) {
            FrameBank::PicturePtr picture = links_.LiveFrame.Take(n);
            if (!picture)
                break;
            if (on)
                CameraPicture(n, (*cameras)[n - 1], anyDrive, *picture);
        }
    return on;
}

void TSaveThread::CameraPicture(int n, const TCameraRecord& camera, bool anyDrive,
                                const FrameBank::Picture& picture) {
    const uint8_t mode = links_.ScheduleMode[n].load(std::memory_order_relaxed);
    if (streams_.AsSent(n)) {
        StreamPicture(n, camera, mode, picture);
        return;
    }
    if (mode != kContinuous && mode != kOnMotion) {
        // Nothing is recorded in this hour: the indicators must not say otherwise. The picture
        // is compressed only for a remote viewer that asked for the camera.
        links_.MotionShown[n].store(0, std::memory_order_relaxed);
        links_.RecordingNow[n].store(0, std::memory_order_relaxed);
        PictureSize size{};
        if (batch_.Asked(n) && CompressPicture(n, picture, size) && batch_.Count(n) >= kBatch) {
            batch_.Clear(n);  // dropped
            written_[n] = 0;
        }
        return;
    }
    PictureSize size{};
    if (!CompressPicture(n, picture, size))
        return;
    // The pictures not yet written go to the file when the batch is full, or once the first of
    // them has waited the longest a picture may wait in memory.
    const int count = batch_.Count(n);
    const auto now = std::chrono::steady_clock::now();
    if (count == written_[n] + 1)
        waiting_[n] = now;
    const bool due =
        count >= kBatch ||
        (count > written_[n] &&
         now - waiting_[n] >= std::chrono::milliseconds(max_wait_ms_.load(std::memory_order_relaxed)));
    auto write = [&]() KEL_REQUIRES(pass_mutex_) {
        WriteBatch(n, camera, count, written_[n]);
        written_[n] = count;
    };
    if (mode == kContinuous) {
        links_.RecordingNow[n].store(1, std::memory_order_relaxed);
        if (camera.Active && due && anyDrive)
            write();
    } else if (camera.Active) {
        if (motion_.DetectMotion(n, picture.data, size.width, size.height) ||
            links_.MotionHold[n].load(std::memory_order_relaxed) > 0) {
            OnMotion(n);
            if (due && anyDrive)
                write();
        } else {
            links_.MotionShown[n].store(0, std::memory_order_relaxed);
            links_.RecordingNow[n].store(0, std::memory_order_relaxed);
        }
    }
    if (batch_.Count(n) >= kBatch) {
        batch_.Clear(n);  // written above, or dropped
        written_[n] = 0;
    }
}

// A camera recorded as it sends: its stream segments take its packets, so its pictures are
// compressed for a remote viewer that asks only, and tested for motion when its hour records on
// motion, which keeps its stream due.
void TSaveThread::StreamPicture(int n, const TCameraRecord& camera, uint8_t mode,
                                const FrameBank::Picture& picture) {
    PictureSize size{};
    if (batch_.Asked(n) && CompressPicture(n, picture, size) && batch_.Count(n) >= kBatch) {
        batch_.Clear(n);  // the viewers have taken what they asked for
        written_[n] = 0;
    }
    const FrameBank::Info& info = picture.info;
    if (mode == kContinuous) {
        links_.RecordingNow[n].store(1, std::memory_order_relaxed);
    } else if (mode == kOnMotion && camera.Active && ValidResolution(info.resolution) &&
               info.bytes >= ResolutionBytes(info.resolution)) {
        size = ResolutionSize(info.resolution);
        if (motion_.DetectMotion(n, picture.data, size.width, size.height) ||
            links_.MotionHold[n].load(std::memory_order_relaxed) > 0) {
            OnMotion(n);
        } else {
            links_.MotionShown[n].store(0, std::memory_order_relaxed);
            links_.RecordingNow[n].store(0, std::memory_order_relaxed);
        }
    } else {
        links_.MotionShown[n].store(0, std::memory_order_relaxed);
        links_.RecordingNow[n].store(0, std::memory_order_relaxed);
    }
}

// The picture compressed, straight out of the frame bank's buffer, into camera n's batch. False
// when it is no usable picture or could not be compressed (it is then left out of the batch).
bool TSaveThread::CompressPicture(int n, const FrameBank::Picture& picture, PictureSize& size) {
    const FrameBank::Info& info = picture.info;
    // The picture's own size, not the camera table's: after a change of resolution the bank may
    // still hold pictures of the old size.
    if (!ValidResolution(info.resolution) || info.bytes < ResolutionBytes(info.resolution))
        return false;
    size = ResolutionSize(info.resolution);
    size_t packed = 0;
    if (!compressor_.IsOpen())
        compressor_.Open();  // closed by CloseAll; recording that comes back reopens it
    if (!compressor_.Compress(picture.data, size.width, size.height, packed_.get(), FrameBatch::kSlotBytes,
                              packed)) {
        if (!compress_failed_[n])
            Log("Kamera " + std::to_string(n) + ": obraz pominiety: " + compressor_.ErrorText(), true);
        compress_failed_[n] = true;
        return false;
    }
    compress_failed_[n] = false;
    compressed_.fetch_add(1, std::memory_order_relaxed);
    return batch_.Add(n, packed_.get(), packed, size.width, size.height, FrameStamp(clock_.Now()));
}

void TSaveThread::OnMotion(int n) {
    // Armed only from 0, so the hold runs out 0 to 5 seconds after the last detection.
    uint8_t idle = 0;
    links_.MotionHold[n].compare_exchange_strong(idle, kHoldSeconds, std::memory_order_relaxed);
    links_.RecordingNow[n].store(1, std::memory_order_relaxed);
    links_.MotionShown[n].store(1, std::memory_order_relaxed);
    uint8_t quiet = 0;
    if (sound_detect_.load(std::memory_order_relaxed) &&
        links_.BeepLatch[n].compare_exchange_strong(quiet, 1, std::memory_order_relaxed) && hooks_.beep)
        hooks_.beep();
}

void TSaveThread::WriteBatch(int n, const TCameraRecord& camera, int count, int from) {
    if (from >= count)
        return;
    CameraSegment& c = segments_[n];
    MutexLock lock(c.mutex);
    const FrameBatch::Slot& first = batch_.At(n, from + 1);
    // A segment holds pictures of one size only; a new size starts a new segment.
    if (c.segment.IsOpen() && (c.segment.Width() != first.width || c.segment.Height() != first.height))
        CloseLocked(n, c);
    if (!c.segment.IsOpen() && !OpenSegment(n, c, camera, first.width, first.height))
        return;
    for (int k = from + 1; k <= count && k <= kBatch; ++k) {
        const FrameBatch::Slot& slot = batch_.At(n, k);
        if (slot.width != c.segment.Width() || slot.height != c.segment.Height())
            continue;
        if (c.segment.WriteFrame(slot.data, static_cast<size_t>(slot.size), slot.stamp)) {
            c.writeFailed = false;
        } else if (!c.writeFailed) {
            Log("Blad zapisu pliku: " + c.segment.ErrorText(), true);
            WriteFailed(c.segment.ErrorText());
            c.writeFailed = true;
        }
    }
    if (c.segment.BytesWritten() > static_cast<uint64_t>(SizeLimit()))
        CloseLocked(n, c);
}

bool TSaveThread::OpenSegment(int n, CameraSegment& c, const TCameraRecord& camera, int width, int height) {
    const fs::path folder = fs::path(work_dir_) / "Temp" / ("Kamera" + std::to_string(n));
    std::error_code ec;
    fs::create_directories(folder, ec);
    LocalTime now = clock_.Now();
    const std::string name = SegmentName(now) + ".avi";
    const bool onMotion = links_.ScheduleMode[n].load(std::memory_order_relaxed) == kOnMotion;
    if (!c.segment.Open((folder / name).string(), name, DateTimeValue(now), width, height, camera.FPS,
                        onMotion)) {
        if (!c.createFailed) {
            Log("Nie mozna utworzyc pliku: " + c.segment.ErrorText(), true);
            WriteFailed(c.segment.ErrorText());
        }
        c.createFailed = true;
        return false;
    }
    c.createFailed = false;
    return true;
}

void TSaveThread::CloseSegment(int camera) {
    if (camera < 1 || camera > kCameraCount)
        return;
    {
        CameraSegment& c = segments_[camera];
        MutexLock lock(c.mutex);
        CloseLocked(camera, c);
    }
    streams_.Close(camera);
    archiver_.Drain();
}

void TSaveThread::CloseLocked(int n, CameraSegment& c) {
    if (!c.segment.IsOpen())
        return;
    ClosedSegment closed{n, c.segment.Path(), c.segment.Name(), c.segment.StartTime(),
                         motion_.TakeMotionCount(n)};
    const bool empty = c.segment.Frames() == 0;
    if (!c.segment.Close(closed.motionCount)) {
        // Its pictures are on the disk; the archiving thread mends the file once there is room.
        Log("Nie mozna zamknac pliku: " + c.segment.ErrorText(), true);
        WriteFailed(c.segment.ErrorText());
        closed.unfinished = true;
        archiver_.Post(closed);
        return;
    }
    if (empty) {
        FileRemove(closed.tempPath.c_str());  // not one picture reached it
        return;
    }
    archiver_.Post(closed);
}

void TSaveThread::FinishSegment(int camera) {
    if (camera < 1 || camera > kCameraCount)
        return;
    {
        // No pass runs meanwhile: the batch is the one the last pass left.
        MutexLock pass(pass_mutex_);
        finish_asked_[camera].store(false, std::memory_order_relaxed);
        FinishLocked(camera);
    }
    archiver_.Drain();
}

void TSaveThread::RequestFinish(int camera) {
    if (camera < 1 || camera > kCameraCount)
        return;
    if (!thread_.joinable()) {
        FinishSegment(camera);
        return;
    }
    finish_asked_[camera].store(true, std::memory_order_release);
    links_.LiveFrame.Wake();
}

bool TSaveThread::FinishPending(int camera) const {
    return camera >= 1 && camera <= kCameraCount && finish_asked_[camera].load(std::memory_order_acquire);
}

void TSaveThread::FinishLocked(int camera) {
    CameraTablePtr cameras;
    {
        MutexLock lock(cameras_mutex_);
        cameras = cameras_;
    }
    const TCameraRecord& record = (*cameras)[camera - 1];
    const uint8_t mode = links_.ScheduleMode[camera].load(std::memory_order_relaxed);
    const bool due = mode == kContinuous ||
                     (mode == kOnMotion && links_.MotionHold[camera].load(std::memory_order_relaxed) > 0);
    const int count = batch_.Count(camera);
    // A camera recorded from its stream has in its batch only what remote viewers asked for:
    // those pictures are no recording of it.
    if (record.Active && due && count > written_[camera] && archive_.AnyDriveSelected() &&
        !streams_.AsSent(camera))
        WriteBatch(camera, record, count, written_[camera]);
    batch_.Clear(camera);
    written_[camera] = 0;
    streams_.Close(camera);
    CameraSegment& c = segments_[camera];
    MutexLock lock(c.mutex);
    CloseLocked(camera, c);
}

void TSaveThread::CloseAll() {
    // The pictures captured before the stop and still queued go to their segments first.
    if (Recording())
        Pass();
    SetRecording(false);
    for (int n = 1; n <= kCameraCount; ++n)
        FinishSegment(n);
    MutexLock lock(pass_mutex_);
    compressor_.Close();
}

bool TSaveThread::ArchiveClosed(const ClosedSegment& segment) {
    if (segment.unfinished) {
        const RepairResult r = RepairSegment(segment.tempPath);
        if (!r.ok)
            return false;  // tried again later
        if (r.pictures == 0) {
            FileRemove(segment.tempPath.c_str());
            return true;
        }
    }
    return archive_.Archive(segment);
}

// A full working disk (or one the process may not grow a file on) stops every recording: the
// operator must know at once, not find out from the log.
void TSaveThread::WriteFailed(const std::string& error) {
    for (int code : {ENOSPC, EDQUOT, EFBIG})
        if (error.find(std::strerror(code)) != std::string::npos) {
            archive_.NoRoom();
            return;
        }
}

// Oldest first, so the index stays in the order the recordings were made.
void TSaveThread::RecoverTemp(bool lastRunCrashed) {
    struct Found {
        ClosedSegment segment;
        uint32_t pictures;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (int n = 1; n <= kCameraCount; ++n) {
        const fs::path folder = fs::path(work_dir_) / "Temp" / ("Kamera" + std::to_string(n));
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (!entry.is_regular_file(ec) ||
                (entry.path().extension() != ".avi" && entry.path().extension() != ".mp4"))
                continue;
            const std::string path = entry.path().string();
            const std::string name = entry.path().filename().string();
            // A crash after a copy to another drive was whole and before its source was removed.
            const std::string archived = archive_.ArchivedFile(n, name);
            if (!archived.empty() && SameContent(path, archived)) {
                FileRemove(path.c_str());
                Log("Usunieto kopie pliku juz zarchiwizowanego: " + path, false);
                continue;
            }
            const RepairResult r = RepairSegment(path);
            if (!r.ok) {
                // Left where it is: nothing that might hold a picture is ever deleted.
                Log("Nie mozna naprawic pliku " + path + ": " + r.error, true);
                continue;
            }
            if (r.pictures == 0) {
                FileRemove(path.c_str());
                Log("Usunieto plik bez zadnego obrazu: " + path, true);
                continue;
            }
            double start = 0;
            if (!SegmentStartFromName(name, start))
                start = DateTimeValue(clock_.Now());
            // A segment recorded on motion keeps its mark, though its count died with the crash.
            SegmentNote note;
            const bool noted = Segment::ReadNote(path, note);
            if (noted && VideoIndex::StartFitsName(note.startTime, name))
                start = note.startTime;
            found.push_back(
                {ClosedSegment{n, path, name, start, noted ? note.IndexedMotion() : 0}, r.pictures});
        }
    }
    if (found.empty())
        return;
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.segment.startTime < b.segment.startTime;
    });
    uint64_t pictures = 0;
    for (const Found& f : found) {
        archive_.Archive(f.segment);
        pictures += f.pictures;
    }
    Log(std::string(lastRunCrashed ? "Odzyskano nagrania przerwane awaria: "
                                   : "Zarchiwizowano nagrania czekajace w folderze tymczasowym: ") +
            std::to_string(found.size()) + " plikow, " + std::to_string(pictures) + " obrazow",
        false);
}

bool TSaveThread::SegmentOpen(int camera) const {
    if (camera < 1 || camera > kCameraCount)
        return false;
    if (streams_.SegmentOpen(camera))
        return true;
    MutexLock lock(segments_[camera].mutex);
    return segments_[camera].segment.IsOpen();
}

}  // namespace kel
