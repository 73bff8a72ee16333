#pragma once
// What an accepted configuration changes against the one applied before it, as the parts of the
// station that must act on it see it. Only a camera whose picture size, rate or active flag
// changed starts a new segment; the board is set up again only for a new size or video standard,
// and a group's capture time split again only when a rate or active flag in it changed. Every
// other camera records on. The rest (zones, schedule, drives, names, users, server, mail, …) is
// taken in whole with the new snapshot and needs nothing restarted; the recorder and the server's
// tables are handed theirs only when their part changed (the renderer, the capture threads and
// the console always take the new snapshot, which costs them a pointer).

#include <array>
#include <string>

#include "config/applied_config.h"

namespace kel {

struct ConfigChanges {
    std::array<bool, kCameraCount + 1> restart{};  // camera n (1..16): size, rate, active or the way
                                                   // its stream is recorded changed
    bool boardModes = false;                       // a size mode or the video standard changed
    std::array<bool, 2> shares{};                  // a capture group's split of its time changed
    bool server = false;                           // the TCP server's switch or port changed
    bool ptz = false;                              // a camera's PTZ address changed
    bool web = false;       // the web view's switch, port, certificate, key or TLS changed
    bool events = false;    // the MQTT broker, its login, TLS or topic changed
    bool offsite = false;   // the off-site copies' switch, store, bucket, key, prefix or limit changed
    bool recorder = false;  // the recorder's part: cameras, drives, size limit, zones, motion sound,
                            // how long recordings are kept
    bool tables = false;    // what the TCP server answers from: cameras or users
    // What changed, in the log's words: "kamera 3 (rozdzielczosc, klatki/s), strefy, harmonogram";
    // empty when nothing did.
    std::string summary;

    bool AnyRestart() const;
};

ConfigChanges CompareConfigs(const AppliedConfig& before, const AppliedConfig& after);

}  // namespace kel
