#include "web/web_server.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <filesystem>
#include <list>
#include <optional>
#include <sstream>
#include <thread>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include "platform/audit_trail.h"
#include "recording/camera_track.h"
#include "web/live_feed.h"
#include "web/recorded_player.h"
#include "web/web_api.h"
#include "web/web_certificate.h"

namespace kel {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace asio = boost::asio;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using SslStream = beast::ssl_stream<beast::tcp_stream>;
using PlainStream = beast::tcp_stream;

constexpr std::chrono::seconds kReadTime{30};       // a request must come whole within this
constexpr std::chrono::seconds kHandshakeTime{10};  // and the TLS handshake within this
constexpr std::chrono::minutes kDownloadTime{30};   // a download's longest
constexpr int kMaxExports = 2;

class LiveSocket {
public:
    virtual ~LiveSocket() = default;
    virtual void Offer(const LiveFramePtr& frame) = 0;
    virtual void Tick() = 0;
    virtual uint32_t Wants() const = 0;
    // The server stops: a playback's thread is ended before the I/O context goes.
    virtual void Halt() = 0;
};

// What the connections share; it lives as long as the last of them.
struct Hub {
    Hub(const WebLinks& links, bool tls, std::shared_ptr<const StationName> station)
        : links(links), guard(links.Guard), api(links, sessions, guard, tls, std::move(station)) {}

    const WebLinks& links;
    WebSessions sessions;
    PeerGuard guard;
    WebApi api;
    std::atomic<int> connections{0};
    std::atomic<uint64_t> dropped{0};
    // The I/O thread's own.
    std::list<std::weak_ptr<LiveSocket>> sockets;
    std::function<void(uint32_t)> setWanted;
    // Any thread: a job for the I/O thread; and one for the exports' thread.
    std::function<void(std::function<void()>)> post;
    std::function<void(std::function<void()>)> runLater;
    int exports = 0;  // waiting or running (the I/O thread's)

    void UpdateWanted() {
        uint32_t wanted = 0;
        for (auto it = sockets.begin(); it != sockets.end();) {
            if (auto socket = it->lock()) {
                wanted |= socket->Wants();
                ++it;
            } else {
                it = sockets.erase(it);
            }
        }
        if (setWanted)
            setWanted(wanted);
    }
};

// Counts a connection for as long as it lives.
class Counted {
public:
    explicit Counted(std::shared_ptr<Hub> hub) : hub_(std::move(hub)) { hub_->connections.fetch_add(1); }
    ~Counted() { hub_->connections.fetch_sub(1); }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    Hub& operator*() const { return *hub_; }
    Hub* operator->() const { return hub_.get(); }
    const std::shared_ptr<Hub>& Share() const { return hub_; }

private:
    std::shared_ptr<Hub> hub_;
};

std::string PeerOf(const tcp::socket& socket) {
    boost::system::error_code ec;
    const tcp::endpoint end = socket.remote_endpoint(ec);
    return ec ? std::string("?") : end.address().to_string();
}

template <class Stream>
void ShutDown(Stream& stream) {
    boost::system::error_code ec;
    beast::get_lowest_layer(stream).socket().shutdown(tcp::socket::shutdown_both, ec);
}

std::string_view View(beast::string_view text) {
    return {text.data(), text.size()};
}

// An Origin header that names another site than the Host the browser asked.
bool ForeignOrigin(std::string_view origin, std::string_view host) {
    if (origin.empty())
        return false;
    const size_t scheme = origin.find("://");
    return scheme == std::string_view::npos || origin.substr(scheme + 3) != host;
}

template <class Stream>
class WsSession : public LiveSocket, public std::enable_shared_from_this<WsSession<Stream>> {
public:
    WsSession(std::shared_ptr<Hub> hub, Stream&& stream, std::string peer, std::string cookie, WebUser user)
        : hub_(std::move(hub)), ws_(std::move(stream)), peer_(std::move(peer)), cookie_(std::move(cookie)),
          user_(std::move(user)) {}

    void Accept(http::request<http::string_body> request) {
        beast::get_lowest_layer(ws_).expires_never();
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(WebServer::kMaxMessage);
        ws_.auto_fragment(false);  // a picture goes as one frame
        ws_.async_accept(request, [self = this->shared_from_this()](beast::error_code ec) {
            if (ec)
                return;
            self->hub_->sockets.push_back(self);
            self->Read();
        });
    }

