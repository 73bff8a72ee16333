#include "capture/hicap/sim_board.h"

#include <algorithm>
#include <cstring>

#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

namespace {

using Micros = std::chrono::microseconds;

constexpr int32_t kMaxShare = 1000;

}  // namespace

SimBoard::SimBoard(SimOptions options, const Clock& wall, SteadyNow steady)
    : options_(options), wall_(wall), steady_(std::move(steady)), born_(steady_()) {
    for (Input& in : inputs_)
        in.buffer = std::make_unique<uint8_t[]>(kMaxFrameBytes);
}

uint32_t SimBoard::Search(CArTBDRecord& board) {
    if (options_.absent)
        return kHicapNoBoard;
    if (options_.driver)
        return kHicapDriverOpen;
    std::memset(&board, 0, sizeof board);
    board.Boards = 1;
    return kHicapOk;
}

uint32_t SimBoard::DetailInfo(int32_t index, CArTBDDetail& detail) {
    if (index != 0)
        return kHicapBadArgument;
    if (options_.version)
        return kHicapDriverVersion;
    std::memset(&detail, 0, sizeof detail);
    std::strncpy(detail.Name, kName, sizeof detail.Name - 1);
    detail.Channels = kBoardChannels;
    detail.Selector = kSelector;
    return kHicapOk;
}

uint32_t SimBoard::Open(uint8_t selector, const SizeModes& modes) {
    if (selector != kSelector)
        return kHicapNoBoard;
    if (options_.closed)
        return kHicapNotReady;
    if (std::any_of(modes.begin(), modes.end(), [](int32_t m) { return m < 1 || m > 4; }))
        return kHicapBadArgument;
    MutexLock lock(mutex_);
    open_ = true;
    modes_ = modes;
    Restart();
    return kHicapOk;
}

uint32_t SimBoard::Init() {
    MutexLock lock(mutex_);
    return open_ ? kHicapOk : kHicapNotReady;
}

bool SimBoard::SetControl(PictureControl control, int32_t channel, int32_t value) {
    Input& in = inputs_[channel];
    MutexLock lock(in.mutex);
    ControlField(in.controls, control) = ClampControl(control, value);
    ++in.controlCalls;
    return true;
}

bool SimBoard::SetShares(int32_t group, const GroupShares& shares) {
    MutexLock lock(mutex_);
    for (int i = 0; i < kGroupChannels; ++i)
        shares_[group][i] = std::clamp(shares[i], 0, kMaxShare);
    Restart();
    return true;
}

uint32_t SimBoard::TransferOn() {
    MutexLock lock(mutex_);
    if (!open_)
        return kHicapNotReady;
    transfer_ = true;
    Restart();
    return kHicapOk;
}

void SimBoard::TransferOff() {
    MutexLock lock(mutex_);
    transfer_ = false;
}

void SimBoard::Close() {
    MutexLock lock(mutex_);
    transfer_ = false;
    open_ = false;
}

// Pictures are counted from now on; every channel's next lock gets a fresh one.
void SimBoard::Restart() {
    start_ = steady_();
    ++epoch_;
}

uint32_t SimBoard::Snapshot(int32_t channel, Timing& t) const {
    MutexLock lock(mutex_);
    if (!open_ || !transfer_)
        return kHicapNotReady;
    if (options_.nosignal[channel])
        return kHicapNoSignal;
    const GroupShares& group = shares_[channel % 2];
    t.sizeMode = modes_[channel];
    t.share = group[channel / 2];
    t.groupShares = 0;
    for (int32_t s : group)
        t.groupShares += s;
    t.start = start_;
    t.epoch = epoch_;
    return t.share > 0 ? kHicapOk : kHicapNoPicture;
}

// The number of the newest picture due on the channel (the first comes at the start), or -1.
int64_t SimBoard::Due(const Timing& t) const {
    int64_t elapsed = std::chrono::duration_cast<Micros>(steady_() - t.start).count();
    if (elapsed < 0)
        return -1;
    __int128 due = static_cast<__int128>(elapsed) * kGroupRate * t.share / (1000000LL * t.groupShares);
    return static_cast<int64_t>(due);
}

