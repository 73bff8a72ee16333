#pragma once
// Where finished segments go. A closed segment is moved from the temporary folder to a recording
// drive, "<L>:\KEL2_Videos\Kamera<n>\<name>", and entered in the index; the index files and the
// store's counters VideoFiles and UsedDisk follow every archived segment.
//
// The drive: the search starts at the position UsedDisk (or the first selected position when that
// one is not selected) and moves on to the next selected position up to 20 while the drive would
// keep less than 1,000,000 KB free after the segment. When no position has room, recordings are
// deleted, oldest first, on the one selected drive where deleting them can make the room (of
// several such drives, the one holding the oldest recording), and the segment goes there; a drive
// filled by other files keeps its recordings. When nothing is left to delete, the segment stays in the
// temporary folder: the operator is warned once a run, and the log says so once, and once again
// with a count when there is room again. When every selected drive is gone (unplugged, or its
// folder is there but it is not the disk the station recorded on: a mount point without its
// disk, see DriveMarks) the segment waits too; that is said once, and once again when a drive is
// back. Such a drive is neither searched for recordings nor written to, and its entries wait.
//
// A segment that cannot be moved stays in the temporary folder and is not indexed. The counter is
// written to the store only after the index file that holds as many entries was written, so the
// store's count never exceeds the file's entries.
//
// Segments are archived by the archiving thread and, at the start and the shutdown, by the window
// thread, one at a time. The state is guarded by one lock, held only to decide: which drive, which
// recording makes room. The files are moved and deleted, and the index and counters written,
// outside it, so a reader of the index (a remote viewer, the console) never waits for a disk.
// Every change of the index bumps its version; the writer takes the newest version under the lock
// and writes it in the order versions were made (one writer at a time), so a slow write never
// lets an older index overwrite a newer one.

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "platform/drive_probe.h"
#include "platform/guarded.h"
#include "platform/registry_store.h"
#include "recording/drive_marks.h"
#include "recording/drive_table.h"
#include "recording/recorder_links.h"
#include "recording/video_index.h"

namespace kel {

struct ClosedSegment {
    int camera = 0;
    std::string tempPath;  // the finished file in the temporary folder
    std::string name;      // "ddmmyyhhmmss.avi", or ".mp4" for a stream recorded as sent
    double startTime = 0;
    int32_t motionCount = 0;
    bool unfinished = false;  // its index could not be written (a full disk): it is mended first
};

class SegmentArchive {
public:
    static constexpr uint64_t kReserveKB = 1000000;
    static constexpr const char* kNoRoom = "Brak wystarczającej przestrzeni do zapisu zdarzeń na Dyskach!";
    static constexpr const char* kNoRoomAdvice =
        "Zalecane zamknięcie aplikacji i zwolnienie miejsca na dyskach";
    static constexpr const char* kDeleted = "Usuniecie Pliku: ";
    static constexpr const char* kWaitForDrive =
        "Nagrania czekają w folderze tymczasowym i zostaną przeniesione, gdy dysk wróci.";
    static constexpr int kDriveFlags = 25;

    // The archive of the station in `workDir` (absolute): its drive map, index files and
    // temporary folder are there.
    SegmentArchive(std::string workDir, const DriveProbe& probe, const RecorderLinks& links,
                   const RecorderHooks& hooks);

    // Start-up, before any segment is archived.
    bool EnsureDriveC();
    void ScanDrives();
    // counter := videoFiles; current drive := the table's entry usedDisk; the index is loaded
    // and the recorder's own store handle opened.
    void Start(int32_t videoFiles, int32_t usedDisk, const std::string& storeFile);

    // The first `count` (at most 25) drive-selection flags.
    void SetDrives(const uint8_t* flags, int count);
    bool AnyDriveSelected() const;
    // The first selected position becomes UsedDisk and the current drive; false, changing
    // nothing, when no drive is selected. `letter` receives the drive's letter.
    bool SelectFirstDrive(char& letter);

    // Free space of a drive in KB (free bytes / 1024); 0 when it cannot be read.
    uint64_t FreeSpaceKB(char letter) const;
    // Free and total KB of a drive; false when it cannot be read.
    bool DriveUsage(char letter, uint64_t& freeKB, uint64_t& totalKB) const;

    // True when the segment was moved and indexed.
    bool Archive(const ClosedSegment& segment);
    // Deletes the oldest recording on a selected drive; false when there is none.
    bool DeleteOldest();
    // What DeleteExpired deleted: how many recordings of each camera (index 1..16).
    struct Expired {
        std::array<int, 17> perCamera{};
        int total = 0;
    };
    // Deletes every recording that started more than its camera's `keepDays[n - 1]` days before
    // `now` (a date-time value; 0 days keeps the camera's recordings until room is needed), file
    // and index entry, as the rotation deletes. A recording on a drive that is not there waits
    // for it to come back.
    Expired DeleteExpired(const std::array<int32_t, 16>& keepDays, double now);
    // The disk-full warning, once a run; its log line once each time the room runs out (the line
    // when it is back counts the segments held back meanwhile). Any thread.
    void NoRoom();
    // Forgets every recording: the counter and the store's VideoFiles become 0.
    void ResetIndex();
    // Deletes every recording: the contents of each drive's recordings folder but its mark, then
    // the index as ResetIndex; an archiving under way ends first and none starts meanwhile. What
    // could not be deleted, each "<path>: <why>".
    std::vector<std::string> DeleteAll();

