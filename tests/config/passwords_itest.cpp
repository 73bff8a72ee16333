// Passwords kept as hashes: what a guesser, a careless export or an old station's file would find
// in the store, and that every way a password comes in is hashed.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "config/config.h"
#include "config/passwords.h"
#include "config/user_table.h"
#include "platform/cp1250.h"
#include "platform/reg_file.h"

namespace kel {
namespace {

bool Holds(const std::vector<uint8_t>& bytes, std::string_view text) {
    return std::string(bytes.begin(), bytes.end()).find(text) != std::string::npos;
}

bool Holds(const std::string& bytes, std::string_view text) {
    return bytes.find(text) != std::string::npos;
}

TEST(PasswordHash, ChecksOnlyTheSamePasswordBytesAndNeverShowsIt) {
    const std::string polish = ToCp1250("hasło-Żółw");
    const TPasswordRecord h = HashPassword(polish, false);
    ASSERT_EQ(h.Kind, 1);
    EXPECT_EQ(h.Iterations, kPasswordIterations);
    EXPECT_TRUE(VerifyPassword(h, polish));
    const struct {
        const char* tried;
        const char* why;
    } wrong[] = {
        {"hasło-Żółw", "the UTF-8 bytes are not the code page 1250 ones hashed"},
        {"haslo-Zolw", "letters without their marks"},
        {"", "empty"},
    };
    for (const auto& w : wrong)
        EXPECT_FALSE(VerifyPassword(h, w.tried)) << w.why;
    EXPECT_FALSE(VerifyPassword(h, polish + "x"));
    // Two hashes of one password differ (a salt each), so equal passwords do not show.
    const TPasswordRecord again = HashPassword(polish, false);
    EXPECT_FALSE(SameHash(h, again));
    EXPECT_NE(PasswordMarker(h), PasswordMarker(again));
    EXPECT_EQ(PasswordMarker(h).size(), 15u);
    EXPECT_EQ(PasswordHashText(h).rfind("pbkdf2-sha256$" + std::to_string(kPasswordIterations) + "$", 0), 0u);
    EXPECT_EQ(PasswordHashText(h).find("hasło"), std::string::npos);
}

TEST(PasswordHash, TheDefaultOrAShortPasswordIsWeak) {
    const struct {
        const char* password;
        bool weak;
    } cases[] = {
        {"qxv", true},       {"1234567", true},   {"żółćżół", true},  // 7 characters, 14 bytes
        {"12345678", false}, {"żółćżółć", false}, {"qxvqxvqxv", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WeakPassword(c.password), c.weak) << c.password;
}

TEST(PasswordHash, AMarkerTypedAsAPasswordOrForAnotherHashIsNoMarker) {
    TUserRecord user{};
    TPasswordRecord hash{};
    user.Login.Set("jan");
    SetPassword(user, hash, "tajne-haslo");
    EXPECT_TRUE(IsMarkerOf(user.Password, hash));
    EXPECT_TRUE(PasswordMatches(user, hash, "tajne-haslo"));
    // Whoever reads the marker cannot log in with it.
    EXPECT_FALSE(PasswordMatches(user, hash, user.Password.Get()));
    // The marker of another hash at this index is a plain password, hashed as such.
    TPasswordRecord other = HashPassword("inne", false);
    TUserTable users{};
    TPasswordTable hashes{};
    users[0] = user;
    hashes[0] = other;
    const std::string typed = user.Password.Get();
    EXPECT_EQ(HashPlainPasswords(users, hashes), 1);
    EXPECT_TRUE(PasswordMatches(users[0], hashes[0], typed));
    EXPECT_FALSE(PasswordMatches(users[0], hashes[0], "tajne-haslo"));
}

class StorePasswords : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kel_passwords_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file_ = dir_ + "/registry.sqlite";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A store as an older station left it: plain passwords in the Users records and in "sPass",
    // no hashes and no export rights.
    void OlderStation() {
        auto cfg = std::make_unique<TConfig>(file_);
        ASSERT_TRUE(cfg->WriteDefaults() && cfg->WriteDefaultCameras() && cfg->Load());
        UserFields f;
        f.Login = "ochrona";
        f.Password = "hasło1";
        f.Cam[0] = true;
        f.StoreInto(cfg->Users[1]);
        cfg->Users[0].Password = ShortString<15>{};
        cfg->Users[0].Password.Set("qxv");
        cfg->AutoLogin = true;
        cfg->sPass = "qxv";
        cfg->sPassHash = TPasswordRecord{};
        cfg->PassHashes = TPasswordTable{};
        ASSERT_TRUE(cfg->SaveAll());
        ASSERT_TRUE(cfg->Store().DeleteValue(TConfig::kKey, "PassHashes"));
        ASSERT_TRUE(cfg->Store().DeleteValue(TConfig::kKey, "sPassHash"));
        ASSERT_TRUE(cfg->Store().DeleteValue(TConfig::kKey, "ExportRights"));
    }
    RegValue Read(std::string_view name) {
        RegistryStore store;
        RegValue v;
        EXPECT_TRUE(store.Open(file_) && store.ReadValue(TConfig::kKey, name, v)) << name;
        return v;
    }

    std::string dir_, file_;
};

TEST_F(StorePasswords, AnOlderStationsStoreIsHashedAtLoadAndItsUsersStillLogIn) {
    OlderStation();
    ASSERT_TRUE(Holds(Read("Users").data, ToCp1250("hasło1")));

    TConfig cfg(file_);
    ASSERT_TRUE(cfg.Load());
    EXPECT_EQ(cfg.HashedAtLoad(), 2);
    // Written back at once: the file no longer holds them.
    EXPECT_FALSE(Holds(Read("Users").data, ToCp1250("hasło1")));
    EXPECT_FALSE(Holds(Read("Users").data, "qxv"));
    EXPECT_FALSE(Holds(Read("sPass").data, "qxv"));
    EXPECT_EQ(Read("PassHashes").data.size(), sizeof(TPasswordTable));
    EXPECT_EQ(cfg.FindUser("ochrona", "hasło1"), 1);
    EXPECT_EQ(cfg.FindUser("ochrona", "haslo1"), kNobody);
    EXPECT_EQ(AutoLoginUser(cfg), 0);
    // Judged weak at the migration, from the plain password: the default one.
    EXPECT_TRUE(WeakAdministrator(cfg.Users[0], cfg.PassHashes[0]));
    // Without a stored value the export right follows the configuration right.
    EXPECT_EQ(cfg.ExportRights[0], 1);
    EXPECT_EQ(cfg.ExportRights[1], 0);

    TConfig again(file_);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.HashedAtLoad(), 0);
}

TEST_F(StorePasswords, ARegFileWithPlainPasswordsIsImportedHashedAndExportedWithoutThem) {
    {
        TConfig cfg(file_);
        ASSERT_TRUE(cfg.WriteDefaults() && cfg.WriteDefaultCameras());
    }
    // An old station's export, or a file written by hand: user 2 "gosc" with "plain-pass" in plain.
    TUserRecord gosc{};
    gosc.Login.Set("gosc");
    gosc.Password.Set("plain-pass");
    gosc.CamRights[0] = 1;
    RegistryStore store;
    ASSERT_TRUE(store.Open(file_));
    TUserTable users{};
    RegValue v;
    ASSERT_TRUE(store.ReadValue(TConfig::kKey, "Users", v));
    std::memcpy(users.data(), v.data.data(), sizeof users);
    users[2] = gosc;
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KEL2]\r\n\"Users\"=hex:";
    const auto* bytes = reinterpret_cast<const uint8_t*>(users.data());
    for (size_t i = 0; i < sizeof users; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += (i ? "," : "") + std::string(hex);
    }
    text += "\r\n\"sPass\"=\"plain-pass\"\r\n\"sUser\"=\"gosc\"\r\n";
    std::vector<RegFileOp> ops;
    std::string error;
    ASSERT_TRUE(ParseRegFile(text, ops, error)) << error;
    ASSERT_TRUE(CheckSettingsImport(store, ops, error)) << error;
    ASSERT_TRUE(ImportRegFile(store, text, error, [&](std::string& why) {
        return HashStorePasswordsIn(store, why);
    })) << error;

