#include "config/setting_limits.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace kel {

namespace {

constexpr NumberLimits kAnyInt32{INT32_MIN, INT32_MAX};
constexpr NumberLimits kFlag{0, 1};

struct DwordRule {
    const char* name;
    NumberLimits limits;
    const int64_t* oneOf = nullptr;  // when set: only these values (within the limits)
    size_t oneOfCount = 0;
};

constexpr int64_t kWidths[] = {1024, 1152, 1280};
constexpr int64_t kHeights[] = {768, 864, 1024};

constexpr DwordRule kDwords[] = {
    {"Ver", {0, 65535}},
    {"Width", {1024, 1280}, kWidths, 3},
    {"Height", {768, 1024}, kHeights, 3},
    {"Smart_X", {-32768, 32767}},
    {"Smart_Y", {-32768, 32767}},
    {"StartMode", {0, 5}},
    {"AppMode", {0, 3}},
    {"CamMode1", {1, 16}},
    {"Sequence", {0, 5}},
    {"Ntsc", kFlag},
    {"TCP", kFlag},
    {"Port", {1, 65535}},
    {"VideoFiles", {0, INT32_MAX}},
    {"VideoFilesSize", {0, 4}},
    {"UsedDisk", {0, 23}},
    {"cDetection", kFlag},
    {"cRecording", kFlag},
    {"cCamName", kFlag},
    {"cColor", {0, 0xFFFFFF}},
    {"SoundInfo", kFlag},
    {"SoundDetect", kFlag},
    {"bMessages", kFlag},
    {"AutoLogin", kFlag},
    {"b_CorrectClose", kFlag},
    {"Web", kFlag},
    {"WebPort", {1, 65535}},
    {"WebTls", kFlag},
    {"Mqtt", kFlag},
    {"MqttPort", {1, 65535}},
    {"MqttTls", kFlag},
    {"MotionMail", kFlag},
    {"S3", kFlag},
    {"S3Limit", {0, 1000000}},
};

enum class TextForm { Any, SkinName, MailServer, Topic, Endpoint, Bucket, KeyPrefix };

struct TextRule {
    const char* name;
    size_t maxChars;
    TextForm form = TextForm::Any;
};

// The short strings' widths where a record keeps the text (the automatic login is looked up among
// the users, whose logins hold 20 characters and passwords 15); generous bounds for the rest.
constexpr TextRule kTexts[] = {
    {"Version", 9},
    {"Skin", 64, TextForm::SkinName},
    {"TCPServerName", 128},
    {"mSMTP", 255, TextForm::MailServer},
    {"mUSER", 255},
    {"mPASS", 255},
    {"mTARGET", 1024},
    {"sUser", 20},
    {"sPass", 15},  // names match without case: also "sPASS"
    {"sMapFile", 4096},
    {"WebCert", 4096},
    {"WebKey", 4096},
    {"MqttHost", 255},
    {"MqttUser", 255},
    {"MqttPassword", 255},
    {"MqttTopic", 64, TextForm::Topic},
    {"S3Endpoint", 255, TextForm::Endpoint},
    {"S3Region", 64},
    {"S3Bucket", 63, TextForm::Bucket},
    {"S3KeyId", 128},
    {"S3Secret", 128},
    {"S3Prefix", 255, TextForm::KeyPrefix},
};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) ==
                      (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
           });
}

template <class Rule, size_t N>
const Rule* Find(const Rule (&rules)[N], std::string_view name) {
    for (const Rule& r : rules)
        if (SameName(r.name, name))
            return &r;
    return nullptr;
}

std::string Range(NumberLimits l) {
    return std::to_string(l.min) + ".." + std::to_string(l.max);
}

int32_t Int32At(std::span<const uint8_t> bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

// Why a number of a table is out of its range: "<what> must be <range> (is <v>)".
std::string OutOf(const std::string& what, NumberLimits l, int64_t v) {
    return what + " must be " + Range(l) + " (is " + std::to_string(v) + ")";
}

// Every whole int32 of the table within `limits`.
std::string Int32s(std::span<const uint8_t> bytes, NumberLimits limits, const char* item) {
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        if (!limits.Holds(Int32At(bytes, i)))
            return OutOf(std::string(item) + " " + std::to_string(i / 4 + 1), limits, Int32At(bytes, i));
    return {};
}

std::string Bytes(std::span<const uint8_t> bytes, uint8_t max, const char* item) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] > max)
            return OutOf(std::string(item) + " " + std::to_string(i), {0, max}, bytes[i]);
    return {};
}

// The whole records of a table of `Record`s that `bytes` holds, each judged by `check`.
template <class Record, class Check>
std::string Records(std::span<const uint8_t> bytes, const char* item, Check check) {
    for (size_t n = 0; (n + 1) * sizeof(Record) <= bytes.size(); ++n) {
        Record r;
        std::memcpy(&r, bytes.data() + n * sizeof(Record), sizeof r);
        const std::string why = check(r);
        if (!why.empty())
            return std::string(item) + " " + std::to_string(n + 1) + ": " + why;
    }
    return {};
}