    void Offer(const LiveFramePtr& frame) override {
        if (!(wants_ & (1u << frame->camera)))
            return;
        if (pending_[frame->camera])
            hub_->dropped.fetch_add(1, std::memory_order_relaxed);  // the browser had not taken it
        pending_[frame->camera] = frame;
        Pump();
    }

    // Once a second: the user looked up again, the marks of the cameras watched.
    void Tick() override {
        const std::optional<WebUser> user = hub_->api.Authorize(cookie_);
        if (!user) {
            wants_ = 0;
            ShutDown(ws_);
            return;
        }
        user_ = *user;
        for (int n = 1; n <= kCameraCount; ++n)
            if ((wants_ & (1u << n)) && !user_.May(n)) {
                wants_ &= ~(1u << n);
                pending_[n].reset();
                Text("{\"t\":\"refused\",\"camera\":" + std::to_string(n) + "}");
            }
        if (player_ && !user_.May(play_camera_)) {
            player_.reset();
            playing_.reset();
            ++generation_;
            Text("{\"t\":\"refused\",\"camera\":" + std::to_string(play_camera_) + "}");
        }
        if (!wants_)
            return;
        std::string marks = "{\"t\":\"marks\",\"cameras\":[";
        for (int n = 1; n <= kCameraCount; ++n) {
            if (!(wants_ & (1u << n)))
                continue;
            const WebLinks& l = hub_->links;
            auto flag = [n](const CameraFlags& f) {
                return f[n].load(std::memory_order_relaxed) ? "true" : "false";
            };
            if (marks.back() == '}')
                marks += ",";
            marks += "{\"n\":" + std::to_string(n) + ",\"signal\":" + flag(l.Signal) +
                     ",\"recording\":" + flag(l.Recording) + ",\"motion\":" + flag(l.Motion) + "}";
        }
        Text(marks + "]}");
    }

    uint32_t Wants() const override { return wants_; }

    void Halt() override { player_.reset(); }

    // A picture of the playback (the I/O thread).
    void OfferPlayback(const LiveFramePtr& frame, uint64_t generation) {
        if (!player_ || generation != generation_)
            return;  // from a playback since stopped
        if (playing_)
            player_->InFlight().fetch_sub(1);  // never taken: the newer one goes instead
        playing_ = frame;
        Pump();
    }

private:
    void Read() {
        ws_.async_read(in_, [self = this->shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                return self->Gone();
            if (!self->ws_.got_text())
                return self->Gone();  // browsers of this view send only text
            const std::string message = beast::buffers_to_string(self->in_.data());
            self->in_.consume(self->in_.size());
            self->Handle(message);
            self->Read();
        });
    }

    void Gone() {
        wants_ = 0;
        closed_ = true;
        hub_->UpdateWanted();
    }

    // "play 3 <moment> <speed>": camera 3's recordings from a moment of the index's time scale.
    void Play(std::istringstream& words) {
        int camera = 0, speed = 0;
        long long from = 0;
        if (!(words >> camera >> from >> speed) || camera < 1 || camera > kCameraCount || speed < 1 ||
            speed > RecordedPlayer::kMaxSpeed) {
            Text("{\"t\":\"error\",\"text\":\"Złe polecenie odtwarzania\"}");
            return;
        }
        if (!user_.May(camera)) {
            Text("{\"t\":\"refused\",\"camera\":" + std::to_string(camera) + "}");
            return;
        }
        player_.reset();
        playing_.reset();
        std::weak_ptr<WsSession> weak = this->shared_from_this();
        auto post = hub_->post;
        const uint64_t generation = ++generation_;
        auto player = std::make_unique<RecordedPlayer>(
            camera, hub_->api.Recordings(camera),
            [weak, post, generation](LiveFramePtr frame) {
                post([weak, generation, frame = std::move(frame)] {
                    if (auto self = weak.lock())
                        self->OfferPlayback(frame, generation);
                });
            },
            [weak, post, generation] {
                post([weak, generation] {
                    if (auto self = weak.lock(); self && self->generation_ == generation)
                        self->Text("{\"t\":\"ended\"}");
                });
            });
        player_ = std::move(player);
        play_camera_ = camera;
        if (!player_->Start(from, speed)) {
            player_.reset();
            return;
        }
        if (hub_->links.Audit)
            hub_->links.Audit(user_.login, AuditTrail::kViewing,
                              WebApi::kVia + peer_ + " kamera " + std::to_string(camera) + " od " +
                                  MomentText(from));
    }

