#pragma once
// TSaveThread: the recorder. It wakes when the frame bank has pictures for it (at most every
// 30 ms, and at least every 100 ms), takes every camera's queued pictures in the order they were
// captured, and compresses each one somebody needs as a key frame into the camera's batch of 20: the pictures
// of a camera whose schedule records this hour (ScheduleMode 1, continuous, or 2, on motion), and
// those a remote viewer asked for. A picture nobody needs is let go uncompressed. When the batch
// is full it is written to the camera's open AVI segment if the camera is due: ScheduleMode 1, or
// 2 with motion found now or within the motion hold. Otherwise the full batch is dropped. No
// batch is written while no recording drive is selected.
//
// A segment is opened in "Temp/Kamera<n>" of the working directory by the first batch it takes and
// named after that moment ("ddmmyyhhmmss.avi"); it is closed when it has passed the size limit
// after a batch, when the configuration dialog opens and at shutdown, and then archived
// (SegmentArchive). A segment whose file cannot be created is reported once until one can be
// created again; its batches are dropped and nothing is indexed for it.
//
// A network camera may be recorded as it sends instead (StreamRecorder): its packets go to stream
// segments on its source's thread, under the same due rule, size limit, archiving and recovery;
// its pictures here serve the motion test, the indicators and remote viewers only.
//
// Threads: the recorder thread runs the passes. The window thread sets up the recorder before
// Resume and changes its settings while it runs; CloseSegment and CloseAll may be called from any
// thread and wait for a batch being written. Lock order: a pass, then a camera's segment, then
// the archive.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "capture/resolution.h"
#include "config/applied_config.h"
#include "config/config.h"
#include "config/config_views.h"
#include "platform/clock.h"
#include "platform/drive_probe.h"
#include "platform/guarded.h"
#include "recording/archive_worker.h"
#include "recording/frame_batch.h"
#include "recording/motion_detector.h"
#include "recording/recorder_links.h"
#include "recording/segment.h"
#include "recording/segment_archive.h"
#include "recording/stream_recorder.h"
#include "recording/video_compressor.h"

namespace kel {

class TSaveThread {
public:
    static constexpr const char* kNoCodec = "{#0024} Brak bibliotek kodeka video!";
    static constexpr int kBatch = FrameBatch::kSlots;
    static constexpr uint8_t kHoldSeconds = 5;
    // The longest the thread sleeps without a picture (a finish asked, a batch due by time).
    static constexpr std::chrono::milliseconds kPause{100};
    // The shortest time between two passes woken by pictures.
    static constexpr std::chrono::milliseconds kSpacing{30};
    static constexpr int32_t kDefaultSizeLimit = 5000000;

    // The recorder of the station in `workDir` (absolute). Created suspended: nothing runs until
    // Resume, and recording is off.
    TSaveThread(std::string workDir, RecorderLinks links, RecorderHooks hooks,
                const Clock& clock = SystemClock::Instance(),
                const DriveProbe& probe = SystemDriveProbe::Instance());
    // Ends the thread; open segments are left as they are (CloseAll first to keep them).
    ~TSaveThread();
    TSaveThread(const TSaveThread&) = delete;
    TSaveThread& operator=(const TSaveThread&) = delete;

    // Start-up, window thread, before Resume.
    // The drive map with its drive C:, made on the first start.
    bool EnsureDriveC() { return archive_.EnsureDriveC(); }
    // The drive table, counters, the index and the compressor. The counters, the size limit and
    // the sound come from the view Configure gave (without one: counters 0, the limit and sound
    // as set). False with ErrorText (the codec text) when no compressor can be opened. `lastRunCrashed` says
    // how segments found in the temporary folders came to be there (a crash, or waiting for room at an
    // orderly stop).
    bool Initialize(const std::string& storeFile, bool lastRunCrashed = true);
    void Resume();
    // Stops the thread and waits for it.
    void Terminate();

