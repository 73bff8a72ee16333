#pragma once
// The recorder's drive table: 24 letters, the drives that may hold recordings in the system's
// order. Built once at start-up: every entry 'Z', then the first 24 letters of the drive map are
// examined and the fixed and network drives among them fill the table from entry 0.
//
// A drive's position (DriveIndex) is where its letter stands among entries 0..20, the last such
// place when it stands in several, and 20 when it stands in none: a recording on a drive that has
// since gone counts as being on position 20.

#include <array>

#include "platform/drive_map.h"
#include "platform/drive_probe.h"

namespace kel {

class DriveTable {
public:
    static constexpr int kEntries = 24;
    static constexpr int kLastPosition = 20;

    DriveTable() { letters_.fill('Z'); }

    void Scan(const DriveMap& map, const DriveProbe& probe);
    // Entry p's letter; 'Z' outside 0..23.
    char Letter(int position) const;
    int DriveIndex(char letter) const;
    const std::array<char, kEntries>& Letters() const { return letters_; }

private:
    std::array<char, kEntries> letters_;
};

}  // namespace kel
