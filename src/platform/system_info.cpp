#include "platform/system_info.h"

#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace kel {

void ParseRelease(const std::string& release, OsRelease& out) {
    out.major = out.minor = out.patch = 0;
    std::sscanf(release.c_str(), "%d.%d.%d", &out.major, &out.minor, &out.patch);
}

OsRelease LinuxSystemInfo::Os() const {
    OsRelease os;
    utsname u{};
    if (uname(&u) != 0)
        return os;
    os.name = u.sysname;
    os.release = u.release;
    ParseRelease(os.release, os);
    return os;
}

uint64_t LinuxSystemInfo::TotalRamBytes() const {
    struct sysinfo si {};
    if (sysinfo(&si) != 0)
        return 0;
    return static_cast<uint64_t>(si.totalram) * si.mem_unit;
}

namespace {
QScreen* Primary() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                        : nullptr;
}
}  // namespace

int LinuxSystemInfo::ScreenWidth() const {
    QScreen* s = Primary();
    return s ? s->size().width() : 0;
}

int LinuxSystemInfo::ScreenHeight() const {
    QScreen* s = Primary();
    return s ? s->size().height() : 0;
}

}  // namespace kel
