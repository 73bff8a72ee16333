#pragma once
// The event log "Server.log": one line per event, a normal or error mark, a category ("SYS" for
// system events, "PRG" for program actions), the day and the time.
//
//   [---][SYS][06.12,09:12:33] Start Systemu KEL 2.0.3
//
// Every write opens, appends and closes the file, so the log survives any crash up to the last
// line. Writers on every thread share one process-wide lock, so two lines never mix. A write
// never fails visibly: an I/O error loses that line and nothing else. When the file has passed
// 50,000 blocks of 128 bytes it is emptied before the next line.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kel {

class TLog {
public:
    static constexpr const char* kFileName = "Server.log";
    static constexpr uint32_t kBlock = 128;
    static constexpr uint32_t kMaxBlocks = 50000;

    // By default the file is "Server.log" in the current directory at the time of each write.
    explicit TLog(const Clock& clock = SystemClock::Instance(), std::string path = kFileName);

    void Write(std::string_view category, std::string_view message, bool normal = true);
    // Shorthand for error lines.
    void Error(std::string_view category, std::string_view message) { Write(category, message, false); }

    // The line as it is written, without the line end.
    static std::string FormatLine(std::string_view category, std::string_view message, bool normal,
                                  const LocalTime& t);

    const std::string& Path() const { return path_; }

private:
    void ApplySizeCap();

    const Clock& clock_;
    const std::string path_;
};

}  // namespace kel
