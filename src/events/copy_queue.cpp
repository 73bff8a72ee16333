#include "events/copy_queue.h"

#include <sqlite3.h>

#include <filesystem>

namespace kel {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS copies ("
    " id INTEGER PRIMARY KEY,"
    " camera INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " start REAL NOT NULL,"
    " state INTEGER NOT NULL DEFAULT 0,"
    " attempts INTEGER NOT NULL DEFAULT 0,"
    " due INTEGER NOT NULL DEFAULT 0,"
    " upload TEXT NOT NULL DEFAULT '',"
    " UNIQUE (camera, name));"
    "CREATE INDEX IF NOT EXISTS copies_due ON copies (state, due, id);"
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);";

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (db)
            sqlite3_prepare_v2(db, sql, -1, &s_, nullptr);
    }
    ~Statement() { sqlite3_finalize(s_); }
    explicit operator bool() const { return s_ != nullptr; }
    Statement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Statement& Bind(int i, double v) {
        sqlite3_bind_double(s_, i, v);
        return *this;
    }
    Statement& Bind(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return sqlite3_step(s_); }
    bool Done() { return Step() == SQLITE_DONE; }
    void Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    int64_t Int(int i) const { return sqlite3_column_int64(s_, i); }
    double Real(int i) const { return sqlite3_column_double(s_, i); }
    std::string Text(int i) const {
        const unsigned char* t = sqlite3_column_text(s_, i);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    bool Null(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }

private:
    sqlite3_stmt* s_ = nullptr;
};

}  // namespace

CopyQueue::CopyQueue(std::string path) : path_(std::move(path)) {}

CopyQueue::~CopyQueue() {
    MutexLock lock(mutex_);
    if (db_)
        sqlite3_close(db_);
}

std::string CopyQueue::ErrorText() const {
    MutexLock lock(mutex_);
    return error_;
}

bool CopyQueue::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CopyQueue::Fail(const std::string& what) {
    error_ = what + ": " + (db_ ? sqlite3_errmsg(db_) : "brak pliku");
    return false;
}

