// The command server over real loopback sockets.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "config/user_table.h"
#include "net/tcp_server.h"
#include "net/test_client.h"
#include "platform/cp1250.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// "HH:MM:SS" as a 10-byte short text, "YYYY-MM-DD" as an 11-byte one.
const std::string kTime = std::string("\x08") + "09:05:07" + std::string(1, '\0');
const std::string kDate = std::string("\x0a") + "2004-05-06";

class TcpServerTest : public ::testing::Test {
protected:
    TcpServerTest() {
        TCameraTable cameras{};
        cameras[0].Active = 1;
        cameras[1].Active = 0;
        cameras[2].Active = 1;
        cameras[0].FPS = 25;
        tables.SetCameras(cameras);
        TUserTable users{};
        UserFields f;
        f.Login = "jan";
        f.Password = "tajne";
        f.Cam[0] = f.Cam[2] = true;
        f.StoreInto(users[0]);
        tables.SetUsers(users);
        server.SetPort(0);
        EXPECT_TRUE(server.Start()) << server.ErrorText();
    }

    ServerLinks Links() {
        ServerLinks links{signal,
                          &pictures,
                          tables,
                          [] { return 7u; },
                          [this](const std::string& s) { Note("log:" + s); },
                          [this](const std::string& s) { Note("debug:" + s); },
                          clock,
                          100ms,
                          30s,
                          120s,
                          {60s, 1ms, 4ms, 600s}};
        links.PerAddress = ClientTable::kSlots;  // these tests fill the slots from loopback
        links.Accounts = &accounts;
        links.Alert = [this](const std::string& s) { Note("alert:" + s); };
        return links;
    }
    void Note(const std::string& s) {
        std::lock_guard<std::mutex> lock(mutex);
        notes.push_back(s);
    }
    int Notes(const std::string& s) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(notes.begin(), notes.end(), s));
    }
    bool WaitForClients(int n) {
        for (int i = 0; i < 1000 && count.load() != n; ++i)
            std::this_thread::sleep_for(10ms);
        return count.load() == n;
    }
    std::unique_ptr<TestClient> Connect(bool logIn = true) {
        auto c = std::make_unique<TestClient>(server.BoundPort());
        EXPECT_EQ(c->Line(), "KEL2.0\r\n");
        if (logIn) {
            EXPECT_EQ(c->LogIn("jan", "tajne").size(), 16u);
        }
        return c;
    }
    // The payload of one @gcs poll after its "@ufo".
    std::string Poll(TestClient& c) {
        c.Send("@gcs\n");
        EXPECT_EQ(c.Line(), "@ufo\r\n");
        return c.Read(c.Be32());
    }
    void NewPicture(int camera, const std::string& bytes) {
        pictures.Clear(camera);
        pictures.Add(camera, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 352, 288, "");
    }

    CameraFlags signal{};
    FrameBatch pictures;
    ServerTables tables;
    FixedClock clock{LocalTime{2004, 5, 6, 9, 5, 7, 4}};
    std::mutex mutex;
    std::vector<std::string> notes;
    std::atomic<int> count{0};
    std::atomic<AccountGuard::Clock::rep> accountMinutes{0};
    AccountGuard accounts{
        [this] { return AccountGuard::Clock::time_point(std::chrono::minutes(accountMinutes.load())); }};
    TTcpServer server{Links(), count};
};

TEST_F(TcpServerTest, PicturesNeedALoginAndFollowTheSelection) {
    auto c = Connect(false);
    c->Send("@gcs\n");
    EXPECT_EQ(c->Line(), "@nou\r\n") << "no pictures before a login";
    std::string rights = c->LogIn("jan", "tajne");
    EXPECT_EQ(rights, std::string("\x01\x00\x01", 3) + std::string(13, '\0'));

    // Logged in but nothing selected: time and date only.
    NewPicture(1, "first picture");
    EXPECT_EQ(Poll(*c), kTime + kDate);

    // Camera 1 selected, camera 2 selected but not active, camera 3 selected without a picture.
    std::string selection(16, '\0');
    selection[0] = selection[1] = selection[2] = 1;
    NewPicture(2, "inactive camera");
    c->Send("@svc\n" + selection);
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(13) + "first picture");
    EXPECT_EQ(Poll(*c), kTime + kDate) << "no new picture, nothing sent again";
    NewPicture(1, "second");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(6) + "second");
}

