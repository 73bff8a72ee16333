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
    web_.reset();
    server_.reset();
    moves_.reset();
}

void RemoteLinks::MakeWeb(std::function<int32_t(int)> ptzAddress, std::function<void(int, int)> ptz,
                          std::function<void(const std::string&, const char*, const std::string&)> audit) {
    moves_ = std::make_unique<RemotePtzHold>(std::move(ptz));
    WebLinks links{shared_.LiveFrame,
                   shared_.CameraSignal,
                   shared_.RecordingNow,
                   shared_.MotionShown,
                   tables_,
                   shared_.WebWatched,
                   [this](const std::string& text) { server_log_.Write(kSys, text); },
                   std::move(audit),
                   std::move(ptzAddress),
                   [this](int camera, int kind) { moves_->Press(camera, kind); }};
    links.WorkDir = shared_.WorkDir;
    links.Accounts = &accounts_;
    links.Alert = [this](const std::string& text) { Alert(text); };
    web_ = std::make_unique<WebServer>(std::move(links));
}

void RemoteLinks::StartWeb(const WebView& settings) {
    if (!web_)
        return;
    web_->Stop();
    if (!settings.On())
        return;
    WebServer::Settings how;
    how.port = settings.Port();
    how.tls = settings.Tls();
    how.certFile = settings.Cert();
    how.keyFile = settings.Key();
    how.ownDir = shared_.WorkDir.empty() ? std::string(".") : shared_.WorkDir;
    const std::string where =
        std::to_string(settings.Port()) + (settings.Tls() ? " (HTTPS)" : " (HTTP, tylko 127.0.0.1)");
    if (web_->Start(how))
        log_.Write(kSys, "Uruchomiono serwer WWW na porcie " + where);
    else
        log_.Error(kSys, "Nie mozna uruchomic serwera WWW na porcie " + where + ": " + web_->ErrorText());
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
    links.Accounts = &accounts_;
    links.Alert = [this](const std::string& text) { Alert(text); };
    server_ = std::make_unique<TTcpServer>(std::move(links), shared_.ClientCount);
    Share(settings);
    Listen(settings);
}

void RemoteLinks::Alert(const std::string& text) {
    on_window_thread_([this, text] {
        if (alert_)
            alert_(text);
    });
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
    if (web_)
        web_->Stop();
    if (server_)
        server_->Stop();
}

void RemoteLinks::StopMoves(const std::function<void(int camera, int kind)>& via) {
    if (moves_)
        moves_->StopAll(via);
}

}  // namespace kel
