#include "web/web_certificate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace kel {

namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// Written beside the target and renamed over it, so a crash never leaves half a file.
bool WritePem(const std::string& path, mode_t mode, const std::function<bool(FILE*)>& write,
              std::string& error) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "nie mozna zapisac " + temp;
        return false;
    }
    // A file left from an interrupted write keeps its mode through O_CREAT: set it again.
    FILE* file = ::fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
    if (!file) {
        ::close(fd);
        error = "nie mozna zapisac " + temp;
        return false;
    }
    const bool written = write(file);
    const bool flushed = std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    std::fclose(file);
    if (!written || !flushed || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        error = "nie mozna zapisac " + path;
        return false;
    }
    return true;
}

}  // namespace

bool MakeSelfSignedCertificate(const std::string& certFile, const std::string& keyFile, std::string& error) {
    Key key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert) {
        error = "nie mozna utworzyc klucza";
        return false;
    }
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    host[sizeof host - 1] = 0;
    for (const char* c = host; *c; ++c)
        if (!isalnum(static_cast<unsigned char>(*c)) && *c != '-' && *c != '.') {
            std::snprintf(host, sizeof host, "localhost");  // a name no certificate can hold
            break;
        }
    X509_set_version(cert.get(), 2);
    // A random serial: browsers refuse two certificates of one issuer with the same serial.
    ASN1_INTEGER* serial = X509_get_serialNumber(cert.get());
    BIGNUM* bn = BN_new();
    BN_rand(bn, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    BN_to_ASN1_INTEGER(bn, serial);
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("KEL"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    const std::string names = std::string("DNS:localhost,IP:127.0.0.1,DNS:") + host;
    if (!AddExtension(cert.get(), NID_subject_alt_name, names.c_str()) ||
        !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        error = "nie mozna podpisac certyfikatu";
        return false;
    }
    return WritePem(
               keyFile, 0600,
               [&](FILE* f) {
                   return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
               },
               error) &&
           WritePem(
               certFile, 0600, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; }, error);
}

}  // namespace kel
