// The archive viewer against references measured in the same run.
//
// decoding: every picture of a 352 x 288 segment of the simulated board (a minute at 25 a second)
// read through the segment's own index, decoded and converted to RGB as the viewer shows it,
// against `ffmpeg -threads 1 -f null` decoding the same file (its start-up, measured on a
// one-picture file, taken off): limit 1.2x.
//
// cold seek: with every file evicted from the page cache, the catalogue loaded and a fresh player
// on one camera's day of 1,000 segments showing the picture nearest to a random moment (opening the
// segment, reading its index and a few stamps, decoding): limit 100 ms.
//
// stream seek: a picture at a random place of a 1920 x 1080 H.264 segment recorded as the camera
// sent it (20 s, a key picture every 2 s), shown by a fresh reader and decoder: the segment read,
// its group decoded from the key picture to the picture asked for: limit 100 ms.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture/hicap/sim_painter.h"
#include "capture/resolution.h"
#include "median_reporter.h"
#include "platform/drive_map.h"
#include "recording/archive_catalog.h"
#include "recording/camera_track.h"
#include "recording/segment.h"
#include "recording/segment_reader.h"
#include "recording/stream_segment.h"
#include "recording/time_stamps.h"
#include "recording/video_compressor.h"
#include "recording/video_index.h"
#include "viewer/picture_decoder.h"
#include "viewer/playback.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace kel {
namespace {

namespace fs = std::filesystem;

struct Bench {
    std::string dir;
    std::string minute;  // 1,500 pictures at 352 x 288
    std::string single;  // one picture
    std::string stream;  // 500 pictures of 1920 x 1080 H.264 as a camera sent them
    int64_t dayFrom = 0, dayTo = 0;
};
Bench g;

LocalTime Moment(int secondOfDay) {
    LocalTime t;
    t.year = 2026, t.month = 12, t.day = 7;
    t.hour = secondOfDay / 3600, t.minute = secondOfDay / 60 % 60, t.second = secondOfDay % 60;
    return t;
}

void WriteSegment(const std::string& path, int startSecond, int pictures, int width, int height, int sizeMode,
                  TVideoCompressor& compressor) {
    SimPainter painter;
    SimScene scene;
    scene.sizeMode = sizeMode;
    std::vector<uint8_t> uyvy(kMaxFrameBytes + 1), out(400000);
    Segment s;
    const LocalTime start = Moment(startSecond);
    if (!s.Open(path, fs::path(path).filename().string(), DateTimeValue(start), width, height, 25)) {
        std::fprintf(stderr, "%s\n", s.ErrorText().c_str());
        std::exit(1);
    }
    for (int k = 0; k < pictures; ++k) {
        scene.ms = k * 40;
        scene.clock = Moment(startSecond + k / 25);
        painter.Paint(uyvy.data(), scene, SimControls{0, 128, 0, 128, 128, 0});
        size_t size = 0;
        compressor.Compress(uyvy.data(), width, height, out.data(), out.size(), size);
        s.WriteFrame(out.data(), size, FrameStamp(Moment(startSecond + k / 25)));
    }
    s.Close();
}

void Prepare() {
    char tmpl[] = "/var/tmp/kel-viewer-bench-XXXXXX";
    g.dir = mkdtemp(tmpl);
    TVideoCompressor compressor;
    compressor.Open();
    g.minute = g.dir + "/minute.avi";
    g.single = g.dir + "/single.avi";
    WriteSegment(g.minute, 36000, 1500, 352, 288, 3, compressor);
    WriteSegment(g.single, 36000, 1, 352, 288, 3, compressor);
    // A day of one camera: 1,000 segments of 2 s at 176 x 144, one every 86 s.
    DriveMap map(g.dir);
    map.EnsureDriveC();
    VideoIndex index;
    fs::create_directories(fs::path(map.Resolve(VideoIndex::ArchivePath('C', 1, "x"))).parent_path());
    for (int i = 0; i < 1000; ++i) {
        const int second = i * 86;
        const std::string name = SegmentName(Moment(second)) + ".avi";
        const std::string dos = VideoIndex::ArchivePath('C', 1, name);
        WriteSegment(map.Resolve(dos), second, 50, 176, 144, 4, compressor);
        TVideoIndexEntry e;
        e.FileName.Set(dos);
        e.Camera = 1;
        e.StartTime = DateTimeValue(Moment(second));
        index.Append(e);
    }
    std::string error;
    index.Save(g.dir + "/" + VideoIndex::kFile, error);
    g.dayFrom = ArchiveCatalog::DaysToMs(DateTimeValue(Moment(0)));
    g.dayTo = g.dayFrom + 86'000'000;
    // The camera's stream, copied into a segment as the station records it.
    const std::string camera = g.dir + "/camera.mp4";
    g.stream = g.dir + "/stream.mp4";
    const std::string make =
        "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 20 -c:v libx264 "
        "-preset veryfast -b:v 4M -g 50 -pix_fmt yuv420p -y '" +
        camera + "'";
    AVFormatContext* in = nullptr;
    if (std::system(make.c_str()) != 0 || avformat_open_input(&in, camera.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in, nullptr) < 0) {
        std::fprintf(stderr, "viewer_bench: cannot make the camera's stream\n");
        g.stream.clear();
        return;
    }
    StreamSegment segment;
    const AVStream* video = in->streams[0];
    segment.Open(g.stream, video->codecpar, video->time_base.num, video->time_base.den);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(in, packet) >= 0) {
        segment.Write(packet, "2026-05-04: 10:00:00.000");
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    segment.Close();
    avformat_close_input(&in);
}

void BM_ViewerDecodeMinute(benchmark::State& state) {
    CatalogEntry e;
    e.path = g.minute;
    for (auto _ : state) {
        CameraTrack track({e});
        PictureDecoder decoder;
        std::vector<uint8_t> bytes;
        std::string stamp;
        SegmentReader* r = track.Reader(0);
        for (size_t i = 0; i < r->Pictures(); ++i) {
            track.Read({0, i}, bytes, stamp);
            QImage image = decoder.Decode(bytes, r->Compression(), r->Width(), r->Height());
            benchmark::DoNotOptimize(image.constBits());
        }
    }
}

double FfmpegSeconds(const std::string& file) {
    const std::string command =
        "ffmpeg -nostdin -v error -threads 1 -i '" + file + "' -map 0:v -f null - 2>/dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_FfmpegDecodeMinute(benchmark::State& state) {
    for (auto _ : state) {
        const double whole = FfmpegSeconds(g.minute), start = FfmpegSeconds(g.single);
        state.SetIterationTime(whole - start);
    }
}

// Every file of the bench out of the page cache (written back first: only clean pages go).
void Evict(const std::string& dir) {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Cold: the viewer as it starts, with none of the day's files in memory: the catalogue loaded,
// then the player shows the picture nearest to a random moment.
void BM_ColdSeekInADayOf1000Segments(benchmark::State& state) {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int64_t> moment(g.dayFrom, g.dayTo);
    for (auto _ : state) {
        state.PauseTiming();
        Evict(g.dir);
        state.ResumeTiming();
        ArchiveCatalog catalog(g.dir);
        catalog.Load();
        Playback play;
        play.ShowCameras(catalog, {1});
        play.Seek(moment(random));
        if (play.Panes()[0].image.isNull())
            state.SkipWithError("nothing shown");
    }
}

void BM_SeekInA1080pStreamSegment(benchmark::State& state) {
    std::mt19937_64 random(11);
    for (auto _ : state) {
        SegmentReader reader;
        PictureDecoder decoder;
        if (g.stream.empty() || !reader.Open(g.stream) || reader.Pictures() == 0) {
            state.SkipWithError("no stream segment");
            break;
        }
        const size_t i = std::uniform_int_distribution<size_t>(0, reader.Pictures() - 1)(random);
        if (decoder.DecodeStream(reader, i).isNull())
            state.SkipWithError("nothing shown");
    }
}

BENCHMARK(BM_ViewerDecodeMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegDecodeMinute)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ColdSeekInADayOf1000Segments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekInA1080pStreamSegment)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace kel

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kel::Prepare();
    kel::MedianReporter reporter;
    reporter.RunAlternating();
    auto at = [&](const char* name) {
        auto it = reporter.medians.find(name);
        return it == reporter.medians.end() ? 0.0 : it->second;
    };
    const double viewer = at("BM_ViewerDecodeMinute"), ffmpeg = at("BM_FfmpegDecodeMinute");
    std::printf("\n");
    if (viewer > 0 && ffmpeg > 0)
        std::printf("viewer decoding / ffmpeg -f null, 1,500 pictures at 352x288: %.1f ms / %.1f ms = %.2fx "
                    "(limit 1.2x)\n",
                    viewer, ffmpeg, viewer / ffmpeg);
    if (double seek = at("BM_ColdSeekInADayOf1000Segments"); seek > 0)
        std::printf("cold seek into a day of 1,000 segments: %.2f ms median (limit 100 ms)\n", seek);
    if (double seek = at("BM_SeekInA1080pStreamSegment"); seek > 0)
        std::printf(
            "seek into a 1920x1080 stream segment (a key picture every 2 s): %.2f ms median (limit 100 ms)\n",
            seek);
    std::error_code ec;
    std::filesystem::remove_all(kel::g.dir, ec);
    benchmark::Shutdown();
    return 0;
}
