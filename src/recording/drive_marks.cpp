#include "recording/drive_marks.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/safe_file.h"

namespace kel {

namespace fs = std::filesystem;

namespace {

constexpr size_t kNameChars = 32;

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool ValidName(const std::string& name) {
    if (name.size() != kNameChars)
        return false;
    for (char c : name)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string NewName() {
    std::random_device random;
    std::string name;
    char hex[9];
    for (size_t i = 0; i < kNameChars / 8; ++i) {
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
        name += hex;
    }
    return name;
}

std::string MarkPath(const std::string& root) {
    return (fs::path(root) / "KEL2_Videos" / DriveMarks::kMarkFile).string();
}

}  // namespace

DriveMarks::DriveMarks(std::string workDir) : path_((fs::path(workDir) / kFile).string()) {
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string letter, name, mounted;
        if (fields >> letter >> name && letter.size() == 1 &&
            std::isalpha(static_cast<unsigned char>(letter[0])) && ValidName(name)) {
            fields >> mounted;
            kept_[Upper(letter[0])] = Mark{name, mounted == "mounted"};
        }
    }
}

DriveMarks::Mark DriveMarks::Kept(char letter) const {
    auto it = kept_.find(Upper(letter));
    return it == kept_.end() ? Mark{} : it->second;
}

bool DriveMarks::Keep(char letter, const Mark& mark, std::string& error) {
    kept_[Upper(letter)] = mark;
    std::string text;
    for (const auto& [l, m] : kept_)
        text += std::string{l} + " " + m.name + (m.mounted ? " mounted" : "") + "\n";
    return ReplaceFileAtomically(path_, text.data(), text.size(), error);
}

std::string DriveMarks::Read(const std::string& root) {
    std::ifstream in(MarkPath(root));
    std::string name;
    if (!(in >> name) || !ValidName(name))
        return {};
    return name;
}

std::string DriveMarks::Write(const std::string& root, std::string& error) {
    std::error_code ec;
    fs::create_directories(fs::path(MarkPath(root)).parent_path(), ec);
    if (ec) {
        error = ec.message();
        return {};
    }
    std::string name = NewName();
    const std::string text = name + "\n";
    if (!ReplaceFileAtomically(MarkPath(root), text.data(), text.size(), error))
        return {};
    return name;
}

}  // namespace kel
