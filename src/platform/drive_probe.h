#pragma once
// What the recorder asks of a drive: its kind and its space. The system probe reads them from the
// file system holding a path; tests put a fake in its place to set the kind and the free space.
//
// Kinds, from the file system's type (statfs):
//   NFS, CIFS/SMB, AFS, Ceph, 9p and FUSE without a block device    remote
//   tmpfs, ramfs                                                     RAM disk
//   iso9660, UDF                                                     CD-ROM
//   on a block device the kernel marks removable                     removable
//   any other                                                        fixed
// A path that does not lead to a directory (a dangling link, a missing entry) has no root.

#include <cstdint>
#include <string>

namespace kel {

// The numbering the recorder's drive table was designed around.
enum class DriveType : uint8_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct DriveSpace {
    uint64_t freeBytes = 0;   // available to this process's user
    uint64_t totalBytes = 0;  // the file system's size
};

class DriveProbe {
public:
    virtual ~DriveProbe() = default;
    virtual DriveType Type(const std::string& path) const = 0;
    // False when the path cannot be examined; `out` is then zero.
    virtual bool Space(const std::string& path, DriveSpace& out) const = 0;
    // Whether the directory is the root of a file system of its own (a mounted disk), not a
    // folder on the file system that holds it.
    virtual bool MountPoint(const std::string& path) const = 0;
};

class SystemDriveProbe : public DriveProbe {
public:
    DriveType Type(const std::string& path) const override;
    bool Space(const std::string& path, DriveSpace& out) const override;
    bool MountPoint(const std::string& path) const override;
    static const SystemDriveProbe& Instance();

    // The kind a file system type stands for, before the removable check (exposed for tests).
    static DriveType TypeOfFileSystem(int64_t magic, bool onBlockDevice);
};

}  // namespace kel
