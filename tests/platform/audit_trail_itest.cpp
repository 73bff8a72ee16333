// The audit trail on a real SQLite file: records chained by their keyed hashes, a record edited,
// removed from the middle or from the end found by the check, an insider's rewrites with and
// without the key, a head kept elsewhere, pruning that keeps the chain whole, and two writers on
// one file.

#include "platform/audit_trail.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/sha256.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

// A statement run on the trail's file behind its back, as someone with the file would.
void Tamper(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class AuditTrailTest : public ::testing::Test {
protected:
    // A trail of five records: 1 and 2 in May, 3 to 5 in December.
    std::unique_ptr<AuditTrail> Make() {
        auto trail = std::make_unique<AuditTrail>(file, clock);
        EXPECT_TRUE(trail->Open()) << trail->ErrorText();
        clock.Set(LocalTime{2026, 5, 4, 10, 0, 0, 1});
        EXPECT_TRUE(trail->Append("kel", AuditTrail::kLogin, "konsola"));
        EXPECT_TRUE(trail->Append("", AuditTrail::kLoginRefused, "TCP 127.0.0.1"));
        clock.Set(LocalTime{2026, 12, 8, 6, 50, 1, 2});
        EXPECT_TRUE(trail->Append("kel", AuditTrail::kConfiguration, "kamera 3 (klatki/s)"));
        EXPECT_TRUE(trail->Append("ewa", AuditTrail::kLogin, "TCP 10.0.0.7"));
        EXPECT_TRUE(trail->Append("kel", AuditTrail::kStop, "z konsoli"));
        return trail;
    }

    TempDir dir;
    std::string file = dir.File("audit.sqlite");
    FixedClock clock{LocalTime{2026, 5, 4, 10, 0, 0, 1}};
};

TEST_F(AuditTrailTest, EveryChangeBehindItsBackIsFoundAndNamed) {
    const struct {
        const char* what;
        const char* sql;
        int64_t bad;  // 0: the chain is whole
    } cases[] = {
        {"untouched", "", 0},
        {"a detail edited", "UPDATE audit SET detail = 'bez zmian' WHERE id = 3", 3},
        {"a user edited with its hash made again", "UPDATE audit SET who = 'ktos', hash = 'x' WHERE id = 2",
         2},
        {"a record removed from the middle", "DELETE FROM audit WHERE id = 2", 3},
        {"the last record removed", "DELETE FROM audit WHERE id = 5", 5},
        {"a record put in between",
         "UPDATE audit SET id = id + 10 WHERE id >= 4; "
         "INSERT INTO audit SELECT 4, at, who, what, detail, prev, hash FROM audit WHERE id = 3",
         4},
        {"records renumbered", "UPDATE audit SET id = id + 10 WHERE id >= 4", 14},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(file);
        Make().reset();
        if (*c.sql)
            Tamper(file, c.sql);
        AuditTrail trail(file, clock);
        ASSERT_TRUE(trail.Open());
        const AuditTrail::Check check = trail.Verify();
        EXPECT_EQ(check.whole, c.bad == 0) << check.why;
        EXPECT_EQ(check.badId, c.bad) << check.why;
        if (c.bad)
            EXPECT_NE(check.why.find("zdarzen"), std::string::npos) << check.why;
    }
}

std::string KeyOf(const std::string& keyFile) {
    std::ifstream in(keyFile);
    std::string hex, key;
    in >> hex;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        key.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return key;
}

// Records 3.. renumbered down by one after record 3 went, and every hash from there made again
// the way `hash` says, with the file's last hash set to match: what a careful insider would do.
void DeleteAndRechain(const std::string& file, const std::function<std::string(const AuditRecord&)>& hash,
                      bool renumber) {
    AuditTrail reader(file);
    ASSERT_TRUE(reader.Open());
    std::vector<AuditRecord> records = reader.Read();
    records.erase(records.begin() + 2);
    std::string sql = "DELETE FROM audit;";
    for (size_t i = 0; i < records.size(); ++i) {
        AuditRecord& r = records[i];
        if (renumber)
            r.id = static_cast<int64_t>(i) + 1;
        r.prev = i ? records[i - 1].hash : "";
        r.hash = hash(r);
        sql += "INSERT INTO audit VALUES (" + std::to_string(r.id) + ",'" + r.at + "','" + r.who + "','" +
               r.what + "','" + r.detail + "','" + r.prev + "','" + r.hash + "');";
    }
    sql += "UPDATE meta SET value = '" + records.back().hash + "' WHERE key = 'last';";
    Tamper(file, sql);
}

// An insider with the files, with or without the key, deletes a record and makes the chain
// whole again: the check finds each.
TEST_F(AuditTrailTest, ARecordDeletedAndTheChainRecomputedIsFound) {
    const std::string keyFile = AuditTrail::KeyPathBeside(file);
    const struct {
        const char* what;
        std::function<void()> tamper;
        const char* why;
    } cases[] = {
        {"rechained with plain SHA-256, renumbered",
         [&] {
             DeleteAndRechain(
                 file, [](const AuditRecord& r) { return AuditHash(r); }, true);
         },
         "zmieniono jego tresc"},
        {"rechained with the key, the gap left",
         [&] {
             DeleteAndRechain(
                 file, [&](const AuditRecord& r) { return AuditMac(KeyOf(keyFile), r); }, false);
         },
         "brak zdarzen przed nim"},
        {"the key's chain moved past the end, rechained with SHA-256",
         [&] {
             Tamper(file, "UPDATE meta SET value = '100' WHERE key = 'keyed_from'");
             DeleteAndRechain(
                 file, [](const AuditRecord& r) { return AuditHash(r); }, true);
         },
         "brak zdarzen po"},
        {"the tail cut and the last hash set to the new last record",
         [&] {
             Tamper(
                 file,
                 "DELETE FROM audit WHERE id = 5; UPDATE meta SET value = (SELECT hash FROM audit WHERE id "
                 "= 4) WHERE key = 'last'");
         },
         "brak zdarzen po zdarzeniu 4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(file);
        std::filesystem::remove(keyFile);
        Make().reset();
        c.tamper();
        AuditTrail trail(file, clock);
        ASSERT_TRUE(trail.Open()) << trail.ErrorText();
        const AuditTrail::Check check = trail.Verify();
        EXPECT_FALSE(check.whole);
        EXPECT_NE(check.why.find(c.why), std::string::npos) << check.why;
    }
    // The trail and its key are the owner's alone; a trail whose key is gone is not written on.
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(keyFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::filesystem::remove(keyFile);
    AuditTrail keyless(file, clock);
    EXPECT_FALSE(keyless.Open());
    EXPECT_NE(keyless.ErrorText().find("brak klucza dziennika zdarzen"), std::string::npos)
        << keyless.ErrorText();
    EXPECT_FALSE(std::filesystem::exists(keyFile)) << "no new key hides the old chain";
}

// Someone holding the key can make a whole trail of his own; a head of the chain kept elsewhere
// shows it: the trail cut at the tail, or its last records written anew, fail against it.
TEST_F(AuditTrailTest, ATrailCutOrRewrittenWithItsKeyFailsAgainstAHeadKeptElsewhere) {
    auto trail = Make();
    trail.reset();
    std::filesystem::copy_file(file, dir.File("five.sqlite"));
    {
        AuditTrail t(file, clock);
        ASSERT_TRUE(t.Open());
        EXPECT_TRUE(t.Append("kel", AuditTrail::kExport, "kamera 1"));
    }
    AuditTrail::Head kept;
    {
        AuditTrail t(file, clock);
        ASSERT_TRUE(t.Open());
        kept = t.LastHead();
        EXPECT_EQ(kept.id, 6);
        AuditTrail::Head read;
        ASSERT_TRUE(AuditTrail::ParseHead(AuditTrail::HeadJson(kept, "stacja"), read));
        EXPECT_EQ(read.id, kept.id);
        EXPECT_EQ(read.hash, kept.hash);
        EXPECT_TRUE(t.VerifyHead(kept).whole) << t.VerifyHead(kept).why;
    }
    const struct {
        const char* what;
        bool rewrite;
        const char* why;
    } cases[] = {
        {"cut at the tail", false, "brak zdarzenia 6 z zachowanej glowy"},
        {"the last record written anew", true, "zdarzenie 6: inne niz w zachowanej glowie"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::copy_file(dir.File("five.sqlite"), file,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(file + "-wal");
        std::filesystem::remove(file + "-shm");
        AuditTrail t(file, clock);
        ASSERT_TRUE(t.Open());
        if (c.rewrite)
            EXPECT_TRUE(t.Append("kel", AuditTrail::kLogin, "konsola"));
        EXPECT_TRUE(t.Verify().whole) << "whole in itself";
        const AuditTrail::Check check = t.VerifyHead(kept);
        EXPECT_FALSE(check.whole);
        EXPECT_NE(check.why.find(c.why), std::string::npos) << check.why;
    }
    AuditTrail::Head junk;
    EXPECT_FALSE(AuditTrail::ParseHead("{\"id\":\"6\"}", junk));
    EXPECT_FALSE(AuditTrail::ParseHead("nie", junk));
}

TEST_F(AuditTrailTest, RecordsReadInOrderAndPrunedPastTheirTimeWithTheChainWhole) {
    auto trail = Make();
    const std::vector<AuditRecord> all = trail->Read();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].at, "2026-05-04 10:00:00");
    EXPECT_EQ(all[0].prev, "");
    EXPECT_EQ(all[1].prev, all[0].hash);
    EXPECT_EQ(all[3].who, "ewa");
    EXPECT_EQ(all[3].what, "logowanie");
    EXPECT_EQ(all[3].detail, "TCP 10.0.0.7");
    EXPECT_EQ(trail->Read("2026-12-08").size(), 3u);
    EXPECT_EQ(trail->Read("2026-12-09").size(), 0u);

    EXPECT_EQ(trail->Prune(AuditTrail::kKeepDays), 0) << "nothing a year old";
    EXPECT_EQ(trail->Prune(30), 2) << "May's two";
    EXPECT_TRUE(trail->Verify().whole) << trail->Verify().why;
    EXPECT_TRUE(trail->Append("kel", AuditTrail::kStart, "po przycieciu"));
    EXPECT_TRUE(trail->Verify().whole) << trail->Verify().why;
    EXPECT_EQ(trail->Prune(0), 0) << "today's stay";
    clock.Set(LocalTime{2027, 12, 9, 0, 0, 0, 4});
    EXPECT_EQ(trail->Prune(30), 4);
    EXPECT_TRUE(trail->Verify().whole) << trail->Verify().why;
    EXPECT_TRUE(trail->Append("kel", AuditTrail::kStart, "pusty dziennik"));
    EXPECT_EQ(trail->Verify().records, 1u);
    EXPECT_TRUE(trail->Verify().whole) << trail->Verify().why;

    // The oldest kept record removed: it no longer follows what was pruned.
    EXPECT_TRUE(trail->Append("kel", AuditTrail::kStop, "z konsoli"));
    Tamper(file, "DELETE FROM audit WHERE id = (SELECT MIN(id) FROM audit)");
    EXPECT_FALSE(trail->Verify().whole);
}

// The station and the viewer may write one trail at once: each record still follows the one
// before it.
TEST_F(AuditTrailTest, TwoWritersOnOneFileKeepOneChain) {
    AuditTrail a(file, clock), b(file, clock);
    ASSERT_TRUE(a.Open() && b.Open());
    auto write = [](AuditTrail& t, const char* who) {
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(t.Append(who, AuditTrail::kViewing, "kamera 1")) << t.ErrorText();
    };
    std::thread one(write, std::ref(a), "stacja");
    std::thread two(write, std::ref(b), "przegladarka");
    one.join();
    two.join();
    const AuditTrail::Check check = a.Verify();
    EXPECT_TRUE(check.whole) << check.why;
    EXPECT_EQ(check.records, 400u);
}

TEST_F(AuditTrailTest, ATrailThatCannotBeOpenedSaysWhy) {
    WriteFile(dir.File("plik"), "x");
    AuditTrail trail(dir.File("plik/audit.sqlite"), clock);
    EXPECT_FALSE(trail.Open());
    EXPECT_FALSE(trail.ErrorText().empty());
    EXPECT_FALSE(trail.Append("kel", AuditTrail::kLogin, "konsola"));
    EXPECT_EQ(AuditTrail::PathBeside("/x/run/registry.sqlite"), "/x/run/audit.sqlite");
    // The hash the records and the snapshots carry is the standard one.
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    WriteFile(dir.File("abc"), "abc");
    EXPECT_EQ(Sha256File(dir.File("abc")), Sha256Hex("abc"));
    EXPECT_EQ(Sha256File(dir.File("nothing")), "");
}

}  // namespace
}  // namespace kel
