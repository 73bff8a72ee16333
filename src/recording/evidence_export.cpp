#include "recording/evidence_export.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/json_text.h"
#include "platform/safe_file.h"
#include "platform/sha256.h"

namespace kel {

namespace fs = std::filesystem;

namespace {

// One member of an object at `indent` spaces: "name": value.
std::string Member(int indent, const char* name, const std::string& value, bool last = false) {
    return std::string(indent, ' ') + JsonString(name) + ": " + value + (last ? "\n" : ",\n");
}

}  // namespace

EvidenceResult ExportEvidence(const std::vector<EvidenceCamera>& cameras, const EvidenceInfo& info,
                              const std::string& folder, const ExportProgress& progress) {
    EvidenceResult out;
    std::error_code ec;
    if (cameras.empty()) {
        out.error = "nie wybrano kamer";
        return out;
    }
    if (!info.key || !info.key->CanSign()) {
        out.error = "brak klucza podpisu stacji";
        return out;
    }
    if (fs::exists(folder, ec)) {
        out.error = "folder " + folder + " już istnieje";
        return out;
    }
    const std::string part = folder + ".part";
    fs::remove_all(part, ec);
    if (!fs::create_directories(part, ec)) {
        out.error = "nie można utworzyć folderu " + part + ": " + ec.message();
        return out;
    }
    auto fail = [&](const std::string& why, bool cancelled = false) {
        std::error_code ignored;
        fs::remove_all(part, ignored);
        out.ok = false;
        out.cancelled = cancelled;
        out.error = why;
        return out;
    };

    // The progress over all cameras: each camera a thousandth at a time of its equal share.
    constexpr size_t kShare = 1000;
    const size_t total = kShare * cameras.size();
    // Written as the toolkit's JSON writer wrote it before: members by name, four spaces a level.
    std::string listed;
    for (size_t i = 0; i < cameras.size(); ++i) {
        const EvidenceCamera& c = cameras[i];
        const std::string file = "Kamera" + std::to_string(c.camera) + StretchExtension(*c.track, c.from);
        const std::string path = (fs::path(part) / file).string();
        bool cancelled = false;
        const ExportResult r = ExportStretch(*c.track, c.from, c.to, path, [&](size_t done, size_t all) {
            if (progress && !progress(kShare * i + kShare * done / std::max<size_t>(all, 1), total)) {
                cancelled = true;
                return false;
            }
            return true;
        });
        if (cancelled)
            return fail("przerwano", true);
        if (!r.ok)
            return fail("kamera " + std::to_string(c.camera) + ": " + r.error);
        out.pictures += r.pictures;
        const std::string hash = Sha256File(path);
        const auto size = fs::file_size(path, ec);
        if (hash.empty() || ec)
            return fail("nie można odczytać " + path);
        listed += std::string(listed.empty() ? "" : ",\n") + "        {\n" +
                  Member(12, "camera", std::to_string(c.camera)) + Member(12, "file", JsonString(file)) +
                  Member(12, "first", JsonString(MomentText(c.track->Moment(c.from)))) +
                  Member(12, "last", JsonString(MomentText(c.track->Moment(c.to)))) +
                  Member(12, "name", JsonString(c.name)) +
                  Member(12, "pictures", std::to_string(r.pictures)) +
                  Member(12, "sha256", JsonString(hash)) + Member(12, "size", std::to_string(size), true) +
                  "        }";
    }
    const std::string manifest = "{\n" + Member(4, "cameras", "[\n" + listed + "\n    ]") +
                                 Member(4, "exported_at", JsonString(info.exportedAt)) +
                                 Member(4, "exported_by", JsonString(info.user)) +
                                 Member(4, "from", JsonString(info.from)) +
                                 Member(4, "station", JsonString(info.station)) +
                                 Member(4, "station_key", JsonString(info.key->Fingerprint())) +
                                 Member(4, "to", JsonString(info.to), true) + "}\n";
    const std::string signature = info.key->Sign(manifest);
    if (signature.empty())
        return fail("nie można podpisać " + std::string(kManifestFile));
    for (const auto& [name, bytes] : {std::pair<const char*, const std::string&>{kManifestFile, manifest},
                                      {kSignatureFile, signature},
                                      {kKeyFile, info.key->PublicPem()}}) {
        std::string why;
        if (!ReplaceFileAtomically((fs::path(part) / name).string(), bytes.data(), bytes.size(), why))
            return fail("nie można zapisać " + std::string(name) + ": " + why);
    }
    if (progress && !progress(total, total))
        return fail("przerwano", true);
    fs::rename(part, folder, ec);
    if (ec)
        return fail("nie można nadać nazwy " + folder + ": " + ec.message());
    out.ok = true;
    return out;
}

}  // namespace kel
