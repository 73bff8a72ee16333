#include "config/applied_config.h"

namespace kel {

ConfigSnapshot MakeSnapshot(const TConfig& config) {
    auto snapshot = std::make_shared<AppliedConfig>();
    config.CopySettingsTo(snapshot->settings);
    snapshot->cameras = config.Cameras;
    return snapshot;
}

}  // namespace kel
