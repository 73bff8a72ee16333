// The recorder's kernels against references measured in the same run.
//
// motion test: DetectMotion at 704 x 576 with the whole mask watched (compare two pictures, keep
// the new one as the reference) against a memcpy of the two pictures' bytes (limit 3x), and
// against the plain byte-by-byte loop that finds each byte's cell by division.
//
// compression: one 352 x 288 picture of the simulated board through TVideoCompressor against
// libavcodec alone on the same picture (the same conversion and encoder settings, no slot copy,
// no look-up of the size's coder): limit 1.2x.
//
// privacy mask: the capture copies each picture into the frame bank; with a mask that copy writes
// black in the masked cells. The copy with a mask drawn as an installer draws it (the left half,
// a street, and a rectangle on the right, a neighbour's window), and with the worst mask (the
// left half and every other cell of every other row), less the plain copy, against compressing
// the same picture, at 704 x 576 and 352 x 288: limit 5%.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/hicap/sim_painter.h"
#include "capture/privacy_mask.h"
#include "capture/resolution.h"
#include "median_reporter.h"
#include "recording/motion_detector.h"
#include "recording/video_compressor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace kel {
namespace {

// Two different 704 x 576 pictures of the simulated board.
struct Pictures {
    std::vector<uint8_t> a = std::vector<uint8_t>(kMaxFrameBytes + 1),
                         b = std::vector<uint8_t>(kMaxFrameBytes + 1);
    Pictures(int sizeMode = 1) {
        SimPainter painter;
        SimScene scene;
        scene.sizeMode = sizeMode;
        scene.ms = 1000;
        painter.Paint(a.data(), scene, SimControls{0, 128, 0, 128, 128, 0});
        scene.ms = 1400;
        painter.Paint(b.data(), scene, SimControls{0, 128, 0, 128, 128, 0});
    }
};

void BM_Memcpy2x704x576(benchmark::State& state) {
    Pictures p;
    std::vector<uint8_t> to(2 * kMaxFrameBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), p.a.data(), kMaxFrameBytes);
        std::memcpy(to.data() + kMaxFrameBytes, p.b.data(), kMaxFrameBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_DetectMotion704x576(benchmark::State& state) {
    Pictures p;
    MotionDetector detector;
    auto zone = std::make_unique<TZoneRecord>();
    zone->Sensitivity = 1000;
    std::fill(std::begin(zone->Mask), std::end(zone->Mask), 1);
    detector.SetZone(1, *zone);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.DetectMotion(1, (flip ? p.a : p.b).data(), 704, 576));
        flip = !flip;
    }
}

// The test as first written: a division per byte to find its cell.
__attribute__((noinline)) bool ByteLoop(const uint8_t* live, uint8_t* ref, const uint8_t* mask, int w, int h,
                                        int32_t sensitivity) {
    const int cellWidth = 2 * w / 176, cellHeight = h / 144;
    int32_t count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 2 * w; ++x) {
            size_t i = static_cast<size_t>(y) * 2 * w + x;
            if (mask[(y / cellHeight) * 176 + x / cellWidth] == 1 && std::abs(live[i] - ref[i]) > 30)
                ++count;
        }
    std::memcpy(ref, live, static_cast<size_t>(2 * w * h));
    return count > sensitivity;
}

void BM_ByteLoop704x576(benchmark::State& state) {
    Pictures p;
    std::vector<uint8_t> ref(kMaxFrameBytes), mask(176 * 144, 1);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ByteLoop((flip ? p.a : p.b).data(), ref.data(), mask.data(), 704, 576, 1000));
        flip = !flip;
    }
}

