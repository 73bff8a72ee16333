#pragma once
// The station's signing key: an Ed25519 key pair kept in the working directory, made at the first
// start, with which evidence exports are signed. The private key ("station-sign-key.pem", PKCS#8
// PEM) is created readable by its owner only; the public key ("station-sign-pub.pem") lies beside
// it for anyone. A key file that exists but cannot be read or is damaged is an error and is never
// replaced: evidence signed earlier names that key.
//
// The fingerprint is the SHA-256 of the raw 32-byte public key as 64 lowercase hex digits; people
// read it in groups of four ("1a2b 3c4d …").
//
// A key is immutable once made; Sign and Verify may be called from any thread.

#include <memory>
#include <string>
#include <string_view>

struct evp_pkey_st;  // OpenSSL's EVP_PKEY

namespace kel {

class StationKey {
public:
    static constexpr const char* kPrivateFile = "station-sign-key.pem";
    static constexpr const char* kPublicFile = "station-sign-pub.pem";

    ~StationKey();
    StationKey(const StationKey&) = delete;
    StationKey& operator=(const StationKey&) = delete;

    static std::string PrivatePath(const std::string& dir);
    static std::string PublicPath(const std::string& dir);

    // The key of the working directory `dir`, made there when it has none (`created` says so).
    // Null with `error` when a key file is there but unreadable or damaged (it is left as it is),
    // or a new one cannot be written.
    static std::shared_ptr<const StationKey> LoadOrCreate(const std::string& dir, std::string& error,
                                                          bool* created = nullptr);
    // The key `dir` already has, never made: its private key when there is one, else its public
    // key. Null with `error` empty when it has none, with `error` set when it cannot be read.
    static std::shared_ptr<const StationKey> LoadExisting(const std::string& dir, std::string& error);
    // A key from PEM text, public or private (only a private one signs). Null with `error`.
    static std::shared_ptr<const StationKey> FromPem(std::string_view pem, std::string& error);
    // The same from a file.
    static std::shared_ptr<const StationKey> FromFile(const std::string& path, std::string& error);

    bool CanSign() const { return private_; }
    // The raw 64-byte Ed25519 signature of `data`; empty when this is a public key alone.
    std::string Sign(std::string_view data) const;
    bool Verify(std::string_view data, std::string_view signature) const;
    // "-----BEGIN PUBLIC KEY-----…" (SubjectPublicKeyInfo), as openssl reads it with -pubin.
    const std::string& PublicPem() const { return public_pem_; }
    // 64 lowercase hex digits.
    const std::string& Fingerprint() const { return fingerprint_; }
    // The same in groups of four, for reading aloud and comparing by eye.
    std::string FingerprintText() const { return GroupFingerprint(fingerprint_); }

    static std::string GroupFingerprint(std::string_view hex);
    // A fingerprint as typed (any case, spaces or colons between): its 64 lowercase hex digits;
    // empty when it is not one.
    static std::string ParseFingerprint(std::string_view text);

    // Public so that the factories' make_shared reaches it; `key` is taken over.
    StationKey(evp_pkey_st* key, bool canSign);

private:
    evp_pkey_st* key_;
    bool private_;
    std::string public_pem_;
    std::string fingerprint_;
};

}  // namespace kel
