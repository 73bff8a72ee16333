// The archiving thread: segments are tried in the order they come, a segment without room waits
// in the temporary folder and is tried again until it is archived, and Drain returns once every
// segment handed over has been tried.

#include "recording/archive_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "support/temp_dir.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

TEST(ArchiveWorker, ASegmentWithoutRoomIsTriedAgainUntilItIsArchived) {
    TempDir dir;
    std::atomic<bool> room{false};
    std::mutex mutex;
    std::vector<std::string> archived;  // guarded by mutex
    auto archivedNow = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return archived;
    };
    ArchiveWorker worker(
        [&](const ClosedSegment& s) {
            if (!room && s.name != "gone.avi")
                return false;
            fs::remove(s.tempPath);
            std::lock_guard<std::mutex> lock(mutex);
            archived.push_back(s.name);
            return true;
        },
        std::chrono::milliseconds(10));
    WriteFile(dir / "a.avi", "a");
    WriteFile(dir / "b.avi", "b");
    worker.Start();
    worker.Post(ClosedSegment{1, dir / "a.avi", "a.avi", 0, 0});
    worker.Post(ClosedSegment{1, dir / "b.avi", "b.avi", 0, 0});
    worker.Post(ClosedSegment{1, dir / "gone.avi", "gone.avi", 0, 0});
    worker.Drain();
    EXPECT_EQ(worker.Waiting(), 2u);
    EXPECT_EQ(archivedNow(), std::vector<std::string>{"gone.avi"});
    room = true;
    for (int i = 0; i < 500 && archivedNow().size() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(archivedNow(), (std::vector<std::string>{"gone.avi", "a.avi", "b.avi"}))
        << "in the order they came";
    EXPECT_EQ(worker.Waiting(), 0u);
    worker.Stop();
    // Without its thread, Drain archives what was handed over itself.
    WriteFile(dir / "c.avi", "c");
    worker.Post(ClosedSegment{1, dir / "c.avi", "c.avi", 0, 0});
    worker.Drain();
    EXPECT_EQ(archivedNow().back(), "c.avi");
}

}  // namespace
}  // namespace kel
