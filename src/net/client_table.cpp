#include "net/client_table.h"

#include "platform/guarded.h"
#include <algorithm>

namespace kel {

int ClientTable::Claim(const std::string& peer) {
    MutexLock lock(mutex_);
    const auto held = std::count_if(slots_.begin() + 1, slots_.end(),
                                    [&](const Slot& s) { return s.inUse && s.peer == peer; });
    if (held >= per_address_)
        return 0;
    for (int k = 1; k <= kSlots; ++k) {
        if (slots_[k].inUse)
            continue;
        slots_[k] = Slot{true, peer};
        count_.store(++inUse_, std::memory_order_relaxed);
        return k;
    }
    return 0;
}

void ClientTable::Release(int k) {
    MutexLock lock(mutex_);
    if (k < 1 || k > kSlots || !slots_[k].inUse)
        return;
    slots_[k] = Slot{};
    count_.store(--inUse_, std::memory_order_relaxed);
}

int ClientTable::InUse() const {
    MutexLock lock(mutex_);
    return inUse_;
}

}  // namespace kel
