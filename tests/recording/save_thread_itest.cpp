// The recorder's passes over pictures placed in the frame bank by hand: which batches are written
// and which dropped for each schedule value and motion, the motion hold and the beep, the size
// limit, and segments that cannot be created. Drives are folders of a temporary drive map.

#include "recording/save_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "capture/capture.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"
#include "config/registry_values.h"
#include "platform/file_faults.h"
#include "platform/registry_store.h"
#include "recording/avi_reader.h"
#include "recording/drive_marks.h"
#include "recording/fake_drive_probe.h"
#include "recording/schedule.h"
#include "recording/segment.h"
#include "recording/video_index.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

struct Station {
    std::unique_ptr<FrameBank> bank = std::make_unique<FrameBank>();
    CameraFlags mode{}, now{}, shown{}, hold{}, latch{};
    std::atomic<char> drive{'C'};
    std::atomic<bool> warned{false};
};

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "drives/c:");
        clock.Set(Moment(0));
        for (TCameraRecord& c : cameras) {
            c.Active = 1;
            c.Resolution = 3;
            c.FPS = 5;
        }
        zones = std::make_unique<TZoneTable>();
        for (TZoneRecord& z : *zones) {
            z.Sensitivity = 250;
            std::fill(std::begin(z.Mask), std::end(z.Mask), 1);
        }
    }
    void Start(bool drive = true, int32_t sizeCode = 0, bool lastRunCrashed = true) {
        rec = std::make_unique<TSaveThread>(dir.Path(), links, hooks, clock, probe);
        rec->SetSizeLimit(sizeCode);
        rec->SetSoundDetect(sound);
        std::array<uint8_t, 25> hdds{};
        hdds[0] = drive;
        rec->SetZones(*zones);
        rec->SetDrives(hdds.data(), 25);
        ASSERT_TRUE(rec->Initialize(dir / "registry.sqlite", lastRunCrashed)) << rec->ErrorText();
        rec->SetCameras(cameras);
        rec->SetRecording(true);
    }
    static LocalTime Moment(int second) {
        LocalTime t;
        t.year = 2026;
        t.month = 5;
        t.day = 4;
        t.hour = 10;
        t.minute = second / 60;
        t.second = second % 60;
        t.weekday = 1;
        return t;
    }
    // Camera n shows a picture of one byte value (176 x 144 unless said), and goes on delivering
    // it before every pass, as a camera does with a still scene.
    void Show(int n, uint8_t value, int32_t resolution = 3) {
        std::vector<uint8_t> p(ResolutionBytes(resolution), value);
        s.bank->Write(n, p.data(), p.size(), resolution);
        scene_[n] = {value, resolution};
        shown_[n] = true;
    }
    // One pass after every camera shown so far has delivered one picture: the one just shown, or
    // its picture once more.
    void Pass() {
        for (int n = 1; n <= kCameraCount; ++n)
            if (scene_[n].second >= 0 && !shown_[n])
                Show(n, scene_[n].first, scene_[n].second);
        shown_.fill(false);
        ASSERT_TRUE(rec->Pass());
    }
    // Passes with camera n showing a new picture every time when `moving`, else the same one.
    void Passes(int n, int count, bool moving) {
        for (int i = 0; i < count; ++i) {
            if (moving)
                Show(n, static_cast<uint8_t>(++value_ * 64));
            Pass();
        }
    }
    // Pictures in camera n's segments so far: the open one's after closing, and the archived ones.
    int RecordedPictures(int n) {
        rec->CloseSegment(n);
        int pictures = 0;
        for (const auto& e : rec->Archive().Entries())
            if (e.Camera == n)
                pictures += ReadAvi(rec->Archive().Map().Resolve(e.FileName.Get())).Count("00dc");
        return pictures;
    }

    TempDir dir;
    FixedClock clock{Moment(0)};
    FakeDriveProbe probe;
    Station s;
    RecorderLinks links{*s.bank, s.mode, s.now, s.shown, s.hold, s.latch, s.drive, s.warned};
    std::vector<std::string> logged;
    std::vector<std::string> warnings;
    int beeps = 0;
    std::vector<std::string> audited;
    RecorderHooks hooks{
        [this](const std::string& t, bool error) { logged.push_back((error ? "E " : "N ") + t); },
        [this](const std::string& t) { warnings.push_back(t); }, [this] { ++beeps; },
        [this](const char* what, const std::string& detail) { audited.push_back(what + (": " + detail)); },
        nullptr};
    TCameraTable cameras{};
    std::unique_ptr<TZoneTable> zones;
    bool sound = false;
    std::unique_ptr<TSaveThread> rec;
    int value_ = 0;
    std::array<std::pair<uint8_t, int32_t>, kCameraCount + 1> scene_ = MakeScenes();
    std::array<bool, kCameraCount + 1> shown_{};
    static std::array<std::pair<uint8_t, int32_t>, kCameraCount + 1> MakeScenes() {
        std::array<std::pair<uint8_t, int32_t>, kCameraCount + 1> none;
        none.fill({0, -1});
        return none;
    }
};

