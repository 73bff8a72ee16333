// The audit trail of a real station: a run with a console login, a remote viewer's login and a
// refused one leaves a chained record of each, printed by `kel audit`; a record edited with the
// sqlite3 program is named by `kel audit --verify`; a station killed mid-run leaves the chain whole.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "platform/audit_trail.h"
#include "platform/detached_start.h"
#include "support/free_port.h"
#include "support/station_runner.h"
#include "support/virtual_screen.h"

#include "config/passwords.h"

namespace kel {
namespace {

class AuditE2E : public StationRunner {
protected:
    std::string Trail() const { return dir.File("audit.sqlite"); }
    int Remote(int port, const std::string& password) {
        Process client(KEL_REMOTE_BINARY,
                       {"--port", std::to_string(port), "--user", "kel", "--password", password, "--cameras",
                        "1", "--polls", "2", "--out", dir.File("pictures")},
                       {}, dir.File("client.out"), dir.File("client.err"));
        return client.Wait(std::chrono::seconds(60));
    }
};

TEST_F(AuditE2E, EveryAccessOfARealRunLeavesAChainedRecord) {
    const int port = FreePort();
    PrepareRecording(1, nullptr, [&](TConfig& c) {
        c.TCP = true;
        c.Port = port;
        // The TCP server refuses the administrator with the default password.
        SetPassword(c.Users[0], c.PassHashes[0], "qxv-mocne1");
        SetAutoPassword(c, "qxv-mocne1");
    });
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_EQ(Remote(port, "qxv-mocne1"), 0);
    EXPECT_NE(Remote(port, "zle"), 0);
    ASSERT_TRUE(WaitForLog("Odmowa logowania uzytkownika \"kel\" z adresu : 127.0.0.1")) << LogText();
    kel->Signal(SIGTERM);
    ASSERT_EQ(kel->Wait(), 0) << kel->Err();

    std::string out;
    ASSERT_EQ(RunStore({"audit"}, &out), 0);
    for (const char* line : {"  -  start systemu  KEL 50 wersja 2.0.3 PRO, folder roboczy ",
                             "  kel  logowanie  konsola, logowanie automatyczne\n",
                             "  kel  logowanie  TCP 127.0.0.1\n", "  kel  odmowa logowania  TCP 127.0.0.1\n",
                             "  -  zamkniecie systemu  koniec sesji systemu (sygnal)\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(out.find("mocne"), std::string::npos) << "never a password";
    ASSERT_EQ(RunStore({"audit", "--verify"}, &out), 0) << out;
    EXPECT_NE(out.find("Dziennik zdarzen nienaruszony: 5 zdarzen"), std::string::npos) << out;
    ASSERT_EQ(RunStore({"audit", "--since", "2999-01-01"}, &out), 0);
    EXPECT_EQ(out, "");

    // Changed behind the station's back with the sqlite3 program: a record removed, or one edited.
    std::filesystem::copy_file(Trail(), dir.File("whole.sqlite"));
    const struct {
        const char* sql;
        const char* named;
    } tampered[] = {
        {"DELETE FROM audit WHERE id = 2",
         "Dziennik zdarzen naruszony: zdarzenie 3: brak zdarzen przed nim (po numerze 1)"},
        {"UPDATE audit SET who = 'ktos' WHERE id = 3",
         "Dziennik zdarzen naruszony: zdarzenie 3: zmieniono jego tresc"},
    };
    for (const auto& t : tampered) {
        std::filesystem::copy_file(dir.File("whole.sqlite"), Trail(),
                                   std::filesystem::copy_options::overwrite_existing);
        Process edit("/usr/bin/sqlite3", {Trail(), t.sql}, {}, dir.File("sqlite.out"),
                     dir.File("sqlite.err"));
        ASSERT_EQ(edit.Wait(std::chrono::seconds(30)), 0) << edit.Err();
        EXPECT_EQ(RunStore({"audit", "--verify"}, &out), 1) << t.sql;
        EXPECT_NE(out.find(t.named), std::string::npos) << out;
    }

    // A station started on a broken trail says so at once: log, trail, alert.
    auto alarmed = Start();
    ASSERT_TRUE(WaitForLog("ALARM: Dziennik zdarzen naruszony: zdarzenie 3: zmieniono jego tresc"))
        << LogText();
    alarmed->Signal(SIGTERM);
    ASSERT_EQ(alarmed->Wait(), 0) << alarmed->Err();

    // A head kept elsewhere catches a trail that is whole in itself but lost its last record.
    std::filesystem::copy_file(dir.File("whole.sqlite"), Trail(),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(Trail() + "-wal");
    std::filesystem::remove(Trail() + "-shm");
    {
        AuditTrail trail(Trail());
        ASSERT_TRUE(trail.Open());
        ASSERT_TRUE(trail.Append("kel", AuditTrail::kExport, "kamera 1"));
        WriteFile(dir.File("head.json"), AuditTrail::HeadJson(trail.LastHead(), "stacja"));
    }
    ASSERT_EQ(RunStore({"audit", "--verify", "--head", dir.File("head.json")}, &out), 0) << out;
    EXPECT_NE(out.find("Zgodny z glowa dziennika: zdarzenie 6"), std::string::npos) << out;
    std::filesystem::copy_file(dir.File("whole.sqlite"), Trail(),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(Trail() + "-wal");
    std::filesystem::remove(Trail() + "-shm");
    ASSERT_EQ(RunStore({"audit", "--verify"}, &out), 0) << out;
    EXPECT_EQ(RunStore({"audit", "--verify", "--head", dir.File("head.json")}, &out), 1) << out;
    EXPECT_NE(out.find("brak zdarzenia 6 z zachowanej glowy dziennika"), std::string::npos) << out;
}

TEST_F(AuditE2E, AStationKilledMidRunLeavesTheChainWhole) {
    PrepareRecording(1);
    auto first = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText();
    first->Signal(SIGKILL);
    first->Wait();
    auto second = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA", 2)) << LogText();
    second->Signal(SIGTERM);
    ASSERT_EQ(second->Wait(), 0) << second->Err();
    std::string out;
    ASSERT_EQ(RunStore({"audit", "--verify"}, &out), 0) << out;
    EXPECT_NE(out.find("nienaruszony: 5 zdarzen"), std::string::npos) << out;
}

// The archive viewer started as the console starts it: the console's user handed over on
// descriptor 3. Neither its command line nor its environment (what other processes can read in the
// process table) holds the password, and the trail has the viewer's login.
TEST_F(AuditE2E, TheViewerTakesTheConsolesUserWithoutThePasswordInTheProcessTable) {
    PrepareRecording(1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the viewer inherits this process's environment
    // What the console hands over: the login and the stored hash, never the password.
    TConfig stored(Registry());
    ASSERT_TRUE(stored.Load());
    const std::string hash = PasswordHashText(stored.PassHashes[0]);
    ASSERT_FALSE(hash.empty());
    std::string error;
    ASSERT_TRUE(StartDetached(KEL_VIEWER_BINARY,
                              {"--workdir", Work(), "--registry", Registry(), "--login-fd", "3"}, Work(),
                              "kel\n" + hash + "\n", error))
        << error;
    // The viewer, found by its command line; it is nobody's child to wait for.
    auto find = [&]() -> std::string {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string cmdline = ReadFile((entry.path() / "cmdline").string());
            if (cmdline.find("kel-viewer") != std::string::npos && cmdline.find(Work()) != std::string::npos)
                return entry.path().string();
        }
        return "";
    };
    std::string process;
    for (int i = 0; i < 200 && (process = find()).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(process.empty()) << "the viewer runs";
    const std::string cmdline = ReadFile(process + "/cmdline"), environ = ReadFile(process + "/environ");
    EXPECT_NE(cmdline.find("--login-fd"), std::string::npos);
    EXPECT_EQ(cmdline.find("qxv"), std::string::npos) << "no password on the command line";
    EXPECT_EQ(environ.find("qxv"), std::string::npos) << "none in the environment";
    std::string out;
    bool loggedIn = false;
    for (int i = 0; i < 200 && !loggedIn; ++i) {
        RunStore({"audit"}, &out);
        loggedIn = out.find("  kel  logowanie  przegladarka, z konsoli\n") != std::string::npos;
        if (!loggedIn)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(loggedIn) << out;
    const int pid = std::stoi(std::filesystem::path(process).filename().string());
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100 && std::filesystem::exists(process); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// Started on its own on a screen, the viewer asks in its login dialog: a wrong password keeps it
// asking (and is in the trail), the right one opens the viewer's window.
TEST_F(AuditE2E, TheViewerOnAScreenAsksForItsUser) {
    PrepareRecording(1);
    VirtualScreen screen(dir);
    ASSERT_TRUE(screen.WaitReady()) << screen.Error();
    auto xdo = [&](std::vector<std::string> args) {
        Process p("/usr/bin/xdotool", args, {"DISPLAY=" + screen.Display()}, dir.File("xdo.out"),
                  dir.File("xdo.err"));
        p.Wait(std::chrono::seconds(10));
        return p.Out();
    };
    auto find = [&](const std::string& title) {
        std::string found;
        for (int i = 0; i < 100 && found.empty(); ++i) {
            found = xdo({"search", "--onlyvisible", "--name", "^" + title + "$"});
            if (found.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return found.substr(0, found.find('\n'));
    };
    Process viewer(KEL_VIEWER_BINARY, {"--workdir", Work(), "--registry", Registry()},
                   {"DISPLAY=" + screen.Display(), "XDG_RUNTIME_DIR=" + dir.Path()}, dir.File("viewer.out"),
                   dir.File("viewer.err"));
    std::string login = find("Przeglądarka - Logowanie");
    ASSERT_FALSE(login.empty()) << viewer.Err();
    xdo({"mousemove", "--window", login, "20", "20"});  // the keyboard follows the pointer
    xdo({"type", "--delay", "30", "kel"});
    xdo({"key", "Tab"});
    xdo({"type", "--delay", "30", "zle"});
    xdo({"key", "Return"});
    // Refused: the dialog stays with the password emptied and the cursor in it.
    login = find("Przeglądarka - Logowanie");
    ASSERT_FALSE(login.empty()) << viewer.Err();
    xdo({"mousemove", "--window", login, "20", "20"});
    xdo({"type", "--delay", "30", "qxv"});
    xdo({"key", "Return"});
    EXPECT_FALSE(find("KEL – przeglądarka nagrań").empty()) << viewer.Err();
    std::string out;
    RunStore({"audit"}, &out);
    EXPECT_NE(out.find("  kel  odmowa logowania  przegladarka\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  kel  logowanie  przegladarka\n"), std::string::npos) << out;
    viewer.Signal(SIGTERM);
    viewer.Wait();
}

}  // namespace
}  // namespace kel
