// Who the viewer runs for: a user of a real settings store (read, never made), and the console's
// user handed over on a descriptor, read whole or not at all.

#include "viewer/viewer_login.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "config/config.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

TEST(ViewerLoginTest, AUserOfTheStoreWithItsRights) {
    TempDir dir;
    const std::string store = dir.File("registry.sqlite");
    ViewerUser user;
    std::string error;
    EXPECT_FALSE(FindViewerUser(store, "kel", "qxv", user, error));
    EXPECT_FALSE(std::filesystem::exists(store)) << "never made by the viewer";
    {
        TConfig c(store);
        ASSERT_TRUE(c.WriteDefaults() && c.WriteDefaultCameras() && c.Load());
        c.Users[3].Login.Set("ewa");
        c.Users[3].Password.Set("hasło");
        std::fill(std::begin(c.Users[3].CamRights), std::end(c.Users[3].CamRights), 0);
        c.Users[3].CamRights[4] = 1;
        c.Users[3].ConfigRight = 0;
        ASSERT_TRUE(c.SaveAll());
    }
    ASSERT_TRUE(FindViewerUser(store, "ewa", "hasło", user, error)) << error;
    EXPECT_EQ(user.login, "ewa");
    EXPECT_FALSE(user.configRight);
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(user.cameras[n], n == 4) << n;
    ASSERT_TRUE(FindViewerUser(store, "kel", "qxv", user, error)) << error;
    EXPECT_TRUE(user.configRight);
    for (auto [login, password] : {std::pair{"ewa", "haslo"}, std::pair{"", ""}, std::pair{"EWA", "hasło"}}) {
        EXPECT_FALSE(FindViewerUser(store, login, password, user, error)) << login;
        EXPECT_EQ(error, "Nieprawidłowy login lub hasło.");
    }
}

TEST(ViewerLoginTest, TheHandOverIsReadWholeOrNotAtAll) {
    const struct {
        std::string text;
        bool ok;
    } cases[] = {
        {HandOverText("kel", "qxv"), true},
        {"kel\nqxv", false},
        {"kel\nqxv\nmore\n", false},
        {"kel\n\n", false},
        {"\nqxv\n", false},
        {"kel\n" + std::string(300, 'x') + "\n", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        ASSERT_EQ(::write(p[1], c.text.data(), c.text.size()), static_cast<ssize_t>(c.text.size()));
        ::close(p[1]);
        std::string login, password;
        EXPECT_EQ(ReadHandedOver(p[0], login, password), c.ok);
        if (c.ok) {
            EXPECT_EQ(login, "kel");
            EXPECT_EQ(password, "qxv");
        }
        EXPECT_EQ(::fcntl(p[0], F_GETFD), -1) << "the descriptor is closed after";
    }
}

}  // namespace
}  // namespace kel
