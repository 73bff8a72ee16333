#include "platform/offscreen_screen.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace kel {

std::string WriteOffscreenScreenConfig(int width, int height) {
    std::string path = (std::filesystem::temp_directory_path() / "kel-offscreen-XXXXXX").string();
    int fd = mkstemp(path.data());
    if (fd < 0)
        return {};
    std::string json = "{\"screens\":[{\"name\":\"kel\",\"x\":0,\"y\":0,\"width\":" + std::to_string(width) +
                       ",\"height\":" + std::to_string(height) +
                       ",\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}";
    bool ok = ::write(fd, json.data(), json.size()) == static_cast<ssize_t>(json.size());
    ::close(fd);
    if (!ok) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

std::string OffscreenPlatform(const std::string& configFile) {
    return configFile.empty() ? "offscreen" : "offscreen:configfile=" + configFile;
}

}  // namespace kel
