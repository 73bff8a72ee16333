#include "platform/audit_trail.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/sha256.h"

namespace kel {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS audit ("
    " id INTEGER PRIMARY KEY, at TEXT NOT NULL, who TEXT NOT NULL, what TEXT NOT NULL,"
    " detail TEXT NOT NULL, prev TEXT NOT NULL, hash TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);";
// The hash the oldest kept record follows, and the last record's.
constexpr const char* kAnchor = "anchor";
constexpr const char* kLast = "last";

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

std::string AuditHash(const AuditRecord& r) {
    // Each field ends in a byte no text holds, so no two different records read alike.
    std::string bytes = std::to_string(r.id);
    for (const std::string* field : {&r.at, &r.who, &r.what, &r.detail, &r.prev}) {
        bytes.push_back('\0');
        bytes += *field;
    }
    return Sha256Hex(bytes);
}

std::string AuditTrail::PathBeside(const std::string& storeFile) {
    return (std::filesystem::path(storeFile).parent_path() / kFile).string();
}

AuditTrail::AuditTrail(std::string path, const Clock& clock) : path_(std::move(path)), clock_(clock) {}

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
    if (sqlite3_open_v2(path_.c_str(), &db_,
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
    return true;
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
    // A trail whose records were all pruned follows its anchor.
    if (ok && r.prev.empty())
        ok = Meta(kAnchor, r.prev);
    r.hash = AuditHash(r);
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
    ok = ok && SetMeta(kLast, r.hash);
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
        ok = ok && SetMeta(kAnchor, anchor);
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
    std::vector<AuditRecord> out;
    if (!db_)
        return out;
    Statement s(db_, "SELECT id, at, who, what, detail, prev, hash FROM audit WHERE at >= ? ORDER BY id");
    if (!s)
        return out;
    s.Bind(1, since);
    while (sqlite3_step(s.s) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(s.s, 0), Column(s.s, 1), Column(s.s, 2), Column(s.s, 3),
                       Column(s.s, 4), Column(s.s, 5), Column(s.s, 6)});
    return out;
}

AuditTrail::Check AuditTrail::Verify() {
    Check check;
    std::string anchor, last;
    {
        MutexLock lock(mutex_);
        if (!db_ || !Meta(kAnchor, anchor) || !Meta(kLast, last)) {
            check.why = "nie mozna odczytac dziennika zdarzen";
            return check;
        }
    }
    const std::vector<AuditRecord> records = Read();
    std::string expected = anchor;
    int64_t previousId = 0;
    for (const AuditRecord& r : records) {
        std::string why;
        if (r.prev != expected)
            why = previousId ? "nie nastepuje po zdarzeniu " + std::to_string(previousId)
                             : "nie nastepuje po ostatnim usunietym zdarzeniu";
        else if (AuditHash(r) != r.hash)
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
    if (expected != (last.empty() ? anchor : last)) {
        check.badId = previousId + 1;
        check.why = "brak zdarzen po zdarzeniu " + std::to_string(previousId);
        return check;
    }
    check.whole = true;
    return check;
}

std::string AuditTrail::ErrorText() {
    MutexLock lock(mutex_);
    return error_;
}

}  // namespace kel
