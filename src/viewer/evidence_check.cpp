#include "viewer/evidence_check.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
