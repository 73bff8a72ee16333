#pragma once
// The station's insides that only tests look at: its threads and servers, by their lifetimes.

#include "core/station.h"

namespace kel {

class StationTestPeer {
public:
    explicit StationTestPeer(Station& station) : s_(station) {}

    TLog& Log() { return s_.log_; }
    TComportDriverThread* PtzPort() { return s_.ptz_port_.get(); }
    // The recorder, from the start-up chain until the shutdown has closed its recordings.
    TSaveThread* Recorder() { return s_.pipeline_.Recorder(); }
    // The display thread, from the second stage until the shutdown.
    TDisplay* DisplayThread() { return s_.pipeline_.DisplayThread(); }
    // The TCP server while it runs (started at start-up when TCP is on).
    TTcpServer* TcpServer() { return s_.remote_.Server(); }
    WebServer* Web() { return s_.remote_.Web(); }
    TIpMonitor* IpMonitor() { return s_.notices_.IpMonitor(); }
    // The tables the TCP server answers from.
    const ServerTables& Tables() const { return s_.remote_.Tables(); }

private:
    Station& s_;
};

}  // namespace kel
