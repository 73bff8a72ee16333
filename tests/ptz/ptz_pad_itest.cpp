// The pad's telegrams on a line: read back from a pseudo-terminal, and end to end through socat
// joining two pseudo-terminals as the cable (socat comes with scripts/install-deps; without it the
// test fails).

#include "ptz/ptz_pad.h"

#include <gtest/gtest.h>

#include <csignal>

#include "ptz/comport_driver_thread.h"
#include "ptz/pty_pair.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using Bytes = std::vector<int>;

std::array<int32_t, 16> DefaultAddresses() {
    std::array<int32_t, 16> a{};
    for (int n = 0; n < 16; ++n)
        a[n] = n + 1;
    return a;
}

bool Open(TComportDriverThread& port, const std::string& device) {
    port.SetSettleDelay(0);
    return port.SetSpeed(ComSpeed::Baud2400) && port.SetDevice(device) && port.Connect();
}

// Camera and address are read at each press and release: the sequence may move the selection
// while a button is held, the dialog may change an address.
TEST(PtzPadTest, TelegramsOnTheLine) {
    PtyPair pty;
    TComportDriverThread port([](std::function<void()>) {});
    ASSERT_TRUE(Open(port, pty.SlavePath())) << port.ErrorText();
    int camera = 3;
    std::array<int32_t, 16> ports = DefaultAddresses();
    PtzPad pad(
        port, [&] { return camera; }, [&](int n) { return ports[n - 1]; });

    EXPECT_TRUE(pad.Press(kPtzPanLeft));
    EXPECT_EQ(ReadBytes(pty.Master(), 7), (Bytes{0xFF, 0x03, 0x00, 0x04, 0x30, 0x00, 0x37}));
    camera = 1;
    EXPECT_TRUE(pad.Release());
    EXPECT_EQ(ReadBytes(pty.Master(), 7), (Bytes{0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}));
    pad.Press(kPtzTiltDown);
    EXPECT_EQ(ReadBytes(pty.Master(), 7), (Bytes{0xFF, 0x01, 0x00, 0x10, 0x00, 0x26, 0x37}));
    ports[0] = 255;
    pad.Press(kPtzZoomTele);
    EXPECT_EQ(ReadBytes(pty.Master(), 7), (Bytes{0xFF, 0xFF, 0x00, 0x20, 0x00, 0x00, 0x1F}));
    ports[0] = 257;
    pad.Release();
    EXPECT_EQ(ReadBytes(pty.Master(), 7), (Bytes{0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}));

    // A camera number outside the table, or an unknown kind: nothing goes out.
    for (int c : {0, 17, -1}) {
        camera = c;
        EXPECT_FALSE(pad.Press(kPtzPanRight));
        EXPECT_FALSE(pad.Release());
    }
    camera = 16;
    EXPECT_FALSE(pad.Press(8));
    EXPECT_TRUE(ReadBytes(pty.Master(), 1, 50).empty());

    port.Disconnect();  // a press on a closed port fails quietly
    EXPECT_FALSE(pad.Press(kPtzPanLeft));
}

TEST(PtzPadTest, PressAndReleaseThroughSocat) {
    TempDir dir;
    std::string a = dir / "ptzA", b = dir / "ptzB";
    Process cable("/usr/bin/env",
                  {"socat", "-d", "-d", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b}, {},
                  dir / "socat.out", dir / "socat.err");
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (cable.Err().find("starting data transfer loop") == std::string::npos) {
        ASSERT_TRUE(cable.Running()) << "socat (scripts/install-deps installs it): " << cable.Err();
        ASSERT_LT(std::chrono::steady_clock::now(), end) << cable.Err();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The camera's end, raw, so that no byte of a telegram is taken for flow control.
    int camera = ::open(b.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(camera, 0) << b;
    termios t{};
    ASSERT_EQ(::tcgetattr(camera, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(::tcsetattr(camera, TCSANOW, &t), 0);

    TComportDriverThread port([](std::function<void()>) {});
    ASSERT_TRUE(Open(port, a)) << port.ErrorText();
    std::array<int32_t, 16> ports = DefaultAddresses();
    PtzPad pad(
        port, [] { return 3; }, [&](int n) { return ports[n - 1]; });
    EXPECT_TRUE(pad.Press(kPtzPanLeft));
    EXPECT_TRUE(pad.Release());
    EXPECT_EQ(ReadBytes(camera, 14),
              (Bytes{0xFF, 0x03, 0x00, 0x04, 0x30, 0x00, 0x37, 0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03}));
    ::close(camera);
    cable.Signal(SIGTERM);
    cable.Wait(std::chrono::seconds(10));
}

}  // namespace
}  // namespace kel
