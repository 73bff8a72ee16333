#pragma once
// Windows code page 1250 (Central European), the byte form of every persisted or transmitted text.
// Inside the program text is UTF-8.

#include <string>
#include <string_view>

namespace kel {

// Characters without a code page 1250 byte become '?'.
std::string ToCp1250(std::string_view utf8);
// Every byte has a meaning except 0x81, 0x83, 0x88, 0x90, 0x98, which become U+FFFD.
std::string FromCp1250(std::string_view bytes);
// Cuts UTF-8 text to at most n characters (code points), as a short string field of n does.
std::string CutChars(std::string_view utf8, size_t n);

}  // namespace kel
