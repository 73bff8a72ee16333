#include "net/command.h"

#include <array>
#include <utility>

namespace kel {

namespace {

constexpr std::array<std::pair<std::string_view, Command>, 7> kWords{{
    {"@gcs", Command::GetPictures},
    {"@gcd", Command::GetConfig},
    {"@gst", Command::GetTime},
    {"@gsg", Command::GetSignal},
    {"@svc", Command::SelectCameras},
    {"@gud", Command::Login},
    {"@GFL", Command::GetFileList},
}};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithWord(std::string_view line, std::string_view word) {
    if (line.size() < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(line[i]) != Lower(word[i]))
            return false;
    return line.size() == word.size() || line[word.size()] == ' ';
}

}  // namespace

Command MatchCommand(std::string_view line) {
    for (const auto& [word, command] : kWords)
        if (StartsWithWord(line, word))
            return command;
    return Command::None;
}

}  // namespace kel
