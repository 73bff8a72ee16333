#pragma once
// SHA-256 of bytes and of a file, as lowercase hex.

#include <cstddef>
#include <string>
#include <string_view>

namespace kel {

std::string Sha256Hex(std::string_view bytes);
// Bytes as lowercase hex.
std::string HexText(const unsigned char* bytes, size_t size);
// Empty when the file cannot be read.
std::string Sha256File(const std::string& path);

}  // namespace kel
