#pragma once
// The file steps a recording goes through (create, write, flush, cut, rename, link, remove), each
// asking an optional hook first. The program sets no hook, and a step is then the system call
// after one atomic load; tests set one to make a step fail, write short, or end the process, so
// that what survives any fault can be checked on the real disk.

#include <cstddef>
#include <sys/types.h>

namespace kel {

enum class FileStep { Create, Write, Sync, Truncate, Rename, Link, Remove };

class FileFaults {
public:
    virtual ~FileFaults() = default;
    // Called before `step` on `path` (the file created, renamed from, linked from or removed;
    // nullptr for a step on an open file). Returns 0 to let it happen, or the errno it fails
    // with. A write's `bytes` may be lowered to make it short.
    virtual int Before(FileStep step, const char* path, size_t& bytes) = 0;
};

// Not owned; nullptr removes the hook. The hook must outlive every step taken while it is set.
void SetFileFaults(FileFaults* faults);

// The system calls, with the hook's answer: -1 and errno as they would fail.
int FileOpen(const char* path, int flags, mode_t mode = 0);
ssize_t FileWrite(int fd, const void* bytes, size_t size);
ssize_t FilePWrite(int fd, const void* bytes, size_t size, off_t offset);
int FileSync(int fd);
int FileTruncate(int fd, off_t size);
int FileRename(const char* from, const char* to, unsigned flags);  // renameat2's flags
int FileLink(const char* from, const char* to);
int FileRemove(const char* path);

}  // namespace kel
