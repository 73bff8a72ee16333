#include "platform/cp1250.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

// Code page 1250 is a fixed table: bytes below 0x80 are ASCII, the upper half is listed here.
// The reverse direction is a sorted copy of the same table, searched by code point.

namespace kel {
namespace {

constexpr char32_t kUndefined = 0;
constexpr char32_t kReplacement = 0xFFFD;

// Unicode code point of bytes 0x80..0xFF; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char32_t, 128> kUpperHalf = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

struct Reverse {
    char32_t code;
    uint8_t byte;
};

// The 123 defined upper-half characters, sorted by code point, built once.
const std::vector<Reverse>& ReverseTable() {
    static const std::vector<Reverse> table = [] {
        std::vector<Reverse> t;
        for (size_t i = 0; i < kUpperHalf.size(); ++i) {
            if (kUpperHalf[i] != kUndefined)
                t.push_back({kUpperHalf[i], static_cast<uint8_t>(0x80 + i)});
        }
        std::sort(t.begin(), t.end(), [](const Reverse& a, const Reverse& b) { return a.code < b.code; });
        return t;
    }();
    return table;
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// One step of UTF-8 decoding. Returns the number of bytes taken (at least 1) and sets `cp` to the
// code point, or to kInvalid for a malformed, overlong, surrogate or truncated sequence; then only
// the first byte is taken, so the next call resynchronises on the following byte.

size_t DecodeOne(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, min = 0x80, cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, min = 0x800, cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, cp = b0 & 0x07;
    } else {
        cp = kInvalid;
        return 1;
    }
    if (s.size() - i < len) {
        cp = kInvalid;
        return 1;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            cp = kInvalid;
            return 1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kInvalid;
        return 1;
    }
    return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char ByteFor(char32_t cp) {
    if (cp < 0x80)
        return static_cast<char>(cp);
    const auto& table = ReverseTable();
    auto it = std::lower_bound(table.begin(), table.end(), cp,
                               [](const Reverse& r, char32_t c) { return r.code < c; });
    if (it == table.end() || it->code != cp)
        return '?';
    return static_cast<char>(it->byte);
}

}  // namespace

std::string ToCp1250(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        i += DecodeOne(utf8, i, cp);
        out += cp == kInvalid ? '?' : ByteFor(cp);
    }
    return out;
}

std::string FromCp1250(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        const char32_t cp = kUpperHalf[b - 0x80];
        AppendUtf8(out, cp == kUndefined ? kReplacement : cp);
    }
    return out;
}

std::string CutChars(std::string_view utf8, size_t n) {
    // A malformed byte counts as one character, so the cut never lands inside a valid sequence.
    size_t i = 0;
    for (size_t count = 0; count < n && i < utf8.size(); ++count) {
        char32_t cp;
        i += DecodeOne(utf8, i, cp);
    }
    return std::string(utf8.substr(0, i));
}

}  // namespace kel
