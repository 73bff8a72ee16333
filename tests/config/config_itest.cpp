// The configuration against real store files in a temporary folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "config/config.h"
#include "config/passwords.h"
#include "config/registry_values.h"
#include "platform/cp1250.h"
#include "platform/reg_file.h"

namespace kel {
namespace {

constexpr const char* kBadConfig = "{#0006} Brak lub uszkodzone dane konfiguracyjne KEL";

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kel_config_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file_ = dir_ + "/kel/registry.sqlite";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::unique_ptr<TConfig> NewConfig() { return std::make_unique<TConfig>(file_); }

    // The store as the first start leaves it once the operator accepted the defaults.
    std::unique_ptr<TConfig> WithDefaults() {
        auto cfg = NewConfig();
        EXPECT_TRUE(cfg->WriteDefaults() && cfg->WriteDefaultCameras());
        return cfg;
    }

    static void Put(TConfig& cfg, std::string_view name, RegType type, std::vector<uint8_t> data) {
        ASSERT_TRUE(cfg.Store().WriteValue(TConfig::kKey, name, type, data));
    }
    static void PutText(TConfig& cfg, std::string_view name, std::string_view utf8) {
        Put(cfg, name, RegType::Sz, RegistryStore::SzBytes(utf8));
    }
    static void PutDword(TConfig& cfg, std::string_view name, uint32_t v) {
        Put(cfg, name, RegType::Dword, RegistryStore::DwordBytes(v));
    }

    std::string dir_;
    std::string file_;
};

TEST_F(ConfigStoreTest, FirstStartFailsThenDefaultsLoad) {
    auto cfg = NewConfig();
    cfg->Width = 1;
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);
    EXPECT_EQ(cfg->Width, 1);
    EXPECT_FALSE(cfg->Store().KeyExists(TConfig::kKey));

    ASSERT_TRUE(cfg->WriteDefaults());
    ASSERT_TRUE(cfg->WriteDefaultCameras());
    std::vector<RegValue> values;
    ASSERT_TRUE(cfg->Store().ListValues(TConfig::kKey, values));
    std::map<std::string, RegValue> stored;
    for (RegValue& v : values) {
        stored[v.name] = std::move(v);
    }
    EXPECT_EQ(stored.size(), 46u);  // with the passwords' hashes, "PassHashes" and "sPassHash"
    EXPECT_EQ(stored.count("PTZPorts"), 0u);
    EXPECT_EQ(stored.count("b_CorrectClose"), 0u);
    EXPECT_EQ(stored["Zones"].data.size(), 405632u);
    EXPECT_EQ(stored["Users"].data.size(), 13824u);
    EXPECT_EQ(stored["Cameras"].data.size(), 1024u);
    EXPECT_EQ(stored["Scheduler"].data.size(), 2688u);
    EXPECT_EQ(stored["CamIcons"].data.size(), 192u);
    EXPECT_EQ(stored["Port"].data, RegistryStore::DwordBytes(777));
    // The default password is stored as its hash's marker, never as it is.
    EXPECT_NE(stored["sPass"].data, RegistryStore::SzBytes("qxv"));
    EXPECT_EQ(stored["PassHashes"].data.size(), 16384u);

    auto fresh = NewConfig();
    ASSERT_TRUE(fresh->Load());
    EXPECT_EQ(fresh->TCPServerName, "KEL 2.0.3 Server");
    EXPECT_EQ(fresh->CamMode8, (std::array<int32_t, 8>{1, 2, 3, 4, 5, 8, 7, 6}));
    EXPECT_EQ(fresh->Zones[15].Sensitivity, 1000);
    EXPECT_EQ(fresh->FindUser("kel", "qxv"), 0);
    EXPECT_EQ(fresh->PTZPorts[15], 0);  // not stored before the first SaveAll
    for (int n = 0; n < kCameraCount; ++n) {
        EXPECT_EQ(fresh->Cameras[n].Name.Get(), "Kamera " + std::to_string(n + 1));
    }
    EXPECT_TRUE(fresh->GetCorrectClose());
}

