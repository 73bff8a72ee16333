// The start-up chain, second stage, close question and shutdown against a real settings store,
// with the windows replaced by a recording host.

#include "core/station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "capture/fake_board.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"
#include "config/passwords.h"
#include "config/registry_values.h"
#include "config/user_table.h"
#include "platform/drive_map.h"
#include "platform/station_key.h"
#include "ptz/pty_pair.h"
#include "recording/avi_reader.h"
#include "recording/fake_drive_probe.h"
#include "recording/schedule.h"
#include "recording/video_index.h"
#include "support/fake_display_platform.h"
#include "support/fakes.h"
#include "support/station_peer.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

class FakeHost : public ConsoleWindow,
                 public LoginWindow,
                 public ConfiguratorWindow,
                 public SmartViewWindow,
                 public ClosingWindow {
public:
    std::string versionLabel;
    int width = 0, height = 0;
    bool tray = false, posted = false, visible = false, closeRequested = false;
    bool dialogs = true;
    std::vector<std::pair<std::string, std::string>> logins;  // what the operator types; cancel when empty
    int loginShown = 0;

    void SetVersionLabel(const std::string& text) override { versionLabel = text; }
    void ArrangeWindow(int w, int h) override { width = w, height = h; }
    void AddTrayIcon(const std::string&) override { tray = true; }
    void RemoveTrayIcon() override { tray = false; }
    void PostAfterCreate() override { posted = true; }
    void ShowWindowMode() override {}
    void ShowFullScreen() override {}
    void ShowSmartView() override {}
    void HideWindow() override { visible = false; }
    void ShowWindow() override { visible = true; }
    bool IsVisible() const override { return visible; }
    void WindowPosition(int& l, int& t) const override { l = 10, t = 20; }
    bool CanShowDialogs() const override { return dialogs; }
    std::function<void()> onLogin;  // called as each showing opens
    // The new password typed twice for a weak administrator; "Później" when empty.
    std::vector<std::pair<std::string, std::string>> newPasswords;
    std::vector<std::string> askedNewPassword;
    bool RunNewPasswordDialog(const std::string& login, std::string& first, std::string& second) override {
        askedNewPassword.push_back(login);
        if (newPasswords.empty())
            return false;
        first = newPasswords.front().first;
        second = newPasswords.front().second;
        newPasswords.erase(newPasswords.begin());
        return true;
    }
    bool RunLoginDialog(std::string& login, std::string& password) override {
        ++loginShown;
        if (onLogin)
            onLogin();
        if (logins.empty())
            return false;
        login = logins.front().first;
        password = logins.front().second;
        logins.erase(logins.begin());
        return true;
    }
    void RequestClose() override { closeRequested = true; }
    void SmartViewPosition(int& x, int& y) const override { x = 33, y = 44; }
    void Quit(int code) override { quitCodes.push_back(code); }
    std::vector<int> quitCodes;
    WindowQueue& WindowJobs() override { return jobs; }
    WindowQueue jobs;
    void ShowClosingForm(bool show) override { closing.push_back(show); }
    std::vector<bool> closing;  // every showing and hiding of the closing window
    Beeper& SystemBeeper() override { return beeper; }
    struct CountingBeeper : Beeper {
        int beeps = 0;
        void Beep() override { ++beeps; }
    } beeper;
    VideoSink* VideoOutput() override { return &video; }
    bool LoadMainSkin(const std::string&, int) override { return skinLoads; }
    bool PrepareSmartView(const std::string&, int, const TCameraTable&, int left, int top) override {
        smartPlace = {left, top};
        return smartSkinLoads;
    }
    VideoSink* SmartViewOutput() override { return &video; }
    bool smartSkinLoads = true;
    std::pair<int, int> smartPlace{-1, -1};
    void SetClockLabel(const std::string& text) override { clockLabel = text; }
    void SetDriveLabel(const std::string& text) override { driveLabel = text; }
    void BuildCameraMenu() override { ++menuBuilds; }
    void StepAside(bool aside) override { visible = !aside; }
    void RunConfigurator(ConfiguratorWork& work, ConfiguratorPorts& ports) override {
        configuratorPages.push_back(work.startPage);
        viewModeInDialog = shared ? shared->ViewMode.load() : 0;
        if (onConfigurator)
            onConfigurator(work, ports);
    }
    VideoSink* ConfigPreviewOutput() override { return &video; }
    void BuildSmartViewMenu(const TCameraTable& cameras) override { smartMenuNames = cameras[0].Name.Get(); }
    std::function<void(ConfiguratorWork&, ConfiguratorPorts&)> onConfigurator;
    TShared* shared = nullptr;
    int viewModeInDialog = 0;
    std::string smartMenuNames;
    bool skinLoads = true;
    std::string clockLabel, driveLabel;
    int menuBuilds = 0;
    std::vector<int> configuratorPages;
    struct CountingSink : VideoSink {
        std::atomic<int> pictures{0};
        void Present(PresentTarget, const QImage&, const QRegion&) override { ++pictures; }
    } video;
};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        // The instance mark lives in this test's own runtime folder: tests run in parallel.
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
        mark = std::make_unique<InstanceLock>();
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins");
        host.shared = &shared;
    }
    void TearDown() override { std::filesystem::current_path(old_cwd_); }

    std::unique_ptr<Station> Make(const std::string& board = "sim") { return Make(board, box); }
    std::unique_ptr<Station> Make(const std::string& board, MessageBox& messages) {
        auto st = std::make_unique<Station>(StationOptions{dir.File("registry.sqlite"), false, board, serial},
                                            shared, host, messages, debug, info, saver, *mark);
        st->AttachWindows({&host, &host, &host, &host});
        st->SetDisplayPlatform(display);
        return st;
    }
    std::string LogText() { return ReadFile(dir.File("Server.log")); }
    // Messages of the log in order, without the stamp.
    std::vector<std::string> LogMessages() {
        std::vector<std::string> out;
        std::istringstream in(LogText());
        std::string l;
        while (std::getline(in, l)) {
            if (!l.empty() && l.back() == '\r')
                l.pop_back();
            out.push_back(l.substr(0, 5) + l.substr(l.find("] ") + 2));
        }
        return out;
    }
    bool Contains(const std::string& line) {
        auto m = LogMessages();
        return std::find(m.begin(), m.end(), line) != m.end();
    }
    // Prepares a store with the defaults and lets a test change them.
    template <typename F>
    void Prepare(F change) {
        TConfig c(dir.File("registry.sqlite"));
        ASSERT_TRUE(c.WriteDefaults());
        ASSERT_TRUE(c.WriteDefaultCameras());
        ASSERT_TRUE(c.Load());
        change(c);
        ASSERT_TRUE(c.SaveAll());
    }
    int StoredCorrectClose() {
        RegistryStore s;
        RegValue v;
        if (!s.Open(dir.File("registry.sqlite")) || !s.ReadValue(TConfig::kKey, "b_CorrectClose", v))
            return -1;
        return v.data.empty() ? -1 : v.data[0];
    }

    TempDir dir;
    std::filesystem::path old_cwd_;
    TShared shared;
    FakeHost host;
    FakeMessageBox box;
    RecordingDebugLines debug;
    FakeSystemInfo info;
    FakeScreenSaver saver;
    FakeDisplayPlatform display;  // 512 MB for the surfaces
    std::unique_ptr<InstanceLock> mark;
    std::string serial = dir.File("no-such-tty");  // tests never touch the machine's own ports
};