// A camera the user may not view is answered as one without a new picture, whatever the
// selection; the rights are the user's as the configuration now says, and a user taken out of the
// table gets nothing more.
TEST_F(TcpServerTest, ACameraWithoutTheRightIsNeverSentWhateverTheSelection) {
    TCameraTable cameras{};
    for (int n : {1, 3, 4})
        cameras[n - 1].Active = 1;
    tables.SetCameras(cameras);
    auto c = Connect();  // jan: cameras 1 and 3
    c->Send("@svc\n" + std::string(16, '\1'));
    NewPicture(1, "one");
    NewPicture(4, "four");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(3) + "one");

    TUserTable users{};
    UserFields f;
    f.Login = "jan";
    f.Password = "tajne";
    f.Cam[3] = true;  // camera 4 only now
    f.StoreInto(users[0]);
    tables.SetUsers(users);
    NewPicture(1, "one again");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(4) + Le32(4) + "four");

    tables.SetUsers(TUserTable{});
    NewPicture(4, "four again");
    EXPECT_EQ(Poll(*c), kTime + kDate);
}

TEST_F(TcpServerTest, TheNewestWholePictureIsSentFromAPartBatch) {
    auto c = Connect();
    std::string selection(16, '\0');
    selection[0] = 1;
    c->Send("@svc\n" + selection);
    pictures.Add(1, reinterpret_cast<const uint8_t*>("one"), 3, 352, 288, "");
    pictures.Add(1, reinterpret_cast<const uint8_t*>("two!"), 4, 352, 288, "");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(4) + "two!");
    // A written batch starts again empty: no picture is new until the next one comes.
    pictures.Clear(1);
    EXPECT_EQ(Poll(*c), kTime + kDate);
    pictures.Add(1, reinterpret_cast<const uint8_t*>("three"), 5, 352, 288, "");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(5) + "three");
}

// The recorder compresses a camera nobody records only while a viewer asks for it: a poll asks
// for the cameras it may get, and a picture left from before the asking is never sent as live.
TEST_F(TcpServerTest, APollAsksForItsCamerasAndAPictureFromBeforeIsNotSent) {
    pictures.SetAskedFor(std::chrono::milliseconds(300));
    NewPicture(1, "old");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    auto c = Connect();
    std::string selection(16, '\0');
    selection[0] = selection[1] = 1;  // camera 2: no right
    EXPECT_FALSE(pictures.Asked(1));
    c->Send("@svc\n" + selection);
    EXPECT_EQ(Poll(*c), kTime + kDate) << "the picture was left from before";
    EXPECT_TRUE(pictures.Asked(1));
    EXPECT_FALSE(pictures.Asked(2)) << "a camera the user may not view is never asked for";
    NewPicture(1, "live");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(4) + "live");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(pictures.Asked(1)) << "nobody asked since";
}

// Each viewer has its own count of what it was sent: one polling fast takes nothing from another,
// and a viewer that polls seldom gets the newest picture, once.
TEST_F(TcpServerTest, EveryClientGetsEachNewPictureOnce) {
    auto a = Connect();
    auto b = Connect();
    std::string selection(16, '\0');
    selection[0] = 1;
    a->Send("@svc\n" + selection);
    b->Send("@svc\n" + selection);
    NewPicture(1, "frame");
    EXPECT_EQ(Poll(*a).size(), 21u + 8 + 5);
    EXPECT_EQ(Poll(*a).size(), 21u);
    EXPECT_EQ(Poll(*b).size(), 21u + 8 + 5);
    NewPicture(1, "later");
    NewPicture(1, "newer");
    EXPECT_EQ(Poll(*b), kTime + kDate + Le32(1) + Le32(5) + "newer");
    EXPECT_EQ(Poll(*a), kTime + kDate + Le32(1) + Le32(5) + "newer");
    EXPECT_EQ(Poll(*b).size(), 21u);
}

