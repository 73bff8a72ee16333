#include "config/config.h"

#include <gtest/gtest.h>

#include <memory>

namespace kel {
namespace {

// A dialog's working copy that differs from a zero record in fields it may and may not hand back.
std::unique_ptr<TSettingsBlock> EditedBlock() {
    auto b = std::make_unique<TSettingsBlock>();
    b->Ver = 9;
    b->Version = "X";
    b->Smart_X = 5;
    b->Smart_Y = 6;
    b->CamMode1 = 4;
    b->CamMode13[12] = 2;
    b->UsedDisk = 3;
    b->VideoFiles = 42;
    b->TCPServerName = std::string(140, 'n');
    b->sPass = "tajne";
    b->Users[200].ConfigRight = 1;
    b->Zones[15].Filler[2] = 0xAB;
    b->PTZPorts[15] = 99;
    return b;
}

TEST(ConfigSettingsTest, ApplySettingsLeavesVersionPositionsLayoutsDiskAndCameras) {
    auto cfg = std::make_unique<TConfig>("unused.sqlite");
    cfg->Cameras[0].Active = 1;
    cfg->ApplySettings(*EditedBlock());
    EXPECT_EQ(cfg->VideoFiles, 42);
    EXPECT_EQ(cfg->TCPServerName, std::string(128, 'n'));
    EXPECT_EQ(cfg->sPass, "tajne");
    EXPECT_EQ(cfg->Users[200].ConfigRight, 1);
    EXPECT_EQ(cfg->Zones[15].Filler[2], 0xAB);
    EXPECT_EQ(cfg->PTZPorts[15], 99);

    EXPECT_EQ(cfg->Ver, 0);
    EXPECT_EQ(cfg->Version, "");
    EXPECT_EQ(cfg->Smart_X + cfg->Smart_Y + cfg->CamMode1 + cfg->CamMode13[12], 0);
    EXPECT_EQ(cfg->UsedDisk, 0);
    EXPECT_EQ(cfg->Cameras[0].Active, 1);

    auto copy = EditedBlock();
    cfg->UsedDisk = 7;
    cfg->CopySettingsTo(*copy);
    EXPECT_EQ(copy->UsedDisk, 7);
    EXPECT_EQ(copy->Smart_X, 5);
}

TEST(ConfigSettingsTest, ApplyCamerasCopiesWholeRecordsWithTheNameCutTo30) {
    auto cfg = std::make_unique<TConfig>("unused.sqlite");
    TCameraTable cams{};
    cams[4].Name.Set("Brama");
    cams[4].Name.chars[10] = 'x';
    cams[4].Hue = -5;
    cams[5].Name.len = 200;  // a damaged length byte
    cfg->ApplyCameras(cams);
    EXPECT_EQ(std::memcmp(&cfg->Cameras[4], &cams[4], sizeof(TCameraRecord)), 0);
    EXPECT_EQ(cfg->Cameras[5].Name.len, 30);
}

}  // namespace
}  // namespace kel
