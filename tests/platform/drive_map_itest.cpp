// The drive letters over the working directory's "drives" folder, the kind of a file system, and
// putting files in place without ever losing or replacing one.

#include "platform/drive_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drive_probe.h"
#include "platform/safe_file.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

TEST(DriveMap, TheFirstStartMakesDriveCAsALinkBesideTheMap) {
    TempDir dir;
    DriveMap map(dir.Path());
    ASSERT_TRUE(map.EnsureDriveC()) << map.ErrorText();
    EXPECT_TRUE(fs::is_symlink(dir / "drives/c:"));
    EXPECT_EQ(fs::read_symlink(dir / "drives/c:"), fs::path("../drive_c"));
    EXPECT_TRUE(fs::is_directory(dir / "drives/c:"));
    // A C: of the operator's own making is left alone.
    fs::remove(dir / "drives/c:");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "drives/c:");
    ASSERT_TRUE(map.EnsureDriveC());
    EXPECT_EQ(fs::read_symlink(dir / "drives/c:"), dir / "elsewhere");
    // A map that cannot be made says why.
    TempDir other;
    WriteFile(other / "drives", "a file");
    DriveMap broken(other.Path());
    EXPECT_FALSE(broken.EnsureDriveC());
    EXPECT_NE(broken.ErrorText().find("c:"), std::string::npos);
}

TEST(DriveMap, LettersAreListedInOrderAndDosPathsResolveUnderTheMap) {
    TempDir dir;
    for (const char* e : {"e:", "c:", "d:", "readme", "dd:", "1:"})
        fs::create_directories(dir / ("drives/" + std::string(e)));
    fs::create_directory_symlink(dir / "nowhere", dir / "drives/x:");  // listed; the probe judges it
    DriveMap map(dir.Path());
    EXPECT_EQ(map.Letters(), (std::vector<char>{'C', 'D', 'E', 'X'}));
    EXPECT_EQ(map.DrivePath('d'), dir / "drives/d:");
    EXPECT_EQ(map.Resolve("D:\\KEL2_Videos\\Kamera3\\010526120000.avi"),
              dir / "drives/d:/KEL2_Videos/Kamera3/010526120000.avi");
    EXPECT_EQ(map.Resolve("e:/a\\\\b"), dir / "drives/e:/a/b");
    EXPECT_EQ(map.Resolve("D:\\KEL2_Videos\\..\\..\\c:\\x"), "") << "an entry never leaves its drive";
    EXPECT_EQ(map.Resolve("KEL2_Videos\\x.avi"), "");
    EXPECT_EQ(map.Resolve("7:\\x"), "");
    EXPECT_EQ(map.DrivePath('?'), "");
}

TEST(DriveProbe, ALetterLeadingNowhereHasNoRootAndNoSpace) {
    TempDir dir;
    fs::create_directory_symlink(dir / "nowhere", dir / "x:");
    EXPECT_EQ(SystemDriveProbe::Instance().Type(dir / "x:"), DriveType::NoRootDir);
    DriveSpace space;
    EXPECT_FALSE(SystemDriveProbe::Instance().Space(dir / "x:", space));
    EXPECT_EQ(SystemDriveProbe::TypeOfFileSystem(0x65735546, false), DriveType::Remote) << "sshfs";
    EXPECT_EQ(SystemDriveProbe::TypeOfFileSystem(0x65735546, true), DriveType::Fixed) << "NTFS through FUSE";
}

TEST(SafeFile, AMoveNeverReplacesAFileAndAFailedMoveLeavesTheSource) {
    TempDir dir;
    WriteFile(dir / "a", "new");
    WriteFile(dir / "b", "old");
    std::string error;
    EXPECT_FALSE(MoveFileNoReplace(dir / "a", dir / "b", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(dir / "a"), "new");
    EXPECT_EQ(ReadFile(dir / "b"), "old");
    EXPECT_FALSE(MoveFileNoReplace(dir / "a", dir / "missing/c", error));
    EXPECT_EQ(ReadFile(dir / "a"), "new");
    EXPECT_TRUE(MoveFileNoReplace(dir / "a", dir / "c", error)) << error;
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(ReadFile(dir / "c"), "new");
    EXPECT_FALSE(MoveFileNoReplace(dir / "a", dir / "d", error)) << "no source";
}

// Across file systems the move is a flushed copy; /dev/shm is another file system where it exists.
TEST(SafeFile, AMoveAcrossFileSystemsCopiesAndRemovesTheSource) {
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    TempDir dir;
    std::string target = "/dev/shm/kel-move-" + std::to_string(::getpid());
    WriteFile(dir / "a", std::string(3 << 20, 'v'));
    WriteFile(target + ".part", "cut off by a crash");
    std::string error;
    ASSERT_TRUE(MoveFileNoReplace(dir / "a", target, error)) << error;
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(ReadFile(target), std::string(3 << 20, 'v'));
    EXPECT_FALSE(fs::exists(target + ".part")) << "the copy is made under a name of its own";
    WriteFile(dir / "a", "again");
    EXPECT_FALSE(MoveFileNoReplace(dir / "a", target, error));
    EXPECT_EQ(ReadFile(dir / "a"), "again");
    fs::remove(target);
}

TEST(SafeFile, AReplacementIsWholeOrNotAtAll) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(dir / "f", "first", 5, error));
    ASSERT_TRUE(ReplaceFileAtomically(dir / "f", "second", 6, error));
    EXPECT_EQ(ReadFile(dir / "f"), "second");
    fs::create_directories(dir / "g");
    EXPECT_FALSE(ReplaceFileAtomically(dir / "g", "x", 1, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "g.part"));
}

}  // namespace
}  // namespace kel
