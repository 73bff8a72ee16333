// The real kel binary, headless, on a fresh working directory and settings store.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "platform/station_key.h"
#include "support/station_runner.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

using StationE2E = StationRunner;

TEST_F(StationE2E, FirstRunWritesTheDefaultsAndAnOrderlyStopMarksTheClose) {
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Aplikacje zminimalizowano do TRAYA")) << LogText();
    // While it runs the close marker is 0 and the PTZ addresses are not stored yet.
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000000");
    EXPECT_EQ(ExportedSizes().count("PTZPorts"), 0u);

    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();
    std::string log = LogText();
    std::regex stamp("\\[(---|ERR)\\]\\[(SYS|PRG)\\]\\[\\d\\d\\.\\d\\d,\\d\\d:\\d\\d:\\d\\d\\] ");
    std::istringstream in(log);
    std::string line;
    std::vector<std::string> messages;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.back(), '\r') << "lines end in CR LF";
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, stamp) && m.position(0) == 0) << line;
        messages.push_back(line.substr(0, 10) + line.substr(m.length(0), line.size() - m.length(0) - 1));
    }
    const std::string work = std::filesystem::canonical(Work()).string();
    std::string keyError;
    const auto key = StationKey::LoadExisting(work, keyError);
    ASSERT_TRUE(key) << keyError;
    std::vector<std::string> expected{
        "[---][SYS]**************************************",
        "[---][SYS]Start Systemu KEL 2.0.3",
        "[---][SYS]Folder roboczy: " + work,
        "[---][SYS]Utworzono klucz podpisu stacji: " + StationKey::PrivatePath(work),
        "[---][SYS]Klucz podpisu stacji: " + key->FingerprintText(),
    };
    ASSERT_GE(messages.size(), 21u) << log;
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 5), expected);
    EXPECT_TRUE(std::regex_match(
        messages[5], std::regex("\\[---\\]\\[SYS\\]System Operacyjny - Linux \\d+\\.\\d+\\.\\d+")));
    EXPECT_TRUE(
        std::regex_match(messages[6], std::regex("\\[---\\]\\[SYS\\]Ilosc Pamieci RAM w Systemie \\d+MB")));
    EXPECT_EQ(messages[7], "[ERR][SYS]System uruchomiono z domyslnymi ustawieniami");
    EXPECT_EQ(messages[8], "[---][SYS]Wykryto kartę: KEL-16 (symulacja)");
    EXPECT_EQ(messages[9], "[---][SYS]Ustawiono Rozdzielczosc - 1024x768");
    EXPECT_EQ(messages[10], "[---][SYS]Wykryto biblioteki DirectX");
    EXPECT_TRUE(std::regex_match(
        messages[11], std::regex("\\[---\\]\\[SYS\\]Ilosci pamieci na karcie graficznej - \\d+MB")));
    EXPECT_EQ(messages[12], "[---][SYS]Poprawnie wczytano pliki graficzne - Folder: Default/1024");
    EXPECT_EQ(messages[13], "[---][PRG]Uruchomiono watek wyswietlania kamer");
    EXPECT_EQ(messages[14], "[---][PRG]Wylaczono tryb Pelnoekranowy");
    EXPECT_EQ(messages[15], "[---][PRG]Aplikacje zminimalizowano do TRAYA");
    EXPECT_EQ(messages[16], "[---][PRG]Applikacje przywolano z TRAYA");
    const size_t n = messages.size();
    EXPECT_EQ(messages[n - 4], "[---][SYS]Aplikacja zostala zamknieta wraz z zamknieciem systemu Windows");
    EXPECT_EQ(messages[n - 3], "[---][PRG]Zatrzymano watek wyswietlania kamer");
    EXPECT_EQ(messages[n - 2], "[---][PRG]Zwolniono pamiec i zamknieto DirectX");
    EXPECT_EQ(messages.back(), "[---][SYS]Zamkniecie Systemu przez uzytkownika ");

    auto sizes = ExportedSizes();
    EXPECT_EQ(sizes["Zones"], 405632u);
    EXPECT_EQ(sizes["Users"], 13824u);
    EXPECT_EQ(sizes["Cameras"], 1024u);
    EXPECT_EQ(sizes["Scheduler"], 2688u);
    EXPECT_EQ(sizes["CamIcons"], 192u);
    EXPECT_EQ(sizes["PTZPorts"], 64u);
    EXPECT_EQ(sizes["HDDs"], 25u);
    EXPECT_EQ(sizes["CamMode13"], 52u);
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000001");
    EXPECT_EQ(Exported("Width"), "dword:00000400");
    EXPECT_EQ(Exported("Version"), "\"KEL 2.0.3\"");
    // The default password is exported as its hash's marker, never as it is.
    EXPECT_NE(Exported("sPass"), "\"qxv\"");
    EXPECT_EQ(Exported("sPass").size(), 17u);
    EXPECT_EQ(sizes["PassHashes"], 16384u);
}

