#pragma once
// Qt's offscreen platform takes its screen from a configuration file read when the application
// object is created. This writes one for a single screen of width x height.

#include <string>

namespace kel {

// The file's path (in the temporary folder), empty on failure. The caller removes the file once
// the application object exists.
std::string WriteOffscreenScreenConfig(int width, int height);

// The QT_QPA_PLATFORM value that uses it.
std::string OffscreenPlatform(const std::string& configFile);

}  // namespace kel
