#include "recording/archive_catalog.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "config/config.h"
#include "config/records.h"
#include "config/registry_values.h"
#include "platform/cp1250.h"
#include "platform/registry_store.h"
#include "recording/video_index.h"

namespace kel {

namespace fs = std::filesystem;

ArchiveCatalog::ArchiveCatalog(std::string workDir) : work_dir_(std::move(workDir)), map_(work_dir_) {}

int64_t ArchiveCatalog::DaysToMs(double days) {
    return std::llround(days * static_cast<double>(kMsPerDay));
}

ArchiveCatalog::FileMark ArchiveCatalog::MarkOf(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<int64_t>(st.st_size),
            int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec};
}

bool ArchiveCatalog::Changed() const {
    const FileMark i = MarkOf((fs::path(work_dir_) / VideoIndex::kFile).string());
    const FileMark c = MarkOf((fs::path(work_dir_) / VideoIndex::kCopy).string());
    return i.size != index_mark_.size || i.mtimeNs != index_mark_.mtimeNs || c.size != copy_mark_.size ||
           c.mtimeNs != copy_mark_.mtimeNs;
}

bool ArchiveCatalog::Load() {
    const std::string file = (fs::path(work_dir_) / VideoIndex::kFile).string();
    const std::string copy = (fs::path(work_dir_) / VideoIndex::kCopy).string();
    index_mark_ = MarkOf(file);
    copy_mark_ = MarkOf(copy);
    for (auto& c : cameras_)
        c.clear();
    error_.clear();
    VideoIndex index;
    const VideoIndex::Loaded loaded = index.LoadBest(file, copy);
    if (loaded.from != VideoIndex::Source::Neither && (loaded.dropped == 0 || index.Size() > 0)) {
        // What was plausible of the one taken; an empty index is no damage (a reset, the rotation).
        source_ = loaded.from == VideoIndex::Source::Copy ? Source::Copy : Source::Index;
    } else {
        source_ = Source::None;
        if (index_mark_.size < 0 && copy_mark_.size < 0)
            return true;  // nothing archived yet
        error_ = "Indeks nagran i jego kopia sa uszkodzone";
        return false;
    }
    for (const TVideoIndexEntry& e : index.Entries()) {
        if (!Allowed(e.Camera))
            continue;
        CatalogEntry c;
        c.camera = e.Camera;
        c.dosPath = e.FileName.Get();
        c.path = map_.Resolve(c.dosPath);
        c.startMs = DaysToMs(e.StartTime);
        c.motion = e.MotionCount;
        cameras_[c.camera - 1].push_back(std::move(c));
    }
    for (auto& c : cameras_)
        std::stable_sort(c.begin(), c.end(),
                         [](const CatalogEntry& a, const CatalogEntry& b) { return a.startMs < b.startMs; });
    return true;
}

bool ArchiveCatalog::LoadNames(const std::string& file) {
    names_ = {};
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec))
        return false;
    RegistryStore store;
    RegValue v;
    if (!store.Open(file))
        return false;
    station_.clear();
    if (store.ReadValue(TConfig::kKey, "TCPServerName", v))
        ReadText(&v, station_, 128);
    if (!store.ReadValue(TConfig::kKey, "Cameras", v))
        return false;
    const size_t count = std::min<size_t>(kCameras, v.data.size() / sizeof(TCameraRecord));
    for (size_t i = 0; i < count; ++i) {
        TCameraRecord r;
        std::memcpy(&r, v.data.data() + i * sizeof r, sizeof r);
        names_[i] = r.Name.Get();
    }
    return count > 0;
}

std::string ArchiveCatalog::Name(int camera) const {
    if (camera < 1 || camera > kCameras)
        return {};
    const std::string& n = names_[camera - 1];
    return n.empty() ? "Kamera " + std::to_string(camera) : n;
}

const std::vector<CatalogEntry>& ArchiveCatalog::Entries(int camera) const {
    static const std::vector<CatalogEntry> kNone;
    return camera >= 1 && camera <= kCameras ? cameras_[camera - 1] : kNone;
}

bool ArchiveCatalog::HasWithin(int camera, int64_t fromMs, int64_t toMs) const {
    const auto& e = Entries(camera);
    auto it = std::lower_bound(e.begin(), e.end(), fromMs,
                               [](const CatalogEntry& c, int64_t t) { return c.startMs < t; });
    return it != e.end() && it->startMs < toMs;
}

std::vector<int64_t> ArchiveCatalog::Days() const {
    std::set<int64_t> days;
    for (const auto& c : cameras_)
        for (const auto& e : c)
            days.insert(e.startMs / kMsPerDay);
    return {days.begin(), days.end()};
}

}  // namespace kel
