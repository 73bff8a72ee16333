#include "platform/drive_map.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>

namespace kel {

namespace fs = std::filesystem;

namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

DriveMap::DriveMap(std::string workDir)
    : work_dir_(std::move(workDir)), root_((fs::path(work_dir_) / kFolder).string()) {}

bool DriveMap::EnsureDriveC() {
    std::error_code ec;
    fs::path c = fs::path(root_) / "c:";
    if (fs::exists(fs::symlink_status(c, ec)))
        return true;
    fs::create_directories(root_, ec);
    if (!ec)
        fs::create_directories(fs::path(work_dir_) / kDriveC, ec);
    if (!ec)
        fs::create_directory_symlink(fs::path("..") / kDriveC, c, ec);
    if (ec) {
        error_ = c.string() + ": " + ec.message();
        return false;
    }
    return true;
}

std::vector<char> DriveMap::Letters() const {
    std::vector<char> letters;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() == 2 && name[1] == ':' && name[0] >= 'a' && name[0] <= 'z')
            letters.push_back(static_cast<char>(name[0] - 'a' + 'A'));
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

std::string DriveMap::DrivePath(char letter) const {
    if (!IsLetter(letter))
        return {};
    return (fs::path(root_) / std::string{Lower(letter), ':'}).string();
}

std::string DriveMap::Resolve(std::string_view dosPath) const {
    if (dosPath.size() < 2 || !IsLetter(dosPath[0]) || dosPath[1] != ':')
        return {};
    fs::path out = DrivePath(dosPath[0]);
    std::string_view rest = dosPath.substr(2);
    while (!rest.empty()) {
        size_t cut = rest.find_first_of("\\/");
        std::string_view part = rest.substr(0, cut);
        if (part == "..")
            return {};
        if (!part.empty() && part != ".")
            out /= std::string(part);
        rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
    }
    return out.string();
}

}  // namespace kel
