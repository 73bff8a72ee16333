#pragma once
// TMailNotifier: sends e-mails on its own thread, one after another, so a slow or silent SMTP
// server never holds up the window thread that asks for them. Notices are not kept: one that
// cannot be delivered is lost, and nothing of its failure is logged.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "net/mail_sender.h"
#include "platform/clock.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

namespace kel {

class TMailNotifier {
public:
    static constexpr const char* kNoticeSubject = "Komunikat Systemu KEL 2.0";
    static constexpr const char* kTestSubject = "Test Systemu KEL 2.0";
    static constexpr const char* kTestBody = "Test Systemu Cyforwej Rejestracji KEL 2.0";

    // Called on the sender's thread with the outcome of one message.
    using Done = std::function<void(bool sent, const std::string& error)>;

    // The notice of a start: "2004-05-06 - 09:05:07 : Uruchomienie Systemu KEL 2.0 IP: 192.168.0.10".
    static std::string StartupText(const LocalTime& now, const std::string& address);
    // The notice of a new address: "Zmiana Adresu IP na:192.168.0.11".
    static std::string AddressChangeText(const std::string& address);

    // `failed` hears what the thread threw outside a message (on the thread).
    explicit TMailNotifier(MailSender& sender, WorkerThread::Failure failed = nullptr);
    // Cancels the message being sent, waits for its attempt to end and drops the rest.
    ~TMailNotifier();
    TMailNotifier(const TMailNotifier&) = delete;
    TMailNotifier& operator=(const TMailNotifier&) = delete;

    // Any thread: queues `message` and returns at once.
    void Post(MailMessage message, Done done = {});
    // Any thread: true while nothing is queued or being sent.
    bool Idle() const;

private:
    struct Job {
        MailMessage message;
        Done done;
    };
    void Run(std::stop_token stop);

    MailSender& sender_;
    mutable Mutex mutex_;
    std::condition_variable_any wake_;  // waits on mutex_
    std::deque<Job> jobs_ KEL_GUARDED_BY(mutex_);
    bool busy_ KEL_GUARDED_BY(mutex_) = false;
    WorkerThread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel
