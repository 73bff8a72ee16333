#pragma once
// Evidence: a stretch of several cameras handed over so that anyone can check nobody changed it.
// Each camera's pictures are copied into an AVI of their own without being decoded or encoded
// again (ExportStretch), and a manifest, "manifest.json", names the station, each camera's number
// and name and its first and last picture's moment, the stretch, who exported it and when, and
// each file's size and SHA-256, and the fingerprint of the station's signing key
// ("station_key"). The manifest is sealed with that key (platform/station_key.h): "manifest.sig"
// holds the raw 64-byte Ed25519 signature of manifest.json's exact bytes, "station-key.pem" the
// public key that checks it. Everything is written into "<folder>.part" and renamed to the folder
// only when whole: a failed or cancelled export leaves nothing behind.
//
// The viewer's VerifyEvidence (viewer/evidence_check.h) checks the signature and recomputes every
// file's size and hash against the manifest.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/station_key.h"
#include "recording/camera_track.h"
#include "recording/stretch_export.h"

namespace kel {

struct EvidenceCamera {
    int camera = 0;
    std::string name;
    CameraTrack* track = nullptr;
    CameraTrack::Position from, to;  // both included
};

struct EvidenceInfo {
    std::string station;
    std::string user;
    std::string exportedAt;           // "YYYY-MM-DD HH:MM:SS"
    std::string from, to;             // the stretch asked for, as texts of the same form
    const StationKey* key = nullptr;  // signs the manifest; there is no export without it
};

struct EvidenceResult {
    bool ok = false;
    bool cancelled = false;
    size_t pictures = 0;
    std::string error;
};

constexpr const char* kManifestFile = "manifest.json";
constexpr const char* kSignatureFile = "manifest.sig";
constexpr const char* kKeyFile = "station-key.pem";

// The cameras' stretches into the new folder `folder` (which must not exist yet). `progress`
// hears how far it is in thousandths of each camera's part (total: a thousand a camera).
EvidenceResult ExportEvidence(const std::vector<EvidenceCamera>& cameras, const EvidenceInfo& info,
                              const std::string& folder, const ExportProgress& progress = nullptr);

}  // namespace kel
