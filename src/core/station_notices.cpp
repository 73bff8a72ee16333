#include "core/station_notices.h"

namespace kel {

StationNotices::StationNotices(TShared& shared, TLog& log) : shared_(shared), log_(log) {}

StationNotices::~StationNotices() {
    Close();
}

void StationNotices::Start() {
    shared_.SetLastIP(address_lookup_());
    ip_monitor_ = std::make_unique<TIpMonitor>(address_lookup_);
    ip_monitor_->Start();
    mail_ = std::make_unique<TMailNotifier>(
        *mail_sender_, [this](const std::string& what) { log_.Error("SYS", "Blad watku poczty: " + what); });
}

// The watcher's first reading comes 500 ms after the start, usually after this notice: until then
// the address looked up at start-up stands in, so the notice always says where the station is.
std::string StationNotices::StartupAddress() const {
    std::string current = ip_monitor_ ? ip_monitor_->Current() : "";
    return current.empty() ? shared_.LastIP() : current;
}

// A watcher without its first reading yet is no new address: the notice waits for a real one,
// so each change is told exactly once.
void StationNotices::CheckAddress(const MailView& settings) {
    if (!ip_monitor_)
        return;
    const std::string current = ip_monitor_->Current();
    if (current.empty() || current == shared_.LastIP())
        return;
    Send(settings, TMailNotifier::AddressChangeText(current));
    shared_.SetLastIP(current);
}

void StationNotices::Send(const MailView& settings, const std::string& text) {
    if (!settings.On() || !mail_)
        return;
    mail_->Post(MailMessage{settings.Server(), settings.User(), settings.Password(), settings.Target(),
                            TMailNotifier::kNoticeSubject, text});
}

bool StationNotices::SendMotion(const MailView& settings, int camera, const std::string& name,
                                const std::string& when, std::string jpeg, int64_t now) {
    if (!settings.OnMotion() || !mail_ || camera < 1 || camera > 16 || jpeg.empty())
        return false;
    if (motion_sent_[camera] != 0 && now - motion_sent_[camera] < 60)
        return false;
    motion_sent_[camera] = now;
    MailMessage m{settings.Server(),
                  settings.User(),
                  settings.Password(),
                  settings.Target(),
                  TMailNotifier::kNoticeSubject,
                  when + " : Ruch na kamerze " + std::to_string(camera) + " (" + name + ")"};
    m.pictureName = "Kamera" + std::to_string(camera) + ".jpg";
    m.picture = std::move(jpeg);
    mail_->Post(std::move(m));
    return true;
}

std::function<void()> StationNotices::SendTest(const std::string& server, const std::string& user,
                                               const std::string& password, const std::string& target,
                                               TMailNotifier::Done done) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    if (!mail_) {
        done(false, "Wysyłanie wiadomości przerwano");
        return [] {};
    }
    MailMessage m{server, user, password, target, TMailNotifier::kTestSubject, TMailNotifier::kTestBody};
    m.cancelled = cancelled;
    mail_->Post(std::move(m), std::move(done));
    return [cancelled] { cancelled->store(true); };
}

void StationNotices::StopWatcher() {
    if (!ip_monitor_)
        return;
    ip_monitor_->Stop();
    const std::string path = shared_.WorkDir + "/" + TIpMonitor::kHistoryFile;
    if (!ip_monitor_->SaveHistory(path))
        log_.Error("SYS", std::string("Nie mozna zapisac pliku ") + TIpMonitor::kHistoryFile);
}

void StationNotices::Close() {
    ip_monitor_.reset();
    mail_.reset();
}

}  // namespace kel
