#pragma once
// Putting finished files in place safely. A move is a rename where the file system allows it,
// else a copy that is flushed to the disk before the original is removed; it never replaces a file
// already at the destination. A replacement goes through a flushed temporary file and a rename.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kel {

// The name a copy across file systems has until it is whole: "<destination>.part".
constexpr const char* kPartSuffix = ".part";

// False with `error` set when the file could not be moved; the source is then left where it was
// and no part of it remains at the destination. Across file systems the copy is made under
// "<to>.part" and renamed when whole.
bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string& error);

// All of `size` bytes at `offset` of an open file, retrying short transfers and interruptions;
// false on an error or, reading, at the file's end.
bool WriteAllAt(int fd, const void* bytes, size_t size, uint64_t offset);
bool ReadAllAt(int fd, void* bytes, size_t size, uint64_t offset);

// Whether both files can be read and hold the same bytes.
bool SameContent(const std::string& a, const std::string& b);

// Writes `bytes` to `path` through a temporary file beside it that is flushed and renamed over
// it, so a crash leaves either the old or the new content, never a cut file.
bool ReplaceFileAtomically(const std::string& path, const void* bytes, size_t size, std::string& error);

}  // namespace kel