TEST_F(StationTest, FirstStartWithYesWritesDefaultsAndLogsTheChain) {
    box.answers = {true};
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_EQ(host.versionLabel, "KEL 50 wersja 2.0.3 PRO");
    const std::string work = std::filesystem::current_path().string();
    std::string keyError;
    const auto key = StationKey::LoadExisting(work, keyError);
    ASSERT_TRUE(key) << "the first start makes the station's signing key " << keyError;
    EXPECT_EQ(st->SigningKeyText(), key->FingerprintText());
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "[---]**************************************",
                                 "[---]Start Systemu KEL 2.0.3",
                                 "[---]Folder roboczy: " + work,
                                 "[---]Utworzono klucz podpisu stacji: " + StationKey::PrivatePath(work),
                                 "[---]Klucz podpisu stacji: " + key->FingerprintText(),
                                 "[---]System Operacyjny - Linux 6.1.0",
                                 "[---]Ilosc Pamieci RAM w Systemie 8193MB",
                                 "[ERR]System uruchomiono z domyslnymi ustawieniami",
                                 "[---]Wykryto kartę: KEL-16 (symulacja)",
                                 "[---]Ustawiono Rozdzielczosc - 1024x768",
                                 "[---]Wykryto biblioteki DirectX",
                                 "[---]Ilosci pamieci na karcie graficznej - 512MB",
                                 "[---]Poprawnie wczytano pliki graficzne - Folder: Default/1024",
                             }));
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Question);
    EXPECT_NE(box.shown[0].text.find("{#0005}"), std::string::npos);
    EXPECT_EQ(host.width, 1024);
    EXPECT_TRUE(host.tray);
    EXPECT_TRUE(host.posted);
    EXPECT_EQ(StoredCorrectClose(), 0);

    st->EndSession();
    EXPECT_EQ(StoredCorrectClose(), 1);
    EXPECT_TRUE(Contains("[---]Aplikacja zostala zamknieta wraz z zamknieciem systemu Windows"));
    EXPECT_TRUE(Contains("[---]Zamkniecie Systemu przez uzytkownika "));
    EXPECT_FALSE(host.tray);
    TConfig after(dir.File("registry.sqlite"));
    ASSERT_TRUE(after.Load());
    EXPECT_EQ(after.Smart_X, 33);
    EXPECT_EQ(after.Smart_Y, 44);
}

TEST_F(StationTest, FirstStartWithNoStopsWithTheStoreErrorAndWritesNothing) {
    box.answers = {false};
    auto st = Make();
    EXPECT_FALSE(st->FormCreate());
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].kind, BoxKind::Error);
    EXPECT_EQ(box.shown[1].text, "{#0006} Brak lub uszkodzone dane konfiguracyjne KEL");
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0006} Brak lub uszkodzone dane konfiguracyjne KEL");
    EXPECT_FALSE(host.posted);
    EXPECT_EQ(StoredCorrectClose(), -1);
}

TEST_F(StationTest, AStoreThatCannotBeWrittenStopsWithItsReasonInTheLog) {
    WriteFile(dir.File("not-a-folder"), "x");
    box.answers = {true};
    Station st(StationOptions{dir.File("not-a-folder/registry.sqlite"), false, "sim", serial}, shared, host,
               box, debug, info, saver, *mark);
    EXPECT_FALSE(st.FormCreate());
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].text, "{#0006} Brak lub uszkodzone dane konfiguracyjne KEL");
    auto log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].rfind("[ERR]Blad magazynu ustawien: ", 0), 0u) << log[log.size() - 2];
    EXPECT_EQ(log.back(), "[ERR]{#0006} Brak lub uszkodzone dane konfiguracyjne KEL");
}

TEST_F(StationTest, AnEnvironmentFailureIsLoggedBeforeItsBox) {
    info.ram = 100ull << 20;
    auto st = Make();
    EXPECT_FALSE(st->FormCreate());
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0003} Brak wystarczającej ilości pamieci RAM");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Error);
}

TEST_F(StationTest, ScreenChecks) {
    Prepare([](TConfig& c) {
        c.Width = 1280;
        c.Height = 1024;
    });
    info.width = 1024;
    info.height = 768;  // exactly the minimum passes, the stored 1280 x 1024 falls back
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_EQ(host.width, 1024);
    EXPECT_EQ(host.height, 768);
    EXPECT_TRUE(Contains("[---]Automatycznie wybrano najnizsza rozdzielczosc aplikacji 1024x768"));
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Warning);
    st->FormDestroy();

    info.width = 1023;
    box.shown.clear();
    auto small = Make();
    EXPECT_FALSE(small->FormCreate());
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0007} Minimalna rozdzielczosc ekranu wynosi 1024x768");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Error);
}

TEST_F(StationTest, ARunWithoutOrderlyShutdownIsReportedNextTime) {
    Prepare([](TConfig&) {});
    {
        auto crashed = Make();
        ASSERT_TRUE(crashed->FormCreate());
        EXPECT_FALSE(Contains("[ERR]{#0009} Podczas ostatniego uruchomienia aplikacja nie zostala poprawnie "
                              "zamknieta"));
        crashed->FormDestroy();  // the process dies; nothing is saved
    }
    auto next = Make();
    ASSERT_TRUE(next->FormCreate());
    EXPECT_TRUE(
        Contains("[ERR]{#0009} Podczas ostatniego uruchomienia aplikacja nie zostala poprawnie zamknieta"));
}

TEST_F(StationTest, AutomaticLoginNeedsNoDialog) {
    Prepare([](TConfig& c) { c.AutoLogin = true; });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    EXPECT_EQ(shared.CurrentUser, 0);
    EXPECT_EQ(host.loginShown, 0);
    EXPECT_TRUE(host.visible) << "restored from the tray after the login";
    EXPECT_EQ(shared.Layout, 3);
    EXPECT_EQ(shared.SavedLayout, 3);
    EXPECT_EQ(shared.SingleCamera, 1);
    ASSERT_GE(debug.lines.size(), 7u);
    EXPECT_EQ(debug.lines[0], "Wersja Aplikacji - KEL 2.0.3");
    EXPECT_EQ(debug.lines[1], "System Operacyjny - Linux 6.1.0");
    EXPECT_EQ(debug.lines[2], "Ilosc Pamieci RAM w Systemie 8193MB");
    EXPECT_EQ(debug.lines[3], "Wykryto Kartę: KEL-16 (symulacja)");
    EXPECT_EQ(debug.lines[4], "Rozdzielczosc aplikacji - 1024x768");
    EXPECT_EQ(debug.lines[5], "Rozdzielczosc ekranu - 1280x1024");
    EXPECT_EQ(debug.lines[6], "Folder Skórki - Skins/Default/1024/");
}

TEST_F(StationTest, TheStartModeChoosesTheFirstView) {
    struct Case {
        int appMode, viewMode, layout;
        bool visible;
        const char* line;
    };
    for (Case c : {Case{0, kViewWindow, 3, false, "Wylaczono tryb Pelnoekranowy"},
                   Case{2, kViewSmart, 0, true, "Wlaczono tryb SmartView"},
                   Case{3, kViewFull, 3, true, "Wlaczono tryb Pelnoekranowy"}}) {
        Prepare([&](TConfig& cfg) {
            cfg.AppMode = c.appMode;
            cfg.AutoLogin = true;
        });
        host.visible = false;
        debug.lines.clear();
        auto st = Make();
        ASSERT_TRUE(st->FormCreate());
        st->AfterCreate();
        EXPECT_EQ(shared.ViewMode, c.viewMode) << c.appMode;
        EXPECT_EQ(shared.Layout, c.layout) << c.appMode;
        EXPECT_EQ(host.visible, c.visible) << c.appMode;
        EXPECT_EQ(debug.lines.at(7), "Uruchomiono watek wyswietlania kamer") << c.appMode;
        EXPECT_EQ(debug.lines.at(8), c.line) << c.appMode;
        EXPECT_EQ(LogMessages().back(),
                  std::string("[---]") +
                      (c.visible ? "Applikacje przywolano z TRAYA" : "Aplikacje zminimalizowano do TRAYA"));
        if (c.appMode == 0) {
            EXPECT_EQ(shared.WindowLeft, (1280 - 1024) / 2);
            EXPECT_EQ(shared.WindowTop, (1024 - 768) / 2);
        }
        st->FormDestroy();
    }
}

TEST_F(StationTest, TheLoginDialogComesBackUntilAUserMatches) {
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        c.sPass = "wrong";  // a stored pair that matches nobody shows the dialog
    });
    host.logins = {{"kel", "bad"}, {"", "qxv"}, {"KEL", "qxv"}, {"kel", "qxv"}};
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    EXPECT_EQ(host.loginShown, 4);
    EXPECT_EQ(shared.CurrentUser, 0);
    EXPECT_FALSE(host.closeRequested);
}

