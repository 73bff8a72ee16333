// E-mail through libcurl to a real SMTP server (aiosmtpd on loopback with smtp_sink.py printing
// what it receives),
// and to a server that accepts connections and never answers.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

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
        return MailMessage{"127.0.0.1", "konto", "sekret-haslo", target, TMailNotifier::kNoticeSubject, body};
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
    EXPECT_EQ(out.find("sekret-haslo"), std::string::npos) << "no authentication is sent";
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
    EXPECT_NE(error.find("imeout"), std::string::npos) << error;
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
    EXPECT_NE(future.get().find("borted"), std::string::npos);
}

TEST_F(MailTest, FailuresCarryTheirReason) {
    CurlMailSender sender(SilentServer().Port());  // nobody listens there any more
    std::string error;
    EXPECT_FALSE(sender.Send(Notice("a@example.org", "x"), error));
    EXPECT_NE(error.find("onnect"), std::string::npos) << error;

    MailMessage noServer = Notice("a@example.org", "x");
    noServer.server = "";
    EXPECT_FALSE(sender.Send(noServer, error));
    EXPECT_EQ(error, "Brak nazwy serwera SMTP");
    MailMessage unknown = Notice("a@example.org", "x");
    unknown.server = "-";
    EXPECT_FALSE(sender.Send(unknown, error));
    EXPECT_FALSE(error.empty());
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

}  // namespace
}  // namespace kel
