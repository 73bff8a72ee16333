#pragma once
// The station's events on an MQTT broker (libmosquitto), for the bus a building already runs:
//   <topic>/availability                 "online" / "offline" (retained; "offline" is also the
//                                         last will, so a station that dies is seen offline)
//   <topic>/camera/<n>/motion|signal|recording   "ON" / "OFF" (retained), as they change
//   <topic>/camera/<n>/event             {"event":"motion","camera":n,"name":…,"time":…} at
//                                         every start of motion
//   <topic>/camera/<n>/snapshot          the camera's picture as JPEG, for every message on
//                                         <topic>/camera/<n>/snapshot/get (the broker's access
//                                         list says who may ask; each request is audited)
//   <topic>/drive                        {"drive":"C","used":37,"full":false} (retained), as it
//                                         changes: the drive recorded to, its use in percent
//                                         (-1 unknown) and whether recording waits for room
//   <topic>/audit/head                   {"station":…,"id":n,"hash":…,"at":…} (retained): the audit
//                                         trail's last record, kept off the station
//   <topic>/alert                        {"alert":…,"text":…,"time":…}: what needs someone now
//                                         (a broken audit trail, an account under guessing)
//   homeassistant/…/config               discovery, so the cameras appear there unconfigured
// One thread of its own connects, publishes and reconnects. A broker that is down or refuses us
// costs the station nothing: it records on, tries again after a pause that doubles up to a
// minute, and logs once that it lost the broker and once that it has it again.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/frame_bank.h"
#include "config/records.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

struct mosquitto;
struct mosquitto_message;

namespace kel {

struct MqttSettings {
    std::string host;
    int port = 1883;
    std::string user, password;  // empty user: none
    bool tls = false;
    std::string topic = "kel";
    std::string station;                              // the device's name in the discovery messages
    std::array<std::string, kCameraCount + 1> names;  // the active cameras' names; empty: inactive
};

struct EventLinks {
    const FrameBank& Pictures;
    const CameraFlags& Signal;
    const CameraFlags& Recording;
    const CameraFlags& Motion;
    std::function<void(const std::string&)> Log;  // any thread: an event log line
    std::function<void(const std::string& who, const char* what, const std::string& detail)> Audit;
    std::function<std::string()> Now;  // "YYYY-MM-DD HH:MM:SS", local time
};

class MqttEvents {
public:
    static constexpr std::chrono::seconds kFirstPause{1};
    static constexpr std::chrono::seconds kLongestPause{60};

    explicit MqttEvents(EventLinks links);
    ~MqttEvents();
    MqttEvents(const MqttEvents&) = delete;
    MqttEvents& operator=(const MqttEvents&) = delete;

    // The thread started on `settings` (connecting in the background). False when no thread.
    bool Start(MqttSettings settings);
    // "offline" published when connected, the connection closed, the thread joined.
    void Stop();
    bool Connected() const { return connected_.load(); }
    // Any thread: the drive recorded to (0: none), its use in percent (-1: unknown) and whether
    // the drives are full.
    void SetDrive(char letter, int usedPercent, bool full);
    // Any thread: the audit trail's head to keep (retained), and an alert to send once.
    void SetAuditHead(const std::string& json);
    void Alert(const std::string& json);
    // Snapshots sent on request so far.
    uint64_t Snapshots() const { return snapshots_.load(); }
    // For tests: the pauses between attempts to connect.
    void SetPauses(std::chrono::milliseconds first, std::chrono::milliseconds longest);

private:
    void Run(std::stop_token stop);
    bool Connect(std::string& why);
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    void PublishAll();
    void PublishChanges(bool all);
    void Discovery();
    void Snapshot(int camera);
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    const EventLinks links_;
    MqttSettings settings_;  // the thread's own while it runs
    mosquitto* mosq_ = nullptr;
    int connack_ = -1;  // the broker's answer to the last connect; -1 none yet
    std::array<int8_t, kCameraCount + 1> signal_{}, recording_{}, motion_{};
    Mutex drive_mutex_;
    std::string drive_ KEL_GUARDED_BY(drive_mutex_);       // the JSON to publish
    std::string audit_head_ KEL_GUARDED_BY(drive_mutex_);  // the same
    std::vector<std::string> alerts_ KEL_GUARDED_BY(drive_mutex_);
    std::string drive_sent_, head_sent_;  // the thread's: the last published
    std::chrono::milliseconds firstPause_ = kFirstPause, longestPause_ = kLongestPause;
    std::atomic<bool> connected_{false};
    std::atomic<uint64_t> snapshots_{0};
    WorkerThread thread_;
};

}  // namespace kel
