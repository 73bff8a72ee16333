#include "web/web_api.h"

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/audit_trail.h"
#include "platform/cp1250.h"
#include "platform/sha256.h"
#include "recording/evidence_export.h"
#include "web/web_files.h"
#include "web/zip_file.h"

namespace kel {

namespace {

constexpr size_t kMaxLoginChars = 64;

WebReply Json(int status, std::string body) {
    WebReply reply;
    reply.status = status;
    reply.type = "application/json; charset=utf-8";
    reply.body = std::move(body);
    return reply;
}

WebReply Error(int status, std::string_view text) {
    return Json(status, "{\"error\":" + JsonString(text) + "}");
}

std::string_view PathOf(std::string_view target) {
    return target.substr(0, target.find('?'));
}

std::string_view QueryOf(std::string_view target) {
    const size_t q = target.find('?');
    return q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A number 1..16 of a form or query; 0 for anything else.
int CameraOf(std::string_view form) {
    const std::string text = FormValue(form, "camera");
    int n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > kCameraCount)
        return 0;
    return n;
}

}  // namespace

std::string FormValue(std::string_view form, std::string_view name) {
    while (!form.empty()) {
        const size_t amp = form.find('&');
        std::string_view pair = form.substr(0, amp);
        form = amp == std::string_view::npos ? std::string_view() : form.substr(amp + 1);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) != name)
            continue;
        std::string_view raw = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                out.push_back(' ');
            } else if (raw[i] == '%' && i + 2 < raw.size() && HexDigit(raw[i + 1]) >= 0 &&
                       HexDigit(raw[i + 2]) >= 0) {
                out.push_back(static_cast<char>(HexDigit(raw[i + 1]) * 16 + HexDigit(raw[i + 2])));
                i += 2;
            } else {
                out.push_back(raw[i]);
            }
        }
        return out;
    }
    return {};
}

