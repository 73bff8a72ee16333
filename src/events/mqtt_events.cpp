#include "events/mqtt_events.h"

#include <mosquitto.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/audit_trail.h"
#include "platform/json_text.h"
#include "web/jpeg_encoder.h"

namespace kel {

namespace {

constexpr int kKeepAlive = 30;  // seconds; the broker sends the last will after 1.5 of these
constexpr int kQos = 1;

// The station's name as a part of an identifier: letters, digits and '_' only.
std::string Identifier(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        out.push_back(std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_');
    return out.empty() ? "kel" : out;
}

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

}  // namespace

MqttEvents::MqttEvents(EventLinks links) : links_(std::move(links)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttEvents::~MqttEvents() {
    Stop();
}

void MqttEvents::SetDrive(char letter, int usedPercent, bool full) {
    const std::string json =
        std::string("{\"drive\":") + (letter ? JsonString(std::string(1, letter)) : "null") +
        ",\"used\":" + std::to_string(usedPercent) + ",\"full\":" + (full ? "true" : "false") + "}";
    MutexLock lock(drive_mutex_);
    drive_ = json;
}

void MqttEvents::SetAuditHead(const std::string& json) {
    MutexLock lock(drive_mutex_);
    audit_head_ = json;
}

void MqttEvents::Alert(const std::string& json) {
    MutexLock lock(drive_mutex_);
    if (alerts_.size() < 100)  // a broker away for long gets the latest ones
        alerts_.push_back(json);
}

void MqttEvents::SetPauses(std::chrono::milliseconds first, std::chrono::milliseconds longest) {
    firstPause_ = first;
    longestPause_ = longest;
}

bool MqttEvents::Start(MqttSettings settings) {
    Stop();
    settings_ = std::move(settings);
    return thread_.Start([this](std::stop_token stop) { Run(stop); },
                         [this](const std::string& what) { links_.Log("Blad zdarzen MQTT: " + what); });
}

void MqttEvents::Stop() {
    thread_.Stop();
}

void MqttEvents::Publish(const std::string& topic, const std::string& payload, bool retain) {
    if (mosq_)
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                          kQos, retain);
}

void MqttEvents::OnConnect(mosquitto*, void* self, int rc) {
    static_cast<MqttEvents*>(self)->connack_ = rc;
}

void MqttEvents::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* events = static_cast<MqttEvents*>(self);
    const std::string prefix = events->settings_.topic + "/camera/";
    const std::string topic = message->topic ? message->topic : "";
    const std::string suffix = "/snapshot/get";
    if (topic.rfind(prefix, 0) != 0 || topic.size() <= prefix.size() + suffix.size() ||
        topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) != 0)
        return;
    const std::string number = topic.substr(prefix.size(), topic.size() - prefix.size() - suffix.size());
    if (number.empty() || number.size() > 2 || !std::all_of(number.begin(), number.end(), ::isdigit))
        return;
    const int camera = std::stoi(number);
    if (camera >= 1 && camera <= kCameraCount && !events->settings_.names[camera].empty())
        events->Snapshot(camera);
}

// The camera's newest picture, asked for by someone the broker let publish the request.
void MqttEvents::Snapshot(int camera) {
    const FrameBank::PicturePtr picture = links_.Pictures.Newest(camera);
    JpegEncoder encoder;
    std::vector<uint8_t> jpeg;
    if (!picture || !encoder.EncodePicture(*picture, jpeg, 90))
        return;
    Publish(settings_.topic + "/camera/" + std::to_string(camera) + "/snapshot",
            std::string(jpeg.begin(), jpeg.end()), false);
    snapshots_.fetch_add(1);
    if (links_.Audit)
        links_.Audit("MQTT", AuditTrail::kSnapshot,
                     "MQTT " + settings_.host + " kamera " + std::to_string(camera));
}

bool MqttEvents::Connect(std::string& why) {
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    const std::string id = "kel-" + Identifier(settings_.station) + "-" + std::to_string(::getpid());
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (!mosq_) {
        why = "brak pamieci";
        return false;
    }
    mosquitto_connect_callback_set(mosq_, &MqttEvents::OnConnect);
    mosquitto_message_callback_set(mosq_, &MqttEvents::OnMessage);
    if (!settings_.user.empty())
        mosquitto_username_pw_set(mosq_, settings_.user.c_str(), settings_.password.c_str());
    if (settings_.tls &&
        mosquitto_tls_set(mosq_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        why = "nie mozna wlaczyc TLS";
        return false;
    }
    const std::string availability = settings_.topic + "/availability";
    mosquitto_will_set(mosq_, availability.c_str(), 7, "offline", kQos, true);
    connack_ = -1;
    int rc = mosquitto_connect(mosq_, settings_.host.c_str(), settings_.port, kKeepAlive);
    // The broker's answer comes as the loop reads it.
    for (int i = 0; rc == MOSQ_ERR_SUCCESS && connack_ < 0 && i < 50; ++i)
        rc = mosquitto_loop(mosq_, 100, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc);
        return false;
    }
    if (connack_ != 0) {
        why = connack_ < 0 ? "brak odpowiedzi" : mosquitto_connack_string(connack_);
        return false;
    }
    return true;
}