// Recordings older than their camera's keeping time go, files and index entries alike, as the
// rotation deletes them; another camera's, and the newer ones, stay. The log and the audit trail
// say how many went.
TEST_F(RecorderTest, RecordingsOlderThanTheirCamerasKeepingTimeAreDeleted) {
    Start();
    s.mode[1] = s.mode[2] = kContinuous;
    Show(1, 10);
    Show(2, 20);
    auto day = [](int d, int hour) {
        LocalTime t = Moment(0);
        t.day = d;
        t.hour = hour;
        return t;
    };
    for (int d : {1, 2, 5}) {
        clock.Set(day(d, 10));
        Passes(1, FrameBatch::kSlots, false);
        rec->CloseSegment(1);
        rec->CloseSegment(2);
    }
    ASSERT_EQ(rec->Archive().Counter(), 6);
    std::array<int32_t, 16> keep{};
    keep[0] = 1;  // camera 1: a day; camera 2: until room is needed
    rec->SetKeepDays(keep);
    clock.Set(day(6, 9));
    logged.clear();
    EXPECT_EQ(rec->DeleteExpired(), 2);
    EXPECT_EQ(rec->DeleteExpired(), 0) << "nothing is left to expire";

    std::map<int, std::set<std::string>> indexed;
    for (const auto& e : rec->Archive().Entries())
        indexed[e.Camera].insert(
            fs::path(rec->Archive().Map().Resolve(e.FileName.Get())).filename().string());
    EXPECT_EQ(indexed[1], std::set<std::string>{"050526100000.avi"});
    EXPECT_EQ(indexed[2].size(), 3u);
    for (int n : {1, 2}) {
        std::set<std::string> files;
        for (const auto& f :
             fs::directory_iterator(dir / ("drives/c:/KEL2_Videos/Kamera" + std::to_string(n))))
            files.insert(f.path().filename().string());
        EXPECT_EQ(files, indexed[n]) << "camera " << n << ": the folder and the index agree";
    }
    VideoIndex onDisk;
    ASSERT_TRUE(onDisk.LoadChecked(dir / VideoIndex::kFile));
    EXPECT_EQ(onDisk.Size(), 4u);
    EXPECT_EQ(rec->Archive().Counter(), 4);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0], "N Usuniecie Pliku: C:\\KEL2_Videos\\Kamera1\\010526100000.avi");
    EXPECT_EQ(logged[2],
              "N Usunieto nagrania starsze niz czas przechowywania: 2 (kamera 1: 2 (limit 1 dni))");
    ASSERT_EQ(audited.size(), 1u);
    EXPECT_EQ(audited[0], "usuniecie starych nagran: 2 nagran; kamera 1: 2 (limit 1 dni)");
}

TEST_F(RecorderTest, BatchesAreWrittenOrDroppedByTheScheduleValue) {
    Start();
    s.mode[1] = kContinuous;
    s.mode[2] = kNoRecording;
    s.mode[3] = kOnMotion;  // still: only its first picture differs from the zero reference
    s.now[2] = 1;           // left over from an hour of recording
    Show(1, 10);
    Show(2, 10);
    Show(3, 100);
    Passes(1, 60, false);
    EXPECT_EQ(rec->Batch().Count(1), 0);
    EXPECT_EQ(s.now[1], 1);
    EXPECT_EQ(s.now[2], 0) << "nothing is recorded in this hour";
    EXPECT_EQ(s.hold[3], 5);
    EXPECT_EQ(RecordedPictures(1), 60);
    EXPECT_EQ(RecordedPictures(2), 0);
    EXPECT_FALSE(fs::exists(dir / "Temp/Kamera2")) << "no segment was ever opened";
    EXPECT_EQ(RecordedPictures(3), 60) << "the hold never ran down: no tick came";
    EXPECT_EQ(rec->Archive().Counter(), 2);
    EXPECT_TRUE(logged.empty()) << logged[0];
}

