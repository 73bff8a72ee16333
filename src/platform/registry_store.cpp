#include "platform/registry_store.h"

#include "platform/clock.h"
#include "platform/cp1250.h"

#include <sqlite3.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

// Design notes.
//
// Layout: reg_keys holds every key path; reg_values holds (key, name, type, data), keyed by key
// path and name, both COLLATE NOCASE so that "sPass" and "sPASS" are one value. The schema's
// version lives in PRAGMA user_version; 0 means a brand-new file.
//
// Damage: SQLite's SQLITE_CORRUPT and SQLITE_NOTADB, from any call, and a failed quick_check at
// open, put the store in the corrupt state. From then on nothing may touch the file: the
// connection is closed without the checkpoint SQLite normally runs on close (that would write WAL
// pages into the damaged file). The first write moves the file and its -wal/-shm companions aside
// together: a stale -wal left next to a fresh database would be replayed into it.
//
// Statements are prepared per call and finalized by RAII. A call that finds damage closes the
// connection while its statement is still live; sqlite3_close_v2 keeps the connection as a zombie
// until that statement is finalized, so this is safe.

namespace kel {
namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateSchema = "CREATE TABLE reg_keys ("
                                      "  path TEXT NOT NULL COLLATE NOCASE PRIMARY KEY);"
                                      "CREATE TABLE reg_values ("
                                      "  key TEXT NOT NULL COLLATE NOCASE,"
                                      "  name TEXT NOT NULL COLLATE NOCASE,"
                                      "  type INTEGER NOT NULL,"
                                      "  data BLOB NOT NULL,"
                                      "  PRIMARY KEY (key, name));"
                                      "PRAGMA user_version = 1;";

constexpr const char* kKeyExists = "SELECT 1 FROM reg_keys WHERE path = ?1";
constexpr const char* kKeyInsert = "INSERT OR IGNORE INTO reg_keys (path) VALUES (?1)";
constexpr const char* kKeyList = "SELECT path FROM reg_keys ORDER BY path COLLATE NOCASE";
// ?1 the key, ?2 the key followed by a backslash (its subkeys).
constexpr const char* kKeyDeleteTree =
    "DELETE FROM reg_keys WHERE path = ?1 OR substr(path, 1, length(?2)) = ?2 COLLATE NOCASE";
constexpr const char* kValueDeleteTree =
    "DELETE FROM reg_values WHERE key = ?1 OR substr(key, 1, length(?2)) = ?2 COLLATE NOCASE";
constexpr const char* kValueRead = "SELECT name, type, data FROM reg_values WHERE key = ?1 AND name = ?2";
// On a conflict the stored name keeps its case, as the registry keeps it.
constexpr const char* kValueWrite =
    "INSERT INTO reg_values (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
    "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kValueDelete = "DELETE FROM reg_values WHERE key = ?1 AND name = ?2";
constexpr const char* kValueList =
    "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY name COLLATE NOCASE";

// Prepared once at open so that a file with our version number but a foreign layout is refused.
constexpr const char* kAllStatements[] = {kKeyExists,     kKeyInsert,       kKeyList,
                                          kKeyDeleteTree, kValueDeleteTree, kValueRead,
                                          kValueWrite,    kValueDelete,     kValueList};

bool IsDamage(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// A prepared statement finalized at the end of its scope. sqlite3_finalize repeats the error of the
// last step, which the caller has already handled, so its result is not needed here.
class Stmt {
public:
    Stmt() = default;
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    // Prepares `sql` and binds the texts to ?1, ?2 ... in order.
    int Prepare(sqlite3* db, const char* sql, std::initializer_list<std::string_view> texts = {}) {
        int rc = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr);
        int i = 0;
        for (std::string_view text : texts) {
            if (rc == SQLITE_OK)
                rc = BindText(++i, text);
        }
        return rc;
    }
    sqlite3_stmt* get() const { return s_; }

    int BindText(int i, std::string_view text) {
        if (text.size() > INT_MAX)
            return SQLITE_TOOBIG;
        return sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    // An empty blob is bound as a zero-length blob, never as NULL (which a null pointer would give).
    int BindBlob(int i, const std::vector<uint8_t>& data) {
        if (data.size() > INT_MAX)
            return SQLITE_TOOBIG;
        static const uint8_t kNothing = 0;
        const void* p = data.empty() ? &kNothing : data.data();
        return sqlite3_bind_blob(s_, i, p, static_cast<int>(data.size()), SQLITE_TRANSIENT);
    }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, col))) : std::string();
    }
    std::vector<uint8_t> Blob(int col) const {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, col));
        return p ? std::vector<uint8_t>(p, p + sqlite3_column_bytes(s_, col)) : std::vector<uint8_t>();
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

