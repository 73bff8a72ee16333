#include "platform/skins_folder.h"

#include <filesystem>
#include <system_error>

namespace kel {

namespace fs = std::filesystem;

std::string SkinsRoot() {
    std::error_code ec;
    if (fs::is_directory("Skins", ec))
        return "Skins/";
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const fs::path& candidate :
             {program.parent_path() / "Skins", program.parent_path().parent_path() / "share/kel/Skins"}) {
            if (fs::is_directory(candidate, ec))
                return candidate.lexically_normal().string() + "/";
        }
    }
    return "Skins/";  // nothing anywhere: the loads fail and say which picture is missing
}

std::string SkinFolderPath(const std::string& skin, int width) {
    return SkinsRoot() + skin + "/" + std::to_string(width) + "/";
}

}  // namespace kel
