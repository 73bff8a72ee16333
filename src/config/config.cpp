#include "config/config.h"

// Every setting is one value directly under the settings key. The values of the settings block
// are described once, in load order, by the table below; Load, WriteDefaults and SaveAll walk it.
// The order matters: a load that stops at a bad value keeps what it read before it.
//
// A save (WriteDefaults, SaveAll) is one transaction: one sync for the whole 425 kB, and a save
// that fails part-way is rolled back as a whole, leaving the previous save intact rather than a
// mixture of the two.

#include <algorithm>
#include <cstring>
#include <numeric>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "config/passwords.h"
#include "config/registry_values.h"
#include "config/setting_limits.h"
#include "config/user_table.h"
#include "platform/cp1250.h"

namespace kel {

namespace {

using Block = TSettingsBlock;

constexpr const char* kNoStoreText = "{#0004} Brak dostępu do rejestru Windows";
constexpr const char* kBadConfigText = "{#0006} Brak lub uszkodzone dane konfiguracyjne KEL";
constexpr const char* kCamerasName = "Cameras";
constexpr const char* kCorrectCloseName = "b_CorrectClose";

static_assert(sizeof(TCameraTable) == 1024);
static_assert(sizeof(TUserTable) == 13824);
static_assert(sizeof(TZoneTable) == 405632);
static_assert(sizeof(TCamIconTable) == 192);
static_assert(sizeof(TMaskTable) == 405504);

// A table field as the bytes of its stored image.
using BytesOf = std::span<uint8_t> (*)(Block&);

template <auto Member>
std::span<uint8_t> FieldBytes(Block& b) {
    auto& field = b.*Member;
    static_assert(std::is_trivially_copyable_v<std::remove_reference_t<decltype(field)>>);
    return {reinterpret_cast<uint8_t*>(&field), sizeof(field)};
}

using Target =
    std::variant<uint16_t Block::*, int32_t Block::*, bool Block::*, std::string Block::*, BytesOf>;

enum ValueFlags : unsigned {
    kNotInDefaults = 1,  // WriteDefaults leaves it out
    kNotSaved = 2,       // SaveAll leaves it out: the recorder keeps it up to date
    kConstant = 4,       // SaveAll writes the default, not the field
    kRequired = 8,       // empty after loading makes the load fail
    kOptional = 16,      // a missing value reads as its default
    kFromField = 32,     // WriteDefaults writes the field its in-memory step set, not the default
};

struct ValueDesc {
    const char* name;
    Target target;
    unsigned flags = 0;
    uint32_t number = 0;           // default of a DWORD
    const char* text = nullptr;    // default of a text
    size_t maxChars = 0;           // a longer text is cut to this (0: unbounded)
    const char* readAs = nullptr;  // the spelling used when reading, where it differs
};

constexpr ValueDesc Dword(const char* name, Target t, uint32_t def, unsigned flags = 0) {
    return {name, t, flags, def};
}
constexpr ValueDesc Text(const char* name, std::string Block::*t, const char* def, unsigned flags = 0,
                         size_t maxChars = 0, const char* readAs = nullptr) {
    return {name, t, flags, 0, def, maxChars, readAs};
}
constexpr ValueDesc Table(const char* name, BytesOf t, unsigned flags = 0) {
    return {name, t, flags};
}

// Tables are written from memory by WriteDefaults too: its in-memory step has set them.
constexpr ValueDesc kValues[] = {
    Dword("Ver", &Block::Ver, 203, kConstant),
    Text("Version", &Block::Version, "KEL 2.0.3", kConstant | kRequired, 9),
    Dword("Width", &Block::Width, 1024),
    Dword("Height", &Block::Height, 768),
    Dword("Smart_X", &Block::Smart_X, 0),
    Dword("Smart_Y", &Block::Smart_Y, 0),
    Dword("StartMode", &Block::StartMode, 3),
    Text("Skin", &Block::Skin, "Default", kRequired),
    Dword("AppMode", &Block::AppMode, 1),
    Dword("CamMode1", &Block::CamMode1, 1),
    Table("CamMode4", FieldBytes<&Block::CamMode4>),
    Table("CamMode9", FieldBytes<&Block::CamMode9>),
    Table("CamMode16", FieldBytes<&Block::CamMode16>),
    Table("CamMode8", FieldBytes<&Block::CamMode8>),
    Table("CamMode13", FieldBytes<&Block::CamMode13>),
    Dword("Sequence", &Block::Sequence, 2),
    Dword("Ntsc", &Block::Ntsc, 0),
    Dword("TCP", &Block::TCP, 0),
    Dword("Port", &Block::Port, 777),
    Dword("VideoFiles", &Block::VideoFiles, 0, kNotSaved),
    Dword("VideoFilesSize", &Block::VideoFilesSize, 0),
    Text("TCPServerName", &Block::TCPServerName, "KEL 2.0.3 Server", kRequired, 128),
    Dword("UsedDisk", &Block::UsedDisk, 0, kNotSaved),
    Table("HDDs", FieldBytes<&Block::HDDs>),
    Dword("cDetection", &Block::cDetection, 1),
    Dword("cRecording", &Block::cRecording, 1),
    Dword("cCamName", &Block::cCamName, 1),
    Dword("cColor", &Block::cColor, 255),
    Dword("SoundInfo", &Block::SoundInfo, 0),
    Dword("SoundDetect", &Block::SoundDetect, 0),
    Text("mSMTP", &Block::mSMTP, "-"),
    Text("mUSER", &Block::mUSER, "-"),
    Text("mPASS", &Block::mPASS, "-"),
    Text("mTARGET", &Block::mTARGET, "-"),
    Dword("bMessages", &Block::bMessages, 0),
    Dword("AutoLogin", &Block::AutoLogin, 0),
    Text("sUser", &Block::sUser, "kel"),
    // Never a password: the marker of "sPassHash" (a plain one, of an older store, is hashed at load).
    Text("sPass", &Block::sPass, "", kFromField, 0, "sPASS"),
    Text("sMapFile", &Block::sMapFile, "screen.bmp", kRequired),
    Table("PTZPorts", FieldBytes<&Block::PTZPorts>, kNotInDefaults),
    Table("CamIcons", FieldBytes<&Block::CamIcons>),
    Table("Scheduler", FieldBytes<&Block::Scheduler>),
    Table("Users", FieldBytes<&Block::Users>),
    Table("Zones", FieldBytes<&Block::Zones>),
    // Added later: a store without them keeps every recording until room is needed and masks
    // nothing, and first-run defaults do not write them.
    Table("KeepDays", FieldBytes<&Block::KeepDays>, kNotInDefaults),
    Table("Masks", FieldBytes<&Block::Masks>, kNotInDefaults),
    // Without it, network cameras are recorded as they send.
    Table("Reencode", FieldBytes<&Block::Reencode>, kNotInDefaults),
    // Without them the web view is off, on its usual port, with a certificate of its own.
    Dword("Web", &Block::Web, 0, kNotInDefaults | kOptional),
    Dword("WebPort", &Block::WebPort, 8443, kNotInDefaults | kOptional),
    Text("WebCert", &Block::WebCert, "", kNotInDefaults | kOptional),
    Text("WebKey", &Block::WebKey, "", kNotInDefaults | kOptional),
    Dword("WebTls", &Block::WebTls, 1, kNotInDefaults | kOptional),
    // Without them no events are sent.
    Dword("Mqtt", &Block::Mqtt, 0, kNotInDefaults | kOptional),
    Text("MqttHost", &Block::MqttHost, "", kNotInDefaults | kOptional),
    Dword("MqttPort", &Block::MqttPort, 1883, kNotInDefaults | kOptional),
    Text("MqttUser", &Block::MqttUser, "", kNotInDefaults | kOptional),
    Text("MqttPassword", &Block::MqttPassword, "", kNotInDefaults | kOptional),
    Dword("MqttTls", &Block::MqttTls, 0, kNotInDefaults | kOptional),
    Text("MqttTopic", &Block::MqttTopic, "kel", kNotInDefaults | kOptional),
    Dword("MotionMail", &Block::MotionMail, 0, kNotInDefaults | kOptional),
    // Without them nothing is copied off the station.
    Dword("S3", &Block::S3, 0, kNotInDefaults | kOptional),
    Text("S3Endpoint", &Block::S3Endpoint, "", kNotInDefaults | kOptional),
    Text("S3Region", &Block::S3Region, "us-east-1", kNotInDefaults | kOptional),
    Text("S3Bucket", &Block::S3Bucket, "", kNotInDefaults | kOptional),
    Text("S3KeyId", &Block::S3KeyId, "", kNotInDefaults | kOptional),
    Text("S3Secret", &Block::S3Secret, "", kNotInDefaults | kOptional),
    Text("S3Prefix", &Block::S3Prefix, "", kNotInDefaults | kOptional),
    Dword("S3Limit", &Block::S3Limit, 0, kNotInDefaults | kOptional),
    // Without them the passwords are those the Users records hold in plain (an older station's),
    // hashed at this load and written back.
    Table("PassHashes", FieldBytes<&Block::PassHashes>),
    Table("sPassHash", FieldBytes<&Block::sPassHash>),
    // Without it, a user may export recordings exactly when he may change the configuration.
    Table("ExportRights", FieldBytes<&Block::ExportRights>, kNotInDefaults),
};

constexpr const char* kAccountValues[] = {"sUser", "sPass", "Users", "PassHashes", "sPassHash"};

const ValueDesc* Desc(std::string_view name) {
    for (const ValueDesc& d : kValues)
        if (std::string_view(d.name) == name)
            return &d;
    return nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// Value names are matched without regard to case, as the store itself matches them.
const RegValue* FindValue(const std::vector<RegValue>& values, std::string_view name) {
    for (const RegValue& v : values) {
        if (EqualsNoCase(v.name, name)) {
            return &v;
        }
    }
    return nullptr;
}

// Reads one value into its field by the rules of registry_values.h.
struct FieldReader {
    const RegValue* value;
    const ValueDesc& desc;
    Block& block;

    template <class T>
    bool operator()(T Block::*field) const {
        uint32_t raw = desc.number;
        if (value == nullptr && (desc.flags & kOptional)) {
            block.*field = static_cast<T>(raw);
            return true;
        }
        if (!ReadDword(value, raw)) {
            return false;
        }
        // 16-bit fields keep the low 16 bits; booleans are true for any non-zero value.
        block.*field = static_cast<T>(raw);
        return true;
    }
    bool operator()(std::string Block::*field) const {
        if (value == nullptr && (desc.flags & kOptional)) {
            block.*field = desc.text ? desc.text : "";
            return true;
        }
        return ReadText(value, block.*field, desc.maxChars);
    }
    bool operator()(BytesOf bytes) const { return ReadBinary(value, bytes(block)); }
};

// The stored form of one value: from the field, or its default when `useDefault`.
struct FieldWriter {
    const ValueDesc& desc;
    Block& block;
    bool useDefault;

    template <class T>
    std::pair<RegType, std::vector<uint8_t>> operator()(T Block::*field) const {
        const uint32_t v = useDefault ? desc.number : static_cast<uint32_t>(block.*field);
        return {RegType::Dword, RegistryStore::DwordBytes(v)};
    }
    std::pair<RegType, std::vector<uint8_t>> operator()(std::string Block::*field) const {
        const std::string text = useDefault ? desc.text : block.*field;
        return {RegType::Sz, RegistryStore::SzBytes(desc.maxChars ? CutChars(text, desc.maxChars) : text)};
    }
    std::pair<RegType, std::vector<uint8_t>> operator()(BytesOf bytes) const {
        std::span<uint8_t> b = bytes(block);
        return {RegType::Binary, std::vector<uint8_t>(b.begin(), b.end())};
    }
};

// The settings block from the store: false when the key is missing (nothing is read), a value
// cannot be read (reading stops there, earlier fields keep what was read), or a required text is
// empty, which is checked after a read error too.
bool ReadSettings(RegistryStore& store, Block& block) {
    if (!store.IsOpen() || !store.KeyExists(TConfig::kKey)) {
        return false;
    }
    std::vector<RegValue> values;
    bool ok = store.ListValues(TConfig::kKey, values);
    for (size_t i = 0; ok && i < std::size(kValues); ++i) {
        const ValueDesc& d = kValues[i];
        const RegValue* v = FindValue(values, d.readAs ? d.readAs : d.name);
        ok = std::visit(FieldReader{v, d, block}, d.target);
    }
    for (const ValueDesc& d : kValues) {
        if ((d.flags & kRequired) && (block.*std::get<std::string Block::*>(d.target)).empty()) {
            ok = false;
        }
    }
    return ok;
}

// Writes, in load order, the values whose flags masked by `mask` equal `want`.
bool WriteValues(RegistryStore& store, Block& block, unsigned mask, unsigned want, bool defaults) {
    for (const ValueDesc& d : kValues) {
        if ((d.flags & mask) != want) {
            continue;
        }
        const bool useDefault = (defaults && !(d.flags & kFromField)) || (d.flags & kConstant);
        auto [type, data] = std::visit(FieldWriter{d, block, useDefault}, d.target);
        if (!store.WriteValue(TConfig::kKey, d.name, type, data)) {
            return false;
        }
    }
    return true;
}

template <class Writes>
bool InOneTransaction(RegistryStore& store, Writes&& writes) {
    if (!store.Begin()) {
        return false;
    }
    if (!writes()) {
        store.Rollback();
        return false;
    }
    return store.Commit();
}

std::span<uint8_t> CameraBytes(TCameraTable& cameras) {
    return {reinterpret_cast<uint8_t*>(cameras.data()), sizeof(cameras)};
}

}  // namespace

TConfig::TConfig(std::string storeFile) : store_file_(std::move(storeFile)) {}

TConfig::~TConfig() = default;

bool TConfig::OpenStore() {
    return store_.IsOpen() || store_.Open(store_file_);
}

bool TConfig::Load() {
    bool ok = true;
    if (!OpenStore()) {
        ErrorText = kNoStoreText;
        ok = false;
    }
    if (!ReadSettings(store_, *this)) {
        ErrorText = kBadConfigText;
        ok = false;
    } else {
        SecureAccounts();
    }
    if (!LoadCameras()) {
        ErrorText = kBadConfigText;
        ok = false;
    }
    return ok;
}

void TConfig::SetDefaultTables() {
    TUserRecord& admin = Users[0];
    admin.Login.Set("kel");
    SetPassword(admin, PassHashes[0], kDefaultPassword);
    std::fill(std::begin(admin.CamRights), std::end(admin.CamRights), 1);
    admin.ConfigRight = 1;
    ExportRights[0] = 1;
    sUser = "kel";
    SetAutoPassword(*this, kDefaultPassword);
    for (int n = 0; n < kCameraCount; ++n) {
        PTZPorts[n] = n + 1;
        Zones[n].Sensitivity = 1000;
    }
    HDDs.fill(0);
    std::iota(CamMode4.begin(), CamMode4.end(), 1);
    std::iota(CamMode9.begin(), CamMode9.end(), 1);
    std::iota(CamMode16.begin(), CamMode16.end(), 1);
    CamMode8 = {1, 2, 3, 4, 5, 8, 7, 6};
    std::iota(CamMode13.begin(), CamMode13.end(), 1);
    Scheduler.fill(0);
}

bool TConfig::WriteDefaults() {
    // Icons, user records 1..255 and zone masks keep whatever they hold: zero in a new record,
    // or what a failed Load had already read.
    SetDefaultTables();
    return OpenStore() &&
           InOneTransaction(store_, [&] { return WriteValues(store_, *this, kNotInDefaults, 0, true); });
}

bool TConfig::WriteDefaultCameras() {
    for (int n = 0; n < kCameraCount; ++n) {
        TCameraRecord& c = Cameras[n];
        c.Name.Set("Kamera " + std::to_string(n + 1));
        c.Active = 0;
        c.Resolution = 2;
        c.FPS = 3;
        c.Brightness = 0;
        c.Contrast = 128;
        c.Sharpness = 0;
        c.SatU = 128;
        c.SatV = 128;
        c.Hue = 0;
    }
    return SaveCameras();
}

bool TConfig::LoadCameras() {
    // Unlike the settings tables the camera table must be there: missing or empty fails. Otherwise
    // the table rules apply: too large, or stored as text or a number, fails.
    RegValue v;
    if (!OpenStore() || !store_.ReadValue(kKey, kCamerasName, v) || v.data.empty()) {
        return false;
    }
    return ReadBinary(&v, CameraBytes(Cameras));
}

bool TConfig::SaveCameras() {
    std::span<uint8_t> b = CameraBytes(Cameras);
    return OpenStore() &&
           store_.WriteValue(kKey, kCamerasName, RegType::Binary, std::vector<uint8_t>(b.begin(), b.end()));
}

bool TConfig::SaveAll() {
    // The format number and version text first, then the rest without the recorder's counters.
    return OpenStore() && InOneTransaction(store_, [&] {
               return WriteValues(store_, *this, kConstant, kConstant, false) &&
                      WriteValues(store_, *this, kConstant | kNotSaved, 0, false);
           });
}

void TConfig::SetCorrectClose(bool flag) {
    // Start-up and shutdown go on whatever happens here, so failures are not reported.
    if (!OpenStore() || !store_.KeyExists(kKey)) {
        return;
    }
    store_.WriteValue(kKey, kCorrectCloseName, RegType::Dword, RegistryStore::DwordBytes(flag ? 1 : 0));
}

bool TConfig::GetCorrectClose() {
    // Absent after a first start or a defaults-only key; only a stored false reports a crash.
    RegValue v;
    uint32_t flag = 0;
    if (!OpenStore() || !store_.ReadValue(kKey, kCorrectCloseName, v) || !ReadDword(&v, flag)) {
        return true;
    }
    return flag != 0;
}

namespace {

// Plain passwords hashed: the users' (a Password field that is not its hash's marker) and the
// automatic login's. True when anything changed.
bool HashPlain(Block& b) {
    // The automatic login whose hashed password is the plain one its user now brings (an import of
    // the same password) follows that user's new hash.
    const std::string login = ToCp1250(b.sUser);
    int follows = kNobody;
    if (IsMarkerOf(b.sPass, b.sPassHash))
        for (int i = 0; i < kUserCount && follows == kNobody; ++i) {
            const TUserRecord& u = b.Users[i];
            if (u.InUse() && u.Login.EqualsBytes(login) && !IsMarkerOf(u.Password, b.PassHashes[i]) &&
                VerifyPassword(b.sPassHash,
                               std::string(u.Password.chars, std::min<size_t>(u.Password.len, 15))))
                follows = i;
        }
    bool changed = HashPlainPasswords(b.Users, b.PassHashes) > 0;
    if (follows != kNobody && IsMarkerOf(b.Users[follows].Password, b.PassHashes[follows])) {
        b.sPassHash = b.PassHashes[follows];
        b.sPass = PasswordMarker(b.sPassHash);
    }
    if (!b.sPass.empty() && !IsMarkerOf(b.sPass, b.sPassHash)) {
        SetAutoPassword(b, b.sPass);
        changed = true;
    }
    return changed;
}

bool WriteAccounts(RegistryStore& store, Block& b) {
    for (const char* name : kAccountValues) {
        const ValueDesc& d = *Desc(name);
        auto [type, data] = std::visit(FieldWriter{d, b, false}, d.target);
        if (!store.WriteValue(TConfig::kKey, d.name, type, data))
            return false;
    }
    return true;
}

}  // namespace

// A store of an older station, or values imported or written by hand, may hold plain passwords:
// they are hashed now and written back at once, not left in the file until the next save.
void TConfig::SecureAccounts() {
    hashed_at_load_ = 0;
    RegValue v;
    if (!store_.ReadValue(kKey, "ExportRights", v) && store_.LastReadMissing())
        for (int i = 0; i < kUserCount; ++i)
            ExportRights[i] = Users[i].InUse() && Users[i].ConfigRight ? 1 : 0;
    const TUserTable before = Users;
    if (!HashPlain(*this))
        return;
    for (int i = 0; i < kUserCount; ++i)
        hashed_at_load_ += std::memcmp(&before[i], &Users[i], sizeof before[i]) != 0;
    // A failed write leaves them hashed in memory; the next save writes them.
    InOneTransaction(store_, [&] { return WriteAccounts(store_, *this); });
}

void SetAutoPassword(Block& b, std::string_view utf8) {
    // Taken before the fields are cleared: the text may be sPass itself.
    const std::string login = ToCp1250(b.sUser), password = ToCp1250(utf8);
    const bool weak = WeakPassword(utf8);
    b.sPassHash = TPasswordRecord{};
    b.sPass.clear();
    if (password.empty())
        return;
    const int i = FindUserBytes(b.Users, b.PassHashes, login, password);
    if (i != kNobody && IsMarkerOf(b.Users[i].Password, b.PassHashes[i]))
        b.sPassHash = b.PassHashes[i];
    else
        b.sPassHash = HashPassword(password, weak);
    b.sPass = PasswordMarker(b.sPassHash);
}

void FollowAutoLogin(const TPasswordTable& before, Block& b) {
    const std::string login = ToCp1250(b.sUser);
    for (int i = 0; i < kUserCount; ++i) {
        if (!b.Users[i].InUse() || !b.Users[i].Login.EqualsBytes(login) || !SameHash(before[i], b.sPassHash))
            continue;
        if (!SameHash(b.PassHashes[i], before[i])) {
            b.sPassHash = b.PassHashes[i];
            b.sPass = PasswordMarker(b.sPassHash);
        }
        return;
    }
}

int AutoLoginUser(const Block& b) {
    const std::string login = ToCp1250(b.sUser);
    if (!IsMarkerOf(b.sPass, b.sPassHash))  // not hashed yet: the plain pair, as before
        return FindUser(b.Users, b.PassHashes, b.sUser, b.sPass);
    for (int i = 0; i < kUserCount; ++i)
        if (b.Users[i].InUse() && b.Users[i].Login.EqualsBytes(login) &&
            IsMarkerOf(b.Users[i].Password, b.PassHashes[i]) && SameHash(b.PassHashes[i], b.sPassHash))
            return i;
    return kNobody;
}

bool HashStorePasswordsIn(RegistryStore& store, std::string& error) {
    if (!store.KeyExists(TConfig::kKey))
        return true;
    std::vector<RegValue> values;
    if (!store.ListValues(TConfig::kKey, values)) {
        error = store.ErrorText();
        return false;
    }
    Block b;
    for (const char* name : kAccountValues) {
        const ValueDesc& d = *Desc(name);
        // A value that cannot be read holds no password to hash (the import check refuses one).
        if (!std::visit(FieldReader{FindValue(values, d.readAs ? d.readAs : d.name), d, b}, d.target))
            return true;
    }
    if (HashPlain(b) && !WriteAccounts(store, b)) {
        error = "nie mozna zapisac skrotow hasel: " + store.ErrorText();
        return false;
    }
    return true;
}

bool HashStorePasswords(RegistryStore& store, std::string& error) {
    if (!store.Begin()) {
        error = "nie mozna zapisac skrotow hasel: " + store.ErrorText();
        return false;
    }
    if (!HashStorePasswordsIn(store, error)) {
        store.Rollback();
        return false;
    }
    if (!store.Commit()) {
        error = "nie mozna zapisac skrotow hasel: " + store.ErrorText();
        return false;
    }
    return true;
}

namespace {

bool StartsWithKey(const std::string& key, const std::string& prefix) {
    return EqualsNoCase(key, prefix) ||
           (key.size() > prefix.size() && key[prefix.size()] == '\\' &&
            EqualsNoCase(std::string_view(key).substr(0, prefix.size()), prefix));
}

// Why a value that loads is still none the station can use (setting_limits.h); empty when it is.
std::string UseProblem(const char* name, const RegValue& v, const Target& target) {
    if (std::holds_alternative<BytesOf>(target))
        return TableProblem(name, v.data);
    if (std::holds_alternative<std::string Block::*>(target)) {
        std::string whole;  // not cut to the field: a text too long for it is refused, not cut
        ReadText(&v, whole);
        return TextProblem(name, whole);
    }
    uint32_t raw = 0;
    ReadDword(&v, raw);
    return DwordProblem(name, raw);
}

// Why a value the configuration reads would not load, or not be usable; empty when it would.
std::string LoadProblem(const ValueDesc& d, const RegValue* v) {
    Block scratch;
    if (std::visit(FieldReader{v, d, scratch}, d.target)) {
        if ((d.flags & kRequired) && (scratch.*std::get<std::string Block::*>(d.target)).empty())
            return "must not be empty";
        return v ? UseProblem(d.readAs ? d.readAs : d.name, *v, d.target) : std::string();
    }
    if (!v)
        return "cannot be removed: the station reads it at every start";
    if (std::holds_alternative<std::string Block::*>(d.target))
        return "must be a text (\"...\")";
    if (std::holds_alternative<BytesOf>(d.target))
        return "must be hex: of at most " + std::to_string(std::get<BytesOf>(d.target)(scratch).size()) +
               " bytes";
    return "must be dword: (4 bytes)";
}

}  // namespace

bool CheckSettingsImport(RegistryStore& store, const std::vector<RegFileOp>& ops, std::string& error) {
    std::string key;
    RegistryStore::NormalizeKey(TConfig::kKey, key);
    // The settings as they would be after the import, and the line that last touched each value.
    std::vector<RegValue> values;
    if (store.KeyExists(TConfig::kKey))
        store.ListValues(TConfig::kKey, values);
    std::vector<std::pair<std::string, int>> touched;
    auto touch = [&](const std::string& name, int line) { touched.emplace_back(name, line); };
    auto erase = [&](const std::string& name) {
        std::erase_if(values, [&](const RegValue& v) { return EqualsNoCase(v.name, name); });
    };
    for (const RegFileOp& op : ops) {
        if (op.kind == RegFileOp::Kind::DeleteKey && StartsWithKey(key, op.key)) {
            for (const RegValue& v : values)
                touch(v.name, op.line);
            values.clear();
        } else if ((op.kind == RegFileOp::Kind::WriteValue || op.kind == RegFileOp::Kind::DeleteValue) &&
                   EqualsNoCase(op.key, key)) {
            erase(op.value.name);
            if (op.kind == RegFileOp::Kind::WriteValue)
                values.push_back(op.value);
            touch(op.value.name, op.line);
        }
    }
    auto lastLine = [&](std::string_view name) {
        int line = 0;
        for (const auto& [n, l] : touched)
            if (EqualsNoCase(n, name))
                line = l;
        return line;
    };
    auto refuse = [&](std::string_view name, int line, const std::string& why) {
        error = "line " + std::to_string(line) + ": \"" + std::string(name) + "\" " + why;
        return false;
    };
    for (const ValueDesc& d : kValues) {
        const char* name = d.readAs ? d.readAs : d.name;
        const int line = lastLine(name);
        if (line == 0)
            continue;  // the file leaves it as it is
        const std::string why = LoadProblem(d, FindValue(values, name));
        if (!why.empty())
            return refuse(name, line, why);
    }
    if (const int line = lastLine(kCamerasName)) {
        TCameraTable cameras{};
        const RegValue* v = FindValue(values, kCamerasName);
        if (!v || v->data.empty() || !ReadBinary(v, CameraBytes(cameras)))
            return refuse(kCamerasName, line,
                          "must be hex: of at most " + std::to_string(sizeof cameras) +
                              " bytes, and not removed");
        if (const std::string why = TableProblem(kCamerasName, v->data); !why.empty())
            return refuse(kCamerasName, line, why);
    }
    // The window's width and height are one of the sizes the skins are drawn for.
    if (const int line = std::max(lastLine("Width"), lastLine("Height"))) {
        uint32_t width = 0, height = 0;
        ReadDword(FindValue(values, "Width"), width);
        ReadDword(FindValue(values, "Height"), height);
        const bool pair = (width == 1024 && height == 768) || (width == 1152 && height == 864) ||
                          (width == 1280 && height == 1024);
        if (!pair)
            return refuse("Width", line,
                          "and \"Height\" must be 1024x768, 1152x864 or 1280x1024 (are " +
                              std::to_string(width) + "x" + std::to_string(height) + ")");
    }
    return true;
}

int TConfig::FindUser(std::string_view login, std::string_view password) const {
    return kel::FindUser(Users, PassHashes, login, password);
}

void ApplyDialogSettings(const Block& from, Block& to) {
    to.Width = from.Width;
    to.Height = from.Height;
    to.Skin = from.Skin;
    to.AppMode = from.AppMode;
    to.StartMode = from.StartMode;
    to.Sequence = from.Sequence;
    to.Ntsc = from.Ntsc;
    to.TCP = from.TCP;
    to.Port = from.Port;
    to.VideoFiles = from.VideoFiles;
    to.TCPServerName = CutChars(from.TCPServerName, 128);
    to.VideoFilesSize = from.VideoFilesSize;
    to.HDDs = from.HDDs;
    to.cDetection = from.cDetection;
    to.cRecording = from.cRecording;
    to.cColor = from.cColor;
    to.cCamName = from.cCamName;
    to.SoundInfo = from.SoundInfo;
    to.SoundDetect = from.SoundDetect;
    to.mSMTP = from.mSMTP;
    to.mUSER = from.mUSER;
    to.mPASS = from.mPASS;
    to.mTARGET = from.mTARGET;
    to.bMessages = from.bMessages;
    to.sMapFile = from.sMapFile;
    to.sUser = from.sUser;
    to.sPass = from.sPass;
    to.AutoLogin = from.AutoLogin;
    to.Scheduler = from.Scheduler;
    to.Users = from.Users;
    to.Zones = from.Zones;
    to.CamIcons = from.CamIcons;
    to.PTZPorts = from.PTZPorts;
    to.KeepDays = from.KeepDays;
    to.Masks = from.Masks;
    to.Reencode = from.Reencode;
    to.Web = from.Web;
    to.WebPort = from.WebPort;
    to.WebCert = from.WebCert;
    to.WebKey = from.WebKey;
    to.WebTls = from.WebTls;
    to.Mqtt = from.Mqtt;
    to.MqttHost = from.MqttHost;
    to.MqttPort = from.MqttPort;
    to.MqttUser = from.MqttUser;
    to.MqttPassword = from.MqttPassword;
    to.MqttTls = from.MqttTls;
    to.MqttTopic = from.MqttTopic;
    to.MotionMail = from.MotionMail;
    to.S3 = from.S3;
    to.S3Endpoint = from.S3Endpoint;
    to.S3Region = from.S3Region;
    to.S3Bucket = from.S3Bucket;
    to.S3KeyId = from.S3KeyId;
    to.S3Secret = from.S3Secret;
    to.S3Prefix = from.S3Prefix;
    to.S3Limit = from.S3Limit;
    to.PassHashes = from.PassHashes;
    to.ExportRights = from.ExportRights;
    to.sPassHash = from.sPassHash;
}

void TConfig::ApplySettings(const TSettingsBlock& block) {
    ApplyDialogSettings(block, *this);
}

void TConfig::TakeApplied(const TSettingsBlock& block, const TCameraTable& records) {
    const int32_t counter = VideoFiles, disk = UsedDisk;
    static_cast<TSettingsBlock&>(*this) = block;
    VideoFiles = counter;
    UsedDisk = disk;
    ApplyCameras(records);
}

void CopyCameras(const TCameraTable& from, TCameraTable& to) {
    for (int n = 0; n < kCameraCount; ++n) {
        to[n] = from[n];
        to[n].Name.len = std::min<uint8_t>(to[n].Name.len, 30);
    }
}

void TConfig::ApplyCameras(const TCameraTable& records) {
    CopyCameras(records, Cameras);
}

void TConfig::CopySettingsTo(TSettingsBlock& block) const {
    ApplyDialogSettings(*this, block);
    block.UsedDisk = UsedDisk;
}

}  // namespace kel