// Opening alone does not read the file; the schema and a check do.
bool CopyQueue::Prepare() {
    if (sqlite3_open_v2(path_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(db_, 5000);
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = FULL") || !Exec(kSchema))
        return false;
    Statement check(db_, "PRAGMA quick_check");
    return check && check.Step() == SQLITE_ROW && check.Text(0) == "ok";
}

bool CopyQueue::Open(bool& setAside) {
    MutexLock lock(mutex_);
    setAside = false;
    if (db_)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    if (Prepare())
        return true;
    const std::string why = db_ ? sqlite3_errmsg(db_) : "brak pliku";
    sqlite3_close(db_);
    db_ = nullptr;
    // Not a queue we can read: kept for a look, and a new one begun.
    if (std::filesystem::is_regular_file(path_, ec)) {
        std::filesystem::rename(path_, path_ + ".bad", ec);
        for (const char* side : {"-wal", "-shm"})
            std::filesystem::remove(path_ + side, ec);
        setAside = !ec;
        if (setAside && Prepare()) {
            Statement s(db_, "INSERT OR REPLACE INTO meta (key, value) VALUES ('since', '0')");
            if (s && s.Done())
                return true;
        }
    }
    error_ = "Nie mozna otworzyc " + path_ + ": " + why;
    if (db_)
        sqlite3_close(db_);
    db_ = nullptr;
    return false;
}

double CopyQueue::Since(double now) {
    MutexLock lock(mutex_);
    if (!db_)
        return now;
    // Bound and read as a number: no locale comes between.
    Statement get(db_, "SELECT CAST(value AS REAL) FROM meta WHERE key = 'since'");
    if (get && get.Step() == SQLITE_ROW)
        return get.Real(0);
    Statement set(db_, "INSERT INTO meta (key, value) VALUES ('since', ?)");
    if (set)
        set.Bind(1, now).Done();
    return now;
}

bool CopyQueue::Add(int camera, const std::string& name, double start) {
    return AddAll({QueuedCopy{0, camera, name, start, 0, {}}});
}

bool CopyQueue::AddAll(const std::vector<QueuedCopy>& copies) {
    MutexLock lock(mutex_);
    if (!db_)
        return Fail("Kolejka kopii nie jest otwarta");
    if (!Exec("BEGIN IMMEDIATE"))
        return Fail("Kolejka kopii");
    Statement s(db_, "INSERT OR IGNORE INTO copies (camera, name, start) VALUES (?, ?, ?)");
    bool ok = static_cast<bool>(s);
    for (const QueuedCopy& c : copies) {
        if (!ok)
            break;
        s.Bind(1, static_cast<int64_t>(c.camera)).Bind(2, c.name).Bind(3, c.start);
        ok = s.Done();
        s.Reset();
    }
    if (!ok) {
        Fail("Kolejka kopii");
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT") || Fail("Kolejka kopii");
}

std::optional<QueuedCopy> CopyQueue::Next(int64_t now) {
    MutexLock lock(mutex_);
    if (!db_)
        return std::nullopt;
    Statement s(db_,
                "SELECT id, camera, name, start, attempts, upload FROM copies WHERE state = 0 AND due <= ? "
                "ORDER BY due, id LIMIT 1");
    if (!s || s.Bind(1, now).Step() != SQLITE_ROW)
        return std::nullopt;
    return QueuedCopy{s.Int(0),  static_cast<int>(s.Int(1)), s.Text(2),
                      s.Real(3), static_cast<int>(s.Int(4)), s.Text(5)};
}

std::optional<int64_t> CopyQueue::NextDue() {
    MutexLock lock(mutex_);
    if (!db_)
        return std::nullopt;
    Statement s(db_, "SELECT MIN(due) FROM copies WHERE state = 0");
    if (!s || s.Step() != SQLITE_ROW || s.Null(0))
        return std::nullopt;
    return s.Int(0);
}

bool CopyQueue::SetUpload(int64_t id, const std::string& uploadId) {
    MutexLock lock(mutex_);
    Statement s(db_, "UPDATE copies SET upload = ? WHERE id = ?");
    return (s && s.Bind(1, uploadId).Bind(2, id).Done()) || Fail("Kolejka kopii");
}

bool CopyQueue::Finish(int64_t id, State state) {
    MutexLock lock(mutex_);
    if (!Exec("BEGIN IMMEDIATE"))
        return Fail("Kolejka kopii");
    Statement s(db_, "UPDATE copies SET state = ?, upload = '' WHERE id = ?");
    // Those the rotation took first are counted for good: their rows are forgotten later.
    Statement gone(db_, "INSERT INTO meta (key, value) VALUES ('gone', '1') "
                        "ON CONFLICT(key) DO UPDATE SET value = CAST(value AS INTEGER) + 1");
    if (!s || !s.Bind(1, static_cast<int64_t>(state)).Bind(2, id).Done() ||
        (state == State::Gone && (!gone || !gone.Done()))) {
        Fail("Kolejka kopii");
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT") || Fail("Kolejka kopii");
}

int64_t CopyQueue::GoneTotal() {
    MutexLock lock(mutex_);
    Statement s(db_, "SELECT CAST(value AS INTEGER) FROM meta WHERE key = 'gone'");
    return s && s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

bool CopyQueue::Failed(int64_t id, int64_t retryAt) {
    MutexLock lock(mutex_);
    Statement s(db_, "UPDATE copies SET attempts = attempts + 1, due = ? WHERE id = ?");
    return (s && s.Bind(1, retryAt).Bind(2, id).Done()) || Fail("Kolejka kopii");
}

CopyQueue::Backlog CopyQueue::Waiting() {
    MutexLock lock(mutex_);
    Backlog b;
    Statement s(db_, "SELECT COUNT(*), MIN(start) FROM copies WHERE state = 0");
    if (db_ && s && s.Step() == SQLITE_ROW) {
        b.count = s.Int(0);
        b.oldestStart = s.Null(1) ? 0 : s.Real(1);
    }
    return b;
}

int64_t CopyQueue::Count(State state) {
    MutexLock lock(mutex_);
    Statement s(db_, "SELECT COUNT(*) FROM copies WHERE state = ?");
    if (!db_ || !s || s.Bind(1, static_cast<int64_t>(state)).Step() != SQLITE_ROW)
        return 0;
    return s.Int(0);
}

bool CopyQueue::ForgetBefore(double start) {
    MutexLock lock(mutex_);
    Statement s(db_, "DELETE FROM copies WHERE state <> 0 AND start < ?");
    return (s && s.Bind(1, start).Done()) || Fail("Kolejka kopii");
}

}  // namespace kel
