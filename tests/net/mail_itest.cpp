// E-mail through libcurl to a real SMTP server (aiosmtpd on loopback with smtp_sink.py printing
// what it receives),
// and to a server that accepts connections and never answers.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "config/setting_limits.h"
#include "net/curl_mail_sender.h"
#include "net/mail_notifier.h"
#include "net/test_client.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

// A listening loopback socket on a free port. The kernel completes connections to it, but no one
// ever reads or answers: a server that went silent.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    // True once a client has connected (and waits, unanswered, in the queue).
    bool WaitForCaller() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 10000) == 1;
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class MailTest : public ::testing::Test {
protected:
    // Starts aiosmtpd on a port that was free a moment ago and waits until it answers.
    void StartSmtp(const std::string& handler = "smtp_sink.Sink") {
        port = SilentServer().Port();
        smtp = std::make_unique<Process>(
            "/usr/bin/python3",
            std::vector<std::string>{"-m", "aiosmtpd", "-n", "-c", handler, "-l",
                                     "127.0.0.1:" + std::to_string(port)},
            std::vector<std::string>{"PYTHONUNBUFFERED=1", "PYTHONPATH=" KEL_NET_TEST_DIR},
            dir.File("smtp.out"), dir.File("smtp.err"));
        for (int i = 0; i < 500; ++i) {
            TestClient probe(port);
            if (probe.Connected() && probe.Line().rfind("220", 0) == 0)
                return;
            std::this_thread::sleep_for(20ms);
        }
        FAIL() << "aiosmtpd did not start: " << smtp->Err();
    }
    // What the sink printed once `messages` messages have arrived.
    std::string Received(int messages = 1) {
        for (int i = 0; i < 500; ++i) {
            std::string out = smtp->Out();
            size_t n = 0;
            for (size_t p = out.find("END MESSAGE"); p != std::string::npos;
                 p = out.find("END MESSAGE", p + 1))
                ++n;
            if (static_cast<int>(n) >= messages)
                return out;
            std::this_thread::sleep_for(20ms);
        }
        return smtp->Out();
    }
    MailMessage Notice(const std::string& target, const std::string& body) {
        return MailMessage{"127.0.0.1", "-", "sekret-haslo", target, TMailNotifier::kNoticeSubject, body};
    }

    TempDir dir;
    int port = 0;
    std::unique_ptr<Process> smtp;
};

TEST_F(MailTest, OneMessageReachesTwoRecipientsWithItsHeaders) {
    StartSmtp();
    CurlMailSender sender(port);
    std::string error;
    ASSERT_TRUE(sender.Send(
        Notice("a@example.org, b@example.org", TMailNotifier::AddressChangeText("10.1.2.3")), error))
        << error;
    std::string out = Received();
    EXPECT_NE(out.find("GREETING: EHLO\nMAIL FROM: rejestrator@kel-system.local\n"
                       "RCPT TO: a@example.org,b@example.org\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Subject: Komunikat Systemu KEL 2.0"), std::string::npos) << out;
    EXPECT_NE(out.find("Content-Type: text/plain; charset=windows-1250"), std::string::npos) << out;
    EXPECT_NE(out.find("Message-ID: <"), std::string::npos) << out;
    EXPECT_NE(out.find("Date: "), std::string::npos) << out;
    EXPECT_NE(out.find("Zmiana Adresu IP na:10.1.2.3"), std::string::npos) << out;
    EXPECT_EQ(out.find("sekret-haslo"), std::string::npos) << "no account: no authentication is sent";
    EXPECT_EQ(out.find("END MESSAGE", out.find("END MESSAGE") + 1), std::string::npos)
        << "exactly one message";
}

TEST_F(MailTest, AServerWithoutEhloIsGreetedWithHelo) {
    StartSmtp("smtp_sink.NoEhloSink");
    CurlMailSender sender(port);
    std::string error;
    ASSERT_TRUE(sender.Send(Notice("a@example.org", "x"), error)) << error;
    EXPECT_NE(Received().find("GREETING: HELO\n"), std::string::npos) << smtp->Out();
}

TEST_F(MailTest, TheNotifierSendsTheStartupNoticeOffTheCallersThread) {
    StartSmtp();
    CurlMailSender sender(port);
    TMailNotifier notifier(sender);
    std::promise<std::pair<bool, std::string>> result;
    std::thread::id caller = std::this_thread::get_id(), worker;
    notifier.Post(Notice("operator@example.org",
                         TMailNotifier::StartupText(LocalTime{2004, 5, 6, 9, 5, 7, 4}, "192.168.0.10")),
                  [&](bool sent, const std::string& error) {
                      worker = std::this_thread::get_id();
                      result.set_value({sent, error});
                  });
    auto [sent, error] = result.get_future().get();
    EXPECT_TRUE(sent) << error;
    EXPECT_NE(worker, caller);
    EXPECT_NE(Received().find("2004-05-06 - 09:05:07 : Uruchomienie Systemu KEL 2.0 IP: 192.168.0.10"),
              std::string::npos)
        << smtp->Out();
}

