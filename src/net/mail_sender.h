#pragma once
// One e-mail and the port that sends it. The station sends through libcurl (CurlMailSender);
// tests give a fake.

#include <atomic>
#include <memory>
#include <string>

namespace kel {

struct MailMessage {
    std::string server;    // "host" or "host:port" (25 when none is given)
    std::string user;      // the account to log in with; empty or "-": none
    std::string password;  // never logged nor shown
    std::string target;    // recipients, comma-separated
    std::string subject;   // UTF-8
    std::string body;      // UTF-8; sent in code page 1250
    // Set by whoever asked for the message (the dialog's cancel): the attempt ends soon.
    std::shared_ptr<const std::atomic<bool>> cancelled{};
    // A JPEG picture sent beside the text under this file name; empty: none.
    std::string pictureName{};
    std::string picture{};
};

class MailSender {
public:
    virtual ~MailSender() = default;
    // Sends `message` in one SMTP connection. False with the failing step's text in `error`.
    virtual bool Send(const MailMessage& message, std::string& error) = 0;
    // Any thread: a Send under way ends soon with a failure, and so does every later one. For the
    // end of the program, which must not wait out a silent server's time-outs.
    virtual void Cancel() {}
};

}  // namespace kel
