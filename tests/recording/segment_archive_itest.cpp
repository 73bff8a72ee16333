// Placing finished segments on the recording drives: the reserve, the move to the next drive, the
// deletion of the oldest recordings, the index files and the store's counters, and what happens
// when a move, the index or the room fails. Drives are folders of a drive map in a temporary
// working directory; their free space comes from a fake probe.

#include "recording/segment_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

#include "config/registry_values.h"
#include "platform/file_faults.h"
#include "platform/registry_store.h"
#include "recording/fake_drive_probe.h"
#include "recording/segment.h"
#include "recording/segment_repair.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kReserve = SegmentArchive::kReserveKB;
constexpr double kQuarterSecond = 0.25 / 86400;

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"c:", "d:", "e:"})
            fs::create_directories(dir / ("drives/" + std::string(d)));
    }
    // Positions: C: 0, D: 1, E: 2.
    std::unique_ptr<SegmentArchive> Make(std::vector<int> selected, int32_t videoFiles = 0,
                                         int32_t usedDisk = 0) {
        auto a = std::make_unique<SegmentArchive>(dir.Path(), probe, links, hooks);
        std::array<uint8_t, 25> hdds{};
        for (int p : selected)
            hdds[p] = 1;
        a->ScanDrives();
        a->SetDrives(hdds.data(), 25);
        a->Start(videoFiles, usedDisk, dir / "registry.sqlite");
        return a;
    }
    // A finished segment of `kb` KB in the temporary folder.
    ClosedSegment Temp(int camera, const std::string& name, uint64_t kb, int32_t motion = 0) {
        fs::path folder = fs::path(dir.Path()) / "Temp" / ("Kamera" + std::to_string(camera));
        fs::create_directories(folder);
        WriteFile((folder / name).string(), std::string(kb * 1024, 'x'));
        double start = 0;
        SegmentStartFromName(name, start);
        return ClosedSegment{camera, (folder / name).string(), name, start + kQuarterSecond, motion};
    }
    std::vector<std::string> Paths(const SegmentArchive& a) {
        std::vector<std::string> out;
        for (const auto& e : a.Entries())
            out.push_back(e.FileName.Get());
        return out;
    }
    int32_t Stored(const std::string& name) {
        RegistryStore s;
        int32_t v = -1;
        if (!s.Open(dir / "registry.sqlite") || !ReadCounter(s, name, v))
            return -1;
        return v;
    }
    // Recordings made earlier: their files on the drives (where the drive exists) and the index.
    void Recorded(const std::vector<std::string>& dosPaths) {
        DriveMap map(dir.Path());
        VideoIndex index;
        for (const auto& p : dosPaths) {
            fs::path file = map.Resolve(p);
            if (fs::exists(file.parent_path().parent_path().parent_path())) {
                fs::create_directories(file.parent_path());
                WriteFile(file.string(), "recording");
            }
            TVideoIndexEntry e;
            e.FileName.Set(p);
            e.Camera = static_cast<uint8_t>(std::stoi(p.substr(p.find("Kamera") + 6)));
            SegmentStartFromName(p.substr(p.rfind('\\') + 1), e.StartTime);
            index.Append(e);
        }
        std::string error;
        ASSERT_TRUE(index.Save(dir / "VideoIndex.dat", error)) << error;
    }
    bool OnDrive(const std::string& dosPath) {
        DriveMap map(dir.Path());
        return fs::exists(map.Resolve(dosPath));
    }

    TempDir dir;
    FakeDriveProbe probe;
    std::unique_ptr<FrameBank> bank = std::make_unique<FrameBank>();
    CameraFlags flags[5]{};
    std::atomic<char> recordDrive{'C'};
    std::atomic<bool> warned{false};
    RecorderLinks links{*bank, flags[0], flags[1], flags[2], flags[3], flags[4], recordDrive, warned};
    std::vector<std::string> logged;
    std::vector<std::string> warnings;
    RecorderHooks hooks{
        [this](const std::string& t, bool error) { logged.push_back((error ? "E " : "N ") + t); },
        [this](const std::string& t) { warnings.push_back(t); }, [] {}, nullptr,
        [this](int camera, const std::string& name, double) {
            archived.push_back(std::to_string(camera) + " " + name);
        }};
    std::vector<std::string> archived;
};

