// The station's off-site copier alone, for bench/offsite_copy.sh: copies the files named on the
// command line into a bucket exactly as the station does (SHA-256 and MD5 of each body, signed
// requests, parts above 16 MB, every copy verified), one after the other.
//
// usage: offsite_copy ENDPOINT BUCKET KEY SECRET FILE...   (exit 1 when a copy failed)

#include <cstdio>
#include <string>

#include "events/s3_client.h"

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: offsite_copy ENDPOINT BUCKET KEY SECRET FILE...\n");
        return 2;
    }
    kel::S3Settings settings;
    settings.endpoint = argv[1];
    settings.bucket = argv[2];
    settings.credentials = {argv[3], argv[4], "us-east-1"};
    kel::S3Client client(settings);
    for (int i = 5; i < argc; ++i) {
        const std::string path = argv[i];
        const std::string key = "bench/" + path.substr(path.rfind('/') + 1);
        if (!client.PutFile(path, key, nullptr, nullptr)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), client.ErrorText().c_str());
            return 1;
        }
    }
    return 0;
}