    char CurrentLetter() const;
    int32_t Counter() const;
    int32_t UsedDisk() const;
    std::vector<TVideoIndexEntry> Entries() const;
    // Where the indexed recording of `camera` named `name` is on this machine; empty when the
    // index holds none.
    std::string ArchivedFile(int camera, const std::string& name) const;
    // How many recordings the index lists, without waiting for an archiving under way (the
    // remote viewers ask for it).
    size_t IndexedCount() const { return indexed_.load(std::memory_order_relaxed); }
    DriveTable Table() const;
    const DriveMap& Map() const { return map_; }
    std::string IndexPath() const;

private:
    void LoadIndexLocked() KEL_REQUIRES(mutex_);
    bool Reconcile() KEL_REQUIRES(mutex_);                      // true when the index changed
    int FirstSelected() const KEL_REQUIRES(mutex_);             // -1 when none
    int NextSelected(int position) const KEL_REQUIRES(mutex_);  // up to 20, -1 when none
    bool Selected(int position) const KEL_REQUIRES(mutex_);
    int64_t FreeKB(int position) KEL_REQUIRES(mutex_);  // 0 for a drive not there
    // What a look for room ends in: the drive found, a recording to delete before looking again
    // (its entry already out of the index), or no room anywhere.
    enum class Room { Found, Delete, None };
    // Moves `position` on until its drive keeps the reserve with `needKB` more on it; when no
    // selected drive up to position 20 has room, takes the oldest recording of the drive that
    // deleting can free (`freeing`, kept between looks) out of the index into `doomed`.
    Room FindRoom(int& position, uint64_t needKB, char& freeing, std::string& doomed) KEL_REQUIRES(mutex_);
    // The body of Archive, under the archiving lock.
    bool Place(const ClosedSegment& segment) KEL_REQUIRES(archiving_) KEL_EXCLUDES(mutex_);
    // The index files and then the counters, as the newest version stands, unless that one was
    // written already. Takes the lock only to copy them.
    void SaveIndex() KEL_EXCLUDES(mutex_, save_mutex_);
    // The oldest recording on a selected drive (onlyOn 0: any) out of the index; its file, to be
    // deleted outside the lock, in `doomed`. False when there is none.
    bool TakeOldest(char onlyOn, std::string& doomed) KEL_REQUIRES(mutex_);
    // Deletes a file TakeOldest took out of the index; one already gone is no failure.
    static void Delete(const std::string& doomed);
    // Whether the drive is there and is the disk the station recorded on,
    // as last examined (examined now when it never was).
    bool DrivePresent(char letter) KEL_REQUIRES(mutex_);
    enum class DriveState { Missing, Ours, NotOurs };
    // Looks at the drive's folder and mark now; a drive taken for the
    // first time gets its mark.
    DriveState Examine(char letter) KEL_REQUIRES(mutex_);
    // Whether the index lists recordings on the drive and none of their
    // files is there.
    bool IndexedButNoneThere(char letter) const KEL_REQUIRES(mutex_);
    // Examines the selected drives; whether any of them is there. Says
    // which went, which is not what it was and which came back.
    bool CheckDrivesPresent() KEL_REQUIRES(mutex_);
    // The selected drive that is there on which deleting its indexed
    // recordings would leave the reserve and `needKB` free, the one with the oldest recording
    // when several could; 0 when none can. Deleting then keeps to that drive.
    char DriveToFree(int64_t needKB) KEL_REQUIRES(mutex_);
    bool PlaceFile(const ClosedSegment& segment, char letter, std::string& dosPath);
    void Index(const ClosedSegment& segment, const std::string& dosPath) KEL_REQUIRES(mutex_);
    void Log(const std::string& text, bool error) const;
    void RoomAgain();

    // Fixed after construction.
    const std::string work_dir_;
    const DriveMap map_;
    const DriveProbe& probe_;
    const RecorderLinks& links_;
    const RecorderHooks& hooks_;

    Mutex archiving_;   // held for a whole archiving: one at a time
    Mutex save_mutex_;  // one index writer at a time; taken before mutex_, never while holding it
    mutable Mutex mutex_;
    std::atomic<bool> any_selected_{false};
    std::atomic<size_t> indexed_{0};    // index_.Size(), published for readers without the lock
    std::atomic<bool> no_room_{false};  // the room ran out and has not come back
    std::atomic<int> held_back_{0};     // segments held back since it ran out
    DriveTable table_ KEL_GUARDED_BY(mutex_);
    std::array<uint8_t, kDriveFlags> hdds_ KEL_GUARDED_BY(mutex_){};
    int32_t used_disk_ KEL_GUARDED_BY(mutex_) = 0;
    char current_ KEL_GUARDED_BY(mutex_) = 'C';
    int32_t counter_ KEL_GUARDED_BY(mutex_) = 0;
    VideoIndex index_ KEL_GUARDED_BY(mutex_);
    uint64_t version_ KEL_GUARDED_BY(mutex_) = 0;  // of the index and counters; bumped at every change
    RegistryStore store_ KEL_GUARDED_BY(save_mutex_);
    bool store_failed_ KEL_GUARDED_BY(save_mutex_) = false;
    uint64_t saved_version_ KEL_GUARDED_BY(save_mutex_) = 0;
    DriveMarks marks_ KEL_GUARDED_BY(mutex_);
    std::map<char, DriveState> states_ KEL_GUARDED_BY(mutex_);    // as last examined
    std::map<char, DriveState> reported_ KEL_GUARDED_BY(mutex_);  // selected drives said to be away
};

}  // namespace kel
