// A network camera's stream recorded as it is sent: every packet of an H.264 stream copied into a
// fragmented MP4 segment without re-encoding, the same packets as `ffmpeg -c copy` keeps; a
// segment whose writer is killed halfway plays up to its last whole fragment and is mended to it;
// the recorder's segments start at key frames and split where the stream or the limit says.

#include "recording/stream_segment.h"

#include "recording/stream_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace kel {
namespace {

// What ffprobe sees of a file's video packets, a line each: the time stamp counted from the first
// packet's (a container may start the stream's clock elsewhere), the size and the key-frame flag.
std::string Packets(TempDir& dir, const std::string& file) {
    Process probe("/usr/bin/ffprobe",
                  {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts,size,flags", "-of",
                   "csv=p=0", file},
                  {}, dir / "probe.out", dir / "probe.err");
    EXPECT_EQ(probe.Wait(std::chrono::seconds(60)), 0) << probe.Err();
    std::istringstream in(probe.Out());
    std::string out;
    long long first = -1;
    for (std::string line; std::getline(in, line);) {
        const size_t comma = line.find(',');
        const long long pts = std::stoll(line.substr(0, comma));
        if (first < 0)
            first = pts;
        out += std::to_string(pts - first) + line.substr(comma) + "\n";
    }
    return out;
}

// Copies the first `limit` packets (all when negative) of `from` into a segment at `to`; closes it
// unless `kill` (then the process dies with the segment open).
bool Record(const std::string& from, const std::string& to, int limit, bool kill, std::string& error) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, from.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in, nullptr) < 0) {
        error = "cannot read " + from;
        return false;
    }
    const AVStream* stream = in->streams[0];
    StreamSegment segment;
    bool ok = segment.Open(to, stream->codecpar, stream->time_base.num, stream->time_base.den);
    AVPacket* packet = av_packet_alloc();
    for (int n = 0; ok && (limit < 0 || n < limit) && av_read_frame(in, packet) >= 0; ++n) {
        ok = segment.Write(packet);
        av_packet_unref(packet);
    }
    if (kill)
        raise(SIGKILL);
    ok = ok && segment.Close();
    error = segment.ErrorText();
    av_packet_free(&packet);
    avformat_close_input(&in);
    return ok;
}

TEST(StreamSegmentTest, EveryPacketIsRecordedWithoutReencodingAndAKilledWriterLeavesAPlayableFile) {
    TempDir dir;
    const std::string camera = dir / "camera.mp4";
    Process make("/usr/bin/ffmpeg",
                 {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25", "-t", "4", "-c:v",
                  "libx264", "-g", "25", "-pix_fmt", "yuv420p", "-y", camera},
                 {}, dir / "make.out", dir / "make.err");
    ASSERT_EQ(make.Wait(std::chrono::seconds(120)), 0) << make.Err();

    const std::string reference = dir / "reference.mp4", recorded = dir / "recorded.mp4";
    Process copy("/usr/bin/ffmpeg", {"-v", "error", "-i", camera, "-c", "copy", "-y", reference}, {},
                 dir / "copy.out", dir / "copy.err");
    ASSERT_EQ(copy.Wait(std::chrono::seconds(120)), 0) << copy.Err();
    std::string error;
    ASSERT_TRUE(Record(camera, recorded, -1, false, error)) << error;
    const std::string expected = Packets(dir, reference);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 100);
    EXPECT_EQ(Packets(dir, recorded), expected) << "the same packets, sizes, stamps and key frames";

    // Killed after 60 packets: the fragments of the first two seconds are whole.
    const std::string cut = dir / "cut.mp4";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string ignored;
        Record(camera, cut, 60, true, ignored);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const std::string left = Packets(dir, cut);
    const auto kept = std::count(left.begin(), left.end(), '\n');
    EXPECT_GE(kept, 50) << left;
    EXPECT_LE(kept, 60);
    EXPECT_EQ(left, expected.substr(0, left.size())) << "what is left is the stream's beginning";
    Process decode("/usr/bin/ffmpeg", {"-v", "error", "-i", cut, "-f", "null", "-"}, {}, dir / "decode.out",
                   dir / "decode.err");
    EXPECT_EQ(decode.Wait(std::chrono::seconds(60)), 0) << decode.Err();

    // Mended: the torn fragment cut off, every whole one kept, counted; mending again changes nothing.
    const auto before = std::filesystem::file_size(cut);
    RepairResult mended = RepairSegment(cut);
    ASSERT_TRUE(mended.ok) << mended.error;
    EXPECT_EQ(mended.pictures, static_cast<uint32_t>(kept));
    EXPECT_EQ(mended.cut, std::filesystem::file_size(cut) < before ? 1u : 0u);
    EXPECT_EQ(Packets(dir, cut), left);
    mended = RepairSegment(cut);
    EXPECT_TRUE(mended.ok && mended.cut == 0 && mended.pictures == static_cast<uint32_t>(kept));
    const std::string whole = dir / "whole.mp4";
    ASSERT_TRUE(Record(camera, whole, -1, false, error)) << error;
    mended = RepairSegment(whole);
    EXPECT_TRUE(mended.ok && mended.cut == 0 && mended.pictures == 100) << "a finished segment is whole";
    std::ofstream(dir / "empty.mp4").close();
    mended = RepairSegment(dir / "empty.mp4");
    EXPECT_TRUE(mended.ok && mended.pictures == 0) << "created, then the crash";
    std::ofstream(dir / "other.mp4") << "not a recording at all";
    EXPECT_FALSE(RepairSegment(dir / "other.mp4").ok) << "what is no segment is left alone";

    StreamSegment nowhere;
    EXPECT_FALSE(nowhere.Open(dir / "no-such-folder/x.mp4", nullptr, 1, 25));
    EXPECT_NE(nowhere.ErrorText(), "");
}

