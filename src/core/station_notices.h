#pragma once
// The notices the station sends by e-mail: at the start, for every new address the watcher reads,
// and the configuration dialog's test message. The address watcher and the mail notifier sit on
// the window from its creation on; a message goes out on the notifier's thread and a failed
// notice is dropped silently (the test's outcome goes to whoever asked for it).
//
// Window thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/config_views.h"
#include "core/log.h"
#include "core/shared.h"
#include "net/curl_mail_sender.h"
#include "net/ip_monitor.h"
#include "net/mail_notifier.h"

namespace kel {

class StationNotices {
public:
    StationNotices(TShared& shared, TLog& log);
    ~StationNotices();

    // The mail port and the address lookup (tests set their own before Start).
    void SetMailSender(MailSender& sender) { mail_sender_ = &sender; }
    void SetAddressLookup(std::function<std::string()> lookup) { address_lookup_ = std::move(lookup); }

    // The address looked up once into LastIP, the watcher started, the notifier made.
    void Start();
    // The address the start-up notice gives: the watcher's, or until its first reading the one
    // looked up at the start.
    std::string StartupAddress() const;
    // A notice for every new address the watcher has read; one without a reading yet is none.
    void CheckAddress(const MailView& settings);
    // `text` as a notice when notifications are on.
    void Send(const MailView& settings, const std::string& text);
    // A start of motion on `camera` with its picture (JPEG), when the settings ask for it; at most
    // one a minute per camera (`now` in seconds, any steady scale). True when it was sent.
    bool SendMotion(const MailView& settings, int camera, const std::string& name, const std::string& when,
                    std::string jpeg, int64_t now);
    // The test message, sent off the caller's thread; `done` gets its outcome on the sender's
    // thread. The function returned cancels it.
    std::function<void()> SendTest(const std::string& server, const std::string& user,
                                   const std::string& password, const std::string& target,
                                   TMailNotifier::Done done);
    // The watcher stopped and its history written to the working directory.
    void StopWatcher();
    // A message on its way is cancelled.
    void Close();

    TIpMonitor* IpMonitor() { return ip_monitor_.get(); }

private:
    TShared& shared_;
    TLog& log_;
    CurlMailSender curl_mail_sender_;
    MailSender* mail_sender_ = &curl_mail_sender_;
    std::function<std::string()> address_lookup_ = LocalIPv4;
    std::unique_ptr<TIpMonitor> ip_monitor_;
    std::unique_ptr<TMailNotifier> mail_;
    std::array<int64_t, 17> motion_sent_{};  // per camera: when its last motion message went
};

}  // namespace kel