void MqttEvents::Discovery() {
    const std::string node = "kel_" + Identifier(settings_.station);
    const std::string device = "{\"identifiers\":[" + JsonString(node) +
                               "],\"name\":" + JsonString(settings_.station) + ",\"model\":\"KEL\"}";
    struct Kind {
        const char* what;
        const char* label;
        const char* deviceClass;
    };
    static constexpr Kind kKinds[] = {{"motion", "ruch", "motion"},
                                      {"signal", "sygnał", "connectivity"},
                                      {"recording", "nagrywanie", "running"}};
    for (int n = 1; n <= kCameraCount; ++n) {
        const std::string& name = settings_.names[n];
        for (const Kind& k : kKinds) {
            const std::string id = node + "_camera" + std::to_string(n) + "_" + k.what;
            const std::string topic = "homeassistant/binary_sensor/" + node + "/camera" + std::to_string(n) +
                                      "_" + k.what + "/config";
            if (name.empty()) {
                Publish(topic, "", true);  // a camera switched off leaves the list
                continue;
            }
            Publish(topic,
                    "{\"name\":" + JsonString(name + " " + k.label) + ",\"unique_id\":" + JsonString(id) +
                        ",\"state_topic\":" +
                        JsonString(settings_.topic + "/camera/" + std::to_string(n) + "/" + k.what) +
                        ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"device_class\":\"" + k.deviceClass +
                        "\",\"availability_topic\":" + JsonString(settings_.topic + "/availability") +
                        ",\"device\":" + device + "}",
                    true);
        }
        const std::string topic = "homeassistant/camera/" + node + "/camera" + std::to_string(n) + "/config";
        if (name.empty())
            Publish(topic, "", true);
        else
            Publish(topic,
                    "{\"name\":" + JsonString(name) +
                        ",\"unique_id\":" + JsonString(node + "_camera" + std::to_string(n)) + ",\"topic\":" +
                        JsonString(settings_.topic + "/camera/" + std::to_string(n) + "/snapshot") +
                        ",\"availability_topic\":" + JsonString(settings_.topic + "/availability") +
                        ",\"device\":" + device + "}",
                    true);
    }
}

// What changed since the last look, or everything (`all`) after a connect.
void MqttEvents::PublishChanges(bool all) {
    std::string drive, head;
    std::vector<std::string> alerts;
    {
        MutexLock lock(drive_mutex_);
        drive = drive_;
        head = audit_head_;
        alerts.swap(alerts_);
    }
    if (!drive.empty() && (all || drive != drive_sent_)) {
        Publish(settings_.topic + "/drive", drive, true);
        drive_sent_ = drive;
    }
    if (!head.empty() && (all || head != head_sent_)) {
        Publish(settings_.topic + "/audit/head", head, true);
        head_sent_ = head;
    }
    for (const std::string& alert : alerts)
        Publish(settings_.topic + "/alert", alert, false);
    for (int n = 1; n <= kCameraCount; ++n) {
        if (settings_.names[n].empty())
            continue;
        const std::string base = settings_.topic + "/camera/" + std::to_string(n) + "/";
        const int8_t signal = links_.Signal[n].load(std::memory_order_relaxed) ? 1 : 0;
        const int8_t recording = links_.Recording[n].load(std::memory_order_relaxed) ? 1 : 0;
        const int8_t motion = links_.Motion[n].load(std::memory_order_relaxed) ? 1 : 0;
        if (all || signal != signal_[n])
            Publish(base + "signal", OnOff(signal), true);
        if (all || recording != recording_[n])
            Publish(base + "recording", OnOff(recording), true);
        if (all || motion != motion_[n])
            Publish(base + "motion", OnOff(motion), true);
        if (!all && motion && motion_[n] == 0)
            Publish(base + "event",
                    "{\"event\":\"motion\",\"camera\":" + std::to_string(n) +
                        ",\"name\":" + JsonString(settings_.names[n]) +
                        ",\"time\":" + JsonString(links_.Now ? links_.Now() : "") + "}",
                    false);
        signal_[n] = signal;
        recording_[n] = recording;
        motion_[n] = motion;
    }
}

void MqttEvents::PublishAll() {
    Publish(settings_.topic + "/availability", "online", true);
    Discovery();
    PublishChanges(true);
    const std::string requests = settings_.topic + "/camera/+/snapshot/get";
    mosquitto_subscribe(mosq_, nullptr, requests.c_str(), kQos);
}

void MqttEvents::Run(std::stop_token stop) {
    const std::string where = settings_.host + ":" + std::to_string(settings_.port);
    std::chrono::milliseconds pause = firstPause_;
    bool everConnected = false, toldDown = false;
    while (!stop.stop_requested()) {
        std::string why;
        if (!Connect(why)) {
            if (!toldDown)
                links_.Log((everConnected ? "Utracono polaczenie z serwerem MQTT "
                                          : "Brak polaczenia z serwerem MQTT ") +
                           where + ": " + why);
            toldDown = true;
            thread_.Pause(stop, pause);
            pause = std::min(pause * 2, longestPause_);
            continue;
        }
        links_.Log((everConnected ? "Polaczono ponownie z serwerem MQTT " : "Polaczono z serwerem MQTT ") +
                   where);
        everConnected = true;
        toldDown = false;
        pause = firstPause_;
        connected_ = true;
        PublishAll();
        int rc = MOSQ_ERR_SUCCESS;
        while (!stop.stop_requested() && rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(mosq_, 100, 1);
            PublishChanges(false);
        }
        connected_ = false;
        if (stop.stop_requested()) {
            Publish(settings_.topic + "/availability", "offline", true);
            for (int i = 0; i < 10 && mosquitto_want_write(mosq_); ++i)
                mosquitto_loop(mosq_, 50, 1);
            mosquitto_disconnect(mosq_);
            mosquitto_loop(mosq_, 50, 1);
            break;
        }
        links_.Log("Utracono polaczenie z serwerem MQTT " + where + ": " + mosquitto_strerror(rc));
        toldDown = true;
        thread_.Pause(stop, pause);
    }
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
}

}  // namespace kel
