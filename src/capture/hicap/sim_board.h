#pragma once
// The simulated 16-channel board, the default back end and a part of the product: a station runs,
// shows, records and serves pictures without a capture board.
//
// Timing: each capture group delivers 25 pictures a second from the moment the transfer starts,
// split between its channels by their shares; a channel with share 0 delivers none. Pictures are
// painted when they are locked: a lock hands out the newest picture that has come due on the
// channel, and fails (kHicapNoPicture) when none has come due since the channel's last lock. So an
// idle channel costs nothing and a picture is never painted twice.
//
// A locked picture lives in the channel's own buffer, sized for the largest picture, until the
// unlock; a second lock of a locked channel fails. Open, TransferOff and Close never free or
// repaint a locked buffer.

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "capture/hicap/board_backend.h"
#include "capture/hicap/sim_options.h"
#include "capture/hicap/sim_painter.h"
#include "config/rate_budget.h"
#include "platform/clock.h"
#include "platform/guarded.h"

namespace kel {

class SimBoard : public BoardBackend {
public:
    static constexpr const char* kName = "KEL-16 (symulacja)";
    static constexpr uint8_t kSelector = 0x16;
    static constexpr int kGroupRate = kGroupPictures;  // pictures a second per capture group

    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

    // `wall` gives the time shown in the pictures, `steady` the board's own time (both for tests).
    explicit SimBoard(SimOptions options = {}, const Clock& wall = SystemClock::Instance(),
                      SteadyNow steady = &std::chrono::steady_clock::now);
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    uint32_t Search(CArTBDRecord& board) override;
    uint32_t DetailInfo(int32_t index, CArTBDDetail& detail) override;
    uint32_t Open(uint8_t selector, const SizeModes& modes) override;
    uint32_t Init() override;
    bool SetControl(PictureControl control, int32_t channel, int32_t value) override;
    bool SetShares(int32_t group, const GroupShares& shares) override;
    uint32_t TransferOn() override;
    void TransferOff() override;
    void Close() override;
    uint32_t Lock(int32_t channel, uint8_t*& address) override;
    void Unlock(int32_t channel) override;
    std::chrono::steady_clock::time_point NextPicture(int32_t channel) override;
    bool Signal(SignalFlags& flags) override;
    bool TvOut(int32_t channel) override;

    // Read-back of the board's state, for tests and tools.
    struct ChannelState {
        SimControls controls;       // as last set (clamped to the controls' ranges)
        uint64_t controlCalls = 0;  // picture-control calls so far
        uint64_t pictures = 0;      // pictures handed out so far
        int32_t sizeMode = 0;       // 0 before the first open
        int32_t share = 0;
        bool locked = false;
    };
    ChannelState Channel(int32_t channel) const;
    int32_t TvOutChannel() const;  // -1 until chosen
    bool IsOpen() const;
    bool IsTransferring() const;

private:
    // What a lock needs to know of the board, read under mutex_.
    struct Timing {
        int32_t sizeMode = 0;
        int32_t share = 0;
        int32_t groupShares = 0;
        std::chrono::steady_clock::time_point start;
        uint64_t epoch = 0;
    };
    struct Input {
        mutable Mutex mutex;
        SimControls controls KEL_GUARDED_BY(mutex);
        uint64_t controlCalls KEL_GUARDED_BY(mutex) = 0;
        uint64_t pictures KEL_GUARDED_BY(mutex) = 0;
        int64_t lastPicture KEL_GUARDED_BY(mutex) = -1;  // the last picture handed out, of `epoch`
        uint64_t epoch KEL_GUARDED_BY(mutex) = 0;
        bool locked KEL_GUARDED_BY(mutex) = false;
        // Used only by whoever holds the channel locked (`locked`): the lock paints, the caller reads.
        std::unique_ptr<uint8_t[]> buffer;
        SimPainter painter;
    };

    uint32_t Snapshot(int32_t channel, Timing& t) const;
    int64_t Due(const Timing& t) const;
    void Restart() KEL_REQUIRES(mutex_);
    void Paint(int32_t channel, Input& in, const Timing& t, int64_t picture, const SimControls& controls);

    // Fixed after construction.
    const SimOptions options_;
    const Clock& wall_;
    const SteadyNow steady_;
    const std::chrono::steady_clock::time_point born_;

    mutable Mutex mutex_;
    bool open_ KEL_GUARDED_BY(mutex_) = false;
    bool transfer_ KEL_GUARDED_BY(mutex_) = false;
    SizeModes modes_ KEL_GUARDED_BY(mutex_){};
    std::array<GroupShares, 2> shares_ KEL_GUARDED_BY(mutex_){};
    std::chrono::steady_clock::time_point start_ KEL_GUARDED_BY(mutex_);  // when the pictures' count began
    uint64_t epoch_ KEL_GUARDED_BY(mutex_) = 0;  // bumped whenever the count starts again
    int32_t tvout_ KEL_GUARDED_BY(mutex_) = -1;

    std::array<Input, kBoardChannels> inputs_;
};

}  // namespace kel
