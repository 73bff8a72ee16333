#pragma once
// Checks an evidence export (recording/evidence_export.h): manifest.json is signed, by
// manifest.sig, with the key in station-key.pem, which is the key the manifest names; every file
// the manifest lists is there, of its size and SHA-256, and nothing else is.
//
// The folder alone cannot tell a station's key from one a forger made, re-signing an edited
// manifest with it: the signer's fingerprint is shown for the reader to compare with the
// station's, and a trusted key, when there is one, must be the signer.

#include <string>
#include <vector>

#include "recording/evidence_export.h"

namespace kel {

// The key the signer must be; an empty fingerprint: none to compare with.
struct EvidenceTrust {
    std::string fingerprint;  // 64 lowercase hex digits
    std::string source;       // where it came from, for the reason a check fails
};

struct EvidenceCheck {
    bool whole = false;              // signed, by the trusted key if any, and every file matches
    bool sealed = false;             // the signature over manifest.json holds
    bool trusted = false;            // ... and its key is the trusted one
    std::string signer;              // the fingerprint of station-key.pem in groups; empty: none
    std::vector<std::string> good;   // files that match
    std::vector<std::string> wrong;  // "<file>: <why>", the ones that do not (or are missing)
    std::string error;               // the manifest itself could not be read
};

EvidenceCheck VerifyEvidence(const std::string& folder, const EvidenceTrust& trust = {});

// The key to compare with: `key` when given (a public key's PEM file, or a fingerprint), else the
// station's own key in the working directory `workDir`, when it has one. False with `error` when
// `key` is neither or the working directory's key cannot be read.
bool TrustedKey(const std::string& key, const std::string& workDir, EvidenceTrust& trust, std::string& error);

}  // namespace kel
