#pragma once
// libcurl's global set-up, once for the whole program: it is not thread-safe before 7.84, so
// every user calls this before its first handle.

namespace kel {

void CurlGlobalInit();

}  // namespace kel