TEST_F(ConfigStoreTest, TableLongerThanItsFieldFailsAndShorterOneFillsItsStart) {
    auto cfg = WithDefaults();
    Put(*cfg, "Zones", RegType::Binary, std::vector<uint8_t>(405633, 0x11));
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);

    cfg->Zones[15].Filler[2] = 0xAB;
    Put(*cfg, "Zones", RegType::Binary, std::vector<uint8_t>(405631, 0x11));
    ASSERT_TRUE(cfg->Load());
    EXPECT_EQ(cfg->Zones[15].Filler[1], 0x11);
    EXPECT_EQ(cfg->Zones[15].Filler[2], 0xAB);
}

TEST_F(ConfigStoreTest, ReadErrorStopsTheLoadAtThatValue) {
    auto cfg = WithDefaults();
    Put(*cfg, "Skin", RegType::Binary, {'B', 'l', 'u', 'e', 0});
    EXPECT_FALSE(cfg->Load());

    PutText(*cfg, "Skin", "Blue");
    PutDword(*cfg, "Width", 1280);
    PutText(*cfg, "Port", "777");  // a number stored as text
    PutDword(*cfg, "cColor", 77);  // after "Port" in load order
    cfg->cColor = 5;
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);
    EXPECT_EQ(cfg->Width, 1280);
    EXPECT_EQ(cfg->cColor, 5);
}

TEST_F(ConfigStoreTest, EmptyOrMissingRequiredTextFailsAlthoughEverythingIsPresent) {
    auto cfg = WithDefaults();
    PutText(*cfg, "Version", "");
    cfg->Zones[0].Sensitivity = 0;
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->Zones[0].Sensitivity, 1000);  // read to the end all the same

    PutText(*cfg, "Version", "KEL 2.0.3");
    ASSERT_TRUE(cfg->Store().DeleteValue(TConfig::kKey, "sMapFile"));
    EXPECT_FALSE(cfg->Load());
}

TEST_F(ConfigStoreTest, LoadConvertsAndCutsValues) {
    auto cfg = WithDefaults();
    PutDword(*cfg, "Width", 70000);
    PutDword(*cfg, "Smart_X", 0xFFFFFFF6);
    PutDword(*cfg, "TCP", 2);
    PutText(*cfg, "Version", "KEL 2.0.3 beta");
    PutText(*cfg, "TCPServerName", std::string(200, 's'));
    Put(*cfg, "Skin", RegType::Sz, {'G', 'r', 'e', 'y', 0, 'x', 0});
    Put(*cfg, "sMapFile", RegType::ExpandSz, RegistryStore::SzBytes("%HOME%\\plan.bmp"));
    Put(*cfg, "mTARGET", RegType::Sz, {0xA3, 0xF3, 'd', 0x9F, 0});
    PutText(*cfg, "sPASS", "nowe");
    ASSERT_TRUE(cfg->Load());
    EXPECT_EQ(cfg->Width, 4464);
    EXPECT_EQ(cfg->Smart_X, -10);
    EXPECT_TRUE(cfg->TCP);
    EXPECT_EQ(cfg->Version, "KEL 2.0.3");
    EXPECT_EQ(cfg->TCPServerName, std::string(128, 's'));
    EXPECT_EQ(cfg->Skin, "Grey");
    EXPECT_EQ(cfg->sMapFile, "%HOME%\\plan.bmp");
    EXPECT_EQ(cfg->mTARGET, "Łódź");
    // Read under its other spelling, and hashed: the store keeps only the marker.
    EXPECT_TRUE(IsMarkerOf(cfg->sPass, cfg->sPassHash));
    EXPECT_TRUE(VerifyPassword(cfg->sPassHash, "nowe"));
}

TEST_F(ConfigStoreTest, PtzPortsKeepTheirMemoryUntilTheFirstSaveAll) {
    auto cfg = WithDefaults();
    ASSERT_TRUE(cfg->Load());
    EXPECT_EQ(cfg->PTZPorts[15], 16);

    ASSERT_TRUE(cfg->SaveAll());
    cfg->PTZPorts[15] = 0;
    ASSERT_TRUE(cfg->Load());
    EXPECT_EQ(cfg->PTZPorts[15], 16);
}

