#pragma once
// What the environment checks read of the machine: the operating system, the memory and the
// primary screen. Behind an interface so the checks can be tested against any machine.

#include <cstdint>
#include <string>

namespace kel {

struct OsRelease {
    std::string name;     // "Linux"
    std::string release;  // "6.1.0-18-amd64"
    int major = 0;
    int minor = 0;
    int patch = 0;
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual OsRelease Os() const = 0;
    virtual uint64_t TotalRamBytes() const = 0;
    // The primary screen in pixels; 0 x 0 when there is none.
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
};

// uname, sysinfo and the primary QScreen (needs a QGuiApplication for the screen).
class LinuxSystemInfo : public SystemInfo {
public:
    OsRelease Os() const override;
    uint64_t TotalRamBytes() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
};

// Parses "6.1.0-18-amd64" into 6, 1, 0.
void ParseRelease(const std::string& release, OsRelease& out);

}  // namespace kel
