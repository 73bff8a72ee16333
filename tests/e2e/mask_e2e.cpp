// A network camera with a privacy mask, followed by every way one of its pictures leaves the real
// station: its recordings, the remote viewer's pictures, the web view's snapshot, live picture,
// playback and evidence download, the copies in the off-site store, the MQTT snapshot and the
// picture of the motion e-mail. The camera (a file played in a loop, recorded "as it sends" by
// default) has its left half masked: every one of them must be black there and show the scene on
// the right, and its recordings are H.264 at the camera's own size, compressed again.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include "recording/schedule.h"
#include "support/free_port.h"
#include "support/mosquitto_broker.h"
#include "support/station_runner.h"
#include "support/swift_store.h"

#include "config/passwords.h"

namespace kel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class MaskE2E : public StationRunner {
protected:
    // The file's pictures as ffmpeg decodes them (grey), checked half by half; what it found is
    // said as "<masked pixels seen> <bright pixels on the right> <pictures>".
    std::string Halves(const std::string& file) {
        Process probe("/usr/bin/ffprobe",
                      {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                       "csv=p=0", file},
                      {}, dir.File("probe.out"), dir.File("probe.err"));
        int width = 0, height = 0;
        if (probe.Wait(60s) != 0 || std::sscanf(probe.Out().c_str(), "%d,%d", &width, &height) != 2)
            return "unreadable " + probe.Err();
        const std::string raw = dir.File("pictures.gray");
        Process ffmpeg(
            "/usr/bin/ffmpeg",
            {"-v", "error", "-y", "-i", file, "-frames:v", "50", "-f", "rawvideo", "-pix_fmt", "gray", raw},
            {}, dir.File("ffmpeg.out"), dir.File("ffmpeg.err"));
        if (ffmpeg.Wait(60s) != 0)
            return "undecodable " + ffmpeg.Err();
        const std::string y = ReadFile(raw);
        const size_t frame = static_cast<size_t>(width) * height;
        if (y.empty() || y.size() % frame != 0)
            return "no pictures";
        // A few pixels either side of the border are left to the codecs' ringing.
        const int margin = std::max(8, width / 40);
        int seen = 0, bright = 0;
        for (size_t at = 0; at < y.size(); at += frame)
            for (int row = 0; row < height; ++row)
                for (int x = 0; x < width; ++x) {
                    const int v = static_cast<uint8_t>(y[at + row * width + x]);
                    if (x < width / 2 - margin)
                        seen += v > 24;  // black: 0 as grey, 16 where a JPEG kept video levels
                    else if (x > width / 2 + margin)
                        bright += v > 60;
                }
        return std::to_string(seen) + " " + std::to_string(bright > 0) + " " +
               std::to_string(y.size() / frame);
    }
    void ExpectMasked(const std::string& route, const std::string& file) {
        const std::string found = Halves(file);
        int seen = -1, bright = 0, pictures = 0;
        std::sscanf(found.c_str(), "%d %d %d", &seen, &bright, &pictures);
        EXPECT_EQ(seen, 0) << route << " (" << file << "): " << found << ": the masked half shows";
        EXPECT_EQ(bright, 1) << route << " (" << file << "): " << found << ": the rest shows the scene";
        EXPECT_GT(pictures, 0) << route;
    }
    // aiosmtpd printing what it receives.
    std::unique_ptr<Process> StartSmtp(int port) {
        auto smtp = std::make_unique<Process>(
            "/usr/bin/python3",
            std::vector<std::string>{"-m", "aiosmtpd", "-n", "-c", "smtp_sink.Sink", "-l",
                                     "127.0.0.1:" + std::to_string(port)},
            std::vector<std::string>{"PYTHONUNBUFFERED=1",
                                     "PYTHONPATH=" + std::string(KEL_SOURCE_DIR) + "/tests/net"},
            dir.File("smtp.out"), dir.File("smtp.err"));
        std::this_thread::sleep_for(1s);
        return smtp;
    }
};

