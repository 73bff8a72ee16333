#include "recording/drive_table.h"

#include <cctype>

namespace kel {

void DriveTable::Scan(const DriveMap& map, const DriveProbe& probe) {
    letters_.fill('Z');
    int filled = 0, examined = 0;
    for (char letter : map.Letters()) {
        if (examined++ == kEntries)
            break;
        DriveType type = probe.Type(map.DrivePath(letter));
        if (type == DriveType::Fixed || type == DriveType::Remote)
            letters_[filled++] = letter;
    }
}

char DriveTable::Letter(int position) const {
    return position >= 0 && position < kEntries ? letters_[position] : 'Z';
}

int DriveTable::DriveIndex(char letter) const {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (int p = kLastPosition; p >= 0; --p)
        if (letters_[p] == upper)
            return p;
    return kLastPosition;
}

}  // namespace kel