std::string LogSafe(std::string_view text) {
    std::string out = CutChars(text, 32);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

WebApi::WebApi(const WebLinks& links, WebSessions& sessions, PeerGuard& guard, bool secure,
               std::shared_ptr<const StationName> station)
    : links_(links), sessions_(sessions), guard_(guard), secure_(secure),
      station_(station ? std::move(station) : std::make_shared<const StationName>()) {}

std::shared_ptr<const StationKey> WebApi::SigningKey(std::string& error) {
    if (!key_) {
        if (links_.WorkDir.empty())
            error = "klucz podpisu stacji: brak folderu roboczego";
        else
            key_ = StationKey::LoadOrCreate(links_.WorkDir, error);
    }
    return key_;
}

std::string WebApi::SessionToken(std::string_view header) {
    const std::string_view name = kCookie;
    while (!header.empty()) {
        const size_t semi = header.find(';');
        std::string_view part = header.substr(0, semi);
        header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        if (part.size() > name.size() && part.substr(0, name.size()) == name && part[name.size()] == '=')
            return std::string(part.substr(name.size() + 1));
    }
    return {};
}

std::optional<WebUser> WebApi::Authorize(const std::string& cookieHeader) {
    const std::shared_ptr<const UserAccounts> users = links_.Tables.Accounts();
    return sessions_.Check(SessionToken(cookieHeader), *users);
}

WebReply WebApi::Handle(const WebRequest& request) {
    const std::string_view path = PathOf(request.target);
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (path == "/api/login")
        return post ? LogIn(request) : Error(405, "Metoda niedozwolona");
    const WebFile* file = FindWebFile(path);
    if (file && file->open) {
        if (!get)
            return Error(405, "Metoda niedozwolona");
        WebReply reply;
        reply.type = std::string(file->type);
        reply.body = std::string(file->data);
        return reply;
    }
    const std::optional<WebUser> user = Authorize(request.cookie);
    if (!user) {
        if (file) {  // a page: to the login first
            WebReply reply;
            reply.status = 303;
            reply.headers.emplace_back("Location", "/login");
            return reply;
        }
        return Error(401, "Zaloguj się");
    }
    if (file) {
        if (!get)
            return Error(405, "Metoda niedozwolona");
        WebReply reply;
        reply.type = std::string(file->type);
        reply.body = std::string(file->data);
        return reply;
    }
    if (path == "/api/logout")
        return post ? LogOut(request) : Error(405, "Metoda niedozwolona");
    if (path == "/api/state")
        return get ? State(*user) : Error(405, "Metoda niedozwolona");
    if (path == "/api/snapshot")
        return get ? SnapshotReply(*user, QueryOf(request.target), request.peer)
                   : Error(405, "Metoda niedozwolona");
    if (path == "/api/ptz")
        return post ? Ptz(*user, request) : Error(405, "Metoda niedozwolona");
    if (path == "/api/recordings")
        return get ? Day(*user, QueryOf(request.target)) : Error(405, "Metoda niedozwolona");
    if (path == "/api/export")
        return get ? Export(*user, QueryOf(request.target), request.peer) : Error(405, "Metoda niedozwolona");
    return Error(404, "Nie ma takiej strony");
}

// A wrong login or password is answered only after the address's growing wait, and while it
// waits the address gets no answer to another try: many browsers guess no faster than one.
WebReply WebApi::LogIn(const WebRequest& request) {
    if (guard_.Waiting(request.peer))
        return Error(429, "Zbyt wiele nieudanych prób logowania, spróbuj za chwilę");
    const std::string login = FormValue(request.body, "login");
    const std::string password = FormValue(request.body, "password");
    const std::shared_ptr<const UserAccounts> users = links_.Tables.Accounts();
    auto refuse = [&](int status, std::string_view text, const char* reason) {
        bool log = false;
        int skipped = 0;
        WebReply reply = Error(status, text);
        reply.delay = guard_.LoginFailed(request.peer, log, skipped);
        if (skipped > 0)
            links_.Log("Pominieto w dzienniku " + std::to_string(skipped) +
                       " odmow logowania WWW z adresu : " + request.peer);
        if (log) {
            links_.Log("Odmowa logowania WWW uzytkownika \"" + LogSafe(login) + "\"" +
                       (reason ? std::string(": ") + reason + "; adres : " : std::string(" z adresu : ")) +
                       request.peer);
            if (links_.Audit)
                links_.Audit(LogSafe(login), AuditTrail::kLoginRefused,
                             kVia + request.peer + (reason ? std::string(", ") + reason : std::string()));
        }
        return reply;
    };
    const std::string account = ToCp1250(login);
    // An account under guessing is refused without its password being tried.
    if (links_.Accounts && links_.Accounts->Locked(account))
        return refuse(403, "Konto zablokowane na 15 minut po nieudanych próbach logowania", kLockedReason);
    std::optional<WebUser> user;
    std::string credential;
    if (login.size() <= kMaxLoginChars && password.size() <= kMaxLoginChars)
        user = WebSessions::Find(*users, login, password, &credential);
    if (!user) {
        if (links_.Accounts && links_.Accounts->Failed(account) && links_.Alert)
            links_.Alert(AccountLockedText(LogSafe(login)));
        return refuse(401, "Błędny użytkownik lub hasło", nullptr);
    }
    if (user->weakAdministrator)
        return refuse(403, "Hasło domyślne lub krótsze niż 8 znaków: zmień je na konsoli stacji",
                      kWeakPasswordReason);
    const std::string token = sessions_.Open(login, credential);
    if (token.empty())
        return Error(500, "Brak źródła liczb losowych");
    guard_.LoginSucceeded(request.peer);
    links_.Log("Zalogowano WWW uzytkownika \"" + LogSafe(login) + "\" z adresu : " + request.peer);
    if (links_.Audit)
        links_.Audit(login, AuditTrail::kLogin, kVia + request.peer);
    WebReply reply = Json(200, "{\"ok\":true}");
    reply.headers.emplace_back("Set-Cookie", std::string(kCookie) + "=" + token +
                                                 "; Path=/; HttpOnly; SameSite=Strict" +
                                                 (secure_ ? "; Secure" : ""));
    return reply;
}

WebReply WebApi::LogOut(const WebRequest& request) {
    const std::string token = SessionToken(request.cookie);
    if (const std::optional<WebUser> user = Authorize(request.cookie); user && links_.Audit)
        links_.Audit(user->login, AuditTrail::kLogout, kVia + request.peer);
    sessions_.Close(token);
    WebReply reply = Json(200, "{\"ok\":true}");
    reply.headers.emplace_back("Set-Cookie", std::string(kCookie) +
                                                 "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                                 (secure_ ? "; Secure" : ""));
    return reply;
}

// The active cameras the user may watch, with their names and marks; the others are not named at
// all. The station's name and its signing key's fingerprint (empty when it has none) close it.
WebReply WebApi::State(const WebUser& user) {
    const TCameraTable cameras = links_.Tables.Cameras();
    std::string body = "{\"user\":" + JsonString(user.login) +
                       ",\"configure\":" + (user.configure ? "true" : "false") +
                       ",\"export\":" + (user.exports ? "true" : "false") + ",\"cameras\":[";
    bool first = true;
    for (int n = 1; n <= kCameraCount; ++n) {
        const TCameraRecord& record = cameras[n - 1];
        if (!user.May(n) || !record.Active)
            continue;
        const bool ptz = user.configure && links_.PtzAddress && links_.PtzAddress(n) > 0;
        body += std::string(first ? "" : ",") + "{\"n\":" + std::to_string(n) +
                ",\"name\":" + JsonString(record.Name.Get()) +
                ",\"signal\":" + (links_.Signal[n].load(std::memory_order_relaxed) ? "true" : "false") +
                ",\"recording\":" + (links_.Recording[n].load(std::memory_order_relaxed) ? "true" : "false") +
                ",\"motion\":" + (links_.Motion[n].load(std::memory_order_relaxed) ? "true" : "false") +
                ",\"ptz\":" + (ptz ? "true" : "false") + "}";
        first = false;
    }
    std::string keyError;
    const std::shared_ptr<const StationKey> key = SigningKey(keyError);
    return Json(200, body + "],\"station\":" + JsonString(station_->Get()) +
                         ",\"key\":" + JsonString(key ? key->FingerprintText() : std::string()) + "}");
}

bool WebApi::Snapshot(int camera, std::vector<uint8_t>& jpeg, int64_t& stampMs) {
    const FrameBank::PicturePtr picture = links_.Pictures.Newest(camera);
    if (!picture)
        return false;
    stampMs = picture->info.stampMs;
    return encoder_.EncodePicture(*picture, jpeg, 90);
}

WebReply WebApi::SnapshotReply(const WebUser& user, std::string_view query, const std::string& peer) {
    const int camera = CameraOf(query);
    if (camera == 0)
        return Error(400, "Zły numer kamery");
    if (!user.May(camera))
        return Error(403, "Brak uprawnień do kamery");
    std::vector<uint8_t> jpeg;
    int64_t stampMs = 0;
    if (!Snapshot(camera, jpeg, stampMs))
        return Error(404, "Brak obrazu z kamery");
    if (links_.Audit)
        links_.Audit(user.login, AuditTrail::kSnapshot, kVia + peer + " kamera " + std::to_string(camera));
    WebReply reply;
    reply.type = "image/jpeg";
    reply.body.assign(jpeg.begin(), jpeg.end());
    reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"Kamera" +
                                                          std::to_string(camera) + "-" +
                                                          std::to_string(stampMs / 1000) + ".jpg\"");
    return reply;
}

// The same telegrams as the console's pad: a press moves, kind 0 stops.
WebReply WebApi::Ptz(const WebUser& user, const WebRequest& request) {
    const int camera = CameraOf(request.body);
    const std::string kindText = FormValue(request.body, "kind");
    const int kind =
        kindText.size() == 1 && kindText[0] >= '0' && kindText[0] <= '6' ? kindText[0] - '0' : -1;
    if (camera == 0 || kind < 0)
        return Error(400, "Zły numer kamery lub ruchu");
    if (!user.May(camera) || !user.configure)
        return Error(403, "Brak uprawnień do sterowania kamerą");
    if (!links_.PtzAddress || links_.PtzAddress(camera) <= 0 || !links_.Ptz)
        return Error(404, "Kamera nie ma adresu PTZ");
    links_.Ptz(camera, kind);
    return Json(200, "{\"ok\":true}");
}

namespace {

// A moment of the index's time scale in a query; false for none.
bool MomentOf(std::string_view query, const char* name, int64_t& ms) {
    const std::string text = FormValue(query, name);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && ms > 0;
}

std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

// A stretch of one camera as the evidence export makes it (its pictures copied, a manifest with
// their SHA-256 signed with the station's key), packed into one ZIP file for the browser to
// download. The export runs off the I/O thread; at most an hour at a time.
WebReply WebApi::Export(const WebUser& user, std::string_view query, const std::string& peer) {
    const int camera = CameraOf(query);
    int64_t from = 0, to = 0;
    if (camera == 0 || !MomentOf(query, "from", from) || !MomentOf(query, "to", to) || to <= from)
        return Error(400, "Zły numer kamery lub odcinek");
    if (to - from > kLongestExportMs)
        return Error(400, "Najwyżej godzina nagrań naraz");
    if (!user.exports)
        return Error(403, "Brak uprawnień do eksportu nagrań");
    if (!user.May(camera))
        return Error(403, "Brak uprawnień do kamery");
    std::string keyError;
    std::shared_ptr<const StationKey> key = SigningKey(keyError);
    const TCameraTable cameras = links_.Tables.Cameras();
    WebReply reply;
    reply.later = [entries = Recordings(camera), camera, from, to, login = user.login, peer,
                   stopping = stopping_, name = cameras[camera - 1].Name.Get(), station = station_->Get(),
                   key = std::move(key), keyError, audit = links_.Audit]() -> WebReply {
        CameraTrack track(entries);
        const CameraTrack::Position first = track.After(from - 1), last = track.AtOrBefore(to);
        if (!first.Valid() || !last.Valid() || track.Moment(last) < track.Moment(first))
            return Error(404, "Brak nagrań w tym czasie");
        if (!key)  // nothing is handed out unsigned
            return Error(500, "Eksport nie powiódł się: " + keyError);
        // A folder of its own in the temporary folder, removed once the download is sent.
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/kel-web-export-XXXXXX";
        std::vector<char> pattern(base.begin(), base.end());
        pattern.push_back(0);
        if (!mkdtemp(pattern.data()))
            return Error(500, "Nie można utworzyć folderu eksportu");
        const std::string dir = pattern.data();
        const std::string stamp = MomentText(track.Moment(first)).substr(0, 19);
        std::string folderName = "KEL-Kamera" + std::to_string(camera) + "-" + stamp;
        for (char& c : folderName)
            if (c == ' ' || c == ':')
                c = c == ' ' ? '_' : '-';
        const std::string folder = dir + "/" + folderName;
        EvidenceInfo info;
        info.station = station;
        info.key = key.get();
        info.user = login;
        info.exportedAt = NowText();
        info.from = MomentText(from).substr(0, 19);
        info.to = MomentText(to).substr(0, 19);
        const EvidenceResult result =
            ExportEvidence({EvidenceCamera{camera, name, &track, first, last}}, info, folder,
                           [stopping](size_t, size_t) { return !stopping->load(); });
        std::string why = result.error;
        if (result.ok && ZipFolder(folder, folder + ".zip", why)) {
            if (audit)
                audit(login, AuditTrail::kExport,
                      kVia + peer + " kamera " + std::to_string(camera) + " od " + info.from + " do " +
                          info.to + ", manifest SHA-256 " + Sha256File(folder + "/" + kManifestFile));
            WebReply done;
            done.type = "application/zip";
            done.file = folder + ".zip";
            done.cleanup = dir;
            done.headers.emplace_back("Content-Disposition",
                                      "attachment; filename=\"" + folderName + ".zip\"");
            return done;
        }
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        return Error(500, "Eksport nie powiódł się: " + why);
    };
    return reply;
}

bool DayStart(std::string_view day, int64_t& ms) {
    int y = 0, m = 0, d = 0;
    if (day.size() != 10 || day[4] != '-' || day[7] != '-' ||
        std::from_chars(day.data(), day.data() + 4, y).ptr != day.data() + 4 ||
        std::from_chars(day.data() + 5, day.data() + 7, m).ptr != day.data() + 7 ||
        std::from_chars(day.data() + 8, day.data() + 10, d).ptr != day.data() + 10)
        return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] || (m == 2 && d == 29 && !leap))
        return false;
    // Days from 1 March of year 0, then moved to the index's 30 December 1899.
    const int yy = m <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468 + 25569;
    ms = days * kMsPerDay;
    return true;
}

