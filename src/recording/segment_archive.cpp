#include "recording/segment_archive.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "config/registry_values.h"
#include "platform/file_faults.h"
#include "platform/guarded.h"
#include "platform/safe_file.h"
#include "recording/segment.h"
#include "recording/segment_repair.h"

namespace kel {

namespace fs = std::filesystem;

namespace {

bool IsLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

uint64_t FileBytes(const std::string& path) {
    std::error_code ec;
    uint64_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

}  // namespace

SegmentArchive::SegmentArchive(std::string workDir, const DriveProbe& probe, const RecorderLinks& links,
                               const RecorderHooks& hooks)
    : work_dir_(std::move(workDir)), map_(work_dir_), probe_(probe), links_(links), hooks_(hooks),
      marks_(work_dir_) {}

void SegmentArchive::Log(const std::string& text, bool error) const {
    if (hooks_.log)
        hooks_.log(text, error);
}

bool SegmentArchive::EnsureDriveC() {
    // The map is fixed; only its folder on disk is made here.
    DriveMap map(work_dir_);
    if (map.EnsureDriveC())
        return true;
    Log("Nie mozna utworzyc dysku C: " + map.ErrorText(), true);
    return false;
}

void SegmentArchive::ScanDrives() {
    MutexLock lock(mutex_);
    table_.Scan(map_, probe_);
    states_.clear();
}

std::string SegmentArchive::IndexPath() const {
    return (fs::path(work_dir_) / VideoIndex::kFile).string();
}

void SegmentArchive::Start(int32_t videoFiles, int32_t usedDisk, const std::string& storeFile) {
    {
        MutexLock save(save_mutex_);
        if (!storeFile.empty() && !store_.Open(storeFile))
            Log("Nie mozna otworzyc magazynu ustawien: " + store_.ErrorText(), true);
    }
    {
        MutexLock lock(mutex_);
        counter_ = videoFiles;
        used_disk_ = usedDisk;
        current_ = table_.Letter(usedDisk);
        LoadIndexLocked();
    }
    SaveIndex();
    MutexLock lock(mutex_);
    CheckDrivesPresent();
}

// The index or its copy, whichever holds more plausible entries, or nothing when neither can be
// read; then checked against the archive folders, and written back with the counter when anything
// changed.
void SegmentArchive::LoadIndexLocked() {
    const std::string copy = (fs::path(work_dir_) / VideoIndex::kCopy).string();
    std::error_code ec;
    const bool anyFile = fs::exists(IndexPath(), ec) || fs::exists(copy, ec);
    const VideoIndex::Loaded loaded = index_.LoadBest(IndexPath(), copy);
    bool changed = loaded.dropped > 0;
    if (loaded.from == VideoIndex::Source::Neither || (index_.Size() == 0 && loaded.dropped > 0)) {
        index_.Clear();
        changed = anyFile || counter_ > 0;
        if (changed)
            Log("Indeks nagran i jego kopia uszkodzone: odbudowano go z folderow nagran", true);
    } else {
        if (loaded.from == VideoIndex::Source::Copy) {
            Log("Indeks nagran uszkodzony: odtworzono go z kopii", true);
            changed = true;
        }
        if (loaded.dropped > 0)
            Log("Indeks nagran: pominieto " + std::to_string(loaded.dropped) +
                    " wpisow niemozliwych dla ich plikow (odtworzono je z folderow nagran)",
                true);
        changed = changed || static_cast<int32_t>(index_.Size()) != counter_;
    }
    changed = Reconcile() || changed;
    counter_ = static_cast<int32_t>(index_.Size());
    indexed_.store(index_.Size(), std::memory_order_relaxed);
    if (changed)
        ++version_;
    if (counter_ == 0)
        if (int p = FirstSelected(); p >= 0)
            current_ = table_.Letter(p);
}

// What the folders hold wins: an entry whose file is gone from a drive that is there is dropped,
// an archived file the index lacks is added. The entries of a drive that is not there wait for it.
bool SegmentArchive::Reconcile() {
    std::map<std::string, TVideoIndexEntry> onDisk;  // by DOS path
    std::error_code ec;
    states_.clear();
    for (char letter : table_.Letters()) {
        if (letter == 'Z' || !DrivePresent(letter))
            continue;  // a bare mount point's files are not the drive's recordings
        for (int n = 1; n <= kCameraCount; ++n) {
            const std::string folder = map_.Resolve(VideoIndex::ArchivePath(letter, n, ""));
            for (const auto& e : fs::directory_iterator(folder, ec)) {
                if (e.path().extension() == kPartSuffix) {
                    // A copy a crash cut off; its source is still in the temporary folder.
                    FileRemove(e.path().c_str());
                    continue;
                }
                TVideoIndexEntry entry;
                entry.FileName.Set(VideoIndex::ArchivePath(letter, n, e.path().filename().string()));
                entry.Camera = static_cast<uint8_t>(n);
                if (SegmentStartFromName(e.path().filename().string(), entry.StartTime) &&
                    e.is_regular_file(ec) && VideoIndex::Plausible(entry))
                    onDisk.emplace(entry.FileName.Get(), entry);
            }
        }
    }
    std::map<char, bool> present;  // drive letter: its folder is there
    std::set<std::string> indexed;
    std::vector<TVideoIndexEntry>& entries = index_.Mutable();
    const size_t before = entries.size();
    std::erase_if(entries, [&](const TVideoIndexEntry& e) KEL_REQUIRES(mutex_) {
        const std::string path = e.FileName.Get();
        auto [drive, fresh] = present.try_emplace(path[0], false);
        if (fresh)
            drive->second = DrivePresent(path[0]);
        const bool gone =
            drive->second && !onDisk.count(path) && !fs::is_regular_file(map_.Resolve(path), ec);
        return gone || !indexed.insert(path).second;
    });
    const size_t dropped = before - entries.size();
    size_t added = 0;
    for (auto& [path, entry] : onDisk)
        if (!indexed.count(path)) {
            // What the index lacks of a recording its file tells: the exact start and the motion.
            SegmentNote note;
            if (Segment::ReadNote(map_.Resolve(path), note)) {
                entry.MotionCount = note.IndexedMotion();
                if (VideoIndex::StartFitsName(note.startTime, path.substr(path.rfind('\\') + 1)))
                    entry.StartTime = note.startTime;
            }
            entries.push_back(entry);
            ++added;
        }
    if (dropped == 0 && added == 0)
        return false;
    index_.SortByStart();
    Log("Indeks nagran uzgodniony z folderami: dodano " + std::to_string(added) + ", usunieto " +
            std::to_string(dropped),
        false);
    return true;
}

// Both index files, then the counters: the store's count never exceeds the file's entries.
void SegmentArchive::SaveIndex() {
    MutexLock save(save_mutex_);
    VideoIndex index;
    int32_t counter = 0, usedDisk = 0;
    uint64_t version = 0;
    {
        MutexLock lock(mutex_);
        if (version_ == saved_version_)
            return;
        index = index_;
        counter = counter_;
        usedDisk = table_.DriveIndex(current_);
        version = version_;
    }
    std::string error;
    if (!index.Save(IndexPath(), error) ||
        !index.Save((fs::path(work_dir_) / VideoIndex::kCopy).string(), error)) {
        // The store keeps the count of the last index written whole; the next change writes the
        // file again with these entries in it.
        Log("Nie mozna zapisac indeksu nagran: " + error, true);
        return;
    }
    if (!WriteCounter(store_, "VideoFiles", counter) || !WriteCounter(store_, "UsedDisk", usedDisk)) {
        if (!store_failed_)
            Log("Nie mozna zapisac licznika nagran: " + store_.ErrorText(), true);
        store_failed_ = true;
        return;
    }
    store_failed_ = false;
    saved_version_ = version;
}

void SegmentArchive::SetDrives(const uint8_t* flags, int count) {
    MutexLock lock(mutex_);
    for (int i = 0; i < count && i < kDriveFlags; ++i)
        hdds_[i] = flags[i];
    any_selected_.store(FirstSelected() >= 0, std::memory_order_relaxed);
}

bool SegmentArchive::Selected(int position) const {
    return position >= 0 && position < DriveTable::kEntries && hdds_[position] != 0;
}

int SegmentArchive::FirstSelected() const {
    for (int p = 0; p < DriveTable::kEntries; ++p)
        if (Selected(p))
            return p;
    return -1;
}

int SegmentArchive::NextSelected(int position) const {
    for (int p = position + 1; p <= DriveTable::kLastPosition; ++p)
        if (Selected(p))
            return p;
    return -1;
}

// Asked by the recorder on every pass: it never waits for an archiving under way.
bool SegmentArchive::AnyDriveSelected() const {
    return any_selected_.load(std::memory_order_relaxed);
}

bool SegmentArchive::SelectFirstDrive(char& letter) {
    MutexLock lock(mutex_);
    int p = FirstSelected();
    if (p < 0)
        return false;
    used_disk_ = p;
    current_ = letter = table_.Letter(p);
    return true;
}

bool SegmentArchive::DriveUsage(char letter, uint64_t& freeKB, uint64_t& totalKB) const {
    freeKB = totalKB = 0;
    std::string root = map_.DrivePath(letter);
    DriveSpace space;
    if (root.empty() || !probe_.Space(root, space))
        return false;
    freeKB = space.freeBytes / 1024;
    totalKB = space.totalBytes / 1024;
    return true;
}

uint64_t SegmentArchive::FreeSpaceKB(char letter) const {
    uint64_t freeKB = 0, totalKB = 0;
    DriveUsage(letter, freeKB, totalKB);
    return freeKB;
}

int64_t SegmentArchive::FreeKB(int position) {
    // A drive that is not the disk recorded on has no room for recordings, whatever its folder has.
    const char letter = table_.Letter(position);
    return DrivePresent(letter) ? static_cast<int64_t>(FreeSpaceKB(letter)) : 0;
}

// One archiving at a time (the archiving thread, or the start-up before it runs); the index is
// written after it, whatever it changed (a recording deleted for room counts too).
bool SegmentArchive::Archive(const ClosedSegment& segment) {
    MutexLock one(archiving_);
    const bool placed = Place(segment);
    SaveIndex();
    return placed;
}

// The lock is held only to decide; the files are deleted and moved without it, which may take
// long on a slow drive. Nothing else archives meanwhile, so the drive chosen stays chosen.
bool SegmentArchive::Place(const ClosedSegment& segment) {
    const uint64_t needKB = FileBytes(segment.tempPath) / 1024;
    char letter = 0, freeing = 0;
    int p = -1;
    for (bool first = true;; first = false) {
        std::string doomed;
        {
            MutexLock lock(mutex_);
            if (first) {
                p = Selected(used_disk_) ? used_disk_ : FirstSelected();
                if (p < 0)
                    break;
                if (!CheckDrivesPresent())
                    return false;  // the segment waits for its drive; that is no lack of room
            }
            const Room room = FindRoom(p, needKB, freeing, doomed);
            if (room == Room::None) {
                NoRoom();
                return false;
            }
            if (room == Room::Found) {
                current_ = letter = table_.Letter(p);
                break;
            }
        }
        Delete(doomed);
    }
    if (p < 0) {
        // Nowhere to keep it: the operator chose to record to no drive.
        FileRemove(segment.tempPath.c_str());
        return false;
    }
    std::string dosPath;
    if (!PlaceFile(segment, letter, dosPath))
        return false;
    {
        MutexLock lock(mutex_);
        current_ = letter;
        Index(segment, dosPath);
    }
    if (hooks_.archived)
        hooks_.archived(segment.camera, segment.name, segment.startTime);
    return true;
}

SegmentArchive::Room SegmentArchive::FindRoom(int& position, uint64_t needKB, char& freeing,
                                              std::string& doomed) {
    const int64_t need = static_cast<int64_t>(needKB);
    const int64_t reserve = static_cast<int64_t>(kReserveKB);
    current_ = table_.Letter(position);
    int64_t free = FreeKB(position);
    while (free - reserve < need) {
        int next = position < DriveTable::kLastPosition ? NextSelected(position) : -1;
        if (next >= 0) {
            position = next;
            current_ = table_.Letter(position);
        } else {
            // Recordings are deleted only on a drive where that can make the room: a drive filled
            // by other files must not lose its recordings for nothing.
            if (!freeing && !(freeing = DriveToFree(need)))
                return Room::None;
            if (!TakeOldest(freeing, doomed))
                return Room::None;
            position = table_.DriveIndex(freeing);
            return Room::Delete;
        }
        free = FreeKB(position);
    }
    return Room::Found;
}

// A selected drive that is gone or is not what it was is said once when it goes and once when
// it is back, not at every segment that waits for it.
bool SegmentArchive::CheckDrivesPresent() {
    bool any = false;
    for (int p = 0; p < DriveTable::kEntries; ++p) {
        if (!Selected(p))
            continue;
        const char letter = table_.Letter(p);
        const DriveState state = states_[letter] = Examine(letter);
        any = any || state == DriveState::Ours;
        const std::string drive = std::string{"Dysk "} + letter + ":";
        auto said = reported_.find(letter);
        if (state == DriveState::Ours) {
            if (said != reported_.end()) {
                reported_.erase(said);
                Log(drive + " jest znow dostepny", false);
            }
            continue;
        }
        if (said != reported_.end() && said->second == state)
            continue;
        reported_[letter] = state;
        if (state == DriveState::Missing) {
            Log(drive + " jest niedostepny - nagrania czekaja w folderze tymczasowym", true);
            if (hooks_.warn)
                hooks_.warn(drive + " jest niedostępny.\n" + kWaitForDrive);
        } else {
            Log(drive + " nie jest dyskiem, na ktory nagrywano (brak jego znacznika " +
                    DriveMarks::kMarkFile +
                    "; czy dysk jest zamontowany?) - nagrania czekaja w folderze tymczasowym",
                true);
            if (hooks_.warn)
                hooks_.warn(drive + " nie jest dyskiem, na który nagrywano (czy jest zamontowany?).\n" +
                            kWaitForDrive);
        }
    }
    return any;
}

bool SegmentArchive::DrivePresent(char letter) {
    letter = Upper(letter);
    auto it = states_.find(letter);
    if (it == states_.end())
        it = states_.emplace(letter, Examine(letter)).first;
    return it->second == DriveState::Ours;
}

SegmentArchive::DriveState SegmentArchive::Examine(char letter) {
    letter = Upper(letter);
    const std::string root = map_.DrivePath(letter);
    std::error_code ec;
    if (root.empty() || !fs::is_directory(root, ec))
        return DriveState::Missing;
    const DriveMarks::Mark kept = marks_.Kept(letter);
    std::string found = DriveMarks::Read(root);
    if (!kept.name.empty() && found == kept.name)
        return DriveState::Ours;
    const bool mounted = probe_.MountPoint(root);
    // Where a disk was mounted, a plain folder is its bare mount point: never the drive. So is a
    // drive the index lists recordings on, without its recordings folder, before any mark was kept
    // (a station that recorded before drives were marked).
    if (!mounted && (kept.mounted || (kept.name.empty() && found.empty() && IndexedButNoneThere(letter) &&
                                      !fs::exists(fs::path(root) / "KEL2_Videos", ec))))
        return DriveState::NotOurs;
    if (found.empty()) {
        // Nothing of ours to protect on a drive nobody records to.
        if (kept.name.empty() && !Selected(table_.DriveIndex(letter)) &&
            !fs::is_directory(fs::path(root) / "KEL2_Videos", ec))
            return DriveState::Ours;
        std::string error;
        found = DriveMarks::Write(root, error);
        if (found.empty()) {
            Log("Nie mozna oznaczyc dysku " + std::string{letter} + ": " + error, true);
            return DriveState::Ours;  // as before drives were marked
        }
    }
    if (kept.mounted)
        Log("Dysk " + std::string{letter} + ": to inny dysk niz poprzednio - nagrania beda zapisywane na nim",
            false);
    std::string error;
    if (!marks_.Keep(letter, {found, mounted}, error))
        Log("Nie mozna zapisac znacznikow dyskow: " + error, true);
    return DriveState::Ours;
}

bool SegmentArchive::IndexedButNoneThere(char letter) const {
    bool any = false;
    std::error_code ec;
    for (const TVideoIndexEntry& e : index_.Entries()) {
        const std::string path = e.FileName.Get();
        if (path.empty() || Upper(path[0]) != letter)
            continue;
        if (fs::exists(map_.Resolve(path), ec))
            return false;
        any = true;
    }
    return any;
}

char SegmentArchive::DriveToFree(int64_t needKB) {
    std::map<char, int64_t> deletable;
    std::vector<char> byAge;  // the drives in the order of their oldest recording
    for (const TVideoIndexEntry& e : index_.Entries()) {
        const std::string path = e.FileName.Get();
        if (path.empty() || !IsLetter(path[0]) || !Selected(table_.DriveIndex(path[0])) ||
            !DrivePresent(path[0]))
            continue;
        const char letter = Upper(path[0]);
        if (!deletable.count(letter))
            byAge.push_back(letter);
        deletable[letter] += static_cast<int64_t>(FileBytes(map_.Resolve(path)) / 1024);
    }
    for (const char letter : byAge)
        if (static_cast<int64_t>(FreeSpaceKB(letter)) + deletable[letter] -
                static_cast<int64_t>(kReserveKB) >=
            needKB)
            return letter;
    return 0;
}

bool SegmentArchive::PlaceFile(const ClosedSegment& segment, char letter, std::string& dosPath) {
    const std::string folder =
        std::string{letter} + ":\\KEL2_Videos\\Kamera" + std::to_string(segment.camera);
    dosPath = folder + "\\" + segment.name;
    const std::string target = map_.Resolve(dosPath);
    std::error_code ec;
    std::string error;
    // The drive's own root is never made here: a folder in the map would be a new drive.
    if (!fs::is_directory(map_.DrivePath(letter), ec))
        error = std::string{letter} + ": brak dysku";
    else if (fs::create_directories(map_.Resolve(folder), ec); ec)
        error = ec.message();
    else if (!MoveFileNoReplace(segment.tempPath, target, error))
        error = error.empty() ? "?" : error;
    if (error.empty())
        return true;
    Log("Nie mozna przeniesc pliku " + segment.tempPath + " do " + dosPath + ": " + error, true);
    return false;
}

void SegmentArchive::Index(const ClosedSegment& segment, const std::string& dosPath) {
    TVideoIndexEntry entry;
    entry.FileName.Set(dosPath);
    entry.Camera = static_cast<uint8_t>(segment.camera);
    entry.StartTime = segment.startTime;
    entry.MotionCount = segment.motionCount;
    index_.Append(entry);
    indexed_.store(index_.Size(), std::memory_order_relaxed);
    ++counter_;
    links_.RecordDrive.store(current_, std::memory_order_relaxed);
    ++version_;
    RoomAgain();
}

// Said when the room runs out and again when it is back, with how often a segment was held back
// meanwhile: every waiting segment is tried again every few seconds, and a line for each try would
// empty the log within the hour.
void SegmentArchive::NoRoom() {
    if (!links_.DiskFullWarned.exchange(true) && hooks_.warn)
        hooks_.warn(std::string(kNoRoom) + "\n" + kNoRoomAdvice);
    held_back_.fetch_add(1, std::memory_order_relaxed);
    if (!no_room_.exchange(true, std::memory_order_relaxed))
        Log(kNoRoom, true);
}

void SegmentArchive::RoomAgain() {
    if (no_room_.exchange(false, std::memory_order_relaxed))
        Log("Ponownie jest miejsce na dyskach; wczesniej zapis wstrzymano " +
                std::to_string(held_back_.exchange(0, std::memory_order_relaxed)) + " razy",
            false);
}

bool SegmentArchive::DeleteOldest() {
    std::string doomed;
    {
        MutexLock lock(mutex_);
        if (!TakeOldest(0, doomed))
            return false;
    }
    Delete(doomed);
    SaveIndex();
    return true;
}

SegmentArchive::Expired SegmentArchive::DeleteExpired(const std::array<int32_t, 16>& keepDays, double now) {
    Expired out;
    std::vector<std::string> doomed;
    {
        MutexLock lock(mutex_);
        std::vector<TVideoIndexEntry>& entries = index_.Mutable();
        for (size_t i = 0; i < entries.size();) {
            const TVideoIndexEntry& e = entries[i];
            const int n = e.Camera;
            const std::string path = e.FileName.Get();
            const bool expired = n >= 1 && n <= kCameraCount && keepDays[n - 1] > 0 &&
                                 e.StartTime < now - keepDays[n - 1] && !path.empty() && IsLetter(path[0]) &&
                                 DrivePresent(path[0]);
            if (!expired) {
                ++i;
                continue;
            }
            doomed.push_back(map_.Resolve(path));
            Log(kDeleted + path, false);
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            ++out.perCamera[n];
            ++out.total;
            if (counter_ > 0)
                --counter_;
        }
        if (out.total) {
            indexed_.store(index_.Size(), std::memory_order_relaxed);
            ++version_;
        }
    }
    // The index first: a crash between leaves files the index no longer lists, never the reverse.
    if (out.total)
        SaveIndex();
    for (const std::string& file : doomed)
        Delete(file);
    return out;
}

void SegmentArchive::Delete(const std::string& doomed) {
    if (!doomed.empty())
        FileRemove(doomed.c_str());  // a file already gone just loses its entry
}

bool SegmentArchive::TakeOldest(char onlyOn, std::string& doomed) {
    if (counter_ <= 0 || static_cast<size_t>(counter_) > index_.Size())
        return false;
    for (size_t i = 0; i < index_.Size(); ++i) {
        std::string path = index_.At(i).FileName.Get();
        if (path.empty() || !IsLetter(path[0]) || !Selected(table_.DriveIndex(path[0])) ||
            !DrivePresent(path[0]) || (onlyOn && Upper(path[0]) != onlyOn))
            continue;  // a drive that is not there keeps its recordings until it comes back
        current_ = Upper(path[0]);
        doomed = map_.Resolve(path);
        Log(kDeleted + path, false);
        index_.Remove(i);
        indexed_.store(index_.Size(), std::memory_order_relaxed);
        --counter_;
        ++version_;
        return true;
    }
    return false;
}

// The files emptied too: an index is read whole, so old entries must not come back.
void SegmentArchive::ResetIndex() {
    {
        MutexLock lock(mutex_);
        counter_ = 0;
        index_.Clear();
        indexed_.store(0, std::memory_order_relaxed);
        ++version_;
    }
    SaveIndex();
}

// The index is emptied and written first: a file left by a crash halfway is indexed again at the
// next start, never an entry without its file kept.
std::vector<std::string> SegmentArchive::DeleteAll() {
    MutexLock one(archiving_);
    std::vector<fs::path> folders;
    {
        MutexLock lock(mutex_);
        for (char letter : table_.Letters())
            if (letter != 'Z' && DrivePresent(letter))  // a bare mount point holds none of its recordings
                folders.push_back(fs::path(map_.DrivePath(letter)) / "KEL2_Videos");
        counter_ = 0;
        index_.Clear();
        indexed_.store(0, std::memory_order_relaxed);
        ++version_;
    }
    SaveIndex();
    std::vector<std::string> failures;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        std::vector<fs::path> contents;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().filename() != DriveMarks::kMarkFile)
                contents.push_back(it->path());
        for (const fs::path& path : contents)
            if (fs::remove_all(path, ec) == static_cast<std::uintmax_t>(-1))
                failures.push_back(path.string() + ": " + ec.message());
    }
    return failures;
}

char SegmentArchive::CurrentLetter() const {
    MutexLock lock(mutex_);
    return current_;
}

int32_t SegmentArchive::Counter() const {
    MutexLock lock(mutex_);
    return counter_;
}

int32_t SegmentArchive::UsedDisk() const {
    MutexLock lock(mutex_);
    return used_disk_;
}

std::vector<TVideoIndexEntry> SegmentArchive::Entries() const {
    MutexLock lock(mutex_);
    return index_.Entries();
}

std::string SegmentArchive::ArchivedFile(int camera, const std::string& name) const {
    const std::string tail = VideoIndex::ArchivePath('?', camera, name).substr(1);
    MutexLock lock(mutex_);
    for (const TVideoIndexEntry& e : index_.Entries()) {
        const std::string path = e.FileName.Get();
        if (e.Camera == camera && path.size() == tail.size() + 1 && path.compare(1, tail.size(), tail) == 0)
            return map_.Resolve(path);
    }
    return {};
}

DriveTable SegmentArchive::Table() const {
    MutexLock lock(mutex_);
    return table_;
}

}  // namespace kel
