#include "capture/hicap/hicap.h"

#include <algorithm>
#include <mutex>

#include "capture/hicap/sim_board.h"
#include "capture/hicap/stream_board.h"
#include "platform/guarded.h"

namespace kel {

namespace {

struct BackendEntry {
    const char* name;
    // Whether the options are right for this back end; says why not in `error`.
    bool (*check)(std::string_view options, std::string& error);
    // REQUIRES: check passed.
    std::shared_ptr<BoardBackend> (*create)(std::string_view options);
};

bool CheckSim(std::string_view options, std::string& error) {
    SimOptions parsed;
    return SimOptions::Parse(options, parsed, error);
}

std::shared_ptr<BoardBackend> CreateSim(std::string_view options) {
    SimOptions parsed;
    std::string error;
    SimOptions::Parse(options, parsed, error);
    return std::make_shared<SimBoard>(parsed);
}

bool CheckMap(std::string_view options, std::string& error) {
    StreamMap map;
    if (options.empty()) {
        error = "the map file is missing (stream:FILE)";
        return false;
    }
    return map.Load(std::string(options), error);
}

std::shared_ptr<BoardBackend> CreateMap(std::string_view options) {
    StreamMap map;
    std::string error;
    map.Load(std::string(options), error);
    return std::make_shared<StreamBoard>(std::move(map));
}

// `v4l2:1=/dev/video0,2=/dev/video0@1,5-8=/dev/video2` (cameras on devices' inputs, a range on
// successive inputs), or `v4l2:FILE`, a map whose cameras are all capture devices.
bool V4l2Map(std::string_view options, StreamMap& map, std::string& error) {
    if (options.empty()) {
        error = "the cameras' devices are missing (v4l2:1=/dev/video0,…)";
        return false;
    }
    bool ok = false;
    if (options.find('=') == std::string_view::npos) {
        ok = map.Load(std::string(options), error);
    } else {
        std::string text;
        size_t start = 0;
        while (start <= options.size()) {
            size_t comma = options.find(',', start);
            if (comma == std::string_view::npos)
                comma = options.size();
            const std::string_view item = options.substr(start, comma - start);
            const size_t eq = item.find('=');
            if (eq == std::string_view::npos) {
                error = "'" + std::string(item) + "' is no camera=device item";
                return false;
            }
            text += std::string(item.substr(0, eq)) + " = v4l2:" + std::string(item.substr(eq + 1)) + "\n";
            start = comma + 1;
        }
        ok = map.Parse(text, "", error);
    }
    if (ok && !map.Only(MapEntry::Kind::V4l2)) {
        error = "every camera of the v4l2 board is a capture device (v4l2:/dev/videoN)";
        return false;
    }
    return ok;
}

bool CheckV4l2(std::string_view options, std::string& error) {
    StreamMap map;
    return V4l2Map(options, map, error);
}

std::shared_ptr<BoardBackend> CreateV4l2(std::string_view options) {
    StreamMap map;
    std::string error;
    V4l2Map(options, map, error);
    return std::make_shared<StreamBoard>(std::move(map));
}

// The back ends by name; the simulated board, always there, closes the table. "stream" and "mix"
// read the same map, which may name network cameras, files and simulated cameras alike.
constexpr BackendEntry kBackends[] = {
    {"v4l2", &CheckV4l2, &CreateV4l2},
    {"stream", &CheckMap, &CreateMap},
    {"mix", &CheckMap, &CreateMap},
    {"sim", &CheckSim, &CreateSim},
};

struct Loaded {
    Mutex mutex;
    std::shared_ptr<BoardBackend> backend KEL_GUARDED_BY(mutex);
    std::string board KEL_GUARDED_BY(mutex);       // empty for an installed back end
    BoardReporter reporter KEL_GUARDED_BY(mutex);  // handed to every back end
};

Loaded& Library() {
    static Loaded loaded;
    return loaded;
}

const BackendEntry* FindBackend(std::string_view name) {
    for (const BackendEntry& e : kBackends)
        if (name == e.name)
            return &e;
    return nullptr;
}

// The back end a board names, with its options checked; null with `error` otherwise.
const BackendEntry* Resolve(std::string_view board, std::string_view& options, std::string& error) {
    size_t colon = board.find(':');
    std::string_view name = board.substr(0, colon);
    options = colon == std::string_view::npos ? std::string_view() : board.substr(colon + 1);
    const BackendEntry* entry = FindBackend(name);
    std::string why;
    if (!entry) {
        std::string known;
        for (const BackendEntry& e : kBackends)
            known += std::string(known.empty() ? "" : ", ") + e.name;
        why = "unknown board '" + std::string(name) + "' (known: " + known + ")";
    } else if (!entry->check(options, why)) {
        entry = nullptr;
    }
    if (!entry)
        error = "--board " + std::string(board) + ": " + why;
    return entry;
}

bool ValidChannel(int32_t channel) {
    return channel >= 0 && channel < kBoardChannels;
}

bool Control(PictureControl control, int32_t channel, int32_t value) {
    auto b = HicapBackend();
    return b && ValidChannel(channel) && b->SetControl(control, channel, value);
}

}  // namespace

bool HicapLoad(std::string_view board, std::string& error) {
    Loaded& lib = Library();
    {
        MutexLock lock(lib.mutex);
        if (lib.backend && !lib.board.empty() && lib.board == board)
            return true;
    }
    std::string_view options;
    const BackendEntry* entry = Resolve(board, options, error);
    if (!entry)
        return false;
    std::shared_ptr<BoardBackend> backend = entry->create(options);
    MutexLock lock(lib.mutex);
    backend->SetReporter(lib.reporter);
    lib.backend = std::move(backend);
    lib.board = board;
    return true;
}

bool HicapCheckBoard(std::string_view board, std::string& error) {
    std::string_view options;
    return Resolve(board, options, error) != nullptr;
}

void HicapInstall(std::shared_ptr<BoardBackend> backend) {
    Loaded& lib = Library();
    MutexLock lock(lib.mutex);
    if (backend)
        backend->SetReporter(lib.reporter);
    lib.backend = std::move(backend);
    lib.board.clear();
}

void HicapSetReporter(BoardReporter reporter) {
    Loaded& lib = Library();
    MutexLock lock(lib.mutex);
    lib.reporter = std::move(reporter);
    if (lib.backend)
        lib.backend->SetReporter(lib.reporter);
}

std::shared_ptr<BoardBackend> HicapBackend() {
    Loaded& lib = Library();
    MutexLock lock(lib.mutex);
    return lib.backend;
}

uint32_t HICAP50_dw_CArTBDSearch(CArTBDRecord* board) {
    auto b = HicapBackend();
    if (!b)
        return kHicapNoBackend;
    return board ? b->Search(*board) : kHicapBadArgument;
}

uint32_t HICAP50_dw_CArTBDDetailInfo(int32_t index, CArTBDDetail* detail) {
    auto b = HicapBackend();
    if (!b)
        return kHicapNoBackend;
    return detail ? b->DetailInfo(index, *detail) : kHicapBadArgument;
}

uint32_t HICAP50_dw_BoardOpen(uint8_t selector, int32_t /*reserved*/, const int32_t* sizeModes) {
    auto b = HicapBackend();
    if (!b)
        return kHicapNoBackend;
    if (!sizeModes)
        return kHicapBadArgument;
    SizeModes modes;
    std::copy(sizeModes, sizeModes + kBoardChannels, modes.begin());
    return b->Open(selector, modes);
}

uint32_t HICAP50_dw_BoardInit() {
    auto b = HicapBackend();
    return b ? b->Init() : kHicapNoBackend;
}

bool HICAP50_bl_BRIGHTNESSControl(int32_t channel, int32_t value) {
    return Control(PictureControl::Brightness, channel, value);
}

bool HICAP50_bl_CONTRASTControl(int32_t channel, int32_t value) {
    return Control(PictureControl::Contrast, channel, value);
}

bool HICAP50_bl_SHARPNESSControl(int32_t channel, int32_t value) {
    return Control(PictureControl::Sharpness, channel, value);
}

bool HICAP50_bl_SATURATIONUControl(int32_t channel, int32_t value) {
    return Control(PictureControl::SaturationU, channel, value);
}

bool HICAP50_bl_SATURATIONVControl(int32_t channel, int32_t value) {
    return Control(PictureControl::SaturationV, channel, value);
}

bool HICAP50_bl_HUEControl(int32_t channel, int32_t value) {
    return Control(PictureControl::Hue, channel, value);
}

bool HICAP50_bl_CaptureGroupSliceCtrl(int32_t group, const int32_t* shares) {
    auto b = HicapBackend();
    if (!b || !shares || (group != 0 && group != 1))
        return false;
    GroupShares s;
    std::copy(shares, shares + kGroupChannels, s.begin());
    return b->SetShares(group, s);
}

uint32_t HICAP50_dw_CaptureVideoTransferON() {
    auto b = HicapBackend();
    return b ? b->TransferOn() : kHicapNoBackend;
}

void HICAP50_no_CaptureVideoTransferOFF() {
    if (auto b = HicapBackend())
        b->TransferOff();
}

void HICAP50_no_BoardClose() {
    if (auto b = HicapBackend())
        b->Close();
}

uint32_t HICAP50_dw_LockWait4GetImageAddrEx(int32_t channel, uint8_t** address, uint32_t fourcc,
                                            int32_t /*mode*/, int32_t /*timeout*/) {
    auto b = HicapBackend();
    if (!b)
        return kHicapNoBackend;
    if (!address || !ValidChannel(channel) || fourcc != kFourccUYVY)
        return kHicapBadArgument;
    uint8_t* picture = nullptr;
    uint32_t status = b->Lock(channel, picture);
    if (status == kHicapOk)
        *address = picture;
    return status;
}

void HICAP50_no_UnLockWait4GetImageAddr(int32_t channel) {
    auto b = HicapBackend();
    if (b && ValidChannel(channel))
        b->Unlock(channel);
}

std::chrono::steady_clock::time_point HicapNextPicture(int32_t channel) {
    auto b = HicapBackend();
    if (!b || !ValidChannel(channel))
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
    return b->NextPicture(channel);
}

bool HICAP50_bl_CAMERA_SIGNAL(int32_t* signal) {
    auto b = HicapBackend();
    if (!b || !signal)
        return false;
    SignalFlags flags{};
    if (!b->Signal(flags))
        return false;
    std::copy(flags.begin(), flags.end(), signal);
    return true;
}

bool HICAP50_bl_TVOUT(int32_t channel) {
    auto b = HicapBackend();
    return b && ValidChannel(channel) && b->TvOut(channel);
}

}  // namespace kel
