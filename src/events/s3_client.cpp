#include "events/s3_client.h"

#include <openssl/evp.h>

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "net/curl_global.h"
#include "platform/sha256.h"

namespace kel {

namespace {

constexpr uint64_t kSmallestPart = 5ull << 20;  // the store's least part but the last

std::string Base64(const unsigned char* bytes, size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes, static_cast<int>(size));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// The SHA-256 (hex) and MD5 (raw) of a range of a file, read once.
struct Digests {
    std::string sha256;
    unsigned char md5[16] = {};
};

bool Digest(int fd, uint64_t offset, uint64_t size, Digests& out, std::string& error) {
    Context sha(EVP_MD_CTX_new(), &EVP_MD_CTX_free), md5(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!sha || !md5 || !EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) ||
        !EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr)) {
        error = "brak skrotow OpenSSL";
        return false;
    }
    std::vector<char> buffer(1 << 16);
    while (size > 0) {
        const ssize_t n =
            ::pread(fd, buffer.data(), std::min<uint64_t>(size, buffer.size()), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? std::string("odczyt pliku: ") + std::strerror(errno) : "plik krotszy niz byl";
            return false;
        }
        EVP_DigestUpdate(sha.get(), buffer.data(), static_cast<size_t>(n));
        EVP_DigestUpdate(md5.get(), buffer.data(), static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
        size -= static_cast<uint64_t>(n);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(sha.get(), digest, &length);
    out.sha256 = HexText(digest, length);
    EVP_DigestFinal_ex(md5.get(), out.md5, &length);
    return true;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t b = text.find(open);
    if (b == std::string::npos)
        return {};
    const size_t e = text.find(close, b + open.size());
    return e == std::string::npos ? std::string() : text.substr(b + open.size(), e - b - open.size());
}

std::string Unquoted(std::string etag) {
    while (!etag.empty() && (etag.back() == '\r' || etag.back() == '\n' || etag.back() == ' '))
        etag.pop_back();
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"')
        etag = etag.substr(1, etag.size() - 2);
    return etag;
}

struct Transfer {
    int fd = -1;
    uint64_t offset = 0, left = 0;
    const std::string* text = nullptr;
    size_t textAt = 0;
    uint64_t sent = 0;
    const std::function<bool()>* stopped = nullptr;
    bool shortFile = false;
};

size_t ReadBody(char* out, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t room = size * count;
    if (t->text) {
        const size_t n = std::min(room, t->text->size() - t->textAt);
        std::memcpy(out, t->text->data() + t->textAt, n);
        t->textAt += n;
        return n;
    }
    if (t->left == 0)
        return 0;
    for (;;) {
        const ssize_t n =
            ::pread(t->fd, out, std::min<uint64_t>(room, t->left), static_cast<off_t>(t->offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            t->shortFile = true;
            return CURL_READFUNC_ABORT;
        }
        t->offset += static_cast<uint64_t>(n);
        t->left -= static_cast<uint64_t>(n);
        t->sent += static_cast<uint64_t>(n);
        return static_cast<size_t>(n);
    }
}

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    const size_t n = size * count;
    if (body->size() < (1 << 20))  // an answer is a short XML text; more is not kept
        body->append(data, n);
    return n;
}

struct Headers {
    std::string etag;
    uint64_t length = 0;
};

size_t KeepHeader(char* data, size_t size, size_t count, void* user) {
    auto* h = static_cast<Headers*>(user);
    const size_t n = size * count;
    std::string line(data, n);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        std::string value = line.substr(colon + 1);
        const size_t b = value.find_first_not_of(' ');
        value = b == std::string::npos ? "" : value.substr(b);
        if (name == "etag") {
            h->etag = Unquoted(value);
        } else if (name == "content-length") {
            h->length = std::strtoull(value.c_str(), nullptr, 10);
        }
    }
    return n;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return t->stopped && *t->stopped && (*t->stopped)() ? 1 : 0;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

S3Client::S3Client(S3Settings settings) : settings_(std::move(settings)) {
    CurlGlobalInit();
    curl_ = curl_easy_init();
}

S3Client::~S3Client() {
    if (curl_)
        curl_easy_cleanup(static_cast<CURL*>(curl_));
}

bool S3Client::Usable(std::string& why) const {
    const std::string& e = settings_.endpoint;
    if (e.rfind("http://", 0) != 0 && e.rfind("https://", 0) != 0)
        why = "adres serwera musi zaczynac sie od http:// lub https://";
    else if (settings_.bucket.size() < 3)
        why = "nazwa kubelka ma co najmniej 3 znaki";
    else if (settings_.credentials.keyId.empty() || settings_.credentials.secret.empty())
        why = "brak klucza dostepu";
    else if (!curl_)
        why = "libcurl nie dziala";
    else
        return true;
    return false;
}

std::string S3Client::StoreError(const std::string& body) {
    const std::string code = Between(body, "<Code>", "</Code>");
    const std::string message = Between(body, "<Message>", "</Message>");
    if (code.empty())
        return {};
    return message.empty() ? code : code + ": " + message.substr(0, 200);
}

bool S3Client::Send(const std::string& method, const std::string& key, const S3Params& query,
                    const Body& body, const std::string& payloadHash, const S3Params& extraHeaders,
                    Response& response, const std::function<bool()>& stopped) {
    CURL* curl = static_cast<CURL*>(curl_);
    curl_easy_reset(curl);
    // "http(s)://host[:port][/prefix]": the host signs as sent, the prefix leads every path.
    std::string base = settings_.endpoint;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const size_t hostAt = base.find("://") + 3;
    const size_t pathAt = base.find('/', hostAt);
    const std::string host =
        base.substr(hostAt, pathAt == std::string::npos ? std::string::npos : pathAt - hostAt);
    const std::string prefix = pathAt == std::string::npos ? "" : base.substr(pathAt);
    const std::string path =
        prefix + "/" + S3Encode(settings_.bucket, false) + (key.empty() ? "" : "/") + S3Encode(key, true);
    const std::string canonicalQuery = S3Query(query);
    const std::string url = base.substr(0, pathAt == std::string::npos ? std::string::npos : pathAt) + path +
                            (canonicalQuery.empty() ? "" : "?" + canonicalQuery);

    S3Request request;
    request.method = method;
    request.path = path;
    request.query = canonicalQuery;
    request.payloadHash = payloadHash;
    request.amzDate = S3Date(static_cast<long long>(std::time(nullptr)));
    request.headers = {
        {"host", host}, {"x-amz-content-sha256", payloadHash}, {"x-amz-date", request.amzDate}};
    for (const auto& h : extraHeaders)
        request.headers.push_back(h);

    curl_slist* list = nullptr;
    for (const auto& [name, value] : request.headers)
        list = curl_slist_append(list, (name + ": " + value).c_str());
    list = curl_slist_append(list,
                             ("Authorization: " + S3Authorization(settings_.credentials, request)).c_str());
    list = curl_slist_append(list, "Expect:");  // no wait for "100 Continue" before each body
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, &curl_slist_free_all);

    Transfer transfer;
    transfer.fd = body.fd;
    transfer.offset = body.offset;
    transfer.left = body.size;
    transfer.stopped = &stopped;
    if (body.fd < 0)
        transfer.text = &body.text;
    const uint64_t bodySize = body.fd >= 0 ? body.size : body.text.size();

    Headers got;
    response = Response{};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);  // a store that stops answering
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &got);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (settings_.bytesPerSecond > 0)
        curl_easy_setopt(curl, CURLOPT_MAX_SEND_SPEED_LARGE,
                         static_cast<curl_off_t>(settings_.bytesPerSecond));
    if (method == "PUT") {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadBody);
        curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bodySize));
    } else if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadBody);
        curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodySize));
    } else if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    const CURLcode rc = curl_easy_perform(curl);
    sent_ += transfer.sent;
    if (rc != CURLE_OK) {
        if (transfer.shortFile)
            error_ = "plik skrocony podczas kopiowania";
        else if (rc == CURLE_ABORTED_BY_CALLBACK)
            error_ = "przerwano";
        else
            error_ = curl_easy_strerror(rc);
        return false;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    response.etag = got.etag;
    response.length = got.length;
    if (response.status < 200 || response.status > 299) {
        const std::string why = StoreError(response.body);
        error_ = "HTTP " + std::to_string(response.status) + (why.empty() ? "" : " (" + why + ")");
        return false;
    }
    // A multipart upload's completion may fail after its "200".
    if (response.body.find("<Error>") != std::string::npos) {
        error_ = "serwer: " + StoreError(response.body);
        return false;
    }
    return true;
}

