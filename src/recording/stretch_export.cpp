#include "recording/stretch_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_faults.h"
#include "recording/avi_format.h"
#include "recording/segment.h"
#include "recording/stream_segment.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace kel {

namespace {

std::string PartOf(const std::string& path) {
    return path + ".part";
}

// A stretch of stream segments: the packets of the first one's stream, copied as they are.
ExportResult ExportStream(CameraTrack& track, CameraTrack::Position from, CameraTrack::Position to,
                          const std::string& path, const ExportProgress& progress) {
    ExportResult r;
    SegmentReader* first = track.Reader(from.segment);
    const StreamPictures* stream = first ? first->Stream() : nullptr;
    if (!stream) {
        r.error = "Brak nagrania do zapisania";
        return r;
    }
    from.picture = first->KeyBefore(from.picture);
    size_t total = 0;
    for (auto p = from; p.Valid(); p = track.Next(p)) {
        ++total;
        if (p == to)
            break;
    }
    const std::string part = PartOf(path);
    std::remove(part.c_str());
    StreamSegment out;
    SegmentNote note;
    note.startTime = static_cast<double>(track.Moment(from)) / kMsPerDay;
    AVCodecParameters* params = avcodec_parameters_alloc();
    if (!params || avcodec_parameters_copy(params, stream->params) < 0) {
        avcodec_parameters_free(&params);
        r.error = "brak pamieci";
        return r;
    }
    const int tbNum = stream->timeBaseNum, tbDen = stream->timeBaseDen;
    auto fail = [&](const std::string& why) {
        out.Close();
        std::remove(part.c_str());
        avcodec_parameters_free(&params);
        r.error = why;
        r.pictures = 0;
        return r;
    };
    if (!out.Open(part, params, tbNum, tbDen, note))
        return fail(out.ErrorText());
    std::vector<uint8_t> bytes;
    std::string stamp;
    AVPacket* packet = av_packet_alloc();
    // Each segment's stamps start where its camera's clock stood; after the first they go on from
    // the last one written, so that they only grow.
    int64_t shift = 0, last = AV_NOPTS_VALUE;
    int segment = -1;
    size_t done = 0;
    bool waitKey = false;
    for (auto p = from; p.Valid() && packet; p = track.Next(p)) {
        SegmentReader* reader = track.Reader(p.segment);
        const StreamPictures* s = reader ? reader->Stream() : nullptr;
        if (!s || !SameStream(s->params, params) || s->timeBaseNum != tbNum || s->timeBaseDen != tbDen) {
            ++r.skipped;
            waitKey = true;  // after pictures left out, the next ones decode from a key picture
        } else if (waitKey && !s->times[p.picture].key) {
            ++r.skipped;
        } else {
            waitKey = false;
            if (!track.Read(p, bytes, stamp)) {
                av_packet_free(&packet);
                return fail(track.ErrorText());
            }
            const StreamPictures::Times& t = s->times[p.picture];
            if (p.segment != segment) {
                segment = p.segment;
                shift = last == AV_NOPTS_VALUE || t.dts == AV_NOPTS_VALUE ? 0 : last + 1 - t.dts;
            }
            av_packet_unref(packet);
            packet->data = bytes.data();
            packet->size = static_cast<int>(bytes.size());
            packet->pts = t.pts == AV_NOPTS_VALUE ? t.pts : t.pts + shift;
            packet->dts = t.dts == AV_NOPTS_VALUE ? t.dts : t.dts + shift;
            packet->duration = t.duration;
            packet->flags = t.key ? AV_PKT_FLAG_KEY : 0;
            if (packet->dts != AV_NOPTS_VALUE)
                last = packet->dts;
            const bool written = out.Write(packet, stamp);
            packet->data = nullptr;
            packet->size = 0;
            if (!written) {
                av_packet_free(&packet);
                return fail(out.ErrorText());
            }
            ++r.pictures;
        }
        ++done;
        if (progress && (done % 25 == 0 || done == total) && !progress(done, total)) {
            av_packet_free(&packet);
            return fail("Przerwano");
        }
        if (p == to)
            break;
    }
    av_packet_free(&packet);
    if (!out.Close())
        return fail(out.ErrorText());
    avcodec_parameters_free(&params);
    if (!PlaceExported(part, path, r.error)) {
        r.pictures = 0;
        return r;
    }
    r.ok = true;
    return r;
}

}  // namespace

bool StretchIsStream(CameraTrack& track, CameraTrack::Position from) {
    SegmentReader* reader = from.Valid() ? track.Reader(from.segment) : nullptr;
    return reader && reader->Stream();
}

const char* StretchExtension(CameraTrack& track, CameraTrack::Position from) {
    return StretchIsStream(track, from) ? ".mp4" : ".avi";
}

ExportResult ExportStretch(CameraTrack& track, CameraTrack::Position from, CameraTrack::Position to,
                           const std::string& path, const ExportProgress& progress) {
    if (StretchIsStream(track, from))
        return ExportStream(track, from, to, path, progress);
    ExportResult r;
    size_t total = 0;
    for (auto p = from; p.Valid(); p = track.Next(p)) {
        ++total;
        if (p == to)
            break;
    }
    SegmentReader* first = track.Reader(from.segment);
    if (total == 0 || !first) {
        r.error = "Brak nagrania do zapisania";
        return r;
    }
    if (first->Compression() != kFourCCDiv3) {
        r.error = "Nieobslugiwany format nagrania";
        return r;
    }
    const int width = first->Width(), height = first->Height();
    const std::string part = PartOf(path);
    std::remove(part.c_str());  // what a crashed export left
    Segment out;
    const double startDays = static_cast<double>(track.Moment(from)) / kMsPerDay;
    const std::string name = std::filesystem::path(path).filename().string();
    if (!out.Open(part, name, startDays, width, height, static_cast<int>(std::lround(first->Rate())))) {
        r.error = out.ErrorText();
        return r;
    }
    std::vector<uint8_t> bytes;
    std::string stamp;
    size_t done = 0;
    auto fail = [&](const std::string& why) {
        out.Close();
        std::remove(part.c_str());
        r.error = why;
        r.pictures = 0;
        return r;
    };
    for (auto p = from; p.Valid(); p = track.Next(p)) {
        SegmentReader* reader = track.Reader(p.segment);
        if (reader && (reader->Width() != width || reader->Height() != height ||
                       reader->Compression() != kFourCCDiv3)) {
            ++r.skipped;
        } else {
            if (!track.Read(p, bytes, stamp))
                return fail(track.ErrorText());
            if (!out.WriteFrame(bytes.data(), bytes.size(), stamp))
                return fail(out.ErrorText());
            ++r.pictures;
        }
        ++done;
        if (progress && (done % 25 == 0 || done == total) && !progress(done, total))
            return fail("Przerwano");
        if (p == to)
            break;
    }
    if (!out.Close())
        return fail(out.ErrorText());
    if (!PlaceExported(part, path, r.error)) {
        r.pictures = 0;
        return r;
    }
    r.ok = true;
    return r;
}

bool PlaceExported(const std::string& part, const std::string& path, std::string& error) {
    if (FileRename(part.c_str(), path.c_str(), 0) != 0) {
        error = path + ": " + std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

}  // namespace kel
