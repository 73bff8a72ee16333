// Off-site copies into a real S3-compatible store: OpenStack Swift with its S3 layer on loopback.
// Files go up whole and in parts and come back byte for byte; a wrong secret is refused without
// the secret reaching the log; every archived recording is copied once, one the rotation took
// first is counted, one that cannot be read holds up no other; a store stopped mid-copy and a copier stopped
// mid-upload end, once the store is back and the copier started again, with every copy whole and no parts
// left behind.

#include "events/offsite_copies.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "support/swift_store.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

std::string Bytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

class OffsiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(store.Start()) << ReadFile(dir.File("proxy1.err"));
        ASSERT_TRUE(store.MakeBucket("kopie"));
    }

    S3Settings Settings(const std::string& secret = SwiftStore::kSecret) {
        S3Settings s;
        s.endpoint = store.Endpoint();
        s.bucket = "kopie";
        s.credentials = {SwiftStore::kKey, secret, "us-east-1"};
        s.partSize = 5 << 20;
        return s;
    }
    // A recording of camera n in the station's folder.
    std::string Record(int camera, const std::string& name, const std::string& bytes) {
        const std::string path = dir.File("c" + std::to_string(camera) + "-" + name);
        WriteFile(path, bytes);
        std::lock_guard lock(mutex_);
        files_[{camera, name}] = path;
        return path;
    }
    void Rotate(int camera, const std::string& name) {
        std::lock_guard lock(mutex_);
        std::filesystem::remove(files_[{camera, name}]);
        files_.erase({camera, name});
    }
    OffsiteLinks Links() {
        return OffsiteLinks{[this](int camera, const std::string& name) {
                                std::lock_guard lock(mutex_);
                                auto it = files_.find({camera, name});
                                return it == files_.end() ? std::string() : it->second;
                            },
                            [this] {
                                std::lock_guard lock(mutex_);
                                return indexed_;
                            },
                            [this](const std::string& text, bool) {
                                std::lock_guard lock(mutex_);
                                log_ += text + "\n";
                            },
                            [] { return 46000.0; },
                            [](double) { return std::string("2025-12-09 10:00:00"); }};
    }
    bool Logged(const std::string& text, std::chrono::seconds limit = 30s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            if (LogText().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(50ms);
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }
    std::string LogText() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    static bool Until(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    int Listed(const std::string& key) {
        const std::string list = store.List("kopie");
        int n = 0;
        for (size_t at = 0; (at = list.find("<Key>" + key + "</Key>", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }

    TempDir dir;
    SwiftStore store{dir};
    std::mutex mutex_;
    std::map<std::pair<int, std::string>, std::string> files_;
    std::vector<QueuedCopy> indexed_;
    std::string log_;
};

TEST_F(OffsiteTest, FilesGoUpWholeAndInPartsAndAWrongSecretIsRefused) {
    struct Case {
        const char* key;
        size_t size;
    } cases[] = {{"Kamera1/empty.avi", 0}, {"Kamera1/small.avi", 300000}, {"Kamera2/twelve.avi", 12 << 20}};
    S3Client client(Settings());
    for (const Case& c : cases) {
        const std::string bytes = Bytes(c.size, static_cast<unsigned>(c.size));
        const std::string path = Record(1, c.key + 8, bytes);
        std::string upload;
        ASSERT_TRUE(client.PutFile(
            path, c.key, [&](const std::string& id) { upload = id; }, nullptr))
            << c.key << ": " << client.ErrorText();
        EXPECT_EQ(upload.empty(), c.size <= (5u << 20)) << c.key << ": parts only above a part's size";
        EXPECT_TRUE(store.Get("kopie", c.key) == bytes) << c.key;
    }
    uint64_t size = 0;
    std::string etag;
    ASSERT_TRUE(client.Head("Kamera2/twelve.avi", size, etag));
    EXPECT_EQ(size, 12u << 20);
    EXPECT_EQ(etag.substr(etag.size() - 2), "-3") << etag;

    S3Client wrong(Settings("tajne-haslo"));
    EXPECT_FALSE(wrong.PutFile(dir.File("c1-small.avi"), "Kamera1/other.avi", nullptr, nullptr));
    EXPECT_NE(wrong.ErrorText().find("HTTP 403"), std::string::npos) << wrong.ErrorText();
    EXPECT_EQ(wrong.ErrorText().find("tajne-haslo"), std::string::npos);
    EXPECT_FALSE(client.PutFile(dir.File("none.avi"), "Kamera1/none.avi", nullptr, nullptr));
    EXPECT_NE(client.ErrorText().find("none.avi"), std::string::npos) << client.ErrorText();

    std::string why;
    S3Settings bad = Settings();
    bad.endpoint = "ftp://127.0.0.1";
    EXPECT_FALSE(S3Client(bad).Usable(why));
    EXPECT_NE(why.find("http://"), std::string::npos);
}

TEST_F(OffsiteTest, EveryArchivedRecordingIsCopiedOnceAndOneRotatedFirstIsCounted) {
    // Two recordings indexed before the copier ran (a crash before they were queued), one from
    // before copying began, one archived while it runs, one the rotation takes first.
    const std::string a = Bytes(200000, 1), b = Bytes(300000, 2), c = Bytes(100000, 3);
    Record(1, "091226100000.avi", a);
    Record(2, "091226100000.avi", b);
    Record(1, "091226090000.avi", "old");
    // And one that can never be read: it is tried again and again, and holds up no other.
    const std::string unreadable = Record(5, "091226100000.avi", "");
    std::filesystem::remove(unreadable);
    std::filesystem::create_directory(unreadable);
    indexed_ = {{0, 5, "091226100000.avi", 46000.4, 0, {}},
                {0, 1, "091226100000.avi", 46000.5, 0, {}},
                {0, 2, "091226100000.avi", 46000.5, 0, {}},
                {0, 1, "091226090000.avi", 45999.0, 0, {}}};
    OffsiteCopies copies(Links());
    copies.SetPauses(200ms, 2s);
    OffsiteSettings settings{Settings(), "Stacja 1"};
    ASSERT_TRUE(copies.Start(dir.File(CopyQueue::kFile), settings));
    ASSERT_TRUE(Until([&] { return copies.Copied() == 2; }));
    Record(3, "091226101500.avi", c);
    copies.Archived(3, "091226101500.avi", 46000.6);
    copies.Archived(4, "091226101500.avi", 46000.6);  // no longer on the drive
    ASSERT_TRUE(Until([&] { return copies.Copied() == 3 && copies.Waiting().count == 1; }));
    EXPECT_TRUE(Logged("Kopie poza stacja: nie mozna skopiowac Stacja 1/Kamera5/091226100000.avi"))
        << LogText();
    EXPECT_TRUE(Logged("Nagranie usuniete z dysku przed skopiowaniem poza stacje: Kamera4\\091226101500.avi "
                       "(razem 1)"))
        << LogText();
    copies.Stop();

    EXPECT_TRUE(store.Get("kopie", "Stacja%201/Kamera1/091226100000.avi") == a);
    EXPECT_TRUE(store.Get("kopie", "Stacja%201/Kamera2/091226100000.avi") == b);
    EXPECT_TRUE(store.Get("kopie", "Stacja%201/Kamera3/091226101500.avi") == c);
    EXPECT_EQ(Listed("Stacja 1/Kamera1/091226090000.avi"), 0) << "from before copying began";

    // Started again, it copies nothing twice.
    indexed_.push_back({0, 3, "091226101500.avi", 46000.6, 0, {}});
    ASSERT_TRUE(copies.Start(dir.File(CopyQueue::kFile), settings));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(copies.Copied(), 3u);
    EXPECT_EQ(copies.Waiting().count, 1) << "only the unreadable one waits";
}

TEST_F(OffsiteTest, AStoreStoppedMidCopyAndACopierStoppedMidUploadLeaveEveryCopyWhole) {
    const std::string big = Bytes(12 << 20, 7), second = Bytes(11 << 20, 8);
    Record(1, "091226100000.avi", big);
    Record(2, "091226100000.avi", second);
    const std::string queue = dir.File(CopyQueue::kFile);
    S3Settings slow = Settings();
    slow.bytesPerSecond = 2 << 20;
    {
        OffsiteCopies copies(Links());
        copies.SetPauses(500ms, 2s);
        ASSERT_TRUE(copies.Start(queue, {slow, "s"}));
        copies.Archived(1, "091226100000.avi", 46000.5);
        std::this_thread::sleep_for(2s);  // within the first of its three parts
        store.Stop();
        // A store that stops reading without closing the line is given up after a minute's stall.
        ASSERT_TRUE(Logged("Kopie poza stacja: nie mozna skopiowac s/Kamera1/091226100000.avi", 90s))
            << LogText();
        ASSERT_TRUE(store.Start());
        ASSERT_TRUE(Logged("Kopie poza stacja: serwer znow przyjmuje kopie")) << LogText();
        EXPECT_EQ(copies.Copied(), 1u);

        copies.Archived(2, "091226100000.avi", 46000.6);
        std::this_thread::sleep_for(2500ms);
        copies.Stop();  // mid-upload: its parts are known to the queue
        EXPECT_EQ(copies.Waiting().count, 1);
    }
    OffsiteCopies again(Links());
    ASSERT_TRUE(again.Start(queue, {Settings(), "s"}));
    ASSERT_TRUE(Logged("Kopie poza stacja: czeka 1 nagran")) << LogText();
    ASSERT_TRUE(Until([&] { return again.Copied() == 1; })) << LogText();
    again.Stop();
    EXPECT_TRUE(store.Get("kopie", "s/Kamera1/091226100000.avi") == big);
    EXPECT_TRUE(store.Get("kopie", "s/Kamera2/091226100000.avi") == second);
    EXPECT_EQ(Listed("s/Kamera1/091226100000.avi"), 1);
    EXPECT_EQ(Listed("s/Kamera2/091226100000.avi"), 1);
    const std::string uploads = store.Curl({store.Endpoint() + "/kopie?uploads"}, "");
    EXPECT_EQ(uploads.find("<Upload>"), std::string::npos) << "no upload left unfinished: " << uploads;
    EXPECT_TRUE(Logged("Kopie poza stacja: wszystkie nagrania skopiowane")) << LogText();
}

}  // namespace
}  // namespace kel
