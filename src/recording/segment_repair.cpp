#include "recording/segment_repair.h"

#include "recording/stream_segment.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/file_faults.h"
#include "platform/safe_file.h"
#include "recording/avi_format.h"
#include "recording/time_stamps.h"

namespace kel {

namespace {

constexpr uint32_t kRiff = FourCC("RIFF");
constexpr uint32_t kList = FourCC("LIST");
constexpr int kMaxStreams = 10;

class File {
public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0)
            size_ = static_cast<uint64_t>(st.st_size);
    }
    ~File() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open() const { return fd_ >= 0; }
    uint64_t Size() const { return size_; }
    bool Read(uint64_t at, void* out, size_t n) const {
        return at + n <= size_ && ReadAllAt(fd_, out, n, at);
    }
    bool U32(uint64_t at, uint32_t& v) const { return Read(at, &v, 4); }
    bool Write(uint64_t at, const void* data, size_t n) { return WriteAllAt(fd_, data, n, at); }
    bool PutU32(uint64_t at, uint32_t v) { return Write(at, &v, 4); }
    bool Truncate(uint64_t size) { return FileTruncate(fd_, static_cast<off_t>(size)) == 0; }
    bool Sync() { return FileSync(fd_) == 0; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

struct Layout {
    uint64_t avih = 0;           // the main header's data
    std::vector<uint64_t> strh;  // each stream header's data
    uint64_t moviType = 0;       // the 'movi' list's type field, the index's origin
};

// The headers as the writer lays them out: RIFF 'AVI ', LIST 'hdrl' with 'avih' and one LIST
// 'strl' ('strh', 'strf') per stream, then LIST 'movi'.
bool ReadLayout(const File& f, Layout& out, std::string& error) {
    uint32_t riff = 0, avi = 0, list = 0, hdrlSize = 0, hdrl = 0;
    if (!f.U32(0, riff) || !f.U32(8, avi) || riff != kRiff || avi != FourCC("AVI ")) {
        error = "to nie jest plik AVI";
        return false;
    }
    if (!f.U32(12, list) || !f.U32(16, hdrlSize) || !f.U32(20, hdrl) || list != kList ||
        hdrl != FourCC("hdrl")) {
        error = "brak naglowka";
        return false;
    }
    const uint64_t hdrlEnd = 20 + uint64_t{hdrlSize};
    for (uint64_t at = 24; at + 8 <= hdrlEnd;) {
        uint32_t id = 0, size = 0, type = 0;
        if (!f.U32(at, id) || !f.U32(at + 4, size))
            break;
        if (id == FourCC("avih") && size >= sizeof(AviMainHeader)) {
            out.avih = at + 8;
        } else if (id == kList && f.U32(at + 8, type) && type == FourCC("strl")) {
            uint32_t inner = 0, innerSize = 0;
            if (f.U32(at + 12, inner) && f.U32(at + 16, innerSize) && inner == FourCC("strh") &&
                innerSize >= sizeof(AviStreamHeader))
                out.strh.push_back(at + 20);
        }
        at += 8 + PaddedSize(size);
    }
    uint32_t movi = 0;
    if (out.avih == 0 || out.strh.empty() || out.strh.size() > kMaxStreams || !f.U32(hdrlEnd, list) ||
        !f.U32(hdrlEnd + 8, movi) || list != kList || movi != FourCC("movi")) {
        error = "uszkodzony naglowek";
        return false;
    }
    out.moviType = hdrlEnd + 8;
    return true;
}

// A crash while the writer put down the headers leaves a file that ends before the first chunk
// could begin: nothing at all, or the start of "RIFF", "AVI " and the 'hdrl' list, whose stated
// size places the 'movi' list beyond the file's end.
bool EndsInItsHeaders(const File& f) {
    static constexpr char kStart[] = "RIFF????AVI LIST";
    const size_t present = static_cast<size_t>(std::min<uint64_t>(f.Size(), 16));
    char head[16] = {};
    if (present > 0 && !f.Read(0, head, present))
        return false;
    for (size_t i = 0; i < present; ++i)
        if (kStart[i] != '?' && head[i] != kStart[i])
            return false;
    uint32_t hdrlSize = 0;
    if (!f.U32(16, hdrlSize))
        return true;
    return hdrlSize < (1u << 16) && f.Size() < 20 + uint64_t{hdrlSize} + 12;
}

}  // namespace

RepairResult RepairSegment(const std::string& path) {
    if (IsStreamSegment(path))
        return MendStreamSegment(path);
    RepairResult r;
    File f(path);
    if (!f.Open()) {
        r.error = std::string("nie mozna otworzyc: ") + std::strerror(errno);
        return r;
    }
    Layout layout;
    if (!ReadLayout(f, layout, r.error)) {
        if (EndsInItsHeaders(f)) {
            r.error.clear();
            r.ok = true;  // not one picture
        }
        return r;
    }
    const int streams = static_cast<int>(layout.strh.size());

    // The chunks present, up to the index, a torn chunk or anything that is no chunk of a stream.
    std::vector<AviIndexEntry> chunks;
    std::vector<int> owner;
    uint64_t at = layout.moviType + 4;
    while (at + 8 <= f.Size()) {
        uint32_t id = 0, size = 0;
        if (!f.U32(at, id) || !f.U32(at + 4, size) || id == FourCC("idx1"))
            break;
        const int stream = StreamOfChunk(id);
        if (stream < 0 || stream >= streams || at + 8 + PaddedSize(size) > f.Size())
            break;
        chunks.push_back({id, kAviifKeyframe, static_cast<uint32_t>(at - layout.moviType), size});
        owner.push_back(stream);
        at += 8 + PaddedSize(size);
    }
    // A picture is whole once every stream has its chunk: keep up to the last such point.
    std::vector<uint32_t> samples(streams, 0), kept(streams, 0);
    size_t keep = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        ++samples[owner[i]];
        if (std::all_of(samples.begin(), samples.end(), [&](uint32_t n) { return n == samples[0]; })) {
            keep = i + 1;
            kept = samples;
        }
    }
    r.cut = static_cast<uint32_t>(chunks.size() - keep);
    chunks.resize(keep);
    r.pictures = kept[0];

