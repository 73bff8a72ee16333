#pragma once
// The configuration as the station applied it: the settings and the camera table, made once at
// start-up and once for every accepted configuration dialog, and never changed after. The threads
// that read it (capture, recorder, renderer, the TCP server's connections) each hold the snapshot
// they took for as long as they use it, so a new one never changes a table under a reader.

#include <memory>

#include "config/config.h"
#include "config/records.h"

namespace kel {

struct AppliedConfig {
    TSettingsBlock settings;
    TCameraTable cameras{};
};

using ConfigSnapshot = std::shared_ptr<const AppliedConfig>;
using CameraTablePtr = std::shared_ptr<const TCameraTable>;

// A snapshot of the configuration as it stands now.
ConfigSnapshot MakeSnapshot(const TConfig& config);
// The snapshot's camera table, sharing its life.
inline CameraTablePtr CamerasOf(const ConfigSnapshot& snapshot) {
    return snapshot ? CameraTablePtr(snapshot, &snapshot->cameras) : nullptr;
}
// A table of its own, for a table that is no applied configuration (the dialog's preview, tests).
inline CameraTablePtr ShareTable(const TCameraTable& cameras) {
    return std::make_shared<const TCameraTable>(cameras);
}

}  // namespace kel
