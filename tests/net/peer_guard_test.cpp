// The server's memory of addresses: failed logins wait twice as long each time up to a ceiling,
// are forgiven by a success or by time, and log lines are rationed per address and window, the
// ones left out reported with the next line.

#include "net/peer_guard.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

using namespace std::chrono_literals;

class PeerGuardTest : public ::testing::Test {
protected:
    PeerGuard::Clock::time_point now{};
    PeerGuard guard{{60s, 250ms, 2s, 600s}, [this] { return now; }};

    std::chrono::milliseconds Fail(const std::string& address = "10.0.0.1") {
        bool log = false;
        int skipped = 0;
        return guard.LoginFailed(address, log, skipped);
    }
};

TEST_F(PeerGuardTest, EachFailureWaitsTwiceAsLongUpToTheCeiling) {
    const std::chrono::milliseconds expected[] = {250ms, 500ms, 1000ms, 2000ms, 2000ms};
    for (auto delay : expected) {
        EXPECT_EQ(Fail(), delay);
        now += delay;  // one connection, waiting out each answer
    }
    EXPECT_EQ(Fail("10.0.0.2"), 250ms) << "another address has its own count";
    guard.LoginSucceeded("10.0.0.1");
    EXPECT_EQ(Fail(), 250ms) << "a success forgives";
    now += 250ms;
    Fail();
    now += 600s;
    EXPECT_EQ(Fail(), 250ms) << "so does time";
}

// Many connections of one address failing at once wait in turn, not side by side; while the
// address waits, its new connections are turned away, and those are told as one count a window.
TEST_F(PeerGuardTest, AnAddressWaitsInTurnAcrossItsConnectionsAndIsTurnedAwayMeanwhile) {
    EXPECT_FALSE(guard.Waiting("10.0.0.1"));
    EXPECT_EQ(Fail(), 250ms);
    EXPECT_EQ(Fail(), 750ms) << "a second connection's answer comes after the first's wait and its own";
    EXPECT_EQ(Fail(), 1750ms);
    EXPECT_TRUE(guard.Waiting("10.0.0.1"));
    EXPECT_FALSE(guard.Waiting("10.0.0.2"));
    now += 1750ms;
    EXPECT_FALSE(guard.Waiting("10.0.0.1"));

    EXPECT_EQ(guard.TurnedAway("10.0.0.1"), 1) << "the first is told at once";
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(guard.TurnedAway("10.0.0.1"), 0);
    now += 61s;
    EXPECT_EQ(guard.TurnedAway("10.0.0.1"), 501) << "the rest as one count";
}

TEST_F(PeerGuardTest, LogLinesAreRationedAndTheRestCounted) {
    int skipped = -1;
    int logged = 0;
    for (int i = 0; i < 25; ++i)
        logged += guard.LogConnection("10.0.0.1", skipped);
    EXPECT_EQ(logged, PeerGuard::kLinesPerWindow);
    EXPECT_TRUE(guard.LogConnection("10.0.0.9", skipped)) << "other addresses are not held back";
    now += 61s;
    EXPECT_TRUE(guard.LogConnection("10.0.0.1", skipped));
    EXPECT_EQ(skipped, 15) << "reported with the next line";
    EXPECT_TRUE(guard.LogConnection("10.0.0.1", skipped));
    EXPECT_EQ(skipped, 0);
}

TEST_F(PeerGuardTest, TheStalestAddressesAreForgotten) {
    int skipped = 0;
    for (size_t i = 0; i < PeerGuard::kMaxAddresses + 50; ++i) {
        now += 1ms;
        guard.LogConnection("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), skipped);
    }
    EXPECT_EQ(guard.Remembered(), PeerGuard::kMaxAddresses);
}

}  // namespace
}  // namespace kel
