#include "platform/safe_file.h"

#include "platform/file_faults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kel {

namespace {

std::string Reason(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// Repeats `step` (one read or write of what is left, from byte `done` on) until `size` bytes have
// gone, through short transfers and interruptions; false on an error or at the file's end.
template <typename Step>
bool Whole(size_t size, Step step) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = step(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* bytes, size_t size) {
    const char* p = static_cast<const char*>(bytes);
    return Whole(size, [&](size_t done) { return FileWrite(fd, p + done, size - done); });
}

// The directory entry of a rename or a new file reaches the disk with its folder.
void SyncFolderOf(const std::string& path) {
    size_t cut = path.find_last_of('/');
    std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        FileSync(fd);
        ::close(fd);
    }
}

// Copies `from` to the new file `to` (which must not exist) and flushes it. On failure nothing
// is left at `to`.
bool CopyNew(const std::string& from, const std::string& to, std::string& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = Reason(from);
        return false;
    }
    int out = FileOpen(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        error = Reason(to);
        ::close(in);
        return false;
    }
    static constexpr size_t kChunk = 1 << 20;
    std::string buffer(kChunk, '\0');
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), kChunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            break;
        if (n < 0 || !WriteAll(out, buffer.data(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (!ok || FileSync(out) != 0)
        ok = false;
    if (!ok)
        error = Reason(to);
    ::close(in);
    if (::close(out) != 0 && ok) {
        error = Reason(to);
        ok = false;
    }
    if (!ok)
        FileRemove(to.c_str());
    return ok;
}

}  // namespace

bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& error) {
    if (FileRename(from.c_str(), to.c_str(), RENAME_NOREPLACE) == 0) {
        SyncFolderOf(to);
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without the no-replace rename: a hard link cannot replace either.
        if (FileLink(from.c_str(), to.c_str()) == 0) {
            FileRemove(from.c_str());
            SyncFolderOf(to);
            return true;
        }
        if (errno == EEXIST) {
            error = Reason(to);
            return false;
        }
    } else if (errno != EXDEV) {
        error = Reason(errno == ENOENT ? from : to);
        return false;
    }
    // Across file systems: a copy under a name of its own, flushed, then put in place without
    // replacing. A crash during the copy leaves only that ".part" file beside the source, never a
    // cut file under the recording's name.
    if (::access(to.c_str(), F_OK) == 0) {
        errno = EEXIST;
        error = Reason(to);
        return false;
    }
    const std::string part = to + kPartSuffix;
    FileRemove(part.c_str());  // left by a crash during an earlier copy
    if (!CopyNew(from, part, error))
        return false;
    if (FileRename(part.c_str(), to.c_str(), RENAME_NOREPLACE) != 0 &&
        !((errno == EINVAL || errno == ENOSYS) && FileLink(part.c_str(), to.c_str()) == 0 &&
          FileRemove(part.c_str()) == 0)) {
        error = Reason(to);
        FileRemove(part.c_str());
        return false;
    }
    SyncFolderOf(to);
    FileRemove(from.c_str());
    return true;
}

bool WriteAllAt(int fd, const void* bytes, size_t size, uint64_t offset) {
    const char* p = static_cast<const char*>(bytes);
    return Whole(size, [&](size_t done) {
        return FilePWrite(fd, p + done, size - done, static_cast<off_t>(offset + done));
    });
}

bool ReadAllAt(int fd, void* bytes, size_t size, uint64_t offset) {
    char* p = static_cast<char*>(bytes);
    return Whole(size, [&](size_t done) {
        return ::pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
    });
}

bool SameContent(const std::string& a, const std::string& b) {
    int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sa {
    }, sb{};
    bool same =
        fa >= 0 && fb >= 0 && ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && sa.st_size == sb.st_size;
    static constexpr size_t kChunk = 1 << 16;
    std::string x(kChunk, '\0'), y(kChunk, '\0');
    for (uint64_t at = 0, size = static_cast<uint64_t>(sa.st_size); same && at < size; at += kChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
        same =
            ReadAllAt(fa, x.data(), n, at) && ReadAllAt(fb, y.data(), n, at) && x.compare(0, n, y, 0, n) == 0;
    }
    if (fa >= 0)
        ::close(fa);
    if (fb >= 0)
        ::close(fb);
    return same;
}

bool ReplaceFileAtomically(const std::string& path, const void* bytes, size_t size, std::string& error) {
    std::string part = path + ".part";
    int fd = FileOpen(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Reason(part);
        return false;
    }
    bool ok = WriteAll(fd, bytes, size) && FileSync(fd) == 0;
    if (!ok)
        error = Reason(part);
    if (::close(fd) != 0 && ok) {
        error = Reason(part);
        ok = false;
    }
    if (ok && FileRename(part.c_str(), path.c_str(), 0) != 0) {
        error = Reason(path);
        ok = false;
    }
    if (!ok) {
        FileRemove(part.c_str());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

}  // namespace kel