// The recorder takes every picture delivered since its last pass, once: a pass with nothing new
// takes nothing, and pictures delivered faster than the passes all reach the file.
TEST_F(RecorderTest, EachDeliveredPictureIsRecordedOnce) {
    Start();
    s.mode[1] = kContinuous;
    int delivered = 0;
    for (int i = 0; i < 40; ++i) {
        for (int k = 0; k <= i % 2; ++k, ++delivered)  // 60 in all: three whole batches
            Show(1, static_cast<uint8_t>(delivered * 6));
        ASSERT_TRUE(rec->Pass());
        ASSERT_TRUE(rec->Pass());
    }
    EXPECT_EQ(RecordedPictures(1), delivered);
    EXPECT_EQ(rec->Compressed(), static_cast<uint64_t>(delivered));
}

// With the capture and recorder threads running and the board at its full rate (one camera alone
// in its group: 25 pictures a second), every picture the capture delivered is in the recording.
TEST_F(RecorderTest, EveryPictureAt25ASecondIsRecorded) {
    for (int n = 1; n < kCameraCount; ++n)
        cameras[n].Active = 0;
    Start();
    s.mode[1] = kContinuous;
    auto board = std::make_shared<SimBoard>();
    HicapInstall(board);
    SizeModes modes;
    modes.fill(4);
    ASSERT_EQ(board->Open(SimBoard::kSelector, modes), kHicapOk);
    ASSERT_EQ(board->Init(), kHicapOk);
    board->SetShares(0, {1});
    ASSERT_EQ(board->TransferOn(), kHicapOk);
    CameraFlags ready{};
    TCapture capture(1, *s.bank, ready);
    capture.SetSettings(cameras);
    capture.SetActive(true);
    rec->Resume();
    capture.Start();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    capture.SetActive(false);
    capture.Stop();
    rec->CloseAll();
    HicapInstall(nullptr);
    EXPECT_GE(capture.Delivered(), 60u);
    EXPECT_EQ(RecordedPictures(1), static_cast<int>(capture.Delivered()));
    EXPECT_EQ(s.bank->Lost(1), 0u);
}

// A picture is compressed only when somebody needs it: the schedule records its camera in this
// hour, or a remote viewer asked for the camera.
TEST_F(RecorderTest, NothingIsCompressedForNobody) {
    Start();
    s.mode[1] = kNoRecording;
    s.mode[2] = kNoRecording;
    Show(1, 10);
    Show(2, 20);
    for (int i = 0; i < 10; ++i)
        Pass();
    EXPECT_EQ(rec->Compressed(), 0u);
    EXPECT_EQ(rec->Batch().Added(1) + rec->Batch().Added(2), 0u);
    rec->Batch().Ask(2);
    for (int i = 0; i < 5; ++i)
        Pass();
    EXPECT_EQ(rec->Compressed(), 5u) << "camera 2's pictures, for the viewer";
    EXPECT_EQ(rec->Batch().Count(2), 5);
    s.mode[1] = kContinuous;
    Pass();
    EXPECT_EQ(rec->Compressed(), 7u);
    rec->FinishSegment(1);
    rec->FinishSegment(2);
    EXPECT_EQ(RecordedPictures(2), 0) << "what a viewer asked for is not recorded";
    EXPECT_EQ(RecordedPictures(1), 1);
}

TEST_F(RecorderTest, ContinuousRecordingWithoutADriveCompressesAndDropsEveryTwenty) {
    Start(false);
    s.mode[1] = kContinuous;
    Show(1, 10);
    std::vector<int> counts;
    for (int i = 0; i < 21; ++i) {
        Pass();
        counts.push_back(rec->Batch().Count(1));
    }
    EXPECT_EQ(counts[18], 19);
    EXPECT_EQ(counts[19], 0);
    EXPECT_EQ(counts[20], 1);
    EXPECT_EQ(s.now[1], 1);
    EXPECT_FALSE(rec->SegmentOpen(1));
    EXPECT_FALSE(fs::exists(dir / "Temp"));
    // The newest picture stays readable for the network: in slot 20 right after the batch.
    std::vector<uint8_t> out(FrameBatch::kSlotBytes);
    FrameBatch::Slot info;
    EXPECT_TRUE(rec->Batch().ReadNewest(1, out.data(), out.size(), info));
    EXPECT_EQ(info.width, 176);
    EXPECT_EQ(info.stamp, "2026-05-04: 10:00:00");
}