ArchiveCatalog* WebApi::Catalog() {
    if (links_.WorkDir.empty())
        return nullptr;
    if (!catalog_ || catalog_->Changed()) {
        catalog_ = std::make_unique<ArchiveCatalog>(links_.WorkDir);
        catalog_->Load();  // a damaged index lists nothing, as the viewer shows it
        for (auto& track : tracks_)
            track.reset();
    }
    return catalog_.get();
}

std::vector<CatalogEntry> WebApi::Recordings(int camera) {
    ArchiveCatalog* catalog = Catalog();
    return catalog && camera >= 1 && camera <= kCameraCount ? catalog->Entries(camera)
                                                            : std::vector<CatalogEntry>();
}

// The stretches camera n recorded on a day, as milliseconds from the day's start; recordings
// closer than two seconds are one stretch.
WebReply WebApi::Day(const WebUser& user, std::string_view query) {
    const int camera = CameraOf(query);
    int64_t dayMs = 0;
    if (camera == 0 || !DayStart(FormValue(query, "day"), dayMs))
        return Error(400, "Zły numer kamery lub dzień");
    if (!user.May(camera))
        return Error(403, "Brak uprawnień do kamery");
    std::vector<std::pair<int64_t, int64_t>> stretches;
    if (ArchiveCatalog* catalog = Catalog()) {
        auto& track = tracks_[camera];
        if (!track)
            track = std::make_unique<CameraTrack>(catalog->Entries(camera));
        for (size_t i = 0; i < track->Segments(); ++i) {
            const int64_t start = track->Entry(static_cast<int>(i)).startMs;
            if (start < dayMs - kMsPerDay || start >= dayMs + kMsPerDay)
                continue;
            const CameraTrack::Stretch s = track->StretchOf(static_cast<int>(i));
            const int64_t from = std::max(s.fromMs, dayMs) - dayMs,
                          to = std::min(s.toMs, dayMs + kMsPerDay) - dayMs;
            if (s.missing || to <= from)
                continue;
            if (!stretches.empty() && from - stretches.back().second < 2000)
                stretches.back().second = std::max(stretches.back().second, to);
            else
                stretches.emplace_back(from, to);
        }
    }
    std::string body =
        "{\"camera\":" + std::to_string(camera) + ",\"dayMs\":" + std::to_string(dayMs) + ",\"stretches\":[";
    for (size_t i = 0; i < stretches.size(); ++i)
        body += (i ? ",[" : "[") + std::to_string(stretches[i].first) + "," +
                std::to_string(stretches[i].second) + "]";
    return Json(200, body + "]}");
}

}  // namespace kel
