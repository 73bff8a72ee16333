#include "viewer/archive_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_faults.h"
#include "recording/avi_format.h"
#include "recording/segment.h"

namespace kel {

namespace {

std::string PartOf(const std::string& path) {
    return path + ".part";
}

bool PlaceFile(const std::string& part, const std::string& path, std::string& error) {
    if (FileRename(part.c_str(), path.c_str(), 0) != 0) {
        error = path + ": " + std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

}  // namespace

ExportResult ExportStretch(CameraTrack& track, CameraTrack::Position from, CameraTrack::Position to,
                           const std::string& path, const ExportProgress& progress) {
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
    if (!PlaceFile(part, path, r.error)) {
        r.pictures = 0;
        return r;
    }
    r.ok = true;
    return r;
}

bool ExportPicture(const QImage& image, const std::string& path, std::string& error) {
    if (image.isNull()) {
        error = "Brak obrazu do zapisania";
        return false;
    }
    const std::string part = PartOf(path);
    if (!image.save(QString::fromStdString(part), "PNG")) {
        std::remove(part.c_str());
        error = path + ": nie mozna zapisac";
        return false;
    }
    return PlaceFile(part, path, error);
}

}  // namespace kel
