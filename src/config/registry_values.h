#pragma once
// How one stored value is read into a field of the configuration. The same rules serve every
// value, so a hand-edited or damaged store fails the same way wherever it is damaged:
//
//   DWORD   missing, another type or not exactly 4 bytes: read error.
//   text    missing: the empty text. REG_SZ or REG_EXPAND_SZ: the bytes up to the first NUL,
//           code page 1250, never expanded. Any other type: read error.
//   binary  missing: the field stays as it was, no error. Larger than the field, or stored as
//           REG_SZ, REG_EXPAND_SZ or REG_DWORD: read error. Any other type counts as binary.
//           A smaller value fills the leading bytes; the rest of the field stays as it was.
//
// A null value pointer means the value is missing.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/registry_store.h"

namespace kel {

bool ReadDword(const RegValue* v, uint32_t& out);
// UTF-8 text, cut to maxChars characters when maxChars is not 0.
bool ReadText(const RegValue* v, std::string& out, size_t maxChars = 0);
bool ReadBinary(const RegValue* v, std::span<uint8_t> field);

// The recorder's counters "VideoFiles" and "UsedDisk" in the settings key, through the
// recorder's own store handle. ReadCounter follows the DWORD rule above.
bool WriteCounter(RegistryStore& store, std::string_view name, int32_t value);
bool ReadCounter(RegistryStore& store, std::string_view name, int32_t& value);

}  // namespace kel