TEST_F(StationE2E, ASecondStationIsRefusedAndTheFirstRunsOn) {
    auto first = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    std::string err;
    EXPECT_EQ(Run({"--headless", "--yes", "--workdir", Work(), "--registry", Registry()}, nullptr, &err), 1);
    EXPECT_NE(err.find("{#0001} System KEL jest już uruchomiony!"), std::string::npos) << err;
    EXPECT_NE(LogText().find("[ERR][SYS]"), std::string::npos);
    EXPECT_NE(LogText().find("] {#0001} System KEL jest już uruchomiony!\r\n"), std::string::npos);
    EXPECT_TRUE(first->Running());
    first->Signal(SIGINT);
    EXPECT_EQ(first->Wait(), 0);
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000001");
}

TEST_F(StationE2E, AKilledStationDoesNotBlockTheNextStartWhichReportsIt) {
    auto first = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    first->Signal(SIGKILL);
    first->Wait();
    auto second = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA", 2)) << LogText();
    EXPECT_NE(LogText().find("[ERR][SYS]"), std::string::npos);
    EXPECT_NE(LogText().find("] {#0009} Podczas ostatniego uruchomienia aplikacja nie zostala poprawnie "
                             "zamknieta\r\n"),
              std::string::npos);
    second->Signal(SIGHUP);
    EXPECT_EQ(second->Wait(), 0);
}

// A signal at any moment of the start ends the station in order, with exit status 0: at once
// after the program began (the small `kel` holds the signals before the station's libraries are
// even mapped), and at a few points during the start-up chain.
TEST_F(StationE2E, ASignalAtAnyMomentOfTheStartEndsTheStationInOrder) {
    ASSERT_EQ(RunStore({"reg", "defaults"}), 0);
    // SIGTERM is held, or already has its handler. Under ThreadSanitizer only the handler counts:
    // with its runtime in the process, a signal held before the handler exists was seen to take its
    // default effect (the runtime's own signal handling; a plain build holds it).
#if defined(__SANITIZE_THREAD__)
    const char* const kFields[] = {"SigCgt:"};
#else
    const char* const kFields[] = {"SigBlk:", "SigCgt:"};
#endif
    auto holding = [&](pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        bool held = false;
        for (std::string line; std::getline(status, line);)
            for (const char* field : kFields)
                if (line.rfind(field, 0) == 0)
                    held |= (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
        return held;
    };
    for (int ms : {0, 5, 20, 60, 150, 400}) {
        SCOPED_TRACE(std::to_string(ms) + " ms after the program began");
        auto kel = Start();
        for (int i = 0; i < 5000 && !holding(kel->Pid()); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kel->Signal(SIGTERM);
        EXPECT_EQ(kel->Wait(), 0) << kel->Err();
    }
    const int before = CountInLog("Applikacje przywolano z TRAYA");
    auto last = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA", before + 1)) << LogText();
    last->Signal(SIGTERM);
    EXPECT_EQ(last->Wait(), 0);
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000001");
}

TEST_F(StationE2E, ScreenChecksUseTheVirtualScreen) {
    auto kel = Start({"--yes", "--screen", "1024x768"});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0);
    // A stored 1280 x 1024 window on a 1152 x 864 screen falls back to 1024 x 768.
    std::ofstream(dir.File("big.reg")) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                                          "\"Width\"=dword:00000500\r\n\"Height\"=dword:00000400\r\n";
    ASSERT_EQ(RunStore({"reg", "import", dir.File("big.reg")}), 0);
    auto fallback = Start({"--screen", "1152x864"});
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA", 2)) << LogText();
    EXPECT_NE(LogText().find("[---][SYS]["), std::string::npos);
    EXPECT_NE(LogText().find("] Automatycznie wybrano najnizsza rozdzielczosc aplikacji 1024x768\r\n"),
              std::string::npos);
    EXPECT_NE(fallback->Err().find("Uwaga! Automatycznie wybrano"), std::string::npos);
    fallback->Signal(SIGTERM);
    ASSERT_EQ(fallback->Wait(), 0);

    std::string err;
    EXPECT_EQ(Run({"--headless", "--workdir", Work(), "--registry", Registry(), "--screen", "1023x768"},
                  nullptr, &err),
              1);
    EXPECT_NE(err.find("Błąd! {#0007} Minimalna rozdzielczosc ekranu wynosi 1024x768"), std::string::npos)
        << err;
}

TEST_F(StationE2E, WithoutYesTheFirstRunQuestionIsAnsweredNo) {
    std::string err;
    EXPECT_EQ(Run({"--headless", "--workdir", Work(), "--registry", Registry()}, nullptr, &err), 1);
    EXPECT_NE(err.find("{#0005}"), std::string::npos) << err;
    EXPECT_NE(LogText().find("] {#0006} Brak lub uszkodzone dane konfiguracyjne KEL\r\n"), std::string::npos);
    EXPECT_TRUE(ExportedSizes().empty());
}

TEST_F(StationE2E, ADamagedStoreIsMovedAsideAndKept) {
    std::string garbage(8192, '\x5a');
    std::ofstream(Registry(), std::ios::binary) << garbage;
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0);
    EXPECT_NE(LogText().find("System uruchomiono z domyslnymi ustawieniami"), std::string::npos);
    int aside = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        if (e.path().filename().string().rfind("registry.sqlite.damaged-", 0) == 0) {
            ++aside;
            EXPECT_EQ(ReadFile(e.path().string()), garbage);
        }
    }
    EXPECT_EQ(aside, 1);
    EXPECT_EQ(Exported("b_CorrectClose"), "dword:00000001");
}

