#pragma once
// Each subsystem's part of the applied configuration: a view that holds the snapshot it was made
// from and answers only what that subsystem reads. A view never changes; a new configuration is
// a new snapshot, handed out as new views, so a reader keeps a consistent set of values for as
// long as it holds its view and the mutable configuration record is never read after the start.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "config/applied_config.h"
#include "config/user_table.h"

namespace kel {

class ConfigView {
public:
    ConfigView() = default;
    explicit ConfigView(ConfigSnapshot applied) : applied_(std::move(applied)) {}
    bool Valid() const { return applied_ != nullptr; }
    const ConfigSnapshot& Snapshot() const { return applied_; }

protected:
    const TSettingsBlock& Settings() const { return applied_->settings; }
    const TCameraTable& Table() const { return applied_->cameras; }
    CameraTablePtr SharedTable() const { return CamerasOf(applied_); }

private:
    ConfigSnapshot applied_;
};

// The recorder: segment size, drives, zones, the motion sound, the cameras it records, the
// schedule, and the counter and drive it starts from.
class RecorderView : public ConfigView {
public:
    using ConfigView::ConfigView;
    int32_t SizeCode() const { return Settings().VideoFilesSize; }
    bool SoundDetect() const { return Settings().SoundDetect; }
    const TZoneTable& Zones() const { return Settings().Zones; }
    const std::array<uint8_t, 25>& Drives() const { return Settings().HDDs; }
    bool AnyDrive() const;
    const std::array<uint8_t, 2688>& Schedule() const { return Settings().Scheduler; }
    CameraTablePtr Cameras() const { return SharedTable(); }
    int32_t StartCounter() const { return Settings().VideoFiles; }
    int32_t StartDisk() const { return Settings().UsedDisk; }
    const std::array<int32_t, 16>& KeepDays() const { return Settings().KeepDays; }
    const TMaskTable& Masks() const { return Settings().Masks; }
    // Camera n (1..16), if it sends a stream of its own, recorded as it sends.
    bool AsSent(int n) const { return Settings().Reencode[n - 1] == 0; }
    // Whether camera n (1..16) has a privacy mask: a masked camera is recorded from its pictures.
    bool Masked(int n) const;
};

// The renderer and the console's views: cameras, overlay switches, the plan, the layouts' slot
// tables, the sequence and the window's skin and size.
class RendererView : public ConfigView {
public:
    using ConfigView::ConfigView;
    CameraTablePtr Cameras() const { return SharedTable(); }
    const TCameraRecord& Camera(int n) const { return Table()[n - 1]; }  // n = 1..16
    uint32_t TextColor() const { return static_cast<uint32_t>(Settings().cColor); }
    bool ShowNames() const { return Settings().cCamName; }
    bool ShowDetection() const { return Settings().cDetection; }
    bool ShowRecording() const { return Settings().cRecording; }
    const std::string& MapFile() const { return Settings().sMapFile; }
    const TCamIconTable& PlanIcons() const { return Settings().CamIcons; }
    int32_t StartLayout() const { return Settings().StartMode; }
    int32_t SingleCamera() const { return Settings().CamMode1; }
    int32_t SequenceCode() const { return Settings().Sequence; }
    // Layout 1..5's slot table (4, 9, 16, 8, 13 cameras); empty for any other layout.
    std::span<const int32_t> SlotTable(int layout) const;
    const std::string& Skin() const { return Settings().Skin; }
    int Width() const { return Settings().Width; }
    int Height() const { return Settings().Height; }
    int AppMode() const { return Settings().AppMode; }
    int SmartX() const { return Settings().Smart_X; }
    int SmartY() const { return Settings().Smart_Y; }
};

// The TCP server: its switch and port, and the tables it answers from (the web view's too, with
// the cameras' PTZ addresses).
class ServerView : public ConfigView {
public:
    using ConfigView::ConfigView;
    const std::array<int32_t, 16>& PtzAddresses() const { return Settings().PTZPorts; }
    bool On() const { return Settings().TCP; }
    int32_t Port() const { return Settings().Port; }
    CameraTablePtr Cameras() const { return SharedTable(); }
    std::shared_ptr<const TUserTable> Users() const {
        return Valid() ? std::shared_ptr<const TUserTable>(Snapshot(), &Settings().Users) : nullptr;
    }
    // The users with their password hashes and export rights.
    UserAccounts Accounts() const {
        return Valid() ? UserAccounts{Settings().Users, Settings().PassHashes, Settings().ExportRights}
                       : UserAccounts{};
    }
};

// The web view: its switch, port, certificate files and TLS, and the station's name its evidence
// exports give. It answers from the TCP server's tables.
class WebView : public ConfigView {
public:
    using ConfigView::ConfigView;
    bool On() const { return Settings().Web; }
    const std::string& Station() const { return Settings().TCPServerName; }
    int32_t Port() const { return Settings().WebPort; }
    const std::string& Cert() const { return Settings().WebCert; }
    const std::string& Key() const { return Settings().WebKey; }
    bool Tls() const { return Settings().WebTls; }
};

// The events on an MQTT broker: the broker, the login, TLS, the topic and the station's name.
class EventsView : public ConfigView {
public:
    using ConfigView::ConfigView;
    bool On() const { return Settings().Mqtt && !Settings().MqttHost.empty(); }
    const std::string& Host() const { return Settings().MqttHost; }
    int32_t Port() const { return Settings().MqttPort; }
    const std::string& User() const { return Settings().MqttUser; }
    const std::string& Password() const { return Settings().MqttPassword; }
    bool Tls() const { return Settings().MqttTls; }
    const std::string& Topic() const { return Settings().MqttTopic; }
    const std::string& Station() const { return Settings().TCPServerName; }
    CameraTablePtr Cameras() const { return SharedTable(); }
};

// The off-site copies: the store, the bucket, the key, the keys' first part and the limit.
class OffsiteView : public ConfigView {
public:
    using ConfigView::ConfigView;
    bool On() const {
        return Settings().S3 && !Settings().S3Endpoint.empty() && !Settings().S3Bucket.empty();
    }
    const std::string& Endpoint() const { return Settings().S3Endpoint; }
    const std::string& Region() const { return Settings().S3Region; }
    const std::string& Bucket() const { return Settings().S3Bucket; }
    const std::string& KeyId() const { return Settings().S3KeyId; }
    const std::string& Secret() const { return Settings().S3Secret; }
    const std::string& Prefix() const { return Settings().S3Prefix; }
    int32_t LimitKBps() const { return Settings().S3Limit; }
};

// The capture board and its threads.
class BoardView : public ConfigView {
public:
    using ConfigView::ConfigView;
    const TCameraTable& Table() const { return ConfigView::Table(); }
    CameraTablePtr Cameras() const { return SharedTable(); }
    bool Ntsc() const { return Settings().Ntsc; }
    // Camera n's privacy mask (n = 1..16).
    const TMaskRecord& Mask(int n) const { return Settings().Masks[n - 1]; }
};

// The PTZ line: camera n's address, 0 for none.
class PtzView : public ConfigView {
public:
    using ConfigView::ConfigView;
    int32_t Address(int camera) const;
};

// The e-mail notices.
class MailView : public ConfigView {
public:
    using ConfigView::ConfigView;
    bool On() const { return Settings().bMessages; }
    const std::string& Server() const { return Settings().mSMTP; }
    const std::string& User() const { return Settings().mUSER; }
    const std::string& Password() const { return Settings().mPASS; }
    const std::string& Target() const { return Settings().mTARGET; }
    // A message with the picture at every start of motion (notices on too).
    bool OnMotion() const { return On() && Settings().MotionMail; }
};

// The logins: the users and their rights, and the automatic login.
class UsersView : public ConfigView {
public:
    using ConfigView::ConfigView;
    const TUserRecord* User(int index) const;          // nullptr outside the table
    const TPasswordRecord* Password(int index) const;  // nullptr outside the table
    // The index of the user with this login and password; kNobody for none (empty ones included).
    // Checks the password's hash: slow by design.
    int Find(std::string_view login, std::string_view password) const;
    bool AutoLogin() const { return Settings().AutoLogin; }
    const std::string& AutoUser() const { return Settings().sUser; }
    // The user the automatic login logs in; kNobody when its password is not that user's now.
    int AutoLoginUser() const { return kel::AutoLoginUser(Settings()); }
    // A user with the configuration right and a weak password (config/user_table.h).
    bool WeakAdministrator(int index) const;
    bool MayExport(int index) const;
};

}  // namespace kel
