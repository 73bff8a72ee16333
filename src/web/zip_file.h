#pragma once
// A folder packed into one ZIP file, its files stored as they are (recordings do not shrink), so
// that a browser downloads an evidence export as one file and any system opens it. Each entry is
// named "<folder name>/<file>"; the CRC-32 of each is in the archive, as the format wants.

#include <string>

namespace kel {

// The regular files of `folder` (not its subfolders) into the new file `zipPath`. False with
// `error` (and no file left) when a file cannot be read or written, or the whole passes 4 GB.
bool ZipFolder(const std::string& folder, const std::string& zipPath, std::string& error);

}  // namespace kel
