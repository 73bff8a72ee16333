#include "core/remote_links.h"

namespace kel {

namespace {
constexpr const char* kSys = "SYS";
}

RemoteLinks::RemoteLinks(TShared& shared, TLog& log, DebugLines& debug, const Clock& clock,
                         std::function<void(std::function<void()>)> onWindowThread)
    : shared_(shared), log_(log), debug_(debug), clock_(clock), on_window_thread_(std::move(onWindowThread)),
      server_log_(clock) {}

RemoteLinks::~RemoteLinks() {
    server_.reset();
}

void RemoteLinks::Start(TSaveThread& recorder, const ServerView& settings,
                        std::function<void(const std::string&, const char*, const std::string&)> audit) {
    ServerLinks links{
        shared_.CameraSignal, &recorder.Batch(), tables_,
        [archive = &recorder.Archive()] { return static_cast<uint32_t>(archive->IndexedCount()); },
        [this](const std::string& text) { server_log_.Write(kSys, text); },
        // The debug window is reached through the window thread, as every widget is.
        [this](const std::string& text) { on_window_thread_([this, text] { debug_.AddLine(text); }); },
        clock_};
    links.Audit = std::move(audit);
    server_ = std::make_unique<TTcpServer>(std::move(links), shared_.ClientCount);
    Share(settings);
    Listen(settings);
}

void RemoteLinks::Restart(const ServerView& settings) {
    if (!server_)
        return;
    server_->Stop();
    Listen(settings);
}

void RemoteLinks::Listen(const ServerView& settings) {
    server_->SetPort(settings.Port());
    if (!settings.On())
        return;
    if (server_->Start())
        log_.Write(kSys, "Uruchomiono serwer TCP na porcie " + std::to_string(settings.Port()));
    else
        log_.Error(kSys, "Nie mozna uruchomic serwera TCP na porcie " + std::to_string(settings.Port()) +
                             ": " + server_->ErrorText());
}

void RemoteLinks::Stop() {
    if (server_)
        server_->Stop();
}

}  // namespace kel