std::string CameraProblem(const TCameraRecord& c) {
    namespace cl = camera_limits;
    if (c.Name.len > 30)
        return "the name is longer than 30 characters";
    if (c.Active > 1)
        return OutOf("Active", kFlag, c.Active);
    const NumberLimits fps = c.Active ? cl::kFps : NumberLimits{0, cl::kFps.max};
    const std::pair<const char*, std::pair<NumberLimits, int32_t>> fields[] = {
        {"Resolution", {cl::kResolution, c.Resolution}},
        {c.Active ? "FPS of an active camera" : "FPS", {fps, c.FPS}},
        {"Brightness", {cl::kBrightness, c.Brightness}},
        {"Contrast", {cl::kContrast, c.Contrast}},
        {"Sharpness", {cl::kSharpness, c.Sharpness}},
        {"SatU", {cl::kSaturation, c.SatU}},
        {"SatV", {cl::kSaturation, c.SatV}},
        {"Hue", {cl::kHue, c.Hue}},
    };
    for (const auto& [what, rule] : fields)
        if (!rule.first.Holds(rule.second))
            return OutOf(what, rule.first, rule.second);
    return {};
}

std::string UserProblem(const TUserRecord& u) {
    if (u.Login.len > 20)
        return "the login is longer than 20 characters";
    if (u.Password.len > 15)
        return "the password is longer than 15 characters";
    for (int n = 0; n < 16; ++n)
        if (u.CamRights[n] > 1)
            return OutOf("the right to camera " + std::to_string(n + 1), kFlag, u.CamRights[n]);
    if (u.ConfigRight > 1)
        return OutOf("the configuration right", kFlag, u.ConfigRight);
    return {};
}

std::string PasswordProblem(const TPasswordRecord& h) {
    if (h.Kind > 1)
        return OutOf("Kind", kFlag, h.Kind);
    if (h.Weak > 1)
        return OutOf("Weak", kFlag, h.Weak);
    if (h.Kind == 1 && !NumberLimits{1000, 10000000}.Holds(h.Iterations))
        return OutOf("Iterations", {1000, 10000000}, h.Iterations);
    return {};
}

std::string ZoneProblem(const TZoneRecord& z) {
    if (!camera_limits::kSensitivity.Holds(z.Sensitivity))
        return OutOf("Sensitivity", camera_limits::kSensitivity, z.Sensitivity);
    for (int cell = 0; cell < 176 * 144; ++cell)
        if (z.Mask[cell] > 1)
            return OutOf("cell " + std::to_string(cell), kFlag, z.Mask[cell]);
    return {};
}

std::string MaskProblem(const TMaskRecord& m) {
    for (int cell = 0; cell < 176 * 144; ++cell)
        if (m.Cells[cell] > 1)
            return OutOf("cell " + std::to_string(cell), kFlag, m.Cells[cell]);
    return {};
}

// Icons are placed by a click on the 598 x 472 plan, 25 pixels up and left of it.
std::string IconProblem(const TCamIconRecord& i) {
    if (i.Placed > 1)
        return OutOf("Placed", kFlag, i.Placed);
    if (!NumberLimits{-25, 572}.Holds(i.X))
        return OutOf("X", {-25, 572}, i.X);
    if (!NumberLimits{-25, 446}.Holds(i.Y))
        return OutOf("Y", {-25, 446}, i.Y);
    return {};
}

}  // namespace

NumberLimits DwordLimits(std::string_view name) {
    const DwordRule* r = Find(kDwords, name);
    return r ? r->limits : kAnyInt32;
}

size_t TextMaxChars(std::string_view name) {
    const TextRule* r = Find(kTexts, name);
    return r ? r->maxChars : 0;
}

bool ValidTopic(std::string_view text) {
    return !text.empty() && text.front() != '/' && text.back() != '/' &&
           text.find_first_of("+#") == std::string_view::npos && text.find('\0') == std::string_view::npos;
}

bool ValidEndpoint(std::string_view text) {
    if (text.empty())
        return true;
    const std::string_view host = text.starts_with("https://")  ? text.substr(8)
                                  : text.starts_with("http://") ? text.substr(7)
                                                                : std::string_view();
    return !host.empty() && host.front() != '/' && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '?' &&
               c != '#';
    });
}

// The store's rule for bucket names in addresses of either style.
bool ValidBucket(std::string_view text) {
    if (text.empty())
        return true;
    return text.size() >= 3 && std::isalnum(static_cast<unsigned char>(text.front())) &&
           std::isalnum(static_cast<unsigned char>(text.back())) &&
           text.find("..") == std::string_view::npos && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
           });
}

bool ValidKeyPrefix(std::string_view text) {
    return text.find("..") == std::string_view::npos && text.find('\\') == std::string_view::npos &&
           std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool ValidSkinName(std::string_view text) {
    return !text.empty() && text != "." && text != ".." && std::none_of(text.begin(), text.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
    });
}

