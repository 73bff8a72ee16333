#include "net/ip_monitor.h"

#include <cstdio>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include "platform/guarded.h"
#include <chrono>
#include <fstream>
#include <utility>

namespace kel {

namespace {
constexpr auto kPeriod = std::chrono::milliseconds(500);
constexpr const char* kOffline = "127.0.0.1";
}  // namespace

std::string LocalIPv4() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return kOffline;
    std::string found = kOffline;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP) ||
            (a->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN];
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
            found = text;
            break;
        }
    }
    ::freeifaddrs(list);
    return found;
}

TIpMonitor::TIpMonitor(std::function<std::string()> lookup) : lookup_(std::move(lookup)) {}

TIpMonitor::~TIpMonitor() {
    Stop();
}

void TIpMonitor::Start() {
    thread_.Start(
        kPeriod, PeriodicThread::Pace::PauseAfterWork, [this] { Read(); },
        [](const std::string& what) { std::fprintf(stderr, "kel: address watch: %s\n", what.c_str()); },
        true);
}

void TIpMonitor::Stop() {
    thread_.Stop();
}

// The lookup runs outside the lock: an interface query may take a while.
void TIpMonitor::Read() {
    std::string address = lookup_();
    MutexLock lock(mutex_);
    if (address == current_)
        return;
    if (!current_.empty()) {
        history_.push_back(current_);
        if (history_.size() > kHistory)
            history_.pop_front();
    }
    current_ = std::move(address);
}

std::string TIpMonitor::Current() const {
    MutexLock lock(mutex_);
    return current_;
}

std::deque<std::string> TIpMonitor::History() const {
    MutexLock lock(mutex_);
    return history_;
}

bool TIpMonitor::SaveHistory(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& address : History())
        out << address << "\r\n";
    out.close();
    return static_cast<bool>(out);
}

}  // namespace kel
