#pragma once
// Copies files into a bucket of an S3-compatible object store over HTTP(S) with libcurl, each
// request signed (s3_signer.h) and its body's SHA-256 sent with it, so the store refuses a body
// that arrived changed. A file larger than one part goes up in parts (multipart upload). Every
// copy is then verified: the object's size and its checksum (ETag: the MD5 of the file, or for
// parts the MD5 of the parts' MD5s and their count) must be the file's, as the store's answer
// names it, or as it says when asked (HEAD) when its answer named none.
//
// One client is used by one thread at a time; it keeps its connection between requests.

#include <cstdint>
#include <functional>
#include <string>

#include "events/s3_signer.h"

namespace kel {

struct S3Settings {
    std::string endpoint;  // "https://host[:port]" or "http://…"; addresses are path-style
    std::string bucket;
    S3Credentials credentials;
    uint64_t bytesPerSecond = 0;      // the upload's limit; 0: none
    uint64_t partSize = 16ull << 20;  // files larger than this go up in parts of this size (≥ 5 MB)
};

class S3Client {
public:
    explicit S3Client(S3Settings settings);
    ~S3Client();
    S3Client(const S3Client&) = delete;
    S3Client& operator=(const S3Client&) = delete;

    // Whether the settings can make a request (an http(s) endpoint, a bucket, a key).
    bool Usable(std::string& why) const;

    // Copies the file at `path` to `key` and verifies the copy. A multipart upload reports its id
    // through `started` before its first part (so that one cut short can be aborted later).
    // `stopped` is asked while bytes flow; when it says so the copy ends, failed.
    bool PutFile(const std::string& path, const std::string& key,
                 const std::function<void(const std::string& uploadId)>& started,
                 const std::function<bool()>& stopped);
    // Gives up a multipart upload cut short (its parts are deleted); one the store no longer
    // knows is no failure.
    bool Abort(const std::string& key, const std::string& uploadId);
    // The object's size and ETag (without quotes). False when it is not there or cannot be asked.
    bool Head(const std::string& key, uint64_t& size, std::string& etag);
    // Makes the bucket unless it is there (tests and a first set-up).
    bool MakeBucket();

    // Why the last call failed; never holds the secret.
    const std::string& ErrorText() const { return error_; }
    // Bytes sent by the last PutFile (bodies only).
    uint64_t Sent() const { return sent_; }

private:
    struct Response {
        long status = 0;
        std::string body;
        std::string etag;
        uint64_t length = 0;
    };
    struct Body {
        int fd = -1;
        uint64_t offset = 0, size = 0;  // a range of the file
        std::string text;               // or this
    };
    // One signed request; false (error_ set) when it did not reach the store or the store said no.
    bool Send(const std::string& method, const std::string& key, const S3Params& query, const Body& body,
              const std::string& payloadHash, const S3Params& extraHeaders, Response& response,
              const std::function<bool()>& stopped);
    bool PutParts(int fd, uint64_t size, const std::string& key,
                  const std::function<void(const std::string&)>& started,
                  const std::function<bool()>& stopped, std::string& etag, std::string& stored);
    bool Verify(const std::string& key, uint64_t size, const std::string& etag);
    static std::string StoreError(const std::string& body);

    const S3Settings settings_;
    void* curl_ = nullptr;  // CURL*
    std::string error_;
    uint64_t sent_ = 0;
};

}  // namespace kel