// The hold is armed at 5 only from 0, so recording goes on 0 to 5 seconds after the last
// detection; a batch filled after the hold ran out is dropped.
// The beep sounds once a latch: again only after the latch has counted down.
TEST_F(RecorderTest, TheMotionHoldKeepsRecordingUntilItRunsOut) {
    sound = true;
    Start();
    s.mode[1] = kOnMotion;
    Passes(1, 3, true);  // motion: armed at the first detection only
    EXPECT_EQ(s.hold[1], 5);
    EXPECT_EQ(s.now[1], 1);
    EXPECT_EQ(s.shown[1], 1);
    EXPECT_EQ(beeps, 1);
    for (int tick = 0; tick < 3; ++tick)
        CountDownMotion(s.hold, s.latch);
    Passes(1, 1, true);
    EXPECT_EQ(s.hold[1], 2) << "not re-armed while it runs";
    EXPECT_EQ(beeps, 2);
    Passes(1, 16, false);  // still: the hold carries the batch
    EXPECT_EQ(rec->Batch().Count(1), 0);
    EXPECT_TRUE(rec->SegmentOpen(1));
    CountDownMotion(s.hold, s.latch);
    CountDownMotion(s.hold, s.latch);
    EXPECT_EQ(s.hold[1], 0);
    Passes(1, 20, false);  // no motion, no hold: dropped
    EXPECT_EQ(s.now[1], 0);
    EXPECT_EQ(s.shown[1], 0);
    Passes(1, 5, true);  // motion again re-arms from 0
    EXPECT_EQ(s.hold[1], 5);
    Passes(1, 15, false);
    EXPECT_EQ(RecordedPictures(1), 40);
    EXPECT_EQ(rec->Archive().Entries()[0].MotionCount, 9) << "4 + 5 detections";
}

TEST_F(RecorderTest, TheSizeLimitClosesASegmentAfterTheBatchThatPassesIt) {
    Start(true, 0);                          // 5,000,000 bytes
    rec->SetMaxWait(std::chrono::hours(1));  // whole batches, however slow the passes
    s.mode[1] = kContinuous;
    std::vector<uint8_t> noise(ResolutionBytes(0));
    uint32_t x = 99;
    int batches = 0;
    while (rec->Archive().Counter() == 0 && batches < 20) {
        for (int i = 0; i < 20; ++i) {
            for (auto& b : noise)
                b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
            s.bank->Write(1, noise.data(), noise.size(), 0);
            ASSERT_TRUE(rec->Pass());
        }
        ++batches;
        rec->WaitArchived();  // the size limit hands the segment to the archiving thread
    }
    ASSERT_EQ(rec->Archive().Counter(), 1);
    EXPECT_FALSE(rec->SegmentOpen(1));
    std::string file = rec->Archive().Map().Resolve(rec->Archive().Entries()[0].FileName.Get());
    AviFile f = ReadAvi(file);
    ASSERT_TRUE(f.ok) << f.problem;
    EXPECT_EQ(f.Count("00dc"), 20 * batches);
    uint64_t pictures = 0, last = 0;
    for (const auto& c : f.samples)
        if (c.id == "00dc")
            pictures += c.data.size();
    for (size_t i = f.samples.size() - 40; i < f.samples.size(); i += 2)
        last += f.samples[i].data.size();
    EXPECT_GT(pictures, 5000000u);
    EXPECT_LE(pictures - last, 5000000u) << "the batch before did not pass the limit";
}

TEST_F(RecorderTest, ASegmentThatCannotBeCreatedIsReportedOnceAndNothingIsIndexed) {
    Start();
    fs::create_directories(dir / "Temp");
    WriteFile(dir / "Temp/Kamera1", "in the way");
    s.mode[1] = kContinuous;
    Show(1, 10);
    Passes(1, 60, false);
    EXPECT_FALSE(rec->SegmentOpen(1));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind("E Nie mozna utworzyc pliku: ", 0), 0u) << logged[0];
    rec->CloseAll();
    EXPECT_EQ(rec->Archive().Counter(), 0);
    // Once the file can be made, recording goes on with the next batch.
    fs::remove(dir / "Temp/Kamera1");
    rec->SetRecording(true);
    Passes(1, 20, false);
    EXPECT_TRUE(rec->SegmentOpen(1));
    EXPECT_EQ(RecordedPictures(1), 20);
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(RecorderTest, APictureOfANewSizeStartsANewSegment) {
    Start();
    s.mode[1] = kContinuous;
    Show(1, 10, 3);
    Passes(1, 20, false);
    clock.Set(Moment(1));
    Show(1, 10, 2);
    Passes(1, 20, false);
    rec->WaitArchived();
    EXPECT_EQ(rec->Archive().Counter(), 1);
    rec->CloseAll();
    ASSERT_EQ(rec->Archive().Counter(), 2);
    auto entries = rec->Archive().Entries();
    EXPECT_EQ(entries[0].FileName.Get(), "C:\\KEL2_Videos\\Kamera1\\040526100000.avi");
    EXPECT_EQ(entries[1].FileName.Get(), "C:\\KEL2_Videos\\Kamera1\\040526100001.avi");
    AviFile second = ReadAvi(rec->Archive().Map().Resolve(entries[1].FileName.Get()));
    ASSERT_EQ(second.formats.size(), 2u);
    EXPECT_EQ(second.main.dwWidth, 352u);
}

