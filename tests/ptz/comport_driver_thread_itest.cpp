// The port on pseudo-terminals: the line settings, exclusive use, the poll handed to a window queue,
// and the failures a station meets (no device, a stuck line).

#include "ptz/comport_driver_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/window_queue.h"
#include "ptz/pty_pair.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

// Waits up to five seconds for `done`, running the window queue meanwhile when one is given.
template <class Done>
bool WaitFor(Done done, WindowQueue* queue = nullptr) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < end) {
        if (queue)
            queue->RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }

    // A port on the pty that posts its polls to `queue` and counts them.
    std::unique_ptr<TComportDriverThread> MakePort() {
        auto p = std::make_unique<TComportDriverThread>(
            [this](std::function<void()> job) {
                ++posted;
                queue.Post(std::move(job));
            },
            [this](const std::string& text) { errors.push_back(text); });
        p->SetSettleDelay(0);
        p->SetPollingDelay(1);
        EXPECT_TRUE(p->SetSpeed(ComSpeed::Baud2400));
        EXPECT_TRUE(p->SetDevice(pty.SlavePath()));
        return p;
    }

    PtyPair pty;
    TempDir dir;
    WindowQueue queue;
    std::atomic<int> posted{0};
    std::vector<std::string> errors;  // window thread
};

// A pseudo-terminal has no modem-control lines: raising RTS and dropping DTR fail there, and the
// port must open all the same.
TEST_F(PortTest, ConnectSetsTheLineAndSettersApplyAtOnce) {
    auto port = MakePort();
    ASSERT_TRUE(port->Connect()) << port->ErrorText();
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    // Only what a pty keeps: it holds every line at 8 bits without parity.
    EXPECT_TRUE(port->SetSpeed(ComSpeed::Baud9600));
    EXPECT_TRUE(port->SetStopBits(ComStopBits::Two));
    EXPECT_TRUE(port->SetSwHandshake(SwHandshake::XonXoff));
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    EXPECT_FALSE(port->SetSpeed(ComSpeed::Baud14400));
    EXPECT_NE(port->ErrorText().find("14400"), std::string::npos) << port->ErrorText();
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(port->Line().speed, ComSpeed::Baud9600);
    EXPECT_FALSE(port->SetDevice("/dev/null"));  // fixed while open
}

TEST_F(PortTest, TheDeviceIsHeldExclusivelyUntilDisconnect) {
    auto port = MakePort(), other = MakePort();
    ASSERT_TRUE(port->Connect());
    EXPECT_TRUE(port->Connect());
    EXPECT_FALSE(other->Connect());
    EXPECT_FALSE(other->Connected());
    port->Disconnect();
    EXPECT_TRUE(other->Connect()) << other->ErrorText();
    other->Disconnect();
    EXPECT_TRUE(port->Connect()) << port->ErrorText();  // no stale exclusive mark on the terminal
}

// Polls queued up before the window thread runs any: the first fails and reports, the rest are
// stale; the error reaches the handler only (nothing shown), once, and polling ends.
TEST_F(PortTest, AMissingDeviceIsReportedOnceAndPollingStops) {
    auto port = MakePort();
    ASSERT_TRUE(port->SetDevice(dir / "ttyNone"));
    EXPECT_FALSE(port->Connect());
    EXPECT_NE(port->ErrorText().find("ttyNone"), std::string::npos) << port->ErrorText();
    const uint8_t stop[] = {0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03};
    EXPECT_FALSE(port->SendData(stop, sizeof stop));

    port->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return posted >= 3; }));
    queue.RunPending();
    EXPECT_FALSE(port->Active());
    int after = posted;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    queue.RunPending();
    EXPECT_EQ(posted, after);
    EXPECT_EQ(errors, std::vector<std::string>{"TimerEvent: Could not connect to COM-port !"});

    ASSERT_TRUE(port->SetDevice(pty.SlavePath()));  // the device is back: activating again opens it
    port->SetActive(true);
    EXPECT_FALSE(port->Connected());  // only a poll on the window thread opens it
    EXPECT_TRUE(WaitFor([&] { return port->Connected(); }, &queue));
    EXPECT_TRUE(port->SendData(stop, sizeof stop));
    EXPECT_EQ(ReadBytes(pty.Master(), 7), std::vector<int>(stop, stop + 7));
    EXPECT_EQ(errors.size(), 1u);
}

// Polls handed over before polling stopped, or before the port died, must not act: the first would
// reopen a port the shutdown has just closed, the second would touch freed memory.
TEST_F(PortTest, PollsLeftInTheQueueDoNothing) {
    auto stopped = MakePort();
    stopped->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return posted >= 2; }));
    stopped->SetActive(false);
    queue.RunPending();
    EXPECT_FALSE(stopped->Connected());

    posted = 0;
    auto dead = MakePort();
    dead->SetDevice(dir / "ttyNone");
    dead->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return posted >= 2; }));
    dead.reset();
    queue.RunPending();
    EXPECT_TRUE(errors.empty());
}

// A line held by its handshake takes no more bytes: the write gives up instead of freezing the
// window thread, and closing does not wait for the stuck bytes either.
TEST_F(PortTest, AStuckLineFailsTheWriteInsteadOfBlocking) {
    auto port = MakePort();
    port->SetWriteTimeout(100);
    ASSERT_TRUE(port->Connect());
    std::vector<uint8_t> big(1 << 20, 0x55);  // far more than the pty holds; nobody reads
    EXPECT_FALSE(port->SendData(big.data(), big.size()));
    EXPECT_NE(port->ErrorText().find("of 1048576 bytes"), std::string::npos) << port->ErrorText();
    port->Disconnect();
    EXPECT_FALSE(port->Connected());
}

}  // namespace
}  // namespace kel