bool HasControl(std::string_view s) {
    return s.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// rename() that refuses to replace an existing target (errno EEXIST), so a damaged file already
// kept aside is never overwritten.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot honour the flag: a hard link fails with EEXIST just the same.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    return unlink(from.c_str()) == 0 ? 0 : errno;
}

// SQLite reads "file:" and ":memory:" names specially; a relative path is given as "./path".
std::string SqlitePath(const std::string& file) {
    return file.empty() || file[0] == '/' ? file : "./" + file;
}

// Runs `f`; an escaping exception (only an allocation failure can escape) becomes a failure.
template <class F>
bool NoThrow(F&& f, std::string& error) {
    try {
        return f();
    } catch (const std::exception& e) {
        error = std::string("out of memory: ") + e.what();
        return false;
    }
}

}  // namespace

RegistryStore::~RegistryStore() {
    Close();
}

// ---- opening and closing ----

bool RegistryStore::Open(const std::string& file) {
    Close();
    file_ = file;
    error_.clear();
    moved_aside_.clear();
    corrupt_ = false;
    damaged_known_ = false;
    if (file.empty() || file.find('\0') != std::string::npos)
        return Fail("invalid settings file name");
    switch (OpenDbOnce()) {
    case OpenResult::Ok:
        return true;
    case OpenResult::Corrupt:
        corrupt_ = true;
        RememberDamagedFile();
        return true;
    case OpenResult::Failed:
        break;
    }
    return false;
}

void RegistryStore::Close() {
    if (db_ && txn_ != Txn::None)
        Rollback();
    CloseDb(true);
    corrupt_ = false;
    txn_ = Txn::None;
    txn_failed_ = false;
}

void RegistryStore::SetBusyTimeout(int milliseconds) {
    busy_ms_ = milliseconds;
    if (db_ && sqlite3_busy_timeout(db_, busy_ms_) != SQLITE_OK)
        SqlFail(sqlite3_errcode(db_), "cannot set the busy timeout");
}

void RegistryStore::CloseDb(bool checkpoint) {
    if (!db_)
        return;
    // Without the checkpoint on close, a damaged file gets no WAL pages written into it.
    if (!checkpoint && sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) != SQLITE_OK)
        error_ += " (could not stop the checkpoint on close)";
    if (sqlite3_close_v2(db_) != SQLITE_OK)
        error_ = "cannot close the settings file " + file_;
    db_ = nullptr;
}

namespace {

void OwnerOnly(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0)
        ::close(fd);
    for (const char* end : {"", "-wal", "-shm"}) {
        struct stat st {};
        const std::string path = file + end;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
            ::chmod(path.c_str(), st.st_mode & 0700);
    }
}

}  // namespace

// One attempt to open file_ and check it. On Failed, error_ says why and db_ is closed.
RegistryStore::OpenResult RegistryStore::OpenDbOnce() {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(file_).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    if (ec) {
        Fail("cannot create the folder " + parent.string() + ": " + ec.message());
        return OpenResult::Failed;
    }
    // The store holds the users and the mail and off-site secrets: readable by its owner only. A
    // new file is made so before SQLite opens it (its -wal and -shm take the file's mode); one an
    // older station made readable by everybody is narrowed, with its -wal and -shm.
    OwnerOnly(file_);
    const int rc =
        sqlite3_open_v2(SqlitePath(file_).c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK) {
        SqlFail(rc, "cannot open the settings file " + file_);
        CloseDb(false);
        return IsDamage(rc) ? OpenResult::Corrupt : OpenResult::Failed;
    }
    OpenResult result = OpenResult::Failed;
    if (sqlite3_busy_timeout(db_, busy_ms_) != SQLITE_OK ||
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK) {
        SqlFail(sqlite3_errcode(db_), "cannot configure the settings file " + file_);
    } else {
        result = CheckAndPrepare();
    }
    if (result != OpenResult::Ok)
        CloseDb(false);
    return result;
}

