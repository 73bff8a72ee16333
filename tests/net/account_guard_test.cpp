#include "net/account_guard.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

using namespace std::chrono_literals;

struct AccountGuardTest : ::testing::Test {
    AccountGuard::Clock::time_point now{};
    AccountGuard guard{[this] { return now; }};

    int FailUntilLocked(const std::string& login, int most) {
        for (int i = 1; i <= most; ++i)
            if (guard.Failed(login))
                return i;
        return 0;
    }
};

TEST_F(AccountGuardTest, TheTenthFailureWithinFifteenMinutesLocksForFifteenMinutes) {
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(guard.Failed("kel"));
        now += 90s;  // nine failures over 13.5 minutes
    }
    EXPECT_FALSE(guard.Locked("kel"));
    EXPECT_TRUE(guard.Failed("kel"));  // told once, when it locks
    EXPECT_TRUE(guard.Locked("kel"));
    EXPECT_FALSE(guard.Failed("kel"));  // more tries while locked lock nothing again
    EXPECT_FALSE(guard.Locked("ochrona"));
    now += 15min - 1s;
    EXPECT_TRUE(guard.Locked("kel"));
    now += 1s;
    EXPECT_FALSE(guard.Locked("kel"));
    // It starts counting afresh.
    EXPECT_EQ(FailUntilLocked("kel", 10), 10);
}

TEST_F(AccountGuardTest, FailuresOlderThanTheWindowNoLongerCount) {
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(guard.Failed("kel")) << i;
        now += 100s;  // one every 100 s: never ten within 15 minutes
    }
    EXPECT_FALSE(guard.Locked("kel"));
}

TEST_F(AccountGuardTest, LoginsAreBytesAndMadeUpOnesCannotFillTheMemory) {
    EXPECT_EQ(FailUntilLocked("\xb3ucja", 10), 10);  // "łucja" in code page 1250
    EXPECT_FALSE(guard.Locked("lucja"));
    for (size_t i = 0; i < 2 * AccountGuard::kMaxAccounts; ++i)
        guard.Failed("made-up-" + std::to_string(i));
    EXPECT_LE(guard.Remembered(), AccountGuard::kMaxAccounts);
    EXPECT_TRUE(guard.Locked("\xb3ucja"));  // a locked account is never the one forgotten
}

}  // namespace
}  // namespace kel
