#include "recording/video_index.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

#include "platform/safe_file.h"
#include "recording/segment_repair.h"

namespace kel {

bool VideoIndex::LoadChecked(const std::string& path) {
    entries_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_size % sizeof(TVideoIndexEntry) != 0)
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    entries_.resize(static_cast<size_t>(st.st_size) / sizeof(TVideoIndexEntry));
    bool ok = std::fread(entries_.data(), sizeof(TVideoIndexEntry), entries_.size(), f) == entries_.size();
    std::fclose(f);
    ok = ok && std::all_of(entries_.begin(), entries_.end(), Plausible);
    if (!ok)
        entries_.clear();
    return ok;
}

bool VideoIndex::LoadPlausible(const std::string& path, size_t& dropped) {
    dropped = 0;
    entries_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_size % sizeof(TVideoIndexEntry) != 0)
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    entries_.resize(static_cast<size_t>(st.st_size) / sizeof(TVideoIndexEntry));
    const bool read =
        std::fread(entries_.data(), sizeof(TVideoIndexEntry), entries_.size(), f) == entries_.size();
    std::fclose(f);
    if (!read) {
        entries_.clear();
        return false;
    }
    dropped = std::erase_if(entries_, [](const TVideoIndexEntry& e) { return !Plausible(e); });
    return true;
}

VideoIndex::Loaded VideoIndex::LoadBest(const std::string& indexPath, const std::string& copyPath) {
    VideoIndex copy;
    size_t indexDropped = 0, copyDropped = 0;
    const bool indexRead = LoadPlausible(indexPath, indexDropped);
    const bool copyRead = copy.LoadPlausible(copyPath, copyDropped);
    if (copyRead && (!indexRead || copy.Size() > Size())) {
        entries_ = std::move(copy.entries_);
        return {Source::Copy, copyDropped};
    }
    if (indexRead)
        return {Source::Index, indexDropped};
    return {};
}

bool VideoIndex::StartFitsName(double startTime, const std::string& name) {
    double named = 0;
    constexpr double kMinute = 1.0 / (24 * 60);
    return std::isfinite(startTime) && SegmentStartFromName(name, named) &&
           std::fabs(startTime - named) < kMinute;
}

std::string VideoIndex::ArchivePath(char letter, int camera, const std::string& name) {
    return std::string{letter} + ":\\KEL2_Videos\\Kamera" + std::to_string(camera) + "\\" + name;
}

bool VideoIndex::Plausible(const TVideoIndexEntry& e) {
    if (e.Camera < 1 || e.Camera > 16 || !std::isfinite(e.StartTime) || e.StartTime <= 0 || e.MotionCount < 0)
        return false;
    const std::string path = e.FileName.Get();
    const char letter = path.empty() ? 0 : path[0];
    if (letter < 'A' || letter > 'Z')
        return false;
    const std::string folder = ArchivePath(letter, e.Camera, "");
    return path.size() == folder.size() + 16 && path.compare(0, folder.size(), folder) == 0 &&
           (path.compare(path.size() - 4, 4, ".avi") == 0 || path.compare(path.size() - 4, 4, ".mp4") == 0) &&
           StartFitsName(e.StartTime, path.substr(folder.size()));
}

void VideoIndex::SortByStart() {
    std::stable_sort(
        entries_.begin(), entries_.end(),
        [](const TVideoIndexEntry& a, const TVideoIndexEntry& b) { return a.StartTime < b.StartTime; });
}

bool VideoIndex::Save(const std::string& path, std::string& error) const {
    return ReplaceFileAtomically(path, entries_.data(), entries_.size() * sizeof(TVideoIndexEntry), error);
}

void VideoIndex::Remove(size_t i) {
    if (i < entries_.size())
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace kel
