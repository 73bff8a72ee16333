// The display pass at 1024 x 768 with the Default skin.
//
// 16 cameras: every camera delivers a new 704 x 576 picture each pass (written into the frame
// bank in the timed loop, as its capture thread would, halved on the way in while the tile wants
// it); the pass takes all 16, composes the 16-camera layout with names, stamps and "REC" on half
// the tiles, and presents the picture. The reference: 16 copies of 811,008 bytes (the capture
// threads' copies into the bank) and 16 colour-converting scales of the whole picture to a
// 192 x 157 tile, with the filter the blitter uses. Target: the whole pass under a quarter of the
// 40 ms loop.
//
// 2 of 16 new (what a station really sees between two passes): the same layout, two new pictures
// a pass. Target: at most a quarter of a full redraw of the 16 (the renderer told to draw every
// tile, as every pass once did).
//
// 1 camera: one new picture, the one-camera layout (770 x 630) with its text, presented; against
// one memcpy and one scale to 770 x 630.
//
// Filters: libswscale's filters on a picture of the simulated board scaled to a 16-camera tile
// and to the one-camera tile: the time of one scale and the PSNR against a Lanczos scale.
//
// Odd tile widths: libswscale's own speed for 385 columns, for 386, and the blitter's 385.

#include <benchmark/benchmark.h>

#include "median_reporter.h"

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "capture/hicap/sim_painter.h"
#include "display/display.h"
#include "display/qt_display_platform.h"
#include "platform/offscreen_screen.h"

