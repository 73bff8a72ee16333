#pragma once
// TIpMonitor: watches the machine's IPv4 address, so the operator can be told where a remote
// viewer finds the station now. Every 500 ms (the first time 500 ms after Start) it reads the
// address; it remembers up to 25 earlier addresses, written to "iphist.dat" at the end.

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/guarded.h"
#include "platform/periodic_thread.h"

namespace kel {

// The first non-loopback IPv4 address of the machine's interfaces that are up, as dotted text;
// "127.0.0.1" when there is none (off-line).
std::string LocalIPv4();

class TIpMonitor {
public:
    static constexpr int kHistory = 25;
    static constexpr const char* kHistoryFile = "iphist.dat";

    // `lookup` reads the address (tests give their own).
    explicit TIpMonitor(std::function<std::string()> lookup = LocalIPv4);
    ~TIpMonitor();
    TIpMonitor(const TIpMonitor&) = delete;
    TIpMonitor& operator=(const TIpMonitor&) = delete;

    void Start();
    void Stop();
    // Any thread: the latest reading; empty before the first.
    std::string Current() const;
    // Any thread: the earlier addresses, oldest first.
    std::deque<std::string> History() const;
    // The history, one address per line (CR LF). False when the file could not be written.
    bool SaveHistory(const std::string& path) const;
    // One reading now (the thread's step; tests call it directly).
    void Read();

private:
    const std::function<std::string()> lookup_;
    mutable Mutex mutex_;
    std::string current_ KEL_GUARDED_BY(mutex_);
    std::deque<std::string> history_ KEL_GUARDED_BY(mutex_);
    PeriodicThread thread_;
};

}  // namespace kel
