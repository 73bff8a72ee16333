#include "config/applied_config.h"

namespace kel {

ConfigSnapshot MakeSnapshot(const TConfig& config) {
    auto snapshot = std::make_shared<AppliedConfig>();
    snapshot->settings = config;  // the whole block: layouts, version and window place included
    snapshot->cameras = config.Cameras;
    return snapshot;
}

}  // namespace kel