TEST_F(StationE2E, StoreCommandsRefuseBadInputAndChangeNothing) {
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0);
    std::string before;
    ExportedSizes(&before);
    std::ofstream(dir.File("bad.reg")) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                                          "\"Width\"=dword:00000500\r\n"
                                          "\"Height\"=dword:zz\r\n";
    std::string err;
    EXPECT_EQ(RunStore({"reg", "import", dir.File("bad.reg")}, nullptr, &err), 1);
    EXPECT_NE(err.find("5"), std::string::npos) << "the error names its line: " << err;
    std::string after;
    ExportedSizes(&after);
    EXPECT_EQ(before, after);
    // A value the station could not load is refused, with its line, and nothing changes.
    std::ofstream(dir.File("empty-skin.reg")) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                                 "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                                                 "\"Width\"=dword:00000500\r\n"
                                                 "\"Skin\"=\"\"\r\n";
    EXPECT_EQ(RunStore({"reg", "import", dir.File("empty-skin.reg")}, nullptr, &err), 1);
    EXPECT_NE(err.find("line 5: \"Skin\" must not be empty"), std::string::npos) << err;
    ExportedSizes(&after);
    EXPECT_EQ(before, after);

    EXPECT_EQ(RunStore({"reg", "import", dir.File("missing.reg")}), 1);
    // An export from a mistyped store path says so and makes nothing there.
    EXPECT_EQ(Run({"--registry", dir.File("typo/registry.sqlite"), "reg", "export"}, nullptr, &err), 1);
    EXPECT_NE(err.find("no such store"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("typo")));
    EXPECT_EQ(Run({"--no-such-option"}), 2);
    EXPECT_EQ(Run({"--headless", "--screen", "big"}), 2);
}

// The demo station as scripts/run prepares it starts without a question and records every one of
// its six cameras: camera 1 continuously, 2 to 6 on the motion inside their zones.
TEST_F(StationE2E, TheDemoConfigurationStartsWithoutAQuestionAndRecordsEveryCamera) {
    ASSERT_EQ(RunStore({"reg", "defaults"}), 0);
    ASSERT_EQ(RunStore({"reg", "import", KEL_SOURCE_DIR "/scripts/demo.reg"}), 0);
    Process zones(KEL_SOURCE_DIR "/scripts/demo-zones", {dir.File("zones.reg"), "2", "3", "4", "5", "6"}, {},
                  dir.File("zones.out"), dir.File("zones.err"));
    ASSERT_EQ(zones.Wait(), 0) << zones.Err();
    ASSERT_EQ(RunStore({"reg", "import", dir.File("zones.reg")}), 0);
    EXPECT_EQ(Exported("AutoLogin"), "dword:00000001");
    EXPECT_EQ(ExportedSizes()["Cameras"], 1024u);
    auto kel = Start({});  // no --yes: a question would stop the start
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_NE(LogText().find("] Dane Konfiguracyjne Zainicjalizowano Poprawnie\r\n"), std::string::npos);
    auto recorded = [&](int camera) {
        std::error_code ec;
        for (const auto& f :
             std::filesystem::directory_iterator(Work() + "/Temp/Kamera" + std::to_string(camera), ec))
            if (f.file_size() > 20000)  // the headers and at least one batch
                return true;
        return false;
    };
    for (int n = 1; n <= 6; ++n) {
        for (int i = 0; i < 300 && !recorded(n); ++i)
            std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(recorded(n)) << "camera " << n;
    }
    kel->Signal(SIGTERM);
    EXPECT_EQ(kel->Wait(), 0);
}

