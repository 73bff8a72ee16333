// The off-site copier's queue in a real SQLite file: order, retries, what became of each copy,
// the start of copying, all kept across a reopening; a file that is no queue is set aside and
// the new queue copies every indexed recording again.

#include "events/copy_queue.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace kel {
namespace {

TEST(CopyQueueTest, KeepsOrderRetriesAndOutcomesAcrossAReopening) {
    TempDir dir;
    const std::string file = dir.File(CopyQueue::kFile);
    {
        CopyQueue q(file);
        bool setAside = true;
        ASSERT_TRUE(q.Open(setAside)) << q.ErrorText();
        EXPECT_FALSE(setAside);
        EXPECT_DOUBLE_EQ(q.Since(46000.5), 46000.5);
        EXPECT_DOUBLE_EQ(q.Since(47000.0), 46000.5) << "kept from the first time";
        ASSERT_TRUE(q.Add(3, "091226100000.avi", 46000.6));
        ASSERT_TRUE(q.AddAll({{0, 1, "091226100100.avi", 46000.7, 0, {}},
                              {0, 3, "091226100000.avi", 46000.6, 0, {}},
                              {0, 2, "091226100200.avi", 46000.8, 0, {}}}));
        EXPECT_EQ(q.Waiting().count, 3) << "the same recording twice is one copy";
        EXPECT_DOUBLE_EQ(q.Waiting().oldestStart, 46000.6);

        auto first = q.Next(1000);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->name, "091226100000.avi");
        ASSERT_TRUE(q.SetUpload(first->id, "upload-1"));
        ASSERT_TRUE(q.Failed(first->id, 1060));
        auto second = q.Next(1000);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->camera, 1) << "a failed copy waits its turn";
        ASSERT_TRUE(q.Finish(second->id, CopyQueue::State::Copied));
        auto third = q.Next(1000);
        ASSERT_TRUE(third);
        ASSERT_TRUE(q.Finish(third->id, CopyQueue::State::Gone));
        EXPECT_FALSE(q.Next(1000)) << "the failed one is not due yet";
        EXPECT_EQ(q.NextDue(), 1060);
    }
    CopyQueue q(file);
    bool setAside = true;
    ASSERT_TRUE(q.Open(setAside));
    EXPECT_DOUBLE_EQ(q.Since(50000), 46000.5);
    auto again = q.Next(1060);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->name, "091226100000.avi");
    EXPECT_EQ(again->attempts, 1);
    EXPECT_EQ(again->uploadId, "upload-1") << "an upload cut short is known after a restart";
    EXPECT_EQ(q.Count(CopyQueue::State::Copied), 1);
    EXPECT_EQ(q.GoneTotal(), 1);

    // Done copies of recordings the index no longer lists are forgotten; the count of those the
    // rotation took first is not.
    ASSERT_TRUE(q.ForgetBefore(46000.9));
    EXPECT_EQ(q.Count(CopyQueue::State::Copied), 0);
    EXPECT_EQ(q.Waiting().count, 1) << "a waiting copy is never forgotten";
    EXPECT_EQ(q.GoneTotal(), 1);
    ASSERT_TRUE(q.Add(1, "091226100100.avi", 46000.7));
    EXPECT_EQ(q.Waiting().count, 2);
}

TEST(CopyQueueTest, AFileThatIsNoQueueIsSetAsideAndEverythingIsCopiedAgain) {
    TempDir dir;
    const std::string file = dir.File(CopyQueue::kFile);
    WriteFile(file, std::string(8192, 'x'));
    CopyQueue q(file);
    bool setAside = false;
    ASSERT_TRUE(q.Open(setAside)) << q.ErrorText();
    EXPECT_TRUE(setAside);
    EXPECT_EQ(ReadFile(file + ".bad"), std::string(8192, 'x')) << "kept for a look";
    EXPECT_DOUBLE_EQ(q.Since(46000), 0) << "from the oldest indexed recording on";
    EXPECT_TRUE(q.Add(1, "091226100100.avi", 46000.7));

    std::filesystem::create_directory(dir.File("folder"));
    CopyQueue none(dir.File("folder"));
    EXPECT_FALSE(none.Open(setAside));
    EXPECT_NE(none.ErrorText().find("Nie mozna otworzyc"), std::string::npos) << none.ErrorText();
    EXPECT_FALSE(none.Add(1, "x.avi", 1));
    EXPECT_FALSE(none.Next(0));
}

}  // namespace
}  // namespace kel