// A camera's packets read from a file, with its stream's parameters.
struct Recorded {
    AVFormatContext* in = nullptr;
    std::vector<AVPacket*> packets;
    explicit Recorded(const std::string& file) {
        if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(in, nullptr) < 0)
            return;
        AVPacket* p = av_packet_alloc();
        for (; av_read_frame(in, p) >= 0; p = av_packet_alloc())
            packets.push_back(p);
        av_packet_free(&p);
    }
    ~Recorded() {
        for (AVPacket*& p : packets)
            av_packet_free(&p);
        avformat_close_input(&in);
    }
    StreamPacket At(size_t i) const {
        const AVStream* s = in->streams[0];
        return {packets[i], s->codecpar, s->time_base.num, s->time_base.den};
    }
    // "size,flags" of packets [from, to), as ffprobe lists them.
    std::string Listed(size_t from, size_t to) const {
        std::string out;
        for (size_t i = from; i < to; ++i)
            out += std::to_string(packets[i]->size) + "," +
                   ((packets[i]->flags & AV_PKT_FLAG_KEY) ? "K" : "_") + "_\n";
        return out;
    }
};

std::string SizesAndFlags(TempDir& dir, const std::string& file, const char* stream = "v:0") {
    Process probe("/usr/bin/ffprobe",
                  {"-v", "error", "-select_streams", stream, "-show_entries", "packet=size,flags", "-of",
                   "csv=p=0", file},
                  {}, dir / "probe.out", dir / "probe.err");
    EXPECT_EQ(probe.Wait(std::chrono::seconds(60)), 0) << probe.Err();
    return probe.Out();
}

