#include "core/system.h"

namespace kel {

namespace {
constexpr const char* kAlreadyRunning = "{#0001} System KEL jest już uruchomiony!";
constexpr const char* kWrongOs = "{#0002} Nie właściwy System Operacyjny (Windows 95,98,ME,NT)";
constexpr const char* kLowRam = "{#0003} Brak wystarczającej ilości pamieci RAM";
}  // namespace

TSystem::TSystem(const SystemInfo& info, ScreenSaver& saver, InstanceLock& mark)
    : info_(info), saver_(saver), mark_(mark) {}

std::string TSystem::OsTextFor(const OsRelease& os) {
    return "System Operacyjny - " + os.name + " " + std::to_string(os.major) + "." +
           std::to_string(os.minor) + "." + std::to_string(os.patch);
}

bool TSystem::Check() {
    error_.clear();
    saver_.Inhibit();
    // Only a mark held by another process stops the start; a lock file that cannot be made at all
    // must not keep an unattended station down.
    if (!mark_.Acquire() && mark_.AnotherHolds()) {
        mark_.Ring();  // the running console comes forward
        error_ = kAlreadyRunning;
        return false;
    }
    mark_.OpenBell();
    OsRelease os = info_.Os();
    if (os.name != "Linux" || os.major < kMinKernelMajor) {
        error_ = kWrongOs;
        return false;
    }
    os_text_ = OsTextFor(os);
    uint64_t ram = (info_.TotalRamBytes() >> 20) + 1;
    if (ram < kMinRamMB) {
        error_ = kLowRam;
        return false;
    }
    ram_mb_ = static_cast<uint32_t>(ram);
    screen_width_ = static_cast<uint16_t>(info_.ScreenWidth());
    screen_height_ = static_cast<uint16_t>(info_.ScreenHeight());
    return true;
}

void TSystem::Release() {
    saver_.Allow();
    mark_.Release();
}

}  // namespace kel