    // "live 1 2 3": the cameras to send from now on; "play …" and "stop": a playback.
    void Handle(const std::string& message) {
        std::istringstream words(message);
        std::string command;
        words >> command;
        if (command == "play")
            return Play(words);
        if (command == "stop") {
            player_.reset();
            playing_.reset();
            ++generation_;
            return;
        }
        if (command != "live") {
            Text("{\"t\":\"error\",\"text\":\"Nieznane polecenie\"}");
            return;
        }
        uint32_t wants = 0;
        std::string word;
        std::string added;
        while (words >> word) {
            const int n =
                word.size() <= 2 && std::all_of(word.begin(), word.end(), ::isdigit) ? std::stoi(word) : 0;
            if (n < 1 || n > kCameraCount) {
                Text("{\"t\":\"error\",\"text\":\"Zły numer kamery\"}");
                continue;
            }
            if (!user_.May(n)) {
                Text("{\"t\":\"refused\",\"camera\":" + std::to_string(n) + "}");
                continue;
            }
            if (!(wants_ & (1u << n)) && !(wants & (1u << n)))
                added += (added.empty() ? "" : ",") + std::to_string(n);
            wants |= 1u << n;
        }
        for (int n = 1; n <= kCameraCount; ++n)
            if (!(wants & (1u << n)))
                pending_[n].reset();
        wants_ = wants;
        hub_->UpdateWanted();
        if (!added.empty() && hub_->links.Audit)
            hub_->links.Audit(user_.login, AuditTrail::kLiveView, WebApi::kVia + peer_ + " kamery " + added);
    }

    void Text(std::string text) {
        if (closed_)
            return;
        if (texts_.size() >= 8)
            texts_.pop_front();  // a browser that takes nothing gets no endless backlog of marks
        texts_.push_back(std::move(text));
        Pump();
    }

    // One message in flight at a time: the texts first, then the cameras' newest pictures in turn.
    void Pump() {
        if (writing_ || closed_)
            return;
        auto done = [self = this->shared_from_this()](beast::error_code ec, size_t) {
            self->writing_ = false;
            if (self->frame_ && self->frame_generation_ == self->generation_ && self->player_)
                self->player_->InFlight().fetch_sub(1);
            self->frame_.reset();
            if (ec)
                return self->Gone();
            self->Pump();
        };
        if (!texts_.empty()) {
            text_ = std::move(texts_.front());
            texts_.pop_front();
            writing_ = true;
            ws_.text(true);
            ws_.async_write(asio::buffer(text_), std::move(done));
            return;
        }
        if (playing_) {
            frame_ = std::move(playing_);
            frame_generation_ = generation_;
            writing_ = true;
            ws_.binary(true);
            ws_.async_write(asio::buffer(frame_->bytes), std::move(done));
            return;
        }
        for (int i = 0; i < kCameraCount; ++i) {
            const int n = (next_ - 1 + i) % kCameraCount + 1;
            if (!pending_[n])
                continue;
            frame_ = std::move(pending_[n]);
            frame_generation_ = 0;
            next_ = n % kCameraCount + 1;
            writing_ = true;
            ws_.binary(true);
            ws_.async_write(asio::buffer(frame_->bytes), std::move(done));
            return;
        }
    }

    Counted hub_;
    websocket::stream<Stream> ws_;
    const std::string peer_;
    const std::string cookie_;
    WebUser user_;
    beast::flat_buffer in_;
    uint32_t wants_ = 0;
    bool writing_ = false;
    bool closed_ = false;
    std::deque<std::string> texts_;
    std::string text_;    // in flight
    LiveFramePtr frame_;  // in flight
    std::array<LiveFramePtr, kCameraCount + 1> pending_;
    int next_ = 1;
    LiveFramePtr playing_;                    // the playback's next picture
    uint64_t generation_ = 0;                 // playbacks started; 0: none
    uint64_t frame_generation_ = 0;           // the playback of the picture in flight; 0: a live one
    int play_camera_ = 0;                     // the camera played
    std::unique_ptr<RecordedPlayer> player_;  // last: its thread ends before the rest goes
};

template <class Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
public:
    HttpSession(std::shared_ptr<Hub> hub, Stream&& stream, std::string peer)
        : hub_(std::move(hub)), stream_(std::move(stream)), peer_(std::move(peer)),
          delay_(beast::get_lowest_layer(stream_).socket().get_executor()) {}

