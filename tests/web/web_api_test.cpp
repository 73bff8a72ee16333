#include "web/web_api.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "capture/resolution.h"
#include "platform/audit_trail.h"

namespace kel {
namespace {

class WebApiTest : public ::testing::Test {
protected:
    WebApiTest() {
        TUserTable users{};
        users[0].Login.Set("kel");
        users[0].Password.Set("qxv-mocne1");  // a weak one is refused on the web
        std::fill(std::begin(users[0].CamRights), std::end(users[0].CamRights), 1);
        users[0].ConfigRight = 1;
        users[1].Login.Set("ochrona");
        users[1].Password.Set("tajne");
        for (int k = 0; k < 4; ++k)
            users[1].CamRights[k] = 1;
        UserAccounts accounts;
        accounts.users = users;
        accounts.exports[0] = accounts.exports[1] = 1;  // both may export
        tables.SetAccounts(accounts);
        TCameraTable cameras{};
        for (int n = 1; n <= 6; ++n) {
            cameras[n - 1].Active = 1;
            cameras[n - 1].Name.Set("Brama " + std::to_string(n));
        }
        tables.SetCameras(cameras);
        users_ = users;
    }

    WebReply Call(const std::string& method, const std::string& target, const std::string& cookie = "",
                  const std::string& body = "", const std::string& peer = "10.0.0.7") {
        return api.Handle(
            WebRequest{method, target, cookie, "application/x-www-form-urlencoded", body, peer});
    }
    static std::string Header(const WebReply& reply, const std::string& name) {
        for (const auto& [n, v] : reply.headers)
            if (n == name)
                return v;
        return {};
    }
    // The Cookie header a browser sends after this login; empty when it failed.
    std::string LogIn(const std::string& login, const std::string& password) {
        const WebReply reply = Call("POST", "/api/login", "", "login=" + login + "&password=" + password);
        const std::string cookie = Header(reply, "Set-Cookie");
        return reply.status == 200 ? cookie.substr(0, cookie.find(';')) : std::string();
    }
    void PutPicture(int camera) {
        std::vector<uint8_t> picture(ResolutionBytes(2), 0x80);
        bank.Write(camera, picture.data(), picture.size(), 2);
    }