TEST_F(MaskE2E, AMaskedNetworkCameraIsBlackBehindItsMaskOnEveryRoute) {
    const std::string camera = dir.File("camera.mp4");
    ASSERT_EQ(
        std::system(("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=640x360:rate=25 -t 60 -c:v libx264 "
                     "-g 25 -pix_fmt yuv420p -y '" +
                     camera + "'")
                        .c_str()),
        0);
    std::ofstream(dir.File("cameras.txt")) << "1 = " << camera << "\n";
    SwiftStore store(dir);
    ASSERT_TRUE(store.Start());
    ASSERT_TRUE(store.MakeBucket("kopie"));
    MosquittoBroker broker(dir);
    broker.Start();
    const int tcp = FreePort(), web = FreePort(), smtpPort = FreePort();
    auto smtp = StartSmtp(smtpPort);
    // Recorded on motion in the right half, where the test picture always moves; the left half
    // masked. No Reencode value: a network camera is recorded as it sends unless told.
    PrepareRecording(
        1, [](int) { return kOnMotion; },
        [&](TConfig& c) {
            for (int cell = 0; cell < kZoneCols * kZoneRows; ++cell) {
                const bool left = cell % kZoneCols < kZoneCols / 2;
                c.Masks[0].Cells[cell] = left;
                c.Zones[0].Mask[cell] = !left;
            }
            c.TCP = true;
            c.Port = tcp;
            // The TCP server and the web view refuse the administrator with the default password.
            SetPassword(c.Users[0], c.PassHashes[0], "qxv-mocne1");
            SetAutoPassword(c, "qxv-mocne1");
            c.Web = true;
            c.WebTls = false;
            c.WebPort = web;
            c.Mqtt = true;
            c.MqttHost = "127.0.0.1";
            c.MqttPort = broker.Port();
            c.MqttUser = "kel";
            c.MqttPassword = "kelpw";
            c.S3 = true;
            c.S3Endpoint = store.Endpoint();
            c.S3Bucket = "kopie";
            c.S3KeyId = SwiftStore::kKey;
            c.S3Secret = SwiftStore::kSecret;
            c.S3Prefix = "stacja";
            c.bMessages = true;
            c.MotionMail = 1;
            c.mSMTP = "127.0.0.1:" + std::to_string(smtpPort);
            c.mTARGET = "ochrona@example.org";
            c.mUSER = "-";
            c.mPASS = "-";
        });
    const std::vector<std::string> board{"--yes", "--board", "stream:" + dir.File("cameras.txt")};

    // A first run records; its segments are archived at its end.
    auto first = Start(board);
    ASSERT_TRUE(WaitForLog("Kamera 1: obraz z " + camera)) << LogText();
    std::this_thread::sleep_for(8s);
    first->Signal(SIGTERM);
    ASSERT_EQ(first->Wait(), 0) << first->Err();

    // The second serves every route, and copies the first's recordings off site.
    auto second = Start(board);
    ASSERT_TRUE(WaitForLog("Kamera 1: obraz z " + camera, 2)) << LogText();
    std::this_thread::sleep_for(3s);
    const std::string out = dir.File("routes");
    fs::create_directories(out);
    Process remote(KEL_REMOTE_BINARY,
                   {"--port", std::to_string(tcp), "--user", "kel", "--password", "qxv-mocne1", "--cameras",
                    "1", "--polls", "40", "--interval-ms", "50", "--out", out},
                   {}, dir.File("remote.out"), dir.File("remote.err"));
    ASSERT_EQ(remote.Wait(60s), 0) << remote.Err();
    Process mqtt("/usr/bin/mosquitto_sub",
                 {"-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-u", "ochrona", "-P", "ochronapw",
                  "-t", "kel/camera/1/snapshot", "-C", "1", "-N"},
                 {}, out + "/mqtt.jpg", dir.File("mqtt.err"));
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(broker.Publish("ochrona", "kel/camera/1/snapshot/get"), 0);
    EXPECT_EQ(mqtt.Wait(30s), 0) << mqtt.Err();
    const LocalTime today = SystemClock::Instance().Now();
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", today.year, today.month, today.day);
    Process browser("/usr/bin/python3",
                    {std::string(KEL_SOURCE_DIR) + "/tests/e2e/web_routes.py",
                     "http://127.0.0.1:" + std::to_string(web), "kel", "qxv-mocne1", "1", day, out},
                    {}, dir.File("web.out"), dir.File("web.err"));
    ASSERT_EQ(browser.Wait(120s), 0) << browser.Err() << LogText();
    ASSERT_TRUE(WaitForLog("Kopie poza stacja: wszystkie nagrania skopiowane", 1, 120s)) << LogText();
    second->Signal(SIGTERM);
    ASSERT_EQ(second->Wait(), 0) << second->Err();

    // The recordings, and what left the station.
    int recordings = 0, copies = 0;
    const std::string listing = store.List("kopie");
    std::string names;
    for (const auto& f : fs::directory_iterator(Work() + "/drives/c:/KEL2_Videos/Kamera1"))
        names += " " + f.path().filename().string();
    for (const auto& f : fs::directory_iterator(Work() + "/drives/c:/KEL2_Videos/Kamera1")) {
        ++recordings;
        ExpectMasked("recording", f.path().string());
        // Compressed again at the camera's own size, in the MP4 segments of a network camera.
        Process probe("/usr/bin/ffprobe",
                      {"-v", "error", "-select_streams", "v:0", "-show_entries",
                       "stream=codec_name,width,height", "-of", "csv=p=0", f.path().string()},
                      {}, dir.File("codec.out"), dir.File("codec.err"));
        ASSERT_EQ(probe.Wait(60s), 0) << probe.Err();
        EXPECT_EQ(probe.Out(), "h264,640,360\n") << f.path() << names;
        const std::string key = "stacja/Kamera1/" + f.path().filename().string();
        if (listing.find("<Key>" + key + "</Key>") == std::string::npos)
            continue;  // archived at the last stop, copied at the next start
        const std::string copy = out + "/offsite-" + f.path().filename().string();
        WriteFile(copy, store.Get("kopie", key));
        ++copies;
        ExpectMasked("off-site copy", copy);
    }
    EXPECT_GT(recordings, 0);
    EXPECT_GT(copies, 0);
    ExpectMasked("remote viewer", out + "/kamera1.avi");
    ExpectMasked("MQTT snapshot", out + "/mqtt.jpg");
    for (const char* route : {"snapshot.jpg", "live.jpg", "play.jpg"})
        ExpectMasked(std::string("web ") + route, out + "/" + route);
    Process unzip("/usr/bin/python3", {"-m", "zipfile", "-e", out + "/export.zip", out + "/export"}, {},
                  dir.File("unzip.out"), dir.File("unzip.err"));
    ASSERT_EQ(unzip.Wait(60s), 0) << unzip.Err();
    int exported = 0;
    for (const auto& f : fs::recursive_directory_iterator(out + "/export"))
        if (f.path().extension() == ".avi" || f.path().extension() == ".mp4") {
            ++exported;
            ExpectMasked("web export", f.path().string());
        }
    EXPECT_GT(exported, 0);
    // The motion e-mail's picture, taken out of the message as the sink printed it.
    Process attachment(
        "/usr/bin/python3",
        {"-c",
         "import email, sys\n"
         "for text in open(sys.argv[1], 'rb').read().split(b'END MESSAGE')[:-1]:\n"
         "    message = email.message_from_bytes(text[text.index(b'\\n', text.index(b'RCPT TO')) + 1:])\n"
         "    for part in message.walk():\n"
         "        if part.get_content_type() == 'image/jpeg':\n"
         "            open(sys.argv[2], 'wb').write(part.get_payload(decode=True)); sys.exit(0)\n"
         "sys.exit(1)\n",
         dir.File("smtp.out"), out + "/mail.jpg"},
        {}, dir.File("attachment.out"), dir.File("attachment.err"));
    ASSERT_EQ(attachment.Wait(30s), 0) << attachment.Err() << ReadFile(dir.File("smtp.out")).substr(0, 2000);
    ExpectMasked("motion e-mail", out + "/mail.jpg");
}

}  // namespace
}  // namespace kel