// The administrator with the default password is asked at the console for a new one, typed twice
// and strong; the store then holds it hashed, and the web view and TCP server take it.
TEST_F(StationTest, AWeakAdministratorIsAskedAtTheConsoleForANewPasswordTypedTwice) {
    Prepare([](TConfig& c) { c.AppMode = 0; });
    host.logins = {{"kel", "qxv"}};
    host.newPasswords = {
        {"nowe-haslo-1", "nowe-haslo-2"}, {"krotkie", "krotkie"}, {"nowe-haslo-1", "nowe-haslo-1"}};
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    EXPECT_EQ(shared.CurrentUser, 0);
    EXPECT_EQ(host.askedNewPassword, std::vector<std::string>(3, "kel"));
    std::vector<std::string> shown;
    for (const auto& b : box.shown)
        shown.push_back(b.text);
    EXPECT_EQ(shown, (std::vector<std::string>{Station::kPasswordsDiffer, Station::kPasswordTooWeak}));
    EXPECT_TRUE(Contains("[---]Zmieniono haslo uzytkownika kel (konsola)"));
    EXPECT_EQ(LogText().find("nowe-haslo"), std::string::npos) << "never the password";
    TConfig after(dir.File("registry.sqlite"));
    ASSERT_TRUE(after.Load());
    EXPECT_EQ(after.FindUser("kel", "nowe-haslo-1"), 0);
    EXPECT_EQ(after.FindUser("kel", "qxv"), kNobody);
    EXPECT_FALSE(WeakAdministrator(after.Users[0], after.PassHashes[0]));
    EXPECT_EQ(after.HashedAtLoad(), 0);
}

TEST_F(StationTest, ACancelledLoginAsksToCloseWhichNeedsAUserWithTheConfigurationRight) {
    Prepare([](TConfig& c) {
        c.AppMode = 0;
        c.Users[7].Login.Set("gosc");
        c.Users[7].Password.Set("gosc1");
        c.Users[7].ConfigRight = 0;
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    EXPECT_EQ(host.loginShown, 1) << "the dialog shows even when the window starts in the tray";
    EXPECT_TRUE(shared.LoginCancelled);
    EXPECT_TRUE(host.closeRequested);
    EXPECT_FALSE(host.visible);
    EXPECT_EQ(shared.CurrentUser, kNobody);
    // Nobody is logged in: closing needs the login of a user with the configuration right. A
    // cancelled dialog, a wrong password and a user without the right close nothing.
    const struct {
        std::vector<std::pair<std::string, std::string>> logins;  // then cancelled
        std::vector<std::string> boxes;
    } refused[] = {
        {{}, {Station::kCloseNeedsRight}},
        {{{"kel", "zle"}}, {Station::kCloseNeedsRight, Station::kBadLogin}},
        {{{"gosc", "gosc1"}}, {Station::kCloseNeedsRight, Station::kCloseNeedsRight}},
    };
    for (const auto& c : refused) {
        box.shown.clear();
        host.logins = c.logins;
        EXPECT_FALSE(st->FormClose());
        std::vector<std::string> shown;
        for (const auto& b : box.shown)
            shown.push_back(b.text);
        EXPECT_EQ(shown, c.boxes);
    }
    EXPECT_TRUE(Contains("[ERR]Odmowa logowania uzytkownika \"kel\" (konsola)"));
    EXPECT_FALSE(LogText().find("zle") != std::string::npos) << "never the password";
    // Every refused close is logged and audited with the login tried.
    EXPECT_TRUE(Contains("[ERR]Odmowa zamkniecia systemu (nikt nie jest zalogowany)"));
    EXPECT_TRUE(Contains("[ERR]Odmowa zamkniecia systemu uzytkownikowi \"kel\" (nieprawidlowe haslo)"));
    EXPECT_TRUE(
        Contains("[ERR]Odmowa zamkniecia systemu uzytkownikowi \"gosc\" (brak prawa do konfiguracji)"));
    {
        AuditTrail trail(AuditTrail::PathBeside(dir.File("registry.sqlite")));
        ASSERT_TRUE(trail.Open());
        std::vector<std::string> refusals;
        for (const AuditRecord& r : trail.Read())
            if (r.what == AuditTrail::kCloseRefused)
                refusals.push_back(r.who + ": " + r.detail);
        EXPECT_EQ(refusals, (std::vector<std::string>{": konsola, nikt nie jest zalogowany",
                                                      "kel: konsola, nieprawidlowe haslo",
                                                      "gosc: konsola, brak prawa do konfiguracji"}));
    }
    // kel may: the question then; No keeps everything and leaves the marker unset.
    host.logins = {{"kel", "qxv"}};
    EXPECT_FALSE(st->FormClose());
    EXPECT_EQ(StoredCorrectClose(), 0);
    box.answers = {true};
    host.logins = {{"kel", "qxv"}};
    EXPECT_TRUE(st->FormClose());
    EXPECT_EQ(StoredCorrectClose(), 1);
    EXPECT_TRUE(Contains("[---]Zamkniecie Systemu przez uzytkownika kel"));
    EXPECT_EQ(shared.CurrentUser, kNobody) << "the login only gave the right to close";
}

TEST_F(StationTest, HeadlessRunsWithoutTheLoginDialog) {
    Prepare([](TConfig&) {});
    host.dialogs = false;
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    EXPECT_EQ(host.loginShown, 0);
    EXPECT_EQ(shared.CurrentUser, kNobody);
    EXPECT_FALSE(shared.LoginCancelled);
    EXPECT_FALSE(host.closeRequested);
}

TEST_F(StationTest, TheOldTemporaryFolderOnDriveCIsDeleted) {
    std::filesystem::create_directories("drives/c:/Program Files/KEL System/Temp/sub");
    std::ofstream("drives/c:/Program Files/KEL System/Temp/sub/x.avi") << "x";
    box.answers = {true};
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_FALSE(std::filesystem::exists("drives/c:/Program Files/KEL System/Temp"));
    EXPECT_TRUE(std::filesystem::exists("drives/c:/Program Files/KEL System"));
    EXPECT_TRUE(Contains("[---]LOG_TempDeleted"));
}

// Remembers, for every box, whether its text was in the log before the box came up.
class LogWatchingBox : public FakeMessageBox {
public:
    explicit LogWatchingBox(std::string logFile) : log_(std::move(logFile)) {}
    std::vector<bool> loggedBefore;
    bool Show(BoxKind kind, std::string_view text) override {
        loggedBefore.push_back(ReadFile(log_).find(std::string(text) + "\r\n") != std::string::npos);
        return FakeMessageBox::Show(kind, text);
    }

private:
    std::string log_;
};

TEST_F(StationTest, ABoardThatIsNotFoundStopsTheStartWithItsText) {
    Prepare([](TConfig&) {});
    for (auto [board, text] : {std::pair{"sim:absent", "{#0020} Brak karty KEL"},
                               std::pair{"sim:driver", "{#0021} Blad Otwarcia Sterownika"},
                               std::pair{"sim:version", "{#0022} Niewlasciwa wersja sterownika"}}) {
        LogWatchingBox watching(dir.File("Server.log"));
        host.posted = false;
        auto st = Make(board, watching);
        EXPECT_FALSE(st->FormCreate()) << board;
        EXPECT_EQ(LogMessages().back(), std::string("[ERR]") + text);
        ASSERT_EQ(watching.shown.size(), 1u) << board;
        EXPECT_EQ(watching.shown[0].kind, BoxKind::Warning);
        EXPECT_EQ(watching.shown[0].text, text);
        EXPECT_TRUE(watching.loggedBefore[0]) << "the line is logged before the box";
        EXPECT_FALSE(host.posted);
        EXPECT_FALSE(Contains("[---]Ustawiono Rozdzielczosc - 1024x768")) << "the chain stopped at the board";
        std::filesystem::remove(dir.File("Server.log"));
    }
}

// Not found is not the only way a board fails: one that will not open must not leave a station
// that looks as if it records.
TEST_F(StationTest, ABoardThatDoesNotOpenStopsTheStartToo) {
    Prepare([](TConfig&) {});
    auto fake = std::make_shared<FakeBoard>();
    fake->openStatus = kHicapDriverOpen;
    HicapInstall(fake);
    auto st = Make("");
    EXPECT_FALSE(st->FormCreate());
    EXPECT_TRUE(Contains("[---]Wykryto kartę: Fake"));
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0021} Blad Otwarcia Sterownika");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Warning);
    EXPECT_FALSE(host.posted);
    HicapInstall(nullptr);
}

TEST_F(StationTest, TheBoardRunsFromTheChainToTheShutdownAndItsSignalIsRead) {
    Prepare([](TConfig& c) {
        c.Cameras[6].Active = 1;
        c.Cameras[6].Resolution = 0;
        ASSERT_TRUE(c.SaveCameras());
    });
    auto st = Make("sim:nosignal=3,9-10");
    ASSERT_TRUE(st->FormCreate());
    auto sim = std::dynamic_pointer_cast<SimBoard>(HicapBackend());
    ASSERT_TRUE(sim);
    EXPECT_TRUE(sim->IsTransferring());
    EXPECT_EQ(sim->Channel(6).sizeMode, 1);
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(shared.CameraSignal[n], n == 3 || n == 9 || n == 10 ? 0 : 1) << n;
    for (auto& flag : shared.CameraSignal)
        flag = 7;
    st->PollSignal();
    EXPECT_EQ(shared.CameraSignal[3], 0);
    EXPECT_EQ(shared.CameraSignal[4], 1);

    st->AfterCreate();
    for (int n = 1; n <= kCameraCount; ++n)
        ASSERT_NE(st->Capture(n), nullptr) << n;
    st->EndSession();
    EXPECT_FALSE(sim->IsOpen());
    uint64_t delivered = st->Capture(7)->Delivered();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(st->Capture(7)->Delivered(), delivered) << "no picture after the shutdown";
}

// Runs what the window thread has been handed until `done` or the time is up.
// The applied settings with `edit` made to them, through the apply step as the dialog's OK runs it.
template <typename F>
void ApplyEdited(Station& st, F edit) {
    auto next = std::make_shared<AppliedConfig>(*st.Snapshot());
    edit(next->settings);
    st.Apply(std::move(next), true);
}

template <typename F>
bool RunWindowJobsUntil(FakeHost& host, F done, int limitMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        host.jobs.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Drive C: must keep 1,000,000 KiB free for the temporary recordings: exactly that passes.
TEST_F(StationTest, TheTemporarySpaceCheckNeedsOneMillionKiBOnDriveC) {
    Prepare([](TConfig&) {});
    FakeDriveProbe probe;
    probe.SetCapacityKB('C', Station::kTempSpaceKB - 1);
    auto st = Make();
    st->SetDriveProbe(probe);
    EXPECT_FALSE(st->FormCreate());
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].kind, BoxKind::Error);
    EXPECT_EQ(box.shown[0].text, "{#0025} Brak miejsca na pliki tymczasowe!");
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0025} Brak miejsca na pliki tymczasowe!");
    EXPECT_FALSE(host.posted);
    EXPECT_TRUE(std::filesystem::is_symlink("drives/c:")) << "the drive map is made on the first start";

    probe.SetCapacityKB('C', Station::kTempSpaceKB);
    box.shown.clear();
    auto enough = Make();
    enough->SetDriveProbe(probe);
    EXPECT_TRUE(enough->FormCreate());
    EXPECT_TRUE(box.shown.empty());
}

