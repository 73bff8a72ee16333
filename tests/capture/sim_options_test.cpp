// The simulated board's option text, as given after "--board sim:".

#include "capture/hicap/sim_options.h"

#include <gtest/gtest.h>

#include "capture/hicap/hicap.h"

namespace kel {
namespace {

std::bitset<16> Cameras(std::initializer_list<int> numbers) {
    std::bitset<16> set;
    for (int n : numbers)
        set.set(n - 1);
    return set;
}

TEST(SimOptionsTest, ListsAndSwitchesCombine) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(SimOptions::Parse("", o, error));
    EXPECT_TRUE(o.motion.all());
    EXPECT_TRUE(o.nosignal.none());
    EXPECT_FALSE(o.absent || o.driver || o.version);

    ASSERT_TRUE(SimOptions::Parse("motion=3,5-7,nosignal=1,16,version", o, error)) << error;
    EXPECT_EQ(o.motion, Cameras({3, 5, 6, 7}));
    EXPECT_EQ(o.nosignal, Cameras({1, 16}));
    EXPECT_TRUE(o.version);
    EXPECT_FALSE(o.absent);

    ASSERT_TRUE(SimOptions::Parse("nosignal=2,2,1-3,motion=4,absent,driver", o, error)) << error;
    EXPECT_EQ(o.nosignal, Cameras({1, 2, 3}));
    EXPECT_EQ(o.motion, Cameras({4}));
    EXPECT_TRUE(o.absent && o.driver);

    // `still` means no motion anywhere, whatever else is listed.
    ASSERT_TRUE(SimOptions::Parse("motion=1-16,still", o, error));
    EXPECT_TRUE(o.motion.none());
}

TEST(SimOptionsTest, AnythingUnreadableIsRefusedAndChangesNothing) {
    for (const char* bad :
         {"bogus", "still,", ",still", "motion=", "motion=0", "motion=17", "motion=3-", "motion=7-5",
          "motion=1,x", "nosignal=a", "motion=1,,2", "3", "absent=1", "motion=1-2-3", "motion= 3", "STILL"}) {
        SimOptions o;
        o.absent = true;
        std::string error;
        EXPECT_FALSE(SimOptions::Parse(bad, o, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_TRUE(o.absent && o.motion.all()) << bad;
    }
    SimOptions o;
    std::string error;
    SimOptions::Parse("bogus", o, error);
    EXPECT_NE(error.find("'bogus'"), std::string::npos) << error;
}

TEST(SimOptionsTest, TheCommandLineCheckNamesTheBoardAndTheFault) {
    HicapInstall(nullptr);
    std::string error;
    EXPECT_TRUE(HicapCheckBoard("sim", error));
    EXPECT_TRUE(HicapCheckBoard("sim:", error));
    EXPECT_TRUE(HicapCheckBoard("sim:still,nosignal=3,5-7", error));
    EXPECT_FALSE(HicapCheckBoard("sim:bogus", error));
    EXPECT_EQ(error.rfind("--board sim:bogus: unknown option 'bogus'", 0), 0u) << error;
    EXPECT_FALSE(HicapCheckBoard("other", error));
    EXPECT_NE(error.find("unknown board 'other' (known: v4l2, stream, mix, sim)"), std::string::npos)
        << error;
    EXPECT_FALSE(HicapCheckBoard("", error));
    EXPECT_EQ(HicapBackend(), nullptr) << "a check loads nothing";
}

}  // namespace
}  // namespace kel