    // Window thread, any time.
    // The applied configuration, by one route at start-up and at every apply: the camera table
    // (kept, not copied), the size limit, the sound, the zones and the 24 drive flags; the view
    // is what Initialize reads the counters from.
    void Configure(const RecorderView& applied);
    void SetCameras(CameraTablePtr cameras);
    void SetCameras(const TCameraTable& cameras) { SetCameras(ShareTable(cameras)); }
    // Switched off, no pass is under way once this returns.
    void SetRecording(bool on);
    bool Recording() const { return recording_.load(std::memory_order_relaxed); }
    void SetZones(const TZoneTable& zones) { motion_.SetZones(zones); }
    void SetDrives(const uint8_t* flags, int count) { archive_.SetDrives(flags, count); }
    void SetSoundDetect(bool on) { sound_detect_.store(on, std::memory_order_relaxed); }
    // How many days each camera's recordings are kept at most (0: until room is needed).
    void SetKeepDays(const std::array<int32_t, 16>& days);
    // VideoFilesSize 0..4: 5, 10, 20, 25, 50 million bytes. Any other value keeps the limit.
    void SetSizeLimit(int32_t videoFilesSize);
    int32_t SizeLimit() const { return size_limit_.load(std::memory_order_relaxed); }
    // The longest a compressed picture due for recording waits in its batch before it is written
    // to its segment file: 0.4 s, so that with the time to the next picture a crash loses less
    // than a second of each camera. For tests.
    void SetMaxWait(std::chrono::milliseconds wait) {
        max_wait_ms_.store(wait.count(), std::memory_order_relaxed);
    }
    // Every camera's batch starts again empty.
    void ResetFrameCounters();
    bool SelectFirstDrive(char& letter) { return archive_.SelectFirstDrive(letter); }
    uint64_t FreeSpaceKB(char letter) const { return archive_.FreeSpaceKB(letter); }
    // The drive the last segment went to.
    char RecordDrive() const { return archive_.CurrentLetter(); }

    // The cameras whose sources send streams of their own (by camera, 1..16): those the applied
    // configuration records as they send are so recorded from now on, and a camera taken off has
    // its stream segment closed. Window thread. Their packets come by StreamPacket (the source's
    // thread).
    void SetStreamSources(const std::array<bool, kCameraCount + 1>& sends);
    void StreamPacket(int camera, const kel::StreamPacket& packet) { streams_.Packet(camera, packet); }
    StreamRecorder& Streams() { return streams_; }

    // Any thread: closes camera n's open segment (after a batch being written) and returns once
    // it is archived (or waits for room in the temporary folder).
    void CloseSegment(int camera);
    // Any thread, with recording off: camera n's pictures not yet written (a batch not yet full)
    // go to its segment when the camera is being recorded, then the segment is closed and
    // archived. An orderly stop loses no picture taken.
    void FinishSegment(int camera);
    // Any thread, recording or not: asks the recorder thread to do what FinishSegment does for
    // camera n at the start of its next pass, and returns at once; the segment is then handed to
    // the archiving thread, not waited for. Without the thread it is done now. The caller does
    // not wait behind a pass's compression and writes.
    void RequestFinish(int camera);
    // Whether a finish asked of camera n is still to be done.
    bool FinishPending(int camera) const;
    // Any thread: recording off, every camera's last pictures written, every open segment closed
    // and archived, the compressor closed.
    void CloseAll();
    bool SegmentOpen(int camera) const;
    // Deletes the recordings older than their camera's keeping time, says so in the log and the
    // audit trail, and returns how many went. The archiving thread runs it at its start and every
    // hour; tests call it.
    int DeleteExpired();
    static constexpr std::chrono::hours kExpiryCheck{1};

    // One pass of the loop without the wait: every queued picture taken; false when recording is
    // off (the pictures are then let go). The thread calls it; tests call it while the thread is
    // not running.
    bool Pass();
    // Pictures compressed so far, of all cameras (for tests and benchmarks).
    uint64_t Compressed() const { return compressed_.load(std::memory_order_relaxed); }

    FrameBatch& Batch() { return batch_; }
    MotionDetector& Motion() { return motion_; }
    SegmentArchive& Archive() { return archive_; }
    // Returns once every segment closed so far has been archived (or waits for room).
    void WaitArchived() { archiver_.Drain(); }
    // Closed segments still waiting for room (tried again every few seconds).
    size_t SegmentsWaiting() const { return archiver_.Waiting(); }
    const std::string& ErrorText() const { return error_; }

private:
    struct CameraSegment {
        mutable Mutex mutex;
        Segment segment KEL_GUARDED_BY(mutex);
        bool createFailed KEL_GUARDED_BY(mutex) = false;  // reported until a file is created again
        bool writeFailed KEL_GUARDED_BY(mutex) = false;   // reported until a picture is written again
    };

