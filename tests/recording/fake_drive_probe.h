#pragma once
// A drive probe for the recorder's tests. Every drive is fixed with plenty of room unless a test
// gives it a capacity: its free space is then that capacity less the bytes of the files under the
// drive's folder, so moving a segment in takes room and deleting a recording gives it back.

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/drive_probe.h"

namespace kel {

class FakeDriveProbe : public DriveProbe {
public:
    static constexpr uint64_t kPlenty = 500ull << 30;  // 500 GiB: far past 32-bit KB

    void SetCapacityKB(char letter, uint64_t kb) {
        std::lock_guard<std::mutex> lock(mutex_);
        capacity_[Key(letter)] = kb * 1024;
    }
    void SetType(char letter, DriveType type) {
        std::lock_guard<std::mutex> lock(mutex_);
        type_[Key(letter)] = type;
    }

    void SetMountPoint(char letter, bool mounted) {
        std::lock_guard<std::mutex> lock(mutex_);
        mounted_[Key(letter)] = mounted;
    }
    // A drive is a plain folder unless a test mounts it.
    bool MountPoint(const std::string& path) const override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = mounted_.find(LetterOf(path));
        return it != mounted_.end() && it->second;
    }

    DriveType Type(const std::string& path) const override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = type_.find(LetterOf(path));
        return it == type_.end() ? DriveType::Fixed : it->second;
    }
    // Called before every space query: a test makes a drive as slow as it likes.
    std::function<void()> beforeSpace;

    bool Space(const std::string& path, DriveSpace& out) const override {
        if (beforeSpace)
            beforeSpace();
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = capacity_.find(LetterOf(path));
        out.totalBytes = it == capacity_.end() ? kPlenty : it->second;
        uint64_t used = it == capacity_.end() ? 0 : Used(path);
        out.freeBytes = out.totalBytes > used ? out.totalBytes - used : 0;
        return true;
    }

private:
    static char Key(char letter) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    }
    // The letter of a map path ".../drives/d:".
    static char LetterOf(const std::string& path) {
        size_t colon = path.rfind(':');
        return colon == std::string::npos || colon == 0 ? '?' : Key(path[colon - 1]);
    }
    static uint64_t Used(const std::string& path) {
        uint64_t used = 0;
        std::error_code ec;
        for (std::filesystem::recursive_directory_iterator it(path, ec), end; !ec && it != end;
             it.increment(ec))
            if (it->is_regular_file(ec) && it->path().filename() != "KEL2_Drive.id")
                used += it->file_size(ec);  // the drive's mark is left out: capacities are set to the KB
        return used;
    }

    mutable std::mutex mutex_;
    std::map<char, uint64_t> capacity_;  // Guarded by mutex_; bytes
    std::map<char, DriveType> type_;     // Guarded by mutex_
    std::map<char, bool> mounted_;       // Guarded by mutex_
};

}  // namespace kel