TEST_F(ConfigStoreTest, CamerasMustBePresentAndFitTheTable) {
    auto cfg = WithDefaults();
    Put(*cfg, "Cameras", RegType::Binary, {});
    EXPECT_FALSE(cfg->LoadCameras());
    Put(*cfg, "Cameras", RegType::Binary, std::vector<uint8_t>(1025, 0));
    EXPECT_FALSE(cfg->LoadCameras());
    Put(*cfg, "Cameras", RegType::Dword, RegistryStore::DwordBytes(1));
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);
    ASSERT_TRUE(cfg->Store().DeleteValue(TConfig::kKey, "Cameras"));
    EXPECT_FALSE(cfg->LoadCameras());

    TCameraRecord first{};
    first.Name.Set("Brama");
    auto* bytes = reinterpret_cast<uint8_t*>(&first);
    Put(*cfg, "Cameras", RegType::Binary, {bytes, bytes + sizeof(first)});
    ASSERT_TRUE(cfg->LoadCameras());
    EXPECT_EQ(cfg->Cameras[0].Name.Get(), "Brama");
    EXPECT_EQ(cfg->Cameras[1].Name.Get(), "Kamera 2");
}

TEST_F(ConfigStoreTest, SaveAllWritesTheConstantsAndNeverTheRecorderCounters) {
    auto cfg = WithDefaults();
    ASSERT_TRUE(cfg->Load());
    RegistryStore recorder;
    ASSERT_TRUE(recorder.Open(file_));
    ASSERT_TRUE(WriteCounter(recorder, "VideoFiles", 12));
    ASSERT_TRUE(WriteCounter(recorder, "UsedDisk", 3));
    PutDword(*cfg, "Ver", 2);
    PutText(*cfg, "Version", "KEL 2.0.2");

    cfg->Ver = 1;
    cfg->Version = "stara";
    cfg->VideoFiles = 99;
    cfg->UsedDisk = 9;
    cfg->Smart_X = -40;
    cfg->sPass = "hasło";
    cfg->Users[7].Login.Set("ewa");
    cfg->Cameras[2].Name.Set("Parking");
    ASSERT_TRUE(cfg->SaveAll());
    ASSERT_TRUE(cfg->SaveCameras());

    auto fresh = NewConfig();
    ASSERT_TRUE(fresh->Load());
    EXPECT_EQ(fresh->Ver, 203);
    EXPECT_EQ(fresh->Version, "KEL 2.0.3");
    EXPECT_EQ(fresh->VideoFiles, 12);
    EXPECT_EQ(fresh->UsedDisk, 3);
    EXPECT_EQ(fresh->Smart_X, -40);
    EXPECT_TRUE(VerifyPassword(fresh->sPassHash, ToCp1250("hasło")));
    EXPECT_EQ(fresh->PTZPorts, cfg->PTZPorts);
    EXPECT_EQ(std::memcmp(&fresh->Users, &cfg->Users, sizeof(TUserTable)), 0);
    EXPECT_EQ(fresh->Cameras[2].Name.Get(), "Parking");
}

// An import is checked against what the station loads: each bad change is refused with its line
// and reason; changes that load, or that the file puts right further down, pass.
TEST_F(ConfigStoreTest, AnImportIsCheckedAgainstWhatTheStationLoads) {
    auto cfg = WithDefaults();
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n";
    std::string longCameras = "\"Cameras\"=hex:00";
    for (int i = 1; i < 2000; ++i)
        longCameras += ",00";
    struct Row {
        std::string lines;
        const char* error;  // nullptr: accepted
    };
    const Row rows[] = {
        {"\"Ntsc\"=-\n", "line 4: \"Ntsc\" cannot be removed: the station reads it at every start"},
        {"\"Port\"=\"777\"\n", "line 4: \"Port\" must be dword: (4 bytes)"},
        {"\"Port\"=hex(4):09,03\n", "line 4: \"Port\" must be dword: (4 bytes)"},
        {"\"Width\"=dword:400\n\"Skin\"=\"\"\n", "line 5: \"Skin\" must not be empty"},
        {"\"HDDs\"=\"C\"\n", "line 4: \"HDDs\" must be hex: of at most 25 bytes"},
        {"\"Cameras\"=dword:1\n", "line 4: \"Cameras\" must be hex: of at most 1024 bytes, and not removed"},
        {longCameras + "\n", "line 4: \"Cameras\" must be hex: of at most 1024 bytes, and not removed"},
        {"\"Port\"=hex(4):09,03,00,00\n\"Skin\"=\"Inny\"\n\"Other\"=\"x\"\n", nullptr},
        {"\"Ntsc\"=-\n\"Ntsc\"=dword:1\n", nullptr},
        {"[-HKEY_CURRENT_USER\\Software]\n",
         "line 4: \"Ver\" cannot be removed: the station reads it at every start"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines);
        std::vector<RegFileOp> ops;
        std::string error;
        ASSERT_TRUE(ParseRegFile(head + row.lines, ops, error)) << error;
        EXPECT_EQ(CheckSettingsImport(cfg->Store(), ops, error), row.error == nullptr);
        if (row.error) {
            EXPECT_EQ(error, row.error);
        }
    }
}