// From the second stage to the shutdown: continuous and motion recording to drive C:, the beep
// handed to the window thread, and the recordings closed behind the closing window.
TEST_F(StationTest, TheRecorderRecordsFromTheSecondStageUntilTheShutdown) {
    Prepare([](TConfig& c) {
        for (int n : {1, 2}) {
            c.Cameras[n - 1].Active = 1;
            for (int d = 1; d <= 7; ++d)
                for (int h = 0; h < 24; ++h)
                    c.Scheduler[ScheduleIndex(n, d, h)] = n == 1 ? kContinuous : kOnMotion;
        }
        std::fill(std::begin(c.Zones[1].Mask), std::end(c.Zones[1].Mask), 1);
        c.HDDs[0] = 1;
        c.SoundDetect = true;
        ASSERT_TRUE(c.SaveCameras());
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_EQ(shared.RecordDrive, 'C');
    st->AfterCreate();
    ASSERT_TRUE(StationTestPeer(*st).Recorder()->Recording());
    // The schedule reaches the cameras with the first tick of the one-second timer.
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return shared.ScheduleMode[1] == kContinuous; }));
    ASSERT_TRUE(RunWindowJobsUntil(
        host,
        [&] {
            return StationTestPeer(*st).Recorder()->SegmentOpen(1) &&
                   StationTestPeer(*st).Recorder()->SegmentOpen(2);
        },
        30000));
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return host.beeper.beeps > 0; }));
    st->EndSession();
    EXPECT_EQ(host.closing, (std::vector<bool>{true, false}));
    EXPECT_EQ(StationTestPeer(*st).Recorder(), nullptr);
    EXPECT_EQ(ReadFile("VideoIndex.dat").size(), 2 * 72u);
    for (int n : {1, 2}) {
        auto files = std::filesystem::directory_iterator("drives/c:/KEL2_Videos/Kamera" + std::to_string(n));
        EXPECT_NE(files, std::filesystem::directory_iterator()) << n;
    }
    RegistryStore s;
    int32_t count = 0;
    ASSERT_TRUE(s.Open(dir.File("registry.sqlite")) && ReadCounter(s, "VideoFiles", count));
    EXPECT_EQ(count, 2);
}

// Just after midnight from Sunday to Monday the schedule's Monday 0 h column is in force.
TEST_F(StationTest, TheTickCountsDownAndTakesTheScheduleOfTheClocksDayAndHour) {
    Prepare([](TConfig& c) {
        c.Scheduler[ScheduleIndex(4, 7, 23)] = kContinuous;
        c.Scheduler[ScheduleIndex(4, 1, 0)] = kOnMotion;
        c.HDDs.fill(0);
    });
    FixedClock clock(LocalTime{2026, 5, 10, 23, 59, 59, 7});
    Station st(StationOptions{dir.File("registry.sqlite"), false, "sim", serial}, shared, host, box, debug,
               info, saver, *mark, clock);
    ASSERT_TRUE(st.FormCreate());
    shared.MotionHold[4] = 1;
    shared.BeepLatch[4] = 1;
    st.TimerTick();
    EXPECT_EQ(shared.ScheduleMode[4], kContinuous);
    EXPECT_EQ(shared.MotionHold[4], 0);
    EXPECT_EQ(shared.BeepLatch[4], 0);
    EXPECT_EQ(shared.OsdTime(), "23:59:59");
    EXPECT_EQ(shared.OsdDate(), "2026-05-10");
    EXPECT_EQ(host.clockLabel, "23:59:59");
    EXPECT_EQ(host.driveLabel, "Użycie Napędu - brak") << "no recording drive selected";
    clock.Set(LocalTime{2026, 5, 11, 0, 0, 0, 1});
    st.TimerTick();
    EXPECT_EQ(shared.ScheduleMode[4], kOnMotion);
    EXPECT_EQ(shared.MotionHold[4], 0);
    EXPECT_EQ(shared.OsdTime(), "00:00:00");
    EXPECT_EQ(shared.OsdDate(), "2026-05-11");
}

