#pragma once
// One e-mail and the port that sends it. The station sends through libcurl (CurlMailSender);
// tests give a fake.

#include <string>

namespace kel {

struct MailMessage {
    std::string server;    // SMTP host name or address
    std::string user;      // handed over with the settings; the plain SMTP client sends no login
    std::string password;  // likewise; never logged nor shown
    std::string target;    // recipients, comma-separated
    std::string subject;   // UTF-8
    std::string body;      // UTF-8; sent in code page 1250
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