std::string Hex(const void* data, size_t size) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, "%02x", static_cast<const uint8_t*>(data)[i]);
        out += (i ? "," : "") + std::string(b);
    }
    return out;
}

// Every value an import sets is checked against what the station can use, by the table the
// dialog's fields take their ranges from: each row sets one value just inside its range (taken)
// and one just outside (refused with the value's name and the reason).
TEST_F(ConfigStoreTest, AnImportedValueOutsideWhatTheStationUsesIsRefused) {
    auto cfg = WithDefaults();
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n";
    auto cameras = [&](auto change) {
        TCameraTable t = cfg->Cameras;
        change(t[2]);
        return "\"Cameras\"=hex:" + Hex(&t, sizeof t);
    };
    auto zone = [](int32_t sensitivity, uint8_t cell) {
        TZoneRecord z{};
        z.Sensitivity = sensitivity;
        z.Mask[100] = cell;
        return "\"Zones\"=hex:" + Hex(&z, sizeof z);
    };
    auto mask = [](uint8_t cell) {
        TMaskRecord m{};
        m.Cells[25343] = cell;
        return "\"Masks\"=hex:" + Hex(&m, sizeof m);
    };
    auto user = [](uint8_t right) {
        TUserRecord u{};
        u.Login.Set("ochrona");
        u.Password.Set("x");
        u.CamRights[4] = right;
        return "\"Users\"=hex:" + Hex(&u, sizeof u);
    };
    struct Row {
        std::string good, bad, why;
    };
    const Row rows[] = {
        {"\"Port\"=dword:0000ffff", "\"Port\"=dword:00000000", "\"Port\" must be 1..65535 (is 0)"},
        {"\"Port\"=dword:00000001", "\"Port\"=dword:00011170", "\"Port\" must be 1..65535 (is 70000)"},
        {"\"StartMode\"=dword:5", "\"StartMode\"=dword:63", "\"StartMode\" must be 0..5 (is 99)"},
        {"\"AppMode\"=dword:3", "\"AppMode\"=dword:63", "\"AppMode\" must be 0..3 (is 99)"},
        {"\"Sequence\"=dword:0", "\"Sequence\"=dword:ffffffff", "\"Sequence\" must be 0..5 (is -1)"},
        {"\"VideoFilesSize\"=dword:4", "\"VideoFilesSize\"=dword:63",
         "\"VideoFilesSize\" must be 0..4 (is 99)"},
        {"\"CamMode1\"=dword:10", "\"CamMode1\"=dword:0", "\"CamMode1\" must be 1..16 (is 0)"},
        {"\"TCP\"=dword:1", "\"TCP\"=dword:2", "\"TCP\" must be 0..1 (is 2)"},
        {"\"cColor\"=dword:00ffffff", "\"cColor\"=dword:01000000",
         "\"cColor\" must be 0..16777215 (is 16777216)"},
        {"\"Width\"=dword:480\n\"Height\"=dword:360", "\"Width\"=dword:0",
         "\"Width\" must be one of 1024, 1152, 1280 (is 0)"},
        {"\"Height\"=dword:300", "\"Width\"=dword:480",
         "\"Width\" and \"Height\" must be 1024x768, 1152x864 or 1280x1024 (are 1152x768)"},
        {"\"Skin\"=\"Ciemna\"", "\"Skin\"=\"../../../../etc\"",
         "\"Skin\" must be the name of a folder of Skins/, without a path"},
        {"\"TCPServerName\"=\"" + std::string(128, 'x') + "\"",
         "\"TCPServerName\"=\"" + std::string(129, 'x') + "\"",
         "\"TCPServerName\" must be at most 128 characters (is 129)"},
        {"\"sUser\"=\"ą" + std::string(19, 'x') + "\"", "\"sUser\"=\"" + std::string(21, 'x') + "\"",
         "\"sUser\" must be at most 20 characters (is 21)"},
        {"\"mSMTP\"=\"poczta.example.pl:587\"", "\"mSMTP\"=\"poczta.example.pl:0\"",
         "\"mSMTP\" must be \"host\" or \"host:port\" (port 1..65535), or \"-\" for none"},
        {"\"Scheduler\"=hex:00,01,02",
         "\"Scheduler\"=hex:00,01,02,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,"
         "00,00,00,00,00,00,09",
         "\"Scheduler\" camera 1, day 2, hour 1 must be 0, 1 or 2 (is 9)"},
        {"\"HDDs\"=hex:01,00,01", "\"HDDs\"=hex:01,00,02", "\"HDDs\" drive 2 must be 0..1 (is 2)"},
        {"\"CamMode4\"=hex:10,00,00,00,00,00,00,00", "\"CamMode4\"=hex:01,00,00,00,11,00,00,00",
         "\"CamMode4\" position 2 must be 0..16 (is 17)"},
        {"\"PTZPorts\"=hex:ff,00,00,00", "\"PTZPorts\"=hex:00,01,00,00",
         "\"PTZPorts\" camera 1 must be 0..255 (is 256)"},
        {zone(30000, 1), zone(0, 1), "\"Zones\" camera 1: Sensitivity must be 250..30000 (is 0)"},
        {"\"KeepDays\"=hex:00,00,00,00,42,0e,00,00", "\"KeepDays\"=hex:00,00,00,00,43,0e,00,00",
         "\"KeepDays\" camera 2 must be 0..3650 (is 3651)"},
        {"\"KeepDays\"=hex:5a,00,00,00", "\"KeepDays\"=hex:ff,ff,ff,ff",
         "\"KeepDays\" camera 1 must be 0..3650 (is -1)"},
        {mask(1), mask(2), "\"Masks\" camera 1: cell 25343 must be 0..1 (is 2)"},
        {"\"Reencode\"=hex:00,01,00", "\"Reencode\"=hex:00,01,02",
         "\"Reencode\" camera 3 must be 0..1 (is 2)"},
        {"\"Web\"=dword:1\n\"WebTls\"=dword:0", "\"WebTls\"=dword:2", "\"WebTls\" must be 0..1 (is 2)"},
        {"\"WebPort\"=dword:000020fb", "\"WebPort\"=dword:00010000",
         "\"WebPort\" must be 1..65535 (is 65536)"},
        {"\"WebCert\"=\"/etc/kel/cert.pem\"", "\"WebKey\"=dword:1", "\"WebKey\" must be a text (\"...\")"},
        {"\"MqttTopic\"=\"stacje/magazyn\"", "\"MqttTopic\"=\"kel/#\"",
         "\"MqttTopic\" must be a topic without wildcards (+, #), not starting or ending with /"},
        {"\"MqttPort\"=dword:0000075b", "\"MqttPort\"=dword:00000000",
         "\"MqttPort\" must be 1..65535 (is 0)"},
        {"\"S3Endpoint\"=\"https://s3.example.pl:9000\"", "\"S3Endpoint\"=\"ftp://s3.example.pl\"",
         "\"S3Endpoint\" must be an address \"http://host[:port]\" or \"https://host[:port]\", or empty"},
        {"\"S3Bucket\"=\"kopie.stacja-1\"", "\"S3Bucket\"=\"Kopie\"",
         "\"S3Bucket\" must be 3..63 lower-case letters, digits, dots or hyphens, or empty"},
        {"\"S3Prefix\"=\"magazyn/stacja 1\"", "\"S3Prefix\"=\"../inne\"",
         "\"S3Prefix\" must hold neither \"..\" nor \"\\\""},
        {"\"S3\"=dword:1\n\"S3Limit\"=dword:000f4240", "\"S3Limit\"=dword:ffffffff",
         "\"S3Limit\" must be 0..1000000 (is -1)"},
        {zone(250, 0), zone(1000, 7), "\"Zones\" camera 1: cell 100 must be 0..1 (is 7)"},
        {user(1), user(5), "\"Users\" user 1: the right to camera 5 must be 0..1 (is 5)"},
        {cameras([](TCameraRecord& c) { c.Active = 1, c.FPS = 25; }),
         cameras([](TCameraRecord& c) { c.Active = 1, c.FPS = 0; }),
         "\"Cameras\" camera 3: FPS of an active camera must be 1..25 (is 0)"},
        {cameras([](TCameraRecord& c) { c.Active = 0, c.FPS = 0; }),
         cameras([](TCameraRecord& c) { c.Active = 1, c.FPS = -5; }),
         "\"Cameras\" camera 3: FPS of an active camera must be 1..25 (is -5)"},
        {cameras([](TCameraRecord& c) { c.Resolution = 3, c.Hue = -128; }),
         cameras([](TCameraRecord& c) { c.Resolution = 9; }),
         "\"Cameras\" camera 3: Resolution must be 0..3 (is 9)"},
        {cameras([](TCameraRecord& c) { c.Brightness = 128; }),
         cameras([](TCameraRecord& c) { c.Brightness = 129; }),
         "\"Cameras\" camera 3: Brightness must be -128..128 (is 129)"},
    };
    for (const Row& row : rows) {
        for (const bool good : {true, false}) {
            const std::string lines = (good ? row.good : row.bad) + "\n";
            SCOPED_TRACE(lines.substr(0, 120));
            std::vector<RegFileOp> ops;
            std::string error;
            ASSERT_TRUE(ParseRegFile(head + lines, ops, error)) << error;
            EXPECT_EQ(CheckSettingsImport(cfg->Store(), ops, error), good) << error;
            if (!good)
                EXPECT_EQ(error.substr(error.find(' ', 5) + 1), row.why);
        }
    }
}