TEST_F(ArchiveTest, ASegmentFillsTheFirstDriveToItsReserveThenGoesToTheNext) {
    probe.SetCapacityKB('D', kReserve + 20);  // room for exactly one 20 KB segment
    auto a = Make({1, 2}, 0, 1);
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 20, 7)));
    ASSERT_TRUE(a->Archive(Temp(1, "010526100100.avi", 20)));
    ASSERT_TRUE(a->Archive(Temp(2, "010526100200.avi", 1)));
    EXPECT_EQ(Paths(*a), (std::vector<std::string>{"D:\\KEL2_Videos\\Kamera1\\010526100000.avi",
                                                   "E:\\KEL2_Videos\\Kamera1\\010526100100.avi",
                                                   "E:\\KEL2_Videos\\Kamera2\\010526100200.avi"}));
    for (const auto& p : Paths(*a))
        EXPECT_TRUE(OnDrive(p)) << p;
    EXPECT_FALSE(fs::exists(dir / "Temp/Kamera1/010526100000.avi"));
    EXPECT_EQ(a->Entries()[0].MotionCount, 7);
    EXPECT_EQ(archived,
              (std::vector<std::string>{"1 010526100000.avi", "1 010526100100.avi", "2 010526100200.avi"}))
        << "each indexed segment is handed on once (the off-site copies)";
    EXPECT_EQ(a->Entries()[0].Camera, 1);
    EXPECT_EQ(a->Entries()[2].Camera, 2);
    EXPECT_EQ(a->Counter(), 3);
    EXPECT_EQ(a->IndexedCount(), 3u);
    EXPECT_EQ(a->UsedDisk(), 1) << "archiving never moves where the search starts";
    EXPECT_EQ(recordDrive, 'E');
    EXPECT_EQ(Stored("VideoFiles"), 3);
    EXPECT_EQ(Stored("UsedDisk"), 2);
    std::string index = ReadFile(dir / "VideoIndex.dat");
    EXPECT_EQ(index.size(), 3 * sizeof(TVideoIndexEntry));
    EXPECT_EQ(ReadFile(dir / "~VideoIndex.dat"), index);
    EXPECT_TRUE(logged.empty()) << logged[0];
}

TEST_F(ArchiveTest, OneKilobyteShortOfTheReserveMovesOn) {
    probe.SetCapacityKB('D', kReserve + 20 - 1);
    auto a = Make({1, 2}, 0, 1);
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 20)));
    EXPECT_EQ(Paths(*a)[0][0], 'E');
}

TEST_F(ArchiveTest, WithEveryDriveFullTheOldestRecordingGoesAndTheSegmentTakesItsDrive) {
    probe.SetCapacityKB('D', kReserve + 20);
    probe.SetCapacityKB('E', kReserve + 20);
    auto a = Make({1, 2}, 0, 1);
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 20)));  // D
    ASSERT_TRUE(a->Archive(Temp(1, "010526100100.avi", 20)));  // E
    ASSERT_TRUE(a->Archive(Temp(3, "010526100200.avi", 20)));  // both full: the oldest (D) goes
    EXPECT_EQ(Paths(*a), (std::vector<std::string>{"E:\\KEL2_Videos\\Kamera1\\010526100100.avi",
                                                   "D:\\KEL2_Videos\\Kamera3\\010526100200.avi"}));
    EXPECT_FALSE(OnDrive("D:\\KEL2_Videos\\Kamera1\\010526100000.avi"));
    EXPECT_EQ(logged,
              (std::vector<std::string>{"N Usuniecie Pliku: D:\\KEL2_Videos\\Kamera1\\010526100000.avi"}));
    EXPECT_EQ(a->Counter(), 2);
    EXPECT_EQ(a->IndexedCount(), 2u);
    EXPECT_EQ(Stored("VideoFiles"), 2);
    EXPECT_EQ(Stored("UsedDisk"), 1);
    EXPECT_EQ(recordDrive, 'D');
}

// The oldest recording on a selected drive goes first, wherever it lies; recordings on drives
// that are not selected stay, and so do their entries.
TEST_F(ArchiveTest, DeleteOldestWorksAcrossTheSelectedDrivesOnly) {
    Recorded({"C:\\KEL2_Videos\\Kamera1\\010526100001.avi", "E:\\KEL2_Videos\\Kamera1\\010526100002.avi",
              "D:\\KEL2_Videos\\Kamera1\\010526100003.avi", "C:\\KEL2_Videos\\Kamera1\\010526100004.avi"});
    auto a = Make({1, 2}, 4);
    ASSERT_EQ(Paths(*a).size(), 4u);
    EXPECT_TRUE(a->DeleteOldest());
    EXPECT_EQ(a->CurrentLetter(), 'E');
    EXPECT_TRUE(a->DeleteOldest());
    EXPECT_EQ(a->CurrentLetter(), 'D');
    EXPECT_FALSE(a->DeleteOldest()) << "what is left lies on C:, which is not selected";
    EXPECT_EQ(Paths(*a), (std::vector<std::string>{"C:\\KEL2_Videos\\Kamera1\\010526100001.avi",
                                                   "C:\\KEL2_Videos\\Kamera1\\010526100004.avi"}));
    EXPECT_TRUE(OnDrive("C:\\KEL2_Videos\\Kamera1\\010526100001.avi"));
    EXPECT_FALSE(OnDrive("E:\\KEL2_Videos\\Kamera1\\010526100002.avi"));
    EXPECT_EQ(a->Counter(), 2);
}

