#include "platform/drive_probe.h"

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace kel {

namespace {

// File system magic numbers (linux/magic.h and the file systems' own headers).
constexpr int64_t kNfs = 0x6969;
constexpr int64_t kSmb = 0x517B;
constexpr int64_t kCifs = 0xFF534D42;
constexpr int64_t kSmb2 = 0xFE534D42;
constexpr int64_t kAfs = 0x5346414F;
constexpr int64_t kCeph = 0x00C36400;
constexpr int64_t kV9fs = 0x01021997;
constexpr int64_t kFuse = 0x65735546;
constexpr int64_t kTmpfs = 0x01021994;
constexpr int64_t kRamfs = 0x858458F6;
constexpr int64_t kIso9660 = 0x9660;
constexpr int64_t kUdf = 0x15013346;

// The kernel's removable mark of the block device `dev`; a partition carries it on its disk.
bool RemovableDevice(dev_t dev) {
    std::string base = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    for (const std::string& file : {base + "/removable", base + "/../removable"}) {
        std::ifstream in(file);
        int flag = 0;
        if (in >> flag)
            return flag != 0;
    }
    return false;
}

}  // namespace

DriveType SystemDriveProbe::TypeOfFileSystem(int64_t magic, bool onBlockDevice) {
    switch (magic) {
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case kAfs:
    case kCeph:
    case kV9fs:
        return DriveType::Remote;
    case kFuse:
        // sshfs, rclone and the like have no device; NTFS or exFAT through FUSE have a disk.
        return onBlockDevice ? DriveType::Fixed : DriveType::Remote;
    case kTmpfs:
    case kRamfs:
        return DriveType::RamDisk;
    case kIso9660:
    case kUdf:
        return DriveType::CdRom;
    default:
        return DriveType::Fixed;
    }
}

DriveType SystemDriveProbe::Type(const std::string& path) const {
    struct stat st {};
    struct statfs fs {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::statfs(path.c_str(), &fs) != 0)
        return DriveType::NoRootDir;
    // Anonymous devices (major 0) are virtual or network file systems.
    bool onBlockDevice = major(st.st_dev) != 0;
    DriveType type = TypeOfFileSystem(static_cast<int64_t>(static_cast<uint32_t>(fs.f_type)), onBlockDevice);
    if (type == DriveType::Fixed && onBlockDevice && RemovableDevice(st.st_dev))
        return DriveType::Removable;
    return type;
}

bool SystemDriveProbe::Space(const std::string& path, DriveSpace& out) const {
    out = {};
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0)
        return false;
    out.freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    out.totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return true;
}

bool SystemDriveProbe::MountPoint(const std::string& path) const {
    struct stat self {};
    struct stat parent {};
    if (::stat(path.c_str(), &self) != 0 || ::stat((path + "/..").c_str(), &parent) != 0)
        return false;
    // The system's root is its own parent.
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

const SystemDriveProbe& SystemDriveProbe::Instance() {
    static const SystemDriveProbe probe;
    return probe;
}

}  // namespace kel