    const uint64_t moviEnd =
        keep ? layout.moviType + chunks.back().dwChunkOffset + 8 + PaddedSize(chunks.back().dwChunkLength)
             : layout.moviType + 4;
    std::vector<uint32_t> largest(streams, 0);
    for (size_t i = 0; i < chunks.size(); ++i)
        largest[owner[i]] = std::max(largest[owner[i]], chunks[i].dwChunkLength);
    const uint32_t largestAll = *std::max_element(largest.begin(), largest.end());

    std::vector<uint8_t> idx(8 + chunks.size() * sizeof(AviIndexEntry));
    const uint32_t idxHead[2] = {FourCC("idx1"),
                                 static_cast<uint32_t>(chunks.size() * sizeof(AviIndexEntry))};
    std::memcpy(idx.data(), idxHead, sizeof idxHead);
    if (!chunks.empty())
        std::memcpy(idx.data() + 8, chunks.data(), chunks.size() * sizeof(AviIndexEntry));
    const uint64_t fileEnd = moviEnd + idx.size();

    uint32_t flags = 0;
    bool ok = f.Truncate(moviEnd) && f.Write(moviEnd, idx.data(), idx.size()) &&
              f.PutU32(4, static_cast<uint32_t>(fileEnd - 8)) &&
              f.PutU32(layout.moviType - 4, static_cast<uint32_t>(moviEnd - layout.moviType)) &&
              f.U32(layout.avih + offsetof(AviMainHeader, dwFlags), flags) &&
              f.PutU32(layout.avih + offsetof(AviMainHeader, dwFlags), flags | kAvifHasIndex) &&
              f.PutU32(layout.avih + offsetof(AviMainHeader, dwTotalFrames), kept[0]) &&
              f.PutU32(layout.avih + offsetof(AviMainHeader, dwSuggestedBufferSize),
                       largestAll ? largestAll + 8 : 0);
    for (int s = 0; ok && s < streams; ++s)
        ok = f.PutU32(layout.strh[s] + offsetof(AviStreamHeader, dwLength), kept[s]) &&
             f.PutU32(layout.strh[s] + offsetof(AviStreamHeader, dwSuggestedBufferSize), largest[s]);
    ok = ok && f.Sync();
    if (!ok) {
        r.error = std::string("nie mozna zapisac: ") + std::strerror(errno);
        return r;
    }
    r.ok = true;
    return r;
}

bool SegmentStartFromName(const std::string& name, double& startTime) {
    if (name.size() < 12)
        return false;
    int v[6];
    for (int i = 0; i < 6; ++i) {
        const char a = name[2 * i], b = name[2 * i + 1];
        if (a < '0' || a > '9' || b < '0' || b > '9')
            return false;
        v[i] = (a - '0') * 10 + (b - '0');
    }
    if (v[0] < 1 || v[0] > 31 || v[1] < 1 || v[1] > 12 || v[3] > 23 || v[4] > 59 || v[5] > 59)
        return false;
    LocalTime t;
    t.day = v[0];
    t.month = v[1];
    t.year = 2000 + v[2];
    t.hour = v[3];
    t.minute = v[4];
    t.second = v[5];
    startTime = DateTimeValue(t);
    return true;
}

}  // namespace kel