    void Start() {
        if constexpr (std::is_same_v<Stream, SslStream>) {
            beast::get_lowest_layer(stream_).expires_after(kHandshakeTime);
            stream_.async_handshake(ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code ec) {
                                        if (!ec)
                                            self->Read();
                                    });
        } else {
            Read();
        }
    }

private:
    void Read() {
        parser_.emplace();
        parser_->header_limit(WebServer::kMaxHeader);
        parser_->body_limit(WebServer::kMaxBody);
        beast::get_lowest_layer(stream_).expires_after(kReadTime);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = this->shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
    }

    void OnRead(beast::error_code ec) {
        if (ec == http::error::body_limit || ec == http::error::header_limit ||
            ec == http::error::buffer_overflow)
            return Send(Fail(413, "Za duże żądanie"), false);
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted)
            return ShutDown(stream_);
        if (ec)
            return Send(Fail(400, "Błędne żądanie"), false);
        http::request<http::string_body> request = parser_->release();
        const std::string cookie(request[http::field::cookie]);
        if (websocket::is_upgrade(request)) {
            const std::string target(request.target());
            if (target != "/ws")
                return Send(Fail(404, "Nie ma takiej strony"), false);
            if (ForeignOrigin(View(request[http::field::origin]), View(request[http::field::host])))
                return Send(Fail(403, "Obca strona"), false);
            std::optional<WebUser> user = hub_->api.Authorize(cookie);
            if (!user)
                return Send(Fail(401, "Zaloguj się"), false);
            std::make_shared<WsSession<Stream>>(hub_.Share(), std::move(stream_), peer_, cookie,
                                                std::move(*user))
                ->Accept(std::move(request));
            return;
        }
        WebRequest web{std::string(request.method_string()),
                       std::string(request.target()),
                       cookie,
                       std::string(request[http::field::content_type]),
                       std::move(request.body()),
                       peer_};
        WebReply reply = hub_->api.Handle(web);
        const bool keep = request.keep_alive();
        if (reply.later) {
            // Two at a time: more would only slow the recording's disks down.
            if (hub_->exports >= kMaxExports)
                return Send(Fail(503, "Stacja przygotowuje inne eksporty, spróbuj za chwilę"), keep);
            ++hub_->exports;
            hub_->runLater([self = this->shared_from_this(), job = std::move(reply.later), keep] {
                WebReply done = job();
                Hub& hub = *self->hub_;
                if (hub.api.Stopping() && !done.cleanup.empty()) {
                    std::error_code ignored;  // never to be sent: nothing left in the temporary folder
                    std::filesystem::remove_all(done.cleanup, ignored);
                    return;
                }
                hub.post([self, done = std::move(done), keep]() mutable {
                    --self->hub_->exports;
                    self->Send(std::move(done), keep);
                });
            });
            return;
        }
        if (reply.delay.count() > 0) {
            delay_.expires_after(reply.delay);
            delay_.async_wait(
                [self = this->shared_from_this(), reply = std::move(reply), keep](beast::error_code ec) {
                    if (!ec)
                        self->Send(std::move(reply), keep);
                });
            return;
        }
        Send(std::move(reply), keep);
    }

    static WebReply Fail(int status, std::string_view text) {
        WebReply reply;
        reply.status = status;
        reply.body = std::string(text);
        return reply;
    }

    template <class Message>
    static void Decorate(Message& response, const WebReply& reply, bool keep) {
        response.set(http::field::server, "KEL");
        response.set(http::field::content_type, reply.type);
        response.set(http::field::cache_control, "no-store");
        response.set("X-Content-Type-Options", "nosniff");
        response.set("X-Frame-Options", "DENY");
        response.set("Referrer-Policy", "no-referrer");
        response.set("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' blob: data:; connect-src 'self'; "
                     "frame-ancestors 'none'; form-action 'self'");
        for (const auto& [name, value] : reply.headers)
            response.insert(name, value);
        response.keep_alive(keep);
        response.prepare_payload();
    }

    void Send(WebReply reply, bool keep) {
        if (!reply.file.empty())
            return SendFile(std::move(reply), keep);
        auto response =
            std::make_shared<http::response<http::string_body>>(static_cast<http::status>(reply.status), 11);
        response->body() = std::move(reply.body);
        Decorate(*response, reply, keep);
        beast::get_lowest_layer(stream_).expires_after(kReadTime);
        http::async_write(stream_, *response,
                          [self = this->shared_from_this(), response](beast::error_code ec, size_t) {
                              if (ec)
                                  return;
                              if (!response->keep_alive())
                                  return ShutDown(self->stream_);
                              self->Read();
                          });
    }

    // A file as the body, read as it is sent; its folder removed afterwards, sent or not.
    void SendFile(WebReply reply, bool keep) {
        auto response =
            std::make_shared<http::response<http::file_body>>(static_cast<http::status>(reply.status), 11);
        beast::error_code ec;
        response->body().open(reply.file.c_str(), beast::file_mode::scan, ec);
        std::shared_ptr<void> cleanup(nullptr, [dir = reply.cleanup](void*) {
            std::error_code ignored;
            if (!dir.empty())
                std::filesystem::remove_all(dir, ignored);
        });
        if (ec)
            return Send(Fail(500, "Nie można odczytać eksportu"), keep);
        Decorate(*response, reply, keep);
        beast::get_lowest_layer(stream_).expires_after(kDownloadTime);
        http::async_write(stream_, *response,
                          [self = this->shared_from_this(), response, cleanup](beast::error_code ec, size_t) {
                              if (ec)
                                  return;
                              if (!response->keep_alive())
                                  return ShutDown(self->stream_);
                              self->Read();
                          });
    }

    Counted hub_;
    Stream stream_;
    const std::string peer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    asio::steady_timer delay_;
};

}  // namespace

