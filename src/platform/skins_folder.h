#pragma once
// Where the skins are read from. A working directory may bring its own "Skins/" (an installer's
// skins, or a link to the built ones); without one the installed skins are used, so a station
// started from the desktop's menu in a fresh data folder finds its pictures.

#include <string>

namespace kel {

// "Skins/" when the working directory has that folder, else the installed skins: "Skins/" beside
// the program (a build tree) or "../share/kel/Skins/" from the program's folder (an installation).
// Always ends with '/'.
std::string SkinsRoot();

// "<root><skin>/<width>/".
std::string SkinFolderPath(const std::string& skin, int width);

}  // namespace kel
