#include "display/qt_display_platform.h"

#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "display/blitter.h"

namespace kel {

namespace {

std::string ReadText(const char* path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the address-space limit still allows: the limit less the process's present size.
uint64_t AddressSpaceLeft() {
    rlimit r{};
    if (getrlimit(RLIMIT_AS, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    std::istringstream status(ReadText("/proc/self/status"));
    std::string line;
    uint64_t sizeKb = 0;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            sizeKb = std::strtoull(line.c_str() + 7, nullptr, 10);
    uint64_t used = sizeKb * 1024;
    return r.rlim_cur > used ? r.rlim_cur - used : 0;
}

// The folder of this process's own control group (cgroup v2), or empty.
std::string CgroupFolder() {
    std::istringstream in(ReadText("/proc/self/cgroup"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("0::", 0) == 0)
            return "/sys/fs/cgroup" + line.substr(3);
    return {};
}

}  // namespace

const QtDisplayPlatform& QtDisplayPlatform::Instance() {
    static const QtDisplayPlatform platform;
    return platform;
}

bool QtDisplayPlatform::Connected() const {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool QtDisplayPlatform::WindowedMode() const {
    // These platforms draw straight to the frame buffer, one full-screen window only.
    const QString name = QGuiApplication::platformName();
    return name != "eglfs" && name != "linuxfb" && name != "vkkhrdisplay";
}

bool QtDisplayPlatform::HasScreen() const {
    return QGuiApplication::primaryScreen() != nullptr;
}

int QtDisplayPlatform::ScreenDepth() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 0;
}

bool QtDisplayPlatform::CanConvert(PixelFormat from, PixelFormat to) const {
    return Blitter::CanConvert(from, to);
}

uint64_t QtDisplayPlatform::AvailableFromMeminfo(const std::string& meminfoText) {
    std::istringstream in(meminfoText);
    std::string name, unit;
    uint64_t value = 0;
    while (in >> name >> value) {
        std::getline(in, unit);
        if (name == "MemAvailable:")
            return value * 1024;
    }
    return UINT64_MAX;
}

uint64_t QtDisplayPlatform::CgroupHeadroom(const std::string& maxText, const std::string& currentText) {
    uint64_t max = 0, current = 0;
    std::istringstream m(maxText), c(currentText);
    if (!(m >> max) || !(c >> current))  // "max" (no limit) or nothing to read
        return UINT64_MAX;
    return max > current ? max - current : 0;
}

uint64_t QtDisplayPlatform::SurfaceMemory() const {
    uint64_t bytes = AvailableFromMeminfo(ReadText("/proc/meminfo"));
    if (bytes == UINT64_MAX) {
        struct sysinfo info {};
        bytes = sysinfo(&info) == 0 ? (uint64_t(info.freeram) + info.bufferram) * info.mem_unit : 0;
    }
    bytes = std::min(bytes, AddressSpaceLeft());
    std::string group = CgroupFolder();
    if (!group.empty())
        bytes = std::min(bytes, CgroupHeadroom(ReadText((group + "/memory.max").c_str()),
                                               ReadText((group + "/memory.current").c_str())));
    return bytes;
}

}  // namespace kel
