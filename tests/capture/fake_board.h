#pragma once
// A board back end for the capture tests: statuses to return by switch, a count of every call, and
// pictures that are one byte value from end to end (the lock's serial number), so a reader that
// finds two values in one picture has seen it torn.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "capture/hicap/board_backend.h"
#include "capture/resolution.h"

namespace kel {

class FakeBoard : public BoardBackend {
public:
    // Error switches.
    std::atomic<uint32_t> searchStatus{kHicapOk};
    std::atomic<uint32_t> detailStatus{kHicapOk};
    std::atomic<uint32_t> openStatus{kHicapOk};
    std::atomic<uint32_t> lockStatus{kHicapOk};

    struct Channel {
        std::atomic<int> controlCalls{0};
        std::atomic<int> locks{0};  // successful ones
        std::atomic<int> unlocks{0};
        std::atomic<int> lastBrightness{-1000};
        std::unique_ptr<uint8_t[]> picture = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    };
    std::array<Channel, kBoardChannels> channels;
    std::atomic<int> boardCalls{0};  // every call that reaches the board

    uint32_t Search(CArTBDRecord&) override { return Count(searchStatus); }
    uint32_t DetailInfo(int32_t, CArTBDDetail& d) override {
        d.Selector = 7;
        std::snprintf(d.Name, sizeof d.Name, "Fake");
        return Count(detailStatus);
    }
    uint32_t Open(uint8_t, const SizeModes&) override { return Count(openStatus); }
    uint32_t Init() override { return Count(kHicapOk); }
    bool SetControl(PictureControl c, int32_t ch, int32_t value) override {
        Count(kHicapOk);
        ++channels[ch].controlCalls;
        if (c == PictureControl::Brightness)
            channels[ch].lastBrightness = value;
        return true;
    }
    bool SetShares(int32_t, const GroupShares&) override { return Count(kHicapOk) == kHicapOk; }
    uint32_t TransferOn() override { return Count(kHicapOk); }
    void TransferOff() override { Count(kHicapOk); }
    void Close() override { Count(kHicapOk); }
    uint32_t Lock(int32_t ch, uint8_t*& address) override {
        Count(kHicapOk);
        if (lockStatus != kHicapOk)
            return lockStatus;
        Channel& c = channels[ch];
        int serial = ++c.locks;
        std::fill_n(c.picture.get(), kMaxFrameBytes, static_cast<uint8_t>(serial));
        address = c.picture.get();
        return kHicapOk;
    }
    void Unlock(int32_t ch) override {
        Count(kHicapOk);
        ++channels[ch].unlocks;
    }
    bool Signal(SignalFlags& flags) override {
        flags.fill(1);
        return true;
    }
    bool TvOut(int32_t) override { return true; }

private:
    uint32_t Count(uint32_t status) {
        ++boardCalls;
        return status;
    }
};

}  // namespace kel
