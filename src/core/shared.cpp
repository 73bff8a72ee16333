#include "core/shared.h"
#include "platform/guarded.h"

namespace kel {

void TShared::SetOsd(const std::string& time, const std::string& date) {
    MutexLock lock(text_mutex_);
    osd_time_ = time.substr(0, 9);
    osd_date_ = date.substr(0, 10);
}

std::string TShared::OsdTime() const {
    MutexLock lock(text_mutex_);
    return osd_time_;
}

std::string TShared::OsdDate() const {
    MutexLock lock(text_mutex_);
    return osd_date_;
}

void TShared::SetLastIP(const std::string& ip) {
    MutexLock lock(text_mutex_);
    last_ip_ = ip;
}

std::string TShared::LastIP() const {
    MutexLock lock(text_mutex_);
    return last_ip_;
}

}  // namespace kel
