#pragma once
// The remote viewers' way in: the TCP server with the tables it answers from, and the web view,
// which answers from the same tables. The server reads the recorder's compressed pictures and
// index, so both are stopped before the recorder goes.
//
// Window thread only.

#include <functional>
#include <memory>
#include <string>

#include "config/config_views.h"
#include "core/debug_lines.h"
#include "core/log.h"
#include "core/shared.h"
#include "net/server_tables.h"
#include "net/tcp_server.h"
#include "platform/clock.h"
#include "ptz/remote_hold.h"
#include "recording/save_thread.h"
#include "web/web_server.h"

namespace kel {

class RemoteLinks {
public:
    // `onWindowThread` hands the server's debug lines to the window thread.
    RemoteLinks(TShared& shared, TLog& log, DebugLines& debug, const Clock& clock,
                std::function<void(std::function<void()>)> onWindowThread);
    ~RemoteLinks();

    // What an alarm from afar does (an account locked after guessing): run on the window thread.
    void SetAlert(std::function<void(const std::string& text)> alert) { alert_ = std::move(alert); }
    // The applied snapshot's camera and user tables.
    void Share(const ServerView& applied) { tables_.Set(applied); }
    // The server made on the recorder's pictures with the view's tables and port, listening when
    // TCP is on; a port that cannot be opened is logged with its reason and the station runs on.
    // `audit` records logins and their refusals.
    void Start(
        TSaveThread& recorder, const ServerView& settings,
        std::function<void(const std::string& who, const char* what, const std::string& detail)> audit = {});
    // Listening or not, and on which port, as `settings` now say.
    void Restart(const ServerView& settings);
    // The web view made (before StartWeb) with the PTZ pad it steers: camera n's address as applied
    // now, and a press (kind 1..6, 0 the release) handed to the window thread. A move from afar
    // stops by itself when its confirmations stop (RemotePtzHold).
    void
    MakeWeb(std::function<int32_t(int camera)> ptzAddress, std::function<void(int camera, int kind)> ptz,
            std::function<void(const std::string& who, const char* what, const std::string& detail)> audit);
    // Serving or not, on which port and with which certificate, as `settings` now say.
    void StartWeb(const WebView& settings);
    void Stop();
    // Every camera still turned from afar stopped through `via` (before the PTZ line closes).
    void StopMoves(const std::function<void(int camera, int kind)>& via);

    TTcpServer* Server() { return server_.get(); }
    WebServer* Web() { return web_.get(); }
    const ServerTables& Tables() const { return tables_; }

private:
    void Listen(const ServerView& settings);
    // Any thread: the alarm handed to the window thread.
    void Alert(const std::string& text);

    TShared& shared_;
    TLog& log_;
    DebugLines& debug_;
    const Clock& clock_;
    const std::function<void(std::function<void()>)> on_window_thread_;
    TLog server_log_;  // the connection threads' writer of the same log
    ServerTables tables_;
    AccountGuard accounts_;  // the failed logins of each account, web view and TCP server together
    std::function<void(const std::string&)> alert_;
    std::unique_ptr<TTcpServer> server_;
    std::unique_ptr<RemotePtzHold> moves_;  // made with the web view, outlives it
    std::unique_ptr<WebServer> web_;
};

}  // namespace kel
