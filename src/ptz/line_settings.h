#pragma once
// The settings of a serial line and their translation into termios and modem-control bits. Pure
// functions, so the translation is tested without a serial port (pseudo-terminals, the only lines a
// test has, ignore speeds and have no modem-control lines).

#include <string>
#include <termios.h>

namespace kel {

// The speed table of the port component, in its order; the value is the index.
enum class ComSpeed {
    Baud110,
    Baud300,
    Baud600,
    Baud1200,
    Baud2400,
    Baud4800,
    Baud9600,
    Baud14400,
    Baud19200,
    Baud38400,
    Baud56000,
    Baud57600,
    Baud115200,
};

enum class ComParity { None, Odd, Even, Mark, Space };
enum class ComStopBits { One, Two };
enum class HwHandshake { None, RtsCts };
enum class SwHandshake { None, XonXoff };

struct LineSettings {
    ComSpeed speed = ComSpeed::Baud9600;
    int dataBits = 8;  // 5..8
    ComParity parity = ComParity::None;
    ComStopBits stopBits = ComStopBits::One;
    HwHandshake hardware = HwHandshake::None;
    SwHandshake software = SwHandshake::None;
    // Read time-outs in milliseconds, as the port component states them. termios knows only one
    // timer, in tenths of a second: see ApplyLineSettings.
    int readIntervalTimeout = 1;
    int readTotalTimeoutMultiplier = 0;
    int readTotalTimeoutConstant = 1;
};

// The modem-control lines to raise and to drop (TIOCM_* masks) after the line is configured.
struct ModemLines {
    int set = 0;
    int clear = 0;
};

// The speed in baud of a table entry; 0 for a value outside the table.
int BaudOf(ComSpeed speed);

// Turns `t` (as tcgetattr gave it) into a raw line with the given settings. False, with `error`
// set and `t` untouched, for what a termios line cannot do: 14400 and 56000 baud (termios has no
// such speeds, and a neighbouring speed would only garble the line), data bits outside 5..8, values
// outside the enumerations.
bool ApplyLineSettings(const LineSettings& s, termios& t, std::string& error);

// RTS is held on unless the RTS/CTS handshake drives it; DTR is always off.
ModemLines ModemLinesFor(const LineSettings& s);

}  // namespace kel