// A recording on a drive that is there but no longer in the table (now removable) counts as
// position 20. A drive that is not there at all keeps its recordings, entries and all, until it
// comes back: nothing is deleted or forgotten for a drive briefly unplugged.
TEST_F(ArchiveTest, ARecordingOnADriveNoLongerInTheTableCountsAsPosition20) {
    fs::create_directories(dir / "drives/q:");
    probe.SetType('Q', DriveType::Removable);
    Recorded({"Q:\\KEL2_Videos\\Kamera1\\010101000000.avi"});
    EXPECT_EQ(Make({1})->Table().DriveIndex('Q'), 20);
    EXPECT_FALSE(Make({1}, 1)->DeleteOldest()) << "position 20 not selected";
    auto a = Make({1, 20}, 1);
    EXPECT_TRUE(a->DeleteOldest());
    EXPECT_EQ(a->Counter(), 0);

    Recorded({"R:\\KEL2_Videos\\Kamera1\\010101000000.avi"});  // R: is not there
    auto b = Make({1, 20}, 1);
    EXPECT_EQ(b->Counter(), 1) << "its entry waits";
    EXPECT_FALSE(b->DeleteOldest());
    EXPECT_EQ(b->Counter(), 1);
}

TEST_F(ArchiveTest, TheLongestPathIsFortyCharactersAndFitsItsEntry) {
    auto a = Make({2});
    ASSERT_TRUE(a->Archive(Temp(16, "311299235959.avi", 1, 3)));
    std::string bytes = ReadFile(dir / "VideoIndex.dat");
    ASSERT_EQ(bytes.size(), 72u);
    const std::string path = "E:\\KEL2_Videos\\Kamera16\\311299235959.avi";
    ASSERT_EQ(path.size(), 40u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 40);
    EXPECT_EQ(bytes.substr(1, 40), path);
    EXPECT_EQ(bytes.substr(41, 10), std::string(10, '\0'));
    EXPECT_EQ(static_cast<uint8_t>(bytes[51]), 16);
    EXPECT_EQ(bytes.substr(52, 4), std::string(4, '\0'));
    double start = 0;
    int32_t motion = 0;
    std::memcpy(&start, bytes.data() + 56, 8);
    std::memcpy(&motion, bytes.data() + 64, 4);
    double named = 0;
    ASSERT_TRUE(SegmentStartFromName("311299235959.avi", named));
    EXPECT_DOUBLE_EQ(start, named + kQuarterSecond);
    EXPECT_EQ(motion, 3);
    EXPECT_EQ(bytes.substr(68, 4), std::string(4, '\0'));
}

