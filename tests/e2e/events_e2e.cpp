// The real station on a real broker: Debian's mosquitto with an access list. The station says it
// is online, describes its cameras for home automation and publishes their states; killed with
// SIGKILL it is reported offline by the broker (its last will); started again it is online.

#include <csignal>

#include "support/mosquitto_broker.h"
#include "support/station_runner.h"

namespace kel {
namespace {

class EventsE2E : public StationRunner {};

TEST_F(EventsE2E, AStationOnTheBrokerIsSeenOnlineWithItsCamerasAndOfflineWhenItDies) {
    MosquittoBroker broker(dir);
    broker.Start();
    broker.Subscribe();
    PrepareRecording(2, nullptr, [&](TConfig& c) {
        c.Mqtt = true;
        c.MqttHost = "127.0.0.1";
        c.MqttPort = broker.Port();
        c.MqttUser = "kel";
        c.MqttPassword = "kelpw";
        c.TCPServerName = "Magazyn";
        c.Cameras[1].Name.Set("Rampa");
    });
    auto station = Start();
    ASSERT_TRUE(WaitForLog("Polaczono z serwerem MQTT 127.0.0.1:" + std::to_string(broker.Port())))
        << LogText();
    EXPECT_TRUE(broker.Heard("kel/availability online"));
    EXPECT_TRUE(broker.Heard("kel/camera/1/recording ON")) << broker.HeardText();
    EXPECT_TRUE(broker.Heard("kel/camera/2/signal ON"));
    EXPECT_TRUE(broker.Heard("kel/drive {\"drive\":\"C\",\"used\":")) << broker.HeardText();
    EXPECT_TRUE(
        broker.Heard("homeassistant/binary_sensor/kel_magazyn/camera2_recording/config {\"name\":\"Rampa "
                     "nagrywanie\""));
    EXPECT_EQ(LogText().find("kelpw"), std::string::npos) << "no password in the log";

    station->Signal(SIGKILL);
    station->Wait(std::chrono::seconds(10));
    EXPECT_TRUE(broker.Heard("kel/availability offline", std::chrono::seconds(60))) << "the last will";

    auto again = Start();
    ASSERT_TRUE(WaitForLog("Polaczono z serwerem MQTT", 2)) << LogText();
    broker.Subscribe();
    EXPECT_TRUE(broker.Heard("kel/availability online"));
    again->Signal(SIGTERM);
    EXPECT_EQ(again->Wait(std::chrono::seconds(60)), 0);
    broker.Subscribe();
    EXPECT_TRUE(broker.Heard("kel/availability offline")) << "an orderly end says so too";
}

}  // namespace
}  // namespace kel
