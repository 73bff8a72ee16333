#pragma once
// THicap: the station's capture board. Finds the board at start-up, opens it for the camera table
// (again, without closing, whenever the configuration is applied), closes it at shutdown and reads
// its per-channel signal. The capture threads and the monitor output call the board library
// directly (hicap/hicap.h).
//
// Operations return false on failure and keep the reason in ErrorText(): the coded text for the
// board's statuses 31..33, nothing for any other status, the loader's reason for a back end that
// cannot be loaded. Window thread only.

#include <array>
#include <cstdint>
#include <string>

#include "capture/frame_bank.h"
#include "capture/hicap/board_backend.h"
#include "config/records.h"

namespace kel {

class THicap {
public:
    static constexpr const char* kNoBoard = "{#0020} Brak karty KEL";
    static constexpr const char* kDriverOpen = "{#0021} Blad Otwarcia Sterownika";
    static constexpr const char* kDriverVersion = "{#0022} Niewlasciwa wersja sterownika";

    // `board` names the back end, NAME[:OPTIONS] (the command line's --board); empty, the one
    // already loaded or installed is used.
    explicit THicap(std::string board = "sim");

    // Loads the back end, searches for the board and reads its details (name, selector).
    bool Find();
    // Size modes, open, init, the picture controls at 0, the groups' shares, transfer on.
    // REQUIRES: Find succeeded.
    // `ntsc`: the analogue inputs' standard (PAL otherwise).
    bool Open(const TCameraTable& cameras, bool ntsc = false);
    // Transfer off, board closed.
    void Close();
    // Each group's capture time split again for the table's rates and active flags, while the
    // board runs.
    void Reshare(const TCameraTable& cameras);
    // The signal of every input into `signal`, indexed by camera number: 1 = a picture, 0 = none
    // (all 0 when the board does not answer).
    void QuerySignal(CameraFlags& signal) const;

    const std::string& ErrorText() const { return error_text_; }
    uint32_t Status() const { return status_; }
    // The board's own name, known after Find.
    const std::string& Name() const { return name_; }

    // The coded text of a status, empty for statuses without one.
    static std::string StatusText(uint32_t status);
    // Per channel: Resolution + 1 for an active camera, else 3.
    static SizeModes SizeModesFor(const TCameraTable& cameras);
    // Per channel of the group (cameras 1, 3, … for 0; 2, 4, … for 1): FPS x 4 for an active
    // camera, else 0; a group with no share at all gives its first channel 1.
    static GroupShares SharesFor(const TCameraTable& cameras, int group);

private:
    bool Check(uint32_t status);

    const std::string board_;
    std::string name_;
    std::string error_text_;
    uint32_t status_ = 0;
    uint8_t selector_ = 0;
    bool found_ = false;
};

}  // namespace kel