// The index is checked at every start. A damaged one falls back to its copy, and with both
// damaged the index is built again from the archive folders; either way the folders then win:
// an archived file the index lacks is added, an entry whose file is gone from a drive that is
// there is dropped, and the counter agrees with the file.
TEST_F(ArchiveTest, TheIndexIsCheckedAgainstItsCopyAndTheFolders) {
    const std::vector<std::string> recorded = {"D:\\KEL2_Videos\\Kamera1\\010526100000.avi",
                                               "E:\\KEL2_Videos\\Kamera2\\010526110000.avi"};
    const std::string entry(sizeof(TVideoIndexEntry), '\0');
    const struct {
        const char* what;
        std::function<void()> damage;
        int32_t count;
        const char* line;  // the log line it gives, if any
    } cases[] = {
        {"whole", [] {}, 2, nullptr},
        {"the count too low (a crash before it was written)", [] {}, 1, nullptr},
        {"the count too high", [] {}, 9, nullptr},
        {"cut short",
         [&] { WriteFile(dir / "VideoIndex.dat", ReadFile(dir / "VideoIndex.dat").substr(0, 100)); }, 2,
         "E Indeks nagran uszkodzony: odtworzono go z kopii"},
        {"cut at an entry's end",
         [&] { WriteFile(dir / "VideoIndex.dat", ReadFile(dir / "VideoIndex.dat").substr(0, 72)); }, 2,
         "E Indeks nagran uszkodzony: odtworzono go z kopii"},
        {"emptied", [&] { WriteFile(dir / "VideoIndex.dat", ""); }, 2,
         "E Indeks nagran uszkodzony: odtworzono go z kopii"},
        {"a start time no segment of that name could have",
         [&] {
             for (const char* file : {"VideoIndex.dat", "~VideoIndex.dat"}) {
                 std::string bytes = ReadFile(dir / file);
                 const double start = 1.5;  // 31 December 1899
                 std::memcpy(bytes.data() + 56, &start, sizeof start);
                 WriteFile(dir / file, bytes);
             }
         },
         2,
         "E Indeks nagran: pominieto 1 wpisow niemozliwych dla ich plikow (odtworzono je z folderow nagran)"},
        {"random bytes",
         [&] {
             WriteFile(dir / "VideoIndex.dat", std::string(144, '\x5A'));
             WriteFile(dir / "~VideoIndex.dat", std::string(144, '\x5A'));
         },
         2, "E Indeks nagran i jego kopia uszkodzone: odbudowano go z folderow nagran"},
        {"both missing",
         [&] {
             fs::remove(dir / "VideoIndex.dat");
             fs::remove(dir / "~VideoIndex.dat");
         },
         2, "E Indeks nagran i jego kopia uszkodzone: odbudowano go z folderow nagran"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Recorded(recorded);
        fs::copy_file(dir / "VideoIndex.dat", dir / "~VideoIndex.dat", fs::copy_options::overwrite_existing);
        c.damage();
        logged.clear();
        auto a = Make({1, 2}, c.count);
        EXPECT_EQ(Paths(*a), recorded);
        EXPECT_EQ(a->Counter(), 2);
        EXPECT_EQ(Stored("VideoFiles"), c.count == 2 && !c.line ? -1 : 2) << "written only when it changed";
        if (c.line) {
            EXPECT_EQ(logged.front(), c.line);
        }
        EXPECT_EQ(ReadFile(dir / "VideoIndex.dat").size(), 2 * entry.size());
        fs::remove(dir / "registry.sqlite");
    }
    // A file archived while the index was not written, and an entry whose file was deleted.
    Recorded(recorded);
    fs::remove(DriveMap(dir.Path()).Resolve(recorded[0]));
    fs::create_directories(dir / "drives/e:/KEL2_Videos/Kamera3");
    WriteFile(dir / "drives/e:/KEL2_Videos/Kamera3/010526090000.avi", "recording");
    WriteFile(dir / "drives/e:/KEL2_Videos/Kamera3/010526093000.avi.part", "a copy a crash cut off");
    logged.clear();
    auto a = Make({1, 2}, 2);
    EXPECT_EQ(Paths(*a),
              (std::vector<std::string>{"E:\\KEL2_Videos\\Kamera3\\010526090000.avi", recorded[1]}))
        << "oldest first";
    EXPECT_EQ(a->Entries()[0].Camera, 3);
    EXPECT_FALSE(fs::exists(dir / "drives/e:/KEL2_Videos/Kamera3/010526093000.avi.part"));
    EXPECT_EQ(logged,
              (std::vector<std::string>{"N Indeks nagran uzgodniony z folderami: dodano 1, usunieto 1"}));
}

// Each recording says how it was recorded, so an index built again from the folders keeps the
// motion marks and the exact starts: a closed segment its motion count, one a crash cut its mode,
// a file from before such notes nothing.
TEST_F(ArchiveTest, AnIndexBuiltAgainKeepsEachRecordingsMotionAndStart) {
    const std::string folder = dir / "drives/d:/KEL2_Videos/Kamera1";
    fs::create_directories(folder);
    const struct {
        const char* name;
        bool onMotion;
        int closedWith;  // -1: cut by a crash
        int32_t indexed;
    } cases[] = {
        {"010526100000.avi", false, 0, 0},
        {"010526100100.avi", true, 7, 7},
        {"010526100200.avi", true, -1, 1},
        {"010526100300.avi", false, -1, 0},
    };
    for (const auto& c : cases) {
        double start = 0;
        SegmentStartFromName(c.name, start);
        Segment seg;
        ASSERT_TRUE(seg.Open(folder + "/" + c.name, c.name, start + kQuarterSecond, 176, 144, 5, c.onMotion));
        ASSERT_TRUE(seg.WriteFrame(reinterpret_cast<const uint8_t*>("picture"), 7, "stamp"));
        if (c.closedWith >= 0) {
            ASSERT_TRUE(seg.Close(c.closedWith));
        }
    }
    WriteFile(folder + "/010526100400.avi", "recorded before notes");
    auto a = Make({1});
    const auto entries = a->Entries();
    ASSERT_EQ(entries.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(cases[i].name);
        double named = 0;
        SegmentStartFromName(cases[i].name, named);
        EXPECT_EQ(entries[i].MotionCount, cases[i].indexed);
        EXPECT_DOUBLE_EQ(entries[i].StartTime, named + kQuarterSecond);
    }
    EXPECT_EQ(entries[4].MotionCount, 0);
}

TEST_F(ArchiveTest, WithNoDriveSelectedTheSegmentIsDeleted) {
    auto a = Make({});
    ClosedSegment s = Temp(1, "010526100000.avi", 1);
    EXPECT_FALSE(a->Archive(s));
    EXPECT_FALSE(fs::exists(s.tempPath));
    EXPECT_EQ(a->Counter(), 0);
}

TEST_F(ArchiveTest, ASegmentThatCannotBeMovedStaysInTheTemporaryFolderUnindexed) {
    auto a = Make({1});
    // A file of the same name is there already: it is never replaced.
    fs::create_directories(dir / "drives/d:/KEL2_Videos/Kamera1");
    WriteFile(dir / "drives/d:/KEL2_Videos/Kamera1/010526100000.avi", "older");
    ClosedSegment s = Temp(1, "010526100000.avi", 1);
    EXPECT_FALSE(a->Archive(s));
    EXPECT_TRUE(fs::exists(s.tempPath));
    EXPECT_EQ(ReadFile(dir / "drives/d:/KEL2_Videos/Kamera1/010526100000.avi"), "older");
    // A drive whose folder has gone.
    fs::remove_all(dir / "drives/d:");
    ClosedSegment t = Temp(2, "010526100100.avi", 1);
    EXPECT_FALSE(a->Archive(t));
    EXPECT_TRUE(fs::exists(t.tempPath));
    EXPECT_FALSE(fs::exists(dir / "drives/d:")) << "a drive is never made by archiving";
    EXPECT_EQ(a->Counter(), 0);
    EXPECT_FALSE(fs::exists(dir / "VideoIndex.dat"));
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].rfind("E Nie mozna przeniesc pliku ", 0), 0u) << logged[0];
}

