#include "platform/audit_trail.h"

#include <fcntl.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/json_text.h"
#include "platform/sha256.h"

namespace kel {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS audit ("
    " id INTEGER PRIMARY KEY, at TEXT NOT NULL, who TEXT NOT NULL, what TEXT NOT NULL,"
    " detail TEXT NOT NULL, prev TEXT NOT NULL, hash TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);";
// The hash the oldest kept record follows and that record's number, the last record's hash and
// its keyed seal, and the first record chained under the key.
constexpr const char* kAnchor = "anchor";
constexpr const char* kAnchorId = "anchor_id";
constexpr const char* kLast = "last";
constexpr const char* kSeal = "seal";
constexpr const char* kKeyedFrom = "keyed_from";
constexpr size_t kKeyBytes = 32;

std::string Hmac(const std::string& key, const std::string& bytes) {
    unsigned char mac[32];
    unsigned int size = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), mac, &size);
    return HexText(mac, size);
}

// The last record's number and hash, the first record chained under the key and the last one
// pruned, under the key: whoever removes records from the end, or moves where the key's chain
// begins, cannot make it again.
std::string Seal(const std::string& key, int64_t id, const std::string& hash, int64_t keyedFrom,
                 int64_t anchorId) {
    return Hmac(key, "seal\n" + std::to_string(id) + "\n" + hash + "\n" + std::to_string(keyedFrom) + "\n" +
                         std::to_string(anchorId));
}

// The file made readable by its owner only; one made before with wider rights is narrowed.
bool OwnerOnly(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return ok;
}

std::string ReadKey(const std::string& path, bool& missing) {
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return {};
    }
    char text[2 * kKeyBytes + 2] = {};
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    std::string key;
    for (ssize_t i = 0; i + 1 < n && key.size() < kKeyBytes; i += 2) {
        unsigned value = 0;
        if (std::sscanf(text + i, "%2x", &value) != 1)
            return {};
        key.push_back(static_cast<char>(value));
    }
    return key.size() == kKeyBytes ? key : std::string();
}

// A new key, written once: of two processes making it together, the second reads the first's.
std::string MakeKey(const std::string& path, std::string& why) {
    unsigned char bytes[kKeyBytes];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        why = "brak liczb losowych";
        return {};
    }
    const std::string text = HexText(bytes, sizeof bytes) + "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        bool missing = false;
        std::string other = errno == EEXIST ? ReadKey(path, missing) : std::string();
        if (other.empty())
            why = "nie mozna utworzyc klucza " + path;
        return other;
    }
    const bool ok =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        why = "nie mozna zapisac klucza " + path;
        ::unlink(path.c_str());
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string Stamp(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

std::string DaysBefore(const LocalTime& t, int days) {
    using namespace std::chrono;
    const year_month_day then{
        sys_days{year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)}} -
        std::chrono::days{days}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(then.year()),
                  static_cast<unsigned>(then.month()), static_cast<unsigned>(then.day()));
    return text;
}

std::string Column(sqlite3_stmt* s, int i) {
    const unsigned char* text = sqlite3_column_text(s, i);
    return text ? reinterpret_cast<const char*>(text) : "";
}

struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
    void Bind(int i, std::string_view text) {
        sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
};

}  // namespace

namespace {

// Each field ends in a byte no text holds, so no two different records read alike.
std::string RecordBytes(const AuditRecord& r) {
    std::string bytes = std::to_string(r.id);
    for (const std::string* field : {&r.at, &r.who, &r.what, &r.detail, &r.prev}) {
        bytes.push_back('\0');
        bytes += *field;
    }
    return bytes;
}

}  // namespace

std::string AuditHash(const AuditRecord& r) {
    return Sha256Hex(RecordBytes(r));
}

std::string AuditMac(const std::string& key, const AuditRecord& r) {
    return Hmac(key, RecordBytes(r));
}

std::string AuditTrail::PathBeside(const std::string& storeFile) {
    return (std::filesystem::path(storeFile).parent_path() / kFile).string();
}

std::string AuditTrail::KeyPathBeside(const std::string& trailFile) {
    return (std::filesystem::path(trailFile).parent_path() / "audit.key").string();
}

AuditTrail::AuditTrail(std::string path, const Clock& clock, std::string keyPath)
    : path_(std::move(path)), key_path_(keyPath.empty() ? KeyPathBeside(path_) : std::move(keyPath)),
      clock_(clock) {}

