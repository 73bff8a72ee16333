#include "web/zip_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace kel {

namespace {

namespace fs = std::filesystem;

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct Entry {
    std::string name;
    uint32_t crc = 0, size = 0, offset = 0;
};

// The fields every header repeats: version, flags (UTF-8 names), method 0 (stored), time, date,
// CRC-32 and the sizes.
std::string Common(const Entry& e, uint16_t time, uint16_t date) {
    std::string out;
    Put16(out, 20);
    Put16(out, 1u << 11);
    Put16(out, 0);
    Put16(out, time);
    Put16(out, date);
    Put32(out, e.crc);
    Put32(out, e.size);
    Put32(out, e.size);
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, 0);
    return out;
}

}  // namespace

bool ZipFolder(const std::string& folder, const std::string& zipPath, std::string& error) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& f : fs::directory_iterator(folder, ec))
        if (f.is_regular_file(ec))
            files.push_back(f.path());
    if (ec) {
        error = folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const auto time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    const auto date =
        static_cast<uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    const std::string prefix = fs::path(folder).filename().string() + "/";

    std::ofstream out(zipPath, std::ios::binary | std::ios::trunc);
    auto fail = [&](const std::string& why) {
        out.close();
        std::remove(zipPath.c_str());
        error = why;
        return false;
    };
    std::vector<Entry> entries;
    uint64_t offset = 0;
    std::vector<char> buffer(1 << 20);
    for (const fs::path& path : files) {
        Entry e;
        e.name = prefix + path.filename().string();
        const uint64_t size = fs::file_size(path, ec);
        if (ec || offset + size + 1024 > UINT32_MAX)
            return fail(ec ? path.string() + ": " + ec.message() : "eksport większy niż 4 GB");
        // The CRC first: the local header carries it, and the file is read twice rather than
        // the archive rewritten.
        std::ifstream in(path, std::ios::binary);
        uLong crc = crc32(0, nullptr, 0);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(in.gcount()));
        if (in.bad())
            return fail(path.string() + ": nie można odczytać");
        e.crc = static_cast<uint32_t>(crc);
        e.size = static_cast<uint32_t>(size);
        e.offset = static_cast<uint32_t>(offset);
        std::string head;
        Put32(head, 0x04034b50);
        head += Common(e, time, date) + e.name;
        out.write(head.data(), static_cast<std::streamsize>(head.size()));
        in.clear();
        in.seekg(0);
        uint64_t copied = 0;
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
            out.write(buffer.data(), in.gcount());
            copied += static_cast<uint64_t>(in.gcount());
        }
        if (copied != size)
            return fail(path.string() + ": zmienił się w czasie pakowania");
        offset += head.size() + size;
        entries.push_back(std::move(e));
    }
    std::string directory;
    for (const Entry& e : entries) {
        Put32(directory, 0x02014b50);
        Put16(directory, 20);  // made by
        directory += Common(e, time, date);
        Put16(directory, 0);  // comment length
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, e.offset);
        directory += e.name;
    }
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint32_t>(entries.size()));
    Put16(end, static_cast<uint32_t>(entries.size()));
    Put32(end, static_cast<uint32_t>(directory.size()));
    Put32(end, static_cast<uint32_t>(offset));
    Put16(end, 0);
    out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
    out.write(end.data(), static_cast<std::streamsize>(end.size()));
    out.flush();
    if (!out)
        return fail(zipPath + ": nie można zapisać");
    return true;
}

}  // namespace kel
