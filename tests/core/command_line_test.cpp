#include "core/command_line.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

bool Parse(CommandLine& cmd, std::vector<std::string> args) {
    std::string error;
    return cmd.Parse(args, error);
}

TEST(CommandLineTest, StationOptions) {
    CommandLine cmd;
    ASSERT_TRUE(Parse(cmd, {"--workdir", "/w", "--registry", "r.sqlite", "--headless", "--yes", "--screen",
                            "1024x768", "--board", "sim:still", "--serial", "/dev/pts/3"}));
    EXPECT_EQ(cmd.action, CommandLine::Action::Run);
    EXPECT_EQ(cmd.workdir, "/w");
    EXPECT_EQ(cmd.registry, "r.sqlite");
    EXPECT_TRUE(cmd.headless);
    EXPECT_TRUE(cmd.yes);
    EXPECT_EQ(cmd.screenWidth, 1024);
    EXPECT_EQ(cmd.screenHeight, 768);
    EXPECT_EQ(cmd.board, "sim:still");
    EXPECT_EQ(cmd.serial, "/dev/pts/3");
}

TEST(CommandLineTest, DefaultsGiveTheVirtualScreenAndTheSimulatedBoard) {
    CommandLine cmd;
    ASSERT_TRUE(Parse(cmd, {}));
    EXPECT_EQ(cmd.screenWidth, 1280);
    EXPECT_EQ(cmd.screenHeight, 1024);
    EXPECT_EQ(cmd.board, "sim");
    EXPECT_EQ(cmd.serial, "/dev/ttyS0");
}

TEST(CommandLineTest, StoreCommands) {
    CommandLine a, b, c, d;
    ASSERT_TRUE(Parse(d, {"reg", "defaults"}));
    EXPECT_EQ(d.action, CommandLine::Action::RegDefaults);
    ASSERT_TRUE(Parse(a, {"--registry", "r", "reg", "export"}));
    EXPECT_EQ(a.action, CommandLine::Action::RegExport);
    EXPECT_EQ(a.regFile, "");
    ASSERT_TRUE(Parse(b, {"reg", "export", "out.reg"}));
    EXPECT_EQ(b.regFile, "out.reg");
    ASSERT_TRUE(Parse(c, {"reg", "import", "in.reg"}));
    EXPECT_EQ(c.action, CommandLine::Action::RegImport);
    EXPECT_EQ(c.regFile, "in.reg");
}

TEST(CommandLineTest, MalformedLinesAreRefused) {
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                              {"--workdir"},
                                                                              {"--screen", "1024"},
                                                                              {"--screen", "1024x768x2"},
                                                                              {"--screen", "0x768"},
                                                                              {"--screen", "axb"},
                                                                              {"reg"},
                                                                              {"reg", "import"},
                                                                              {"reg", "export", "a", "b"},
                                                                              {"reg", "delete"},
                                                                              {"reg", "defaults", "x"},
                                                                              {"--board", "sim:bogus"},
                                                                              {"--board", "sim:motion=0"},
                                                                              {"--board", "card"}}) {
        CommandLine cmd;
        std::string error;
        EXPECT_FALSE(cmd.Parse(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    CommandLine cmd;
    std::string error;
    cmd.Parse({"--board", "sim:still,bogus"}, error);
    EXPECT_NE(error.find("unknown option 'bogus'"), std::string::npos) << error;
}

}  // namespace
}  // namespace kel