TEST_F(StationE2E, AMissingPtzLineIsLoggedOnceAndNothingIsShown) {
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("] TimerEvent: Could not connect to COM-port !\r\n")) << LogText();
    std::this_thread::sleep_for(1200ms);  // two more poll periods
    EXPECT_EQ(CountInLog("TimerEvent: Could not connect to COM-port !"), 1);
    EXPECT_EQ(kel->Err().find("COM-port"), std::string::npos) << "the operator is not told";
    EXPECT_TRUE(kel->Running());
    kel->Signal(SIGTERM);
    EXPECT_EQ(kel->Wait(), 0);
}

// Started as the desktop's menu starts it (no --workdir, no --registry, in the home folder), the
// station works in the user's data folder with the skins beside the program, and leaves nothing
// in the folder it was started from.
TEST_F(StationE2E, StartedFromTheMenuItWorksInTheDataFolder) {
    const std::string home = dir.File("home");
    std::filesystem::create_directories(home);
    extraEnv = {"HOME=" + home, "XDG_DATA_HOME=", "XDG_CONFIG_HOME="};
    Process kel(KEL_BINARY, {"--headless", "--yes", "--serial", NoSerial()}, Env(), dir.File("menu.out"),
                dir.File("menu.err"), home);
    const std::string log = home + "/.local/share/kel/Server.log";
    for (int i = 0; i < 600 && ReadFile(log).find("Applikacje przywolano z TRAYA") == std::string::npos; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_NE(ReadFile(log).find("Applikacje przywolano z TRAYA"), std::string::npos)
        << ReadFile(log) << kel.Err();
    kel.Signal(SIGTERM);
    EXPECT_EQ(kel.Wait(), 0);
    std::set<std::string> top;  // only the user's data and settings folders (the toolkit may cache)
    for (const auto& e : std::filesystem::directory_iterator(home))
        if (e.path().filename() != ".cache")
            top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{".config", ".local"})) << "nothing in the starting folder";
    EXPECT_TRUE(std::filesystem::exists(home + "/.config/kel/registry.sqlite"));
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.local/share/kel/drives"));
}

// Without Skins/ in the working directory the skins beside the program are used; a skin that is
// nowhere stops the start with the coded text, logged before the warning.
TEST_F(StationE2E, SkinsComeFromTheWorkingDirectoryElseBesideTheProgram) {
    std::filesystem::remove(Work() + "/Skins");
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0);

    std::filesystem::create_directories(Work() + "/Skins/Other");  // the working directory's own
    std::string err;
    EXPECT_EQ(RunStation(&err), 1);
    EXPECT_NE(err.find("Uwaga! {#0008} Brak plików graficznych"), std::string::npos) << err;
    EXPECT_NE(LogText().find("] {#0008} Brak plików graficznych\r\n"), std::string::npos) << LogText();
    EXPECT_NE(LogText().find("] Wykryto biblioteki DirectX\r\n"), std::string::npos)
        << "the renderer itself was set up";
}

// A SmartView picture missing: the main window's skin is there, so the start gets as far as the
// second stage, which closes the board and ends through the event loop with the coded text.
TEST_F(StationE2E, AMissingSmartViewPictureEndsTheSecondStage) {
    std::filesystem::remove(Work() + "/Skins");
    std::filesystem::create_directories(Work() + "/Skins/Default");
    std::filesystem::copy(std::string(KEL_SKINS_DIR) + "/Default/1024", Work() + "/Skins/Default/1024");
    std::filesystem::remove(Work() + "/Skins/Default/1024/btn_smart_close_on.bmp");
    std::string err;
    EXPECT_EQ(RunStation(&err), 1);
    EXPECT_NE(err.find("Uwaga! {#0008} Brak plików graficznych"), std::string::npos) << err;
    const std::string log = LogText();
    EXPECT_NE(log.find("Poprawnie wczytano pliki graficzne - Folder: Default/1024"), std::string::npos)
        << log;
    EXPECT_NE(log.find("[ERR][SYS]"), std::string::npos);
    EXPECT_EQ(log.find("Uruchomiono watek wyswietlania kamer"), std::string::npos) << "nothing after it runs";
}

}  // namespace
}  // namespace kel
