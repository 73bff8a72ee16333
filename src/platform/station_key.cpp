#include "platform/station_key.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include "platform/sha256.h"

namespace kel {

namespace {

struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
struct CtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Ctx = std::unique_ptr<EVP_MD_CTX, CtxFree>;

constexpr size_t kSignatureBytes = 64;
constexpr off_t kLongestKeyFile = 64 * 1024;

std::string Why(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return "brak uprawnien";
    case EISDIR:
        return "to folder, nie plik";
    case ENOENT:
        return "brak pliku";
    default:
        return std::strerror(err);
    }
}

// The whole of a small regular file; false with `why`.
bool ReadSmallFile(const std::string& path, std::string& text, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = Why(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kLongestKeyFile) {
        why = S_ISDIR(st.st_mode) ? Why(EISDIR) : "to nie jest zwykly plik klucza";
        ::close(fd);
        return false;
    }
    text.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = Why(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

// All of `text` to the descriptor, flushed to the disk.
bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return ::fsync(fd) == 0;
}

std::string PemOf(EVP_PKEY* key, bool privatePart) {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio)
        return {};
    const int ok = privatePart
                       ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                       : PEM_write_bio_PUBKEY(bio.get(), key);
    if (ok != 1)
        return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

// The public key file written anew beside the private one: a temporary file renamed over it.
bool WritePublic(const std::string& path, const std::string& pem) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, pem);
    ::close(fd);
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

StationKey::StationKey(evp_pkey_st* key, bool canSign) : key_(key), private_(canSign) {
    public_pem_ = PemOf(key_, false);
    unsigned char raw[32];
    size_t size = sizeof raw;
    if (EVP_PKEY_get_raw_public_key(key_, raw, &size) == 1 && size == sizeof raw)
        fingerprint_ = Sha256Hex(std::string_view(reinterpret_cast<const char*>(raw), size));
}

StationKey::~StationKey() {
    EVP_PKEY_free(key_);
}

std::string StationKey::PrivatePath(const std::string& dir) {
    return (std::filesystem::path(dir) / kPrivateFile).string();
}

std::string StationKey::PublicPath(const std::string& dir) {
    return (std::filesystem::path(dir) / kPublicFile).string();
}

std::shared_ptr<const StationKey> StationKey::FromPem(std::string_view pem, std::string& error) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    EVP_PKEY* key = bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    bool canSign = false;
    if (!key && bio) {
        Bio again(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
        // A passphrase is never asked for: an encrypted key is not ours.
        key = again ? PEM_read_bio_PrivateKey(
                          again.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr)
                    : nullptr;
        canSign = key != nullptr;
    }
    if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        error = "to nie jest klucz Ed25519 w formacie PEM";
        return nullptr;
    }
    auto out = std::make_shared<const StationKey>(key, canSign);
    if (out->fingerprint_.empty() || out->public_pem_.empty()) {
        error = "nie mozna odczytac klucza publicznego";
        return nullptr;
    }
    return out;
}

std::shared_ptr<const StationKey> StationKey::FromFile(const std::string& path, std::string& error) {
    std::string text, why;
    if (!ReadSmallFile(path, text, why)) {
        error = "nie mozna odczytac " + path + ": " + why;
        return nullptr;
    }
    auto key = FromPem(text, why);
    if (!key)
        error = path + " jest uszkodzony: " + why;
    return key;
}

std::shared_ptr<const StationKey> StationKey::LoadExisting(const std::string& dir, std::string& error) {
    error.clear();
    struct stat st {};
    for (const std::string& path : {PrivatePath(dir), PublicPath(dir)})
        if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT)
            return FromFile(path, error);
    return nullptr;
}

std::shared_ptr<const StationKey> StationKey::LoadOrCreate(const std::string& dir, std::string& error,
                                                           bool* created) {
    if (created)
        *created = false;
    const std::string privatePath = PrivatePath(dir), publicPath = PublicPath(dir);
    struct stat st {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::lstat(privatePath.c_str(), &st) == 0 || errno != ENOENT) {
            // There is one: read it or report it, never replace it.
            std::string why;
            std::shared_ptr<const StationKey> key = FromFile(privatePath, why);
            if (!key || !key->CanSign()) {
                error = "klucz podpisu stacji: " + (key ? privatePath + " nie jest kluczem prywatnym" : why) +
                        " (plik pozostawiono bez zmian)";
                return nullptr;
            }
            std::string shown;
            if (!ReadSmallFile(publicPath, shown, why) || shown != key->PublicPem())
                WritePublic(publicPath, key->PublicPem());  // a copy for reading; the private key rules
            return key;
        }
        if (::lstat(publicPath.c_str(), &st) == 0) {
            error = "klucz podpisu stacji: jest " + publicPath + ", ale brak " + privatePath +
                    "; przywroc go z kopii albo usun " + publicPath + ", aby utworzyc nowy klucz";
            return nullptr;
        }
        EVP_PKEY* made = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
        if (!made) {
            error = "klucz podpisu stacji: nie mozna utworzyc klucza Ed25519";
            return nullptr;
        }
        auto key = std::make_shared<const StationKey>(made, true);
        const std::string pem = PemOf(made, true);
        // Created readable by the owner alone (mkstemp's 0600), then linked under its name: a key
        // another process made meanwhile is kept and used.
        std::vector<char> temp(privatePath.begin(), privatePath.end());
        const std::string suffix = ".XXXXXX";
        temp.insert(temp.end(), suffix.begin(), suffix.end());
        temp.push_back(0);
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            error = "klucz podpisu stacji: nie mozna zapisac " + privatePath + ": " + Why(errno);
            return nullptr;
        }
        const bool written = !pem.empty() && WriteAll(fd, pem);
        ::close(fd);
        const int linked = written ? ::link(temp.data(), privatePath.c_str()) : -1;
        const int linkError = errno;
        ::unlink(temp.data());
        if (linked != 0 && written && linkError == EEXIST)
            continue;  // made by another process meanwhile: that one is read
        if (linked != 0) {
            error = "klucz podpisu stacji: nie mozna zapisac " + privatePath + ": " +
                    (written ? Why(linkError) : std::string("blad zapisu"));
            return nullptr;
        }
        if (!WritePublic(publicPath, key->PublicPem())) {
            error = "klucz podpisu stacji: nie mozna zapisac " + publicPath;
            return nullptr;
        }
        if (created)
            *created = true;
        return key;
    }
    error = "klucz podpisu stacji: nie mozna odczytac " + privatePath;
    return nullptr;
}

std::string StationKey::Sign(std::string_view data) const {
    if (!private_)
        return {};
    Ctx ctx(EVP_MD_CTX_new());
    std::string signature(kSignatureBytes, '\0');
    size_t size = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1 ||
        size != kSignatureBytes)
        return {};
    return signature;
}

bool StationKey::Verify(std::string_view data, std::string_view signature) const {
    Ctx ctx(EVP_MD_CTX_new());
    return ctx && signature.size() == kSignatureBytes &&
           EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key_) == 1 &&
           EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 1;
}

std::string StationKey::GroupFingerprint(std::string_view hex) {
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 4)
        out += (out.empty() ? "" : " ") + std::string(hex.substr(i, 4));
    return out;
}

std::string StationKey::ParseFingerprint(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '-')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out.size() == 64 ? out : std::string();
}

}  // namespace kel
