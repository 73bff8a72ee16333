#include "ptz/line_settings.h"

#include <iterator>
#include <sys/ioctl.h>

namespace kel {

namespace {

struct SpeedEntry {
    int baud;
    speed_t code;  // B0: termios has no such speed
};

constexpr SpeedEntry kSpeeds[] = {
    {110, B110},   {300, B300},     {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800}, {9600, B9600},   {14400, B0},       {19200, B19200}, {38400, B38400},
    {56000, B0},   {57600, B57600}, {115200, B115200},
};

const SpeedEntry* Entry(ComSpeed speed) {
    auto i = static_cast<int>(speed);
    if (i < 0 || i >= static_cast<int>(std::size(kSpeeds)))
        return nullptr;
    return &kSpeeds[i];
}

tcflag_t CharSize(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// PARENB, PARODD and CMSPAR for a parity; false for a value outside the enumeration.
bool ParityFlags(ComParity parity, tcflag_t& flags) {
    switch (parity) {
    case ComParity::None:
        flags = 0;
        return true;
    case ComParity::Odd:
        flags = PARENB | PARODD;
        return true;
    case ComParity::Even:
        flags = PARENB;
        return true;
    case ComParity::Mark:
        flags = PARENB | CMSPAR | PARODD;
        return true;
    case ComParity::Space:
        flags = PARENB | CMSPAR;
        return true;
    }
    return false;
}

}  // namespace

int BaudOf(ComSpeed speed) {
    const SpeedEntry* e = Entry(speed);
    return e ? e->baud : 0;
}

bool ApplyLineSettings(const LineSettings& s, termios& t, std::string& error) {
    const SpeedEntry* speed = Entry(s.speed);
    if (!speed) {
        error = "speed index " + std::to_string(static_cast<int>(s.speed)) + " is outside the table";
        return false;
    }
    if (speed->code == B0) {
        error = std::to_string(speed->baud) + " baud is not a speed this system's serial lines offer";
        return false;
    }
    if (s.dataBits < 5 || s.dataBits > 8) {
        error = std::to_string(s.dataBits) + " data bits: a serial line carries 5 to 8";
        return false;
    }
    tcflag_t parity = 0;
    if (!ParityFlags(s.parity, parity) ||
        (s.stopBits != ComStopBits::One && s.stopBits != ComStopBits::Two) ||
        (s.hardware != HwHandshake::None && s.hardware != HwHandshake::RtsCts) ||
        (s.software != SwHandshake::None && s.software != SwHandshake::XonXoff)) {
        error = "parity, stop bits or handshake outside their choices";
        return false;
    }

    termios n = t;
    cfmakeraw(&n);  // binary: no echo, no line editing, no signals, no translation of bytes
    n.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    n.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: the line is used whatever the carrier says; the cameras raise none.
    n.c_cflag |= CREAD | CLOCAL | CharSize(s.dataBits) | parity;
    if (s.stopBits == ComStopBits::Two)
        n.c_cflag |= CSTOPB;
    if (s.hardware == HwHandshake::RtsCts)
        n.c_cflag |= CRTSCTS;
    if (s.software == SwHandshake::XonXoff)
        n.c_iflag |= IXON | IXOFF;
    n.c_cc[VSTART] = 0x11;
    n.c_cc[VSTOP] = 0x13;
    // With VMIN 0 the VTIME timer is a total time-out for a read, so the constant part maps onto
    // it, rounded to tenths of a second (1 ms becomes 0: a read returns what is waiting at once).
    // The interval and the multiplier have no termios counterpart.
    int tenths = (s.readTotalTimeoutConstant + 50) / 100;
    n.c_cc[VMIN] = 0;
    n.c_cc[VTIME] = static_cast<cc_t>(tenths < 0 ? 0 : tenths > 255 ? 255 : tenths);
    cfsetispeed(&n, speed->code);
    cfsetospeed(&n, speed->code);
    t = n;
    return true;
}

ModemLines ModemLinesFor(const LineSettings& s) {
    ModemLines m;
    m.clear = TIOCM_DTR;
    if (s.hardware != HwHandshake::RtsCts)
        m.set = TIOCM_RTS;
    return m;
}

}  // namespace kel