// Viewers polling on their own threads while the recorder adds pictures: a poll with nothing new
// waits for the next picture, and every viewer gets every picture once, in order. The next picture
// comes only once every viewer has had the last, as from a board that waits for them.
TEST_F(TcpServerTest, ViewersPollingTogetherGetEveryPictureOnce) {
    constexpr int kViewers = 4, kPictures = 30;
    std::vector<std::unique_ptr<TestClient>> clients;
    std::string selection(16, '\0');
    selection[2] = 1;
    for (int i = 0; i < kViewers; ++i) {
        clients.push_back(Connect());
        clients.back()->Send("@svc\n" + selection);
    }
    std::atomic<int> had[kViewers] = {};
    std::vector<std::vector<int>> got(kViewers);
    std::vector<std::thread> viewers;
    for (int i = 0; i < kViewers; ++i)
        viewers.emplace_back([&, i] {
            for (int polls = 0; had[i] < kPictures && polls < 1000; ++polls) {
                const std::string payload = Poll(*clients[i]);
                for (size_t at = 21; at + 8 <= payload.size();) {
                    uint32_t size = 0;
                    std::memcpy(&size, payload.data() + at + 4, 4);
                    got[i].push_back(std::stoi(payload.substr(at + 8, size)));
                    at += 8 + size;
                    had[i] = got[i].back();
                }
            }
        });
    for (int n = 1; n <= kPictures; ++n) {
        const std::string text = std::to_string(n);
        if (pictures.Count(3) == FrameBatch::kSlots)
            pictures.Clear(3);  // as the recorder does with a batch written
        pictures.Add(3, reinterpret_cast<const uint8_t*>(text.data()), text.size(), 352, 288, "");
        for (int i = 0; i < kViewers; ++i)
            for (int wait = 0; had[i] < n && wait < 10000; ++wait)
                std::this_thread::sleep_for(1ms);
    }
    for (auto& t : viewers)
        t.join();
    std::vector<int> all(kPictures);
    std::iota(all.begin(), all.end(), 1);
    for (int i = 0; i < kViewers; ++i)
        EXPECT_EQ(got[i], all) << "viewer " << i;
}

