#pragma once
// Marks the one running station of a user. The mark is an flock on a file in the user's runtime
// folder: the kernel drops it when the process ends in any way, so a crash never blocks the next
// start.

#include <string>

namespace kel {

class InstanceLock {
public:
    // The lock file: $XDG_RUNTIME_DIR/<name>.lock, else /tmp/<name>-<uid>.lock.
    explicit InstanceLock(std::string name = "KEL_SYSTEM");
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when no other process holds the mark (and this one now does). False when another
    // instance holds it, or the file cannot be opened (ErrorText says which).
    bool Acquire();
    bool AnotherHolds() const { return another_; }
    void Release();
    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    const std::string& ErrorText() const { return error_; }

private:
    std::string name_;
    std::string path_;
    std::string error_;
    int fd_ = -1;
    bool another_ = false;
};

}  // namespace kel