struct WebServer::Impl {
    // First: it goes last, with the connections its handlers still hold.
    std::unique_ptr<asio::io_context> ioc = std::make_unique<asio::io_context>(1);
    ssl::context ssl{ssl::context::tls_server};
    bool tls = true;
    std::shared_ptr<Hub> hub;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<asio::steady_timer> ticker;
    std::unique_ptr<LiveFeed> feed;
    std::unique_ptr<asio::thread_pool> exports = std::make_unique<asio::thread_pool>(1);
    std::jthread thread;
    int port = 0;

    ~Impl() {
        if (hub)
            hub->api.StopExports();  // a download being made is given up, not waited for
        if (feed)
            feed->Stop();
        ioc->stop();
        if (thread.joinable())
            thread.join();
        if (hub)
            for (const auto& weak : hub->sockets)
                if (auto socket = weak.lock())
                    socket->Halt();
        exports->join();  // an export under way gives up at its next picture; its reply is never sent
        exports.reset();
        acceptor.reset();
        ticker.reset();
        ioc.reset();
    }

    void Accept() {
        acceptor->async_accept([this](beast::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted)
                return;
            if (!ec) {
                std::string peer = PeerOf(socket);
                if (hub->connections.load() >= kMaxConnections) {
                    boost::system::error_code ignored;
                    socket.close(ignored);
                } else if (tls) {
                    std::make_shared<HttpSession<SslStream>>(hub, SslStream(std::move(socket), ssl),
                                                             std::move(peer))
                        ->Start();
                } else {
                    std::make_shared<HttpSession<PlainStream>>(hub, PlainStream(std::move(socket)),
                                                               std::move(peer))
                        ->Start();
                }
            }
            Accept();
        });
    }

    void Tick() {
        ticker->expires_after(std::chrono::seconds(1));
        ticker->async_wait([this](beast::error_code ec) {
            if (ec)
                return;
            for (const auto& weak : hub->sockets)
                if (auto socket = weak.lock())
                    socket->Tick();
            hub->UpdateWanted();
            Tick();
        });
    }

    void Deliver(const LiveFramePtr& frame) {
        for (const auto& weak : hub->sockets)
            if (auto socket = weak.lock())
                socket->Offer(frame);
    }
};

WebServer::WebServer(WebLinks links) : links_(std::move(links)) {}

WebServer::~WebServer() {
    Stop();
}

std::string WebServer::OwnCertificate(const std::string& dir) {
    return (std::filesystem::path(dir) / "web-cert.pem").string();
}

