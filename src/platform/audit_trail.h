#pragma once
// The audit trail: an append-only record of who did what on the station. Logins and their
// refusals (console, TCP, viewer), logouts, configuration applied, archive viewing, exports and
// snapshots, the station's start and stop.
//
// Kept in an SQLite file beside the settings store (write-ahead log, one transaction per record,
// so a crash loses at most the record being written and never breaks the ones before). Records
// are numbered without gaps. Each record carries the hash of the record before it and its own, over
// its number, time, user, kind and detail: an HMAC-SHA256 under the trail's key, a file of its own
// beside the trail readable by its owner only ("audit.key"), so that nobody without the key can
// edit, remove or put in a record and make the chain whole again. Records written before the
// trail had a key carry a plain SHA-256 and are checked as such. The file also keeps the last
// record's hash with a keyed seal (a record removed from the end is found) and the number and hash
// the oldest kept record follows (records older than the keeping time are pruned).
//
// Someone holding the key could still rewrite the trail; the chain's head (the last record's
// number and hash) is therefore sent away from the station, and VerifyHead checks the trail
// against a head kept elsewhere.
//
// Several processes may write one trail (the station and the viewer): each record is read-then-
// written in one immediate transaction. Any thread: calls are serialised.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/guarded.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kel {

struct AuditRecord {
    int64_t id = 0;
    std::string at;  // "YYYY-MM-DD HH:MM:SS", the station's local time
    std::string who;
    std::string what;
    std::string detail;
    std::string prev;  // the hash of the record before ("" for the first ever)
    std::string hash;
};

class AuditTrail {
public:
    static constexpr const char* kFile = "audit.sqlite";
    static constexpr int kKeepDays = 365;

    // The record kinds, in the console's words.
    static constexpr const char* kLogin = "logowanie";
    static constexpr const char* kLoginRefused = "odmowa logowania";
    static constexpr const char* kLogout = "wylogowanie";
    static constexpr const char* kConfiguration = "konfiguracja";
    static constexpr const char* kViewing = "przegladanie nagran";
    static constexpr const char* kLiveView = "podglad na zywo";
    static constexpr const char* kExport = "eksport";
    static constexpr const char* kSnapshot = "zdjecie";
    static constexpr const char* kStart = "start systemu";
    static constexpr const char* kStop = "zamkniecie systemu";
    static constexpr const char* kCloseRefused = "odmowa zamkniecia";
    static constexpr const char* kAlert = "alarm";
    static constexpr const char* kExpiry = "usuniecie starych nagran";

    // The trail beside the settings store `storeFile`, and the key beside the trail `trailFile`.
    static std::string PathBeside(const std::string& storeFile);
    static std::string KeyPathBeside(const std::string& trailFile);

    // `keyPath` empty: the key beside the trail.
    explicit AuditTrail(std::string path, const Clock& clock = SystemClock::Instance(),
                        std::string keyPath = "");
    ~AuditTrail();
    AuditTrail(const AuditTrail&) = delete;
    AuditTrail& operator=(const AuditTrail&) = delete;

    // Opens the file, made with its table when missing (readable by its owner only). A trail
    // without a key gets one, made here; a trail whose key is gone is not opened: records chained
    // under a new key would hide what was done to the old ones. False with ErrorText.
    bool Open();
    // One record in its own transaction. False with ErrorText when it could not be written: the
    // caller says so in the log, and what it records is never refused for it.
    bool Append(std::string_view who, std::string_view what, std::string_view detail);
    // Records older than `days` deleted; the hash the oldest kept record follows is kept with
    // them. The number deleted, -1 on failure.
    int Prune(int days = kKeepDays);
    // Every record from `since` ("YYYY-MM-DD", empty for all) on, oldest first.
    std::vector<AuditRecord> Read(const std::string& since = "");
    // The records numbered after `id`, oldest first.
    std::vector<AuditRecord> ReadAfter(int64_t id);

    struct Check {
        bool whole = false;
        size_t records = 0;
        int64_t badId = 0;  // the first record that is not what the chain says; 0 when whole
        std::string why;
    };
    // The chain checked from the oldest kept record to the last.
    Check Verify();

    // The chain's head: the last record's number, hash and time (id 0: no record yet).
    struct Head {
        int64_t id = 0;
        std::string hash;
        std::string at;
    };
    Head LastHead();
    // The chain checked as Verify does, and then against a head kept elsewhere: the trail must
    // still hold that record with that hash. A head older than every kept record passes (pruned).
    Check VerifyHead(const Head& kept);
    // A head as one line of JSON (with the station's name), and read back; false when `text` is no
    // head.
    static std::string HeadJson(const Head& head, const std::string& station);
    static bool ParseHead(const std::string& text, Head& head);

    std::string ErrorText();

private:
    bool Exec(const char* sql) KEL_REQUIRES(mutex_);
    bool Meta(const char* key, std::string& value) KEL_REQUIRES(mutex_);
    bool SetMeta(const char* key, const std::string& value) KEL_REQUIRES(mutex_);
    bool Fail(const std::string& what) KEL_REQUIRES(mutex_);
    bool LoadKey() KEL_REQUIRES(mutex_);
    bool Reseal() KEL_REQUIRES(mutex_);
    std::vector<AuditRecord> ReadLocked(const std::string& since) KEL_REQUIRES(mutex_);
    std::vector<AuditRecord> Select(const char* where, const std::function<void(sqlite3_stmt*)>& bind)
        KEL_REQUIRES(mutex_);
    int64_t MetaId(const char* key) KEL_REQUIRES(mutex_);

    const std::string path_;
    const std::string key_path_;
    const Clock& clock_;
    Mutex mutex_;
    sqlite3* db_ KEL_GUARDED_BY(mutex_) = nullptr;
    std::string key_ KEL_GUARDED_BY(mutex_);  // 32 bytes once open
    std::string error_ KEL_GUARDED_BY(mutex_);
};

// The hash a record written before the trail had a key carries: SHA-256 over its number, fields
// and the hash before it.
std::string AuditHash(const AuditRecord& record);
// The hash every later record carries: HMAC-SHA256 under the trail's key over the same bytes.
std::string AuditMac(const std::string& key, const AuditRecord& record);

}  // namespace kel
