#pragma once
// JSON texts written by hand: a string with its quotes and escapes.

#include <string>
#include <string_view>

namespace kel {

// `text` (UTF-8) as a JSON string, quotes included: quotes, backslashes and control characters
// escaped, everything else as it is.
std::string JsonString(std::string_view text);

}  // namespace kel
