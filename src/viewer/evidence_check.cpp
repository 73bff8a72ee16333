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

constexpr qint64 kLongestManifest = 16 * 1024 * 1024;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A file name the manifest may list: a plain name inside the folder.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

// The bytes of a file of the folder; false when it is not there or cannot be read.
bool ReadBytes(const std::string& folder, const char* name, QByteArray& bytes) {
    QFile file(Q((fs::path(folder) / name).string()));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.read(kLongestManifest);
    return true;
}

}  // namespace

EvidenceCheck VerifyEvidence(const std::string& folder, const EvidenceTrust& trust) {
    EvidenceCheck out;
    QByteArray manifest;
    if (!ReadBytes(folder, kManifestFile, manifest)) {
        out.error = "brak pliku " + std::string(kManifestFile) + " w " + folder;
        return out;
    }
    // The seal first: the signature over the manifest's exact bytes, by the key beside it.
    std::shared_ptr<const StationKey> key;
    QByteArray pem, signature;
    std::string why;
    if (!ReadBytes(folder, kKeyFile, pem))
        out.wrong.push_back(std::string(kKeyFile) + ": brak klucza publicznego stacji");
    else if (!(key = StationKey::FromPem(pem.toStdString(), why)))
        out.wrong.push_back(std::string(kKeyFile) + ": " + why);
    else
        out.signer = key->FingerprintText();
    if (!ReadBytes(folder, kSignatureFile, signature))
        out.wrong.push_back(std::string(kSignatureFile) + ": brak podpisu");
    else if (key && !key->Verify(manifest.toStdString(), signature.toStdString()))
        out.wrong.push_back(std::string(kManifestFile) + ": podpis się nie zgadza (" + kManifestFile +
                            " zmieniono po podpisaniu albo podpisano innym kluczem)");
    else if (key)
        out.sealed = true;
    if (key && !trust.fingerprint.empty()) {
        out.trusted = key->Fingerprint() == trust.fingerprint;
        if (!out.trusted)
            out.wrong.push_back(std::string(kKeyFile) + ": to nie " + trust.source + " (" +
                                StationKey::GroupFingerprint(trust.fingerprint) + ")");
    }

    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(manifest, &parse);
    if (doc.isNull() || !doc.isObject() || !doc.object()["cameras"].isArray()) {
        const std::string damaged = std::string(kManifestFile) + " jest uszkodzony: " +
                                    (doc.isNull() ? parse.errorString().toStdString() : "brak listy kamer");
        if (out.sealed)
            out.error = damaged;  // signed so: not an export of ours
        else
            out.wrong.push_back(damaged);
        return out;
    }
    if (key && doc.object()["station_key"].toString().toStdString() != key->Fingerprint())
        out.wrong.push_back(std::string(kManifestFile) + ": \"station_key\" nie jest odciskiem klucza z " +
                            kKeyFile);
    std::set<std::string> listed{kManifestFile, kSignatureFile, kKeyFile};
    for (const QJsonValue& v : doc.object()["cameras"].toArray()) {
        const QJsonObject e = v.toObject();
        const std::string name = e["file"].toString().toStdString();
        if (!PlainName(name)) {
            out.wrong.push_back("\"" + name + "\": nazwa pliku spoza folderu");
            continue;
        }
        if (listed.count(name)) {
            out.wrong.push_back(name + ": wymieniony drugi raz");
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
    out.whole =
        out.sealed && (trust.fingerprint.empty() || out.trusted) && out.wrong.empty() && !out.good.empty();
    return out;
}

bool TrustedKey(const std::string& key, const std::string& workDir, EvidenceTrust& trust,
                std::string& error) {
    trust = {};
    std::string why;
    if (!key.empty()) {
        std::error_code ec;
        if (fs::exists(key, ec)) {
            const std::shared_ptr<const StationKey> given = StationKey::FromFile(key, why);
            if (!given) {
                error = "--key: " + why;
                return false;
            }
            trust.fingerprint = given->Fingerprint();
        } else {
            trust.fingerprint = StationKey::ParseFingerprint(key);
            if (trust.fingerprint.empty()) {
                error = "--key: \"" + key +
                        "\" to ani plik klucza publicznego, ani odcisk klucza (64 cyfry szesnastkowe)";
                return false;
            }
        }
        trust.source = "klucz podany w --key";
        return true;
    }
    const std::shared_ptr<const StationKey> own = StationKey::LoadExisting(workDir, why);
    if (!own) {
        if (why.empty())
            return true;  // no station here: nothing to compare with
        error = "klucz tej stacji: " + why;
        return false;
    }
    trust.fingerprint = own->Fingerprint();
    trust.source = "klucz tej stacji";
    return true;
}

}  // namespace kel