TEST(DriveUsageTextTest, TheLabelReadsTheUsedShareOrNone) {
    struct Case {
        bool any, read;
        uint64_t freeKB, totalKB;
        const char* text;
    } cases[] = {
        {true, true, 63, 100, "Użycie Napędu D -  37%"},
        {true, true, 0, 100, "Użycie Napędu D -  100%"},
        {true, true, 100, 100, "Użycie Napędu D -  0%"},
        {true, true, 5, 1000, "Użycie Napędu D -  100%"},  // 0.5 % free rounds to even: 0
        {true, true, 15, 1000, "Użycie Napędu D -  98%"},  // 1.5 % free: 2
        {true, true, 0, 0, "Użycie Napędu - brak"},
        {true, false, 10, 100, "Użycie Napędu - brak"},
        {false, true, 10, 100, "Użycie Napędu - brak"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Station::DriveUsageText(c.any, 'D', c.read, c.freeKB, c.totalKB), c.text);
}

// Only a logged-in user with the configuration right gets the configurator: on the system page
// from the label, button or key, on camera n's page (n + 1) from the camera menu.
TEST_F(StationTest, TheConfiguratorNeedsTheConfigurationRight) {
    Prepare([](TConfig& c) {
        c.Users[1] = c.Users[0];
        c.Users[1].ConfigRight = 0;
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    for (int user : {kNobody, 1}) {
        shared.CurrentUser = user;
        st->OpenConfigurator(0);
    }
    EXPECT_TRUE(host.configuratorPages.empty());
    EXPECT_FALSE(Contains("[---]Wlaczono konfigurator"));
    shared.CurrentUser = 0;
    st->OpenConfigurator(0);
    st->OpenConfigurator(3);
    EXPECT_EQ(host.configuratorPages, (std::vector<int>{0, 4}));
    EXPECT_TRUE(Contains("[---]Wlaczono konfigurator"));
    st->FormDestroy();
}

// The SmartView window is set up at its stored place; a picture of its skin missing ends the
// second stage there: the coded text logged and shown, the board closed, the event loop ended
// with an error, nothing started.
TEST_F(StationTest, TheSmartViewSetUpEndsTheStartWhenItsSkinIsMissing) {
    Prepare([](TConfig& c) {
        c.Smart_X = 120;
        c.Smart_Y = 340;
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    host.smartSkinLoads = false;
    st->AfterCreate();
    EXPECT_EQ(host.smartPlace, std::make_pair(120, 340));
    EXPECT_EQ(LogMessages().back(), "[ERR]{#0008} Brak plików graficznych");
    ASSERT_FALSE(box.shown.empty());
    EXPECT_EQ(box.shown.back().kind, BoxKind::Warning);
    EXPECT_EQ(host.quitCodes, (std::vector<int>{1}));
    EXPECT_EQ(StationTestPeer(*st).DisplayThread(), nullptr);
    EXPECT_EQ(st->Capture(1), nullptr);
    st->FormDestroy();
}

TEST_F(StationTest, ApplyingTheSettingsReachesTheRecorder) {
    std::filesystem::create_directories("drives/d:");
    Prepare([](TConfig& c) { c.HDDs[0] = 1; });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    TSaveThread& rec = *StationTestPeer(*st).Recorder();
    EXPECT_EQ(rec.SizeLimit(), 5000000);
    ApplyEdited(*st, [](TSettingsBlock& s) {
        s.VideoFilesSize = 4;
        s.HDDs = {};
        s.HDDs[1] = 1;  // D:
    });
    EXPECT_EQ(rec.SizeLimit(), 50000000);
    EXPECT_EQ(shared.RecordDrive, 'D');
    EXPECT_EQ(rec.Archive().UsedDisk(), 1);
    ApplyEdited(*st, [](TSettingsBlock& s) {
        s.VideoFilesSize = 9;  // not a size: the limit stays
        s.HDDs = {};
    });
    EXPECT_EQ(rec.SizeLimit(), 50000000);
    EXPECT_EQ(shared.RecordDrive, 'D') << "no drive selected: the previous one stays";
    EXPECT_FALSE(rec.Archive().AnyDriveSelected());
}

TEST_F(StationTest, AMissingPtzLineIsLoggedOnceAndShowsNothing) {
    box.answers = {true};
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    size_t boxes = box.shown.size();
    const std::string line = "[ERR]TimerEvent: Could not connect to COM-port !";
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return Contains(line); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // two more poll periods
    host.jobs.RunPending();
    auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), line), 1);
    EXPECT_EQ(box.shown.size(), boxes);
    st->PtzPress(1);  // no port: nothing happens
    st->PtzRelease();
}

TEST_F(StationTest, ThePtzPadWritesToTheLineOpenedByThePoll) {
    PtyPair line;
    ASSERT_TRUE(line.Ok());
    serial = line.SlavePath();
    Prepare([](TConfig& c) { c.PTZPorts[2] = 3; });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    StationTestPeer(*st).PtzPort()->SetSettleDelay(0);
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return StationTestPeer(*st).PtzPort()->Connected(); }));
    shared.SingleCamera = 3;
    st->PtzPress(1);
    st->PtzRelease();
    EXPECT_EQ(ReadBytes(line.Master(), 14), (std::vector<int>{0xFF, 0x03, 0x00, 0x04, 0x30, 0x00, 0x37, 0xFF,
                                                              0x03, 0x00, 0x00, 0x00, 0x00, 0x03}));
    st->EndSession();
    EXPECT_FALSE(StationTestPeer(*st).PtzPort()->Connected()) << "closed early in the shutdown";
    EXPECT_FALSE(StationTestPeer(*st).PtzPort()->Active());
}

// One HTTP request to the station's web view on loopback, and its whole answer.
std::string WebRequest(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

std::string WebPost(int port, const std::string& path, const std::string& body,
                    const std::string& cookie = "") {
    return WebRequest(port, "POST " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nCookie: " + cookie +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

// The web view's pad steers the camera its browser shows, not the console's, with the same
// telegrams; a move nobody confirms any more stops; a configuration that turns the web view off
// closes it.
TEST_F(StationTest, TheWebViewsPadSteersItsOwnCameraAndStopsWhenTheBrowserIsGone) {
    using namespace std::chrono_literals;
    PtyPair line;
    ASSERT_TRUE(line.Ok());
    serial = line.SlavePath();
    Prepare([](TConfig& c) {
        c.PTZPorts[2] = 3;
        c.AutoLogin = true;
        // The web view refuses the administrator with the default password.
        SetPassword(c.Users[0], c.PassHashes[0], "qxv-mocne1");
        SetAutoPassword(c, "qxv-mocne1");
        c.Web = true;
        c.WebTls = false;
        c.WebPort = 0;  // any free port
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    StationTestPeer(*st).PtzPort()->SetSettleDelay(0);
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return StationTestPeer(*st).PtzPort()->Connected(); }));
    WebServer* web = StationTestPeer(*st).Web();
    ASSERT_TRUE(web && web->Active());
    const int port = web->BoundPort();
    const std::string login = WebPost(port, "/api/login", "login=kel&password=qxv-mocne1");
    const size_t at = login.find("kel_session=");
    ASSERT_NE(at, std::string::npos) << login;
    const std::string cookie = login.substr(at, login.find(';', at) - at);
    shared.SingleCamera = 1;  // the console shows another camera
    EXPECT_NE(WebPost(port, "/api/ptz", "camera=3&kind=1", cookie).find("200 OK"), std::string::npos);
    EXPECT_NE(WebPost(port, "/api/ptz", "camera=3&kind=0", cookie).find("200 OK"), std::string::npos);
    std::vector<int> bytes;
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] {
        for (const int b : ReadBytes(line.Master(), 14 - bytes.size(), 20))
            bytes.push_back(b);
        return bytes.size() >= 14;
    }));
    const std::vector<int> stop{0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03};
    EXPECT_EQ(bytes, (std::vector<int>{0xFF, 0x03, 0x00, 0x04, 0x30, 0x00, 0x37, 0xFF, 0x03, 0x00, 0x00, 0x00,
                                       0x00, 0x03}));
    EXPECT_TRUE(Contains("[---]Uruchomiono serwer WWW na porcie 0 (HTTP, tylko 127.0.0.1)")) << LogText();

    // A browser holding a direction confirms it and the camera turns on with one telegram; the
    // browser gone (closed, out of signal), the move stops by itself within a second.
    auto collect = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        RunWindowJobsUntil(host, [&] {
            for (const int b : ReadBytes(line.Master(), 64, 20))
                bytes.push_back(b);
            return std::chrono::steady_clock::now() >= end;
        });
    };
    bytes.clear();
    for (int i = 0; i < 6; ++i) {
        EXPECT_NE(WebPost(port, "/api/ptz", "camera=3&kind=2", cookie).find("200 OK"), std::string::npos);
        collect(300ms);
    }
    ASSERT_EQ(bytes.size(), 7u) << "one move while it is confirmed, no stop";
    EXPECT_NE(bytes[3], 0);
    collect(1500ms);
    ASSERT_EQ(bytes.size(), 14u);
    EXPECT_EQ(std::vector<int>(bytes.begin() + 7, bytes.end()), stop);
    // A move held when the station closes is stopped before the line is.
    bytes.clear();
    EXPECT_NE(WebPost(port, "/api/ptz", "camera=3&kind=5", cookie).find("200 OK"), std::string::npos);
    collect(100ms);
    ASSERT_EQ(bytes.size(), 7u);

    host.onConfigurator = [](ConfiguratorWork& w, ConfiguratorPorts&) {
        w.settings.Web = false;
        w.applied = true;
    };
    st->OpenConfigurator(0);
    EXPECT_FALSE(web->Active());
    EXPECT_NE(LogText().find("): serwer WWW"), std::string::npos) << LogText();
    EXPECT_EQ(WebRequest(port, "GET /login HTTP/1.1\r\nHost: x\r\n\r\n"), "");
    st->EndSession();
    collect(100ms);
    ASSERT_EQ(bytes.size(), 14u);
    EXPECT_EQ(std::vector<int>(bytes.begin() + 7, bytes.end()), stop);
}

