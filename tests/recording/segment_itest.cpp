// Segments as files: the compressor's pictures in our AVI writer, read back chunk by chunk and by
// ffprobe and ffmpeg, and a write that fails half-way.

#include "recording/segment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "capture/hicap/sim_painter.h"
#include "capture/resolution.h"
#include "recording/avi_reader.h"
#include "recording/segment_repair.h"
#include "recording/video_compressor.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace kel {
namespace {

class SegmentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(compressor.Open()) << compressor.ErrorText(); }
    // The simulated board's picture of camera 4 at moment `ms`, compressed.
    std::vector<uint8_t> Picture(int code, int64_t ms) {
        std::vector<uint8_t> raw(kMaxFrameBytes);
        SimScene scene;
        scene.camera = 4;
        scene.sizeMode = code + 1;
        scene.ms = ms;
        painter.Paint(raw.data(), scene, SimControls{0, 128, 0, 128, 128, 0});
        PictureSize s = ResolutionSize(code);
        std::vector<uint8_t> out(200008);
        size_t size = 0;
        EXPECT_TRUE(compressor.Compress(raw.data(), s.width, s.height, out.data(), out.size(), size));
        out.resize(size);
        return out;
    }
    std::string Stamp(int i) {
        return "2026-05-04: 09:30:" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    }

    TempDir dir;
    TVideoCompressor compressor;
    SimPainter painter;
};

TEST_F(SegmentTest, TheFileIsAWellFormedAviWithAVideoAndATextStream) {
    Segment seg;
    ASSERT_TRUE(seg.Open(dir / "a.avi", "a.avi", 46000.5, 352, 288, 4)) << seg.ErrorText();
    uint64_t bytes = 0;
    for (int i = 0; i < 21; ++i) {
        auto p = Picture(2, i * 250);
        bytes += p.size();
        ASSERT_TRUE(seg.WriteFrame(p.data(), p.size(), Stamp(i)));
    }
    EXPECT_EQ(seg.BytesWritten(), bytes);
    ASSERT_TRUE(seg.Close(7)) << seg.ErrorText();
    EXPECT_FALSE(seg.IsOpen());

    AviFile f = ReadAvi(dir / "a.avi");
    ASSERT_TRUE(f.ok) << f.problem;
    EXPECT_EQ(f.comment, "KEL mode=continuous start=46000.5 motions=7");
    EXPECT_EQ(f.main.dwStreams, 2u);
    EXPECT_EQ(f.main.dwTotalFrames, 21u);
    EXPECT_EQ(f.main.dwMicroSecPerFrame, 250000u);
    EXPECT_EQ(f.main.dwFlags & kAvifHasIndex, kAvifHasIndex);
    ASSERT_EQ(f.streams.size(), 2u);
    EXPECT_EQ(f.streams[0].fccType, FourCC("vids"));
    EXPECT_EQ(f.streams[1].fccType, FourCC("txts"));
    for (const auto& s : f.streams) {
        EXPECT_EQ(s.fccHandler, kFourCCDiv3);
        EXPECT_EQ(s.dwScale, 1u);
        EXPECT_EQ(s.dwRate, 4u);
        EXPECT_EQ(s.dwLength, 21u);
    }
    ASSERT_EQ(f.formats.size(), 2u);
    ASSERT_EQ(f.formats[0].size(), 40u);
    BitmapInfoHeader bih;
    std::memcpy(&bih, f.formats[0].data(), 40);
    EXPECT_EQ(bih.biWidth, 352);
    EXPECT_EQ(bih.biHeight, 288);
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_EQ(bih.biCompression, kFourCCDiv3);
    // The text format: 30, the last picture's stamp sample, a zero byte.
    ASSERT_EQ(f.formats[1].size(), 36u);
    EXPECT_EQ(f.formats[1][0], 30);
    EXPECT_EQ(f.formats[1][4], Stamp(20).size());
    EXPECT_EQ(std::string(f.formats[1].begin() + 5, f.formats[1].begin() + 5 + 20), Stamp(20));
    EXPECT_EQ(f.formats[1][35], 0);

    // Pictures and stamps alternate; every one is in the index as a key frame, where it lies.
    ASSERT_EQ(f.samples.size(), 42u);
    ASSERT_EQ(f.index.size(), 42u);
    for (size_t i = 0; i < f.samples.size(); ++i) {
        EXPECT_EQ(f.samples[i].id, i % 2 ? "01tx" : "00dc") << i;
        EXPECT_EQ(f.index[i].ckid, FourCC(i % 2 ? "01tx" : "00dc")) << i;
        EXPECT_EQ(f.index[i].dwFlags, kAviifKeyframe) << i;
        EXPECT_EQ(f.index[i].dwChunkOffset + f.moviType, f.samples[i].offset) << i;
        EXPECT_EQ(f.index[i].dwChunkLength, f.samples[i].data.size()) << i;
    }
    const auto& text = f.samples[3].data;
    ASSERT_EQ(text.size(), 31u);
    EXPECT_EQ(text[0], 20);
    EXPECT_EQ(std::string(text.begin() + 1, text.begin() + 21), Stamp(1));
    EXPECT_EQ(std::vector<uint8_t>(text.begin() + 21, text.end()), std::vector<uint8_t>(10, 0));
}

