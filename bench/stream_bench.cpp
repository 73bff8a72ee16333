// The map board's cost per picture against ffmpeg in the same run.
//
// A camera's stream (H.264, 640 x 480, 250 pictures in a second) read from a file at its pace,
// every picture taken as it comes (converted to UYVY at 352 x 288 for the board on the taker's
// thread), against `ffmpeg -threads 1` decoding and scaling the same file to the same size and
// format (bilinear, as the board scales; its start-up, measured on a one-picture file, taken off):
// limit 1.3x. Both are measured in CPU time; the pictures taken are counted, since a taker that
// fell behind would flatter the source.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "capture/hicap/stream_source.h"
#include "capture/resolution.h"
#include "median_reporter.h"

namespace kel {
namespace {

constexpr int kPictures = 250;
std::string g_dir, g_file, g_single;

void Prepare() {
    char tmpl[] = "/var/tmp/kel-stream-bench-XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_file = g_dir + "/camera.mp4";
    g_single = g_dir + "/single.mp4";
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=250 -c:v libx264 -preset fast "
        "-g 25 -pix_fmt yuv420p ";
    if (std::system((make + "-frames:v " + std::to_string(kPictures) + " '" + g_file + "'").c_str()) != 0 ||
        std::system((make + "-frames:v 1 '" + g_single + "'").c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the stream\n");
        std::exit(1);
    }
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_StreamSource250(benchmark::State& state) {
    MapEntry entry;
    entry.kind = MapEntry::Kind::File;
    entry.address = g_file;
    entry.paced = true;
    std::unique_ptr<uint8_t, decltype(&std::free)> buffer(
        static_cast<uint8_t*>(std::aligned_alloc(64, kMaxFrameBytes)), &std::free);
    struct {
        uint8_t* data() { return p; }
        uint8_t* p;
    } out{buffer.get()};
    uint64_t taken = 0;
    for (auto _ : state) {
        StreamSource source(0, entry, StreamTiming{}, nullptr);
        source.SetSizeMode(3);
        const double cpu = CpuSeconds(RUSAGE_SELF);
        source.Start();
        uint64_t seen = 0;
        while (seen < kPictures)
            if (!source.TakeNewer(seen, out.data()))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        source.Stop();
        state.SetIterationTime(CpuSeconds(RUSAGE_SELF) - cpu);
        taken += source.Taken();
    }
    state.counters["taken"] = static_cast<double>(taken) / static_cast<double>(state.iterations());
}

// The CPU time of one ffmpeg run (user and system, of the child).
double FfmpegSeconds(const std::string& file) {
    const std::string command =
        "ffmpeg -nostdin -v error -threads 1 -i '" + file +
        "' -sws_flags bilinear -vf scale=352:288 -pix_fmt uyvy422 -f null - 2>/dev/null";
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0)
        return 0;
    return CpuSeconds(RUSAGE_CHILDREN) - before;
}

void BM_Ffmpeg250(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(FfmpegSeconds(g_file) - FfmpegSeconds(g_single));
}

BENCHMARK(BM_StreamSource250)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_Ffmpeg250)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
}  // namespace kel

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kel::Prepare();
    kel::MedianReporter reporter;
    reporter.RunAlternating();
    const double ours = reporter.medians["BM_StreamSource250"], theirs = reporter.medians["BM_Ffmpeg250"];
    if (ours > 0 && theirs > 0)
        std::printf("\nmap board source / ffmpeg, CPU for 250 pictures 640x480 H.264 to 352x288 UYVY: %.1f "
                    "ms / %.1f ms = "
                    "%.2fx (limit 1.3x)\n",
                    ours, theirs, ours / theirs);
    std::error_code ec;
    std::filesystem::remove_all(kel::g_dir, ec);
    benchmark::Shutdown();
    return 0;
}
