// The real station copying its recordings off site into a real S3-compatible store (Swift with
// its S3 layer on loopback). A first run records; a second, copying slowly, is killed with
// SIGKILL in the middle of a copy; a third copies what is left. Every recording of the index is
// then in the bucket once, byte for byte, no upload is left unfinished, and the secret is in no
// log.

#include <csignal>
#include <set>

#include "platform/drive_map.h"
#include "recording/video_index.h"
#include "support/station_runner.h"
#include "support/swift_store.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class OffsiteE2E : public StationRunner {};

TEST_F(OffsiteE2E, RecordingsEndUpInTheBucketOnceAndWholeThoughTheStationIsKilledMidCopy) {
    SwiftStore store(dir);
    ASSERT_TRUE(store.Start());
    ASSERT_TRUE(store.MakeBucket("kopie-stacji"));
    PrepareRecording(2, nullptr, [&](TConfig& c) {
        c.S3 = true;
        c.S3Endpoint = store.Endpoint();
        c.S3Bucket = "kopie-stacji";
        c.S3KeyId = SwiftStore::kKey;
        c.S3Secret = SwiftStore::kSecret;
        c.S3Prefix = "magazyn";
        c.S3Limit = 40;  // KB/s: each copy takes seconds
    });
    auto first = Start();
    ASSERT_TRUE(WaitForLog("Kopie poza stacja: " + store.Endpoint() + "/kopie-stacji/magazyn, do 40 KB/s"))
        << LogText();
    std::this_thread::sleep_for(5s);
    first->Signal(SIGTERM);
    ASSERT_EQ(first->Wait(), 0);

    // The segments closed at the stop wait in the queue; the next run is killed while copying.
    auto second = Start();
    ASSERT_TRUE(WaitForLog("Kopie poza stacja: czeka ")) << LogText();
    std::this_thread::sleep_for(1500ms);
    second->Signal(SIGKILL);
    second->Wait();

    {
        auto c = std::make_unique<TConfig>(Registry());
        ASSERT_TRUE(c->Load());
        c->Scheduler.fill(kNoRecording);  // nothing new, so the bucket can be compared with the index
        c->S3Limit = 0;
        ASSERT_TRUE(c->SaveAll());
    }
    auto third = Start();
    ASSERT_TRUE(WaitForLog("Kopie poza stacja: wszystkie nagrania skopiowane", 1, 120s)) << LogText();
    third->Signal(SIGTERM);
    ASSERT_EQ(third->Wait(), 0);

    VideoIndex index;
    ASSERT_TRUE(index.LoadChecked(Work() + "/" + VideoIndex::kFile));
    ASSERT_GE(index.Size(), 4u) << "two cameras, two runs";
    const DriveMap map(Work());
    const std::string listing = store.List("kopie-stacji");
    std::set<std::string> keys;
    for (const TVideoIndexEntry& e : index.Entries()) {
        const std::string dos = e.FileName.Get();
        const std::string key =
            "magazyn/Kamera" + std::to_string(e.Camera) + "/" + dos.substr(dos.rfind('\\') + 1);
        SCOPED_TRACE(key);
        keys.insert(key);
        EXPECT_TRUE(store.Get("kopie-stacji", key) == ReadFile(map.Resolve(dos)));
        EXPECT_EQ(listing.find("<Key>" + key + "</Key>"), listing.rfind("<Key>" + key + "</Key>"));
    }
    // Beside the recordings, the audit trail's head, which the trail on the station must match.
    const std::string head = store.Get("kopie-stacji", "magazyn/audit-head.json");
    WriteFile(dir.File("head.json"), head);
    std::string out;
    EXPECT_EQ(RunStore({"audit", "--verify", "--head", dir.File("head.json")}, &out), 0) << head << out;
    keys.insert("magazyn/audit-head.json");
    size_t listed = 0;
    for (size_t at = 0; (at = listing.find("<Key>", at)) != std::string::npos; ++at)
        ++listed;
    EXPECT_EQ(listed, keys.size()) << listing;
    EXPECT_EQ(store.Curl({store.Endpoint() + "/kopie-stacji?uploads"}, "").find("<Upload>"),
              std::string::npos);
    EXPECT_EQ(LogText().find(SwiftStore::kSecret), std::string::npos) << "the secret is never logged";
}

}  // namespace
}  // namespace kel
