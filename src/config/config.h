#pragma once
// The configuration record: every persistent setting of the station, read once at start-up and
// written back at the orderly shutdown. Fields are named after their stored values.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/records.h"
#include "platform/reg_file.h"
#include "platform/registry_store.h"

namespace kel {

// The settings block: every field of the configuration but the store, ErrorText and Cameras.
// The configuration dialog edits a copy of it; the recorder keeps its own copy.
// Text fields hold UTF-8.
struct TSettingsBlock {
    uint16_t Ver = 0;
    std::string Version;  // at most 9 characters
    uint16_t Width = 0;
    uint16_t Height = 0;
    int32_t Smart_X = 0;
    int32_t Smart_Y = 0;
    int32_t StartMode = 0;
    std::string Skin;
    uint16_t AppMode = 0;
    int32_t CamMode1 = 0;
    std::array<int32_t, 4> CamMode4{};
    std::array<int32_t, 9> CamMode9{};
    std::array<int32_t, 16> CamMode16{};
    std::array<int32_t, 8> CamMode8{};
    std::array<int32_t, 13> CamMode13{};
    int32_t Sequence = 0;
    bool Ntsc = false;
    bool TCP = false;
    int32_t Port = 0;
    int32_t VideoFiles = 0;
    int32_t VideoFilesSize = 0;
    std::string TCPServerName;  // at most 128 characters
    int32_t UsedDisk = 0;
    std::array<uint8_t, 25> HDDs{};
    bool cDetection = false;
    bool cRecording = false;
    bool cCamName = false;
    int32_t cColor = 0;
    bool SoundInfo = false;
    bool SoundDetect = false;
    std::string mSMTP;
    std::string mUSER;
    std::string mPASS;
    std::string mTARGET;
    bool bMessages = false;
    bool AutoLogin = false;
    std::string sUser;
    std::string sPass;
    std::string sMapFile;
    std::array<int32_t, 16> PTZPorts{};
    TCamIconTable CamIcons{};
    std::array<uint8_t, 2688> Scheduler{};
    TUserTable Users{};
    TZoneTable Zones{};
    // Per camera: recordings are kept at most this many days (0: until their room is needed).
    std::array<int32_t, 16> KeepDays{};
    TMaskTable Masks{};
    // Per camera sending a stream of its own (a network camera, a file): 0 records the stream as
    // it is sent, 1 decodes it and compresses it as the other cameras are.
    std::array<uint8_t, 16> Reencode{};
    // The web view: on or off, its port, the PEM files of its certificate and private key (empty:
    // a certificate of its own, made at the first start) and whether it speaks TLS (off: plain
    // HTTP, on the loopback address only).
    bool Web = false;
    int32_t WebPort = 8443;
    std::string WebCert;
    std::string WebKey;
    bool WebTls = true;
    // Events on an MQTT broker: on or off, the broker's host and port, the login, TLS and the
    // topic every message of the station is under.
    bool Mqtt = false;
    std::string MqttHost;
    int32_t MqttPort = 1883;
    std::string MqttUser;
    std::string MqttPassword;
    bool MqttTls = false;
    std::string MqttTopic = "kel";
    // Off-site copies of every closed recording into a bucket of an S3-compatible store: on or off,
    // the store's address ("https://host[:port]"), its region, the bucket, the access key and its
    // secret, the keys' first part (empty: the computer's name) and the upload's limit in KB/s
    // (0: none).
    bool S3 = false;
    std::string S3Endpoint;
    std::string S3Region = "us-east-1";
    std::string S3Bucket;
    std::string S3KeyId;
    std::string S3Secret;
    std::string S3Prefix;
    int32_t S3Limit = 0;
    // With notices on: a message with the camera's picture at a start of motion (at most one a
    // minute per camera).
    bool MotionMail = false;
    // Index for index with Users: each password's hash (the record's Password field holds only its
    // marker, config/passwords.h), and the right to export recordings (1: may).
    TPasswordTable PassHashes{};
    TExportRights ExportRights{};
    // The automatic login's password: the hash of its user's password as it was when it was set
    // ("sPass" holds its marker).
    TPasswordRecord sPassHash{};
};

// The automatic login's password set from the text typed (UTF-8; empty: none): when it is the
// password of the user "sUser" now, that user's hash; else a hash of its own, which matches nobody.
void SetAutoPassword(TSettingsBlock& block, std::string_view utf8);
// After the users' passwords changed (`before`: their hashes until then): an automatic login that
// held its user's old hash follows the user's new one.
void FollowAutoLogin(const TPasswordTable& before, TSettingsBlock& block);
// The user the automatic login names, if its password is that user's now; kNobody otherwise.
int AutoLoginUser(const TSettingsBlock& block);

class TConfig : public TSettingsBlock {
public:
    static constexpr const char* kKey = "\\Software\\KEL2\\";