// An orderly stop writes the pictures of a batch not yet full for every camera being recorded
// (continuously, or on motion within its hold); a camera not recorded this hour keeps nothing.
TEST_F(RecorderTest, AnOrderlyStopWritesTheLastPictures) {
    Start();
    s.mode[1] = kContinuous;
    s.mode[2] = kNoRecording;
    s.mode[3] = kOnMotion;
    for (int i = 0; i < 27; ++i) {
        for (int n : {1, 2, 3})
            Show(n, static_cast<uint8_t>(i * 40));
        ASSERT_TRUE(rec->Pass());
    }
    rec->CloseAll();
    EXPECT_EQ(RecordedPictures(1), 27);
    EXPECT_EQ(RecordedPictures(2), 0);
    EXPECT_EQ(RecordedPictures(3), 27);
}

// Segments a crash left in the temporary folders are mended, then archived and indexed at the
// next start, before recording; a file without a whole picture is removed, one that is no
// recording is left where it is.
TEST_F(RecorderTest, SegmentsLeftByACrashAreRecoveredAtTheNextStart) {
    Start();
    s.mode[3] = kContinuous;
    Passes(3, 45, true);  // two batches in the open segment, five pictures in memory
    ASSERT_TRUE(rec->SegmentOpen(3));
    rec.reset();  // the crash: nothing closed
    const fs::path temp = dir / "Temp";
    {
        Segment empty;
        fs::create_directories(temp / "Kamera4");
        ASSERT_TRUE(
            empty.Open((temp / "Kamera4/040526100500.avi").string(), "040526100500.avi", 0, 176, 144, 5));
    }
    fs::create_directories(temp / "Kamera5");
    WriteFile(temp / "Kamera5/junk.avi", "not a recording");
    logged.clear();

    Start();
    ASSERT_EQ(rec->Archive().Entries().size(), 1u);
    const TVideoIndexEntry e = rec->Archive().Entries()[0];
    EXPECT_EQ(e.Camera, 3);
    const AviFile f = ReadAvi(rec->Archive().Map().Resolve(e.FileName.Get()));
    ASSERT_TRUE(f.ok) << f.problem;
    EXPECT_EQ(f.Count("00dc"), 40);
    EXPECT_TRUE(fs::is_empty(temp / "Kamera3"));
    EXPECT_TRUE(fs::is_empty(temp / "Kamera4"));
    EXPECT_TRUE(fs::exists(temp / "Kamera5/junk.avi"));
    const std::vector<std::string> lines = logged;
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "N Odzyskano nagrania przerwane awaria: 1 plikow, 40 obrazow"),
        lines.end());
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("E ", 0) == 0; }),
        2)
        << "the removed file and the one left";
}

