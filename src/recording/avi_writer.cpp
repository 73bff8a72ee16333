#include "recording/avi_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

#include "platform/file_faults.h"
#include "platform/safe_file.h"

namespace kel {

namespace {

constexpr uint32_t kRiff = FourCC("RIFF");
constexpr uint32_t kList = FourCC("LIST");

class Bytes {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    // A chunk: id, size, data, a pad byte to an even length.
    void Chunk(uint32_t id, const void* p, size_t n) {
        U32(id);
        U32(static_cast<uint32_t>(n));
        Raw(p, n);
        if (n % 2)
            out_.push_back(0);
    }
    // Opens a list; returns where its size goes.
    size_t BeginList(uint32_t type) {
        U32(kList);
        size_t at = out_.size();
        U32(0);
        U32(type);
        return at;
    }
    void EndList(size_t at) { Patch(at, static_cast<uint32_t>(out_.size() - at - 4)); }
    void Patch(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    size_t Size() const { return out_.size(); }
    std::vector<uint8_t>& Data() { return out_; }

private:
    std::vector<uint8_t> out_;
};

uint32_t ChunkId(int stream, const char (&kind)[3]) {
    char id[5] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), kind[0],
                  kind[1], 0};
    return FourCC(id);
}

}  // namespace

AviWriter::~AviWriter() {
    Abandon();
}

void AviWriter::Reset() {
    Abandon();
    streams_.clear();
    commented_ = false;
    comment_.clear();
    index_.clear();
    position_ = movi_type_ = 0;
    error_.clear();
}

int AviWriter::AddStream(const AviStreamHeader& header, std::vector<uint8_t> format, const char (&kind)[3]) {
    Stream s;
    s.header = header;
    s.format = std::move(format);
    s.chunkId = ChunkId(static_cast<int>(streams_.size()), kind);
    streams_.push_back(std::move(s));
    return static_cast<int>(streams_.size()) - 1;
}

bool AviWriter::SetFormat(int stream, const void* data, size_t size) {
    if (stream < 0 || stream >= static_cast<int>(streams_.size()) || streams_[stream].format.size() != size)
        return false;
    std::memcpy(streams_[stream].format.data(), data, size);
    return true;
}

void AviWriter::SetComment(const std::string& text) {
    if (fd_ >= 0 && !commented_)
        return;  // the headers have no room for it
    commented_ = true;
    comment_ = text.substr(0, kCommentBytes - 1);
}

uint32_t AviWriter::Samples(int stream) const {
    return stream >= 0 && stream < static_cast<int>(streams_.size()) ? streams_[stream].samples : 0;
}