TEST_F(MailTest, ASilentServerTimesOutWithoutHoldingUpTheCaller) {
    SilentServer silent;
    CurlMailSender sender(silent.Port(), 1s, 1s);
    TMailNotifier notifier(sender);
    std::promise<std::pair<bool, std::string>> result;
    notifier.Post(Notice("operator@example.org", "x"), [&](bool sent, const std::string& error) {
        result.set_value({sent, error});
    });
    EXPECT_FALSE(notifier.Idle()) << "Post returns while the message is still on its way";
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
    auto [sent, error] = future.get();
    EXPECT_FALSE(sent);
    EXPECT_EQ(error, "Serwer poczty 127.0.0.1:" + std::to_string(silent.Port()) + " nie odpowiada");
}

TEST_F(MailTest, TheEndOfTheProgramDoesNotWaitOutASilentServer) {
    SilentServer silent;
    CurlMailSender sender(silent.Port(), 60s, 60s);
    std::promise<std::string> result;
    {
        TMailNotifier notifier(sender);
        notifier.Post(Notice("operator@example.org", "x"),
                      [&](bool, const std::string& error) { result.set_value(error); });
        ASSERT_TRUE(silent.WaitForCaller());
    }
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(0s), std::future_status::ready) << "the attempt ended with the notifier";
    EXPECT_EQ(future.get(), "Wysyłanie wiadomości przerwano");
}

TEST_F(MailTest, FailuresCarryTheirReason) {
    CurlMailSender sender(SilentServer().Port());  // nobody listens there any more
    std::string error;
    EXPECT_FALSE(sender.Send(Notice("a@example.org", "x"), error));
    EXPECT_EQ(error.rfind("Nie można połączyć się z serwerem poczty 127.0.0.1:", 0), 0u) << error;

    MailMessage noServer = Notice("a@example.org", "x");
    noServer.server = "";
    EXPECT_FALSE(sender.Send(noServer, error));
    EXPECT_EQ(error, "Brak nazwy serwera SMTP");
    MailMessage unknown = Notice("a@example.org", "x");
    unknown.server = "-";
    EXPECT_FALSE(sender.Send(unknown, error));
    EXPECT_FALSE(error.empty());
}

// Today's servers: STARTTLS before anything else, then the account's login. The server is given
// as "host:port"; its certificate is checked; a wrong password, an untrusted certificate and a
// server without TLS each fail with their reason in Polish (with the server's reply where it gave
// one), and the password never goes out in the clear.
TEST_F(MailTest, StartTlsAndTheAccountsLoginReachTodaysServers) {
    const std::string cert = dir.File("cert.pem"), key = dir.File("key.pem");
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                           "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                           key + "' -out '" + cert + "' 2>/dev/null")
                              .c_str()),
              0);
    port = SilentServer().Port();
    smtp = std::make_unique<Process>(
        "/usr/bin/python3",
        std::vector<std::string>{KEL_NET_TEST_DIR "/smtp_tls_server.py", std::to_string(port), cert, key,
                                 "konto", "sekret-haslo"},
        std::vector<std::string>{"PYTHONUNBUFFERED=1", "PYTHONPATH=" KEL_NET_TEST_DIR}, dir.File("smtp.out"),
        dir.File("smtp.err"));
    for (int i = 0; i < 500 && smtp->Out().find("READY") == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(smtp->Out().find("READY"), std::string::npos) << smtp->Err();

    CurlMailSender sender;  // port 25 unless the server says otherwise
    sender.SetCaFile(cert);
    MailMessage m = Notice("a@example.org", "przez TLS");
    m.server = "127.0.0.1:" + std::to_string(port);
    m.user = "konto";
    std::string error;
    ASSERT_TRUE(sender.Send(m, error)) << error;
    const std::string out = Received();
    EXPECT_NE(out.find("accepted"), std::string::npos) << out;
    EXPECT_NE(out.find("przez TLS"), std::string::npos) << out;

    const std::string where = "127.0.0.1:" + std::to_string(port);
    m.password = "zle-haslo";
    EXPECT_FALSE(sender.Send(m, error));
    EXPECT_EQ(
        error.rfind("Serwer poczty odrzucił logowanie (sprawdź użytkownika i hasło)\nOdpowiedź serwera: 535",
                    0),
        0u)
        << error;
    CurlMailSender untrusting;
    m.password = "sekret-haslo";
    EXPECT_FALSE(untrusting.Send(m, error));
    EXPECT_EQ(error, "Certyfikat serwera poczty " + where + " nie jest zaufany");

    StartSmtp();  // a server without TLS: the account's password is never sent to it
    m.server = "127.0.0.1:" + std::to_string(port);
    EXPECT_FALSE(sender.Send(m, error));
    EXPECT_EQ(error, "Serwer poczty 127.0.0.1:" + std::to_string(port) +
                         " nie oferuje szyfrowania (STARTTLS), a bez niego hasło nie jest wysyłane");
    EXPECT_EQ(smtp->Out().find("sekret-haslo"), std::string::npos);
}

