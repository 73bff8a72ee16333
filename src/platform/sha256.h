#pragma once
// SHA-256 of bytes and of a file, as lowercase hex.

#include <string>
#include <string_view>

namespace kel {

std::string Sha256Hex(std::string_view bytes);
// Empty when the file cannot be read.
std::string Sha256File(const std::string& path);

}  // namespace kel
