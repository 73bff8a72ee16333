#pragma once
// The web view's HTTP requests, apart from the sockets: the served files, the login and logout,
// the cameras' state, snapshots and the PTZ pad. No page, picture or state without a session but
// the login page and what it needs; every camera is checked against the user's rights as they are
// now; nothing is read from disk (the files are built into the program), so no path reaches
// outside them.
//
// Used from the server's one I/O thread.

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/peer_guard.h"
#include "platform/json_text.h"
#include "platform/station_key.h"
#include "recording/archive_catalog.h"
#include "recording/camera_track.h"
#include "web/jpeg_encoder.h"
#include "web/web_links.h"
#include "web/web_sessions.h"

namespace kel {

struct WebRequest {
    std::string method;  // "GET", "POST", …
    std::string target;  // the path with its query
    std::string cookie;  // the Cookie header
    std::string contentType;
    std::string body;
    std::string peer;  // the address the request came from
};

struct WebReply {
    int status = 200;
    std::string type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the type and the common ones
    std::chrono::milliseconds delay{0};                        // answered only after this (a refused login)
    // Work too long for the I/O thread (an export): run elsewhere, its reply sent instead.
    std::function<WebReply()> later;
    // The body is this file's contents; `cleanup` (a folder) is removed once it is sent.
    std::string file;
    std::string cleanup;
};

class WebApi {
public:
    static constexpr const char* kCookie = "kel_session";
    static constexpr const char* kVia = "WWW ";  // the audit trail's detail: "WWW 127.0.0.1"
    static constexpr int64_t kLongestExportMs = 3600000;

    // `secure`: the server speaks TLS (the cookie is marked Secure). `station`: the station's name,
    // shared with whoever keeps it applied; none: no name.
    WebApi(const WebLinks& links, WebSessions& sessions, PeerGuard& guard, bool secure,
           std::shared_ptr<const StationName> station = nullptr);

    WebReply Handle(const WebRequest& request);
    // The user of the session a Cookie header names; nullopt without one.
    std::optional<WebUser> Authorize(const std::string& cookieHeader);
    // The token of the session cookie in a Cookie header; empty without one.
    static std::string SessionToken(std::string_view cookieHeader);
    // The camera's newest picture as JPEG; false when it has none.
    bool Snapshot(int camera, std::vector<uint8_t>& jpeg, int64_t& stampMs);
    // Any thread: exports under way give up (the server stops).
    void StopExports() { stopping_->store(true); }
    bool Stopping() const { return stopping_->load(); }
    // Camera n's recordings as the index now lists them, oldest first.
    std::vector<CatalogEntry> Recordings(int camera);
    // The station's signing key of the working directory (made there when it has none); null
    // with `error` when it cannot be had. Read again after a failure, kept once read.
    std::shared_ptr<const StationKey> SigningKey(std::string& error);

private:
    WebReply LogIn(const WebRequest& request);
    WebReply LogOut(const WebRequest& request);
    WebReply State(const WebUser& user);
    WebReply SnapshotReply(const WebUser& user, std::string_view query, const std::string& peer);
    WebReply Ptz(const WebUser& user, const WebRequest& request);
    WebReply Day(const WebUser& user, std::string_view query);
    WebReply Export(const WebUser& user, std::string_view query, const std::string& peer);
    // The catalogue read again when the index changed, and the cameras' tracks with it.
    ArchiveCatalog* Catalog();

    const WebLinks& links_;
    WebSessions& sessions_;
    PeerGuard& guard_;
    const bool secure_;
    const std::shared_ptr<const StationName> station_;
    std::shared_ptr<const StationKey> key_;
    JpegEncoder encoder_;
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<ArchiveCatalog> catalog_;
    std::array<std::unique_ptr<CameraTrack>, kCameraCount + 1> tracks_;
};

// The day "YYYY-MM-DD" as its first moment on the index's time scale; false for no such day.
bool DayStart(std::string_view day, int64_t& ms);

// Helpers shared with the WebSocket side.
// The value of `name` in an application/x-www-form-urlencoded text or a query; empty without it.
std::string FormValue(std::string_view form, std::string_view name);
// A text fit for one log line: control characters become '?', at most 32 characters.
std::string LogSafe(std::string_view text);

}  // namespace kel
