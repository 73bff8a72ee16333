#pragma once
// The server's 100 client slots, numbered 1..100, and the count of those in use, which the
// station shows as ClientCount. A slot is claimed by a new connection's thread and released by
// the same thread when the connection ends; what a client selected and whether it is logged in
// live in its session, for exactly as long as the slot.

#include "platform/guarded.h"
#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace kel {

class ClientTable {
public:
    static constexpr int kSlots = 100;

    // `perAddress`: the most slots one peer address may hold at once.
    explicit ClientTable(std::atomic<int>& count, int perAddress = kSlots)
        : per_address_(perAddress), count_(count) {}

    // Any thread: the lowest free slot, now in use for `peer`; 0 when all are taken, or when
    // `peer` holds as many as one address may.
    int Claim(const std::string& peer);
    // Any thread: slot k free again. Nothing happens for a slot not in use.
    void Release(int k);
    int InUse() const;

private:
    struct Slot {
        bool inUse = false;
        std::string peer;
    };

    const int per_address_;
    mutable Mutex mutex_;
    std::array<Slot, kSlots + 1> slots_ KEL_GUARDED_BY(mutex_);  // slot 0 unused
    int inUse_ KEL_GUARDED_BY(mutex_) = 0;
    std::atomic<int>& count_;  // mirrors inUse_ for readers without the lock
};

}  // namespace kel
