#include "net/curl_global.h"

#include <curl/curl.h>

namespace kel {

void CurlGlobalInit() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

}  // namespace kel