// A connection that never logs in, and one logged in that falls silent, are closed and their
// slots come back; a viewer polling now and then stays.
TEST_F(TcpServerTest, SilentConnectionsAreClosedAndTheirSlotsComeBack) {
    ServerLinks links = Links();
    links.LoginTime = 300ms;
    links.IdleTime = 600ms;
    std::atomic<int> clients{0};
    TTcpServer quick(links, clients);
    quick.SetPort(0);
    ASSERT_TRUE(quick.Start());
    TestClient idle(quick.BoundPort()), silent(quick.BoundPort()), polling(quick.BoundPort());
    for (TestClient* c : {&idle, &silent, &polling})
        EXPECT_EQ(c->Line(), "KEL2.0\r\n");
    EXPECT_EQ(silent.LogIn("jan", "tajne").size(), 16u);
    EXPECT_EQ(polling.LogIn("jan", "tajne").size(), 16u);
    EXPECT_TRUE(idle.ClosedByServer()) << "no login in time";
    for (int i = 0; i < 12; ++i) {  // 1.2 s: twice the idle time, a poll every 100 ms
        polling.Send("@gst\n");
        EXPECT_EQ(polling.Read(10).size(), 10u);
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(silent.ClosedByServer()) << "silent past the idle time";
    for (int i = 0; i < 100 && clients.load() != 1; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(clients.load(), 1) << "only the polling viewer holds a slot";
}

// A viewer that asks and never reads is closed once the server's replies have waited the send
// time, whatever it was asked; and one address holds only a few of the slots.
TEST_F(TcpServerTest, AClientThatNeverReadsIsClosedAndOneAddressHoldsAFewSlots) {
    ServerLinks links = Links();
    links.SendTime = 300ms;
    links.PerAddress = 3;
    std::atomic<int> clients{0};
    TTcpServer quick(links, clients);
    quick.SetPort(0);
    ASSERT_TRUE(quick.Start());
    TestClient hog(quick.BoundPort());
    EXPECT_EQ(hog.Line(), "KEL2.0\r\n");
    EXPECT_EQ(hog.LogIn("jan", "tajne").size(), 16u);
    std::string asks;
    for (int i = 0; i < 8000; ++i)  // 8 MB of camera tables asked for, none read
        asks += "@gcd\n";
    EXPECT_TRUE(hog.Send(asks));
    for (int i = 0; i < 1000 && clients.load() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(clients.load(), 0) << "its slot is free again";
    TestClient stranger(quick.BoundPort());  // the same, with what is answered before a login
    EXPECT_EQ(stranger.Line(), "KEL2.0\r\n");
    std::string times;
    for (int i = 0; i < 1000000; ++i)  // 10 MB of times asked for, none read
        times += "@gst\n";
    stranger.Send(times);
    for (int i = 0; i < 1000 && clients.load() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(clients.load(), 0) << "nor is one that is not logged in";

    std::vector<std::unique_ptr<TestClient>> three;
    for (int i = 0; i < 3; ++i) {
        three.push_back(std::make_unique<TestClient>(quick.BoundPort()));
        EXPECT_EQ(three.back()->Line(), "KEL2.0\r\n");
    }
    TestClient fourth(quick.BoundPort());
    EXPECT_EQ(fourth.Line(), "@nas\r\n");
    three.pop_back();
    for (int i = 0; i < 100 && clients.load() != 2; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(TestClient(quick.BoundPort()).Line(), "KEL2.0\r\n") << "a slot the address gave back";
}

// Wrong passwords: each refusal is logged with the login and never the password, the third in a
// row closes the connection, and a client connecting again and again fills the log with at most a
// few lines.
TEST_F(TcpServerTest, RefusedLoginsAndConnectionFloodsKeepTheLogInBounds) {
    auto c = Connect(false);
    for (int i = 0; i < 3; ++i) {
        c->Send("@gud\njan\nsecret" + std::to_string(i) + "\n");
        EXPECT_EQ(c->Line(), "@nou\r\n");
    }
    EXPECT_TRUE(c->ClosedByServer());
    EXPECT_EQ(Notes("log:Odmowa logowania uzytkownika \"jan\" z adresu : 127.0.0.1"), 3);
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& n : notes)
            EXPECT_EQ(n.find("secret"), std::string::npos) << n;
    }
    for (int i = 0; i < 40; ++i)
        TestClient(server.BoundPort()).Line();
    ASSERT_TRUE(WaitForClients(0));
    EXPECT_EQ(Notes("log:Podlaczono Klienta Sieciowego z adresu : 127.0.0.1"), PeerGuard::kLinesPerWindow);
}

TEST_F(TcpServerTest, CommandWordsMatchInAnyCaseAndWithATail) {
    auto c = Connect();
    for (const char* line : {"@GCS\n", "@gcs ignored words\r\n", "@GcS\r\n"}) {
        c->Send(line);
        EXPECT_EQ(c->Line(), "@ufo\r\n") << line;
        EXPECT_EQ(c->Read(c->Be32()).size(), 21u);
    }
    c->Send("\n\r\n@gfl\n");  // empty lines are skipped
    EXPECT_EQ(c->Line(), "@ufo\r\n");
    EXPECT_EQ(c->Read(4), Le32(7));
    c->Send("@gcsx\n@gst\n");
    EXPECT_TRUE(c->ClosedByServer()) << "a line naming no command ends the connection without a reply";
}

TEST_F(TcpServerTest, TheTimeIsExactlyTenBytesWithOrWithoutALogin) {
    auto stranger = Connect(false);
    stranger->Send("@gst\n@gcs\n");
    EXPECT_EQ(stranger->Read(10), kTime) << "the time needs no login";
    EXPECT_EQ(stranger->Line(), "@nou\r\n");
    auto c = Connect();
    c->Send("@gst\n@gcs\n");
    EXPECT_EQ(c->Read(10), kTime);
    EXPECT_EQ(c->Line(), "@ufo\r\n") << "nothing between the time and the next reply";
}

TEST_F(TcpServerTest, LoginRefusalsAndTheOtherCommands) {
    // Before a login: each command that needs one is refused and the connection stays; the
    // selection sent before the login holds after it.
    auto c = Connect(false);
    std::string selection(16, '\0');
    selection[0] = 1;
    c->Send("@svc\n" + selection);
    for (const char* command : {"@gcd\n", "@gsg\n", "@GFL\n", "@gcs\n", "@gcd extra\n"}) {
        c->Send(command);
        EXPECT_EQ(c->Line(), "@nou\r\n") << command << " before a login";
    }
    c->Send("@gud\n\n\n");
    EXPECT_EQ(c->Line(), "@nou\r\n") << "empty credentials never match";
    c->Send("@gud\njan\nTAJNE\n");
    EXPECT_EQ(c->Line(), "@nou\r\n");
    EXPECT_EQ(c->LogIn("jan", "tajne").size(), 16u);
    NewPicture(1, "seen");
    EXPECT_EQ(Poll(*c), kTime + kDate + Le32(1) + Le32(4) + "seen") << "the selection from before the login";
    c->Send("@gud\njan\nwrong\n");
    EXPECT_EQ(c->Line(), "@nou\r\n");
    // Bytes code page 1250 leaves undefined are not the "?" a conversion would make of them.
    TUserTable users{};
    UserFields ola;
    ola.Login = "ola";
    ola.Password = "?";
    ola.StoreInto(users[1]);
    tables.SetUsers(users);
    c->Send("@gud\nola\n\x98\n");
    EXPECT_EQ(c->Line(), "@nou\r\n");
    EXPECT_EQ(c->LogIn("ola", "?").size(), 16u);

    // Still logged in after the refusal.
    c->Send("@gcd\n");
    EXPECT_EQ(c->Line(), "@ufo\r\n");
    ASSERT_EQ(c->Be32(), 1024u);
    TCameraTable cameras = tables.Cameras();
    EXPECT_EQ(c->Read(1024), std::string(reinterpret_cast<const char*>(cameras.data()), 1024));
    EXPECT_EQ(Notes("debug:GetConfigData message recived"), 3) << "also for a client that is not in";

    signal[1] = 1;
    signal[16] = 1;
    c->Send("@gsg\n");
    EXPECT_EQ(c->Line(), "@ufo\r\n");
    EXPECT_EQ(c->Read(64), Le32(1) + std::string(56, '\0') + Le32(1));
}

TEST_F(TcpServerTest, ALineLongerThanTheLimitEndsTheConnection) {
    auto c = Connect();
    std::string longest = "@gst " + std::string(16384 - 5, 'x');
    c->Send(longest + "\r\n");
    EXPECT_EQ(c->Read(10), kTime) << "16384 bytes and the CR LF are still a line";
    c->Send("@gst " + std::string(16385 - 5, 'x') + "\n");
    EXPECT_TRUE(c->ClosedByServer());
    EXPECT_TRUE(WaitForClients(0));
}

TEST_F(TcpServerTest, TheHundredAndFirstClientIsTurnedAwayWhileTheOthersWork) {
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 100; ++i)
        clients.push_back(Connect());
    EXPECT_EQ(count.load(), 100);
    TestClient extra(server.BoundPort());
    EXPECT_EQ(extra.Line(), "@nas\r\n");
    EXPECT_TRUE(extra.ClosedByServer());
    for (auto& c : clients) {
        c->Send("@gst\n");
        EXPECT_EQ(c->Read(10), kTime);
    }
    EXPECT_EQ(count.load(), 100);
    EXPECT_EQ(Notes("log:Podlaczono Klienta Sieciowego z adresu : 127.0.0.1"), PeerGuard::kLinesPerWindow)
        << "one address gets a few connection lines a minute";

    // A freed slot is taken again, and its new owner starts logged out.
    clients[0]->LogIn("jan", "tajne");
    clients[0].reset();
    ASSERT_TRUE(WaitForClients(99));
    auto again = Connect(false);
    again->Send("@gcs\n");
    EXPECT_EQ(again->Line(), "@nou\r\n");
}

TEST_F(TcpServerTest, AClientLeavingInTheMiddleOfACommandFreesItsSlot) {
    auto selecting = Connect();
    selecting->Send("@svc\n12345");
    auto loggingIn = Connect(false);
    loggingIn->Send("@gud\njan\n");
    ASSERT_TRUE(WaitForClients(2));
    selecting.reset();
    loggingIn.reset();
    EXPECT_TRUE(WaitForClients(0));
    EXPECT_EQ(Notes("log:Zakonczono polaczenie z adresem : 127.0.0.1"), 2);
    EXPECT_EQ(Notes("debug:Canceled connection from peer: 127.0.0.1"), 2);
    EXPECT_EQ(Notes("debug:Established Connection with peer: 127.0.0.1"), 2);
}

TEST_F(TcpServerTest, StoppingEndsEveryConnection) {
    auto a = Connect();
    auto b = Connect();
    b->Send("@svc\n");  // waiting for the selection bytes
    ASSERT_TRUE(WaitForClients(2));
    server.Stop();
    EXPECT_EQ(count.load(), 0);
    EXPECT_TRUE(a->ClosedByServer());
    EXPECT_TRUE(b->ClosedByServer());
    EXPECT_FALSE(TestClient(server.BoundPort()).Connected());
}

TEST_F(TcpServerTest, APortInUseIsReportedWithItsReason) {
    std::atomic<int> otherCount{0};
    TTcpServer other(Links(), otherCount);
    other.SetPort(server.BoundPort());
    EXPECT_FALSE(other.Start());
    EXPECT_NE(other.ErrorText().find("Address already in use"), std::string::npos) << other.ErrorText();
    EXPECT_FALSE(other.Active());
}

// A guesser of one account: ten wrong passwords within 15 minutes lock it for 15 minutes, even
// for the right password, with one alarm; the lock ends by itself.
TEST_F(TcpServerTest, AnAccountGuessedTenTimesIsRefusedEvenWithTheRightPasswordForFifteenMinutes) {
    for (int i = 0; i < AccountGuard::kFailures; ++i) {
        auto c = Connect(false);
        c->Send("@gud\njan\nzgadywane" + std::to_string(i) + "\n");
        EXPECT_EQ(c->Line(), "@nou\r\n");
    }
    EXPECT_EQ(Notes("alert:" + AccountLockedText("jan")), 1);
    auto c = Connect(false);
    c->Send("@gud\njan\ntajne\n");
    EXPECT_EQ(c->Line(), "@nou\r\n");  // (its log line is over the address's ten a minute)
    accountMinutes += 15;
    EXPECT_EQ(c->LogIn("jan", "tajne").size(), 16u);
    EXPECT_EQ(Notes("alert:" + AccountLockedText("jan")), 1);
}

// The hash is what is checked: a Polish password's code page 1250 bytes, never the marker a
// reader of the store sees; and an administrator whose password is weak is refused with the reason.
TEST_F(TcpServerTest, HashedPasswordsAreCheckedByTheirBytesAndAWeakAdministratorIsRefused) {
    auto accounts = std::make_unique<UserAccounts>();
    UserFields f;
    f.Login = "Łucja";
    f.Password = "hasło-żółw";
    f.Cam[0] = true;
    f.StoreInto(*accounts, 0);
    UserFields admin;
    admin.Login = "kel";
    admin.Password = "qxv";
    admin.Config = true;
    admin.StoreInto(*accounts, 1);
    tables.SetAccounts(*accounts);
    auto c = Connect(false);
    c->Send("@gud\n" + ToCp1250("Łucja") + "\n" + accounts->users[0].Password.Get() + "\n");
    EXPECT_EQ(c->Line(), "@nou\r\n");
    EXPECT_EQ(c->LogIn(ToCp1250("Łucja"), ToCp1250("hasło-żółw")).size(), 16u);
    auto d = Connect(false);
    d->Send("@gud\nkel\nqxv\n");
    EXPECT_EQ(d->Line(), "@nou\r\n");
    EXPECT_EQ(Notes(std::string("log:Odmowa logowania uzytkownika \"kel\": ") + kWeakPasswordReason +
                    "; adres : 127.0.0.1"),
              1);
}

}  // namespace
}  // namespace kel