TEST(StreamRecorderTest, SegmentsStartAtAKeyFrameBeforeTheyAreDueAndSplitWhereTheStreamOrTheLimitSays) {
    TempDir dir;
    const std::string file = dir / "camera.mp4";
    Process make("/usr/bin/ffmpeg",
                 {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "6", "-c:v",
                  "libx264", "-g", "25", "-sc_threshold", "0", "-pix_fmt", "yuv420p", "-y", file},
                 {}, dir / "make.out", dir / "make.err");
    ASSERT_EQ(make.Wait(std::chrono::seconds(120)), 0) << make.Err();
    const Recorded camera(file);
    ASSERT_EQ(camera.packets.size(), 150u);

    struct Closed {
        std::string path, name;
        double start;
    };
    std::vector<Closed> closed;
    std::vector<std::string> log;
    bool due = false;
    int64_t limit = 50'000'000;
    FixedClock clock(LocalTime{2026, 5, 4, 9, 30, 0, 1});
    StreamRecorder::Links links;
    links.due = [&](int) { return due; };
    links.onMotion = [](int) { return true; };
    links.sizeLimit = [&] { return limit; };
    links.closed = [&](int n, const std::string& path, const std::string& name, double start,
                       bool unfinished) {
        EXPECT_EQ(n, 1);
        EXPECT_FALSE(unfinished);
        closed.push_back({path, name, start});
    };
    links.log = [&](const std::string& text, bool) { log.push_back(text); };
    links.writeFailed = [](const std::string&) {};
    StreamRecorder recorder(dir.Path(), links, clock);
    std::array<bool, 17> asSent{};
    asSent[1] = true;
    recorder.SetCameras(asSent);
    auto feed = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            recorder.Packet(1, camera.At(i));
    };

    // Motion seen at picture 37 (a key picture at 25): the segment starts at the key frame of the
    // group before, picture 0.
    feed(0, 37);
    EXPECT_FALSE(recorder.SegmentOpen(1));
    due = true;
    feed(37, 60);
    due = false;
    feed(60, 61);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].name, "040526093000.mp4");
    EXPECT_EQ(closed[0].path, dir / "Temp/Kamera1/040526093000.mp4");
    EXPECT_EQ(SizesAndFlags(dir, closed[0].path), camera.Listed(0, 60));
    // (The text track may begin with an empty sample: its time up to the first picture.)
    std::istringstream stamps(SizesAndFlags(dir, closed[0].path, "s:0"));
    int stamped = 0;
    for (std::string line; std::getline(stamps, line);)
        stamped += line.rfind("2,", 0) != 0;
    EXPECT_EQ(stamped, 60) << "a moment beside each picture";
    SegmentNote note;
    ASSERT_TRUE(Segment::ReadNote(closed[0].path, note));
    EXPECT_TRUE(note.onMotion);
    EXPECT_DOUBLE_EQ(note.startTime, closed[0].start);

    // Past the size limit, a segment ends at the next key frame. Parameter sets sent apart from
    // their key frame (a packet of the same moment) go with it.
    limit = 1;
    due = true;
    AVPacket* sets = av_packet_clone(camera.packets[75]);
    recorder.Packet(1, {sets, camera.At(0).params, camera.At(0).timeBaseNum, camera.At(0).timeBaseDen});
    feed(75, 131);
    ASSERT_EQ(closed.size(), 3u);
    EXPECT_EQ(closed[1].name, "040526093001.mp4") << "the next second's name, the first being taken";
    EXPECT_EQ(closed[2].name, "040526093002.mp4");
    EXPECT_EQ(SizesAndFlags(dir, closed[1].path), camera.Listed(75, 76) + camera.Listed(75, 100));
    EXPECT_EQ(SizesAndFlags(dir, closed[2].path), camera.Listed(100, 125));

    // Another stream (a new size): the segment ends and the next waits for a key frame of it.
    AVCodecParameters* other = avcodec_parameters_alloc();
    avcodec_parameters_copy(other, camera.At(0).params);
    other->width = 640;
    recorder.Packet(1, {camera.packets[131], other, camera.At(0).timeBaseNum, camera.At(0).timeBaseDen});
    ASSERT_EQ(closed.size(), 4u);
    EXPECT_EQ(SizesAndFlags(dir, closed[3].path), camera.Listed(125, 131));
    EXPECT_FALSE(recorder.SegmentOpen(1));
    avcodec_parameters_free(&other);

    // Stamps that go back seconds (a camera started again) are a new stream too; its end closes.
    feed(0, 10);
    EXPECT_TRUE(recorder.SegmentOpen(1));
    recorder.Packet(1, {});
    ASSERT_EQ(closed.size(), 5u);
    EXPECT_EQ(SizesAndFlags(dir, closed[4].path), camera.Listed(0, 10));
    EXPECT_EQ(recorder.Written(1), 60 + 26 + 25 + 6 + 10);
    EXPECT_TRUE(log.empty()) << log.front();
    av_packet_free(&sets);
}

}  // namespace
}  // namespace kel