// A value larger than any the store keeps is refused as soon as the reader has seen that much
// of it, whether on one line or continued over many.
TEST_F(ConfigStoreTest, AnOversizedValueIsRefusedWhileItIsRead) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\KEL2]\n";
    std::string oneLine = "\"Zones\"=hex:", continued = oneLine;
    for (size_t i = 0; i <= kMaxRegValueBytes; ++i) {
        oneLine += "00,";
        continued += i % 25 == 24 ? "00,\\\n  " : "00,";
    }
    for (const std::string& value : {oneLine, continued}) {
        std::vector<RegFileOp> ops;
        std::string error;
        EXPECT_FALSE(ParseRegFile(head + value + "00\n", ops, error));
        EXPECT_NE(error.find("the value is larger than any the store keeps"), std::string::npos) << error;
    }
}

TEST_F(ConfigStoreTest, CorrectCloseFlag) {
    auto cfg = NewConfig();
    cfg->SetCorrectClose(false);  // no key yet: nothing is written
    EXPECT_FALSE(cfg->Store().KeyExists(TConfig::kKey));

    cfg = WithDefaults();
    EXPECT_TRUE(cfg->GetCorrectClose());
    cfg->SetCorrectClose(false);
    EXPECT_FALSE(NewConfig()->GetCorrectClose());
    PutText(*cfg, "b_CorrectClose", "0");  // unreadable counts as closed in order
    EXPECT_TRUE(cfg->GetCorrectClose());
}

TEST_F(ConfigStoreTest, DamagedStoreFileFailsLoadUntilDefaultsAreWritten) {
    std::filesystem::create_directories(dir_ + "/kel");
    std::ofstream(file_, std::ios::binary) << std::string(8192, '\x5a');
    auto cfg = NewConfig();
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);

    ASSERT_TRUE(cfg->WriteDefaults());
    ASSERT_TRUE(cfg->WriteDefaultCameras());
    EXPECT_FALSE(cfg->Store().MovedAsideTo().empty());
    EXPECT_TRUE(NewConfig()->Load());
}

TEST_F(ConfigStoreTest, UnopenableStoreFailsWithoutTouchingErrorTextOnWrites) {
    std::ofstream(dir_ + "/kel") << "a file where the folder should be";
    auto cfg = NewConfig();
    EXPECT_FALSE(cfg->Load());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);
    EXPECT_FALSE(cfg->WriteDefaults());
    EXPECT_FALSE(cfg->SaveAll());
    EXPECT_EQ(cfg->ErrorText, kBadConfig);
    EXPECT_TRUE(cfg->GetCorrectClose());
}

}  // namespace
}  // namespace kel
