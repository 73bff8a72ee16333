#include "viewer/evidence_export.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/sha256.h"

namespace kel {

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A file name the manifest may list: a plain name inside the folder.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
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
    QJsonArray listed;
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
        QJsonObject entry;
        entry["camera"] = c.camera;
        entry["name"] = Q(c.name);
        entry["first"] = Q(MomentText(c.track->Moment(c.from)));
        entry["last"] = Q(MomentText(c.track->Moment(c.to)));
        entry["pictures"] = static_cast<qint64>(r.pictures);
        entry["file"] = Q(file);
        entry["size"] = static_cast<qint64>(size);
        entry["sha256"] = Q(hash);
        listed.append(entry);
    }
    QJsonObject manifest;
    manifest["station"] = Q(info.station);
    manifest["exported_by"] = Q(info.user);
    manifest["exported_at"] = Q(info.exportedAt);
    manifest["from"] = Q(info.from);
    manifest["to"] = Q(info.to);
    manifest["cameras"] = listed;
    QSaveFile save(Q((fs::path(part) / kManifestFile).string()));
    if (!save.open(QIODevice::WriteOnly) || save.write(QJsonDocument(manifest).toJson()) < 0 ||
        !save.commit())
        return fail("nie można zapisać " + std::string(kManifestFile) + ": " +
                    save.errorString().toStdString());
    if (progress && !progress(total, total))
        return fail("przerwano", true);
    fs::rename(part, folder, ec);
    if (ec)
        return fail("nie można nadać nazwy " + folder + ": " + ec.message());
    out.ok = true;
    return out;
}

EvidenceCheck VerifyEvidence(const std::string& folder) {
    EvidenceCheck out;
    QFile file(Q((fs::path(folder) / kManifestFile).string()));
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = "brak pliku " + std::string(kManifestFile) + " w " + folder;
        return out;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(16 * 1024 * 1024), &parse);
    if (doc.isNull() || !doc.isObject() || !doc.object()["cameras"].isArray()) {
        out.error = std::string(kManifestFile) + " jest uszkodzony: " +
                    (doc.isNull() ? parse.errorString().toStdString() : "brak listy kamer");
        return out;
    }
    std::set<std::string> listed{kManifestFile};
    for (const QJsonValue& v : doc.object()["cameras"].toArray()) {
        const QJsonObject e = v.toObject();
        const std::string name = e["file"].toString().toStdString();
        if (!PlainName(name)) {
            out.wrong.push_back("\"" + name + "\": nazwa pliku spoza folderu");
            continue;
        }
        listed.insert(name);
        const std::string path = (fs::path(folder) / name).string();
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            out.wrong.push_back(name + ": brak pliku");
            continue;
        }
        const auto size = fs::file_size(path, ec);
        if (ec || static_cast<qint64>(size) != e["size"].toInteger(-1)) {
            out.wrong.push_back(name + ": inny rozmiar (" + std::to_string(size) + " zamiast " +
                                std::to_string(e["size"].toInteger(-1)) + ")");
            continue;
        }
        if (Sha256File(path) != e["sha256"].toString().toStdString()) {
            out.wrong.push_back(name + ": inna suma SHA-256");
            continue;
        }
        out.good.push_back(name);
    }
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(folder, ec))
        if (!listed.count(f.path().filename().string()))
            out.wrong.push_back(f.path().filename().string() + ": plik spoza manifestu");
    out.whole = out.wrong.empty() && !out.good.empty();
    return out;
}

}  // namespace kel
