#pragma once
// Persisted records: packed little-endian byte images, the layout every stored table and every
// remote viewer relies on. Sizes and offsets are checked at compile time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kel {

// A length byte followed by N code page 1250 bytes. Bytes past the length are carried along.
template <size_t N>
struct ShortString {
    uint8_t len = 0;
    char chars[N] = {};

    // The text as UTF-8 (a length above N reads as N).
    std::string Get() const;
    // Stores UTF-8 text as code page 1250, cut to N characters; bytes past the new length stay.
    void Set(std::string_view utf8);
    bool Empty() const { return len == 0; }
    // Exact byte comparison of the used part against code page 1250 bytes.
    bool EqualsBytes(std::string_view cp1250) const;
};

#pragma pack(push, 1)

struct TCameraRecord {
    ShortString<30> Name;
    uint8_t Active;
    int32_t Resolution;
    int32_t FPS;
    int32_t Brightness;
    int32_t Contrast;
    int32_t Sharpness;
    int32_t SatU;
    int32_t SatV;
    int32_t Hue;
};

struct TUserRecord {
    ShortString<20> Login;
    ShortString<15> Password;
    uint8_t CamRights[16];  // camera 1 first; 1 = may view
    uint8_t ConfigRight;    // non-zero = may open the configuration dialog

    // A record is in use when both its login and its password are non-empty.
    bool InUse() const { return !Login.Empty() && !Password.Empty(); }
};

// The hash a user's password is kept as (the Password field of the user's record then holds only
// the marker of this hash, see config/passwords.h). Little-endian.
struct TPasswordRecord {
    uint8_t Kind;         // 0: no hash; 1: PBKDF2-HMAC-SHA256 of the password's code page 1250 bytes
    uint8_t Weak;         // 1: the password was the default one or shorter than 8 characters
    uint8_t Reserved[2];  // 0
    uint32_t Iterations;  // of PBKDF2
    uint8_t Salt[16];     // random, one per password
    uint8_t Hash[32];     // the derived key
    uint8_t Filler[8];    // 0
};

struct TZoneRecord {
    int32_t Sensitivity;
    uint8_t Mask[25345];  // 176 x 144 cells row by row, then one byte carried along
    uint8_t Filler[3];
};

// A camera's privacy mask, on the motion zones' grid: a cell whose byte is 1 is painted black in
// every picture before anything else sees it.
struct TMaskRecord {
    uint8_t Cells[25344];  // 176 x 144 cells row by row
};

struct TCamIconRecord {
    int32_t X;
    int32_t Y;
    uint8_t Reserved;
    uint8_t Placed;
    uint8_t Filler[2];
};

#pragma pack(pop)

static_assert(sizeof(ShortString<30>) == 31);
static_assert(sizeof(TCameraRecord) == 64);
static_assert(offsetof(TCameraRecord, Active) == 31);
static_assert(offsetof(TCameraRecord, Resolution) == 32);
static_assert(offsetof(TCameraRecord, FPS) == 36);
static_assert(offsetof(TCameraRecord, Brightness) == 40);
static_assert(offsetof(TCameraRecord, Contrast) == 44);
static_assert(offsetof(TCameraRecord, Sharpness) == 48);
static_assert(offsetof(TCameraRecord, SatU) == 52);
static_assert(offsetof(TCameraRecord, SatV) == 56);
static_assert(offsetof(TCameraRecord, Hue) == 60);

static_assert(sizeof(TUserRecord) == 54);
static_assert(offsetof(TUserRecord, Password) == 21);
static_assert(offsetof(TUserRecord, CamRights) == 37);
static_assert(offsetof(TUserRecord, ConfigRight) == 53);

static_assert(sizeof(TPasswordRecord) == 64);
static_assert(offsetof(TPasswordRecord, Iterations) == 4);
static_assert(offsetof(TPasswordRecord, Salt) == 8);
static_assert(offsetof(TPasswordRecord, Hash) == 24);

static_assert(sizeof(TZoneRecord) == 25352);
static_assert(offsetof(TZoneRecord, Mask) == 4);
static_assert(offsetof(TZoneRecord, Filler) == 25349);

static_assert(sizeof(TCamIconRecord) == 12);
static_assert(offsetof(TCamIconRecord, Y) == 4);
static_assert(offsetof(TCamIconRecord, Reserved) == 8);
static_assert(offsetof(TCamIconRecord, Placed) == 9);

constexpr int kCameraCount = 16;
constexpr int kUserCount = 256;
constexpr int kNobody = 256;  // CurrentUser when nobody is logged in
constexpr int kZoneCols = 176;
constexpr int kZoneRows = 144;

using TCameraTable = std::array<TCameraRecord, kCameraCount>;
using TUserTable = std::array<TUserRecord, kUserCount>;
// Index for index with the user table: the password hashes, and the right to export (1: may).
using TPasswordTable = std::array<TPasswordRecord, kUserCount>;
using TExportRights = std::array<uint8_t, kUserCount>;
using TZoneTable = std::array<TZoneRecord, kCameraCount>;
using TCamIconTable = std::array<TCamIconRecord, kCameraCount>;
using TMaskTable = std::array<TMaskRecord, kCameraCount>;
static_assert(sizeof(TMaskRecord) == kZoneCols * kZoneRows);

}  // namespace kel

#include "config/short_string_impl.h"