bool S3Client::PutFile(const std::string& path, const std::string& key,
                       const std::function<void(const std::string&)>& started,
                       const std::function<bool()>& stopped) {
    sent_ = 0;
    // Held open to the end: a recording the rotation deletes meanwhile is still copied whole.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error_ = path + ": to nie jest plik";
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    const uint64_t part = std::max(settings_.partSize, kSmallestPart);
    std::string etag, stored;
    if (size > part) {
        if (!PutParts(fd.get(), size, key, started, stopped, etag, stored))
            return false;
    } else {
        Digests d;
        if (!Digest(fd.get(), 0, size, d, error_))
            return false;
        Response r;
        if (!Send("PUT", key, {}, Body{fd.get(), 0, size, {}}, d.sha256, {{"content-md5", Base64(d.md5, 16)}},
                  r, stopped))
            return false;
        etag = HexText(d.md5, 16);
        stored = r.etag;
    }
    // The store's answer names the checksum of what it keeps; only without one is it asked again.
    if (!stored.empty() && stored == etag)
        return true;
    return Verify(key, size, etag);
}

bool S3Client::PutParts(int fd, uint64_t size, const std::string& key,
                        const std::function<void(const std::string&)>& started,
                        const std::function<bool()>& stopped, std::string& etag, std::string& stored) {
    const uint64_t part = std::max(settings_.partSize, kSmallestPart);
    Response r;
    const std::string empty = Sha256Hex("");
    if (!Send("POST", key, {{"uploads", ""}}, Body{}, empty, {}, r, stopped))
        return false;
    const std::string id = Between(r.body, "<UploadId>", "</UploadId>");
    if (id.empty()) {
        error_ = "serwer nie podal numeru wysylki";
        return false;
    }
    if (started)
        started(id);
    std::string md5s, list;
    int number = 0;
    for (uint64_t at = 0; at < size; at += part) {
        const uint64_t n = std::min(part, size - at);
        Digests d;
        if (!Digest(fd, at, n, d, error_))
            return false;
        ++number;
        if (!Send("PUT", key, {{"partNumber", std::to_string(number)}, {"uploadId", id}}, Body{fd, at, n, {}},
                  d.sha256, {{"content-md5", Base64(d.md5, 16)}}, r, stopped))
            return false;
        if (!r.etag.empty() && r.etag != HexText(d.md5, 16)) {
            error_ = "czesc " + std::to_string(number) + " dotarla zmieniona";
            return false;
        }
        md5s.append(reinterpret_cast<const char*>(d.md5), 16);
        list += "<Part><PartNumber>" + std::to_string(number) + "</PartNumber><ETag>\"" + HexText(d.md5, 16) +
                "\"</ETag></Part>";
    }
    const std::string done = "<CompleteMultipartUpload>" + list + "</CompleteMultipartUpload>";
    if (!Send("POST", key, {{"uploadId", id}}, Body{-1, 0, 0, done}, Sha256Hex(done), {}, r, stopped))
        return false;
    unsigned char whole[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(md5s.data(), md5s.size(), whole, &length, EVP_md5(), nullptr);
    etag = HexText(whole, length) + "-" + std::to_string(number);
    stored = Unquoted(Between(r.body, "<ETag>", "</ETag>"));
    if (stored.rfind("&quot;", 0) == 0 && stored.size() > 12)
        stored = stored.substr(6, stored.size() - 12);
    return true;
}

bool S3Client::Verify(const std::string& key, uint64_t size, const std::string& etag) {
    uint64_t stored = 0;
    std::string storedTag;
    if (!Head(key, stored, storedTag))
        return false;
    if (stored != size) {
        error_ = "kopia ma " + std::to_string(stored) + " bajtow zamiast " + std::to_string(size);
        return false;
    }
    if (storedTag != etag) {
        error_ = "suma kontrolna kopii " + storedTag + " rozna od " + etag;
        return false;
    }
    return true;
}

bool S3Client::Head(const std::string& key, uint64_t& size, std::string& etag) {
    Response r;
    if (!Send("HEAD", key, {}, Body{}, Sha256Hex(""), {}, r, nullptr))
        return false;
    size = r.length;
    etag = r.etag;
    return true;
}

bool S3Client::Abort(const std::string& key, const std::string& uploadId) {
    Response r;
    if (Send("DELETE", key, {{"uploadId", uploadId}}, Body{}, Sha256Hex(""), {}, r, nullptr))
        return true;
    return r.status == 404;
}

bool S3Client::MakeBucket() {
    Response r;
    if (Send("PUT", "", {}, Body{-1, 0, 0, {}}, Sha256Hex(""), {}, r, nullptr))
        return true;
    return r.status == 409;  // there already
}

}  // namespace kel