// Each renderer check stops the start with its text, logged before its warning box.
TEST_F(StationTest, TheRendererChecksStopTheStart) {
    Prepare([](TConfig&) {});
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { display.connected = false; }, "{#0010} Brak badz niewlasciwa wersja bibliotek Direct X"},
        {[&] { display.memory = (24ull << 20) - 1; },
         "{#0011} Niewystarczajaca ilosc pamieci RAM na Karcie Graficznej"},
        {[&] { std::filesystem::remove("Skins"); }, "{#0008} Brak plików graficznych"},
        {[&] { host.skinLoads = false; }, "{#0008} Brak plików graficznych"},  // the main window's own
    };
    for (const auto& [change, text] : cases) {
        display = FakeDisplayPlatform();
        host.skinLoads = true;
        change();
        box.shown.clear();
        host.posted = false;
        auto st = Make();
        EXPECT_FALSE(st->FormCreate()) << text;
        EXPECT_EQ(LogMessages().back(), "[ERR]" + text);
        ASSERT_EQ(box.shown.size(), 1u) << text;
        EXPECT_EQ(box.shown[0].kind, BoxKind::Warning);
        EXPECT_EQ(box.shown[0].text, text);
        EXPECT_FALSE(host.posted);
        st->FormDestroy();
    }
    std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins");
    host.skinLoads = true;
    display = FakeDisplayPlatform();
    display.memory = 24ull << 20;  // exactly enough
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_TRUE(Contains("[---]Ilosci pamieci na karcie graficznej - 24MB"));
    st->FormDestroy();
}

// The renderer gets the user's camera rights, the display thread runs until the shutdown ends it
// before the renderer is released, and both are logged in that order.
TEST_F(StationTest, TheDisplayRunsFromTheSecondStageToTheShutdown) {
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        c.Users[0].CamRights[4] = 0;  // kel may not watch camera 5
        c.cCamName = true;
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    EXPECT_EQ(StationTestPeer(*st).DisplayThread(), nullptr);
    st->AfterCreate();
    ASSERT_NE(StationTestPeer(*st).DisplayThread(), nullptr);
    EXPECT_TRUE(StationTestPeer(*st).DisplayThread()->Running());
    EXPECT_EQ(st->Renderer()->Allowed[1].load(), 1);
    EXPECT_EQ(st->Renderer()->Allowed[5].load(), 0);
    EXPECT_TRUE(Contains("[---]Uruchomiono watek wyswietlania kamer"));
    ASSERT_TRUE(RunWindowJobsUntil(host, [&] { return host.video.pictures > 0; }));

    StationTestPeer(*st).DisplayThread()->Suspend();
    st->View()->RestoreFromTray();
    EXPECT_FALSE(StationTestPeer(*st).DisplayThread()->Suspended())
        << "restoring the window resumes the display";

    st->EndSession();
    EXPECT_FALSE(StationTestPeer(*st).DisplayThread()->Running());
    EXPECT_EQ(st->Renderer()->ShowNames.load(), 0);
    auto log = LogMessages();
    auto stopped = std::find(log.begin(), log.end(), "[---]Zatrzymano watek wyswietlania kamer");
    auto released = std::find(log.begin(), log.end(), "[---]Zwolniono pamiec i zamknieto DirectX");
    auto closed = std::find(log.begin(), log.end(), "[---]Zamkniecie Systemu przez uzytkownika ");
    ASSERT_NE(stopped, log.end());
    EXPECT_LT(stopped, released);
    EXPECT_LT(released, closed);
    int pictures = host.video.pictures;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.video.pictures, pictures) << "nothing presented after the shutdown";
}

// The shift change: kel is logged out and every camera locked at once; a wrong password is said
// and written down (the login, never the password); the next user's rights follow at once; a
// cancelled dialog leaves nobody logged in. Every step is in the audit trail.
TEST_F(StationTest, TheShiftChangeLogsOutAndTheRightsFollowTheNewUser) {
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        c.Users[7].Login.Set("gosc");
        c.Users[7].Password.Set("gosc1");
        c.Users[7].ConfigRight = 0;
        std::fill(std::begin(c.Users[7].CamRights), std::end(c.Users[7].CamRights), 0);
        c.Users[7].CamRights[2] = 1;  // camera 3 only
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    ASSERT_EQ(shared.CurrentUser, 0);
    std::vector<int> lockedDuringDialog;
    host.logins = {{"kel", "zle"}, {"gosc", "gosc1"}};
    host.onLogin = [&] {
        for (int n = 1; n <= kCameraCount; ++n)
            lockedDuringDialog.push_back(st->Renderer()->Allowed[n].load());
    };
    box.shown.clear();
    st->ChangeOperator();
    EXPECT_EQ(lockedDuringDialog, std::vector<int>(2 * kCameraCount, 0))
        << "no camera while the dialog is open";
    EXPECT_EQ(shared.CurrentUser, 7);
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(st->Renderer()->Allowed[n].load(), n == 3 ? 1 : 0) << n;
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, Station::kBadLogin);
    EXPECT_TRUE(Contains("[---]Wylogowano uzytkownika kel"));
    EXPECT_TRUE(Contains("[ERR]Odmowa logowania uzytkownika \"kel\" (konsola)"));
    EXPECT_TRUE(Contains("[---]Zalogowano uzytkownika gosc"));

    host.logins = {};
    host.onLogin = nullptr;
    st->ChangeOperator();
    EXPECT_EQ(shared.CurrentUser, kNobody);
    EXPECT_FALSE(host.closeRequested) << "a shift change cancelled closes nothing";
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(st->Renderer()->Allowed[n].load(), 0) << n;

    AuditTrail trail(AuditTrail::PathBeside(dir.File("registry.sqlite")));
    ASSERT_TRUE(trail.Open());
    std::vector<std::string> records;
    for (const AuditRecord& r : trail.Read())
        records.push_back(r.who + " " + r.what + " " + r.detail);
    std::string keyError;
    const auto key = StationKey::LoadExisting(shared.WorkDir, keyError);
    ASSERT_TRUE(key) << "the start made the station's signing key " << keyError;
    EXPECT_EQ(records, (std::vector<std::string>{
                           " start systemu " + std::string(Station::kVersionLabel) + ", folder roboczy " +
                               shared.WorkDir + ", klucz " + key->FingerprintText(),
                           "kel logowanie konsola, logowanie automatyczne",
                           "kel wylogowanie konsola",
                           "kel odmowa logowania konsola",
                           "gosc logowanie konsola, zmiana operatora",
                           "gosc wylogowanie konsola",
                       }));
    EXPECT_TRUE(trail.Verify().whole);
    st->EndSession();
}

TEST_F(StationTest, ACancelledLoginGivesTheRendererNoRights) {
    Prepare([](TConfig& c) { c.AppMode = 0; });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    ASSERT_TRUE(shared.LoginCancelled);
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(st->Renderer()->Allowed[n].load(), 0) << n;
    box.answers = {true};
    host.logins = {{"kel", "qxv"}};
    EXPECT_TRUE(st->FormClose());
}

}  // namespace
}  // namespace kel

