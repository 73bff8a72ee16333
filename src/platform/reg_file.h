#pragma once
// The settings store as a .reg text file, for "kel reg export" and "kel reg import".
//
// The file is UTF-8 (export writes CR LF line ends; import also takes LF and a UTF-8 BOM):
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\KEL2]
//   "Width"=dword:00000400
//   "Skin"="Default"
//   "Zones"=hex:e8,03,00,00,...,\   (continued below; lines stay within 80 columns)
//     00,00
//
// Texts are code page 1250 in the store and UTF-8 in the file. Only HKEY_CURRENT_USER keys exist.
// Export then import gives back every value byte for byte.

#include "platform/registry_store.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";
// No value the station keeps is larger than this (the largest, the motion zones, is 405,632
// bytes); a file that holds a larger one is refused while it is read.
inline constexpr size_t kMaxRegValueBytes = 1 << 20;
// A settings file is a few megabytes at most; a larger one is refused before it is read.
inline constexpr size_t kMaxRegFileBytes = 16 << 20;

// One change read from a .reg file. Changes are applied in the order of the file.
struct RegFileOp {
    enum class Kind {
        CreateKey,    // [HKEY_CURRENT_USER\key]
        DeleteKey,    // [-HKEY_CURRENT_USER\key]: the key, its subkeys and their values
        WriteValue,   // "name"=...  (@ is the default value, the empty name)
        DeleteValue,  // "name"=-
    };
    Kind kind = Kind::CreateKey;
    std::string key;  // normalised key path under HKEY_CURRENT_USER
    RegValue value;   // name for the value changes, type and data for WriteValue
    int line = 0;     // 1-based line it was read from
};

// Writes every key of the store with all its values, keys in tree order and values by name without
// case, read in one snapshot. False with `error` when the store cannot be read (a damaged store
// exports nothing rather than an empty file).
bool ExportRegFile(RegistryStore& store, std::string& outText, std::string& error);

// Reads the whole text into changes. False on the first syntax error, with an error text that
// starts "line N: ".
bool ParseRegFile(std::string_view text, std::vector<RegFileOp>& ops, std::string& error);

// Parses the whole text first, then applies every change in one transaction. On a syntax error or
// a failed write the store is left as it was.
bool ImportRegFile(RegistryStore& store, std::string_view text, std::string& error);
// The same, with `more` run inside that transaction after the file's changes: false (with its
// error) leaves the store as it was, the file's changes too.
bool ImportRegFile(RegistryStore& store, std::string_view text, std::string& error,
                   const std::function<bool(std::string& error)>& more);

}  // namespace kel