namespace {

// Runs a statement that yields one value in its first row.
int QueryOne(sqlite3* db, const char* sql, std::string* text, int64_t* number) {
    Stmt s;
    int rc = s.Prepare(db, sql);
    if (rc != SQLITE_OK)
        return rc;
    rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
        if (text)
            *text = s.Text(0);
        if (number)
            *number = sqlite3_column_int64(s.get(), 0);
        return SQLITE_OK;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace

// Checks the file read-only first (damage, version, ownership), so that a damaged or foreign file
// is refused before anything is written to it; then switches to WAL and creates the schema.
RegistryStore::OpenResult RegistryStore::CheckAndPrepare() {
    auto failed = [this](int rc, const std::string& what) {
        SqlFail(rc, what);
        return IsDamage(rc) ? OpenResult::Corrupt : OpenResult::Failed;
    };
    std::string check;
    int rc = QueryOne(db_, "PRAGMA quick_check(1)", &check, nullptr);
    if (rc != SQLITE_OK)
        return failed(rc, "cannot check the settings file " + file_);
    if (check != "ok") {
        Fail(DamagedText() + " (" + check + ")");
        return OpenResult::Corrupt;
    }
    int64_t version = 0, tables = 0;
    rc = QueryOne(db_, "PRAGMA user_version", nullptr, &version);
    if (rc == SQLITE_OK)
        rc = QueryOne(db_, "SELECT count(*) FROM sqlite_master", nullptr, &tables);
    if (rc != SQLITE_OK)
        return failed(rc, "cannot read the settings file " + file_);
    if (version > kSchemaVersion) {
        Fail(file_ + " was written by a newer version of the program (format " + std::to_string(version) +
             ")");
        return OpenResult::Failed;
    }
    if (version == 0 && tables > 0) {
        Fail(file_ + " is not a settings file of this program");
        return OpenResult::Failed;
    }
    // WAL lets the recorder's connection write its counters while the window thread reads.
    std::string mode;
    rc = QueryOne(db_, "PRAGMA journal_mode = WAL", &mode, nullptr);
    if (rc != SQLITE_OK)
        return failed(rc, "cannot set up the settings file " + file_);
    if (version == 0) {
        const OpenResult created = CreateSchema();
        if (created != OpenResult::Ok)
            return created;
    }
    for (const char* sql : kAllStatements) {
        Stmt s;
        rc = s.Prepare(db_, sql);
        if (rc != SQLITE_OK)
            return failed(rc, file_ + " is not a settings file of this program");
    }
    return OpenResult::Ok;
}

// Two connections may open a new file at once: the version is read again under the write lock.
RegistryStore::OpenResult RegistryStore::CreateSchema() {
    int64_t version = 0;
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = QueryOne(db_, "PRAGMA user_version", nullptr, &version);
    if (rc == SQLITE_OK && version == 0)
        rc = sqlite3_exec(db_, kCreateSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return OpenResult::Ok;
    SqlFail(rc, "cannot create the settings file " + file_);
    if (db_ && !sqlite3_get_autocommit(db_) &&
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
        error_ += " (rollback failed)";
    return IsDamage(rc) ? OpenResult::Corrupt : OpenResult::Failed;
}

// ---- errors and damage ----

bool RegistryStore::Fail(const std::string& what) {
    error_ = what;
    return false;
}

bool RegistryStore::SqlFail(int rc, const std::string& what) {
    const std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    if (IsDamage(rc)) {
        EnterCorrupt();
        return Fail(DamagedText() + " (" + detail + ")");
    }
    return Fail(what + ": " + detail);
}

std::string RegistryStore::DamagedText() const {
    return "the settings file " + file_ + " is damaged";
}

void RegistryStore::EnterCorrupt() {
    if (txn_ != Txn::None)
        txn_failed_ = true;
    CloseDb(false);
    if (!corrupt_)
        RememberDamagedFile();
    corrupt_ = true;
}

void RegistryStore::RememberDamagedFile() {
    struct stat st;
    damaged_known_ = stat(file_.c_str(), &st) == 0;
    damaged_dev_ = damaged_known_ ? st.st_dev : 0;
    damaged_ino_ = damaged_known_ ? st.st_ino : 0;
}

std::string RegistryStore::Stamp() const {
    LocalTime t;
    if (clock_) {
        t = clock_->Now();
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        if (localtime_r(&now, &tm)) {
            t.year = tm.tm_year + 1900, t.month = tm.tm_mon + 1, t.day = tm.tm_mday;
            t.hour = tm.tm_hour, t.minute = tm.tm_min, t.second = tm.tm_sec;
        }
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

// What belongs to the damaged store: the file itself while it is still the one found damaged, and
// its companions unless another connection has already put a fresh file in its place.
bool RegistryStore::MoveAside() {
    struct stat st;
    const bool main_exists = stat(file_.c_str(), &st) == 0;
    if (main_exists && damaged_known_ && (st.st_dev != damaged_dev_ || st.st_ino != damaged_ino_))
        return true;  // already replaced by someone else; that file is not ours to move
    const std::string base = file_ + ".damaged-" + Stamp();
    for (int n = 1; n < 1000; ++n) {
        const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
        if (Exists(target) || Exists(target + "-wal") || Exists(target + "-shm"))
            continue;
        int err = main_exists ? RenameNoReplace(file_, target) : 0;
        if (err == EEXIST)
            continue;
        for (const char* suffix : {"-wal", "-shm"}) {
            if (err == 0 && Exists(file_ + suffix))
                err = RenameNoReplace(file_ + suffix, target + suffix);
        }
        if (err != 0)
            return Fail(DamagedText() + "; cannot move it aside to " + target + ": " + std::strerror(err));
        if (main_exists)
            moved_aside_ = target;
        return true;
    }
    return Fail(DamagedText() + "; too many damaged copies are kept next to it");
}

bool RegistryStore::EnsureWritable() {
    if (!corrupt_)
        return db_ ? true : Fail("the settings store is not open");
    // Twice at most: the file found in place after the move may itself be damaged.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!MoveAside())
            return false;
        switch (OpenDbOnce()) {
        case OpenResult::Ok:
            corrupt_ = false;
            return true;
        case OpenResult::Failed:
            return false;
        case OpenResult::Corrupt:
            RememberDamagedFile();
            break;
        }
    }
    return Fail(DamagedText());
}

bool RegistryStore::EnsureReadable() {
    if (corrupt_)
        return Fail(DamagedText());
    return db_ ? true : Fail("the settings store is not open");
}

// Whether a write may start now: not inside a read snapshot nor a transaction that already failed.
bool RegistryStore::WriteAllowed() {
    if (txn_ == Txn::Read)
        return Fail("cannot write inside a read transaction");
    if (txn_ == Txn::Write && txn_failed_)
        return Fail("not written: an earlier write of this transaction failed (" + txn_error_ + ")");
    return EnsureWritable();
}

bool RegistryStore::Exec(const char* sql) {
    if (!db_)
        return Fail("the settings store is not open");
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || SqlFail(rc, std::string("cannot run ") + sql);
}

bool RegistryStore::StepDone(sqlite3_stmt* stmt, const char* what) {
    const int rc = sqlite3_step(stmt);
    return rc == SQLITE_DONE || SqlFail(rc, what);
}

// Runs one write on its own transaction, or inside the caller's. A failure inside the caller's
// transaction marks it, so that Commit refuses to keep a partial save.
template <class F>
bool RegistryStore::InWriteTxn(F&& body) {
    if (!WriteAllowed())
        return WriteFailed();
    const bool own = txn_ == Txn::None;
    if (own && !Exec("BEGIN IMMEDIATE"))
        return false;
    const bool ok = NoThrow(body, error_);
    if (!own)
        return ok || WriteFailed();
    if (ok && Exec("COMMIT"))
        return true;
    if (db_ && !sqlite3_get_autocommit(db_) &&
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
        error_ += " (rollback failed)";
    return false;
}

bool RegistryStore::WriteFailed() {
    if (txn_ == Txn::Write && !txn_failed_) {
        txn_failed_ = true;
        txn_error_ = error_;
    }
    return false;
}

// ---- keys ----

bool RegistryStore::NormalizeKey(std::string_view key, std::string& out) {
    const size_t first = key.find_first_not_of('\\');
    if (first == std::string_view::npos || HasControl(key))
        return false;
    key = key.substr(first, key.find_last_not_of('\\') - first + 1);
    if (key.find("\\\\") != std::string_view::npos)
        return false;
    out.assign(key);
    return true;
}

bool RegistryStore::ValidValueName(std::string_view name) {
    return !HasControl(name);
}

bool RegistryStore::InsertKeyWithParents(const std::string& path) {
    for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        const std::string_view prefix = std::string_view(path).substr(0, end);
        Stmt s;
        const int rc = s.Prepare(db_, kKeyInsert, {prefix});
        if (rc != SQLITE_OK)
            return SqlFail(rc, "cannot create the key " + path);
        if (!StepDone(s.get(), "cannot create the key"))
            return false;
        if (end == std::string::npos)
            return true;
    }
}

bool RegistryStore::KeyExists(std::string_view key) {
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path");
    if (!EnsureReadable())
        return false;
    Stmt s;
    int rc = s.Prepare(db_, kKeyExists, {path});
    if (rc == SQLITE_OK)
        rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return Fail("the key " + path + " does not exist");
    return SqlFail(rc, "cannot read the key " + path);
}

bool RegistryStore::CreateKey(std::string_view key) {
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path") || WriteFailed();
    return InWriteTxn([&] { return InsertKeyWithParents(path); });
}

bool RegistryStore::DeleteKey(std::string_view key) {
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path") || WriteFailed();
    const std::string subkeys = path + "\\";
    return InWriteTxn([&] {
        for (const char* sql : {kValueDeleteTree, kKeyDeleteTree}) {
            Stmt s;
            const int rc = s.Prepare(db_, sql, {path, subkeys});
            if (rc != SQLITE_OK)
                return SqlFail(rc, "cannot delete the key " + path);
            if (!StepDone(s.get(), "cannot delete the key"))
                return false;
        }
        return true;
    });
}

std::vector<std::string> RegistryStore::Keys() {
    std::vector<std::string> keys;
    ListKeys(keys);
    return keys;
}

bool RegistryStore::ListKeys(std::vector<std::string>& out) {
    out.clear();
    if (!EnsureReadable())
        return false;
    return NoThrow(
        [&] {
            Stmt s;
            int rc = s.Prepare(db_, kKeyList);
            while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
                out.push_back(s.Text(0));
                rc = SQLITE_OK;
            }
            if (rc == SQLITE_DONE)
                return true;
            out.clear();
            return SqlFail(rc, "cannot list the keys");
        },
        error_);
}

// ---- values ----

namespace {

RegValue RowValue(const Stmt& s) {
    RegValue v;
    v.name = s.Text(0);
    v.type = static_cast<RegType>(static_cast<uint32_t>(sqlite3_column_int64(s.get(), 1)));
    v.data = s.Blob(2);
    return v;
}

}  // namespace

bool RegistryStore::ReadValue(std::string_view key, std::string_view name, RegValue& out) {
    last_read_missing_ = false;
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path");
    if (!EnsureReadable())
        return false;
    return NoThrow(
        [&] {
            Stmt s;
            int rc = s.Prepare(db_, kValueRead, {path, name});
            if (rc == SQLITE_OK)
                rc = sqlite3_step(s.get());
            if (rc == SQLITE_ROW) {
                out = RowValue(s);
                return true;
            }
            if (rc != SQLITE_DONE)
                return SqlFail(rc, "cannot read the value " + std::string(name));
            last_read_missing_ = true;
            return Fail("the value " + path + "\\" + std::string(name) + " does not exist");
        },
        error_);
}

bool RegistryStore::WriteValue(std::string_view key, std::string_view name, RegType type,
                               const std::vector<uint8_t>& data) {
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path") || WriteFailed();
    if (!ValidValueName(name))
        return Fail("invalid value name") || WriteFailed();
    return InWriteTxn([&] {
        if (!InsertKeyWithParents(path))
            return false;
        Stmt s;
        int rc = s.Prepare(db_, kValueWrite, {path, name});
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_int64(s.get(), 3, static_cast<uint32_t>(type));
        if (rc == SQLITE_OK)
            rc = s.BindBlob(4, data);
        if (rc != SQLITE_OK)
            return SqlFail(rc, "cannot write the value " + std::string(name));
        return StepDone(s.get(), "cannot write the value");
    });
}

bool RegistryStore::DeleteValue(std::string_view key, std::string_view name) {
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path") || WriteFailed();
    return InWriteTxn([&] {
        Stmt s;
        const int rc = s.Prepare(db_, kValueDelete, {path, name});
        if (rc != SQLITE_OK)
            return SqlFail(rc, "cannot delete the value " + std::string(name));
        return StepDone(s.get(), "cannot delete the value");
    });
}

bool RegistryStore::ListValues(std::string_view key, std::vector<RegValue>& out) {
    out.clear();
    std::string path;
    if (!NormalizeKey(key, path))
        return Fail("invalid key path");
    if (!EnsureReadable())
        return false;
    return NoThrow(
        [&] {
            Stmt s;
            int rc = s.Prepare(db_, kValueList, {path});
            while (rc == SQLITE_OK && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
                out.push_back(RowValue(s));
                rc = SQLITE_OK;
            }
            if (rc == SQLITE_DONE)
                return true;
            out.clear();
            return SqlFail(rc, "cannot list the values of " + path);
        },
        error_);
}

// ---- transactions ----

bool RegistryStore::Begin() {
    if (txn_ != Txn::None)
        return Fail("a transaction is already open");
    if (!EnsureWritable() || !Exec("BEGIN IMMEDIATE"))
        return false;
    txn_ = Txn::Write;
    txn_failed_ = false;
    txn_error_.clear();
    return true;
}

bool RegistryStore::BeginRead() {
    if (txn_ != Txn::None)
        return Fail("a transaction is already open");
    if (!EnsureReadable() || !Exec("BEGIN"))
        return false;
    txn_ = Txn::Read;
    txn_failed_ = false;
    return true;
}

bool RegistryStore::Commit() {
    if (txn_ == Txn::None)
        return Fail("no transaction is open");
    if (txn_failed_) {
        const std::string why = txn_error_.empty() ? error_ : txn_error_;
        Rollback();
        return Fail("not committed, rolled back: an operation of the transaction failed (" + why + ")");
    }
    if (Exec("COMMIT")) {
        txn_ = Txn::None;
        return true;
    }
    const std::string why = error_;
    Rollback();
    return Fail(why);
}

void RegistryStore::Rollback() {
    // SQLite may already have rolled back by itself (a full disk, an I/O error).
    if (db_ && !sqlite3_get_autocommit(db_))
        Exec("ROLLBACK");
    txn_ = Txn::None;
    txn_failed_ = false;
    txn_error_.clear();
}

// ---- helpers ----

std::vector<uint8_t> RegistryStore::DwordBytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> RegistryStore::SzBytes(std::string_view utf8) {
    const std::string bytes = ToCp1250(utf8);
    std::vector<uint8_t> out(bytes.begin(), bytes.end());
    out.push_back(0);
    return out;
}

}  // namespace kel