namespace kel {
namespace {

// Records the messages it is asked to send.
class FakeMailSender : public MailSender {
public:
    bool Send(const MailMessage& message, std::string&) override {
        std::lock_guard<std::mutex> lock(mutex);
        sent.push_back(message);
        return true;
    }
    std::vector<MailMessage> Sent() {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }
    std::mutex mutex;
    std::vector<MailMessage> sent;
};

// The machine's address as a test sets it.
struct FakeAddress {
    std::string Get() {
        std::lock_guard<std::mutex> lock(mutex);
        return address;
    }
    void Set(const std::string& a) {
        std::lock_guard<std::mutex> lock(mutex);
        address = a;
    }
    std::mutex mutex;
    std::string address = "192.168.0.10";
};

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST_F(StationTest, NoticesGoOutAtTheStartAndOncePerNewAddress) {
    Prepare([](TConfig& c) {
        c.bMessages = true;
        c.mSMTP = "smtp.example.org";
        c.mTARGET = "op@example.org,szef@example.org";
        c.AutoLogin = true;
    });
    FakeMailSender mail;
    FakeAddress address;
    auto st = Make();
    st->SetMailSender(mail);
    st->SetAddressLookup([&] { return address.Get(); });
    ASSERT_TRUE(st->FormCreate());
    EXPECT_EQ(shared.LastIP(), "192.168.0.10") << "taken at start-up from an immediate lookup";
    st->AfterCreate();
    ASSERT_TRUE(WaitFor([&] { return mail.Sent().size() == 1; }));
    MailMessage start = mail.Sent()[0];
    EXPECT_EQ(start.subject, "Komunikat Systemu KEL 2.0");
    EXPECT_EQ(start.target, "op@example.org,szef@example.org");
    EXPECT_NE(start.body.find(" : Uruchomienie Systemu KEL 2.0 IP: 192.168.0.10"), std::string::npos)
        << start.body;

    ASSERT_TRUE(WaitFor([&] { return StationTestPeer(*st).IpMonitor()->Current() == "192.168.0.10"; }));
    st->TimerTick();
    address.Set("127.0.0.1");
    ASSERT_TRUE(WaitFor([&] { return StationTestPeer(*st).IpMonitor()->Current() == "127.0.0.1"; }));
    st->TimerTick();
    st->TimerTick();
    ASSERT_TRUE(WaitFor([&] { return mail.Sent().size() == 2; }));
    EXPECT_EQ(mail.Sent()[1].body, "Zmiana Adresu IP na:127.0.0.1");
    EXPECT_EQ(shared.LastIP(), "127.0.0.1");

    // Notices off: the address is still taken over, nothing is sent.
    ApplyEdited(*st, [](TSettingsBlock& s) { s.bMessages = false; });
    address.Set("10.0.0.7");
    ASSERT_TRUE(WaitFor([&] { return StationTestPeer(*st).IpMonitor()->Current() == "10.0.0.7"; }));
    st->TimerTick();
    EXPECT_EQ(shared.LastIP(), "10.0.0.7");

    st->EndSession();
    EXPECT_EQ(mail.Sent().size(), 2u);
    EXPECT_EQ(ReadFile(dir.File("iphist.dat")), "192.168.0.10\r\n127.0.0.1\r\n");
}

TEST_F(StationTest, TheTestMailsOutcomeComesBackOnTheWindowThread) {
    Prepare([](TConfig&) {});
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    std::optional<std::pair<bool, std::string>> outcome;
    std::thread::id answered;
    st->SendTestMail("", "konto", "haslo", "op@example.org", [&](bool sent, const std::string& error) {
        outcome = {sent, error};
        answered = std::this_thread::get_id();
    });
    ASSERT_TRUE(WaitFor([&] {
        host.jobs.RunPending();
        return outcome.has_value();
    }));
    EXPECT_EQ(answered, std::this_thread::get_id());
    EXPECT_EQ(*outcome, std::make_pair(false, std::string("Brak nazwy serwera SMTP")));
    st->EndSession();
    EXPECT_EQ(LogText().find("haslo"), std::string::npos);
}

// Recording goes on while the configurator is open. Cancel leaves the store and the capture as
// they were, though the preview changed; recordings deleted in the dialog are gone, and out of the
// index, at once. OK applies and saves the copy, which reaches every subsystem while the station
// runs; only a camera whose size, rate or active flag changed starts a new segment. Either way
// window mode comes back, and the log says what was applied and by whom.
TEST_F(StationTest, TheConfiguratorsResultReachesTheRunningStation) {
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        c.Cameras[0].Active = 1;
        c.Cameras[0].Brightness = 5;
        for (int d = 1; d <= 7; ++d)
            for (int h = 0; h < 24; ++h)
                c.Scheduler[ScheduleIndex(1, d, h)] = kContinuous;
        c.HDDs[0] = 1;
        ASSERT_TRUE(c.SaveCameras());
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    ASSERT_EQ(shared.CurrentUser, 0);
    EXPECT_EQ(shared.ScheduleMode[1], kContinuous) << "recording from the first picture, not the first tick";
    ASSERT_TRUE(RunWindowJobsUntil(
        host, [&] { return StationTestPeer(*st).Recorder()->SegmentOpen(1); }, 30000));
    const int menus = host.menuBuilds;

    // An older recording, archived.
    StationTestPeer(*st).Recorder()->FinishSegment(1);
    ASSERT_EQ(StationTestPeer(*st).Recorder()->Archive().Entries().size(), 1u);
    ASSERT_TRUE(RunWindowJobsUntil(
        host, [&] { return StationTestPeer(*st).Recorder()->SegmentOpen(1); }, 30000));

    host.onConfigurator = [&](ConfiguratorWork& w, ConfiguratorPorts& ports) {
        EXPECT_TRUE(StationTestPeer(*st).Recorder()->Recording())
            << "recording goes on while the dialog is open";
        EXPECT_TRUE(StationTestPeer(*st).Recorder()->SegmentOpen(1));
        w.live[0].Brightness = 77;
        w.live[0].Active = 0;  // waits for OK
        ports.SetLiveCameras(w.live);
        EXPECT_EQ((*st->Renderer()->Records())[0].Brightness, 77);
        EXPECT_EQ((*st->Renderer()->Records())[0].Active, 1);
        ports.DeleteRecordings();
        EXPECT_TRUE(StationTestPeer(*st).Recorder()->Archive().Entries().empty())
            << "deleted and out of the index at once";
        w.settings.VideoFilesSize = 4;
    };
    st->OpenConfigurator(0);
    EXPECT_EQ(host.viewModeInDialog, kViewConfig);
    EXPECT_FALSE(std::filesystem::exists("drives/c:/KEL2_Videos/Kamera1"));
    EXPECT_TRUE(std::filesystem::exists("drives/c:/KEL2_Videos/KEL2_Drive.id")) << "the drive is still ours";
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->Archive().Entries().empty())
        << "no entry for a deleted file";
    EXPECT_EQ(StationTestPeer(*st).Recorder()->Archive().Counter(), 0);
    EXPECT_EQ((*st->Renderer()->Records())[0].Brightness, 5);
    EXPECT_EQ(StationTestPeer(*st).Recorder()->SizeLimit(), 5000000);
    EXPECT_EQ(host.menuBuilds, menus);
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->Recording());
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->SegmentOpen(1)) << "the camera recorded through the dialog";
    EXPECT_NE(LogText().find("Anulowano konfiguracje (uzytkownik "), std::string::npos);
    {
        TConfig stored(dir.File("registry.sqlite"));
        ASSERT_TRUE(stored.Load());
        EXPECT_EQ(stored.VideoFilesSize, 0);
        const int32_t brightness = stored.Cameras[0].Brightness;  // packed: no reference to it
        EXPECT_EQ(brightness, 5);
    }

    std::filesystem::create_directories("drives/d:");
    const CameraTablePtr taken = st->Renderer()->Records();  // as a pass under way holds it
    host.onConfigurator = [&](ConfiguratorWork& w, ConfiguratorPorts&) {
        EXPECT_EQ(w.startPage, 3);
        w.cameras[0].Name.Set("Brama");
        w.settings.VideoFilesSize = 4;
        w.settings.cColor = 0x00FF00;
        w.settings.cCamName = false;
        std::fill(std::begin(w.settings.Zones[1].Mask), std::end(w.settings.Zones[1].Mask), 1);
        w.settings.Zones[1].Sensitivity = 250;
        std::fill(std::begin(w.settings.Zones[2].Mask), std::end(w.settings.Zones[2].Mask), 0);
        w.settings.HDDs = {};
        w.settings.HDDs[1] = 1;  // D:
        w.settings.TCP = true;
        w.settings.Port = 0;  // any free port
        w.applied = true;
    };
    st->OpenConfigurator(2);
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->SegmentOpen(1)) << "a new name restarts nothing";
    EXPECT_NE(LogText().find("): kamera 1 (nazwa), strefy, dyski, napisy na obrazie, serwer TCP"),
              std::string::npos)
        << LogText();
    EXPECT_EQ(host.menuBuilds, menus + 1);
    EXPECT_EQ(host.smartMenuNames, "Brama");
    EXPECT_EQ((*st->Renderer()->Records())[0].Name.Get(), "Brama");
    EXPECT_NE((*taken)[0].Name.Get(), "Brama") << "a table taken before never changes under its reader";
    EXPECT_EQ(st->Renderer()->TextColor, 0x00FF00u);
    EXPECT_EQ(st->Renderer()->ShowNames, 0);
    EXPECT_EQ(StationTestPeer(*st).Tables().Cameras()[0].Name.Get(), "Brama");
    EXPECT_EQ(StationTestPeer(*st).Recorder()->SizeLimit(), 50000000);
    EXPECT_EQ(shared.RecordDrive, 'D');
    EXPECT_TRUE(StationTestPeer(*st).TcpServer()->Active());
    std::vector<uint8_t> changed(2 * 352 * 288, 200);
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->Motion().DetectMotion(2, changed.data(), 352, 288))
        << "camera 2 watches all";
    EXPECT_FALSE(StationTestPeer(*st).Recorder()->Motion().DetectMotion(3, changed.data(), 352, 288))
        << "camera 3 nothing";
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_TRUE(StationTestPeer(*st).Recorder()->Recording());
    TConfig stored(dir.File("registry.sqlite"));
    ASSERT_TRUE(stored.Load());
    EXPECT_EQ(stored.Cameras[0].Name.Get(), "Brama") << "saved at once";
    EXPECT_EQ(stored.VideoFilesSize, 4);

    // A new rate: the camera's segment ends with the old one, and a new one begins.
    host.onConfigurator = [&](ConfiguratorWork& w, ConfiguratorPorts&) {
        w.cameras[0].FPS = 2;
        w.applied = true;
    };
    const size_t archived = StationTestPeer(*st).Recorder()->Archive().Entries().size();
    st->OpenConfigurator(2);
    EXPECT_TRUE(RunWindowJobsUntil(
        host, [&] { return StationTestPeer(*st).Recorder()->Archive().Entries().size() == archived + 1; },
        10000))
        << "closed and archived by the recorder thread";
    EXPECT_NE(LogText().find("): kamera 1 (klatki/s)"), std::string::npos) << LogText();
    EXPECT_TRUE(RunWindowJobsUntil(
        host, [&] { return StationTestPeer(*st).Recorder()->SegmentOpen(1); }, 30000));
    st->EndSession();
}

