#include "platform/station_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <filesystem>
#include <functional>
#include <map>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include "platform/sha256.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The folder's files and their bytes (folders and links by what they are).
std::map<std::string, std::string> Contents(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const auto& f : fs::directory_iterator(dir))
        out[f.path().filename().string()] = f.is_symlink()     ? "link " + fs::read_symlink(f.path()).string()
                                            : f.is_directory() ? "folder"
                                                               : ReadFile(f.path().string());
    return out;
}

// The SHA-256 of the raw key: the last 32 bytes of the public key's DER form, read independently.
std::string FingerprintOfPem(const std::string& pem) {
    std::string body;
    for (size_t at = 0; at < pem.size();) {
        const size_t end = pem.find('\n', at);
        const std::string line = pem.substr(at, end - at);
        if (line.rfind("-----", 0) != 0)
            body += line;
        at = end == std::string::npos ? pem.size() : end + 1;
    }
    const QByteArray der = QByteArray::fromBase64(QByteArray::fromStdString(body));
    return Sha256Hex(std::string_view(der.constData() + der.size() - 32, 32));
}

// A P-256 key in PEM: a key of the wrong kind.
std::string OtherKindOfKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string out(data, static_cast<size_t>(size));
    BIO_free(bio);
    EVP_PKEY_free(key);
    return out;
}

TEST(StationKeyTest, TheFirstStartMakesAKeyOnlyItsOwnerReadsAndLaterStartsKeepIt) {
    TempDir dir;
    const mode_t before = ::umask(0);  // the mode must come from the creation, not from a umask
    std::string error;
    bool created = false;
    const auto key = StationKey::LoadOrCreate(dir.Path(), error, &created);
    ::umask(before);
    ASSERT_TRUE(key) << error;
    EXPECT_TRUE(created);
    EXPECT_TRUE(key->CanSign());
    EXPECT_EQ(ModeOf(StationKey::PrivatePath(dir.Path())), 0600u);
    EXPECT_EQ(ModeOf(StationKey::PublicPath(dir.Path())), 0644u);
    EXPECT_EQ(Contents(dir.Path()).size(), 2u) << "no temporary file is left";
    const std::string publicPem = ReadFile(StationKey::PublicPath(dir.Path()));
    EXPECT_EQ(publicPem.rfind("-----BEGIN PUBLIC KEY-----", 0), 0u) << publicPem;
    EXPECT_EQ(key->Fingerprint(), FingerprintOfPem(publicPem));
    EXPECT_EQ(key->FingerprintText().size(), 64u + 15u);

    // The next start reads the same key; a lost public copy is written again from the private key.
    fs::remove(StationKey::PublicPath(dir.Path()));
    const auto again = StationKey::LoadOrCreate(dir.Path(), error, &created);
    ASSERT_TRUE(again) << error;
    EXPECT_FALSE(created);
    EXPECT_EQ(again->Fingerprint(), key->Fingerprint());
    EXPECT_EQ(ReadFile(StationKey::PublicPath(dir.Path())), publicPem);

    // A signature checks with the public key alone, and fails for other bytes or another key.
    const std::string manifest = "{\"station\": \"Stacja\"}\n";
    const std::string signature = key->Sign(manifest);
    ASSERT_EQ(signature.size(), 64u);
    const auto reader = StationKey::FromFile(StationKey::PublicPath(dir.Path()), error);
    ASSERT_TRUE(reader) << error;
    EXPECT_FALSE(reader->CanSign());
    EXPECT_TRUE(reader->Sign(manifest).empty());
    EXPECT_TRUE(reader->Verify(manifest, signature));
    EXPECT_FALSE(reader->Verify("{\"station\": \"Stacjb\"}\n", signature));
    EXPECT_FALSE(reader->Verify(manifest, signature.substr(1)));
    TempDir other;
    const auto stranger = StationKey::LoadOrCreate(other.Path(), error);
    ASSERT_TRUE(stranger) << error;
    EXPECT_NE(stranger->Fingerprint(), key->Fingerprint());
    EXPECT_FALSE(stranger->Verify(manifest, signature));
    EXPECT_EQ(StationKey::LoadExisting(dir.Path(), error)->Fingerprint(), key->Fingerprint());
    TempDir empty;
    EXPECT_FALSE(StationKey::LoadExisting(empty.Path(), error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(Contents(empty.Path()).empty()) << "LoadExisting never makes a key";
}

// Evidence signed earlier names the key it was signed with: a key file that is there but cannot be
// read, is damaged or of another kind is reported, and left exactly as it was.
TEST(StationKeyTest, AnUnreadableOrDamagedKeyIsReportedAndNeverReplaced) {
    TempDir source;
    std::string error;
    const auto genuine = StationKey::LoadOrCreate(source.Path(), error);
    ASSERT_TRUE(genuine) << error;
    struct Case {
        const char* what;
        std::function<void(const std::string& priv, const std::string& pub)> make;
        const char* says;
    };
    const Case cases[] = {
        {"garbage", [](const std::string& p, const std::string&) { WriteFile(p, "to nie klucz\n"); },
         "jest uszkodzony"},
        {"empty", [](const std::string& p, const std::string&) { WriteFile(p, ""); }, "jest uszkodzony"},
        {"cut short",
         [&](const std::string& p, const std::string&) {
             WriteFile(p, ReadFile(StationKey::PrivatePath(source.Path())).substr(0, 60));
         },
         "jest uszkodzony"},
        {"a P-256 key", [](const std::string& p, const std::string&) { WriteFile(p, OtherKindOfKey()); },
         "jest uszkodzony"},
        {"a public key only",
         [&](const std::string& p, const std::string&) { WriteFile(p, genuine->PublicPem()); },
         "nie jest kluczem prywatnym"},
        {"a folder", [](const std::string& p, const std::string&) { fs::create_directory(p); }, "folder"},
        {"a dangling link",
         [](const std::string& p, const std::string&) { fs::create_symlink("/nonexistent/key.pem", p); },
         "brak pliku"},
        {"the public key without its private key",
         [&](const std::string&, const std::string& pub) { WriteFile(pub, genuine->PublicPem()); }, "brak"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(StationKey::PrivatePath(dir.Path()), StationKey::PublicPath(dir.Path()));
        const auto before = Contents(dir.Path());
        bool created = true;
        EXPECT_FALSE(StationKey::LoadOrCreate(dir.Path(), error, &created)) << c.what;
        EXPECT_FALSE(created) << c.what;
        EXPECT_EQ(error.rfind("klucz podpisu stacji: ", 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(Contents(dir.Path()), before) << c.what << ": nothing written, nothing replaced";
    }
}

TEST(StationKeyTest, AFingerprintIsReadAsTypedAndShownInGroupsOfFour) {
    const std::string hex = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    EXPECT_EQ(StationKey::GroupFingerprint(hex),
              "0123 4567 89ab cdef 0123 4567 89ab cdef 0123 4567 89ab cdef 0123 4567 89ab cdef");
    struct Case {
        std::string typed;
        std::string read;
    };
    const Case cases[] = {
        {hex, hex},
        {StationKey::GroupFingerprint(hex), hex},
        {"01:23:45:67:89:AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef",
         hex},
        {hex.substr(1), ""},
        {hex + "0", ""},
        {hex.substr(1) + "g", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StationKey::ParseFingerprint(c.typed), c.read) << c.typed;
}

}  // namespace
}  // namespace kel