    // The store file this configuration reads and writes.
    explicit TConfig(std::string storeFile);
    ~TConfig();

    // Opens the store (once) and reads every setting, then the cameras. False with ErrorText set;
    // a damaged store file reads as a missing key. Fields read before a failure keep their values.
    bool Load();
    // How many plain passwords the last Load found and hashed (written back to the store at once).
    int HashedAtLoad() const { return hashed_at_load_; }
    // Write operations leave ErrorText alone; the store's ErrorText() says what failed.
    // WriteDefaults and SaveAll write in one transaction: all of it or, on failure, none.
    bool WriteDefaults();
    bool WriteDefaultCameras();
    bool LoadCameras();
    bool SaveCameras();
    // Never writes "VideoFiles" or "UsedDisk": the recorder keeps those (WriteCounter).
    bool SaveAll();
    // Only where the key exists; failures are ignored. An absent or unreadable flag reads true.
    void SetCorrectClose(bool flag);
    bool GetCorrectClose();
    int FindUser(std::string_view login, std::string_view password) const;
    void ApplySettings(const TSettingsBlock& block);
    void ApplyCameras(const TCameraTable& records);
    // Every setting and camera as the station applied them, to be saved (the counters excepted,
    // which SaveAll never writes).
    void TakeApplied(const TSettingsBlock& block, const TCameraTable& records);
    void CopySettingsTo(TSettingsBlock& block) const;

    TCameraTable Cameras{};
    std::string ErrorText;  // at most 255 characters

    RegistryStore& Store() { return store_; }

private:
    bool OpenStore();         // opens the store file unless it is open already
    void SetDefaultTables();  // the in-memory part of WriteDefaults
    void SecureAccounts();    // hashes plain passwords and writes them back (Load)
    int hashed_at_load_ = 0;

    std::string store_file_;
    RegistryStore store_;
};

// The camera records copied, each name cut to its 30 characters.
void CopyCameras(const TCameraTable& from, TCameraTable& to);

// The fields the configuration dialog edits copied from `from` into `to`. Not the version, the
// SmartView position, the layouts (the console owns them), UsedDisk (the recorder's) or the cameras.
void ApplyDialogSettings(const TSettingsBlock& from, TSettingsBlock& to);

// Whether the changes `ops` (read from a .reg file) leave the settings of `store` such that the
// station can load them: every value they write or remove is checked against the type and size
// the configuration reads it as. False with `error` giving the line and the reason of the first
// that would not load. Values the file does not touch are not judged.
bool CheckSettingsImport(RegistryStore& store, const std::vector<RegFileOp>& ops, std::string& error);

// The plain passwords of a store (an import of an older station's .reg file, a file written by
// hand, a store of an older station) hashed in the store, in one transaction. False with `error`
// when they were there and could not be hashed and written.
bool HashStorePasswords(RegistryStore& store, std::string& error);
// The same inside a transaction the caller holds (an import's).
bool HashStorePasswordsIn(RegistryStore& store, std::string& error);

}  // namespace kel
