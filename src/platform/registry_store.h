#pragma once
// The settings store: keys holding typed values, as the station's settings have always been kept.
// One SQLite file per user; value and key names are matched without regard to case (ASCII letters;
// SQLite's NOCASE folds no others).
//
// A store whose file SQLite reports as damaged opens in a "corrupt" state: every read fails as
// if the key were missing, nothing is written to the damaged file. The first write moves the
// damaged file aside (kept, never overwritten) and starts a fresh one. A file that is locked,
// unreadable or belongs to another program is not damaged: operations fail and it is left alone.
//
// One RegistryStore per thread: the recorder opens its own on the same file. All members belong
// to the thread that uses the object.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kel {

class Clock;

enum class RegType : uint32_t {
    None = 0,
    Sz = 1,        // REG_SZ: code page 1250 bytes, normally ending in one NUL
    ExpandSz = 2,  // REG_EXPAND_SZ: as Sz, never expanded by us
    Binary = 3,    // REG_BINARY
    Dword = 4,     // REG_DWORD: 4 bytes little-endian
    // Any other number may be stored and is carried unchanged.
};

struct RegValue {
    std::string name;  // as stored (case kept)
    RegType type = RegType::None;
    std::vector<uint8_t> data;
};

class RegistryStore {
public:
    RegistryStore() = default;
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Opens (creating when missing, with its folder) the store file. False with ErrorText when the
    // file cannot be opened at all. A damaged file opens "corrupt" and returns true.
    bool Open(const std::string& file);
    // Ends an open transaction by rolling it back.
    void Close();
    bool IsOpen() const { return db_ != nullptr || corrupt_; }
    bool IsCorrupt() const { return corrupt_; }
    const std::string& FileName() const { return file_; }
    // Where a damaged file was moved by the first write after opening it corrupt; empty otherwise.
    const std::string& MovedAsideTo() const { return moved_aside_; }

    // How long an operation waits for another connection's lock before it fails (default 5 s).
    void SetBusyTimeout(int milliseconds);
    // The clock that stamps a moved-aside file's name; nullptr (the default) reads the system time.
    // The clock must outlive the store.
    void SetClock(const Clock* clock) { clock_ = clock; }

    // Key paths are like "Software\\KEL2" (a leading or trailing backslash is ignored). A path with
    // an empty component ("A\\\\B"), or holding NUL, CR or LF, is invalid.
    bool KeyExists(std::string_view key);
    // Creates the key and every missing parent, as the registry does.
    bool CreateKey(std::string_view key);
    // Removes the key, its subkeys and all their values. True when it is gone, also when it never was.
    bool DeleteKey(std::string_view key);
    // Every key path as first written, ordered without case. Empty when the store cannot be read.
    std::vector<std::string> Keys();
    // As Keys, but says whether the store could be read.
    bool ListKeys(std::vector<std::string>& out);

    // False when the value is missing or the store cannot be read (ErrorText says which;
    // LastReadMissing tells them apart).
    bool ReadValue(std::string_view key, std::string_view name, RegValue& out);
    // After a failed ReadValue: true when the value (or its key) does not exist in a readable store.
    bool LastReadMissing() const { return last_read_missing_; }
    // Creates the key when it is missing. Replaces the value and its type; the name keeps the case
    // it was first written with. The empty name is the key's default value.
    bool WriteValue(std::string_view key, std::string_view name, RegType type,
                    const std::vector<uint8_t>& data);
    // True when the value is gone, also when it never existed.
    bool DeleteValue(std::string_view key, std::string_view name);
    // Every value of a key, ordered by name without case.
    bool ListValues(std::string_view key, std::vector<RegValue>& out);

    // Group writes into one transaction (a whole save is atomic). Begin takes the write lock at
    // once, so a busy file fails here rather than half-way through a save. After any failed
    // operation inside the transaction, later writes fail and Commit rolls back and returns false:
    // a save is never committed with a hole in it.
    bool Begin();
    // A read snapshot (for an export that must not mix two saves); writes fail until it ends.
    bool BeginRead();
    bool Commit();
    void Rollback();
    bool InTransaction() const { return txn_ != Txn::None; }

    const std::string& ErrorText() const { return error_; }

    // Helpers for the common types.
    static std::vector<uint8_t> DwordBytes(uint32_t v);
    // UTF-8 text stored as code page 1250 with its terminating NUL.
    static std::vector<uint8_t> SzBytes(std::string_view utf8);
    // "\\Software\\KEL2\\" -> "Software\\KEL2". False for an invalid path (see KeyExists).
    static bool NormalizeKey(std::string_view key, std::string& out);
    // Any text without NUL, CR or LF (those could not be written to a .reg file).
    static bool ValidValueName(std::string_view name);

private:
    enum class OpenResult { Ok, Corrupt, Failed };
    enum class Txn { None, Read, Write };

    bool Fail(const std::string& what);
    // Records a failed SQLite call; damage puts the store in the corrupt state.
    bool SqlFail(int rc, const std::string& what);
    bool WriteFailed();     // marks the caller's transaction as failed; returns false
    bool EnsureWritable();  // moves a damaged file aside and starts afresh
    bool EnsureReadable();
    bool WriteAllowed();
    OpenResult OpenDbOnce();
    OpenResult CheckAndPrepare();
    OpenResult CreateSchema();
    bool Exec(const char* sql);
    bool StepDone(sqlite3_stmt* stmt, const char* what);
    bool InsertKeyWithParents(const std::string& path);
    template <class F>
    bool InWriteTxn(F&& body);
    void EnterCorrupt();
    void RememberDamagedFile();
    bool MoveAside();
    void CloseDb(bool checkpoint);
    std::string DamagedText() const;
    std::string Stamp() const;

    // Settings.
    int busy_ms_ = 5000;
    const Clock* clock_ = nullptr;

    std::string file_;       // fixed from Open to Close
    sqlite3* db_ = nullptr;  // null while closed or corrupt
    std::string error_;
    std::string moved_aside_;
    bool corrupt_ = false;
    dev_t damaged_dev_ = 0;  // identity of the damaged file, so a file another
    ino_t damaged_ino_ = 0;  // connection has already replaced is not moved aside
    bool damaged_known_ = false;
    Txn txn_ = Txn::None;
    bool txn_failed_ = false;  // a write (or the connection) failed inside the transaction
    std::string txn_error_;    // the first such failure
    bool last_read_missing_ = false;
};

}  // namespace kel
