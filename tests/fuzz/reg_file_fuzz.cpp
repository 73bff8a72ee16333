// libFuzzer target: the .reg reader on arbitrary text, and, for what it reads, the check of an
// import against the settings the station loads (on a store with the first-run defaults). Neither
// may crash, hang or read out of bounds.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "config/config.h"
#include "platform/reg_file.h"

namespace {

using namespace kel;

struct World {
    World() {
        dir = std::filesystem::temp_directory_path() / ("kel-reg-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        config = std::make_unique<TConfig>((dir / "defaults.sqlite").string());
        if (!config->WriteDefaults() || !config->WriteDefaultCameras())
            std::abort();
    }
    ~World() {
        config.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::filesystem::path dir;
    std::unique_ptr<TConfig> config;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<RegFileOp> ops;
    std::string error;
    if (!ParseRegFile(text, ops, error))
        return 0;
    CheckSettingsImport(world.config->Store(), ops, error);
    return 0;
}