// A drive that goes (unmounted, unplugged) is said to be gone once, not as a lack of room at
// every try; the segments wait for it, and once it is back they are archived.
TEST_F(ArchiveTest, AMissingDriveIsSaidOnceAndItsSegmentsWaitForIt) {
    auto a = Make({1});
    fs::rename(dir / "drives/d:", dir / "unmounted");
    ClosedSegment s = Temp(1, "010526100000.avi", 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(a->Archive(s));
    EXPECT_TRUE(fs::exists(s.tempPath));
    EXPECT_EQ(logged, std::vector<std::string>{
                          "E Dysk D: jest niedostepny - nagrania czekaja w folderze tymczasowym"});
    EXPECT_EQ(warnings, std::vector<std::string>{"Dysk D: jest niedostępny.\nNagrania czekają w folderze "
                                                 "tymczasowym i zostaną przeniesione, gdy dysk wróci."});
    EXPECT_FALSE(warned) << "no lack of room";
    fs::rename(dir / "unmounted", dir / "drives/d:");
    EXPECT_TRUE(a->Archive(s));
    EXPECT_TRUE(OnDrive("D:\\KEL2_Videos\\Kamera1\\010526100000.avi"));
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1], "N Dysk D: jest znow dostepny");
}

// A drive's folder that is there but is not the disk recorded on (its disk unmounted, the bare
// mount point left on the system disk) is treated as gone: nothing is recorded into it, its
// recordings stay indexed, and a restart meanwhile does not drop them. A disk of its own mounted
// in its place is taken as a new drive.
TEST_F(ArchiveTest, ADriveThatIsNotTheDiskRecordedOnIsAbsentUntilItIsBack) {
    probe.SetMountPoint('D', true);
    auto a = Make({1});
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 1)));
    const std::string mark = ReadFile(dir / "drives/d:/KEL2_Videos/KEL2_Drive.id");
    ASSERT_EQ(mark.size(), 33u);
    EXPECT_EQ(ReadFile(dir / "DriveMarks.txt"), "D " + mark.substr(0, 32) + " mounted\n");

    fs::rename(dir / "drives/d:", dir / "disk");
    fs::create_directories(dir / "drives/d:");  // the bare mount point
    probe.SetMountPoint('D', false);
    ClosedSegment s = Temp(1, "010526100100.avi", 1);
    logged.clear();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(a->Archive(s));
    EXPECT_TRUE(fs::exists(s.tempPath));
    EXPECT_TRUE(fs::is_empty(dir / "drives/d:")) << "nothing is recorded onto the mount point";
    const std::string notOurs = "E Dysk D: nie jest dyskiem, na ktory nagrywano (brak jego znacznika "
                                "KEL2_Drive.id; czy dysk jest zamontowany?) - nagrania czekaja w folderze "
                                "tymczasowym";
    EXPECT_EQ(logged, std::vector<std::string>{notOurs});
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_FALSE(warned) << "no lack of room";

    logged.clear();
    auto restarted = Make({1}, 1);
    EXPECT_EQ(Paths(*restarted), std::vector<std::string>{"D:\\KEL2_Videos\\Kamera1\\010526100000.avi"})
        << "its recordings wait for it";
    EXPECT_EQ(logged, std::vector<std::string>{notOurs}) << "no reconciling with an empty folder";
    EXPECT_TRUE(fs::is_empty(dir / "drives/d:"));

    fs::remove(dir / "drives/d:");
    fs::rename(dir / "disk", dir / "drives/d:");
    probe.SetMountPoint('D', true);
    logged.clear();
    EXPECT_TRUE(restarted->Archive(s));
    EXPECT_EQ(logged, std::vector<std::string>{"N Dysk D: jest znow dostepny"});
    EXPECT_EQ(restarted->Counter(), 2);

    // A new disk mounted in its place is taken and marked.
    fs::rename(dir / "drives/d:", dir / "disk");
    fs::create_directories(dir / "drives/d:");
    logged.clear();
    EXPECT_TRUE(restarted->Archive(Temp(1, "010526100200.avi", 1)));
    EXPECT_EQ(logged, std::vector<std::string>{
                          "N Dysk D: to inny dysk niz poprzednio - nagrania beda zapisywane na nim"});
    const std::string newMark = ReadFile(dir / "drives/d:/KEL2_Videos/KEL2_Drive.id");
    EXPECT_NE(newMark, mark);
    EXPECT_EQ(ReadFile(dir / "DriveMarks.txt"), "D " + newMark.substr(0, 32) + " mounted\n");

    // A drive that is a plain folder has no mount to miss: a wiped folder is marked again.
    fs::remove_all(dir / "drives/e:/KEL2_Videos");
    auto e = Make({2});
    ASSERT_TRUE(e->Archive(Temp(1, "010526100300.avi", 1)));
    fs::remove_all(dir / "drives/e:/KEL2_Videos");
    logged.clear();
    EXPECT_TRUE(e->Archive(Temp(1, "010526100400.avi", 1)));
    EXPECT_EQ(logged, std::vector<std::string>{});
}