    void Run(std::stop_token stop);
    void CameraPicture(int n, const TCameraRecord& camera, bool anyDrive, const FrameBank::Picture& picture)
        KEL_REQUIRES(pass_mutex_);
    void StreamPicture(int n, const TCameraRecord& camera, uint8_t mode, const FrameBank::Picture& picture)
        KEL_REQUIRES(pass_mutex_);
    bool CompressPicture(int n, const FrameBank::Picture& picture, PictureSize& size)
        KEL_REQUIRES(pass_mutex_);
    void OnMotion(int n);
    // Whether camera n's stream is recorded now: what decides for its pictures' batches.
    bool StreamDue(int n) const;
    // The first `count` slots of camera n's batch to its segment (a new one when none is open).
    // Slots from+1..count (the ones not written yet) of camera n's batch.
    void WriteBatch(int n, const TCameraRecord& camera, int count = kBatch, int from = 0);
    // Segments a crash (or an orderly stop, while they waited) left in the temporary folders,
    // mended, archived and indexed.
    void RecoverTemp(bool lastRunCrashed);
    // The archiving thread's work: an unfinished segment mended first, then archived.
    bool ArchiveClosed(const ClosedSegment& segment);
    // A file that could not be written: on a full disk the operator is warned.
    void WriteFailed(const std::string& error);
    bool OpenSegment(int n, CameraSegment& c, const TCameraRecord& camera, int width, int height)
        KEL_REQUIRES(c.mutex);
    // Camera n's due pictures written, its batch emptied and its
    // segment closed and handed to the archiving thread.
    void FinishLocked(int camera) KEL_REQUIRES(pass_mutex_);
    void CloseLocked(int n, CameraSegment& c) KEL_REQUIRES(c.mutex);
    void Log(const std::string& text, bool error) const;
    StreamRecorder::Links StreamLinks();

    // Fixed after construction.
    const std::string work_dir_;
    const RecorderLinks links_;
    const RecorderHooks hooks_;
    const Clock& clock_;

    // Window thread only.
    RecorderView applied_;
    std::array<bool, kCameraCount + 1> stream_sources_{};
    std::string error_;

    std::atomic<bool> recording_{false};
    std::atomic<bool> sound_detect_{false};
    std::atomic<int32_t> size_limit_{kDefaultSizeLimit};
    std::atomic<int64_t> max_wait_ms_{400};
    std::array<std::atomic<bool>, kCameraCount + 1> finish_asked_{};
    mutable Mutex keep_mutex_;
    std::array<int32_t, 16> keep_days_ KEL_GUARDED_BY(keep_mutex_){};
    mutable Mutex cameras_mutex_;
    CameraTablePtr cameras_ KEL_GUARDED_BY(cameras_mutex_) = ShareTable(TCameraTable{});

    // Held for a whole pass.
    Mutex pass_mutex_;
    TVideoCompressor compressor_ KEL_GUARDED_BY(pass_mutex_);
    std::unique_ptr<uint8_t[]> packed_ KEL_GUARDED_BY(pass_mutex_);  // the picture compressed
    std::array<bool, kCameraCount + 1> compress_failed_ KEL_GUARDED_BY(pass_mutex_){};
    std::atomic<uint64_t> compressed_{0};
    bool failing_ = false;  // the recorder thread only
    // Slots of each batch already written to the segment, and since when the first one not yet
    // written has waited: no picture waits longer than max_wait_ before it reaches the file.
    std::array<int, kCameraCount + 1> written_ KEL_GUARDED_BY(pass_mutex_){};
    std::array<std::chrono::steady_clock::time_point, kCameraCount + 1>
        waiting_ KEL_GUARDED_BY(pass_mutex_){};

    FrameBatch batch_;
    MotionDetector motion_;
    SegmentArchive archive_;
    // Closed segments go to the archive on a thread of their own: a slow drive never holds up a
    // pass. After the archive, so it ends before the archive goes.
    ArchiveWorker archiver_{
        [this](const ClosedSegment& s) { return ArchiveClosed(s); }, std::chrono::seconds(10),
        [this](const std::string& what) { Log("Blad watku archiwizacji: " + what, true); }};
    std::array<CameraSegment, kCameraCount + 1> segments_;
    StreamRecorder streams_{work_dir_, StreamLinks(), clock_};

    std::jthread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