TEST_F(SegmentTest, TheToolsListBothStreamsAndDecodeEveryPicture) {
    for (int code : {0, 1, 2, 3}) {
        const std::string path = dir / ("s" + std::to_string(code) + ".avi");
        Segment seg;
        PictureSize size = ResolutionSize(code);
        ASSERT_TRUE(seg.Open(path, "s.avi", 0, size.width, size.height, 25));
        for (int i = 0; i < 12; ++i) {
            auto p = Picture(code, i * 40);
            ASSERT_TRUE(seg.WriteFrame(p.data(), p.size(), Stamp(i)));
        }
        ASSERT_TRUE(seg.Close());
        EXPECT_EQ(ProbeStreams(path), "video,DIV3\nsubtitle,[0][0][0][0]\n") << code;
        EXPECT_EQ(DecodedPictures(path), 12) << code;
    }
}

TEST_F(SegmentTest, ASegmentIsNeverCreatedOverAnExistingFile) {
    WriteFile(dir / "x.avi", "kept");
    Segment seg;
    EXPECT_FALSE(seg.Open(dir / "x.avi", "x.avi", 0, 352, 288, 3));
    EXPECT_FALSE(seg.IsOpen());
    EXPECT_NE(seg.ErrorText().find("x.avi"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "x.avi"), "kept");
}