// A segment's end asked from another thread is the recorder thread's job at its next pass: the
// asker does not wait, the pictures not yet written still go in, and the segment is archived.
// Without the thread it is done at once.
TEST_F(RecorderTest, AnEndAskedIsDoneByTheRecorderThreadWithItsPictures) {
    Start();
    s.mode[1] = kContinuous;
    Passes(1, 5, true);  // five pictures in memory, no file yet
    rec->RequestFinish(1);
    EXPECT_FALSE(rec->FinishPending(1)) << "no thread: done at once";
    ASSERT_EQ(rec->Archive().Entries().size(), 1u);
    EXPECT_EQ(ReadAvi(rec->Archive().Map().Resolve(rec->Archive().Entries()[0].FileName.Get())).Count("00dc"),
              5);

    clock.Set(Moment(1));
    Passes(1, 3, true);
    rec->Resume();
    rec->RequestFinish(1);
    for (int i = 0; i < 500 && (rec->FinishPending(1) || rec->Archive().Entries().size() < 2); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(rec->FinishPending(1));
    ASSERT_EQ(rec->Archive().Entries().size(), 2u) << "ended by the recorder thread and archived";
    EXPECT_EQ(ReadAvi(rec->Archive().Map().Resolve(rec->Archive().Entries()[1].FileName.Get())).Count("00dc"),
              3);
    rec->CloseAll();
}

// A picture due for recording reaches its file once it has waited its time, batch full or not:
// a crash then loses only what came within that time (here none: every pass writes).
TEST_F(RecorderTest, NoPictureWaitsLongerThanItsTimeBeforeItsFile) {
    Start();
    rec->SetMaxWait(std::chrono::milliseconds(0));
    s.mode[1] = kContinuous;
    Passes(1, 7, true);
    rec.reset();  // the crash: nothing closed
    Start();
    ASSERT_EQ(rec->Archive().Entries().size(), 1u);
    EXPECT_EQ(ReadAvi(rec->Archive().Map().Resolve(rec->Archive().Entries()[0].FileName.Get())).Count("00dc"),
              7);
}

// Segments found in the temporary folder after an orderly stop had waited there (for room, for a
// drive): they are archived all the same, and not said to come from a crash.
TEST_F(RecorderTest, SegmentsThatWaitedThroughAnOrderlyStopAreNotCalledACrashs) {
    Start();
    s.mode[3] = kContinuous;
    Passes(3, 40, true);
    rec.reset();
    logged.clear();
    Start(true, 0, false);
    ASSERT_EQ(rec->Archive().Entries().size(), 1u);
    EXPECT_NE(std::find(logged.begin(), logged.end(),
                        "N Zarchiwizowano nagrania czekajace w folderze tymczasowym: 1 plikow, 40 obrazow"),
              logged.end());
    for (const std::string& line : logged)
        EXPECT_EQ(line.find("awaria"), std::string::npos) << line;
}

// Archiving runs on a thread of its own: while a closed segment waits on a drive that does not
// answer, the recorder goes on writing batch after batch into the camera's next segment.
TEST_F(RecorderTest, ASlowDriveHoldsUpNoBatch) {
    Start();
    s.mode[1] = kContinuous;
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);  // the drive answers once the test lets it
    std::atomic<bool> asked{false};
    probe.beforeSpace = [&] {
        asked = true;
        std::lock_guard<std::mutex> answer(gate);
    };
    auto until = [](const std::function<bool()>& done) {
        for (int i = 0; i < 1000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };
    std::atomic<int32_t> resolution{3};
    std::jthread camera([&](std::stop_token stop) {  // a picture every 5 ms
        const std::vector<uint8_t> picture(ResolutionBytes(2), 10);
        while (!stop.stop_requested()) {
            const int32_t r = resolution;
            s.bank->Write(1, picture.data(), ResolutionBytes(r), r);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    rec->Resume();
    ASSERT_TRUE(until([&] { return rec->SegmentOpen(1); }));
    clock.Set(Moment(1));
    resolution = 2;  // a new size: the next batch closes the segment, whose archiving then waits
    ASSERT_TRUE(until([&] { return asked.load(); }));
    const std::string next = dir / "Temp/Kamera1/040526100001.avi";
    uint64_t size = 0;
    int batches = 0;
    ASSERT_TRUE(until([&] {
        std::error_code ec;
        const uint64_t now = fs::file_size(next, ec);
        if (!ec && now > size) {
            size = now;
            ++batches;
        }
        return batches >= 3;
    })) << "batches written while the drive keeps the first segment waiting";
    closed.unlock();
    rec->CloseAll();
    EXPECT_EQ(rec->Archive().Counter(), 2);
    probe.beforeSpace = nullptr;
}

// A disk the recorder cannot grow its file on: the operator is warned once and the log says so;
// what was written stays whole, and recording resumes by itself once there is room.
TEST_F(RecorderTest, AFullDiskWarnsAndRecordingResumesWhenThereIsRoom) {
    Start();
    s.mode[1] = kContinuous;
    Passes(1, 20, true);
    ASSERT_TRUE(rec->SegmentOpen(1));
    const std::string file = dir / "Temp/Kamera1/040526100000.avi";
    {
        FileSizeLimit full(fs::file_size(file));
        Passes(1, 40, true);
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind(SegmentArchive::kNoRoom, 0), 0u);
    EXPECT_NE(std::find(logged.begin(), logged.end(), std::string("E ") + SegmentArchive::kNoRoom),
              logged.end());
    Passes(1, 20, true);
    rec->CloseAll();
    EXPECT_EQ(RecordedPictures(1), 40) << "the batches before and after; those in between could not be kept";
}

// A crash at any point of archiving loses nothing: whichever steps the disk shows done (the move,
// the index, its copy, the counter), the next start ends with the recording archived once, in the
// index and its copy, and the counter agreeing.
TEST_F(RecorderTest, ACrashAnywhereInArchivingIsMendedAtTheNextStart) {
    const std::string archived = dir / "drives/c:/KEL2_Videos/Kamera2/040526100000.avi";
    const std::string temp = dir / "Temp/Kamera2/040526100000.avi";
    auto stored = [&] {
        RegistryStore store;
        int32_t v = -1;
        return store.Open(dir / "registry.sqlite") && ReadCounter(store, "VideoFiles", v) ? v : -1;
    };
    const char* crashes[] = {"before the counter", "before the copy", "before the index", "before the move"};
    for (int crash = 0; crash < 4; ++crash) {
        SCOPED_TRACE(crashes[crash]);
        for (const char* gone : {"Temp", "drives/c:/KEL2_Videos", "VideoIndex.dat", "~VideoIndex.dat"})
            fs::remove_all(dir / gone);
        Start();
        s.mode[2] = kContinuous;
        Passes(2, 20, true);
        rec->CloseAll();
        rec.reset();
        ASSERT_TRUE(fs::exists(archived));
        // Back to the disk as the crash left it.
        {
            RegistryStore store;
            ASSERT_TRUE(store.Open(dir / "registry.sqlite") && WriteCounter(store, "VideoFiles", 0));
        }
        if (crash >= 1)
            fs::remove(dir / "~VideoIndex.dat");
        if (crash >= 2)
            fs::remove(dir / "VideoIndex.dat");
        if (crash >= 3)
            fs::rename(archived, temp);

        Start();
        ASSERT_EQ(rec->Archive().Entries().size(), 1u);
        EXPECT_EQ(rec->Archive().Entries()[0].FileName.Get(), "C:\\KEL2_Videos\\Kamera2\\040526100000.avi");
        EXPECT_TRUE(fs::exists(archived));
        EXPECT_FALSE(fs::exists(temp));
        EXPECT_EQ(rec->Archive().Counter(), 1);
        EXPECT_EQ(stored(), 1);
        EXPECT_EQ(ReadFile(dir / "~VideoIndex.dat"), ReadFile(dir / "VideoIndex.dat"));
        rec.reset();
    }
}

// Writes that fail for a while, or go through a few bytes at a time, or a flush that fails at the
// close: whatever was written whole is kept, decodes, and is archived.
TEST_F(RecorderTest, FailingAndShortWritesKeepEveryPictureWrittenWhole) {
    struct Faults : FileFaults {
        FileStep step = FileStep::Write;
        int error = 0;
        int times = 0;    // the next `times` of `step` fail with `error`
        size_t most = 0;  // when set, no write takes more bytes
        int Before(FileStep s, const char*, size_t& bytes) override {
            if (most && s == FileStep::Write)
                bytes = std::min(bytes, most);
            return s == step && times > 0 && times-- ? error : 0;
        }
    };
    struct Row {
        const char* what;
        FileStep step;
        int times;  // while the second batch is written, or at the close
        size_t most;
        int pictures;
        bool logged;
    };
    const Row rows[] = {
        {"writes failing for a batch", FileStep::Write, 1000, 0, 40, true},
        {"writes of at most 7 bytes", FileStep::Write, 0, 7, 60, false},
        {"no flush at the close", FileStep::Sync, 1, 0, 60, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const char* gone : {"Temp", "drives/c:/KEL2_Videos", "VideoIndex.dat", "~VideoIndex.dat"})
            fs::remove_all(dir / gone);
        logged.clear();
        Faults faults;
        faults.step = row.step;
        faults.error = EIO;
        faults.most = row.most;
        SetFileFaults(&faults);
        Start();
        s.mode[1] = kContinuous;
        Passes(1, 20, true);
        if (row.step == FileStep::Write)
            faults.times = row.times;
        Passes(1, 20, true);
        faults.times = 0;
        Passes(1, 20, true);
        if (row.step == FileStep::Sync)
            faults.times = row.times;
        rec->CloseAll();
        SetFileFaults(nullptr);
        ASSERT_EQ(rec->Archive().Entries().size(), 1u) << (logged.empty() ? "" : logged.back());
        const std::string file = rec->Archive().Map().Resolve(rec->Archive().Entries()[0].FileName.Get());
        EXPECT_EQ(ReadAvi(file).Count("00dc"), row.pictures);
        EXPECT_EQ(DecodedPictures(file), row.pictures);
        EXPECT_EQ(!logged.empty(), row.logged) << (logged.empty() ? "" : logged[0]);
        EXPECT_TRUE(warnings.empty()) << "only a full disk warns";
        rec.reset();
    }
}

// The process ends between any two file steps of recording, closing, archiving and writing the
// index: on the disk as it was left, the next start keeps every picture written whole, archives
// it once, and leaves the index, its copy, the counter and the folders agreeing. The drive is on
// the working disk's file system (the move a rename), then on another (a copy, from the first
// step of archiving on).
TEST_F(RecorderTest, ACrashBetweenAnyTwoFileStepsLosesNoPictureWritten) {
    constexpr int kCrashed = 77;
    struct CrashAt : FileFaults {
        int at = 0;  // 0: never
        int seen = 0;
        int archiving = 0;  // the step moving the segment out of the temporary folder
        bool otherFileSystem = false;
        int Before(FileStep step, const char* path, size_t&) override {
            if (++seen == at)
                _exit(kCrashed);
            const bool move = step == FileStep::Rename && std::strstr(path, "/Temp/");
            if (move && archiving == 0)
                archiving = seen;
            return move && otherFileSystem ? EXDEV : 0;
        }
    };
    auto clear = [&] {
        for (const char* gone :
             {"Temp", "drives/c:/KEL2_Videos", "VideoIndex.dat", "~VideoIndex.dat", "registry.sqlite"})
            fs::remove_all(dir / gone);
    };
    auto record = [&](CrashAt& crash) {
        SetFileFaults(&crash);
        value_ = 0;  // the same pictures, so the same steps, every time
        Start();
        s.mode[2] = kContinuous;
        Passes(2, 25, true);  // a batch written, five pictures in memory
        rec->CloseAll();
        rec.reset();
        SetFileFaults(nullptr);
    };
    CrashAt dryRun;
    record(dryRun);
    ASSERT_GT(dryRun.archiving, 50) << "the steps of writing the pictures come first";

    const fs::path archive = dir / "drives/c:/KEL2_Videos";
    for (bool otherFileSystem : {false, true}) {
        int kept = 0;
        for (int at = otherFileSystem ? dryRun.archiving : 1;; ++at) {
            SCOPED_TRACE(std::string(otherFileSystem ? "copied" : "renamed") + ", step " +
                         std::to_string(at));
            clear();
            const bool failedBefore = HasFailure();
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                CrashAt crash;
                crash.at = at;
                crash.otherFileSystem = otherFileSystem;
                record(crash);
                _exit(HasFailure() && !failedBefore ? 1 : 0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            const bool crashed = WEXITSTATUS(status) == kCrashed;
            ASSERT_TRUE(crashed || WEXITSTATUS(status) == 0);

            Start();
            std::set<std::string> indexed, files;
            int pictures = 0;
            for (const auto& e : rec->Archive().Entries()) {
                const std::string file = rec->Archive().Map().Resolve(e.FileName.Get());
                indexed.insert(file);
                pictures += DecodedPictures(file);
            }
            std::error_code ec;
            for (const auto& f : fs::recursive_directory_iterator(archive, ec))
                if (f.is_regular_file() && f.path().filename() != DriveMarks::kMarkFile)
                    files.insert(f.path().string());
            EXPECT_EQ(indexed, files) << "no copy cut off, nothing archived twice";
            EXPECT_TRUE(!fs::exists(dir / "Temp/Kamera2") || fs::is_empty(dir / "Temp/Kamera2", ec));
            EXPECT_EQ(rec->Archive().Counter(), static_cast<int>(indexed.size()));
            if (!indexed.empty()) {
                EXPECT_EQ(ReadFile(dir / "~VideoIndex.dat"), ReadFile(dir / "VideoIndex.dat"));
            }
            EXPECT_GE(pictures, kept) << "a later crash keeps no less";
            kept = pictures;
            rec.reset();
            if (!crashed) {
                EXPECT_EQ(pictures, 25);
                EXPECT_EQ(at - 1, otherFileSystem ? at - 1 : dryRun.seen) << "every step was tried";
                break;
            }
        }
    }
}

}  // namespace
}  // namespace kel
