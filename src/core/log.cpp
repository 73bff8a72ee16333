#include "core/log.h"

#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <utility>

namespace kel {

namespace {
// All writers of the process share it: a line is appended whole or not at all.
std::mutex& LogMutex() {
    static std::mutex m;
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
    std::lock_guard<std::mutex> lock(LogMutex());
    ApplySizeCap();
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f)
        return;  // the line is lost; the station goes on
    std::fwrite(line.data(), 1, line.size(), f);
    std::fflush(f);
    std::fclose(f);
}

}  // namespace kel
