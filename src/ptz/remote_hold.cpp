#include "ptz/remote_hold.h"

#include <utility>
#include <vector>

namespace kel {

RemotePtzHold::RemotePtzHold(Send send, std::chrono::milliseconds hold)
    : send_(std::move(send)), hold_(hold) {}

RemotePtzHold::~RemotePtzHold() {
    watch_.Stop();
}

void RemotePtzHold::Press(int camera, int kind) {
    if (camera < 1 || camera > 16 || kind < 0 || kind > 6)
        return;
    bool changed = false;
    {
        MutexLock lock(mutex_);
        Move& move = moves_[camera - 1];
        changed = move.kind != kind || kind == 0;
        move.kind = kind;
        move.until = Clock::now() + hold_;
    }
    if (changed)
        send_(camera, kind);
    // A tenth of the hold between looks: a move outlives its last confirmation by at most 1.1x.
    if (kind != 0)
        std::call_once(started_, [this] {
            watch_.Start(
                hold_ / 10, PeriodicThread::Pace::FixedBeat, [this] { Expire(); }, [](const std::string&) {});
        });
}

void RemotePtzHold::Expire() {
    std::vector<int> stale;
    {
        MutexLock lock(mutex_);
        const Clock::time_point now = Clock::now();
        for (int k = 0; k < 16; ++k)
            if (moves_[k].kind != 0 && moves_[k].until <= now) {
                moves_[k].kind = 0;
                stale.push_back(k + 1);
            }
    }
    for (int camera : stale)
        send_(camera, 0);
}

void RemotePtzHold::StopAll(const Send& via) {
    std::vector<int> moving;
    {
        MutexLock lock(mutex_);
        for (int k = 0; k < 16; ++k)
            if (moves_[k].kind != 0) {
                moves_[k].kind = 0;
                moving.push_back(k + 1);
            }
    }
    for (int camera : moving)
        (via ? via : send_)(camera, 0);
}

int RemotePtzHold::Moving() const {
    MutexLock lock(mutex_);
    int n = 0;
    for (const Move& m : moves_)
        n += m.kind != 0;
    return n;
}

}  // namespace kel
