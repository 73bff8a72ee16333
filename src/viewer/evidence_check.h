#pragma once
// Checks an evidence export (recording/evidence_export.h): every file its manifest lists is there,
// of its size and SHA-256, and nothing else is.

#include <string>
#include <vector>

#include "recording/evidence_export.h"

namespace kel {

struct EvidenceCheck {
    bool whole = false;              // every file listed is there, of its size and hash
    std::vector<std::string> good;   // files that match
    std::vector<std::string> wrong;  // "<file>: <why>", the ones that do not (or are missing)
    std::string error;               // the manifest itself could not be read
};

EvidenceCheck VerifyEvidence(const std::string& folder);

}  // namespace kel
