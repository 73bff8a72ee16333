#pragma once
// Template bodies of ShortString (included by records.h).

#include "platform/cp1250.h"

namespace kel {

template <size_t N>
std::string ShortString<N>::Get() const {
    size_t n = len > N ? N : len;
    return FromCp1250(std::string_view(chars, n));
}

template <size_t N>
void ShortString<N>::Set(std::string_view utf8) {
    std::string bytes = ToCp1250(CutChars(utf8, N));
    // One byte per character in code page 1250; the guard keeps malformed input inside the field.
    if (bytes.size() > N) {
        bytes.resize(N);
    }
    len = static_cast<uint8_t>(bytes.size());
    std::memcpy(chars, bytes.data(), bytes.size());
}

template <size_t N>
bool ShortString<N>::EqualsBytes(std::string_view cp1250) const {
    size_t n = len > N ? N : len;
    return cp1250.size() == n && std::memcmp(chars, cp1250.data(), n) == 0;
}

}  // namespace kel
