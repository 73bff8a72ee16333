#pragma once
// The simulated board's options, the text after "sim:" on the command line, comma-separated:
//   still            no motion anywhere
//   motion=LIST      motion only on these cameras
//   nosignal=LIST    no signal on these cameras
//   absent           the search finds no board (status 31)
//   driver           the driver does not open (status 32)
//   version          the driver is of the wrong version (status 33)
//   closed           the board is found but will not open (status 1)
// LIST is camera numbers 1..16 and ranges, joined by commas: "3,5-7". Example:
//   --board sim:motion=1-4,nosignal=9,12

#include <bitset>
#include <string>
#include <string_view>

namespace kel {

struct SimOptions {
    std::bitset<16> motion = std::bitset<16>().set();  // by channel (camera - 1)
    std::bitset<16> nosignal;                          // by channel
    bool absent = false;
    bool driver = false;
    bool version = false;
    bool closed = false;

    // False with `error` naming the part it could not read; `out` is then left as it was.
    static bool Parse(std::string_view text, SimOptions& out, std::string& error);
};

// Adds the cameras of one LIST item, "5" or "5-7", to `set` by channel; false when it is no such
// item.
bool AddCameraItem(std::string_view item, std::bitset<16>& set);

}  // namespace kel