void BM_Compress352x288(benchmark::State& state) {
    Pictures p(3);
    TVideoCompressor compressor;
    compressor.Open();
    std::vector<uint8_t> out(200008);
    size_t size = 0;
    for (auto _ : state) {
        if (!compressor.Compress(p.a.data(), 352, 288, out.data(), out.size(), size)) {
            state.SkipWithError(compressor.ErrorText().c_str());
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void Compress(benchmark::State& state, int sizeMode, int width, int height) {
    Pictures p(sizeMode);
    TVideoCompressor compressor;
    compressor.Open();
    std::vector<uint8_t> out(kMaxFrameBytes);
    size_t size = 0;
    for (auto _ : state) {
        if (!compressor.Compress(p.a.data(), width, height, out.data(), out.size(), size)) {
            state.SkipWithError(compressor.ErrorText().c_str());
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

// range(0): 1 to copy with the mask, 0 to copy plainly; range(1): 1 for the worst mask, every
// other cell of every other row on the right (many short runs).
void Mask(benchmark::State& state, int sizeMode, int width, int height) {
    Pictures p(sizeMode);
    std::vector<uint8_t> cells(kZoneCols * kZoneRows, 0), to(kMaxFrameBytes);
    for (int r = 0; r < kZoneRows; ++r)
        for (int c = 0; c < kZoneCols; ++c)
            cells[r * kZoneCols + c] = state.range(1)
                                           ? c < kZoneCols / 2 || (r % 2 == 0 && c % 2 == 0)
                                           : c < kZoneCols / 2 || (c >= 120 && c < 150 && r >= 20 && r < 60);
    const PrivacyMaskPtr mask = PrivacyMask::Make(cells.data());
    const size_t bytes = 2 * static_cast<size_t>(width) * height;
    for (auto _ : state) {
        if (state.range(0))
            mask->Copy(to.data(), p.a.data(), width, height);
        else
            std::memcpy(to.data(), p.a.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_Compress704x576(benchmark::State& state) {
    Compress(state, 1, 704, 576);
}
void BM_Mask704x576(benchmark::State& state) {
    Mask(state, 1, 704, 576);
}
void BM_Mask352x288(benchmark::State& state) {
    Mask(state, 3, 352, 288);
}

void BM_Libavcodec352x288(benchmark::State& state) {
    Pictures p(3);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSMPEG4V3);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = 352;
    ctx->height = 288;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->gop_size = 0;
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 352;
    frame->height = 288;
    av_frame_get_buffer(frame, 0);
    SwsContext* sws = sws_getContext(352, 288, AV_PIX_FMT_UYVY422, 352, 288, AV_PIX_FMT_YUV420P, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    AVPacket* pkt = av_packet_alloc();
    const uint8_t* src[1] = {p.a.data()};
    const int stride[1] = {352 * 2};
    for (auto _ : state) {
        av_frame_make_writable(frame);
        sws_scale(sws, src, stride, 0, 288, frame->data, frame->linesize);
        frame->pict_type = AV_PICTURE_TYPE_I;
        frame->quality = FF_QP2LAMBDA * TVideoCompressor::kQuantiser;
        avcodec_send_frame(ctx, frame);
        avcodec_receive_packet(ctx, pkt);
        benchmark::DoNotOptimize(pkt->data);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    sws_freeContext(sws);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
}

BENCHMARK(BM_Memcpy2x704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DetectMotion704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ByteLoop704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compress352x288)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libavcodec352x288)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mask352x288)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compress704x576)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mask704x576)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

void Ratio(const std::map<std::string, double>& m, const char* what, const char* a, const char* b,
           const char* limit) {
    auto at = [&](const char* name) {
        auto it = m.find(name);
        return it == m.end() ? 0.0 : it->second;
    };
    double x = at(a), y = at(b);
    if (x > 0 && y > 0)
        std::printf("%s: %.1f us / %.1f us = %.2fx%s\n", what, x, y, x / y, limit);
}

}  // namespace
}  // namespace kel

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kel::MedianReporter reporter;
    reporter.RunAlternating();
    std::printf("\n");
    kel::Ratio(reporter.medians, "DetectMotion / memcpy of both pictures", "BM_DetectMotion704x576",
               "BM_Memcpy2x704x576", " (limit 3x)");
    kel::Ratio(reporter.medians, "DetectMotion / byte-by-byte loop", "BM_DetectMotion704x576",
               "BM_ByteLoop704x576", "");
    kel::Ratio(reporter.medians, "TVideoCompressor / libavcodec alone at 352x288", "BM_Compress352x288",
               "BM_Libavcodec352x288", " (limit 1.2x)");
    for (const char* size : {"704x576", "352x288"})
        for (const char* kind : {"0", "1"}) {
            const std::string name = std::string("BM_Mask") + size;
            const double masked = reporter.medians[name + "/1/" + kind],
                         plain = reporter.medians[name + "/0/" + kind];
            const double compress = reporter.medians[std::string("BM_Compress") + size];
            if (compress > 0)
                std::printf(
                    "privacy mask (%s) at %s: copy with the mask %.1f us - plain copy %.1f us = %.1f us; "
                    "/ compression %.1f us = %.3fx (limit 0.05x)\n",
                    *kind == '1' ? "many short runs" : "as drawn", size, masked, plain, masked - plain,
                    compress, (masked - plain) / compress);
        }
    benchmark::Shutdown();
    return 0;
}
