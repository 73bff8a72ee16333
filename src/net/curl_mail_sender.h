#pragma once
// MailSender over libcurl, for the mail servers of today: "host" or "host:port" (25 by default,
// 465 is TLS from the start), STARTTLS whenever the server offers it, and the account's login
// when one is set, which is then never sent without TLS. EHLO with libcurl's own fall-back to
// HELO, all recipients in one message. The connect time-out covers the TCP connect, the server's
// greeting and EHLO; the reply time-out bounds every later answer, so a server that accepts and
// then says nothing ends the attempt. Failures are told in Polish, with the server's own last
// reply where it gave one.

#include <atomic>
#include <chrono>
#include <string>

#include "net/mail_sender.h"

namespace kel {

class CurlMailSender : public MailSender {
public:
    static constexpr const char* kSender = "rejestrator@kel-system.local";
    static constexpr int kPort = 25;

    explicit CurlMailSender(int port = kPort, std::chrono::seconds connectTimeout = std::chrono::seconds(10),
                            std::chrono::seconds replyTimeout = std::chrono::seconds(30));
    bool Send(const MailMessage& message, std::string& error) override;
    void Cancel() override { cancelled_.store(true); }
    // The certificates a server's is checked against (default: the system's). For tests.
    void SetCaFile(std::string file) { ca_file_ = std::move(file); }

    // The whole message text with its headers, CR LF line ends, body in code page 1250.
    static std::string Compose(const MailMessage& message, const std::string& date, const std::string& id);
    // What went wrong, in Polish: the failing step by libcurl's code, then the server's reply.
    static std::string FailureText(int curlCode, const std::string& where, const std::string& reply);

private:
    const int port_;
    const std::chrono::seconds connect_timeout_;
    const std::chrono::seconds reply_timeout_;
    std::string ca_file_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace kel