std::string WebServer::OwnKey(const std::string& dir) {
    return (std::filesystem::path(dir) / "web-key.pem").string();
}

bool WebServer::Start(const Settings& settings) {
    Stop();
    error_.clear();
    auto impl = std::make_unique<Impl>();
    impl->tls = settings.tls;
    try {
        if (settings.tls) {
            std::string cert = settings.certFile, key = settings.keyFile;
            if (cert.empty() || key.empty()) {
                cert = OwnCertificate(settings.ownDir);
                key = OwnKey(settings.ownDir);
                std::error_code ec;
                if (!std::filesystem::exists(cert, ec) || !std::filesystem::exists(key, ec)) {
                    std::string why;
                    if (!MakeSelfSignedCertificate(cert, key, why)) {
                        error_ = "nie mozna utworzyc certyfikatu: " + why;
                        return false;
                    }
                    if (links_.Log)
                        links_.Log("Utworzono certyfikat serwera WWW: " + cert);
                }
            }
            impl->ssl.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                                  ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
            boost::system::error_code ec;
            impl->ssl.use_certificate_chain_file(cert, ec);
            if (ec) {
                error_ = "zly certyfikat " + cert + ": " + ec.message();
                return false;
            }
            impl->ssl.use_private_key_file(key, ssl::context::pem, ec);
            if (ec) {
                error_ = "zly klucz " + key + ": " + ec.message();
                return false;
            }
        }
        // Plain HTTP never leaves the machine.
        const tcp::endpoint at(settings.tls ? asio::ip::address(asio::ip::address_v4::any())
                                            : asio::ip::address(asio::ip::address_v4::loopback()),
                               static_cast<unsigned short>(settings.port));
        impl->acceptor = std::make_unique<tcp::acceptor>(*impl->ioc);
        boost::system::error_code ec;
        impl->acceptor->open(at.protocol(), ec);
        if (!ec)
            impl->acceptor->set_option(asio::socket_base::reuse_address(true), ec);
        if (!ec)
            impl->acceptor->bind(at, ec);
        if (!ec)
            impl->acceptor->listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            error_ = ec.message();
            return false;
        }
        impl->port = impl->acceptor->local_endpoint().port();
    } catch (const std::exception& e) {
        error_ = e.what();
        return false;
    }
    impl->hub = std::make_shared<Hub>(links_, settings.tls, station_);
    Impl* raw = impl.get();
    impl->hub->setWanted = [this, raw](uint32_t cameras) {
        raw->feed->SetWanted(cameras);
        links_.Watched.store(cameras, std::memory_order_relaxed);
    };
    impl->feed = std::make_unique<LiveFeed>(links_.Pictures, [raw](LiveFramePtr frame) {
        asio::post(*raw->ioc, [raw, frame = std::move(frame)] { raw->Deliver(frame); });
    });
    impl->hub->post = [raw](std::function<void()> job) { asio::post(*raw->ioc, std::move(job)); };
    impl->hub->runLater = [raw](std::function<void()> job) { asio::post(*raw->exports, std::move(job)); };
    impl->ticker = std::make_unique<asio::steady_timer>(*impl->ioc);
    impl->Accept();
    impl->Tick();
    if (!impl->feed->Start()) {
        error_ = "nie mozna uruchomic watku obrazow";
        return false;
    }
    impl->thread = std::jthread([raw, log = links_.Log] {
        // A handler that throws is logged and the server runs on.
        for (;;) {
            try {
                raw->ioc->run();
                return;
            } catch (const std::exception& e) {
                if (log)
                    log(std::string("Blad serwera WWW: ") + e.what());
            }
        }
    });
    impl_ = std::move(impl);
    return true;
}

void WebServer::Stop() {
    if (!impl_)
        return;
    impl_.reset();
    links_.Watched.store(0, std::memory_order_relaxed);
}

bool WebServer::Active() const {
    return impl_ != nullptr;
}

int WebServer::BoundPort() const {
    return impl_ ? impl_->port : 0;
}

int WebServer::Connections() const {
    return impl_ ? impl_->hub->connections.load() : 0;
}

uint64_t WebServer::Encoded() const {
    return impl_ ? impl_->feed->Encoded() : 0;
}

uint64_t WebServer::Dropped() const {
    return impl_ ? impl_->hub->dropped.load() : 0;
}

}  // namespace kel
