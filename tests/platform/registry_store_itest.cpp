#include "platform/registry_store.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace kel {
namespace {

constexpr char kKey[] = "Software\\KEL2";

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

// A plain SQLite connection beside the store, as another program (or the recorder) would hold.
struct RawConnection {
    explicit RawConnection(const std::string& file) { EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK); }
    ~RawConnection() { sqlite3_close(db); }
    int Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    sqlite3* db = nullptr;
};

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.Open(file)) << store.ErrorText(); }

    RegValue Read(std::string_view key, std::string_view name) {
        RegValue v;
        EXPECT_TRUE(store.ReadValue(key, name, v)) << store.ErrorText();
        return v;
    }
    bool Has(std::string_view name) {
        RegValue v;
        return store.ReadValue(kKey, name, v);
    }

    TempDir dir;
    std::string file = dir / "config/kel/registry.sqlite";  // the folders do not exist yet
    RegistryStore store;
};

TEST_F(RegistryStoreTest, ValuesKeepTheirTypeAndBytes) {
    const std::vector<uint8_t> zones = Pattern(405632);
    struct Case {
        const char* name;
        RegType type;
        std::vector<uint8_t> data;
    } cases[] = {
        {"Skin", RegType::Sz, RegistryStore::SzBytes("Domyślny")},
        {"Path", RegType::ExpandSz, Bytes(std::string_view("%HOME%\0", 7))},
        {"Width", RegType::Dword, RegistryStore::DwordBytes(1024)},
        {"Zones", RegType::Binary, zones},
        {"Empty", RegType::Binary, {}},
        {"Multi", static_cast<RegType>(7), Bytes(std::string_view("a\0b\0\0", 5))},
        {"", RegType::Sz, RegistryStore::SzBytes("default value")},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(store.WriteValue(kKey, c.name, c.type, c.data)) << c.name << ": " << store.ErrorText();
    for (const auto& c : cases) {
        const RegValue v = Read(kKey, c.name);
        EXPECT_EQ(v.name, c.name);
        EXPECT_EQ(v.type, c.type) << c.name;
        EXPECT_EQ(v.data, c.data) << c.name;
    }
    EXPECT_EQ(RegistryStore::DwordBytes(0x12345678), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(RegistryStore::SzBytes("Łódź"), (std::vector<uint8_t>{0xA3, 0xF3, 'd', 0x9F, 0}));
}

TEST_F(RegistryStoreTest, NamesAndKeysMatchWithoutCase) {
    ASSERT_TRUE(store.WriteValue("\\Software\\KEL2\\", "sPass", RegType::Sz, RegistryStore::SzBytes("qxv")));
    EXPECT_EQ(Read("software\\kel2", "sPASS").data, RegistryStore::SzBytes("qxv"));

    // Writing under another case replaces the one value; the name keeps its first spelling.
    ASSERT_TRUE(store.WriteValue("SOFTWARE\\KEL2", "SPASS", RegType::Dword, RegistryStore::DwordBytes(5)));
    std::vector<RegValue> values;
    ASSERT_TRUE(store.ListValues(kKey, values));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "sPass");
    EXPECT_EQ(values[0].type, RegType::Dword);  // an overwrite changes the type too
    EXPECT_EQ(store.Keys(), (std::vector<std::string>{"Software", "Software\\KEL2"}));
}

TEST_F(RegistryStoreTest, KeyPathsAreNormalisedAndCheckedForNonsense) {
    ASSERT_TRUE(store.CreateKey("\\\\Software\\KEL2\\Sub\\"));
    EXPECT_TRUE(store.KeyExists("Software"));  // parents are created with the key
    EXPECT_TRUE(store.KeyExists("\\Software\\KEL2"));
    EXPECT_TRUE(store.KeyExists("software\\kel2\\sub\\"));
    EXPECT_FALSE(store.KeyExists("Software\\KEL"));
    for (const char* bad : {"", "\\", "\\\\\\", "A\\\\B"}) {
        EXPECT_FALSE(store.CreateKey(bad)) << bad;
        EXPECT_FALSE(store.ErrorText().empty());
        EXPECT_FALSE(store.WriteValue(bad, "x", RegType::Binary, {})) << bad;
    }
    EXPECT_FALSE(store.WriteValue(kKey, "line\nbreak", RegType::Binary, {}));
    EXPECT_FALSE(store.WriteValue(kKey, std::string_view("nul\0", 4), RegType::Binary, {}));
}

TEST_F(RegistryStoreTest, MissingValueIsToldApartFromAFailure) {
    RegValue v;
    EXPECT_FALSE(store.ReadValue(kKey, "Width", v));
    EXPECT_TRUE(store.LastReadMissing());
    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_TRUE(store.DeleteValue(kKey, "Width"));  // deleting what is not there is no failure
}

TEST_F(RegistryStoreTest, DeleteKeyTakesSubkeysButNotSiblingsWithTheSamePrefix) {
    for (const char* key : {"A\\K_%", "A\\K_%\\Sub", "A\\K_%x", "A\\KX%"})
        ASSERT_TRUE(store.WriteValue(key, "v", RegType::Dword, RegistryStore::DwordBytes(1)));
    ASSERT_TRUE(store.DeleteKey("a\\k_%"));
    EXPECT_EQ(store.Keys(), (std::vector<std::string>{"A", "A\\K_%x", "A\\KX%"}));
    RegValue v;
    EXPECT_FALSE(store.ReadValue("A\\K_%\\Sub", "v", v));
    EXPECT_TRUE(store.ReadValue("A\\K_%x", "v", v));
    EXPECT_TRUE(store.DeleteValue("A\\KX%", "V"));
    EXPECT_FALSE(store.ReadValue("A\\KX%", "v", v));
}

TEST_F(RegistryStoreTest, TransactionsCommitOrRollBackAsAWhole) {
    ASSERT_TRUE(store.Begin());
    ASSERT_TRUE(store.WriteValue(kKey, "A", RegType::Dword, RegistryStore::DwordBytes(1)));
    store.Rollback();
    EXPECT_FALSE(Has("A"));
    EXPECT_FALSE(store.KeyExists(kKey));

    ASSERT_TRUE(store.Begin());
    EXPECT_FALSE(store.Begin());  // no nesting
    ASSERT_TRUE(store.WriteValue(kKey, "A", RegType::Dword, RegistryStore::DwordBytes(1)));
    ASSERT_TRUE(store.Commit());
    EXPECT_TRUE(Has("A"));

    // A failed write inside a save must not leave the rest committed as if all went well.
    ASSERT_TRUE(store.Begin());
    ASSERT_TRUE(store.WriteValue(kKey, "B", RegType::Dword, RegistryStore::DwordBytes(2)));
    EXPECT_FALSE(store.WriteValue(kKey, "bad\nname", RegType::Dword, RegistryStore::DwordBytes(3)));
    EXPECT_FALSE(store.WriteValue(kKey, "C", RegType::Dword, RegistryStore::DwordBytes(3)));
    EXPECT_FALSE(store.Commit());
    EXPECT_NE(store.ErrorText().find("invalid value name"), std::string::npos) << store.ErrorText();
    EXPECT_FALSE(Has("B"));
    EXPECT_FALSE(store.InTransaction());
    EXPECT_FALSE(store.Commit());  // nothing open any more
}

TEST_F(RegistryStoreTest, ValuesPersistAndAreSharedWithASecondConnection) {
    ASSERT_TRUE(store.WriteValue(kKey, "VideoFiles", RegType::Dword, RegistryStore::DwordBytes(42)));
    RegistryStore recorder;
    ASSERT_TRUE(recorder.Open(file)) << recorder.ErrorText();
    ASSERT_TRUE(recorder.WriteValue(kKey, "UsedDisk", RegType::Dword, RegistryStore::DwordBytes(7)));
    EXPECT_EQ(Read(kKey, "UsedDisk").data, RegistryStore::DwordBytes(7));
    recorder.Close();
    store.Close();
    EXPECT_FALSE(store.IsOpen());

    ASSERT_TRUE(store.Open(file));
    EXPECT_EQ(Read(kKey, "VideoFiles").data, RegistryStore::DwordBytes(42));
    EXPECT_EQ(Read(kKey, "UsedDisk").data, RegistryStore::DwordBytes(7));
}

// ---- damaged files ----

class DamagedStoreTest : public RegistryStoreTest {
protected:
    void SetUp() override {
        store.Close();
        store.SetClock(&clock);
    }
    void ExpectUnreadable() {
        EXPECT_TRUE(store.IsOpen());
        EXPECT_TRUE(store.IsCorrupt());
        RegValue v;
        EXPECT_FALSE(store.ReadValue(kKey, "Width", v));
        EXPECT_FALSE(store.LastReadMissing());
        EXPECT_NE(store.ErrorText().find("damaged"), std::string::npos) << store.ErrorText();
        EXPECT_FALSE(store.KeyExists(kKey));
        std::vector<std::string> keys;
        EXPECT_FALSE(store.ListKeys(keys));
        EXPECT_FALSE(store.BeginRead());
    }
    const std::string aside = file + ".damaged-20240305-142233";
    FixedClock clock{LocalTime{2024, 3, 5, 14, 22, 33, 2}};
    static constexpr char kTail[] = "\0\1\2\3 not a database";
    const std::string garbage = std::string(3000, 'x') + std::string(kTail, sizeof kTail - 1);
};

TEST_F(DamagedStoreTest, GarbageIsNeverWrittenAndMovedAsideByTheFirstWrite) {
    std::filesystem::create_directories(dir / "config/kel");
    WriteFile(file, garbage);
    ASSERT_TRUE(store.Open(file)) << store.ErrorText();
    ExpectUnreadable();
    EXPECT_EQ(ReadFile(file), garbage);
    EXPECT_TRUE(store.MovedAsideTo().empty());

    ASSERT_TRUE(store.WriteValue(kKey, "Width", RegType::Dword, RegistryStore::DwordBytes(1024)))
        << store.ErrorText();
    EXPECT_FALSE(store.IsCorrupt());
    EXPECT_EQ(store.MovedAsideTo(), aside);
    EXPECT_EQ(ReadFile(aside), garbage);
    EXPECT_EQ(Read(kKey, "Width").data, RegistryStore::DwordBytes(1024));

    store.Close();
    ASSERT_TRUE(store.Open(file));
    EXPECT_FALSE(store.IsCorrupt());
    EXPECT_EQ(Read(kKey, "Width").data, RegistryStore::DwordBytes(1024));
}

TEST_F(DamagedStoreTest, AnEarlierAsideFileIsNeverOverwritten) {
    std::filesystem::create_directories(dir / "config/kel");
    WriteFile(aside, "older damaged copy");
    WriteFile(file, garbage);
    ASSERT_TRUE(store.Open(file));
    ASSERT_TRUE(store.Begin()) << store.ErrorText();  // Begin is a write too
    ASSERT_TRUE(store.Commit());
    EXPECT_EQ(store.MovedAsideTo(), aside + "-2");
    EXPECT_EQ(ReadFile(aside), "older damaged copy");
    EXPECT_EQ(ReadFile(aside + "-2"), garbage);
}

// A file whose header is sound but whose later pages are not: found at open, before any write.
TEST_F(DamagedStoreTest, DamageInsideAValidFileIsFoundAtOpen) {
    ASSERT_TRUE(store.Open(file));
    ASSERT_TRUE(store.WriteValue(kKey, "Zones", RegType::Binary, Pattern(405632)));
    store.Close();  // checkpoints everything into the main file
    std::string bytes = ReadFile(file);
    ASSERT_GT(bytes.size(), 3u * 4096);
    bytes.replace(4096, 8192, 8192, '\xA5');
    WriteFile(file, bytes);

    ASSERT_TRUE(store.Open(file));
    ExpectUnreadable();
    EXPECT_EQ(ReadFile(file), bytes);
    ASSERT_TRUE(store.CreateKey(kKey)) << store.ErrorText();
    EXPECT_EQ(ReadFile(store.MovedAsideTo()), bytes);
}

// Damage that shows only when a save is under way: the save must fail as a whole (not go on into a
// fresh file), the damaged file must not get the checkpoint SQLite runs on close, and the next
// write starts afresh.
TEST_F(DamagedStoreTest, DamageFoundDuringASaveFailsThatSaveWithoutWritingTheFile) {
    ASSERT_TRUE(store.Open(file));
    ASSERT_TRUE(store.WriteValue(kKey, "Width", RegType::Dword, RegistryStore::DwordBytes(1024)));
    {
        RawConnection other(file);
        ASSERT_EQ(other.Exec("PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
        std::string bytes = ReadFile(file);
        bytes.replace(4096, bytes.size() - 4096, bytes.size() - 4096, '\xA5');
        WriteFile(file, bytes);
        // A change to page 1 only, so that the store's connection drops its cached pages.
        ASSERT_EQ(other.Exec("PRAGMA application_id = 7"), SQLITE_OK);
    }
    const std::string damaged = ReadFile(file);

    ASSERT_TRUE(store.Begin()) << store.ErrorText();
    EXPECT_FALSE(store.WriteValue(kKey, "Height", RegType::Dword, RegistryStore::DwordBytes(768)));
    EXPECT_TRUE(store.IsCorrupt());
    EXPECT_FALSE(store.WriteValue(kKey, "Skin", RegType::Sz, RegistryStore::SzBytes("Default")));
    EXPECT_FALSE(store.Commit());
    EXPECT_TRUE(store.MovedAsideTo().empty());
    EXPECT_EQ(ReadFile(file), damaged);

    ASSERT_TRUE(store.WriteValue(kKey, "Skin", RegType::Sz, RegistryStore::SzBytes("Default")));
    EXPECT_EQ(ReadFile(aside), damaged);
    std::vector<std::string> keys;
    EXPECT_TRUE(store.ListKeys(keys));
    EXPECT_EQ(keys, (std::vector<std::string>{"Software", "Software\\KEL2"}));
}

// ---- locked or unreachable files are not damage ----

TEST_F(RegistryStoreTest, AFileThatCannotBeCreatedFailsToOpen) {
    WriteFile(dir / "plain", "a file, not a folder");
    RegistryStore other;
    EXPECT_FALSE(other.Open(dir / "plain/registry.sqlite"));
    EXPECT_FALSE(other.ErrorText().empty());
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.WriteValue(kKey, "x", RegType::Binary, {}));
    EXPECT_EQ(ReadFile(dir / "plain"), "a file, not a folder");

    EXPECT_FALSE(other.Open(dir.Path()));  // a folder where the file should be
    EXPECT_FALSE(other.IsCorrupt());
}

TEST_F(RegistryStoreTest, ALockedFileFailsWritesAndIsLeftAlone) {
    ASSERT_TRUE(store.WriteValue(kKey, "Width", RegType::Dword, RegistryStore::DwordBytes(1024)));
    store.SetBusyTimeout(50);
    RawConnection other(file);
    ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);

    EXPECT_FALSE(store.WriteValue(kKey, "Width", RegType::Dword, RegistryStore::DwordBytes(1)));
    EXPECT_NE(store.ErrorText().find("locked"), std::string::npos) << store.ErrorText();
    EXPECT_FALSE(store.Begin());
    EXPECT_FALSE(store.IsCorrupt());
    EXPECT_TRUE(store.MovedAsideTo().empty());
    EXPECT_EQ(Read(kKey, "Width").data, RegistryStore::DwordBytes(1024));  // WAL: readers go on

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(store.WriteValue(kKey, "Width", RegType::Dword, RegistryStore::DwordBytes(1)));
}

TEST_F(RegistryStoreTest, AnotherProgramsDatabaseIsRefusedAndLeftAlone) {
    const std::string foreign = dir / "foreign.sqlite";
    {
        RawConnection raw(foreign);
        ASSERT_EQ(raw.Exec("CREATE TABLE t (x); INSERT INTO t VALUES (1)"), SQLITE_OK);
    }
    const std::string before = ReadFile(foreign);
    RegistryStore other;
    EXPECT_FALSE(other.Open(foreign));
    EXPECT_NE(other.ErrorText().find("not a settings file"), std::string::npos) << other.ErrorText();
    EXPECT_EQ(ReadFile(foreign), before);

    store.Close();
    {
        RawConnection raw(file);
        ASSERT_EQ(raw.Exec("PRAGMA user_version = 99"), SQLITE_OK);
    }
    EXPECT_FALSE(store.Open(file));
    EXPECT_NE(store.ErrorText().find("newer version"), std::string::npos) << store.ErrorText();
}

}  // namespace
}  // namespace kel
