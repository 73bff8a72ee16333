// What an accepted configuration restarts: only the cameras whose size, rate or active flag
// changed, the board only for a new size or standard, a group's split only for its own cameras;
// and the log's list of what changed.

#include "config/config_changes.h"

#include <gtest/gtest.h>

#include <functional>

namespace kel {
namespace {

AppliedConfig Base() {
    AppliedConfig c;
    for (int n = 1; n <= kCameraCount; ++n) {
        TCameraRecord& r = c.cameras[n - 1];
        r.Name.Set("Kamera " + std::to_string(n));
        r.Active = n <= 4;
        r.Resolution = 2;
        r.FPS = 6;
        r.Brightness = r.Contrast = r.SatU = r.SatV = 128;
        r.Sharpness = r.Hue = 0;
    }
    return c;
}

TEST(ConfigChangesTest, OnlyWhatChangedRestartsAndTheLogSaysWhat) {
    const struct {
        const char* what;
        std::function<void(AppliedConfig&)> edit;
        std::vector<int> restart;
        bool board;
        bool group0, group1;
        const char* summary;
    } cases[] = {
        {"nothing", [](AppliedConfig&) {}, {}, false, false, false, ""},
        {"camera 3's rate",
         [](AppliedConfig& c) { c.cameras[2].FPS = 3; },
         {3},
         false,
         true,
         false,
         "kamera 3 (klatki/s)"},
        {"camera 2's size",
         [](AppliedConfig& c) { c.cameras[1].Resolution = 0; },
         {2},
         true,
         false,
         false,
         "kamera 2 (rozdzielczosc)"},
        {"camera 6 switched on",
         [](AppliedConfig& c) { c.cameras[5].Active = 1; },
         {6},
         true,
         false,
         true,
         "kamera 6 (wlaczona)"},
        {"an inactive camera's rate and size wait for it",
         [](AppliedConfig& c) {
             c.cameras[9].FPS = 1;
             c.cameras[9].Resolution = 0;
         },
         {},
         false,
         false,
         false,
         ""},
        {"name and picture are live",
         [](AppliedConfig& c) {
             c.cameras[0].Name.Set("Brama");
             c.cameras[0].Brightness = 200;
         },
         {},
         false,
         false,
         false,
         "kamera 1 (nazwa, obraz)"},
        {"the standard",
         [](AppliedConfig& c) { c.settings.Ntsc = true; },
         {},
         true,
         false,
         false,
         "standard wideo"},
        {"settings taken whole",
         [](AppliedConfig& c) {
             c.settings.Zones[4].Mask[100] = 1;
             c.settings.Scheduler[7] = 2;
             c.settings.HDDs[1] = 1;
             c.settings.Users[0].CamRights[3] = 1;
             c.settings.mSMTP = "smtp.example.com:587";
             c.settings.cColor = 0xFF;
         },
         {},
         false,
         false,
         false,
         "strefy, harmonogram, dyski, napisy na obrazie, uzytkownicy, poczta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppliedConfig after = Base();
        c.edit(after);
        const ConfigChanges changes = CompareConfigs(Base(), after);
        std::vector<int> restart;
        for (int n = 1; n <= kCameraCount; ++n)
            if (changes.restart[n])
                restart.push_back(n);
        EXPECT_EQ(restart, c.restart);
        EXPECT_EQ(changes.AnyRestart(), !c.restart.empty());
        EXPECT_EQ(changes.boardModes, c.board);
        EXPECT_EQ(changes.shares[0], c.group0);
        EXPECT_EQ(changes.shares[1], c.group1);
        EXPECT_EQ(changes.summary, c.summary);
    }
    AppliedConfig server = Base();
    server.settings.Port = 778;
    EXPECT_TRUE(CompareConfigs(Base(), server).server);
    EXPECT_EQ(CompareConfigs(Base(), server).summary, "serwer TCP");
}

// The recorder reads its drives again and the server its tables only for a change in their part;
// a slot moved by the camera menu reaches neither.
TEST(ConfigChangesTest, EachSubsystemIsHandedItsPartOnlyWhenItChanged) {
    const struct {
        const char* what;
        std::function<void(AppliedConfig&)> edit;
        bool recorder, tables, server, web = false, ptz = false, events = false, offsite = false;
    } cases[] = {
        {"a slot of the nine-camera layout", [](AppliedConfig& c) { c.settings.CamMode9[2] = 7; }, false,
         false, false},
        {"the one-camera layout's camera", [](AppliedConfig& c) { c.settings.CamMode1 = 5; }, false, false,
         false},
        {"a zone", [](AppliedConfig& c) { c.settings.Zones[0].Sensitivity = 3; }, true, false, false},
        {"the segment size", [](AppliedConfig& c) { c.settings.VideoFilesSize = 2; }, true, false, false},
        {"the motion sound", [](AppliedConfig& c) { c.settings.SoundDetect = true; }, true, false, false},
        {"a camera's name", [](AppliedConfig& c) { c.cameras[3].Name.Set("Rampa"); }, true, true, false},
        {"a user's right", [](AppliedConfig& c) { c.settings.Users[1].ConfigRight = 1; }, false, true, false},
        {"the port", [](AppliedConfig& c) { c.settings.Port = 9000; }, false, false, true},
        {"the mail server", [](AppliedConfig& c) { c.settings.mSMTP = "poczta"; }, false, false, false},
        {"the web view's port", [](AppliedConfig& c) { c.settings.WebPort = 9443; }, false, false, false,
         true},
        {"the web view's key", [](AppliedConfig& c) { c.settings.WebKey = "k.pem"; }, false, false, false,
         true},
        {"a PTZ address", [](AppliedConfig& c) { c.settings.PTZPorts[2] = 4; }, false, false, false, false,
         true},
        {"the broker", [](AppliedConfig& c) { c.settings.MqttHost = "broker"; }, false, false, false, false,
         false, true},
        {"the off-site secret", [](AppliedConfig& c) { c.settings.S3Secret = "nowy"; }, false, false, false,
         false, false, false, true},
        {"the off-site limit", [](AppliedConfig& c) { c.settings.S3Limit = 512; }, false, false, false, false,
         false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AppliedConfig after = Base();
        c.edit(after);
        const ConfigChanges changes = CompareConfigs(Base(), after);
        EXPECT_EQ(changes.recorder, c.recorder);
        EXPECT_EQ(changes.tables, c.tables);
        EXPECT_EQ(changes.server, c.server);
        EXPECT_EQ(changes.web, c.web);
        EXPECT_EQ(changes.ptz, c.ptz);
        EXPECT_EQ(changes.events, c.events);
        EXPECT_EQ(changes.offsite, c.offsite);
        EXPECT_FALSE(changes.AnyRestart());
    }
    // A camera recorded another way finishes its segment and starts one of the other kind.
    AppliedConfig after = Base();
    after.settings.Reencode[4] = 1;
    const ConfigChanges changes = CompareConfigs(Base(), after);
    EXPECT_TRUE(changes.recorder);
    EXPECT_TRUE(changes.restart[5]);
    EXPECT_EQ(std::count(changes.restart.begin(), changes.restart.end(), true), 1);
    EXPECT_EQ(changes.summary, "kamera 5 (nagrywanie z przekodowaniem)");
}

}  // namespace
}  // namespace kel
