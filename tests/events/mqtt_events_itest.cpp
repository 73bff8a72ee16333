// The station's events against a real broker: Debian's mosquitto on loopback with a password file
// and an access list, a subscriber of its own. Availability, discovery, the cameras' states and a
// motion event arrive; a snapshot comes for a user the broker lets ask and not for one it does
// not; a wrong password and a broker stopped and started again cost one log line each way.

#include "events/mqtt_events.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/resolution.h"
#include "support/mosquitto_broker.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class MqttEventsTest : public ::testing::Test {
protected:
    ~MqttEventsTest() override { events.Stop(); }
    bool Seen(const std::string& text, std::chrono::seconds limit = 10s) { return broker.Heard(text, limit); }
    bool Logged(const std::string& text, std::chrono::seconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (Count(text) > 0)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    int Count(const std::string& text) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(
            std::count_if(log_.begin(), log_.end(), [&](const std::string& l) { return l.find(text) == 0; }));
    }
    MqttSettings Settings(const std::string& password = "kelpw") {
        MqttSettings s;
        s.host = "127.0.0.1";
        s.port = broker.Port();
        s.user = "kel";
        s.password = password;
        s.station = "Stacja 1";
        s.names[1] = "Brama";
        s.names[2] = "Parking";
        return s;
    }

    TempDir dir;
    MosquittoBroker broker{dir};
    FrameBank bank;
    CameraFlags signal{}, recording{}, motion{};
    std::mutex mutex_;
    std::vector<std::string> log_, audit_;
    MqttEvents events{EventLinks{bank, signal, recording, motion,
                                 [this](const std::string& text) {
                                     std::lock_guard lock(mutex_);
                                     log_.push_back(text);
                                 },
                                 [this](const std::string& who, const char* what, const std::string& detail) {
                                     std::lock_guard lock(mutex_);
                                     audit_.push_back(who + "|" + what + "|" + detail);
                                 },
                                 [] { return std::string("2026-12-09 10:00:00"); }}};
};

TEST_F(MqttEventsTest, StatesEventsDiscoveryAndSnapshotsReachTheBrokerAndOutliveItsRestart) {
    broker.Start();
    broker.Subscribe();
    signal[1] = 1;
    events.SetPauses(200ms, 1000ms);
    ASSERT_TRUE(events.Start(Settings()));
    EXPECT_TRUE(Seen("kel/availability online"));
    EXPECT_TRUE(Seen("kel/camera/1/signal ON"));
    EXPECT_TRUE(Seen("kel/camera/2/signal OFF"));
    EXPECT_TRUE(Seen("kel/camera/1/recording OFF"));
    EXPECT_TRUE(
        Seen("homeassistant/binary_sensor/kel_stacja_1/camera1_motion/config {\"name\":\"Brama ruch\","
             "\"unique_id\":\"kel_stacja_1_camera1_motion\",\"state_topic\":\"kel/camera/1/motion\""));
    EXPECT_TRUE(Seen("homeassistant/camera/kel_stacja_1/camera2/config {\"name\":\"Parking\""));
    EXPECT_EQ(broker.HeardText().find("camera3_motion/config {"), std::string::npos)
        << "a camera switched off is taken off the list, not described";

    // The audit trail's head, kept by the broker; an alert once.
    events.SetAuditHead("{\"id\":7}");
    events.Alert("{\"alert\":\"audit\"}");
    EXPECT_TRUE(Seen("kel/audit/head {\"id\":7}"));
    EXPECT_TRUE(Seen("kel/alert {\"alert\":\"audit\"}"));

    motion[1] = 1;
    EXPECT_TRUE(Seen("kel/camera/1/motion ON"));
    EXPECT_TRUE(Seen("kel/camera/1/event {\"event\":\"motion\",\"camera\":1,\"name\":\"Brama\","
                     "\"time\":\"2026-12-09 10:00:00\"}"));

    std::vector<uint8_t> picture(ResolutionBytes(2), 0x80);
    bank.Write(1, picture.data(), picture.size(), 2);
    EXPECT_EQ(broker.Publish("gosc", "kel/camera/1/snapshot/get"), 0);  // the access list drops it
    EXPECT_EQ(broker.Publish("ochrona", "kel/camera/1/snapshot/get"), 0);
    EXPECT_TRUE(Seen("kel/camera/1/snapshot \xFF\xD8"));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(events.Snapshots(), 1u) << "only the request the broker let through";
    {
        std::lock_guard lock(mutex_);
        EXPECT_EQ(audit_, (std::vector<std::string>{"MQTT|zdjecie|MQTT 127.0.0.1 kamera 1"}));
    }

    // The broker goes away and comes back: one line each way, and everything published again.
    broker.Stop();
    EXPECT_TRUE(Logged("Utracono polaczenie z serwerem MQTT 127.0.0.1:"));
    std::this_thread::sleep_for(2s);
    broker.Start();
    broker.Subscribe();
    EXPECT_TRUE(Logged("Polaczono ponownie z serwerem MQTT 127.0.0.1:", 15s));
    EXPECT_TRUE(Seen("kel/availability online"));
    EXPECT_TRUE(Seen("kel/camera/1/motion ON"));
    EXPECT_TRUE(Seen("kel/audit/head {\"id\":7}")) << "the head is kept across the broker's restart";
    EXPECT_EQ(Count("Utracono polaczenie"), 1);
    EXPECT_EQ(Count("Polaczono ponownie"), 1);

    // A station that stops says so, and the retained word stays for later subscribers.
    events.Stop();
    broker.Subscribe();
    EXPECT_TRUE(Seen("kel/availability offline"));
}

TEST_F(MqttEventsTest, ARefusingOrMissingBrokerIsToldOnceAndTriedAgain) {
    events.SetPauses(100ms, 400ms);
    ASSERT_TRUE(events.Start(Settings()));  // nobody listens yet
    EXPECT_TRUE(Logged("Brak polaczenia z serwerem MQTT 127.0.0.1:"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(Count("Brak polaczenia"), 1);
    broker.Start();
    EXPECT_TRUE(Logged("Polaczono ponownie z serwerem MQTT", 10s) || Logged("Polaczono z serwerem MQTT", 1s));
    events.Stop();

    ASSERT_TRUE(events.Start(Settings("zle")));
    EXPECT_TRUE(Logged("Brak polaczenia z serwerem MQTT 127.0.0.1:"));
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(events.Connected());
    std::lock_guard lock(mutex_);
    for (const std::string& line : log_)
        EXPECT_EQ(line.find("zle"), std::string::npos) << "no password in the log: " << line;
}

}  // namespace
}  // namespace kel