    FrameBank bank;
    CameraFlags signal{}, recording{}, motion{};
    ServerTables tables;
    std::atomic<uint32_t> watched{0};
    TUserTable users_{};
    std::vector<std::string> log, audit;
    std::vector<std::pair<int, int>> ptz;
    WebLinks links{bank,
                   signal,
                   recording,
                   motion,
                   tables,
                   watched,
                   [this](const std::string& text) { log.push_back(text); },
                   [this](const std::string& who, const char* what, const std::string& detail) {
                       audit.push_back(who + "|" + what + "|" + detail);
                   },
                   [](int camera) { return camera == 2 ? 7 : 0; },
                   [this](int camera, int kind) { ptz.emplace_back(camera, kind); },
                   PeerGuard::Timing{std::chrono::milliseconds(60000), std::chrono::milliseconds(100),
                                     std::chrono::milliseconds(800), std::chrono::milliseconds(600000)}};
    WebSessions sessions;
    PeerGuard guard{links.Guard};
    WebApi api{links, sessions, guard, true};
};

TEST_F(WebApiTest, NothingButTheLoginPageIsServedWithoutASessionAndNoPathLeadsOutside) {
    struct Case {
        const char* method;
        const char* target;
        int withoutSession;
        int withSession;
    };
    const Case cases[] = {
        {"GET", "/login", 200, 200},
        {"GET", "/login.js", 200, 200},
        {"GET", "/style.css", 200, 200},
        {"GET", "/", 303, 200},
        {"GET", "/app.js", 303, 200},
        {"GET", "/api/state", 401, 200},
        {"GET", "/api/snapshot?camera=1", 401, 404},
        {"POST", "/api/ptz", 401, 400},
        {"GET", "/../../etc/passwd", 401, 404},
        {"GET", "/%2e%2e/%2e%2e/etc/passwd", 401, 404},
        {"GET", "/web/index.html", 401, 404},
        {"POST", "/", 303, 405},
        {"DELETE", "/api/state", 401, 405},
        {"GET", "/api/login", 405, 405},
    };
    const std::string cookie = LogIn("kel", "qxv-mocne1");
    ASSERT_FALSE(cookie.empty());
    for (const Case& c : cases) {
        EXPECT_EQ(Call(c.method, c.target).status, c.withoutSession) << c.method << " " << c.target;
        EXPECT_EQ(Call(c.method, c.target, "kel_session=0123").status, c.withoutSession) << c.target;
        EXPECT_EQ(Call(c.method, c.target, "theme=dark; " + cookie).status, c.withSession) << c.target;
    }
    EXPECT_EQ(Header(Call("GET", "/"), "Location"), "/login");
}

TEST_F(WebApiTest, ALoginGivesAStrictCookieAndTheUserSeesAndFetchesOnlyHisCameras) {
    const WebReply login = Call("POST", "/api/login", "", "login=ochrona&password=tajne");
    ASSERT_EQ(login.status, 200);
    const std::string set = Header(login, "Set-Cookie");
    for (const char* flag : {"HttpOnly", "Secure", "SameSite=Strict", "Path=/"})
        EXPECT_NE(set.find(flag), std::string::npos) << set;
    const std::string cookie = set.substr(0, set.find(';'));

    signal[3] = 1;
    recording[3] = 1;
    const WebReply state = Call("GET", "/api/state", cookie);
    EXPECT_NE(state.body.find("\"user\":\"ochrona\""), std::string::npos);
    EXPECT_NE(state.body.find("\"configure\":false"), std::string::npos);
    EXPECT_NE(
        state.body.find("{\"n\":3,\"name\":\"Brama 3\",\"signal\":true,\"recording\":true,\"motion\":false"),
        std::string::npos)
        << state.body;
    EXPECT_EQ(state.body.find("\"n\":5"), std::string::npos)
        << "a camera without the right is not even named";

    PutPicture(1);
    PutPicture(5);
    const WebReply snapshot = Call("GET", "/api/snapshot?camera=1", cookie);
    ASSERT_EQ(snapshot.status, 200);
    EXPECT_EQ(snapshot.type, "image/jpeg");
    ASSERT_GT(snapshot.body.size(), 100u);
    EXPECT_EQ(static_cast<uint8_t>(snapshot.body[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(snapshot.body[1]), 0xD8);
    EXPECT_EQ(Header(snapshot, "Content-Disposition").rfind("attachment; filename=\"Kamera1-", 0), 0u);
    EXPECT_EQ(Call("GET", "/api/snapshot?camera=5", cookie).status, 403);
    EXPECT_EQ(Call("GET", "/api/recordings?camera=5&day=2026-12-09", cookie).status, 403);
    for (const char* bad :
         {"/api/export?camera=1&from=1000", "/api/export?camera=1&from=5000&to=4000",
          "/api/export?camera=1&from=1000&to=3601001", "/api/export?camera=1&from=x&to=2000"})
        EXPECT_EQ(Call("GET", bad, cookie).status, 400) << bad;
    EXPECT_EQ(Call("GET", "/api/export?camera=5&from=1000&to=2000", cookie).status, 403);
    const WebReply nothing = Call("GET", "/api/export?camera=1&from=1000&to=2000", cookie);
    ASSERT_TRUE(nothing.later) << "an export runs off the server's thread";
    EXPECT_EQ(nothing.later().status, 404) << "nothing recorded then";
    EXPECT_EQ(Call("GET", "/api/recordings?camera=1&day=2026-12-32", cookie).status, 400);
    EXPECT_EQ(Call("GET", "/api/recordings?camera=1&day=2026-12-09", cookie).body,
              "{\"camera\":1,\"dayMs\":" + std::to_string(46365 * kMsPerDay) + ",\"stretches\":[]}");
    EXPECT_EQ(Call("GET", "/api/snapshot?camera=3", cookie).status, 404) << "no picture yet";
    for (const char* bad : {"/api/snapshot?camera=0", "/api/snapshot?camera=17", "/api/snapshot?camera=1x",
                            "/api/snapshot?camera=", "/api/snapshot"})
        EXPECT_EQ(Call("GET", bad, cookie).status, 400) << bad;
    EXPECT_EQ(audit, (std::vector<std::string>{"ochrona|logowanie|WWW 10.0.0.7",
                                               "ochrona|zdjecie|WWW 10.0.0.7 kamera 1"}));
}

TEST_F(WebApiTest, RefusedLoginsWaitLongerEachTimeAndNeverLogThePassword) {
    const WebReply first = Call("POST", "/api/login", "", "login=kel&password=sekret1");
    EXPECT_EQ(first.status, 401);
    EXPECT_EQ(first.delay, std::chrono::milliseconds(100));
    // While the address waits its answer, a new try is turned away unheard.
    const WebReply early = Call("POST", "/api/login", "", "login=kel&password=qxv-mocne1");
    EXPECT_EQ(early.status, 429);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const WebReply second = Call("POST", "/api/login", "", "login=k%0Ael&password=sekret2");
    EXPECT_EQ(second.status, 401);
    EXPECT_EQ(second.delay, std::chrono::milliseconds(200));
    // Another address is not held up by this one.
    EXPECT_EQ(Call("POST", "/api/login", "", "login=kel&password=qxv-mocne1", "10.0.0.8").status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(
        Call("POST", "/api/login", "", "login=" + std::string(100, 'k') + "&password=qxv-mocne1").status,
        401);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    // A password the user table cannot hold never matches one it holds.
    EXPECT_EQ(Call("POST", "/api/login", "", "login=kel&password=q%E2%98%83v").status, 401);

    for (const std::string& line : log)
        EXPECT_EQ(line.find("sekret"), std::string::npos) << line;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Odmowa logowania WWW uzytkownika \"kel\" z adresu : 10.0.0.7");
    EXPECT_EQ(log[1], "Odmowa logowania WWW uzytkownika \"k?el\" z adresu : 10.0.0.7");
    EXPECT_EQ(audit[0], "kel|odmowa logowania|WWW 10.0.0.7");
}

TEST_F(WebApiTest, ASessionFollowsTheUserTableAndEndsWithItsUserOrPassword) {
    const std::string cookie = LogIn("ochrona", "tajne");
    ASSERT_FALSE(cookie.empty());
    PutPicture(2);
    EXPECT_EQ(Call("GET", "/api/snapshot?camera=2", cookie).status, 200);

    users_[1].CamRights[1] = 0;  // camera 2's right taken away while logged in
    tables.SetUsers(users_);
    EXPECT_EQ(Call("GET", "/api/snapshot?camera=2", cookie).status, 403);
    EXPECT_EQ(Call("GET", "/api/state", cookie).body.find("\"n\":2"), std::string::npos);

    users_[1].Password.Set("nowe");
    tables.SetUsers(users_);
    EXPECT_EQ(Call("GET", "/api/state", cookie).status, 401);
    users_[1].Password.Set("tajne");
    tables.SetUsers(users_);
    EXPECT_EQ(Call("GET", "/api/state", cookie).status, 401) << "the session ended for good";

    const std::string again = LogIn("ochrona", "tajne");
    EXPECT_EQ(Call("POST", "/api/logout", again).status, 200);
    EXPECT_EQ(Call("GET", "/api/state", again).status, 401);

    auto now = WebSessions::Clock::now();
    sessions.SetNow([&now] { return now; });
    const std::string idle = LogIn("kel", "qxv-mocne1");
    now += WebSessions::kIdle - std::chrono::minutes(1);
    EXPECT_EQ(Call("GET", "/api/state", idle).status, 200);
    now += WebSessions::kIdle - std::chrono::minutes(1);
    EXPECT_EQ(Call("GET", "/api/state", idle).status, 200) << "use keeps a session";
    now += WebSessions::kIdle;
    EXPECT_EQ(Call("GET", "/api/state", idle).status, 401);
}

TEST_F(WebApiTest, ThePadSteersOnlyWithTheConfigurationRightAndAnAddress) {
    const std::string guard = LogIn("ochrona", "tajne");
    const std::string installer = LogIn("kel", "qxv-mocne1");
    EXPECT_EQ(Call("POST", "/api/ptz", guard, "camera=2&kind=3").status, 403);
    EXPECT_EQ(Call("POST", "/api/ptz", installer, "camera=2&kind=3").status, 200);
    EXPECT_EQ(Call("POST", "/api/ptz", installer, "camera=2&kind=0").status, 200);
    EXPECT_EQ(Call("POST", "/api/ptz", installer, "camera=1&kind=3").status, 404);
    for (const char* bad : {"camera=2&kind=7", "camera=2&kind=", "camera=2", "camera=99&kind=1", "kind=1"})
        EXPECT_EQ(Call("POST", "/api/ptz", installer, bad).status, 400) << bad;
    EXPECT_EQ(Call("GET", "/api/ptz?camera=2&kind=3", installer).status, 405);
    EXPECT_EQ(ptz, (std::vector<std::pair<int, int>>{{2, 3}, {2, 0}}));
    EXPECT_NE(Call("GET", "/api/state", installer)
                  .body.find("\"n\":2,\"name\":\"Brama 2\",\"signal\":false,"
                             "\"recording\":false,\"motion\":false,\"ptz\":true"),
              std::string::npos);
}

TEST(WebTextTest, FormsCookiesAndJsonAreReadAndWrittenSafely) {
    EXPECT_EQ(FormValue("a=1&login=J%C3%B3zef+K&b=2", "login"), "Józef K");
    EXPECT_EQ(FormValue("login=%4", "login"), "%4");
    EXPECT_EQ(FormValue("login=%zz", "login"), "%zz");
    EXPECT_EQ(FormValue("xlogin=1&login", "login"), "");
    EXPECT_EQ(FormValue("", "login"), "");
    EXPECT_EQ(WebApi::SessionToken("a=1; kel_session2=x; kel_session=abc; b=2"), "abc");
    EXPECT_EQ(WebApi::SessionToken("kel_session"), "");
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(LogSafe("ab\r\ncd"), "ab??cd");
    const std::pair<const char*, int64_t> days[] = {
        {"1899-12-30", -1},  // before the station's time
        {"1900-01-01", 2 * kMsPerDay},
        {"2024-02-29", 45351 * kMsPerDay},
        {"2026-12-09", 46365 * kMsPerDay},
        {"2023-02-29", -1},
        {"2026-13-01", -1},
        {"2026-1-01", -1},
        {"2026-01-0x", -1},
    };
    for (const auto& [text, want] : days) {
        int64_t ms = -1;
        EXPECT_EQ(DayStart(text, ms), want >= 0) << text;
        if (want >= 0)
            EXPECT_EQ(ms, want) << text;
    }
}

TEST(JpegEncoderTest, AUyvyPictureComesBackAsTheSamePicture) {
    const int width = 352, height = 288;
    std::vector<uint8_t> uyvy(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            uint8_t* p = &uyvy[(static_cast<size_t>(y) * width + x) * 2];
            p[0] = static_cast<uint8_t>(64 + y / 3);
            p[1] = static_cast<uint8_t>(16 + (x * 200) / width);
            p[2] = static_cast<uint8_t>(192 - y / 3);
            p[3] = static_cast<uint8_t>(16 + ((x + 1) * 200) / width);
        }
    JpegEncoder encoder;
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(encoder.EncodeUyvy(uyvy.data(), width, height, jpeg, 90, 16)) << encoder.ErrorText();
    ASSERT_GT(jpeg.size(), 16u);
    tjhandle decoder = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    ASSERT_EQ(tjDecompressHeader3(decoder, jpeg.data() + 16, jpeg.size() - 16, &w, &h, &sub, &space), 0);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(sub, TJSAMP_422);
    std::vector<uint8_t> planes(tjBufSizeYUV2(w, 1, h, sub));
    ASSERT_EQ(tjDecompressToYUV2(decoder, jpeg.data() + 16, jpeg.size() - 16, planes.data(), w, 1, h, 0), 0);
    tjDestroy(decoder);
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int source = uyvy[(static_cast<size_t>(y) * width + x) * 2 + 1];
            worst = std::max(worst, std::abs(source - planes[static_cast<size_t>(y) * width + x]));
        }
    EXPECT_LE(worst, 8);
    EXPECT_FALSE(encoder.EncodeUyvy(uyvy.data(), 351, height, jpeg));
    const FrameBank::Picture whole{uyvy.data(), {uyvy.size(), 2, 1, 0}};
    const FrameBank::Picture cut{uyvy.data(), {uyvy.size() - 1, 2, 1, 0}};
    const FrameBank::Picture unknown{uyvy.data(), {uyvy.size(), -1, 1, 0}};
    EXPECT_TRUE(encoder.EncodePicture(whole, jpeg));
    EXPECT_FALSE(encoder.EncodePicture(cut, jpeg));
    EXPECT_FALSE(encoder.EncodePicture(unknown, jpeg));
}

// Ten wrong passwords for one account from two addresses lock it for the web view (and the TCP
// server, which shares the count) for 15 minutes, right password or not, with one alarm.
TEST_F(WebApiTest, AnAccountGuessedFromTwoAddressesIsLockedWithAnAlarmAndUnlockedAfterFifteenMinutes) {
    AccountGuard::Clock::time_point now{};
    AccountGuard accounts{[&now] { return now; }};
    std::vector<std::string> alerts;
    WebLinks guarded = links;
    guarded.Accounts = &accounts;
    guarded.Alert = [&alerts](const std::string& text) { alerts.push_back(text); };
    PeerGuard::Clock::time_point peerNow = PeerGuard::Clock::now();
    PeerGuard peers{links.Guard, [&peerNow] { return peerNow; }};
    WebApi web{guarded, sessions, peers, true};
    auto post = [&](const std::string& body, const std::string& peer) {
        peerNow += std::chrono::seconds(10);  // past the address's wait
        return web.Handle(
            WebRequest{"POST", "/api/login", "", "application/x-www-form-urlencoded", body, peer});
    };
    for (int i = 0; i < AccountGuard::kFailures; ++i)
        EXPECT_EQ(
            post("login=ochrona&password=zgadywane" + std::to_string(i), i % 2 ? "10.0.0.1" : "10.0.0.2")
                .status,
            401);
    EXPECT_EQ(alerts, std::vector<std::string>{AccountLockedText("ochrona")});
    const WebReply locked = post("login=ochrona&password=tajne", "10.0.0.3");
    EXPECT_EQ(locked.status, 403);
    EXPECT_EQ(log.back(), std::string("Odmowa logowania WWW uzytkownika \"ochrona\": ") + kLockedReason +
                              "; adres : 10.0.0.3");
    EXPECT_EQ(post("login=kel&password=qxv-mocne1", "10.0.0.3").status, 200)
        << "another account is not locked";
    now += AccountGuard::kLock;
    EXPECT_EQ(post("login=ochrona&password=tajne", "10.0.0.3").status, 200);
    EXPECT_EQ(alerts.size(), 1u);
}

// The session's cookie names the password's stored hash: a changed password ends it at once, and
// the cookie replayed afterwards is refused.
TEST_F(WebApiTest, AReplayedCookieAfterAPasswordChangeIsRefused) {
    auto accounts = std::make_unique<UserAccounts>();
    UserFields f;
    f.Login = "ochrona";
    f.Password = "tajne-haslo";
    f.Cam[0] = true;
    f.StoreInto(*accounts, 0);
    tables.SetAccounts(*accounts);
    const std::string cookie = LogIn("ochrona", "tajne-haslo");
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(Call("GET", "/api/state", cookie).status, 200);
    // The same password set again is a new hash: the session made with the old one ends.
    f.Password = "tajne-haslo";
    f.StoreInto(*accounts, 0);
    tables.SetAccounts(*accounts);
    EXPECT_EQ(Call("GET", "/api/state", cookie).status, 401);
    EXPECT_EQ(Call("GET", "/api/state", cookie).status, 401);
    EXPECT_FALSE(LogIn("ochrona", "tajne-haslo").empty());
}

TEST_F(WebApiTest, AWeakAdministratorIsRefusedWithTheReasonAndExportNeedsItsRight) {
    users_[0].Password.Set("qxv");
    tables.SetUsers(users_);  // the export right as the configuration right: "ochrona" has none
    // "ochrona" has no export right: no download link, and the export itself is refused.
    const std::string cookie = LogIn("ochrona", "tajne");
    EXPECT_NE(Call("GET", "/api/state", cookie).body.find("\"export\":false"), std::string::npos);
    EXPECT_EQ(Call("GET", "/api/export?camera=1&from=1000&to=2000", cookie).status, 403);
    EXPECT_EQ(Call("POST", "/api/login", "", "login=kel&password=qxv").status, 403);
    EXPECT_EQ(log.back(), std::string("Odmowa logowania WWW uzytkownika \"kel\": ") + kWeakPasswordReason +
                              "; adres : 10.0.0.7");
}

}  // namespace
}  // namespace kel
