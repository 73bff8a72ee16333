#pragma once
// Who a recording drive is. The first time the station records onto a drive it writes a mark, a
// random name, into the drive's recordings folder ("KEL2_Videos\KEL2_Drive.id") and keeps the
// same name, per letter, in the working directory ("DriveMarks.txt", a line "D <name>" each, with
// " mounted" after it when the drive was a disk mounted on its own folder). A drive kept as
// mounted whose folder is now a plain folder without its mark is the mount point of a disk that is
// not mounted, a bare folder on the system disk: its recordings are elsewhere, so it is neither
// read nor written until its disk is back.
//
// To take such a drive all the same (the disk was replaced by a folder on purpose), the installer
// deletes its line from "DriveMarks.txt".

#include <map>
#include <string>

namespace kel {

class DriveMarks {
public:
    static constexpr const char* kFile = "DriveMarks.txt";
    static constexpr const char* kMarkFile = "KEL2_Drive.id";

    // The names kept in `workDir`; none when the file is missing. Lines that are not
    // "<letter> <name>" are skipped.
    explicit DriveMarks(std::string workDir);

    struct Mark {
        std::string name;  // empty: none kept
        bool mounted = false;
    };
    // What is kept for a drive.
    Mark Kept(char letter) const;
    // Keeps a drive's mark and writes the file; false with `error` when it cannot be written (the
    // mark is then kept for this run only).
    bool Keep(char letter, const Mark& mark, std::string& error);

    // The mark in a drive's recordings folder (`root` its native root); empty when there is none
    // or it cannot be read.
    static std::string Read(const std::string& root);
    // Writes a new mark into a drive's recordings folder, making the folder; its name, or empty
    // with `error` set.
    static std::string Write(const std::string& root, std::string& error);

private:
    std::string path_;
    std::map<char, Mark> kept_;
};

}  // namespace kel
