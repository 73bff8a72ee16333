#include "config/config_changes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "config/rate_budget.h"

namespace kel {

namespace {

template <typename T>
bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool SamePicture(const TCameraRecord& a, const TCameraRecord& b) {
    return a.Brightness == b.Brightness && a.Contrast == b.Contrast && a.Sharpness == b.Sharpness &&
           a.SatU == b.SatU && a.SatV == b.SatV && a.Hue == b.Hue;
}

bool SameUsers(const TUserTable& a, const TUserTable& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Login.Get() != b[i].Login.Get() || a[i].Password.Get() != b[i].Password.Get() ||
            std::memcmp(a[i].CamRights, b[i].CamRights, sizeof a[i].CamRights) != 0 ||
            a[i].ConfigRight != b[i].ConfigRight)
            return false;
    return true;
}

bool SameZones(const TZoneTable& a, const TZoneTable& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Sensitivity != b[i].Sensitivity || std::memcmp(a[i].Mask, b[i].Mask, sizeof a[i].Mask) != 0)
            return false;
    return true;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : ", ") + p;
    return out;
}

}  // namespace

bool ConfigChanges::AnyRestart() const {
    return std::any_of(restart.begin(), restart.end(), [](bool r) { return r; });
}

ConfigChanges CompareConfigs(const AppliedConfig& before, const AppliedConfig& after) {
    ConfigChanges out;
    std::vector<std::string> parts;
    for (int n = 1; n <= kCameraCount; ++n) {
        const TCameraRecord& a = before.cameras[n - 1];
        const TCameraRecord& b = after.cameras[n - 1];
        const bool active = (a.Active != 0) != (b.Active != 0);
        const bool size = b.Active && a.Resolution != b.Resolution;
        const bool rate = b.Active && a.FPS != b.FPS;
        const bool reencode = before.settings.Reencode[n - 1] != after.settings.Reencode[n - 1];
        out.restart[n] = active || size || rate || reencode;
        out.boardModes = out.boardModes || active || size;
        out.shares[GroupOf(n)] = out.shares[GroupOf(n)] || active || rate;
        std::vector<std::string> what;
        if (active)
            what.push_back(b.Active ? "wlaczona" : "wylaczona");
        if (size)
            what.push_back("rozdzielczosc");
        if (rate)
            what.push_back("klatki/s");
        if (a.Name.Get() != b.Name.Get())
            what.push_back("nazwa");
        if (reencode)
            what.push_back(after.settings.Reencode[n - 1] ? "nagrywanie z przekodowaniem"
                                                          : "nagrywanie strumienia");
        out.tables = out.tables || std::memcmp(&a, &b, sizeof a) != 0;
        if (!SamePicture(a, b))
            what.push_back("obraz");
        if (!what.empty())
            parts.push_back("kamera " + std::to_string(n) + " (" + Joined(what) + ")");
    }
    const TSettingsBlock& a = before.settings;
    const TSettingsBlock& b = after.settings;
    out.boardModes = out.boardModes || a.Ntsc != b.Ntsc;
    out.server = a.TCP != b.TCP || a.Port != b.Port;
    out.ptz = a.PTZPorts != b.PTZPorts;
    out.events = a.Mqtt != b.Mqtt || a.MqttHost != b.MqttHost || a.MqttPort != b.MqttPort ||
                 a.MqttUser != b.MqttUser || a.MqttPassword != b.MqttPassword || a.MqttTls != b.MqttTls ||
                 a.MqttTopic != b.MqttTopic || (a.Mqtt && a.TCPServerName != b.TCPServerName);
    out.offsite = a.S3 != b.S3 || a.S3Endpoint != b.S3Endpoint || a.S3Region != b.S3Region ||
                  a.S3Bucket != b.S3Bucket || a.S3KeyId != b.S3KeyId || a.S3Secret != b.S3Secret ||
                  a.S3Prefix != b.S3Prefix || a.S3Limit != b.S3Limit;
    out.web = a.Web != b.Web || a.WebPort != b.WebPort || a.WebCert != b.WebCert || a.WebKey != b.WebKey ||
              a.WebTls != b.WebTls;
    const bool zones = !SameZones(a.Zones, b.Zones), users = !SameUsers(a.Users, b.Users) ||
                                                             !SameBytes(a.PassHashes, b.PassHashes) ||
                                                             a.ExportRights != b.ExportRights;
    const bool masks = !SameBytes(a.Masks, b.Masks);
    out.recorder = out.tables || zones || a.HDDs != b.HDDs || a.VideoFilesSize != b.VideoFilesSize ||
                   a.SoundDetect != b.SoundDetect || a.KeepDays != b.KeepDays || a.Reencode != b.Reencode;
    out.tables = out.tables || users;
    const std::pair<bool, const char*> settings[] = {
        {a.Ntsc != b.Ntsc, "standard wideo"},
        {zones, "strefy"},
        {masks, "maski prywatnosci"},
        {a.KeepDays != b.KeepDays, "czas przechowywania nagran"},
        {a.Scheduler != b.Scheduler, "harmonogram"},
        {a.HDDs != b.HDDs || a.VideoFilesSize != b.VideoFilesSize, "dyski"},
        {a.cDetection != b.cDetection || a.cRecording != b.cRecording || a.cCamName != b.cCamName ||
             a.cColor != b.cColor,
         "napisy na obrazie"},
        {a.CamMode1 != b.CamMode1 || a.CamMode4 != b.CamMode4 || a.CamMode9 != b.CamMode9 ||
             a.CamMode16 != b.CamMode16 || a.CamMode8 != b.CamMode8 || a.CamMode13 != b.CamMode13 ||
             a.Sequence != b.Sequence,
         "uklady kamer"},
        {a.sMapFile != b.sMapFile || !SameBytes(a.CamIcons, b.CamIcons), "plan"},
        {users, "uzytkownicy"},
        {a.AutoLogin != b.AutoLogin || a.sUser != b.sUser || a.sPass != b.sPass ||
             !SameBytes(a.sPassHash, b.sPassHash),
         "logowanie automatyczne"},
        {out.server || a.TCPServerName != b.TCPServerName, "serwer TCP"},
        {out.web, "serwer WWW"},
        {out.events, "zdarzenia MQTT"},
        {out.offsite, "kopie poza stacja"},
        {a.mSMTP != b.mSMTP || a.mUSER != b.mUSER || a.mPASS != b.mPASS || a.mTARGET != b.mTARGET ||
             a.bMessages != b.bMessages || a.MotionMail != b.MotionMail,
         "poczta"},
        {a.SoundInfo != b.SoundInfo || a.SoundDetect != b.SoundDetect, "dzwieki"},
        {a.PTZPorts != b.PTZPorts, "PTZ"},
        {a.Skin != b.Skin || a.Width != b.Width || a.Height != b.Height || a.AppMode != b.AppMode ||
             a.StartMode != b.StartMode,
         "wyglad"},
    };
    for (const auto& [changed, what] : settings)
        if (changed)
            parts.push_back(what);
    out.summary = Joined(parts);
    return out;
}

}  // namespace kel
