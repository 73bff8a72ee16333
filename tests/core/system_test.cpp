#include "core/system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fakes.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

// Each test gets its own runtime folder, so the instance mark never meets a running station.
class SystemTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1); }
    TempDir dir;
    FakeSystemInfo info;
    FakeScreenSaver saver;
};

TEST_F(SystemTest, APassingCheckRecordsMemoryScreenAndTheSystemLine) {
    InstanceLock mark;
    TSystem sys(info, saver, mark);
    ASSERT_TRUE(sys.Check()) << sys.ErrorText();
    EXPECT_EQ(sys.OsText(), "System Operacyjny - Linux 6.1.0");
    EXPECT_EQ(sys.RamMB(), 8193u);
    EXPECT_EQ(sys.ScreenWidth(), 1280);
    EXPECT_EQ(sys.ScreenHeight(), 1024);
    EXPECT_TRUE(saver.inhibited);
    EXPECT_TRUE(mark.Held());
    sys.Release();
    EXPECT_FALSE(saver.inhibited);
    EXPECT_FALSE(mark.Held());
}

TEST_F(SystemTest, MemoryIsRoundedUpByOneMegabyte) {
    InstanceLock mark;
    TSystem sys(info, saver, mark);
    info.ram = 127ull * 1048576 + 524288;  // 127.5 MB counts as 128
    EXPECT_TRUE(sys.Check());
    EXPECT_EQ(sys.RamMB(), 128u);
    sys.Release();
    info.ram = 126ull * 1048576 + 943718;  // 126.9 MB counts as 127
    TSystem low(info, saver, mark);
    EXPECT_FALSE(low.Check());
    EXPECT_EQ(low.ErrorText(), "{#0003} Brak wystarczającej ilości pamieci RAM");
    EXPECT_EQ(low.RamMB(), 0u) << "sizes are filled only on success";
    EXPECT_TRUE(saver.inhibited);
}

TEST_F(SystemTest, MachinesWithVeryLargeMemoryDoNotWrap) {
    InstanceLock mark;
    TSystem sys(info, saver, mark);
    info.ram = 64ull << 30;
    ASSERT_TRUE(sys.Check());
    EXPECT_EQ(sys.RamMB(), 65537u);
}

TEST_F(SystemTest, AnOldOrForeignSystemIsRefused) {
    InstanceLock mark;
    TSystem sys(info, saver, mark);
    info.os = {"Linux", "3.10.0", 3, 10, 0};
    EXPECT_FALSE(sys.Check());
    EXPECT_EQ(sys.ErrorText(), "{#0002} Nie właściwy System Operacyjny (Windows 95,98,ME,NT)");
    info.os = {"Linux", "4.0.0", 4, 0, 0};
    EXPECT_TRUE(sys.Check());
}

TEST_F(SystemTest, ASecondStationIsRefusedAndTheFirstKeepsItsMark) {
    InstanceLock first;
    TSystem a(info, saver, first);
    ASSERT_TRUE(a.Check());
    InstanceLock second;
    TSystem b(info, saver, second);
    EXPECT_FALSE(first.TakeRing());
    EXPECT_FALSE(b.Check());
    EXPECT_EQ(b.ErrorText(), "{#0001} System KEL jest już uruchomiony!");
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(first.TakeRing()) << "the refused start rang the first one's bell";
    EXPECT_FALSE(first.TakeRing()) << "once";
    a.Release();
    EXPECT_FALSE(std::filesystem::exists(first.BellPath()));
    EXPECT_TRUE(b.Check()) << "after the first one released its mark";
    EXPECT_GE(second.BellFd(), 0) << "the bell goes with the mark";
}

TEST_F(SystemTest, AStaleRuntimeFolderDoesNotBlockTheStart) {
    setenv("XDG_RUNTIME_DIR", dir.File("gone").c_str(), 1);
    InstanceLock mark;
    TSystem sys(info, saver, mark);
    EXPECT_TRUE(sys.Check()) << sys.ErrorText();
}

}  // namespace
}  // namespace kel