// Recordings made before drives were marked: a drive holding none of its indexed files is not
// trusted, one holding them is marked at the start.
TEST_F(ArchiveTest, AnUnmarkedDriveIsTrustedWhenItHoldsItsRecordings) {
    const std::vector<std::string> recorded = {"D:\\KEL2_Videos\\Kamera1\\010526100000.avi",
                                               "D:\\KEL2_Videos\\Kamera1\\010526100100.avi"};
    Recorded(recorded);
    fs::rename(dir / "drives/d:", dir / "disk");
    fs::create_directories(dir / "drives/d:");
    auto a = Make({1}, 2);
    EXPECT_EQ(Paths(*a), recorded);
    EXPECT_FALSE(fs::exists(dir / "DriveMarks.txt"));
    EXPECT_FALSE(a->Archive(Temp(1, "010526100200.avi", 1)));
    a.reset();

    fs::remove(dir / "drives/d:");
    fs::rename(dir / "disk", dir / "drives/d:");
    fs::remove(DriveMap(dir.Path()).Resolve(recorded[0]));
    logged.clear();
    a = Make({1}, 2);
    EXPECT_EQ(Paths(*a), std::vector<std::string>{recorded[1]});
    EXPECT_EQ(ReadFile(dir / "DriveMarks.txt"), "D " + ReadFile(dir / "drives/d:/KEL2_Videos/KEL2_Drive.id"))
        << "a plain folder";
    EXPECT_TRUE(a->Archive(Temp(1, "010526100200.avi", 1)));
}

// The same with a real disk: an ext4 image mounted on a loop device, unmounted under the
// station. Needs the right to mount; skipped, saying so, where the machine gives none.
TEST_F(ArchiveTest, ARealDiskUnmountedLeavesItsMountPointUnused) {
    const std::string image = dir / "disk.img", point = dir / "mnt";
    fs::create_directories(point);
    const std::string mount = "mount -o loop " + image + " " + point + " 2>/dev/null";
    if (std::system(
            ("truncate -s 1200M " + image + " && mkfs.ext4 -q -F " + image + " >/dev/null 2>&1").c_str()) !=
            0 ||
        std::system(mount.c_str()) != 0)
        GTEST_SKIP() << "no loop mount here (needs root and mkfs.ext4)";
    struct Unmount {
        std::string point;
        ~Unmount() { std::system(("umount " + point + " 2>/dev/null").c_str()); }
    } unmount{point};
    fs::remove(dir / "drives/d:");
    fs::create_directory_symlink(point, dir / "drives/d:");
    auto make = [&] {
        auto a = std::make_unique<SegmentArchive>(dir.Path(), SystemDriveProbe::Instance(), links, hooks);
        std::array<uint8_t, 25> hdds{};
        hdds[1] = 1;
        a->ScanDrives();
        a->SetDrives(hdds.data(), 25);
        a->Start(0, 1, dir / "registry.sqlite");
        return a;
    };
    auto a = make();
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 1)));
    ASSERT_TRUE(fs::exists(point + "/KEL2_Videos/Kamera1/010526100000.avi"));

    ASSERT_EQ(std::system(("umount " + point).c_str()), 0);
    ClosedSegment s = Temp(1, "010526100100.avi", 1);
    EXPECT_FALSE(a->Archive(s));
    a = make();
    EXPECT_EQ(a->Counter(), 1) << "the recording waits for its disk";
    EXPECT_FALSE(a->Archive(s));
    EXPECT_TRUE(fs::is_empty(point)) << "the mount point on the system disk stays empty";

    ASSERT_EQ(std::system(mount.c_str()), 0);
    EXPECT_TRUE(a->Archive(s));
    EXPECT_EQ(Paths(*a), (std::vector<std::string>{"D:\\KEL2_Videos\\Kamera1\\010526100000.avi",
                                                   "D:\\KEL2_Videos\\Kamera1\\010526100100.avi"}));
    EXPECT_TRUE(fs::exists(point + "/KEL2_Videos/Kamera1/010526100100.avi"));
}

