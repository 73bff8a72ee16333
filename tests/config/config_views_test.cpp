// The subsystems' views of an applied configuration: each keeps the snapshot it was made from, so
// a new configuration never changes what a reader holds; and the few answers that are more than a
// field (slot tables, PTZ addresses, the login lookup) stay inside their tables.

#include "config/config_views.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

ConfigSnapshot Snapshot(int32_t single, int32_t address, const char* login) {
    auto c = std::make_shared<AppliedConfig>();
    c->settings.CamMode1 = single;
    c->settings.CamMode13[12] = 9;
    c->settings.PTZPorts[15] = address;
    c->settings.Users[3].Login.Set(login);
    c->settings.Users[3].Password.Set("haslo");
    c->settings.Users[3].CamRights[1] = 1;
    c->settings.HDDs[24] = 1;  // the byte past the 24 drives is no drive
    c->cameras[0].Name.Set("Brama");
    return c;
}

TEST(ConfigViewsTest, AViewKeepsItsSnapshotAndAnswersWithinItsTables) {
    ConfigSnapshot applied = Snapshot(4, 31, "jan");
    const RendererView console(applied);
    const PtzView ptz(applied);
    const UsersView users(applied);
    const ServerView server(applied);
    applied = Snapshot(7, 2, "ewa");  // a new configuration: the held views do not move
    EXPECT_EQ(console.SingleCamera(), 4);
    EXPECT_EQ(console.Camera(1).Name.Get(), "Brama");
    EXPECT_EQ(console.Cameras()->at(0).Name.Get(), "Brama");
    EXPECT_EQ(server.Users()->at(3).Login.Get(), "jan");
    EXPECT_EQ(RendererView(applied).SingleCamera(), 7);

    EXPECT_EQ(console.SlotTable(5).size(), 13u);
    EXPECT_EQ(console.SlotTable(5)[12], 9);
    EXPECT_EQ(console.SlotTable(3).size(), 16u);
    for (int layout : {0, 6, -1})
        EXPECT_TRUE(console.SlotTable(layout).empty()) << layout;

    EXPECT_EQ(ptz.Address(16), 31);
    for (int camera : {0, 17})
        EXPECT_EQ(ptz.Address(camera), 0) << camera;

    EXPECT_EQ(users.Find("jan", "haslo"), 3);
    EXPECT_EQ(users.Find("jan", ""), kNobody);
    EXPECT_EQ(users.User(3)->CamRights[1], 1);
    EXPECT_EQ(users.User(kUserCount), nullptr);
    EXPECT_EQ(users.User(-1), nullptr);

    EXPECT_FALSE(RecorderView(applied).AnyDrive());
    EXPECT_FALSE(ServerView().Users());
}

}  // namespace
}  // namespace kel
