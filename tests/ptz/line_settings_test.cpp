#include "ptz/line_settings.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

namespace kel {
namespace {

// As a cooked terminal leaves a line, so the test sees every cooked setting undone.
termios Cooked() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXANY | INPCK | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
    t.c_lflag = ICANON | ECHO | ISIG;
    cfsetspeed(&t, B38400);
    return t;
}

LineSettings PtzLine() {
    LineSettings s;
    s.speed = ComSpeed::Baud2400;
    return s;
}

TEST(LineSettingsTest, ThePtzLineIsRaw2400Baud8N1WithRtsOnAndDtrOff) {
    termios t = Cooked();
    std::string error;
    ASSERT_TRUE(ApplyLineSettings(PtzLine(), t, error)) << error;
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL),
              static_cast<tcflag_t>(CS8 | CREAD | CLOCAL));
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);  // 1 ms read time-outs: a read returns what is waiting at once
    EXPECT_EQ(t.c_cc[VTIME], 0);
    ModemLines m = ModemLinesFor(PtzLine());
    EXPECT_EQ(m.set, TIOCM_RTS);
    EXPECT_EQ(m.clear, TIOCM_DTR);
}

// With the RTS/CTS handshake the hardware drives RTS; DTR stays off either way.
TEST(LineSettingsTest, RtsCtsLeavesRtsToTheHandshake) {
    LineSettings s = PtzLine();
    s.hardware = HwHandshake::RtsCts;
    termios t = Cooked();
    std::string error;
    ASSERT_TRUE(ApplyLineSettings(s, t, error));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(ModemLinesFor(s).set, 0);
    EXPECT_EQ(ModemLinesFor(s).clear, TIOCM_DTR);
}

// termios lacks two speeds of the table; a neighbouring speed would garble the line, so they are
// refused, as are framings no line carries. A refusal leaves the settings untouched.
TEST(LineSettingsTest, RefusesWhatALineCannotCarry) {
    LineSettings refused[] = {PtzLine(), PtzLine(), PtzLine(), PtzLine()};
    refused[0].speed = ComSpeed::Baud14400;
    refused[1].speed = ComSpeed::Baud56000;
    refused[2].dataBits = 9;
    refused[3].dataBits = 4;
    for (const LineSettings& s : refused) {
        termios t = Cooked();
        std::string error;
        EXPECT_FALSE(ApplyLineSettings(s, t, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
        EXPECT_NE(t.c_lflag & ICANON, 0u);
    }
}

}  // namespace
}  // namespace kel
