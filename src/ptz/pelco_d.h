#pragma once
// Pelco D telegrams of the pan/tilt/zoom pad: seven bytes, synchronisation 0xFF, the camera's bus
// address, two command bytes, pan and tilt speed, and a checksum of bytes 1..5 modulo 256.

#include <array>
#include <cstdint>
#include <optional>

namespace kel {

using PelcoTelegram = std::array<uint8_t, 7>;

// The pad's commands, as the kinds of PTZCommand.
enum PtzKind : int {
    kPtzPanLeft = 1,
    kPtzPanRight = 2,
    kPtzTiltUp = 3,
    kPtzTiltDown = 4,
    kPtzZoomTele = 5,
    kPtzZoomWide = 6,
    kPtzStop = 7,
};

// `value` with bit n (0..7) set; any other n leaves it unchanged.
uint8_t SetBitB(uint8_t value, int n);

// The telegram of a command for a camera at bus address `address`, of which only the low byte goes
// on the wire (257 is sent as 1). Kinds other than 1..7 give no telegram.
std::optional<PelcoTelegram> PTZCommand(int kind, int32_t address);

}  // namespace kel
