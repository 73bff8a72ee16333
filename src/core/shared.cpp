#include "core/shared.h"

namespace kel {

void TShared::SetOsd(const std::string& time, const std::string& date) {
    std::lock_guard<std::mutex> lock(text_mutex_);
    osd_time_ = time.substr(0, 9);
    osd_date_ = date.substr(0, 10);
}

std::string TShared::OsdTime() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return osd_time_;
}

std::string TShared::OsdDate() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return osd_date_;
}

void TShared::SetLastIP(const std::string& ip) {
    std::lock_guard<std::mutex> lock(text_mutex_);
    last_ip_ = ip;
}

std::string TShared::LastIP() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return last_ip_;
}

}  // namespace kel