// The dialog costs no camera a second of its recording: open for seconds and cancelled, applied
// unchanged, then applied with camera 3's rate changed. Cameras 1, 2 and 4 have a picture in every
// second from their first to their last; camera 3, whose segment ended for its new rate, misses
// at most one.
// A privacy mask applied in the dialog reaches the running camera without a restart: its next
// pictures in the bank are black, and the log names what was applied.
TEST_F(StationTest, AnAppliedPrivacyMaskBlacksTheRunningCameraAtOnce) {
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        c.Cameras[0].Active = 1;
        c.Cameras[0].Resolution = 2;
        ASSERT_TRUE(c.SaveCameras());
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    auto newestIsBlack = [&] {
        const auto picture = shared.LiveFrame.Newest(1);
        if (!picture || picture->info.bytes < 4)
            return false;
        for (size_t i = 0; i < picture->info.bytes; i += 997 * 2)
            if (picture->data[i] != 128 || picture->data[i + 1] != 16)
                return false;
        return true;
    };
    ASSERT_TRUE(RunWindowJobsUntil(
        host, [&] { return shared.LiveFrame.Newest(1) != nullptr; }, 30000));
    EXPECT_FALSE(newestIsBlack());
    host.onConfigurator = [&](ConfiguratorWork& w, ConfiguratorPorts&) {
        std::fill(std::begin(w.settings.Masks[0].Cells), std::end(w.settings.Masks[0].Cells), 1);
        w.applied = true;
    };
    st->OpenConfigurator(0);
    EXPECT_TRUE(RunWindowJobsUntil(host, newestIsBlack, 30000));
    EXPECT_NE(LogText().find("maski prywatnosci"), std::string::npos) << LogText();
    st->EndSession();
}

TEST_F(StationTest, TheConfiguratorCostsNoCameraASecondOfItsRecording) {
    using namespace std::chrono_literals;
    Prepare([](TConfig& c) {
        c.AutoLogin = true;
        for (int n = 1; n <= 4; ++n) {
            c.Cameras[n - 1].Active = 1;
            c.Cameras[n - 1].Resolution = 2;
            c.Cameras[n - 1].FPS = 6;
            for (int d = 1; d <= 7; ++d)
                for (int h = 0; h < 24; ++h)
                    c.Scheduler[ScheduleIndex(n, d, h)] = kContinuous;
        }
        c.HDDs[0] = 1;
        ASSERT_TRUE(c.SaveCameras());
    });
    auto st = Make();
    ASSERT_TRUE(st->FormCreate());
    st->AfterCreate();
    ASSERT_TRUE(RunWindowJobsUntil(
        host,
        [&] {
            for (int n = 1; n <= 4; ++n)
                if (!StationTestPeer(*st).Recorder()->SegmentOpen(n))
                    return false;
            return true;
        },
        30000));
    const struct {
        std::chrono::milliseconds open;
        bool applied;
        int32_t rate3;
    } dialogs[] = {{3000ms, false, 6}, {1000ms, true, 6}, {1000ms, true, 3}};
    for (const auto& d : dialogs) {
        host.onConfigurator = [&](ConfiguratorWork& w, ConfiguratorPorts&) {
            std::this_thread::sleep_for(d.open);
            w.cameras[2].FPS = d.rate3;
            w.applied = d.applied;
        };
        st->OpenConfigurator(0);
        RunWindowJobsUntil(
            host, [] { return false; }, 1000);
    }
    st->EndSession();

    VideoIndex index;
    ASSERT_TRUE(index.LoadChecked(dir.File(VideoIndex::kFile)));
    const DriveMap map(dir.Path());
    std::map<int, std::set<time_t>> seconds;
    for (const TVideoIndexEntry& e : index.Entries()) {
        const AviFile f = ReadAvi(map.Resolve(e.FileName.Get()));
        for (const auto& sample : f.samples) {
            if (sample.id != "01tx" || sample.data.empty())
                continue;
            std::tm tm{};
            const std::string stamp(sample.data.begin() + 1, sample.data.begin() + 1 + sample.data[0]);
            if (strptime(stamp.c_str(), "%Y-%m-%d: %H:%M:%S", &tm))
                seconds[e.Camera].insert(timegm(&tm));
        }
    }
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        ASSERT_FALSE(seconds[n].empty());
        const auto span = *seconds[n].rbegin() - *seconds[n].begin() + 1;
        EXPECT_GE(span, 7) << "the run lasts longer than the dialogs";
        EXPECT_LE(span - static_cast<time_t>(seconds[n].size()), n == 3 ? 1 : 0)
            << "seconds without a picture";
    }
}
}  // namespace
}  // namespace kel
