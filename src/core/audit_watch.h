#pragma once
// Keeps an eye on the audit trail from a thread of its own, so that a trail rewritten behind the
// station's back is noticed by someone:
// - the chain is checked at the start and every hour; a broken one raises an alert (once for each
//   new reason, and again when it was whole in between);
// - the chain's head (the last record's number and hash) leaves the station at least every ten
//   minutes and within a look of every export, this process's or the viewer's, so a copy kept
//   elsewhere can show later that the trail was cut or rewritten, even by someone with its key.

#include <chrono>
#include <functional>
#include <string>

#include "platform/audit_trail.h"
#include "platform/periodic_thread.h"

namespace kel {

class AuditWatch {
public:
    struct Links {
        std::function<void(const std::string& json)> Head;   // the watch's thread: send it away
        std::function<void(const std::string& why)> Broken;  // the watch's thread: raise the alert
    };
    struct Timing {
        std::chrono::milliseconds look{60000};
        std::chrono::milliseconds headEvery{600000};
        std::chrono::milliseconds checkEvery{3600000};
    };

    AuditWatch(AuditTrail& trail, std::string station, Links links);
    ~AuditWatch();
    AuditWatch(const AuditWatch&) = delete;
    AuditWatch& operator=(const AuditWatch&) = delete;

    // The first look (check and head) at once, then one every `timing.look`.
    bool Start(Timing timing);
    bool Start() { return Start(Timing{}); }
    void Stop();

private:
    using Clock = std::chrono::steady_clock;
    void Look();

    AuditTrail& trail_;
    const std::string station_;
    const Links links_;
    Timing timing_;
    // The watch's thread only.
    bool first_ = true;
    Clock::time_point checked_{}, sent_at_{};
    AuditTrail::Head sent_;
    std::string broken_;     // the reason last alerted; empty while whole
    PeriodicThread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
