#include "core/log.h"

#include "platform/guarded.h"
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kel {

namespace {
// All writers of the process share it: a line is appended whole or not at all.
Mutex& LogMutex() {
    static Mutex m;
    return m;
}
}  // namespace

TLog::TLog(const Clock& clock, std::string path) : clock_(clock), path_(std::move(path)) {}

std::string TLog::FormatLine(std::string_view category, std::string_view message, bool normal,
                             const LocalTime& t) {
    std::string line = normal ? "[---][" : "[ERR][";
    line += category;
    line += "][";
    line += DayMonthText(t);
    line += ",";
    line += LongTimeText(t);
    line += "] ";
    line += message;
    return line;
}

void TLog::ApplySizeCap() {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return;  // missing or unreadable: no cap this time
    if (static_cast<uint64_t>(st.st_size) / kBlock > kMaxBlocks) {
        if (std::FILE* f = std::fopen(path_.c_str(), "wb"))
            std::fclose(f);
    }
}

void TLog::Write(std::string_view category, std::string_view message, bool normal) {
    std::string line = FormatLine(category, message, normal, clock_.Now());
    line += "\r\n";
    MutexLock lock(LogMutex());
    ApplySizeCap();
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;  // the line is lost; the station goes on
    // A full disk takes part of a line: it is taken back, so the log holds whole lines only.
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (done != line.size() && done > 0 && sized)
        (void)::ftruncate(fd, before.st_size);
    ::close(fd);
}

}  // namespace kel
