#include "core/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

LocalTime SixthOfDecember() {
    LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 6;
    t.hour = 9;
    t.minute = 12;
    t.second = 33;
    return t;
}

TEST(LogTest, LinesHaveTheKindCategoryDayTimeAndEndInCrLf) {
    TempDir dir;
    FixedClock clock(SixthOfDecember());
    TLog log(clock, dir.File("Server.log"));
    log.Write("SYS", "Start Systemu KEL 2.0.3");
    log.Error("SYS", "{#0009} Podczas ostatniego uruchomienia aplikacja nie zostala poprawnie zamknieta");
    log.Write("PRG", "Folder Skórki", true);
    EXPECT_EQ(ReadFile(dir.File("Server.log")),
              "[---][SYS][06.12,09:12:33] Start Systemu KEL 2.0.3\r\n"
              "[ERR][SYS][06.12,09:12:33] {#0009} Podczas ostatniego uruchomienia aplikacja nie zostala "
              "poprawnie zamknieta\r\n"
              "[---][PRG][06.12,09:12:33] Folder Skórki\r\n");
}

TEST(LogTest, TheCapEmptiesTheFileOnlyPastFiftyThousandBlocks) {
    TempDir dir;
    FixedClock clock(SixthOfDecember());
    const std::string path = dir.File("Server.log");
    TLog log(clock, path);
    const std::string line = "[---][SYS][06.12,09:12:33] x\r\n";
    for (uint64_t size : {6400000ull, 6400127ull}) {
        { std::ofstream(path, std::ios::binary | std::ios::trunc); }
        std::filesystem::resize_file(path, size);
        log.Write("SYS", "x");
        EXPECT_EQ(std::filesystem::file_size(path), size + line.size()) << "left alone at " << size;
    }
    std::filesystem::resize_file(path, 6400128);
    log.Write("SYS", "x");
    EXPECT_EQ(ReadFile(path), line);
}

TEST(LogTest, AnUnwritableLogLosesTheLineQuietly) {
    TempDir dir;
    FixedClock clock(SixthOfDecember());
    TLog log(clock, dir.File("missing-folder/Server.log"));
    log.Write("SYS", "lost");
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing-folder")));
    // A log that is a directory: neither the cap nor the append may fail loudly.
    std::filesystem::create_directory(dir.File("Server.log"));
    TLog onDir(clock, dir.File("Server.log"));
    onDir.Write("SYS", "lost too");
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("Server.log")));
}

// A disk that fills up in the middle of a line leaves no part of it: the log holds whole lines.
TEST(LogTest, AFullDiskLeavesNoCutLine) {
    TempDir dir;
    FixedClock clock(SixthOfDecember());
    const std::string path = dir.File("Server.log");
    TLog log(clock, path);
    log.Write("SYS", "pierwsza");
    const std::string first = ReadFile(path);
    {
        FileSizeLimit full(first.size() + 10);
        log.Write("SYS", "druga, dluzsza niz miejsce na dysku");
    }
    EXPECT_EQ(ReadFile(path), first);
    log.Write("SYS", "trzecia");
    EXPECT_EQ(ReadFile(path).substr(first.size()).find("[---][SYS]"), 0u) << "the next line starts whole";
}

TEST(LogTest, WritersOnManyThreadsNeverMixLines) {
    TempDir dir;
    FixedClock clock(SixthOfDecember());
    const std::string path = dir.File("Server.log");
    constexpr int kThreads = 8, kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            TLog log(clock, path);  // the recorder has its own writer on the same file
            for (int i = 0; i < kLines; ++i)
                log.Write(t % 2 ? "SYS" : "PRG",
                          "thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& th : threads)
        th.join();
    std::istringstream in(ReadFile(path));
    std::string l;
    int count = 0;
    while (std::getline(in, l)) {
        ASSERT_FALSE(l.empty());
        EXPECT_EQ(l.back(), '\r');
        EXPECT_EQ(l.rfind("[---][", 0), 0u) << l;
        EXPECT_NE(l.find("] thread "), std::string::npos) << l;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace kel
