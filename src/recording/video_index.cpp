#include "recording/video_index.h"

#include <cstdio>
#include <sys/stat.h>

#include "platform/safe_file.h"

namespace kel {

bool VideoIndex::Load(const std::string& path, int32_t count) {
    entries_.clear();
    if (count <= 0)
        return true;
    const uint64_t want = uint64_t{sizeof(TVideoIndexEntry)} * static_cast<uint32_t>(count);
    // The size first: a damaged count must not size the array beyond what the file holds.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) < want)
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    entries_.resize(static_cast<size_t>(count));
    bool ok = std::fread(entries_.data(), sizeof(TVideoIndexEntry), entries_.size(), f) == entries_.size();
    std::fclose(f);
    if (!ok)
        entries_.clear();
    return ok;
}

bool VideoIndex::Save(const std::string& path, std::string& error) const {
    return ReplaceFileAtomically(path, entries_.data(), entries_.size() * sizeof(TVideoIndexEntry), error);
}

void VideoIndex::Remove(size_t i) {
    if (i < entries_.size())
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace kel
