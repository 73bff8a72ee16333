#pragma once
// The environment checks that run before anything else: one station per user, a supported
// operating system, enough memory. Also records the memory and screen sizes and keeps the screen
// saver away while the station runs.

#include <cstdint>
#include <string>

#include "platform/instance_lock.h"
#include "platform/screen_saver.h"
#include "platform/system_info.h"

namespace kel {

class TSystem {
public:
    static constexpr int kMinRamMB = 128;
    static constexpr int kMinKernelMajor = 4;  // flock, O_CLOEXEC, statfs types we rely on

    TSystem(const SystemInfo& info, ScreenSaver& saver, InstanceLock& mark);

    // True when the station may run; on false ErrorText holds the reason. RAM and screen sizes
    // are filled only on success.
    bool Check();
    // Lets the screen saver back and drops the instance mark.
    void Release();

    const std::string& OsText() const { return os_text_; }
    // Megabytes, 32 bits: a 16-bit count would wrap on machines with 64 GB or more.
    uint32_t RamMB() const { return ram_mb_; }
    uint16_t ScreenWidth() const { return screen_width_; }
    uint16_t ScreenHeight() const { return screen_height_; }
    const std::string& ErrorText() const { return error_; }

    static std::string OsTextFor(const OsRelease& os);

private:
    const SystemInfo& info_;
    ScreenSaver& saver_;
    InstanceLock& mark_;
    std::string os_text_;
    uint32_t ram_mb_ = 0;
    uint16_t screen_width_ = 0;
    uint16_t screen_height_ = 0;
    std::string error_;
};

}  // namespace kel