bool SplitMailServer(std::string_view text, int defaultPort, std::string& host, int& port) {
    const size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
    const size_t colon = text.rfind(':');
    host = std::string(text.substr(0, colon));
    port = defaultPort;
    if (colon == std::string_view::npos)
        return !host.empty();
    const std::string_view digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    port = std::stoi(std::string(digits));
    return !host.empty() && port >= 1 && port <= 65535;
}

bool ValidMailServer(std::string_view text) {
    std::string host;
    int port = 0;
    if (text.empty() || text == "-")
        return true;
    return SplitMailServer(text, 25, host, port) && host.size() <= 253 && host.front() != '-' &&
           host.front() != '.' && std::all_of(host.begin(), host.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
           });
}

std::string DwordProblem(std::string_view name, uint32_t raw) {
    const DwordRule* r = Find(kDwords, name);
    if (!r)
        return {};
    const int64_t v = static_cast<int32_t>(raw);
    if (r->oneOf) {
        const std::span<const int64_t> allowed(r->oneOf, r->oneOfCount);
        if (std::find(allowed.begin(), allowed.end(), v) != allowed.end())
            return {};
        std::string list;
        for (int64_t a : allowed)
            list += (list.empty() ? "" : ", ") + std::to_string(a);
        return "must be one of " + list + " (is " + std::to_string(v) + ")";
    }
    return r->limits.Holds(v) ? std::string()
                              : "must be " + Range(r->limits) + " (is " + std::to_string(v) + ")";
}

std::string TextProblem(std::string_view name, std::string_view utf8) {
    const TextRule* r = Find(kTexts, name);
    if (!r)
        return {};
    const size_t chars = static_cast<size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    if (chars > r->maxChars)
        return "must be at most " + std::to_string(r->maxChars) + " characters (is " + std::to_string(chars) +
               ")";
    if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return c == '\r' || c == '\n'; }))
        return "must be one line";
    if (r->form == TextForm::SkinName && !ValidSkinName(utf8))
        return "must be the name of a folder of Skins/, without a path";
    if (r->form == TextForm::MailServer && !ValidMailServer(utf8))
        return "must be \"host\" or \"host:port\" (port 1..65535), or \"-\" for none";
    if (r->form == TextForm::Topic && !ValidTopic(utf8))
        return "must be a topic without wildcards (+, #), not starting or ending with /";
    if (r->form == TextForm::Endpoint && !ValidEndpoint(utf8))
        return "must be an address \"http://host[:port]\" or \"https://host[:port]\", or empty";
    if (r->form == TextForm::Bucket && !ValidBucket(utf8))
        return "must be 3..63 lower-case letters, digits, dots or hyphens, or empty";
    if (r->form == TextForm::KeyPrefix && !ValidKeyPrefix(utf8))
        return "must hold neither \"..\" nor \"\\\"";
    return {};
}

std::string TableProblem(std::string_view name, std::span<const uint8_t> bytes) {
    if (SameName(name, "CamMode4") || SameName(name, "CamMode9") || SameName(name, "CamMode16") ||
        SameName(name, "CamMode8") || SameName(name, "CamMode13"))
        return Int32s(bytes, {0, 16}, "position");
    if (SameName(name, "PTZPorts"))
        return Int32s(bytes, camera_limits::kPtzAddress, "camera");
    if (SameName(name, "HDDs"))
        return Bytes(bytes, 1, "drive");
    if (SameName(name, "Scheduler")) {
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] > 2)
                return "camera " + std::to_string(i / 168 + 1) + ", day " + std::to_string(i / 24 % 7 + 1) +
                       ", hour " + std::to_string(i % 24) + " must be 0, 1 or 2 (is " +
                       std::to_string(bytes[i]) + ")";
        return {};
    }
    if (SameName(name, "Cameras"))
        return Records<TCameraRecord>(bytes, "camera", CameraProblem);
    if (SameName(name, "Users"))
        return Records<TUserRecord>(bytes, "user", UserProblem);
    if (SameName(name, "Zones"))
        return Records<TZoneRecord>(bytes, "camera", ZoneProblem);
    if (SameName(name, "CamIcons"))
        return Records<TCamIconRecord>(bytes, "camera", IconProblem);
    if (SameName(name, "KeepDays"))
        return Int32s(bytes, camera_limits::kKeepDays, "camera");
    if (SameName(name, "Masks"))
        return Records<TMaskRecord>(bytes, "camera", MaskProblem);
    if (SameName(name, "PassHashes"))
        return Records<TPasswordRecord>(bytes, "user", PasswordProblem);
    if (SameName(name, "sPassHash"))
        return Records<TPasswordRecord>(bytes, "hash", PasswordProblem);
    if (SameName(name, "ExportRights"))
        return Bytes(bytes, 1, "user");
    if (SameName(name, "Reencode")) {
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] > 1)
                return OutOf("camera " + std::to_string(i + 1), {0, 1}, bytes[i]);
        return {};
    }
    return {};
}

}  // namespace kel
