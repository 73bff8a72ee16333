#pragma once
// A camera turned from afar keeps turning only while the far end says it still holds the button.
// A browser that holds a direction confirms the press every few hundred milliseconds; when the
// confirmations stop (the page closed, a phone lost its signal), the move is stopped after at most
// `hold`. A confirmation of the move under way sends nothing; a new direction or the release sends
// its telegram at once.
//
// Any thread: Press and Stop are serialised; `send` is called without the lock held.

#include <array>
#include <chrono>
#include <functional>
#include <mutex>

#include "platform/guarded.h"
#include "platform/periodic_thread.h"

namespace kel {

class RemotePtzHold {
public:
    using Send = std::function<void(int camera, int kind)>;
    static constexpr std::chrono::milliseconds kHold{1000};

    explicit RemotePtzHold(Send send, std::chrono::milliseconds hold = kHold);
    // Ends the watch; moves still held are the owner's to stop first (StopAll).
    ~RemotePtzHold();
    RemotePtzHold(const RemotePtzHold&) = delete;
    RemotePtzHold& operator=(const RemotePtzHold&) = delete;

    // Camera 1..16; kind 1..6 a move (or its confirmation), 0 the release.
    void Press(int camera, int kind);
    // Every move held is stopped, through `via` when given (the caller's own way to the line, at a
    // shutdown); later presses start moves again.
    void StopAll(const Send& via = {});
    int Moving() const;  // the cameras being turned now

private:
    using Clock = std::chrono::steady_clock;
    struct Move {
        int kind = 0;  // 0: still
        Clock::time_point until{};
    };
    void Expire();

    const Send send_;
    const std::chrono::milliseconds hold_;
    mutable Mutex mutex_;
    std::array<Move, 16> moves_ KEL_GUARDED_BY(mutex_){};
    std::once_flag started_;
    PeriodicThread watch_;  // started at the first move
};

}  // namespace kel
