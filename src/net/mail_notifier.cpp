#include "net/mail_notifier.h"

#include "platform/guarded.h"
#include <utility>

namespace kel {

std::string TMailNotifier::StartupText(const LocalTime& now, const std::string& address) {
    return ShortDateText(now) + " - " + LongTimeText(now) + " : Uruchomienie Systemu KEL 2.0 IP: " + address;
}

std::string TMailNotifier::AddressChangeText(const std::string& address) {
    return "Zmiana Adresu IP na:" + address;
}

TMailNotifier::TMailNotifier(MailSender& sender, WorkerThread::Failure failed) : sender_(sender) {
    thread_.Start([this](std::stop_token stop) { Run(stop); }, std::move(failed));
}

TMailNotifier::~TMailNotifier() {
    sender_.Cancel();
    thread_.Stop();
}

void TMailNotifier::Post(MailMessage message, Done done) {
    {
        MutexLock lock(mutex_);
        jobs_.push_back(Job{std::move(message), std::move(done)});
    }
    wake_.notify_one();
}

bool TMailNotifier::Idle() const {
    MutexLock lock(mutex_);
    return jobs_.empty() && !busy_;
}

void TMailNotifier::Run(std::stop_token stop) {
    for (;;) {
        Job job;
        {
            UniqueMutexLock lock(mutex_);
            busy_ = false;
            if (!wake_.wait(lock, stop, [this]() KEL_REQUIRES(mutex_) { return !jobs_.empty(); }))
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
        }
        std::string error;
        bool sent = false;
        try {
            sent = sender_.Send(job.message, error);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (job.done)
            job.done(sent, error);
    }
}

}  // namespace kel
