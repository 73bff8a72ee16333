#pragma once
// What the web view reads from the rest of the station. Everything here outlives the server.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "capture/frame_bank.h"
#include "net/account_guard.h"
#include "net/peer_guard.h"
#include "net/server_tables.h"
#include "platform/guarded.h"

namespace kel {

// The station's name as applied now ("TCPServerName"), which evidence exports name: set from the
// window thread, read from the server's.
class StationName {
public:
    void Set(std::string name) {
        MutexLock lock(mutex_);
        name_ = std::move(name);
    }
    std::string Get() const {
        MutexLock lock(mutex_);
        return name_;
    }

private:
    mutable Mutex mutex_;
    std::string name_ KEL_GUARDED_BY(mutex_);
};

struct WebLinks {
    const FrameBank& Pictures;       // the cameras' newest pictures
    const CameraFlags& Signal;       // per camera: 1 while it has a signal
    const CameraFlags& Recording;    // per camera: 1 while it records
    const CameraFlags& Motion;       // per camera: 1 while motion is shown
    const ServerTables& Tables;      // the applied cameras and users
    std::atomic<uint32_t>& Watched;  // written: bit n set while a browser watches camera n
    // Any thread: an event log line (category SYS).
    std::function<void(const std::string&)> Log;
    // Any thread: a record of the audit trail (who, the kind, the detail); none when empty.
    std::function<void(const std::string& who, const char* what, const std::string& detail)> Audit;
    // Camera n's PTZ address as applied now (0: none), and a press of the pad for it (kind 1..6,
    // 0 the release), handed to the thread that owns the serial line; none when empty.
    std::function<int32_t(int camera)> PtzAddress;
    std::function<void(int camera, int kind)> Ptz;
    // The log lines per address and the delays of failed logins.
    PeerGuard::Timing Guard{};
    // The working directory whose index and drive map give the recordings; empty: none.
    std::string WorkDir;
    // The failed logins of each account, shared with the TCP server; none when null.
    AccountGuard* Accounts = nullptr;
    // Any thread: an alarm (an account locked after guessing); none when empty.
    std::function<void(const std::string& text)> Alert;
};

}  // namespace kel
