// A masked network camera compressed again at its own size: every pixel a masked cell touches is
// black at any picture size, nothing else is, and a real H.264 stream comes out as H.264 of the
// same size with a key picture wherever the camera sent one, black behind the mask once decoded.

#include "recording/masked_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "config/records.h"
#include "support/process.h"
#include "support/temp_dir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace kel {
namespace {

// Whether a masked cell overlaps the picture's pixel area [x0, x1) x [y0, y1): the cells whose
// span meets the area's on each axis, found by comparing the two spans as fractions.
struct Overlaps {
    const std::vector<uint8_t>& cells;
    int w, h;
    bool operator()(int x0, int x1, int y0, int y1) const {
        for (int row = 0; row < kZoneRows; ++row) {
            if (!(int64_t{row} * h < int64_t{y1} * kZoneRows &&
                  int64_t{row + 1} * h > int64_t{y0} * kZoneRows))
                continue;
            for (int col = 0; col < kZoneCols; ++col)
                if (cells[row * kZoneCols + col] == 1 && int64_t{col} * w < int64_t{x1} * kZoneCols &&
                    int64_t{col + 1} * w > int64_t{x0} * kZoneCols)
                    return true;
        }
        return false;
    }
};

TEST(MaskedEncoderTest, EveryPixelAMaskedCellTouchesIsBlackAtAnySizeAndNoOther) {
    std::mt19937 random(7);
    std::vector<uint8_t> cells(kZoneCols * kZoneRows);
    for (uint8_t& c : cells)
        c = random() % 5 == 0;  // scattered cells: every border case at once
    MaskedEncoder encoder(cells.data());
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{176, 144}, {641, 359}, {100, 77}, {704, 576}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = w;
        frame->height = h;
        ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? (h + 1) / 2 : h); ++y)
                std::memset(frame->data[p] + y * frame->linesize[p], 200, p ? (w + 1) / 2 : w);
        encoder.Paint(frame);
        const Overlaps touched{cells, w, h};
        int wrongLuma = 0, wrongChroma = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrongLuma +=
                    (frame->data[0][y * frame->linesize[0] + x] == 16) != touched(x, x + 1, y, y + 1);
        // A chroma sample stands for up to 2 x 2 pixels: black when any of them is masked.
        for (int y = 0; y < (h + 1) / 2; ++y)
            for (int x = 0; x < (w + 1) / 2; ++x)
                wrongChroma += (frame->data[1][y * frame->linesize[1] + x] == 128) !=
                               touched(2 * x, std::min(2 * x + 2, w), 2 * y, std::min(2 * y + 2, h));
        EXPECT_EQ(wrongLuma, 0);
        EXPECT_EQ(wrongChroma, 0);
        av_frame_free(&frame);
    }
}

TEST(MaskedEncoderTest, ACameraStreamComesOutAsH264OfItsSizeKeyedWhereTheCameraWas) {
    TempDir dir;
    const std::string camera = dir / "camera.mp4";
    // A key picture every 10, and one out of turn (a scene cut) that must be kept too.
    Process make("/usr/bin/ffmpeg",
                 {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "3", "-c:v",
                  "libx264", "-g", "10", "-force_key_frames", "1.32", "-pix_fmt", "yuv420p", "-y", camera},
                 {}, dir / "make.out", dir / "make.err");
    ASSERT_EQ(make.Wait(std::chrono::seconds(120)), 0) << make.Err();
    std::vector<uint8_t> cells(kZoneCols * kZoneRows);
    for (int i = 0; i < kZoneCols * kZoneRows; ++i)
        cells[i] = i % kZoneCols < kZoneCols / 2;
    MaskedEncoder encoder(cells.data());

    AVFormatContext* in = nullptr;
    ASSERT_GE(avformat_open_input(&in, camera.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(in, nullptr), 0);
    const AVStream* stream = in->streams[0];
    const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* check = avcodec_alloc_context3(h264);
    AVFrame* picture = av_frame_alloc();
    std::vector<bool> keysIn, keysOut;
    int decoded = 0, unmasked = 0, bright = 0;
    auto out = [&](const StreamPacket& p) {
        EXPECT_EQ(p.params->codec_id, AV_CODEC_ID_H264);
        EXPECT_EQ(p.params->width, 320);
        EXPECT_EQ(p.params->height, 240);
        EXPECT_GT(p.params->extradata_size, 0) << "the parameter sets for the MP4 header";
        keysOut.push_back((p.packet->flags & AV_PKT_FLAG_KEY) != 0);
        if (!avcodec_is_open(check)) {
            avcodec_parameters_to_context(check, p.params);
            ASSERT_EQ(avcodec_open2(check, h264, nullptr), 0);
        }
        ASSERT_EQ(avcodec_send_packet(check, p.packet), 0);
        while (avcodec_receive_frame(check, picture) == 0) {
            ++decoded;
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x) {
                    const int v = picture->data[0][y * picture->linesize[0] + x];
                    if (x < 160 - 4)
                        unmasked += v > 20;
                    else if (x > 160 + 4)
                        bright += v > 60;
                }
        }
    };
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(in, packet) >= 0) {
        keysIn.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
        EXPECT_TRUE(
            encoder.Packet({packet, stream->codecpar, stream->time_base.num, stream->time_base.den}, out))
            << encoder.ErrorText();
        av_packet_unref(packet);
    }
    EXPECT_TRUE(encoder.Packet({nullptr, nullptr, 1, 1}, out));
    EXPECT_EQ(keysOut, keysIn) << "a picture for each, key pictures where the camera's were";
    EXPECT_GE(std::count(keysIn.begin(), keysIn.end(), true), 8);
    EXPECT_EQ(decoded, 75);
    EXPECT_EQ(unmasked, 0) << "the masked half is black";
    EXPECT_GT(bright, 0) << "the other half shows the scene";

    // A stream that is no picture at all is refused with a reason, and the next key frame is
    // tried again.
    AVCodecParameters* junk = avcodec_parameters_alloc();
    junk->codec_type = AVMEDIA_TYPE_VIDEO;
    junk->codec_id = AV_CODEC_ID_H264;
    junk->width = 320;
    junk->height = 240;
    AVPacket* garbage = av_packet_alloc();
    av_new_packet(garbage, 64);
    std::memset(garbage->data, 0x5a, 64);
    garbage->flags = AV_PKT_FLAG_KEY;
    int outs = 0;
    encoder.Packet({garbage, junk, 1, 25}, [&](const StreamPacket&) { ++outs; });
    EXPECT_EQ(outs, 0);
    av_packet_free(&garbage);
    avcodec_parameters_free(&junk);
    av_packet_free(&packet);
    av_frame_free(&picture);
    avcodec_free_context(&check);
    avformat_close_input(&in);
}

}  // namespace
}  // namespace kel
