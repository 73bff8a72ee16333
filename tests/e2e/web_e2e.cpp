// The web view of a real station in a real browser: Debian's chromium, driven through its
// WebDriver, logs in over HTTPS with the certificate the station made for itself, sees four live
// tiles change, is refused a camera without the right, opens one camera and downloads its
// snapshot, fits a phone and logs out; the audit trail holds the login, the viewing and the
// snapshot, plays back what the station recorded before and downloads it as evidence that the
// viewer's check accepts.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/sha256.h"
#include "support/free_port.h"
#include "support/process.h"
#include "support/station_runner.h"

namespace kel {
namespace {

class WebE2E : public StationRunner {};

TEST_F(WebE2E, AGuardWatchesHisCamerasLiveInABrowserAndIsRefusedTheOthers) {
    const int port = FreePort();
    PrepareRecording(6, nullptr, [port](TConfig& c) {
        c.Web = true;
        c.WebPort = port;
        c.Users[1].Login.Set("ochrona");
        c.Users[1].Password.Set("tajne");
        for (int k = 0; k < 16; ++k)
            c.Users[1].CamRights[k] = k < 4 ? 1 : 0;
        c.Users[1].ConfigRight = 0;
        c.ExportRights[1] = 1;  // downloads evidence below: a right of its own
        c.Cameras[1].Name.Set("Brama wjazdowa");
        c.TCPServerName = "Stacja Brama";
    });
    // A first run leaves recordings to play back.
    auto recording = Start();
    ASSERT_TRUE(WaitForLog("Uruchomiono serwer WWW")) << LogText();
    std::this_thread::sleep_for(std::chrono::seconds(6));
    recording->Signal(SIGTERM);
    ASSERT_EQ(recording->Wait(std::chrono::seconds(60)), 0);

    auto station = Start();
    ASSERT_TRUE(WaitForLog("Uruchomiono serwer WWW na porcie " + std::to_string(port) + " (HTTPS)"))
        << LogText();
    EXPECT_TRUE(std::filesystem::exists(Work() + "/web-cert.pem"));
    // Keys, certificates, the store and the audit trail are their owner's alone.
    for (const std::string& owners :
         {Work() + "/web-key.pem", Work() + "/web-cert.pem", Work() + "/station-sign-key.pem", Registry(),
          dir.File("audit.sqlite"), dir.File("audit.key")})
        EXPECT_EQ(std::filesystem::status(owners).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << owners;

    const char* seconds = std::getenv("KEL_WEB_LATENCY_SECONDS");
    // KEL_WEB_SHOTS keeps the screenshots (docs/ holds them); KEL_WEB_LATENCY_SECONDS measures longer.
    const char* keep = std::getenv("KEL_WEB_SHOTS");
    const std::string shots = keep ? keep : dir.File("shots"), downloads = dir.File("downloads");
    std::filesystem::create_directories(downloads);
    Process browser("/usr/bin/python3",
                    {std::string(KEL_SOURCE_DIR) + "/tests/e2e/web_browser.py",
                     "https://127.0.0.1:" + std::to_string(port), "ochrona", "tajne", "5", shots, downloads,
                     seconds ? seconds : "5"},
                    {"HOME=" + dir.Path()}, dir.File("browser.out"), dir.File("browser.err"));
    ASSERT_EQ(browser.Wait(std::chrono::seconds(240)), 0) << browser.Err();
    const std::string seen = browser.Out();
    std::cout << "browser: " << seen << std::endl;
    auto has = [&](const std::string& text) { return seen.find(text) != std::string::npos; };
    EXPECT_FALSE(has("\"error\"")) << seen;
    EXPECT_TRUE(has("\"wrong_password\": \"B\\u0142\\u0119dny u\\u017cytkownik lub has\\u0142o\"")) << seen;
    EXPECT_TRUE(has("\"tiles\": [1, 2, 3, 4]")) << seen;
    EXPECT_TRUE(has("\"tiles_changing\": [1, 2, 3, 4]")) << seen;
    EXPECT_TRUE(has("\"2: Brama wjazdowa\"")) << seen;
    EXPECT_TRUE(has("\"refused_text\": \"Brak uprawnie\\u0144 do kamery 5.\"")) << seen;
    EXPECT_TRUE(has("\"refused_snapshot\": 403")) << seen;
    EXPECT_TRUE(has("\"single\": \"1: Kamera 1\"")) << seen;
    EXPECT_TRUE(has("\"phone_columns\": 1")) << seen;
    EXPECT_TRUE(has("\"played_in_stretch\": true")) << seen;
    EXPECT_TRUE(has("\"after_logout\": 401")) << seen;
    EXPECT_TRUE(has("\"console_errors\": []")) << seen;
    // The station's key, as its log names it, shown in the page's footer and signing the evidence.
    const std::string log = LogText(), keyLine = "Klucz podpisu stacji: ";
    const size_t at = log.find(keyLine);
    ASSERT_NE(at, std::string::npos) << log;
    const std::string fingerprint = log.substr(at + keyLine.size(), 79);
    EXPECT_TRUE(has("\"key_footer\": \"Klucz podpisu stacji: " + fingerprint + "\"")) << seen;
    // The evidence downloaded: unpacked, it passes the viewer's check of its signature and hashes.
    int zips = 0;
    std::string manifestHash;
    for (const auto& f : std::filesystem::directory_iterator(downloads)) {
        if (f.path().extension() != ".zip")
            continue;
        ++zips;
        const std::string unpacked = dir.File("evidence");
        Process unzip("/usr/bin/python3", {"-m", "zipfile", "-e", f.path().string(), unpacked}, {},
                      dir.File("unzip.out"), dir.File("unzip.err"));
        ASSERT_EQ(unzip.Wait(std::chrono::seconds(60)), 0) << unzip.Err();
        const std::string folder = unpacked + "/" + f.path().stem().string();
        // Checked as on the station itself: the signer must be the key of its working directory.
        Process verify(KEL_VIEWER_BINARY, {"--verify", folder, "--workdir", Work()},
                       {"QT_QPA_PLATFORM=offscreen"}, dir.File("verify.out"), dir.File("verify.err"));
        EXPECT_EQ(verify.Wait(std::chrono::seconds(60)), 0) << verify.Out() << verify.Err();
        EXPECT_NE(verify.Out().find("Podpisane kluczem stacji: " + fingerprint +
                                    "\nKlucz zgodny: klucz tej stacji"),
                  std::string::npos)
            << verify.Out();
        EXPECT_TRUE(std::filesystem::exists(folder + "/Kamera1.avi")) << folder;
        EXPECT_TRUE(std::filesystem::exists(folder + "/manifest.sig")) << folder;
        manifestHash = Sha256File(folder + "/manifest.json");
        const std::string manifest = ReadFile(folder + "/manifest.json");
        EXPECT_NE(manifest.find("\"exported_by\": \"ochrona\""), std::string::npos);
        EXPECT_NE(manifest.find("\"station\": \"Stacja Brama\""), std::string::npos) << manifest;
    }
    EXPECT_EQ(zips, 1);
    int jpegs = 0;
    for (const auto& f : std::filesystem::directory_iterator(downloads)) {
        if (f.path().extension() == ".zip")
            continue;
        std::ifstream in(f.path(), std::ios::binary);
        char head[3] = {};
        in.read(head, 3);
        EXPECT_EQ(std::string(head, 3), "\xFF\xD8\xFF") << f.path();
        EXPECT_EQ(f.path().filename().string().rfind("Kamera1-", 0), 0u) << f.path();
        ++jpegs;
    }
    EXPECT_EQ(jpegs, 1);

    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(std::chrono::seconds(60)), 0);
    std::string trail;
    ASSERT_EQ(RunStore({"audit"}, &trail), 0);
    for (const char* record :
         {"ochrona  logowanie  WWW 127.0.0.1", "ochrona  odmowa logowania  WWW 127.0.0.1",
          "ochrona  podglad na zywo  WWW 127.0.0.1 kamery 1,2,3,4",
          "ochrona  zdjecie  WWW 127.0.0.1 kamera 1", "ochrona  wylogowanie  WWW 127.0.0.1"})
        EXPECT_NE(trail.find(record), std::string::npos) << record << "\n" << trail;
    EXPECT_NE(trail.find(", manifest SHA-256 " + manifestHash), std::string::npos) << trail;
    EXPECT_NE(trail.find(", klucz " + fingerprint), std::string::npos) << "the start record names the key\n"
                                                                       << trail;
    EXPECT_EQ(trail.find("kamery 5"), std::string::npos) << trail;
}

}  // namespace
}  // namespace kel
