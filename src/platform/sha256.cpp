#include "platform/sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace kel {

namespace {

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

}  // namespace

std::string HexText(const unsigned char* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
    }
    return out;
}

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr))
        return {};
    return HexText(digest, size);
}

std::string Sha256File(const std::string& path) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    Context context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!file || !context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr))
        return {};
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        if (!EVP_DigestUpdate(context.get(), buffer, got))
            return {};
    if (std::ferror(file.get()))
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (!EVP_DigestFinal_ex(context.get(), digest, &size))
        return {};
    return HexText(digest, size);
}

}  // namespace kel
