// The capture path and the simulated board's pictures.
//
// capture path: one pass of a capture thread at 704 x 576 (picture values to the board, lock, copy
// into the LiveFrame slot, unlock, flags) on a board whose lock costs nothing, against a plain
// memcpy of the same 811,008 bytes. The pass should stay within 1.5 x the memcpy.
//
// simulated pictures: the cost of one picture of the simulated board per size, with the default
// picture values and with every control away from neutral. The board makes 2 x 25 pictures a
// second at most (whatever the number of channels), which should stay under a quarter of a core.

#include <benchmark/benchmark.h>

#include "median_reporter.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"
#include "capture/resolution.h"

namespace kel {
namespace {

// A board whose lock hands out the same ready picture every time.
class ReadyBoard : public BoardBackend {
public:
    ReadyBoard() : picture_(kMaxFrameBytes, 0x80) {}
    uint32_t Search(CArTBDRecord&) override { return kHicapOk; }
    uint32_t DetailInfo(int32_t, CArTBDDetail&) override { return kHicapOk; }
    uint32_t Open(uint8_t, const SizeModes&) override { return kHicapOk; }
    uint32_t Init() override { return kHicapOk; }
    bool SetControl(PictureControl, int32_t, int32_t) override { return true; }
    bool SetShares(int32_t, const GroupShares&) override { return true; }
    uint32_t TransferOn() override { return kHicapOk; }
    void TransferOff() override {}
    void Close() override {}
    uint32_t Lock(int32_t, uint8_t*& address) override {
        address = picture_.data();
        return kHicapOk;
    }
    void Unlock(int32_t) override {}
    bool Signal(SignalFlags&) override { return true; }
    bool TvOut(int32_t) override { return true; }

private:
    std::vector<uint8_t> picture_;
};

void BM_Memcpy704x576(benchmark::State& state) {
    std::vector<uint8_t> from(kMaxFrameBytes, 0x80), to(FrameBank::kSlotBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kMaxFrameBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMaxFrameBytes);
}

void BM_CapturePass704x576(benchmark::State& state) {
    HicapInstall(std::make_shared<ReadyBoard>());
    auto bank = std::make_unique<FrameBank>();
    CameraFlags ready{};
    TCameraTable cameras{};
    cameras[0].Active = 1;
    cameras[0].Resolution = 0;
    TCapture capture(1, *bank, ready);
    capture.SetSettings(cameras);
    capture.SetActive(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(capture.Pass());
    state.SetBytesProcessed(state.iterations() * kMaxFrameBytes);
    HicapInstall(nullptr);
}

// range(0) = size mode, range(1) = 1 for every control away from neutral.
void BM_SimPicture(benchmark::State& state) {
    auto now = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    SimBoard board({}, SystemClock::Instance(), [&] { return now; });
    SizeModes modes;
    modes.fill(static_cast<int32_t>(state.range(0)));
    board.Open(SimBoard::kSelector, modes);
    board.SetShares(0, {100});
    board.TransferOn();
    bool graded = state.range(1) != 0;
    board.SetControl(PictureControl::Brightness, 0, graded ? 12 : 0);
    board.SetControl(PictureControl::Contrast, 0, graded ? 140 : 128);
    board.SetControl(PictureControl::Sharpness, 0, graded ? 60 : 0);
    board.SetControl(PictureControl::SaturationU, 0, graded ? 100 : 128);
    board.SetControl(PictureControl::SaturationV, 0, graded ? 150 : 128);
    board.SetControl(PictureControl::Hue, 0, graded ? 10 : 0);
    for (auto _ : state) {
        now += std::chrono::milliseconds(40);
        uint8_t* picture = nullptr;
        if (board.Lock(0, picture) != kHicapOk) {
            state.SkipWithError("no picture");
            break;
        }
        benchmark::DoNotOptimize(picture);
        board.Unlock(0);
    }
}

BENCHMARK(BM_Memcpy704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CapturePass704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimPicture)->ArgsProduct({{1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMicrosecond);

void Summary(const std::map<std::string, double>& m) {
    auto at = [&](const std::string& name) {
        auto it = m.find(name);
        return it == m.end() ? 0.0 : it->second;
    };
    double copy = at("BM_Memcpy704x576"), pass = at("BM_CapturePass704x576");
    if (copy > 0 && pass > 0)
        std::printf("\ncapture path / memcpy at 704x576: %.3f us / %.3f us = %.2fx (limit 1.5x)\n", pass,
                    copy, pass / copy);
    const char* sizes[] = {"", "704x576", "704x288", "352x288", "176x144"};
    std::printf(
        "simulated picture (median), and 2 x 25 pictures a second as a share of one core (limit 25%%):\n");
    for (int mode = 1; mode <= 4; ++mode) {
        for (int graded = 0; graded <= 1; ++graded) {
            double us = at("BM_SimPicture/" + std::to_string(mode) + "/" + std::to_string(graded));
            std::printf("  %s %-18s %8.1f us  %5.2f%%\n", sizes[mode], graded ? "controls set" : "neutral",
                        us, us * 50 / 1e6 * 100);
        }
    }
}

}  // namespace
}  // namespace kel

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kel::MedianReporter reporter;
    reporter.RunAlternating();
    kel::Summary(reporter.medians);
    benchmark::Shutdown();
    return 0;
}
