#include "capture/hicap/stream_board.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "capture/resolution.h"
#include "config/rate_budget.h"
#include "platform/guarded.h"

namespace kel {

namespace {

constexpr int32_t kMaxShare = 1000;
constexpr int kGroupRate = kGroupPictures;

}  // namespace

StreamBoard::StreamBoard(StreamMap map, StreamTiming timing, VideoDeviceFactory devices,
                         V4l2Timing v4l2Timing)
    : map_(std::move(map)),
      any_sim_(std::any_of(map_.channels.begin(), map_.channels.end(),
                           [](const auto& c) { return c.kind == MapEntry::Kind::Sim; })) {
    // The library's own messages go to standard error and may show an address with its password.
    av_log_set_level(AV_LOG_QUIET);
    if (any_sim_)
        sim_ = std::make_unique<SimBoard>();
    if (!devices)
        devices = [] { return std::make_unique<LinuxVideoDevice>(); };
    auto report = [this](const std::string& line, bool error) { Report(line, error); };
    for (int ch = 0; ch < kBoardChannels; ++ch) {
        channels_[ch].buffer = std::make_unique<uint8_t[]>(kMaxFrameBytes);
        channels_[ch].controls = {0, 128, 0, 128, 128, 0};
        const MapEntry& entry = map_.channels[ch];
        if (entry.kind == MapEntry::Kind::Network || entry.kind == MapEntry::Kind::File) {
            sources_[ch] = std::make_unique<StreamSource>(ch, entry, timing, report);
            sources_[ch]->SetPictureListener([this, ch] { PictureCame(ch); });
        }
    }
    // One capture for each device, serving the cameras on its inputs.
    for (int ch = 0; ch < kBoardChannels; ++ch) {
        const MapEntry& entry = map_.channels[ch];
        if (entry.kind != MapEntry::Kind::V4l2 || capture_of_[ch])
            continue;
        std::vector<V4l2Capture::Camera> cameras;
        for (int k = ch; k < kBoardChannels; ++k)
            if (map_.channels[k].kind == MapEntry::Kind::V4l2 && map_.channels[k].address == entry.address)
                cameras.push_back({k, map_.channels[k].input});
        captures_.push_back(
            std::make_unique<V4l2Capture>(entry.address, cameras, v4l2Timing, devices, report));
        for (const auto& c : cameras)
            capture_of_[c.channel] = captures_.back().get();
    }
}

StreamBoard::~StreamBoard() {
    for (auto& s : sources_)
        if (s)
            s->Stop();
    for (auto& c : captures_)
        c->Stop();
}

void StreamBoard::SetStandard(bool ntsc) {
    for (auto& c : captures_)
        c->SetNtsc(ntsc);
}

bool StreamBoard::SourceSignal(int32_t channel) const {
    if (capture_of_[channel])
        return capture_of_[channel]->HasSignal(channel);
    return sources_[channel] && sources_[channel]->HasSignal();
}

bool StreamBoard::SourceTake(int32_t channel, uint64_t& seen, uint8_t* out) {
    if (capture_of_[channel])
        return capture_of_[channel]->TakeNewer(channel, seen, out);
    return sources_[channel] && sources_[channel]->TakeNewer(seen, out);
}

void StreamBoard::SetReporter(BoardReporter reporter) {
    MutexLock lock(report_mutex_);
    reporter_ = std::move(reporter);
}

void StreamBoard::Report(const std::string& line, bool error) {
    MutexLock lock(report_mutex_);
    if (reporter_)
        reporter_(line, error);
}

uint32_t StreamBoard::Search(CArTBDRecord& board) {
    // The capture devices that open, named after their cards; a map of devices alone, none of
    // which opens, is no board.
    std::string names;
    for (auto& c : captures_) {
        std::string card;
        if (c->Probe(card))
            names += (names.empty() ? "" : ", ") + card + " (" + c->Path() + ")";
    }
    if (names.empty() && map_.Only(MapEntry::Kind::V4l2))
        return kHicapNoBoard;
    {
        MutexLock lock(mutex_);
        device_names_ = names;
    }
    std::memset(&board, 0, sizeof board);
    board.Boards = 1;
    return kHicapOk;
}

uint32_t StreamBoard::DetailInfo(int32_t index, CArTBDDetail& detail) {
    if (index != 0)
        return kHicapBadArgument;
    std::memset(&detail, 0, sizeof detail);
    std::string name = kName;
    {
        MutexLock lock(mutex_);
        if (map_.Only(MapEntry::Kind::V4l2))
            name = "V4L2: " + device_names_;
    }
    std::strncpy(detail.Name, name.c_str(), sizeof detail.Name - 1);
    detail.Channels = kBoardChannels;
    detail.Selector = kSelector;
    return kHicapOk;
}

uint32_t StreamBoard::Open(uint8_t selector, const SizeModes& modes) {
    if (selector != kSelector)
        return kHicapNoBoard;
    if (std::any_of(modes.begin(), modes.end(), [](int32_t m) { return m < 1 || m > 4; }))
        return kHicapBadArgument;
    if (sim_ && sim_->Open(SimBoard::kSelector, modes) != kHicapOk)
        return kHicapNotReady;
    {
        MutexLock lock(mutex_);
        open_ = true;
        modes_ = modes;
        start_ = std::chrono::steady_clock::now();
        ++epoch_;
    }
    for (int ch = 0; ch < kBoardChannels; ++ch) {
        if (sources_[ch]) {
            sources_[ch]->SetSizeMode(modes[ch]);
            sources_[ch]->Start();
        }
        if (capture_of_[ch])
            capture_of_[ch]->SetSizeMode(ch, modes[ch]);
    }
    for (auto& c : captures_)
        c->Start();
    return kHicapOk;
}

uint32_t StreamBoard::Init() {
    MutexLock lock(mutex_);
    return open_ ? kHicapOk : kHicapNotReady;
}

bool StreamBoard::SetControl(PictureControl control, int32_t channel, int32_t value) {
    if (IsSim(channel))
        return sim_->SetControl(control, channel, value);
    Channel& c = channels_[channel];
    PictureControls controls;
    {
        // The capture threads set every control before each picture: only a change goes on.
        MutexLock lock(c.mutex);
        int32_t& field = ControlField(c.controls, control);
        if (field == ClampControl(control, value))
            return true;
        field = ClampControl(control, value);
        controls = c.controls;
    }
    if (sources_[channel])
        sources_[channel]->SetControls(controls);
    if (capture_of_[channel])
        capture_of_[channel]->SetControls(channel, controls);
    return true;
}

bool StreamBoard::SetShares(int32_t group, const GroupShares& shares) {
    if (sim_)
        sim_->SetShares(group, shares);
    for (int i = 0; i < kGroupChannels; ++i)
        if (V4l2Capture* c = capture_of_[2 * i + group])
            c->SetShare(2 * i + group, std::clamp(shares[i], 0, kMaxShare));
    MutexLock lock(mutex_);
    for (int i = 0; i < kGroupChannels; ++i)
        shares_[group][i] = std::clamp(shares[i], 0, kMaxShare);
    start_ = std::chrono::steady_clock::now();
    ++epoch_;
    return true;
}

uint32_t StreamBoard::TransferOn() {
    if (sim_)
        sim_->TransferOn();
    MutexLock lock(mutex_);
    if (!open_)
        return kHicapNotReady;
    transfer_ = true;
    start_ = std::chrono::steady_clock::now();
    ++epoch_;
    return kHicapOk;
}

void StreamBoard::TransferOff() {
    if (sim_)
        sim_->TransferOff();
    MutexLock lock(mutex_);
    transfer_ = false;
}

void StreamBoard::Close() {
    if (sim_)
        sim_->Close();
    {
        MutexLock lock(mutex_);
        open_ = transfer_ = false;
    }
    for (auto& s : sources_)
        if (s)
            s->Stop();
    for (auto& c : captures_)
        c->Stop();
}

uint32_t StreamBoard::Lock(int32_t channel, uint8_t*& address) {
    if (IsSim(channel))
        return sim_->Lock(channel, address);
    int64_t due = -1;
    uint64_t epoch = 0;
    {
        MutexLock lock(mutex_);
        if (!open_ || !transfer_)
            return kHicapNotReady;
        if (!SourceSignal(channel))
            return kHicapNoSignal;
        const GroupShares& group = shares_[channel % 2];
        const int32_t share = group[channel / 2];
        int32_t total = 0;
        for (int32_t s : group)
            total += s;
        if (share <= 0)
            return kHicapNoPicture;
        // The channel's share of its group's pictures, counted from the start of the transfer.
        const int64_t elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
                .count();
        due = static_cast<int64_t>(static_cast<__int128>(elapsed) * kGroupRate * share / (1000000LL * total));
        epoch = epoch_;
    }
    const bool sparse = Sparse(channel);
    const auto now = std::chrono::steady_clock::now();
    Channel& c = channels_[channel];
    MutexLock lock(c.mutex);
    if (c.locked)
        return kHicapBusy;
    if (c.epoch == epoch && due <= c.lastDue)
        return kHicapNoPicture;
    if (sparse && now < c.taken + kSparsePictures)
        return kHicapNoPicture;
    if (!SourceTake(channel, c.seen, c.buffer.get()))
        return kHicapNoPicture;
    c.taken = now;
    c.locked = true;
    c.lastDue = due;
    c.epoch = epoch;
    address = c.buffer.get();
    return kHicapOk;
}

// The channel's next share of its group's pictures; once that is due, the source's next picture
// is waited for a little at a time.
std::chrono::steady_clock::time_point StreamBoard::NextPicture(int32_t channel) {
    if (IsSim(channel))
        return sim_->NextPicture(channel);
    using namespace std::chrono;
    const auto now = steady_clock::now();
    constexpr auto kSourcePoll = milliseconds(5);
    constexpr auto kListenedPoll = milliseconds(250);
    int32_t share = 0, total = 0;
    steady_clock::time_point start;
    uint64_t epoch = 0;
    {
        MutexLock lock(mutex_);
        if (!open_ || !transfer_ || !SourceSignal(channel))
            return now + milliseconds(30);
        const GroupShares& group = shares_[channel % 2];
        share = group[channel / 2];
        for (int32_t s : group)
            total += s;
        start = start_;
        epoch = epoch_;
    }
    if (share <= 0)
        return now + milliseconds(100);
    int64_t next = 0;
    steady_clock::time_point sparseDue{};
    const bool sparse = Sparse(channel);
    {
        Channel& c = channels_[channel];
        MutexLock lock(c.mutex);
        if (c.epoch == epoch)
            next = c.lastDue + 1;
        if (sparse)
            sparseDue = c.taken + kSparsePictures;
    }
    const __int128 unit = static_cast<__int128>(kGroupRate) * share;
    const __int128 at = (static_cast<__int128>(next) * 1000000LL * total + unit - 1) / unit;
    const auto due = std::max(start + microseconds(static_cast<int64_t>(at)), sparseDue);
    if (due > now)
        return due;
    // Owed a picture the source has not decoded yet. With a listener the taker is woken when it
    // comes and looks on its own only seldom (a picture that came meanwhile is taken at once).
    // Without one it asks again soon, or, while the source decodes only its key pictures (one
    // every second or two) or none, seldom.
    StreamSource* source = sources_[channel].get();
    if (source && listening_.load(std::memory_order_acquire)) {
        waiting_[channel].store(true, std::memory_order_release);
        uint64_t seen = 0;
        {
            Channel& c = channels_[channel];
            MutexLock lock(c.mutex);
            seen = c.seen;
        }
        return source->Sequence() != seen ? now : now + kListenedPoll;
    }
    const PictureDemand demand = source ? source->Demand() : PictureDemand::Every;
    return now + (demand == PictureDemand::Every ? kSourcePoll : kListenedPoll);
}

bool StreamBoard::Sparse(int32_t channel) const {
    return sources_[channel] && sources_[channel]->Demand() == PictureDemand::Keys;
}

void StreamBoard::PictureCame(int32_t channel) {
    if (!waiting_[channel].exchange(false, std::memory_order_acq_rel))
        return;  // the taker is not waiting for it: it takes it when its share is due
    MutexLock lock(listener_mutex_);
    if (listener_)
        listener_(channel);
}

void StreamBoard::Unlock(int32_t channel) {
    if (IsSim(channel)) {
        sim_->Unlock(channel);
        return;
    }
    Channel& c = channels_[channel];
    MutexLock lock(c.mutex);
    c.locked = false;
}

bool StreamBoard::Signal(SignalFlags& flags) {
    SignalFlags sim{};
    if (sim_)
        sim_->Signal(sim);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        flags[ch] = IsSim(ch) ? sim[ch] : SourceSignal(ch) ? 1 : 0;
    return true;
}

bool StreamBoard::TvOut(int32_t channel) {
    return IsSim(channel) && sim_->TvOut(channel);
}

bool StreamBoard::SendsStream(int32_t channel) const {
    if (channel < 0 || channel >= kBoardChannels)
        return false;
    const MapEntry::Kind kind = map_.channels[channel].kind;
    return kind == MapEntry::Kind::Network || kind == MapEntry::Kind::File;
}

void StreamBoard::SetPacketSink(PacketSink sink) {
    for (auto& s : sources_)
        if (s)
            s->SetPacketSink(sink);
}

void StreamBoard::SetPictureListener(PictureListener listener) {
    MutexLock lock(listener_mutex_);
    listening_.store(static_cast<bool>(listener), std::memory_order_release);
    listener_ = std::move(listener);
}

void StreamBoard::SetPictureDemand(int32_t channel, PictureDemand demand) {
    if (channel >= 0 && channel < kBoardChannels && sources_[channel])
        sources_[channel]->SetDemand(demand);
}

uint64_t StreamBoard::SourcePictures(int32_t channel) const {
    if (channel < 0 || channel >= kBoardChannels)
        return 0;
    if (capture_of_[channel])
        return capture_of_[channel]->Pictures(channel);
    return sources_[channel] ? sources_[channel]->Pictures() : 0;
}

}  // namespace kel