// A disk that fills up in the middle of a picture: the picture is taken back whole, the pictures
// before it stay, and the file closes as a complete recording once there is room again.
TEST_F(SegmentTest, APictureThatCannotBeWrittenWholeIsTakenBack) {
    Segment seg;
    ASSERT_TRUE(seg.Open(dir / "f.avi", "f.avi", 0, 352, 288, 3));
    auto p = Picture(2, 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(seg.WriteFrame(p.data(), p.size(), Stamp(i)));
    const uint64_t before = ReadFile(dir / "f.avi").size();

    bool written = false;
    {
        FileSizeLimit full(before + p.size() / 2);  // the next picture breaks off half-way
        written = seg.WriteFrame(p.data(), p.size(), Stamp(3));
    }

    EXPECT_FALSE(written);
    EXPECT_NE(seg.ErrorText().find("f.avi"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "f.avi").size(), before);
    EXPECT_EQ(seg.Frames(), 3u);
    ASSERT_TRUE(seg.WriteFrame(p.data(), p.size(), Stamp(4)));
    ASSERT_TRUE(seg.Close());
    AviFile f = ReadAvi(dir / "f.avi");
    ASSERT_TRUE(f.ok) << f.problem;
    EXPECT_EQ(f.Count("00dc"), 4);
    EXPECT_EQ(f.Count("01tx"), 4);
    EXPECT_EQ(DecodedPictures(dir / "f.avi"), 4);
}

// A segment a crash left unfinished (headers with their first sizes, no index) keeps every picture
// written whole; a torn end is cut off, and ffmpeg then decodes every picture kept. A finished
// file mended again stays as it was; a file with no whole picture is reported as empty, and one
// that is no segment is left alone.
TEST_F(SegmentTest, ACrashedSegmentIsMendedToItsWholePictures) {
    const auto picture = Picture(2, 0);
    std::string videoChunk("00dc\0\0\0\0", 8);
    const uint32_t size = static_cast<uint32_t>(picture.size());
    std::memcpy(videoChunk.data() + 4, &size, 4);
    videoChunk.append(picture.begin(), picture.end());
    if (size % 2)
        videoChunk.push_back('\0');
    const struct {
        const char* what;
        int pictures;
        std::string tail;
        bool close;
        uint32_t kept;
    } cases[] = {
        {"crash between pictures", 5, "", false, 5},
        {"video written, text not", 5, videoChunk, false, 5},
        {"a chunk cut short", 5, videoChunk.substr(0, 300), false, 5},
        {"closed before", 5, "", true, 5},
        {"no picture yet", 0, "", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir / "010526093000.avi";
        std::remove(path.c_str());
        {
            Segment seg;
            ASSERT_TRUE(seg.Open(path, "010526093000.avi", 0, 352, 288, 4));
            for (int i = 0; i < c.pictures; ++i)
                ASSERT_TRUE(seg.WriteFrame(picture.data(), picture.size(), Stamp(i)));
            if (c.close) {
                ASSERT_TRUE(seg.Close());
            }
        }  // otherwise abandoned, as a crash leaves it
        WriteFile(path, ReadFile(path) + c.tail);
        const RepairResult r = RepairSegment(path);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.pictures, c.kept);
        const AviFile f = ReadAvi(path);
        ASSERT_TRUE(f.ok) << f.problem;
        EXPECT_EQ(f.Count("00dc"), static_cast<int>(c.kept));
        EXPECT_EQ(f.Count("01tx"), static_cast<int>(c.kept));
        EXPECT_EQ(f.index.size(), 2 * c.kept);
        EXPECT_EQ(f.main.dwTotalFrames, c.kept);
        if (c.kept) {
            EXPECT_EQ(DecodedPictures(path), static_cast<int>(c.kept));
        }
    }
    WriteFile(dir / "x.avi", "RIFF....not a recording");
    EXPECT_FALSE(RepairSegment(dir / "x.avi").ok);
    EXPECT_EQ(ReadFile(dir / "x.avi"), "RIFF....not a recording");
    double start = 0;
    ASSERT_TRUE(SegmentStartFromName("040526101502.avi", start));
    EXPECT_NEAR(start, 46146 + (10 * 3600 + 15 * 60 + 2) / 86400.0, 1e-9);
    EXPECT_FALSE(SegmentStartFromName("991326101502.avi", start));
}

TEST(VideoCompressor, PicturesTakeTheFixedQuantiserAndNeverOverrunTheirSlot) {
    TVideoCompressor c;
    ASSERT_TRUE(c.Open());
    std::vector<uint8_t> noise(kMaxFrameBytes);
    uint32_t x = 12345;
    for (auto& b : noise)
        b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    std::vector<uint8_t> out(300000);
    size_t size = 0;
    // Noise at the smallest size fits at the quality's own quantiser ...
    ASSERT_TRUE(c.Compress(noise.data(), 176, 144, out.data(), 200008, size));
    EXPECT_EQ(c.LastQuantiser(), TVideoCompressor::kQuantiser);
    // ... at the largest it would not, and a coarser one is taken.
    ASSERT_TRUE(c.Compress(noise.data(), 704, 576, out.data(), 200008, size));
    EXPECT_LE(size, 200008u);
    EXPECT_GT(c.LastQuantiser(), TVideoCompressor::kQuantiser);
    // A picture that fits at no quantiser is refused, not cut.
    out.assign(out.size(), 0xAB);
    EXPECT_FALSE(c.Compress(noise.data(), 704, 576, out.data(), 1000, size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(out[1000], 0xAB);
    EXPECT_NE(c.ErrorText().find("1000 bytes"), std::string::npos) << c.ErrorText();
    EXPECT_FALSE(c.Compress(noise.data(), 351, 288, out.data(), 200008, size)) << "odd width";
    EXPECT_FALSE(c.Compress(noise.data(), 1408, 576, out.data(), 200008, size)) << "too wide";
    EXPECT_TRUE(c.Compress(noise.data(), 352, 288, out.data(), 200008, size)) << "the compressor goes on";
    BitmapInfoHeader f = TVideoCompressor::OutputFormat(352, 288, static_cast<uint32_t>(size));
    EXPECT_EQ(f.biSizeImage, size);
    EXPECT_EQ(f.biPlanes, 1);
    EXPECT_EQ(f.biCompression, kFourCCDiv3);
}

}  // namespace
}  // namespace kel