    ASSERT_TRUE(store.ReadValue(TConfig::kKey, "Users", v));
    EXPECT_FALSE(Holds(v.data, "plain-pass"));
    std::string exported;
    ASSERT_TRUE(HashStorePasswords(store, error)) << error;
    ASSERT_TRUE(ExportRegFile(store, exported, error)) << error;
    EXPECT_FALSE(Holds(exported, "plain-pass"));
    EXPECT_FALSE(Holds(exported, "\"qxv\""));
    store.Close();

    TConfig cfg(file_);
    ASSERT_TRUE(cfg.Load());
    EXPECT_EQ(cfg.HashedAtLoad(), 0);  // hashed by the import already
    EXPECT_EQ(cfg.FindUser("gosc", "plain-pass"), 2);
    EXPECT_EQ(AutoLoginUser(cfg), 2);  // the automatic login's plain password was his
    EXPECT_TRUE(cfg.FindUser("kel", "qxv") == 0);
}

TEST_F(StorePasswords, TheImportCheckRefusesHashesTheStationCouldNotUse) {
    RegistryStore store;
    ASSERT_TRUE(store.Open(file_));
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"\"PassHashes\"=hex:01,00,00,00,01,00,00,00", "Iterations must be 1000..10000000 (is 1)"},
        {"\"PassHashes\"=hex:02,00,00,00,50,c3,00,00", "Kind must be 0..1 (is 2)"},
        {"\"sPassHash\"=hex:01,05,00,00,50,c3,00,00", "Weak must be 0..1 (is 5)"},
        {"\"ExportRights\"=hex:01,02", "user 1 must be 0..1 (is 2)"},
    };
    for (const auto& c : cases) {
        // A whole record: the check judges only whole records.
        std::string line = c.line;
        if (line.find("Hash") != std::string::npos)
            for (int i = 8; i < 64; ++i)
                line += ",00";
        const std::string text =
            "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\KEL2]\n" + line + "\n";
        std::vector<RegFileOp> ops;
        std::string error;
        ASSERT_TRUE(ParseRegFile(text, ops, error)) << error;
        EXPECT_FALSE(CheckSettingsImport(store, ops, error)) << c.line;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST_F(StorePasswords, TheStoreFileIsReadableByItsOwnerOnly) {
    {
        RegistryStore store;
        ASSERT_TRUE(store.Open(file_));
        ASSERT_TRUE(store.WriteValue(TConfig::kKey, "x", RegType::Dword, RegistryStore::DwordBytes(1)));
        EXPECT_EQ(ModeOf(file_), 0600u);
        if (std::filesystem::exists(file_ + "-wal"))
            EXPECT_EQ(ModeOf(file_ + "-wal"), 0600u);
    }
    // One an older station made readable by everybody is narrowed at the next open.
    ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
    RegistryStore store;
    ASSERT_TRUE(store.Open(file_));
    EXPECT_EQ(ModeOf(file_), 0600u);
}

}  // namespace
}  // namespace kel
