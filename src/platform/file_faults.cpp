#include "platform/file_faults.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kel {

namespace {

std::atomic<FileFaults*> g_faults{nullptr};

// 0 when the step may go ahead, else -1 with errno set to the hook's answer.
int Ask(FileStep step, const char* path, size_t& bytes) {
    FileFaults* faults = g_faults.load(std::memory_order_acquire);
    if (faults == nullptr)
        return 0;
    if (int error = faults->Before(step, path, bytes)) {
        errno = error;
        return -1;
    }
    return 0;
}

int Ask(FileStep step, const char* path = nullptr) {
    size_t none = 0;
    return Ask(step, path, none);
}

}  // namespace

void SetFileFaults(FileFaults* faults) {
    g_faults.store(faults, std::memory_order_release);
}

int FileOpen(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) && Ask(FileStep::Create, path) != 0)
        return -1;
    return ::open(path, flags, mode);
}

ssize_t FileWrite(int fd, const void* bytes, size_t size) {
    if (Ask(FileStep::Write, nullptr, size) != 0)
        return -1;
    return ::write(fd, bytes, size);
}

ssize_t FilePWrite(int fd, const void* bytes, size_t size, off_t offset) {
    if (Ask(FileStep::Write, nullptr, size) != 0)
        return -1;
    return ::pwrite(fd, bytes, size, offset);
}

int FileSync(int fd) {
    return Ask(FileStep::Sync) != 0 ? -1 : ::fsync(fd);
}

int FileTruncate(int fd, off_t size) {
    return Ask(FileStep::Truncate) != 0 ? -1 : ::ftruncate(fd, size);
}

int FileRename(const char* from, const char* to, unsigned flags) {
    if (Ask(FileStep::Rename, from) != 0)
        return -1;
    return flags == 0 ? std::rename(from, to) : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int FileLink(const char* from, const char* to) {
    return Ask(FileStep::Link, from) != 0 ? -1 : ::link(from, to);
}

int FileRemove(const char* path) {
    return Ask(FileStep::Remove, path) != 0 ? -1 : ::unlink(path);
}

}  // namespace kel
