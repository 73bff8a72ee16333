#include "net/client_table.h"

namespace kel {

int ClientTable::Claim(const std::string& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
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
    std::lock_guard<std::mutex> lock(mutex_);
    if (k < 1 || k > kSlots || !slots_[k].inUse)
        return;
    slots_[k] = Slot{};
    count_.store(--inUse_, std::memory_order_relaxed);
}

int ClientTable::InUse() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inUse_;
}

}  // namespace kel
