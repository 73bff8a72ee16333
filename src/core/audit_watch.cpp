#include "core/audit_watch.h"

#include <utility>

namespace kel {

AuditWatch::AuditWatch(AuditTrail& trail, std::string station, Links links)
    : trail_(trail), station_(std::move(station)), links_(std::move(links)) {}

AuditWatch::~AuditWatch() {
    Stop();
}

bool AuditWatch::Start(Timing timing) {
    thread_.Stop();
    timing_ = timing;
    first_ = true;
    sent_ = {};
    return thread_.Start(
        timing.look, PeriodicThread::Pace::FixedBeat, [this] { Look(); }, [](const std::string&) {});
}

void AuditWatch::Stop() {
    thread_.Stop();
}

void AuditWatch::Look() {
    const Clock::time_point now = Clock::now();
    if (first_ || now - checked_ >= timing_.checkEvery) {
        checked_ = now;
        const AuditTrail::Check check = trail_.Verify();
        if (check.whole)
            broken_.clear();
        else if (check.why != broken_) {
            broken_ = check.why;
            if (links_.Broken)
                links_.Broken(check.why);
        }
    }
    const AuditTrail::Head head = trail_.LastHead();
    bool exported = false;
    if (head.id != sent_.id)
        for (const AuditRecord& r : trail_.ReadAfter(sent_.id))
            exported = exported || r.what == AuditTrail::kExport;
    if (first_ || exported || now - sent_at_ >= timing_.headEvery) {
        if (links_.Head)
            links_.Head(AuditTrail::HeadJson(head, station_));
        sent_ = head;
        sent_at_ = now;
    }
    first_ = false;
}

}  // namespace kel
