#pragma once
// Reads back what the recorder wrote: an AVI 1.0 file walked chunk by chunk, every size checked
// against the bytes that are really there, and the tools' view of it (ffprobe, ffmpeg).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "recording/avi_format.h"
#include "support/temp_dir.h"

namespace kel {

struct AviChunk {
    std::string id;
    uint64_t offset = 0;  // of the chunk's header
    std::vector<uint8_t> data;
};

struct AviFile {
    bool ok = false;
    std::string problem;  // what did not add up
    uint32_t riffSize = 0;
    uint64_t fileSize = 0;
    AviMainHeader main;
    std::vector<AviStreamHeader> streams;
    std::vector<std::vector<uint8_t>> formats;
    uint64_t moviType = 0;  // offset of "movi"
    std::vector<AviChunk> samples;
    std::string comment;  // 'ICMT', up to its first zero
    std::vector<AviIndexEntry> index;

    int Count(const std::string& id) const {
        int n = 0;
        for (const auto& c : samples)
            n += c.id == id;
        return n;
    }
};

namespace avi_detail {

inline uint32_t U32(const std::string& b, uint64_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// Walks the chunks of [from, to); lists are entered. False with `why` when a size runs past its
// parent or an odd chunk has no pad byte.
inline bool Walk(const std::string& b, uint64_t from, uint64_t to, AviFile& out, std::string& why) {
    uint64_t at = from;
    while (at < to) {
        if (at + 8 > to) {
            why = "a chunk header runs past its list at " + std::to_string(at);
            return false;
        }
        std::string id = b.substr(at, 4);
        uint32_t size = U32(b, at + 4);
        uint64_t end = at + 8 + size + (size % 2);
        if (end > to) {
            why = id + " at " + std::to_string(at) + " runs past its list";
            return false;
        }
        if (id == "LIST") {
            std::string type = b.substr(at + 8, 4);
            if (type == "movi")
                out.moviType = at + 8;
            if (!Walk(b, at + 12, at + 8 + size, out, why))
                return false;
        } else if (id == "avih") {
            std::memcpy(&out.main, b.data() + at + 8, sizeof out.main);
        } else if (id == "strh") {
            AviStreamHeader h;
            std::memcpy(&h, b.data() + at + 8, sizeof h);
            out.streams.push_back(h);
        } else if (id == "strf") {
            out.formats.emplace_back(b.begin() + at + 8, b.begin() + at + 8 + size);
        } else if (id == "ICMT") {
            out.comment = std::string(b.c_str() + at + 8, strnlen(b.c_str() + at + 8, size));
        } else if (id == "idx1") {
            out.index.resize(size / sizeof(AviIndexEntry));
            if (!out.index.empty())  // an empty index: no bytes to copy, and no array to copy into
                std::memcpy(out.index.data(), b.data() + at + 8, out.index.size() * sizeof(AviIndexEntry));
        } else {
            out.samples.push_back(
                {id, at, std::vector<uint8_t>(b.begin() + at + 8, b.begin() + at + 8 + size)});
        }
        if (size % 2 && b[at + 8 + size] != 0) {
            why = id + " at " + std::to_string(at) + ": pad byte not zero";
            return false;
        }
        at = end;
    }
    return true;
}

}  // namespace avi_detail

inline AviFile ReadAvi(const std::string& path) {
    AviFile out;
    std::string b = ReadFile(path);
    out.fileSize = b.size();
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "AVI ") != 0) {
        out.problem = "not RIFF AVI";
        return out;
    }
    out.riffSize = avi_detail::U32(b, 4);
    if (uint64_t{out.riffSize} + 8 != b.size()) {
        out.problem =
            "RIFF size " + std::to_string(out.riffSize) + " for a file of " + std::to_string(b.size());
        return out;
    }
    out.ok = avi_detail::Walk(b, 12, b.size(), out, out.problem);
    return out;
}

// Runs a shell command and returns its standard output.
inline std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// "codec_type,codec_tag_string" of every stream, one a line, as ffprobe lists them.
inline std::string ProbeStreams(const std::string& path) {
    return Shell("ffprobe -v error -show_entries stream=codec_type,codec_tag_string -of csv=p=0 '" + path +
                 "' 2>/dev/null");
}

// Pictures of the video stream that ffmpeg decodes; -1 when it reports a decoding error.
inline int DecodedPictures(const std::string& path) {
    std::string out = Shell("ffmpeg -nostdin -v error -xerror -i '" + path +
                            "' -map 0:v -f framecrc - 2>&1; echo \"rc=$?\"");
    if (out.find("rc=0") == std::string::npos)
        return -1;
    int pictures = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        pictures += line.rfind("0,", 0) == 0;
    return pictures;
}

}  // namespace kel
