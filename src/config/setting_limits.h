#pragma once
// What the station can use of each stored setting: the range of every number, the longest text
// and the form of the texts with a meaning (a skin's folder name, a mail server), the values each
// table may hold. One table serves the import check (a file that sets an unusable value is refused
// with the value's name and the reason) and the configuration dialog (each field takes only its
// range), so the two never disagree.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/records.h"

namespace kel {

struct NumberLimits {
    int64_t min;
    int64_t max;
    bool Holds(int64_t v) const { return v >= min && v <= max; }
};

// The range of a DWORD setting ("Port": 1..65535). Names are matched without case; a name the
// table does not know gets the whole 32-bit range.
NumberLimits DwordLimits(std::string_view name);
// The most characters a text setting may hold ("TCPServerName": 128); 0 for a name it does not
// know.
size_t TextMaxChars(std::string_view name);

// The camera record's fields, as the dialog offers them.
namespace camera_limits {
inline constexpr NumberLimits kResolution{0, 3};
inline constexpr NumberLimits kFps{1, 25};  // an active camera's; an inactive one may keep 0
inline constexpr NumberLimits kBrightness{-128, 128};
inline constexpr NumberLimits kContrast{0, 255};
inline constexpr NumberLimits kSharpness{0, 255};
inline constexpr NumberLimits kSaturation{0, 255};
inline constexpr NumberLimits kHue{-128, 127};
inline constexpr NumberLimits kSensitivity{250, 30000};
inline constexpr NumberLimits kPtzAddress{0, 255};
inline constexpr NumberLimits kKeepDays{0, 3650};  // 0: until room is needed
}  // namespace camera_limits

// Why the stored bytes of setting `name` (already of the right type and size, UTF-8 for texts)
// are not a value the station can use; empty when they are. Tables may be shorter than their
// field: only the records they hold are judged.
std::string DwordProblem(std::string_view name, uint32_t raw);
std::string TextProblem(std::string_view name, std::string_view utf8);
std::string TableProblem(std::string_view name, std::span<const uint8_t> bytes);

// Whether `text` is a mail server the sender can reach: "host" or "host:port" (port 1..65535);
// "-" and the empty text mean none.
bool ValidMailServer(std::string_view text);
// "host" and "host:port" split, blanks around them dropped (the port is `defaultPort` without
// one); false for neither.
bool SplitMailServer(std::string_view text, int defaultPort, std::string& host, int& port);
// Whether `text` is a topic the station's messages can go under: not empty, no wildcards, no
// slash at either end.
bool ValidTopic(std::string_view text);
// The off-site store's address, "http(s)://host[:port][/path]", or empty.
bool ValidEndpoint(std::string_view text);
// A bucket's name, or empty.
bool ValidBucket(std::string_view text);
bool ValidKeyPrefix(std::string_view text);
// Whether `text` names a skin: a plain folder name, no path.
bool ValidSkinName(std::string_view text);

}  // namespace kel
