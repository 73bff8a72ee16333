#pragma once
// MailSender over libcurl: plain SMTP (no TLS, no authentication), EHLO with libcurl's own fall-back
// to HELO, all recipients in one message. The connect time-out covers the TCP connect, the
// server's greeting and EHLO; the reply time-out bounds every later answer, so a server that
// accepts and then says nothing ends the attempt.

#include <atomic>
#include <chrono>

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

    // The whole message text with its headers, CR LF line ends, body in code page 1250.
    static std::string Compose(const MailMessage& message, const std::string& date, const std::string& id);

private:
    const int port_;
    const std::chrono::seconds connect_timeout_;
    const std::chrono::seconds reply_timeout_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace kel