TEST(MailServerTest, HostOrHostAndPort) {
    const struct {
        const char* server;
        bool ok;
        const char* host;
        int port;
    } rows[] = {{"poczta.pl", true, "poczta.pl", 25},
                {" poczta.pl:587 ", true, "poczta.pl", 587},
                {"poczta.pl:0", false, "poczta.pl", 0},
                {"poczta.pl:x", false, "poczta.pl", 25},
                {":25", false, "", 25},
                {"poczta.pl:99999", false, "poczta.pl", 99999}};
    for (const auto& r : rows) {
        std::string host;
        int port = 0;
        EXPECT_EQ(SplitMailServer(r.server, 25, host, port), r.ok) << r.server;
        if (r.ok) {
            EXPECT_EQ(std::make_pair(host, port), std::make_pair(std::string(r.host), r.port)) << r.server;
        }
    }
}

TEST(MailComposeTest, TheBodyIsCodePage1250WithItsCharset) {
    MailMessage m{"smtp", "", "", "a@x.pl,b@y.pl", "Test Systemu KEL 2.0", "Użycie żółć"};
    std::string text = CurlMailSender::Compose(m, "Mon, 7 Dec 2026 10:00:00 +0100", "<1@k>");
    EXPECT_EQ(
        text.substr(0, text.find("\r\n\r\n")),
        "Date: Mon, 7 Dec 2026 10:00:00 +0100\r\nFrom: <rejestrator@kel-system.local>\r\n"
        "To: a@x.pl, b@y.pl\r\nSubject: Test Systemu KEL 2.0\r\nMessage-ID: <1@k>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=windows-1250\r\nContent-Transfer-Encoding: 8bit");
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "U\xbfycie \xbf\xf3\xb3\xe6\r\n");
}

TEST(MailComposeTest, APictureGoesBesideTheTextAsABase64Attachment) {
    MailMessage m{"smtp", "", "", "a@x.pl", "Komunikat", "Ruch na kamerze 1"};
    m.pictureName = "Kamera1.jpg";
    for (int i = 0; i < 200; ++i)
        m.picture.push_back(static_cast<char>(i * 7));
    const std::string text = CurlMailSender::Compose(m, "Mon, 7 Dec 2026 10:00:00 +0100", "<42.7@kel>");
    EXPECT_NE(text.find("Content-Type: multipart/mixed; boundary=\"=_kel_427kel\"\r\n\r\n--=_kel_427kel\r\n"
                        "Content-Type: text/plain; charset=windows-1250\r\n"),
              std::string::npos)
        << text;
    const std::string head =
        "Content-Type: image/jpeg; name=\"Kamera1.jpg\"\r\nContent-Disposition: attachment; "
        "filename=\"Kamera1.jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    const size_t at = text.find(head);
    ASSERT_NE(at, std::string::npos) << text;
    const size_t end = text.find("--=_kel_427kel--\r\n");
    ASSERT_NE(end, std::string::npos);
    std::string encoded = text.substr(at + head.size(), end - at - head.size());
    size_t longest = 0;
    for (size_t from = 0, eol; (eol = encoded.find("\r\n", from)) != std::string::npos; from = eol + 2)
        longest = std::max(longest, eol - from);
    EXPECT_LE(longest, 76u);
    std::erase(encoded, '\r');
    std::erase(encoded, '\n');
    std::string decoded(encoded.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                  reinterpret_cast<const unsigned char*>(encoded.data()),
                                  static_cast<int>(encoded.size()));
    ASSERT_GE(n, 200);
    EXPECT_EQ(decoded.substr(0, 200), m.picture) << "the picture comes back whole";
}

}  // namespace
}  // namespace kel