uint32_t SimBoard::Lock(int32_t channel, uint8_t*& address) {
    Timing t;
    if (uint32_t status = Snapshot(channel, t); status != kHicapOk)
        return status;
    int64_t due = Due(t);
    if (due < 0)
        return kHicapNoPicture;
    Input& in = inputs_[channel];
    SimControls controls;
    {
        MutexLock lock(in.mutex);
        if (in.locked)
            return kHicapBusy;
        if (in.epoch == t.epoch && due <= in.lastPicture)
            return kHicapNoPicture;
        in.locked = true;
        in.lastPicture = due;
        in.epoch = t.epoch;
        ++in.pictures;
        controls = in.controls;
    }
    Paint(channel, in, t, due, controls);
    address = in.buffer.get();
    return kHicapOk;
}

std::chrono::steady_clock::time_point SimBoard::NextPicture(int32_t channel) {
    const auto now = steady_();
    Timing t;
    if (uint32_t status = Snapshot(channel, t); status != kHicapOk)
        return now + std::chrono::milliseconds(status == kHicapNoPicture ? 100 : 30);
    int64_t next = 0;
    {
        const Input& in = inputs_[channel];
        MutexLock lock(in.mutex);
        if (in.epoch == t.epoch)
            next = in.lastPicture + 1;
    }
    // Picture k is due once elapsed x rate x share reaches k x 1e6 x group shares.
    const __int128 unit = static_cast<__int128>(kGroupRate) * t.share;
    const __int128 at = (static_cast<__int128>(next) * 1000000LL * t.groupShares + unit - 1) / unit;
    return std::max(now, t.start + Micros(static_cast<int64_t>(at)));
}

void SimBoard::Paint(int32_t channel, Input& in, const Timing& t, int64_t picture,
                     const SimControls& controls) {
    // The picture's own moment, so that motion follows the pictures and not the moment of the lock.
    __int128 offset = static_cast<__int128>(picture) * 1000000LL * t.groupShares / (kGroupRate * t.share);
    int64_t sinceBirth = std::chrono::duration_cast<Micros>(t.start - born_).count();
    SimScene scene;
    scene.camera = channel + 1;
    scene.sizeMode = t.sizeMode;
    scene.live = options_.motion[channel];
    scene.clock = wall_.Now();
    scene.ms = (sinceBirth + static_cast<int64_t>(offset)) / 1000;
    in.painter.Paint(in.buffer.get(), scene, controls);
}

void SimBoard::Unlock(int32_t channel) {
    Input& in = inputs_[channel];
    MutexLock lock(in.mutex);
    in.locked = false;
}

bool SimBoard::Signal(SignalFlags& flags) {
    for (int k = 0; k < kBoardChannels; ++k)
        flags[k] = options_.nosignal[k] ? 0 : 1;
    return true;
}

bool SimBoard::TvOut(int32_t channel) {
    MutexLock lock(mutex_);
    tvout_ = channel;
    return true;
}

SimBoard::ChannelState SimBoard::Channel(int32_t channel) const {
    ChannelState s;
    if (channel < 0 || channel >= kBoardChannels)
        return s;
    {
        MutexLock lock(mutex_);
        s.sizeMode = modes_[channel];
        s.share = shares_[channel % 2][channel / 2];
    }
    const Input& in = inputs_[channel];
    MutexLock lock(in.mutex);
    s.controls = in.controls;
    s.controlCalls = in.controlCalls;
    s.pictures = in.pictures;
    s.locked = in.locked;
    return s;
}

int32_t SimBoard::TvOutChannel() const {
    MutexLock lock(mutex_);
    return tvout_;
}

bool SimBoard::IsOpen() const {
    MutexLock lock(mutex_);
    return open_;
}

bool SimBoard::IsTransferring() const {
    MutexLock lock(mutex_);
    return transfer_;
}

}  // namespace kel
