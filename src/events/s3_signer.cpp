#include "events/s3_signer.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <ctime>

#include "platform/sha256.h"

namespace kel {

namespace {

std::string Hmac(std::string_view key, std::string_view data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &size))
        return {};
    return std::string(reinterpret_cast<const char*>(out), size);
}

std::string Trimmed(const std::string& value) {
    const size_t b = value.find_first_not_of(" \t");
    const size_t e = value.find_last_not_of(" \t");
    return b == std::string::npos ? "" : value.substr(b, e - b + 1);
}

}  // namespace

std::string S3Encode(std::string_view text, bool keepSlash) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '~' || (keepSlash && c == '/')) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 15]);
        }
    }
    return out;
}

std::string S3Query(S3Params params) {
    for (auto& [name, value] : params) {
        name = S3Encode(name, false);
        value = S3Encode(value, false);
    }
    std::sort(params.begin(), params.end());
    std::string out;
    for (const auto& [name, value] : params) {
        if (!out.empty())
            out.push_back('&');
        out += name + "=" + value;
    }
    return out;
}

std::string S3Authorization(const S3Credentials& credentials, const S3Request& request) {
    S3Params headers = request.headers;
    std::sort(headers.begin(), headers.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string canonicalHeaders, signedHeaders;
    for (const auto& [name, value] : headers) {
        canonicalHeaders += name + ":" + Trimmed(value) + "\n";
        signedHeaders += (signedHeaders.empty() ? "" : ";") + name;
    }
    const std::string canonical = request.method + "\n" + request.path + "\n" + request.query + "\n" +
                                  canonicalHeaders + "\n" + signedHeaders + "\n" + request.payloadHash;
    const std::string day = request.amzDate.substr(0, 8);
    const std::string scope = day + "/" + credentials.region + "/s3/aws4_request";
    const std::string toSign =
        "AWS4-HMAC-SHA256\n" + request.amzDate + "\n" + scope + "\n" + Sha256Hex(canonical);
    std::string key = Hmac("AWS4" + credentials.secret, day);
    key = Hmac(key, credentials.region);
    key = Hmac(key, "s3");
    key = Hmac(key, "aws4_request");
    const std::string signature = Hmac(key, toSign);
    return "AWS4-HMAC-SHA256 Credential=" + credentials.keyId + "/" + scope +
           ", SignedHeaders=" + signedHeaders + ", Signature=" +
           HexText(reinterpret_cast<const unsigned char*>(signature.data()), signature.size());
}

std::string S3Date(long long unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[20];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

}  // namespace kel