namespace kel {
namespace {

constexpr size_t kFrame = 704 * 576 * 2;

std::vector<uint8_t> TestPicture(int camera) {
    std::vector<uint8_t> p(kFrame);
    for (size_t i = 0; i < p.size(); i += 4) {
        size_t x = i / 2 % 704, y = i / 1408;
        p[i] = static_cast<uint8_t>(90 + camera * 7);
        p[i + 1] = static_cast<uint8_t>(16 + (x + y) % 200);
        p[i + 2] = static_cast<uint8_t>(160 - camera * 3);
        p[i + 3] = p[i + 1];
    }
    return p;
}

class DropSink : public VideoSink {
public:
    void Present(PresentTarget, const QImage& picture, const QRegion&) override {
        benchmark::DoNotOptimize(picture.constBits());
    }
};

// A station's display state with the Default skin, every camera active and watched.
struct Station {
    explicit Station(int layoutCode) : layout(layoutCode) {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        work = std::filesystem::temp_directory_path() / ("kel-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(work);
        std::filesystem::current_path(work);
        std::error_code ec;
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins", ec);
        ok = renderer.Init(1024, 768, &sink) && renderer.LoadDisplayBitmaps("Default", 1024);
        TCameraTable cameras{};
        CameraLists lists;
        for (int n = 1; n <= 16; ++n) {
            cameras[n - 1].Name.Set("Kamera " + std::to_string(n));
            cameras[n - 1].Active = 1;
            cameras[n - 1].Resolution = 0;
            signal[n] = 1;
            rec[n] = n % 2;
            lists.CamMode16[n - 1] = n;
            pictures[n] = TestPicture(n);
            bank.Write(n, pictures[n].data(), pictures[n].size(), 0);
        }
        uint8_t rights[16];
        std::memset(rights, 1, sizeof rights);
        renderer.SetCameraRecords(cameras);
        renderer.SetAllowed(rights);
        renderer.ShowNames = renderer.ShowRec = renderer.TextShadow = 1;
        renderer.TextColor = 0x00ffff;
        display.SetCameraLists(lists);
    }
    ~Station() {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        std::error_code ec;
        std::filesystem::remove_all(work, ec);
    }

    std::filesystem::path work;
    bool ok = false;
    DropSink sink;
    TDirectX renderer{QtDisplayPlatform::Instance()};
    FrameBank bank;
    std::vector<uint8_t> pictures[17];
    CameraFlags ready{}, rec{}, motion{}, signal{};
    std::atomic<int> viewMode{TDisplay::kModeWindow}, layout, single{1};
    std::atomic<bool> plan{false};
    TDisplay display{renderer,
                     {bank, ready, rec, motion, signal, viewMode, layout, single, plan,
                      [] { return std::string("12:34:56"); }, [] { return std::string("2024-05-06"); }}};
};

// `fresh` cameras (from camera 1 on) have a new picture every pass; `whole` redraws every tile.
void Pass(benchmark::State& state, int layout, int fresh, bool whole) {
    Station s(layout);
    if (!s.ok) {
        state.SkipWithError("renderer set-up failed");
        return;
    }
    for (int n = 1; n <= 16; ++n)
        s.ready[n].store(1, std::memory_order_release);
    s.display.Pass();
    for (auto _ : state) {
        for (int n = 1; n <= fresh; ++n) {
            s.bank.Write(n, s.pictures[n].data(), s.pictures[n].size(), 0);  // as a capture thread
            s.ready[n].store(1, std::memory_order_release);
        }
        if (whole)
            s.renderer.RedrawAll();
        s.display.Pass();
    }
}

void BM_Pass16(benchmark::State& state) {
    Pass(state, 3, 16, false);
}
void BM_Pass16Whole(benchmark::State& state) {
    Pass(state, 3, 16, true);
}
void BM_Pass16Two(benchmark::State& state) {
    Pass(state, 3, 2, false);
}
void BM_Pass1(benchmark::State& state) {
    Pass(state, 0, 1, false);
}

// The unavoidable part: copies of the pictures and one plain libswscale scale per tile.
void Reference(benchmark::State& state, int tiles, int w, int h) {
    std::vector<std::vector<uint8_t>> pictures;
    for (int n = 1; n <= tiles; ++n)
        pictures.push_back(TestPicture(n));
    std::vector<uint8_t> surface(kFrame), back(774 * 727 * 4);
    SwsContext* c = sws_getContext(704, 576, AV_PIX_FMT_UYVY422, w, h, AV_PIX_FMT_BGRA, Blitter::kFilter,
                                   nullptr, nullptr, nullptr);
    for (auto _ : state) {
        for (int t = 0; t < tiles; ++t) {
            std::memcpy(surface.data(), pictures[t].data(), kFrame);
            const uint8_t* in[4] = {surface.data()};
            int inStride[4] = {1408};
            uint8_t* out[4] = {back.data() + (t % 4 * (w + 1) + t / 4 * (h + 1) * 774) * 4};
            int outStride[4] = {774 * 4};
            sws_scale(c, in, inStride, 0, 576, out, outStride);
        }
        benchmark::ClobberMemory();
    }
    sws_freeContext(c);
}

void BM_Reference16(benchmark::State& state) {
    Reference(state, 16, 192, 157);
}
void BM_Reference1(benchmark::State& state) {
    Reference(state, 1, 770, 630);
}

struct Filter {
    const char* name;
    int flag;
};
constexpr Filter kFilters[] = {{"point", SWS_POINT},
                               {"fast-bilinear", SWS_FAST_BILINEAR},
                               {"bilinear", SWS_BILINEAR},
                               {"area", SWS_AREA},
                               {"bicubic", SWS_BICUBIC}};

// A picture of the simulated board: bars, ramp, digits, the clock and the chequered box.
std::vector<uint8_t> BoardPicture() {
    std::vector<uint8_t> p(kFrame);
    SimPainter painter;
    SimScene scene;
    scene.camera = 7;
    scene.sizeMode = 1;
    scene.ms = 1234;
    SimControls controls;
    controls.contrast = controls.saturationU = controls.saturationV = 128;
    painter.Paint(p.data(), scene, controls);
    return p;
}

std::vector<uint8_t> Scaled(const std::vector<uint8_t>& picture, int w, int h, int flag) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    SwsContext* c =
        sws_getContext(704, 576, AV_PIX_FMT_UYVY422, w, h, AV_PIX_FMT_BGRA, flag, nullptr, nullptr, nullptr);
    const uint8_t* in[4] = {picture.data()};
    int inStride[4] = {1408};
    uint8_t* to[4] = {out.data()};
    int toStride[4] = {w * 4};
    sws_scale(c, in, inStride, 0, 576, to, toStride);
    sws_freeContext(c);
    return out;
}

// PSNR of the colour channels of `a` against `b`, in dB.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
        ++n;
    }
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

// range(0) = the filter's index; range(1) = 1 the 16-camera tile, 0 the one-camera tile.
void BM_Filter(benchmark::State& state) {
    const Filter& f = kFilters[state.range(0)];
    const int w = state.range(1) ? 192 : 770, h = state.range(1) ? 157 : 630;
    const std::vector<uint8_t> picture = BoardPicture();
    state.SetLabel(f.name);
    state.counters["psnr_db"] = Psnr(Scaled(picture, w, h, f.flag), Scaled(picture, w, h, SWS_LANCZOS));
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    SwsContext* c = sws_getContext(704, 576, AV_PIX_FMT_UYVY422, w, h, AV_PIX_FMT_BGRA, f.flag, nullptr,
                                   nullptr, nullptr);
    for (auto _ : state) {
        const uint8_t* in[4] = {picture.data()};
        int inStride[4] = {1408};
        uint8_t* to[4] = {out.data()};
        int toStride[4] = {w * 4};
        sws_scale(c, in, inStride, 0, 576, to, toStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(c);
}

// range(0) = tile width; range(1) = 1 through the blitter, 0 plain libswscale.
void BM_TileScale(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    Surface src, back;
    src.Allocate(704, 576, PixelFormat::Uyvy);
    back.Allocate(774, 727, PixelFormat::Rgb32);
    std::vector<uint8_t> p = TestPicture(1);
    for (int y = 0; y < 576; ++y)
        std::memcpy(src.Line(y), &p[static_cast<size_t>(y) * 1408], 1408);
    Blitter blitter;
    SwsContext* c = sws_getContext(704, 576, AV_PIX_FMT_UYVY422, w, 315, AV_PIX_FMT_BGRA, Blitter::kFilter,
                                   nullptr, nullptr, nullptr);
    for (auto _ : state) {
        if (state.range(1)) {
            blitter.Blit(src, src.Bounds(), back, Rect::Sized(0, 0, w, 315));
        } else {
            const uint8_t* in[4] = {src.Line(0)};
            int inStride[4] = {static_cast<int>(src.Stride())};
            uint8_t* out[4] = {back.Line(0)};
            int outStride[4] = {static_cast<int>(back.Stride())};
            sws_scale(c, in, inStride, 0, 576, out, outStride);
        }
        benchmark::ClobberMemory();
    }
    sws_freeContext(c);
}

BENCHMARK(BM_Pass16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass16Whole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass16Two)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filter)->ArgsProduct({{0, 1, 2, 3, 4}, {1, 0}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TileScale)->ArgsProduct({{385, 386}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The medians in milliseconds, whatever each benchmark's own unit.
class MillisecondReporter : public MedianReporter {
protected:
    double Value(const Run& run) const override {
        return run.GetAdjustedRealTime() / (run.time_unit == benchmark::kMicrosecond ? 1000.0 : 1.0);
    }
};

void Summary(const std::map<std::string, double>& m) {
    auto at = [&](const std::string& name) {
        auto it = m.find(name);
        return it == m.end() ? 0.0 : it->second;
    };
    double p16 = at("BM_Pass16"), r16 = at("BM_Reference16"), p1 = at("BM_Pass1"), r1 = at("BM_Reference1");
    if (p16 > 0 && r16 > 0)
        std::printf(
            "\n16-camera pass / unavoidable work: %.2f ms / %.2f ms = %.2fx; %.1f%% of the 40 ms loop "
            "(limit 25%%)\n",
            p16, r16, p16 / r16, p16 / 40 * 100);
    if (p1 > 0 && r1 > 0)
        std::printf(
            "1-camera pass / unavoidable work:  %.2f ms / %.2f ms = %.2fx; %.1f%% of the 40 ms loop\n", p1,
            r1, p1 / r1, p1 / 40 * 100);
    double whole = at("BM_Pass16Whole"), two = at("BM_Pass16Two");
    if (whole > 0 && two > 0)
        std::printf(
            "16-camera pass with 2 new pictures / full redraw: %.2f ms / %.2f ms = %.2f (limit 0.25)\n", two,
            whole, two / whole);
    double odd = at("BM_TileScale/385/0"), even = at("BM_TileScale/386/0"), ours = at("BM_TileScale/385/1");
    if (odd > 0 && even > 0 && ours > 0)
        std::printf(
            "a 385 x 315 tile: libswscale %.3f ms, at 386 %.3f ms, the blitter %.3f ms (%.1fx faster)\n", odd,
            even, ours, odd / ours);
}

}  // namespace
}  // namespace kel

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string config = kel::WriteOffscreenScreenConfig(1280, 1024);
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(kel::OffscreenPlatform(config)));
    QGuiApplication app(argc, argv);
    std::remove(config.c_str());
    kel::MillisecondReporter reporter;
    reporter.RunAlternating();
    kel::Summary(reporter.medians);
    benchmark::Shutdown();
    return 0;
}
