#pragma once
// The command words of the remote-viewer protocol and how a line is matched against them.

#include <string_view>

namespace kel {

enum class Command { None, GetPictures, GetConfig, GetTime, GetSignal, SelectCameras, Login, GetFileList };

// The command a non-empty line names: the word itself, in any case, or the word followed by one
// space and anything. None for every other line, which ends the connection.
Command MatchCommand(std::string_view line);

}  // namespace kel
