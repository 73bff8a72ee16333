#include "web/web_files.h"

#include <iterator>

// Made at build time from src/web/web/: one array per file, named after it.
#include "web_pages.inc"

namespace kel {

namespace {

template <size_t N>
constexpr std::string_view Bytes(const unsigned char (&data)[N]) {
    return {reinterpret_cast<const char*>(data), N};
}

const WebFile kFiles[] = {
    {"/login", "text/html; charset=utf-8", Bytes(k_login_html), true},
    {"/login.js", "text/javascript; charset=utf-8", Bytes(k_login_js), true},
    {"/style.css", "text/css; charset=utf-8", Bytes(k_style_css), true},
    {"/", "text/html; charset=utf-8", Bytes(k_index_html), false},
    {"/app.js", "text/javascript; charset=utf-8", Bytes(k_app_js), false},
};

}  // namespace

const WebFile* FindWebFile(std::string_view path) {
    for (const WebFile& file : kFiles)
        if (file.path == path)
            return &file;
    return nullptr;
}

}  // namespace kel