AuditTrail::~AuditTrail() {
    MutexLock lock(mutex_);
    if (db_)
        sqlite3_close(db_);
}

bool AuditTrail::Fail(const std::string& what) {
    error_ = what + ": " + (db_ ? sqlite3_errmsg(db_) : "brak pliku");
    return false;
}

bool AuditTrail::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool AuditTrail::Open() {
    MutexLock lock(mutex_);
    if (db_)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    // SQLite gives its journal files the rights of the trail's file.
    if (!OwnerOnly(path_) ||
        sqlite3_open_v2(path_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        Fail("Nie mozna otworzyc " + path_);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = FULL") || !Exec(kSchema)) {
        Fail("Nie mozna przygotowac " + path_);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    if (!LoadKey()) {
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

// The key read, or made for a trail that never had one; from then on every record is chained
// under it.
bool AuditTrail::LoadKey() {
    bool missing = false;
    key_ = ReadKey(key_path_, missing);
    if (!Exec("BEGIN IMMEDIATE"))
        return Fail("Nie mozna przygotowac " + path_);
    std::string keyedFrom;
    bool ok = Meta(kKeyedFrom, keyedFrom);
    if (ok && key_.empty()) {
        if (!keyedFrom.empty()) {
            Exec("ROLLBACK");
            error_ = missing ? "brak klucza dziennika zdarzen " + key_path_
                             : "nie mozna odczytac klucza dziennika zdarzen " + key_path_;
            return false;
        }
        std::string why;
        key_ = MakeKey(key_path_, why);
        if (key_.empty()) {
            Exec("ROLLBACK");
            error_ = why;
            return false;
        }
    }
    if (ok && keyedFrom.empty()) {
        Statement last(db_, "SELECT COALESCE(MAX(id), 0) FROM audit");
        ok = last && sqlite3_step(last.s) == SQLITE_ROW;
        if (ok) {
            const int64_t from = std::max<int64_t>(sqlite3_column_int64(last.s, 0), MetaId(kAnchorId)) + 1;
            ok = SetMeta(kKeyedFrom, std::to_string(from)) && Reseal();
        }
    }
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return Fail("Nie mozna przygotowac " + path_);
    }
    return true;
}

// The seal made again over the trail's end as it stands (inside the caller's transaction).
bool AuditTrail::Reseal() {
    std::string hash;
    if (!Meta(kLast, hash))
        return false;
    int64_t id = MetaId(kAnchorId);
    if (hash.empty() && !Meta(kAnchor, hash))
        return false;
    Statement last(db_, "SELECT COALESCE(MAX(id), 0) FROM audit");
    if (!last || sqlite3_step(last.s) != SQLITE_ROW)
        return false;
    id = std::max<int64_t>(id, sqlite3_column_int64(last.s, 0));
    return SetMeta(kSeal, Seal(key_, id, hash, MetaId(kKeyedFrom), MetaId(kAnchorId)));
}

int64_t AuditTrail::MetaId(const char* key) {
    std::string text;
    if (!Meta(key, text) || text.empty())
        return 0;
    return std::strtoll(text.c_str(), nullptr, 10);
}

bool AuditTrail::Meta(const char* key, std::string& value) {
    Statement s(db_, "SELECT value FROM meta WHERE key = ?");
    if (!s)
        return false;
    s.Bind(1, key);
    const int rc = sqlite3_step(s.s);
    value = rc == SQLITE_ROW ? Column(s.s, 0) : "";
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool AuditTrail::SetMeta(const char* key, const std::string& value) {
    Statement s(
        db_,
        "INSERT INTO meta (key, value) VALUES (?, ?) ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    if (!s)
        return false;
    s.Bind(1, key);
    s.Bind(2, value);
    return sqlite3_step(s.s) == SQLITE_DONE;
}

bool AuditTrail::Append(std::string_view who, std::string_view what, std::string_view detail) {
    MutexLock lock(mutex_);
    if (!db_)
        return Fail("Dziennik zdarzen nie jest otwarty");
    // Immediate: the last hash is read and the record written with no other writer between.
    if (!Exec("BEGIN IMMEDIATE"))
        return Fail("Nie mozna zapisac dziennika zdarzen");
    AuditRecord r;
    r.at = Stamp(clock_.Now());
    r.who = who;
    r.what = what;
    r.detail = detail;
    bool ok = Meta(kLast, r.prev);
    {
        Statement last(db_, "SELECT COALESCE(MAX(id), 0) FROM audit");
        ok = ok && last && sqlite3_step(last.s) == SQLITE_ROW;
        if (ok)
            r.id = sqlite3_column_int64(last.s, 0) + 1;
    }
    // A trail whose records were all pruned follows its anchor, and its numbers go on from there.
    if (ok && r.prev.empty())
        ok = Meta(kAnchor, r.prev);
    if (ok)
        r.id = std::max(r.id, MetaId(kAnchorId) + 1);
    r.hash = r.id >= MetaId(kKeyedFrom) ? AuditMac(key_, r) : AuditHash(r);
    if (ok) {
        Statement insert(
            db_, "INSERT INTO audit (id, at, who, what, detail, prev, hash) VALUES (?, ?, ?, ?, ?, ?, ?)");
        ok = static_cast<bool>(insert);
        if (ok) {
            sqlite3_bind_int64(insert.s, 1, r.id);
            insert.Bind(2, r.at);
            insert.Bind(3, r.who);
            insert.Bind(4, r.what);
            insert.Bind(5, r.detail);
            insert.Bind(6, r.prev);
            insert.Bind(7, r.hash);
            ok = sqlite3_step(insert.s) == SQLITE_DONE;
        }
    }
    ok = ok && SetMeta(kLast, r.hash) && Reseal();
    if (!ok || !Exec("COMMIT")) {
        Fail("Nie mozna zapisac dziennika zdarzen");
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

int AuditTrail::Prune(int days) {
    MutexLock lock(mutex_);
    if (!db_ || !Exec("BEGIN IMMEDIATE"))
        return -1;
    const std::string cutoff = DaysBefore(clock_.Now(), days);
    std::string anchor;
    bool ok = true;
    int64_t lastPruned = 0;
    {
        Statement s(db_, "SELECT id, hash FROM audit WHERE at < ? ORDER BY id DESC LIMIT 1");
        ok = static_cast<bool>(s);
        if (ok) {
            s.Bind(1, cutoff);
            const int rc = sqlite3_step(s.s);
            ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
            if (rc == SQLITE_ROW) {
                lastPruned = sqlite3_column_int64(s.s, 0);
                anchor = Column(s.s, 1);
            }
        }
    }
    int deleted = 0;
    if (ok && lastPruned > 0) {
        Statement s(db_, "DELETE FROM audit WHERE id <= ?");
        ok = static_cast<bool>(s);
        if (ok) {
            sqlite3_bind_int64(s.s, 1, lastPruned);
            ok = sqlite3_step(s.s) == SQLITE_DONE;
            deleted = sqlite3_changes(db_);
        }
        ok = ok && SetMeta(kAnchor, anchor) && SetMeta(kAnchorId, std::to_string(lastPruned)) && Reseal();
    }
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        Fail("Nie mozna usunac starych zdarzen");
        return -1;
    }
    return deleted;
}

std::vector<AuditRecord> AuditTrail::Read(const std::string& since) {
    MutexLock lock(mutex_);
    return ReadLocked(since);
}

std::vector<AuditRecord> AuditTrail::ReadAfter(int64_t id) {
    MutexLock lock(mutex_);
    return Select("id > ?", [id](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); });
}

std::vector<AuditRecord> AuditTrail::ReadLocked(const std::string& since) {
    return Select("at >= ?", [&since](sqlite3_stmt* s) {
        sqlite3_bind_text(s, 1, since.data(), static_cast<int>(since.size()), SQLITE_TRANSIENT);
    });
}

// The records `where` picks (its one parameter bound by `bind`), oldest first.
std::vector<AuditRecord> AuditTrail::Select(const char* where,
                                            const std::function<void(sqlite3_stmt*)>& bind) {
    std::vector<AuditRecord> out;
    if (!db_)
        return out;
    const std::string sql = std::string("SELECT id, at, who, what, detail, prev, hash FROM audit WHERE ") +
                            where + " ORDER BY id";
    Statement s(db_, sql.c_str());
    if (!s)
        return out;
    bind(s.s);
    while (sqlite3_step(s.s) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(s.s, 0), Column(s.s, 1), Column(s.s, 2), Column(s.s, 3),
                       Column(s.s, 4), Column(s.s, 5), Column(s.s, 6)});
    return out;
}

AuditTrail::Check AuditTrail::Verify() {
    Check check;
    std::string anchor, last, seal;
    int64_t anchorId = 0, keyedFrom = 0;
    std::vector<AuditRecord> records;
    MutexLock lock(mutex_);
    // One read transaction: a record another writer adds meanwhile is either wholly seen or not.
    if (!db_ || !Exec("BEGIN")) {
        check.why = "nie mozna odczytac dziennika zdarzen";
        return check;
    }
    const bool read = Meta(kAnchor, anchor) && Meta(kLast, last) && Meta(kSeal, seal);
    anchorId = MetaId(kAnchorId);
    keyedFrom = MetaId(kKeyedFrom);
    if (read)
        records = ReadLocked("");
    Exec("COMMIT");
    if (!read) {
        check.why = "nie mozna odczytac dziennika zdarzen";
        return check;
    }
    const std::string& key = key_;
    std::string expected = anchor;
    // Numbers go on without a gap from the last one pruned; a trail pruned before the numbers were
    // kept may start anywhere.
    int64_t previousId = anchorId;
    const bool anyStart = anchorId == 0 && !anchor.empty();
    for (const AuditRecord& r : records) {
        std::string why;
        if (!(anyStart && r.id == records.front().id) && r.id != previousId + 1)
            why = r.id > previousId + 1
                      ? "brak zdarzen przed nim (po numerze " + std::to_string(previousId) + ")"
                      : "zly numer";
        else if (r.prev != expected)
            why = previousId ? "nie nastepuje po zdarzeniu " + std::to_string(previousId)
                             : "nie nastepuje po ostatnim usunietym zdarzeniu";
        else if ((r.id >= keyedFrom ? AuditMac(key, r) : AuditHash(r)) != r.hash)
            why = "zmieniono jego tresc";
        if (!why.empty()) {
            check.badId = r.id;
            check.why = "zdarzenie " + std::to_string(r.id) + ": " + why;
            return check;
        }
        expected = r.hash;
        previousId = r.id;
        ++check.records;
    }
    // The end: the last hash kept, and under the key its seal, name the last record.
    if (expected != (last.empty() ? anchor : last) ||
        seal != Seal(key, previousId, expected, keyedFrom, anchorId)) {
        check.badId = previousId + 1;
        check.why = "brak zdarzen po zdarzeniu " + std::to_string(previousId);
        return check;
    }
    check.whole = true;
    return check;
}

AuditTrail::Head AuditTrail::LastHead() {
    MutexLock lock(mutex_);
    Head head;
    if (!db_)
        return head;
    Statement s(db_, "SELECT id, hash, at FROM audit ORDER BY id DESC LIMIT 1");
    if (s && sqlite3_step(s.s) == SQLITE_ROW)
        head = {sqlite3_column_int64(s.s, 0), Column(s.s, 1), Column(s.s, 2)};
    return head;
}

AuditTrail::Check AuditTrail::VerifyHead(const Head& kept) {
    Check check = Verify();
    if (!check.whole || kept.id <= 0)
        return check;
    MutexLock lock(mutex_);
    if (kept.id <= MetaId(kAnchorId))
        return check;  // pruned for its age since the head was sent
    Statement s(db_, "SELECT hash FROM audit WHERE id = ?");
    if (!s) {
        check.whole = false;
        check.why = "nie mozna odczytac dziennika zdarzen";
        return check;
    }
    sqlite3_bind_int64(s.s, 1, kept.id);
    const bool found = sqlite3_step(s.s) == SQLITE_ROW;
    if (found && Column(s.s, 0) == kept.hash)
        return check;
    check.whole = false;
    check.badId = kept.id;
    check.why = found ? "zdarzenie " + std::to_string(kept.id) + ": inne niz w zachowanej glowie dziennika"
                      : "brak zdarzenia " + std::to_string(kept.id) + " z zachowanej glowy dziennika";
    return check;
}

std::string AuditTrail::HeadJson(const Head& head, const std::string& station) {
    return "{\"station\":" + JsonString(station) + ",\"id\":" + std::to_string(head.id) +
           ",\"hash\":" + JsonString(head.hash) + ",\"at\":" + JsonString(head.at) + "}";
}

bool AuditTrail::ParseHead(const std::string& text, Head& head) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    const QJsonObject o = doc.object();
    if (!doc.isObject() || !o.value("id").isDouble() || !o.value("hash").isString())
        return false;
    head.id = static_cast<int64_t>(o.value("id").toDouble());
    head.hash = o.value("hash").toString().toStdString();
    head.at = o.value("at").toString().toStdString();
    return head.id >= 0 && head.hash.size() == 64;
}

std::string AuditTrail::ErrorText() {
    MutexLock lock(mutex_);
    return error_;
}

}  // namespace kel
