// A network camera's stream recorded as it is sent: every packet of an H.264 stream copied into a
// fragmented MP4 segment without re-encoding, the same packets as `ffmpeg -c copy` keeps, and a
// segment whose writer is killed halfway plays up to its last whole fragment.

#include "recording/stream_segment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

    StreamSegment nowhere;
    EXPECT_FALSE(nowhere.Open(dir / "no-such-folder/x.mp4", nullptr, 1, 25));
    EXPECT_NE(nowhere.ErrorText(), "");
}

}  // namespace
}  // namespace kel