TEST_F(ArchiveTest, AnIndexThatCannotBeWrittenKeepsTheStoreCountBehindTheFile) {
    auto a = Make({1});
    fs::create_directories(dir / "VideoIndex.dat");  // a folder in the way: the rename fails
    EXPECT_TRUE(a->Archive(Temp(1, "010526100000.avi", 1)));
    EXPECT_EQ(a->Counter(), 1);
    EXPECT_EQ(Stored("VideoFiles"), -1) << "not written: no index file holds the entry";
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].rfind("E Nie mozna zapisac indeksu nagran: ", 0), 0u) << logged[0];
    fs::remove(dir / "VideoIndex.dat");
    EXPECT_TRUE(a->Archive(Temp(1, "010526100100.avi", 1)));
    EXPECT_EQ(ReadFile(dir / "VideoIndex.dat").size(), 2 * sizeof(TVideoIndexEntry));
    EXPECT_EQ(Stored("VideoFiles"), 2);
    EXPECT_EQ(Make({1}, 2)->Counter(), 2);
}

TEST_F(ArchiveTest, NoRoomAnywhereWarnsOnceARunAndLogsOnceAStateWithACount) {
    probe.SetCapacityKB('D', kReserve);
    auto a = Make({1});
    ClosedSegment s = Temp(1, "010526100000.avi", 1), t = Temp(1, "010526100100.avi", 1);
    EXPECT_FALSE(a->Archive(s));
    EXPECT_FALSE(a->Archive(t));
    EXPECT_TRUE(fs::exists(s.tempPath));
    EXPECT_TRUE(fs::exists(t.tempPath));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "Brak wystarczającej przestrzeni do zapisu zdarzeń na Dyskach!\n"
                           "Zalecane zamknięcie aplikacji i zwolnienie miejsca na dyskach");
    EXPECT_EQ(logged,
              std::vector<std::string>(1, "E Brak wystarczającej przestrzeni do zapisu zdarzeń na Dyskach!"));
    EXPECT_TRUE(warned);
    probe.SetCapacityKB('D', kReserve + 10);  // room for both again
    EXPECT_TRUE(a->Archive(s));
    EXPECT_TRUE(a->Archive(t));
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "E Brak wystarczającej przestrzeni do zapisu zdarzeń na Dyskach!",
                          "N Ponownie jest miejsce na dyskach; wczesniej zapis wstrzymano 2 razy"}));
}

// Recordings are deleted only when that can make the room. A drive filled by someone else's files
// keeps every recording: the segment waits in the temporary folder and the operator is warned.
TEST_F(ArchiveTest, ADriveFilledByOtherFilesKeepsItsRecordings) {
    probe.SetCapacityKB('D', kReserve + 60);
    auto a = Make({1});
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 20)));
    ASSERT_TRUE(a->Archive(Temp(1, "010526100100.avi", 20)));
    WriteFile(dir / "drives/d:/other.bin", std::string(1000 * 1024, 'o'));
    ClosedSegment s = Temp(1, "010526100200.avi", 20);
    EXPECT_FALSE(a->Archive(s));
    EXPECT_EQ(a->Counter(), 2);
    EXPECT_TRUE(OnDrive("D:\\KEL2_Videos\\Kamera1\\010526100000.avi"));
    EXPECT_TRUE(fs::exists(s.tempPath));
    EXPECT_EQ(warnings.size(), 1u);
}

// Two drives full: D: by a foreign file that deleting its recordings could never make room for,
// E: by recordings. Only E:'s oldest goes, though D:'s are older; D: keeps every recording.
TEST_F(ArchiveTest, OnlyADriveThatDeletingCanFreeLosesRecordings) {
    probe.SetCapacityKB('D', kReserve + 40);
    probe.SetCapacityKB('E', kReserve + 40);
    auto a = Make({1, 2}, 0, 1);
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 20)));  // D
    ASSERT_TRUE(a->Archive(Temp(1, "010526100100.avi", 20)));  // D
    WriteFile(dir / "drives/d:/other.bin", std::string(100 * 1024, 'o'));
    ASSERT_TRUE(a->Archive(Temp(2, "010526100200.avi", 20)));  // E
    ASSERT_TRUE(a->Archive(Temp(2, "010526100300.avi", 20)));  // E
    ASSERT_TRUE(a->Archive(Temp(3, "010526100400.avi", 20)));  // E's oldest goes
    EXPECT_EQ(logged,
              (std::vector<std::string>{"N Usuniecie Pliku: E:\\KEL2_Videos\\Kamera2\\010526100200.avi"}));
    for (const char* kept :
         {"D:\\KEL2_Videos\\Kamera1\\010526100000.avi", "D:\\KEL2_Videos\\Kamera1\\010526100100.avi",
          "E:\\KEL2_Videos\\Kamera3\\010526100400.avi"})
        EXPECT_TRUE(OnDrive(kept)) << kept;
    EXPECT_EQ(a->Counter(), 4);
}

