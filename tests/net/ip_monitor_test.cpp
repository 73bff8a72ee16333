#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <fstream>
#include <sstream>

#include "net/ip_monitor.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

TEST(IpMonitorTest, TheMachineAddressIsDottedIPv4AndNeverEmpty) {
    std::string address = LocalIPv4();
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
}

TEST(IpMonitorTest, ChangesAreKeptAsAHistoryOfTwentyFiveWrittenAtTheEnd) {
    std::string next = "192.168.0.10";
    TIpMonitor monitor([&] { return next; });
    EXPECT_EQ(monitor.Current(), "") << "no reading before the first";
    monitor.Read();
    monitor.Read();
    EXPECT_EQ(monitor.Current(), "192.168.0.10");
    EXPECT_TRUE(monitor.History().empty()) << "the same address again is no change";

    for (int i = 1; i <= 30; ++i) {
        next = "10.0.0." + std::to_string(i);
        monitor.Read();
    }
    auto history = monitor.History();
    ASSERT_EQ(history.size(), 25u);
    EXPECT_EQ(history.front(), "10.0.0.5");
    EXPECT_EQ(history.back(), "10.0.0.29");

    TempDir dir;
    ASSERT_TRUE(monitor.SaveHistory(dir.File("iphist.dat")));
    std::ifstream in(dir.File("iphist.dat"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().substr(0, 20), "10.0.0.5\r\n10.0.0.6\r\n");
    EXPECT_EQ(text.str().size(), 5 * 10u + 20 * 11u);
    EXPECT_FALSE(monitor.SaveHistory(dir.File("missing/iphist.dat")));
}

TEST(IpMonitorTest, TheThreadReadsOnItsOwnAndStopsAtOnce) {
    TIpMonitor monitor([] { return std::string("172.16.1.2"); });
    monitor.Start();
    for (int i = 0; i < 500 && monitor.Current().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(monitor.Current(), "172.16.1.2");
    monitor.Stop();
}

}  // namespace
}  // namespace kel
