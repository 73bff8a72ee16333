#include "core/command_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>

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
    CommandLine e, f;
    ASSERT_TRUE(Parse(e, {"--registry", "r", "audit"}));
    EXPECT_EQ(e.action, CommandLine::Action::Audit);
    EXPECT_FALSE(e.auditVerify);
    ASSERT_TRUE(Parse(f, {"audit", "--since", "2026-12-01", "--verify"}));
    EXPECT_EQ(f.auditSince, "2026-12-01");
    EXPECT_TRUE(f.auditVerify);
}

TEST(CommandLineTest, MalformedLinesAreRefused) {
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--bogus"},
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
                                               {"audit", "--since"},
                                               {"audit", "--since", "1.12.2026"},
                                               {"audit", "all"},
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

namespace kel {
namespace {

// The help and the parser agree: every option the help names is accepted (with a sample value),
// and every option the parser knows is in the help.
TEST(CommandLineTest, TheHelpNamesExactlyTheOptionsTheParserAccepts) {
    const std::string help = CommandLine::Usage();
    std::set<std::string> named;
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < help.size() && (std::isalnum(static_cast<unsigned char>(help[end])) || help[end] == '-'))
            ++end;
        named.insert(help.substr(at, end - at));
    }
    const std::map<std::string, std::string> samples{{"DIR", "/tmp"},
                                                     {"FILE", "/tmp/r.sqlite"},
                                                     {"WxH", "800x600"},
                                                     {"NAME[:OPTIONS]", "sim:still"},
                                                     {"DEVICE", "/dev/ttyS1"}};
    std::set<std::string> known;
    for (const CommandLine::Option& o : CommandLine::Options()) {
        known.insert(o.name);
        std::vector<std::string> args{o.name};
        if (o.value)
            args.push_back(samples.at(o.value));
        CommandLine c;
        std::string error;
        EXPECT_TRUE(c.Parse(args, error)) << o.name << ": " << error;
    }
    known.insert({"--since", "--verify", "--head"});  // the audit command's own
    EXPECT_EQ(named, known);
    CommandLine c;
    std::string error;
    ASSERT_TRUE(c.Parse({"--version"}, error));
    EXPECT_EQ(c.action, CommandLine::Action::Version);
    EXPECT_EQ(CommandLine::Version(), "kel " KEL_VERSION);
}

}  // namespace
}  // namespace kel
