#pragma once
// Signing of requests to an S3-compatible object store (AWS Signature Version 4, the header form):
// the canonical request, the string to sign and the key derived from the secret, which itself
// never leaves the station.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kel {

struct S3Credentials {
    std::string keyId;
    std::string secret;
    std::string region = "us-east-1";
};

using S3Params = std::vector<std::pair<std::string, std::string>>;

// RFC 3986 percent-encoding as the signature wants it: unreserved characters stay, '/' stays
// when `keepSlash` (paths), every other byte becomes %XX (upper-case hex).
std::string S3Encode(std::string_view text, bool keepSlash);
// The query string in its canonical form: encoded names and values, sorted by name.
std::string S3Query(S3Params params);

struct S3Request {
    std::string method;       // "PUT", "POST", "HEAD", "DELETE", "GET"
    std::string path;         // encoded, from the first '/'
    std::string query;        // canonical (S3Query)
    S3Params headers;         // names in lower case; host, x-amz-date and x-amz-content-sha256 among them
    std::string payloadHash;  // hex SHA-256 of the body, or "UNSIGNED-PAYLOAD"
    std::string amzDate;      // "YYYYMMDDTHHMMSSZ"
};

// The Authorization header's value for `request`.
std::string S3Authorization(const S3Credentials& credentials, const S3Request& request);
// "YYYYMMDDTHHMMSSZ" of a UTC time.
std::string S3Date(long long unixSeconds);

}  // namespace kel
