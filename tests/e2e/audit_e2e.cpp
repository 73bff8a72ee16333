// The audit trail of a real station: a run with a console login, a remote viewer's login and a
// refused one leaves a chained record of each, printed by `kel audit`; a record edited with the
// sqlite3 program is named by `kel audit --verify`; a station killed mid-run leaves the chain whole.

#include <gtest/gtest.h>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/station_runner.h"

namespace kel {
namespace {

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

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
    });
    auto kel = Start();
    ASSERT_TRUE(WaitForLog("Applikacje przywolano z TRAYA")) << LogText() << kel->Err();
    EXPECT_EQ(Remote(port, "qxv"), 0);
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
    EXPECT_EQ(out.find("qxv"), std::string::npos) << "never a password";
    ASSERT_EQ(RunStore({"audit", "--verify"}, &out), 0) << out;
    EXPECT_NE(out.find("Dziennik zdarzen nienaruszony: 5 zdarzen"), std::string::npos) << out;
    ASSERT_EQ(RunStore({"audit", "--since", "2999-01-01"}, &out), 0);
    EXPECT_EQ(out, "");

    Process edit("/usr/bin/sqlite3", {Trail(), "UPDATE audit SET who = 'ktos' WHERE id = 3"}, {},
                 dir.File("sqlite.out"), dir.File("sqlite.err"));
    ASSERT_EQ(edit.Wait(std::chrono::seconds(30)), 0) << edit.Err();
    EXPECT_EQ(RunStore({"audit", "--verify"}, &out), 1);
    EXPECT_NE(out.find("Dziennik zdarzen naruszony: zdarzenie 3: zmieniono jego tresc"), std::string::npos)
        << out;
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

}  // namespace
}  // namespace kel
