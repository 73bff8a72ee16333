#include "config/registry_values.h"

#include <algorithm>
#include <cstring>

#include "config/config.h"
#include "platform/cp1250.h"

namespace kel {

bool ReadDword(const RegValue* v, uint32_t& out) {
    // A DWORD of another size is damage, not a number: reading it would take stray bytes.
    if (v == nullptr || v->type != RegType::Dword || v->data.size() != 4) {
        return false;
    }
    out = static_cast<uint32_t>(v->data[0]) | static_cast<uint32_t>(v->data[1]) << 8 |
          static_cast<uint32_t>(v->data[2]) << 16 | static_cast<uint32_t>(v->data[3]) << 24;
    return true;
}

bool ReadText(const RegValue* v, std::string& out, size_t maxChars) {
    if (v == nullptr) {
        out.clear();
        return true;
    }
    if (v->type != RegType::Sz && v->type != RegType::ExpandSz) {
        return false;
    }
    std::string_view bytes(reinterpret_cast<const char*>(v->data.data()), v->data.size());
    bytes = bytes.substr(0, bytes.find('\0'));
    out = FromCp1250(bytes);
    if (maxChars != 0) {
        out = CutChars(out, maxChars);
    }
    return true;
}

bool ReadBinary(const RegValue* v, std::span<uint8_t> field) {
    if (v == nullptr) {
        return true;
    }
    if (v->type == RegType::Sz || v->type == RegType::ExpandSz || v->type == RegType::Dword) {
        return false;
    }
    if (v->data.size() > field.size()) {
        return false;
    }
    std::copy(v->data.begin(), v->data.end(), field.begin());
    return true;
}

bool WriteCounter(RegistryStore& store, std::string_view name, int32_t value) {
    return store.WriteValue(TConfig::kKey, name, RegType::Dword,
                            RegistryStore::DwordBytes(static_cast<uint32_t>(value)));
}

bool ReadCounter(RegistryStore& store, std::string_view name, int32_t& value) {
    RegValue v;
    uint32_t raw = 0;
    if (!store.ReadValue(TConfig::kKey, name, v) || !ReadDword(&v, raw)) {
        return false;
    }
    value = static_cast<int32_t>(raw);
    return true;
}

}  // namespace kel
