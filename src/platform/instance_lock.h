#pragma once
// Marks the one running station of a user. The mark is an flock on a file in the user's runtime
// folder: the kernel drops it when the process ends in any way, so a crash never blocks the next
// start.
//
// Beside the mark the holder keeps a bell: a local socket (<lock file>.bell) that a second start
// rings, so that the running console comes forward instead of staying lost behind a refusal.

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

    // The holder opens its bell (any socket file left there is a dead holder's). False, with
    // ErrorText, when it cannot; the station runs on without it.
    bool OpenBell();
    // Ready to read when someone rang; -1 while the bell is not open.
    int BellFd() const { return bell_; }
    // Takes one ring off the bell; false when there was none.
    bool TakeRing();
    // From a start that found the mark held: rings the holder's bell. False when nobody answers.
    bool Ring() const;
    std::string BellPath() const { return path_ + ".bell"; }
    const std::string& Path() const { return path_; }
    const std::string& ErrorText() const { return error_; }

private:
    std::string name_;
    std::string path_;
    std::string error_;
    int fd_ = -1;
    int bell_ = -1;
    bool another_ = false;
};

}  // namespace kel