TEST_F(ArchiveTest, ResetForgetsEveryRecordingAndTheNextIndexHoldsOnlyNewOnes) {
    auto a = Make({1});
    ASSERT_TRUE(a->Archive(Temp(1, "010526100000.avi", 1)));
    a->ResetIndex();
    EXPECT_EQ(a->Counter(), 0);
    EXPECT_EQ(Stored("VideoFiles"), 0);
    EXPECT_TRUE(OnDrive("D:\\KEL2_Videos\\Kamera1\\010526100000.avi")) << "forgotten, not deleted";
    ASSERT_TRUE(a->Archive(Temp(1, "010526100100.avi", 1)));
    VideoIndex written;
    ASSERT_TRUE(written.LoadChecked(dir / "VideoIndex.dat"));
    ASSERT_EQ(written.Size(), 1u);
    EXPECT_EQ(written.At(0).FileName.Get(), "D:\\KEL2_Videos\\Kamera1\\010526100100.avi");
}

TEST_F(ArchiveTest, TheDriveTableHoldsFixedAndNetworkDrivesInLetterOrderWithTheirSpace) {
    for (const char* d : {"a:", "f:", "g:", "h:", "m:"})
        fs::create_directories(dir / ("drives/" + std::string(d)));
    probe.SetType('A', DriveType::Removable);
    probe.SetType('D', DriveType::CdRom);
    probe.SetType('F', DriveType::RamDisk);
    probe.SetType('G', DriveType::Remote);
    probe.SetType('H', DriveType::NoRootDir);
    probe.SetCapacityKB('E', 5ull << 30);  // 5 TiB: free space is counted in 64 bits
    auto a = Make({});
    EXPECT_EQ(a->FreeSpaceKB('e'), 5ull << 30);
    EXPECT_EQ(a->FreeSpaceKB('%'), 0u);
    DriveTable t = a->Table();
    EXPECT_EQ(std::string(t.Letters().begin(), t.Letters().begin() + 5), "CEGMZ");
    EXPECT_EQ(t.DriveIndex('g'), 2);
    EXPECT_EQ(t.DriveIndex('Z'), 20) << "the last of the fillers up to 20";
    EXPECT_EQ(t.DriveIndex('D'), 20);
}

// Holds the thread that reaches one of `steps` on a path containing `part` until it is opened.
class Gate : public FileFaults {
public:
    Gate(std::vector<FileStep> steps, std::string part) : steps_(std::move(steps)), part_(std::move(part)) {}
    int Before(FileStep step, const char* path, size_t&) override {
        if (std::find(steps_.begin(), steps_.end(), step) == steps_.end() || !path ||
            std::string(path).find(part_) == std::string::npos)
            return 0;
        std::unique_lock<std::mutex> lock(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        return 0;
    }
    bool WaitHeld() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return held_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    const std::vector<FileStep> steps_;
    const std::string part_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false, open_ = false;
};

// The archive decides under its lock and does its disk work outside it: while an archiving is held
// in the middle of moving the segment, deleting a recording for room, or writing the index, the
// index, the counter and the current drive are still answered (as a remote viewer and the console
// ask for them), and the archiving ends whole once the disk moves again.
TEST_F(ArchiveTest, ReadersNeverWaitForTheArchivesDiskWork) {
    const struct {
        const char* what;
        std::vector<FileStep> steps;
        const char* part;
    } cases[] = {
        {"the move", {FileStep::Rename, FileStep::Link}, "Temp"},
        {"a deletion for room", {FileStep::Remove}, "010526090000"},
        {"the index", {FileStep::Create}, "VideoIndex"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "drives/d:");
        fs::create_directories(dir / "drives/d:");
        fs::remove(dir / "VideoIndex.dat");
        fs::remove(dir / "~VideoIndex.dat");
        Recorded({"D:\\KEL2_Videos\\Kamera1\\010526090000.avi"});
        WriteFile(dir / "drives/d:/KEL2_Videos/Kamera1/010526090000.avi", std::string(20 * 1024, 'x'));
        probe.SetCapacityKB('D', kReserve + 20);  // the recording made earlier leaves no room
        auto a = Make({1}, 1, 1);
        Gate gate(c.steps, c.part);
        SetFileFaults(&gate);
        auto archived =
            std::async(std::launch::async, [&] { return a->Archive(Temp(2, "010526100000.avi", 20)); });
        const bool held = gate.WaitHeld();
        EXPECT_TRUE(held) << "the step never came";
        if (held) {
            auto read = std::async(std::launch::async, [&] {
                return std::make_tuple(a->Entries().size(), a->Counter(), a->CurrentLetter(),
                                       a->ArchivedFile(2, "010526100000.avi"));
            });
            EXPECT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready)
                << "a reader waited for the disk";
            gate.Open();
            read.wait();
        }
        gate.Open();
        EXPECT_TRUE(archived.get());
        SetFileFaults(nullptr);
        EXPECT_EQ(Paths(*a), (std::vector<std::string>{"D:\\KEL2_Videos\\Kamera2\\010526100000.avi"}));
        EXPECT_EQ(Stored("VideoFiles"), 1);
    }
}

}  // namespace
}  // namespace kel
