// Reading segments back as the recorder left them: finished, still growing, cut short by a crash,
// with a damaged index, or no segment at all.

#include "recording/segment_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/recordings.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

TEST(SegmentReaderTest, FinishedCutAndDamagedFilesGiveThePicturesBeforeAnyDamage) {
    struct Case {
        const char* name;
        void (*spoil)(const std::string& path);
        size_t pictures;
        bool finished;
        bool damaged;
    };
    const Case cases[] = {
        {"finished", [](const std::string&) {}, 10, true, false},
        // A crash: no index, the last picture's text torn.
        {"cut short", [](const std::string& p) { fs::resize_file(p, fs::file_size(p) * 6 / 10); }, 0, false,
         false},
        // The index's sixth entry points elsewhere: the pictures before it stay.
        {"index entry damaged",
         [](const std::string& p) {
             const std::string b = ReadFile(p);
             const size_t idx = b.rfind("idx1");
             std::string s = b;
             s[idx + 8 + 5 * 16 + 8] ^= 0x40;  // entry 5's offset
             WriteFile(p, s);
         },
         2, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestArchive archive;
        const std::string path = archive.Record(1, At(10, 0, 0), 10);
        c.spoil(path);
        SegmentReader r;
        ASSERT_TRUE(r.Open(path)) << r.ErrorText();
        EXPECT_EQ(r.Width(), kTestWidth);
        EXPECT_EQ(r.Height(), kTestHeight);
        EXPECT_EQ(r.Rate(), 5);
        EXPECT_EQ(r.Finished(), c.finished);
        EXPECT_EQ(r.Damaged(), c.damaged);
        if (c.pictures > 0)
            EXPECT_EQ(r.Pictures(), c.pictures);
        else
            EXPECT_GT(r.Pictures(), 3u);
        for (size_t i = 0; i < r.Pictures(); ++i)
            EXPECT_EQ(r.Stamp(i), FrameStamp(Plus(At(10, 0, 0), static_cast<int>(i) / 5)));
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(r.ReadPicture(r.Pictures() - 1, bytes));
        EXPECT_GT(bytes.size(), 10u);
        EXPECT_FALSE(r.ReadPicture(r.Pictures(), bytes));
    }
}

TEST(SegmentReaderTest, AGrowingSegmentIsFollowedUntilItIsFinished) {
    TestArchive archive;
    const std::string path = archive.dir / "growing.avi";
    Segment s;
    ASSERT_TRUE(s.Open(path, "growing.avi", DateTimeValue(At(9, 0, 0)), kTestWidth, kTestHeight, 5));
    for (int k = 0; k < 3; ++k)
        archive.Write(s, At(9, 0, 0), k, 5);
    SegmentReader r;
    ASSERT_TRUE(r.Open(path)) << r.ErrorText();
    EXPECT_EQ(r.Pictures(), 3u);
    EXPECT_FALSE(r.Finished());
    bool changed = true;
    ASSERT_TRUE(r.Refresh(changed));
    EXPECT_FALSE(changed);
    for (int k = 3; k < 7; ++k)
        archive.Write(s, At(9, 0, 0), k, 5);
    ASSERT_TRUE(r.Refresh(changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(r.Pictures(), 7u);
    ASSERT_TRUE(s.Close());
    ASSERT_TRUE(r.Refresh(changed));
    EXPECT_TRUE(r.Finished());
    EXPECT_EQ(r.Pictures(), 7u);
    EXPECT_EQ(r.Stamp(6), FrameStamp(Plus(At(9, 0, 0), 1)));
}

TEST(SegmentReaderTest, WhatIsNoSegmentIsRefusedWithAReason) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"text", "hello, this is no video at all"},
        {"RIFF WAVE", std::string("RIFF\x24\0\0\0WAVEfmt ", 16)},
        {"headers cut", std::string("RIFF\0\0\0\0AVI LIST\xc0\0\0\0hdrl", 24)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFile(dir / "x.avi", bytes);
        SegmentReader r;
        EXPECT_FALSE(r.Open(dir / "x.avi"));
        EXPECT_NE(r.ErrorText(), "");
        EXPECT_FALSE(r.IsOpen());
    }
    SegmentReader r;
    EXPECT_FALSE(r.Open(dir / "missing.avi"));
}

TEST(SegmentReaderTest, StampsParseToTheirMomentAndNothingElseDoes) {
    int64_t ms = 0;
    ASSERT_TRUE(SegmentReader::ParseStamp("2026-12-07: 10:00:01", ms));
    EXPECT_EQ(ms, MsOf(At(10, 0, 1)));
    for (const char* bad : {"", "2026-12-07 10:00:01", "2026-13-07: 10:00:01", "2026-12-07: 24:00:00",
                            "2026-12-07: 10:00:01x", "abcd-ef-gh: 10:00:01"})
        EXPECT_FALSE(SegmentReader::ParseStamp(bad, ms)) << bad;
}

}  // namespace
}  // namespace kel
