#include "ptz/pelco_d.h"

namespace kel {

namespace {

struct Command {
    int bit;  // of command 2; -1 for none (stop)
    uint8_t pan;
    uint8_t tilt;
};

// Pan speed 0x30 is 48 of the range 0x00..0x3F, tilt speed 0x26 is 38.
constexpr Command kCommands[] = {
    {2, 0x30, 0x00},   // 1 pan left
    {1, 0x30, 0x00},   // 2 pan right
    {3, 0x00, 0x26},   // 3 tilt up
    {4, 0x00, 0x26},   // 4 tilt down
    {5, 0x00, 0x00},   // 5 zoom tele
    {6, 0x00, 0x00},   // 6 zoom wide
    {-1, 0x00, 0x00},  // 7 stop
};

}  // namespace

uint8_t SetBitB(uint8_t value, int n) {
    if (n < 0 || n > 7)
        return value;
    return static_cast<uint8_t>(value | (1u << n));
}

std::optional<PelcoTelegram> PTZCommand(int kind, int32_t address) {
    if (kind < kPtzPanLeft || kind > kPtzStop)
        return std::nullopt;
    const Command& c = kCommands[kind - 1];
    PelcoTelegram t{};
    t[0] = 0xFF;
    t[1] = static_cast<uint8_t>(static_cast<uint32_t>(address) & 0xFF);
    t[2] = 0x00;
    t[3] = SetBitB(0x00, c.bit);
    t[4] = c.pan;
    t[5] = c.tilt;
    t[6] = static_cast<uint8_t>((t[1] + t[2] + t[3] + t[4] + t[5]) & 0xFF);
    return t;
}

}  // namespace kel
