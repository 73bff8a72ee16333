#pragma once
// What the TCP server reads from the rest of the station. Everything here outlives the server.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "capture/frame_bank.h"
#include "net/account_guard.h"
#include "net/peer_guard.h"
#include "net/server_tables.h"
#include "platform/clock.h"
#include "recording/frame_batch.h"

namespace kel {

struct ServerLinks {
    const CameraFlags& CameraSignal;  // the board's signal per camera, refreshed every second
    const FrameBatch* Pictures;       // the recorder's compressed pictures; nullptr: none yet
    const ServerTables& Tables;
    std::function<uint32_t()> SegmentCount;  // the recordings in the video index
    // Any thread: an event log line (category SYS) and a debug window line.
    std::function<void(const std::string&)> Log;
    std::function<void(const std::string&)> Debug;
    const Clock& Time;
    // The longest a picture poll with nothing new waits for a picture before it answers.
    std::chrono::milliseconds QuietPoll{100};
    // A connection not logged in this long after its greeting is closed, and so is one silent
    // this long after its last command (viewers poll many times a second).
    std::chrono::milliseconds LoginTime{30000};
    std::chrono::milliseconds IdleTime{120000};
    // The log lines per address and the delays of failed logins.
    PeerGuard::Timing Guard{};
    // A reply the client has not taken this long after it was sent ends the connection.
    std::chrono::milliseconds SendTime{10000};
    // Connections one address may hold at once, so that one address cannot take every slot.
    int PerAddress = 10;
    // Any thread: a record of the audit trail (who, the kind, the detail); none when empty.
    std::function<void(const std::string& who, const char* what, const std::string& detail)> Audit;
    // The failed logins of each account, shared with the web view; none when null.
    AccountGuard* Accounts = nullptr;
    // Any thread: an alarm (an account locked after guessing); none when empty.
    std::function<void(const std::string& text)> Alert;
};

}  // namespace kel
