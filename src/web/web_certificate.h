#pragma once
// The web view's own certificate, for a station the installer gave none: a self-signed one with
// a P-256 key, valid for ten years, for the names "localhost" and the host's own. The key file is
// readable by its owner only.

#include <string>

namespace kel {

// Writes a new key to `keyFile` and its certificate to `certFile`. False with `error`.
bool MakeSelfSignedCertificate(const std::string& certFile, const std::string& keyFile, std::string& error);

}  // namespace kel
