// The real kel binary serving remote viewers: pictures fetched with the command-line client and
// decoded by ffmpeg, and a station whose port is taken running on without its server.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "config/config.h"
#include "config/user_table.h"
#include "net/test_client.h"
#include "recording/schedule.h"
#include "support/station_runner.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

// A socket bound to a free loopback port; the port stays taken while the holder lives.
class PortHolder {
public:
    PortHolder() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~PortHolder() { Release(); }
    void Release() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class NetE2E : public StationRunner {
protected:
    // Cameras `active` recorded continuously to drive C:, the server on `port`, a remote user of
    // cameras 1 and 2, one of cameras 1 to 4 and one of every camera.
    void Prepare(int port, std::vector<int> active = {1, 2}) {
        ASSERT_EQ(RunStore({"reg", "defaults"}), 0);
        auto c = std::make_unique<TConfig>(Registry());
        ASSERT_TRUE(c->Load()) << c->ErrorText;
        for (int n : active) {
            c->Cameras[n - 1].Active = 1;
            for (int d = 1; d <= 7; ++d)
                for (int h = 0; h < 24; ++h)
                    c->Scheduler[ScheduleIndex(n, d, h)] = kContinuous;
        }
        c->HDDs[0] = 1;
        c->TCP = true;
        c->Port = port;
        int free = FirstFreeUser(c->Users);
        ASSERT_GE(free, 0);
        UserFields f;
        f.Login = "zdalny-Łódź";  // a Polish login goes over the wire in code page 1250
        f.Password = "hasło";
        f.Cam[0] = f.Cam[1] = true;
        f.StoreInto(c->Users[free]);
        UserFields four;
        four.Login = "cztery";
        four.Password = "kamery";
        for (int n = 0; n < 4; ++n)
            four.Cam[n] = true;
        four.StoreInto(c->Users[FirstFreeUser(c->Users)]);
        UserFields all;
        all.Login = "wszystkie";
        all.Password = "kamery";
        for (bool& right : all.Cam)
            right = true;
        all.StoreInto(c->Users[FirstFreeUser(c->Users)]);
        ASSERT_TRUE(c->SaveAll() && c->SaveCameras()) << c->Store().ErrorText();
    }
};

TEST_F(NetE2E, TheClientFetchesLivePicturesThatFfmpegDecodes) {
    PortHolder holder;
    const int port = holder.Port();
    holder.Release();
    Prepare(port);
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_EQ(CountInLog("] Uruchomiono serwer TCP na porcie " + std::to_string(port) + "\r\n"), 1);

    const std::string out = dir.File("pictures");
    Process client(KEL_REMOTE_BINARY,
                   {"--port", std::to_string(port), "--user", "zdalny-Łódź", "--password", "hasło",
                    "--cameras", "1,2", "--polls", "60", "--interval-ms", "50", "--out", out},
                   {}, dir.File("client.out"), dir.File("client.err"));
    ASSERT_EQ(client.Wait(std::chrono::seconds(60)), 0) << client.Err() << kel->Err();
    EXPECT_NE(client.Out().find("camera 1: "), std::string::npos) << client.Out();
    EXPECT_NE(client.Out().find("camera 2: "), std::string::npos) << client.Out();
    EXPECT_TRUE(WaitForLog("Podlaczono Klienta Sieciowego z adresu : 127.0.0.1"));
    EXPECT_TRUE(WaitForLog("Zakonczono polaczenie z adresem : 127.0.0.1"));

    for (int n : {1, 2}) {
        std::string file = out + "/kamera" + std::to_string(n) + ".avi";
        ASSERT_TRUE(fs::exists(file));
        Process ffmpeg("/usr/bin/ffmpeg", {"-v", "error", "-i", file, "-f", "null", "-"}, {},
                       dir.File("ffmpeg.out"), dir.File("ffmpeg.err"));
        EXPECT_EQ(ffmpeg.Wait(std::chrono::seconds(60)), 0) << ffmpeg.Err();
        EXPECT_EQ(ffmpeg.Err(), "") << "every picture decodes";
    }

    // A client that is still connected is let go at the end.
    TestClient lingering(port);
    EXPECT_EQ(lingering.Line(), "KEL2.0\r\n");
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
    EXPECT_TRUE(lingering.ClosedByServer());
}

// A network camera recorded as it sends decodes nothing while nobody looks (a headless station);
// a remote viewer that asks for it gets live pictures all the same, compressed for it.
TEST_F(NetE2E, ANetworkCameraRecordedAsItSendsStillServesLivePicturesToARemoteViewer) {
    PortHolder holder;
    const int port = holder.Port();
    holder.Release();
    Prepare(port, {1});
    const std::string camera = dir.File("camera.mp4");
    ASSERT_EQ(
        std::system(("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=640x360:rate=25 -t 30 -c:v libx264 "
                     "-g 25 -pix_fmt yuv420p -y '" +
                     camera + "'")
                        .c_str()),
        0);
    std::ofstream(dir.File("cameras.txt")) << "1 = " << camera << "\n";
    auto kel = Start({"--yes", "--board", "stream:" + dir.File("cameras.txt")});
    ASSERT_TRUE(WaitForLog("Kamera 1: obraz z " + camera)) << LogText() << kel->Err();
    std::this_thread::sleep_for(std::chrono::seconds(3));

    const std::string out = dir.File("pictures");
    Process client(KEL_REMOTE_BINARY,
                   {"--port", std::to_string(port), "--user", "wszystkie", "--password", "kamery",
                    "--cameras", "1", "--polls", "100", "--interval-ms", "50", "--out", out},
                   {}, dir.File("client.out"), dir.File("client.err"));
    ASSERT_EQ(client.Wait(std::chrono::seconds(60)), 0) << client.Err() << kel->Err();
    const std::string file = out + "/kamera1.avi";
    ASSERT_TRUE(fs::exists(file)) << client.Out();
    Process hashes("/usr/bin/ffmpeg", {"-v", "error", "-i", file, "-f", "framemd5", "-"}, {},
                   dir.File("md5.out"), dir.File("md5.err"));
    ASSERT_EQ(hashes.Wait(std::chrono::seconds(60)), 0) << hashes.Err();
    std::set<std::string> distinct;
    std::istringstream lines(hashes.Out());
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#')
            distinct.insert(line.substr(line.rfind(',') + 1));
    EXPECT_GE(distinct.size(), 10u) << "live pictures, not the one decoded at the start";
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
}

// A camera's privacy mask is black in what it records and what it serves, and motion behind a
// mask starts no recording: camera 1, recorded continuously, has its left half masked; camera 2,
// recorded on motion with its whole scene moving, is masked whole.
TEST_F(NetE2E, AMaskedHalfIsBlackWhereverItGoesAndMotionBehindAMaskRecordsNothing) {
    PortHolder holder;
    const int port = holder.Port();
    holder.Release();
    Prepare(port, {1});
    {
        auto c = std::make_unique<TConfig>(Registry());
        ASSERT_TRUE(c->Load()) << c->ErrorText;
        c->Cameras[1].Active = 1;
        for (int d = 1; d <= 7; ++d)
            for (int h = 0; h < 24; ++h)
                c->Scheduler[ScheduleIndex(2, d, h)] = kOnMotion;
        for (int cell = 0; cell < kZoneCols * kZoneRows; ++cell) {
            c->Masks[0].Cells[cell] = cell % kZoneCols < kZoneCols / 2;
            c->Masks[1].Cells[cell] = 1;
        }
        ASSERT_TRUE(c->SaveAll() && c->SaveCameras()) << c->Store().ErrorText();
    }
    auto kel = Start({"--yes", "--board", "sim:motion=1,2"});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    const std::string out = dir.File("pictures");
    Process client(KEL_REMOTE_BINARY,
                   {"--port", std::to_string(port), "--user", "wszystkie", "--password", "kamery",
                    "--cameras", "1", "--polls", "40", "--interval-ms", "50", "--out", out},
                   {}, dir.File("client.out"), dir.File("client.err"));
    ASSERT_EQ(client.Wait(std::chrono::seconds(60)), 0) << client.Err() << kel->Err();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();

    auto checkHalves = [&](const std::string& file) {
        SCOPED_TRACE(file);
        Process probe("/usr/bin/ffprobe",
                      {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                       "csv=p=0", file},
                      {}, dir.File("probe.out"), dir.File("probe.err"));
        ASSERT_EQ(probe.Wait(std::chrono::seconds(60)), 0) << probe.Err();
        int width = 0, height = 0;
        ASSERT_EQ(std::sscanf(probe.Out().c_str(), "%d,%d", &width, &height), 2) << probe.Out();
        // The pictures as the codec gives them, 4:2:0; the luma planes are compared as they are.
        const std::string raw = dir.File("pictures.yuv");
        Process ffmpeg("/usr/bin/ffmpeg",
                       {"-v", "error", "-y", "-i", file, "-f", "rawvideo", "-pix_fmt", "yuv420p", raw}, {},
                       dir.File("ffmpeg.out"), dir.File("ffmpeg.err"));
        ASSERT_EQ(ffmpeg.Wait(std::chrono::seconds(60)), 0) << ffmpeg.Err();
        const std::string y = ReadFile(raw);
        const size_t frame = static_cast<size_t>(width) * height * 3 / 2;
        ASSERT_GT(y.size(), 0u);
        ASSERT_EQ(y.size() % frame, 0u);
        int maskedOff = 0, brightRight = 0;
        for (size_t at = 0; at < y.size(); at += frame)
            for (int row = 0; row < height; ++row)
                for (int x = 0; x < width; ++x) {
                    const int v = static_cast<uint8_t>(y[at + row * width + x]);
                    if (x < width / 2)
                        maskedOff += std::abs(v - 16) > 3;
                    else
                        brightRight += v > 60;
                }
        EXPECT_EQ(maskedOff, 0) << "the masked half is black in every picture";
        EXPECT_GT(brightRight, 0) << "the other half shows the scene";
    };
    int segments = 0;
    for (const auto& f : fs::directory_iterator(Work() + "/drives/c:/KEL2_Videos/Kamera1"))
        if (f.path().extension() == ".avi") {
            ++segments;
            checkHalves(f.path().string());
        }
    EXPECT_GT(segments, 0);
    checkHalves(out + "/kamera1.avi");
    EXPECT_FALSE(fs::exists(Work() + "/drives/c:/KEL2_Videos/Kamera2")) << "camera 2 never saw motion";
    EXPECT_FALSE(fs::exists(Work() + "/Temp/Kamera2"));
}

// The server applies the user's camera rights whatever the client selects: cameras 2, 5 and 6 asked
// for, a user of cameras 1 to 4 gets 2 only and is told 5 and 6 are refused; a user of every
// camera gets all three.
TEST_F(NetE2E, ACameraWithoutTheRightIsNeverSent) {
    PortHolder holder;
    const int port = holder.Port();
    holder.Release();
    Prepare(port, {2, 5, 6});
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    const struct {
        const char* user;
        std::vector<int> sent, refused;
    } cases[] = {{"cztery", {2}, {5, 6}}, {"wszystkie", {2, 5, 6}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        const std::string out = dir.File(std::string("pictures-") + c.user);
        Process client(KEL_REMOTE_BINARY,
                       {"--port", std::to_string(port), "--user", c.user, "--password", "kamery", "--cameras",
                        "2,5,6", "--polls", "60", "--interval-ms", "50", "--out", out},
                       {}, dir.File("client.out"), dir.File("client.err"));
        ASSERT_EQ(client.Wait(std::chrono::seconds(60)), 0) << client.Err() << kel->Err();
        for (int n : {2, 5, 6}) {
            const bool sent = std::count(c.sent.begin(), c.sent.end(), n) > 0;
            const bool refused = std::count(c.refused.begin(), c.refused.end(), n) > 0;
            const std::string camera = "camera " + std::to_string(n) + ": ";
            EXPECT_EQ(client.Out().find(camera + "refused (no right to view it)") != std::string::npos,
                      refused)
                << client.Out();
            EXPECT_EQ(fs::exists(out + "/kamera" + std::to_string(n) + ".avi"), sent) << client.Out();
        }
    }
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
}

TEST_F(NetE2E, AStationWhosePortIsTakenRunsOnWithoutItsServer) {
    PortHolder holder;
    Prepare(holder.Port());
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_EQ(CountInLog("[ERR][SYS]"),
              CountInLog("COM-port") + CountInLog("Nie mozna uruchomic serwera TCP"));
    EXPECT_EQ(CountInLog("Nie mozna uruchomic serwera TCP na porcie " + std::to_string(holder.Port()) +
                         ": bind: Address already in use"),
              1)
        << LogText();
    EXPECT_EQ(CountInLog("Uruchomiono serwer TCP"), 0);
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
}

}  // namespace
}  // namespace kel
