#pragma once
// The station's drive letters: the folder "drives" in the working directory holds an entry per
// letter, "c:", "d:" … (lower case), each a directory or a symbolic link to one, as a DOS
// prefix over a Unix tree. Paths kept in the recordings' index stay in DOS form,
// "D:\KEL2_Videos\Kamera3\010526120000.avi", and are resolved through the map when a file is used.
//
// The system's drive order is the letters' alphabetical order. Drive C: always exists: the first
// start creates it as a link to the folder "drive_c" beside the map.

#include <string>
#include <string_view>
#include <vector>

namespace kel {

class DriveMap {
public:
    static constexpr const char* kFolder = "drives";
    static constexpr const char* kDriveC = "drive_c";

    // The map in `workDir` (an absolute path, so a later change of the current directory does
    // not move it).
    explicit DriveMap(std::string workDir);

    // Creates the map's folder and C: (a relative link to "drive_c", itself created) unless
    // "drives/c:" exists. False with ErrorText when they cannot be made.
    bool EnsureDriveC();
    // The letters of the map's entries, upper case, in alphabetical order. Entries are listed
    // whatever they lead to; the drive probe tells whether one is usable.
    std::vector<char> Letters() const;
    // The native path of a drive's root ("<map>/d:"); empty for a character that is no letter.
    std::string DrivePath(char letter) const;
    // A DOS path "X:\a\b" as a native path under the map; empty when it does not start with a
    // letter and a colon, or when a part of it is "..": an index entry never leaves its drive.
    std::string Resolve(std::string_view dosPath) const;

    const std::string& Root() const { return root_; }
    const std::string& ErrorText() const { return error_; }

private:
    std::string work_dir_;
    std::string root_;
    std::string error_;
};

}  // namespace kel