bool AviWriter::Fail(const std::string& what) {
    error_ = path_ + ": " + what + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

// Everything from the start of the file to the 'movi' list's type field, for a 'movi' list that
// ends at `moviEnd` and a file that ends at `fileEnd`.
std::vector<uint8_t> AviWriter::Headers(uint64_t moviEnd, uint64_t fileEnd) const {
    Bytes b;
    b.U32(kRiff);
    b.U32(static_cast<uint32_t>(fileEnd - 8));
    b.U32(FourCC("AVI "));
    size_t hdrl = b.BeginList(FourCC("hdrl"));
    AviMainHeader main;
    uint32_t largest = 0;
    for (const Stream& s : streams_)
        largest = std::max(largest, s.largest);
    const AviStreamHeader& first = streams_[0].header;
    if (first.dwRate > 0) {
        main.dwMicroSecPerFrame = static_cast<uint32_t>(1000000ull * first.dwScale / first.dwRate);
        main.dwMaxBytesPerSec = static_cast<uint32_t>(
            std::min<uint64_t>(UINT32_MAX, uint64_t{largest} * first.dwRate / std::max(1u, first.dwScale)));
    }
    main.dwFlags = kAvifHasIndex;
    main.dwTotalFrames = streams_[0].samples;
    main.dwStreams = static_cast<uint32_t>(streams_.size());
    main.dwSuggestedBufferSize = largest ? largest + 8 : 0;
    main.dwWidth = static_cast<uint32_t>(width_);
    main.dwHeight = static_cast<uint32_t>(height_);
    b.Chunk(FourCC("avih"), &main, sizeof main);
    for (const Stream& s : streams_) {
        size_t strl = b.BeginList(FourCC("strl"));
        AviStreamHeader h = s.header;
        h.dwLength = s.samples;
        h.dwSuggestedBufferSize = s.largest;
        b.Chunk(FourCC("strh"), &h, sizeof h);
        b.Chunk(FourCC("strf"), s.format.data(), s.format.size());
        b.EndList(strl);
    }
    if (commented_) {
        size_t info = b.BeginList(FourCC("INFO"));
        std::string text = comment_;
        text.resize(kCommentBytes, '\0');
        b.Chunk(FourCC("ICMT"), text.data(), text.size());
        b.EndList(info);
    }
    b.EndList(hdrl);
    b.U32(kList);
    b.U32(static_cast<uint32_t>(moviEnd - b.Size() - 4));
    b.U32(FourCC("movi"));
    return std::move(b.Data());
}

bool AviWriter::Create(const std::string& path, int width, int height) {
    Abandon();
    path_ = path;
    error_.clear();
    errno = 0;
    if (streams_.empty())
        return Fail("no stream");
    width_ = width;
    height_ = height;
    index_.clear();
    for (Stream& s : streams_)
        s.samples = s.largest = 0;
    fd_ = FileOpen(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return Fail("cannot create");
    position_ = 0;
    // The header's length does not depend on the sizes in it.
    size_t headerBytes = Headers(0, 8).size();
    movi_type_ = headerBytes - 4;
    std::vector<uint8_t> headers = Headers(headerBytes, headerBytes);
    if (!Append(headers.data(), headers.size())) {
        Fail("cannot write the headers");
        Abandon();
        FileRemove(path.c_str());
        return false;
    }
    return true;
}

bool AviWriter::Append(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    while (left > 0) {
        ssize_t n = FileWrite(fd_, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    position_ += size;
    return true;
}

bool AviWriter::WriteAt(uint64_t offset, const void* data, size_t size) {
    return WriteAllAt(fd_, data, size, offset);
}

bool AviWriter::Write(int stream, const void* data, size_t size, bool keyFrame) {
    errno = 0;
    if (fd_ < 0)
        return Fail("not open");
    if (stream < 0 || stream >= static_cast<int>(streams_.size()))
        return Fail("no such stream");
    // The chunk, its pad and its index entry must all still fit.
    uint64_t grows = 8 + size + (size % 2) + sizeof(AviIndexEntry) * (index_.size() + 1) + 8;
    if (position_ + grows > kMaxFileBytes)
        return Fail("file too large");
    Stream& s = streams_[stream];
    uint32_t head[2] = {s.chunkId, static_cast<uint32_t>(size)};
    Mark mark = Here();
    const uint8_t pad = 0;
    if (!Append(head, sizeof head) || !Append(data, size) || (size % 2 && !Append(&pad, 1))) {
        Fail("cannot write a sample");
        RollBack(mark);
        return false;
    }
    AviIndexEntry e;
    e.ckid = s.chunkId;
    e.dwFlags = keyFrame ? kAviifKeyframe : 0;
    e.dwChunkOffset = static_cast<uint32_t>(mark.position - movi_type_);
    e.dwChunkLength = static_cast<uint32_t>(size);
    index_.push_back(e);
    ++s.samples;
    s.largest = std::max(s.largest, static_cast<uint32_t>(size));
    return true;
}

AviWriter::Mark AviWriter::Here() const {
    Mark m;
    m.position = position_;
    m.entries = index_.size();
    for (const Stream& s : streams_)
        m.samples.push_back(s.samples);
    return m;
}

bool AviWriter::RollBack(const Mark& mark) {
    if (fd_ < 0)
        return false;
    index_.resize(std::min(index_.size(), mark.entries));
    for (size_t i = 0; i < streams_.size() && i < mark.samples.size(); ++i)
        streams_[i].samples = mark.samples[i];
    // A short write may have moved the file's end and its offset anywhere past the mark.
    if (FileTruncate(fd_, static_cast<off_t>(mark.position)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(mark.position), SEEK_SET) < 0) {
        Fail("cannot cut back");
        Abandon();
        return false;
    }
    position_ = mark.position;
    return true;
}

bool AviWriter::Close() {
    if (fd_ < 0)
        return Fail("not open");
    errno = 0;
    uint64_t moviEnd = position_;
    Bytes idx;
    idx.U32(FourCC("idx1"));
    idx.U32(static_cast<uint32_t>(index_.size() * sizeof(AviIndexEntry)));
    idx.Raw(index_.data(), index_.size() * sizeof(AviIndexEntry));
    bool ok = Append(idx.Data().data(), idx.Size());
    if (ok) {
        std::vector<uint8_t> headers = Headers(moviEnd, position_);
        ok = WriteAt(0, headers.data(), headers.size());
    }
    if (ok)
        ok = FileSync(fd_) == 0;
    if (!ok)
        Fail("cannot finish the file");
    if (::close(fd_) != 0 && ok) {
        Fail("cannot close");
        ok = false;
    }
    fd_ = -1;
    return ok;
}

void AviWriter::Abandon() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace kel
