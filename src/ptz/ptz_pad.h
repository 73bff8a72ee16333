#pragma once
// The pan/tilt/zoom pad of the main window without its buttons: a press sends the movement
// telegram of the selected camera, a release the stop telegram. Camera and address are read at the
// moment of each call, since the sequence may select another camera while a button is held and the
// configuration dialog may change the addresses.

#include <array>
#include <cstdint>
#include <functional>

#include "ptz/pelco_d.h"
#include "ptz/serial_line.h"

namespace kel {

class PtzPad {
public:
    // `singleCamera` gives the selected camera (1..16), `address` camera n's address as the
    // configuration applied now says.
    PtzPad(SerialLine& line, std::function<int()> singleCamera, std::function<int32_t(int camera)> address);

    // Window thread. A press sends PTZCommand(kind) (1..6 for the buttons), a release the stop.
    // True when the whole telegram was written; callers ignore a failure as designed, and a closed
    // port makes one. No telegram for a kind outside 1..7 or a camera outside 1..16.
    bool Press(int kind);
    bool Release();

private:
    bool Send(int kind);

    SerialLine& line_;
    std::function<int()> singleCamera_;
    std::function<int32_t(int camera)> address_;
};

}  // namespace kel
