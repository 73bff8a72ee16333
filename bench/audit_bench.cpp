// The audit trail's write cost: N records appended to a fresh trail (a chained, hashed record in
// its own immediate transaction) against N plain inserts of the same texts into a fresh SQLite
// table with the same durability (write-ahead log, synchronous FULL, one transaction per row).
// Rounds alternate trail and reference (A B A B ...); the medians per record and their ratio are
// printed, then the time to verify the last trail whole.
//
//   audit_bench [--records N] [--rounds R] [--dir DIR]     (defaults: 100000, 3, a temporary folder)

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audit_trail.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string Detail(int i) {
    return "kamera " + std::to_string(i % 16 + 1) + ", TCP 10.0.0." + std::to_string(i % 250);
}

double Trail(const std::string& file, int records) {
    kel::AuditTrail trail(file);
    if (!trail.Open()) {
        std::fprintf(stderr, "audit_bench: %s\n", trail.ErrorText().c_str());
        std::exit(1);
    }
    const auto start = Clock::now();
    for (int i = 0; i < records; ++i)
        if (!trail.Append("kel", kel::AuditTrail::kViewing, Detail(i))) {
            std::fprintf(stderr, "audit_bench: %s\n", trail.ErrorText().c_str());
            std::exit(1);
        }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / records;
}

double Plain(const std::string& file, int records) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                 "CREATE TABLE t (id INTEGER PRIMARY KEY, at TEXT, who TEXT, what TEXT, detail TEXT)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t (at, who, what, detail) VALUES ('2026-12-08 07:00:00', ?, ?, ?)",
                       -1, &insert, nullptr);
    const auto start = Clock::now();
    for (int i = 0; i < records; ++i) {
        const std::string detail = Detail(i);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_text(insert, 1, "kel", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, kel::AuditTrail::kViewing, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, detail.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    const double perRecord =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count() / records;
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return perRecord;
}

}  // namespace

int main(int argc, char** argv) {
    int records = 100000, rounds = 3;
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--records")
            records = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--dir")
            dir = argv[i + 1];
    }
    const bool own = dir.empty();
    if (own)
        dir = (fs::temp_directory_path() / ("audit_bench." + std::to_string(::getpid()))).string();
    fs::create_directories(dir);
    std::vector<double> trail, plain;
    const std::string trailFile = dir + "/audit.sqlite", plainFile = dir + "/plain.sqlite";
    for (int r = 0; r < rounds; ++r) {
        for (const char* f : {"", "-wal", "-shm"}) {
            fs::remove(trailFile + f);
            fs::remove(plainFile + f);
        }
        trail.push_back(Trail(trailFile, records));
        plain.push_back(Plain(plainFile, records));
        std::printf("round %d: trail %.1f us/record, plain insert %.1f us/record\n", r + 1, trail.back(),
                    plain.back());
        std::fflush(stdout);
    }
    kel::AuditTrail last(trailFile);
    last.Open();
    const auto start = Clock::now();
    const kel::AuditTrail::Check check = last.Verify();
    const double verifyMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("\n%d records a round, %d rounds, alternating trail and plain insert\n", records, rounds);
    std::printf("trail / plain insert per record (medians): %.1f us / %.1f us = %.2fx\n", Median(trail),
                Median(plain), Median(trail) / Median(plain));
    std::printf("verify %zu records: %s, %.0f ms\n", check.records, check.whole ? "whole" : check.why.c_str(),
                verifyMs);
    if (own)
        fs::remove_all(dir);
    return check.whole ? 0 : 1;
}
