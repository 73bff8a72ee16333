#pragma once
// The web view's pages, scripts and style, built into the program from src/web/web/.

#include <string_view>

namespace kel {

struct WebFile {
    std::string_view path;  // as requested: "/", "/login", "/app.js", …
    std::string_view type;  // the Content-Type
    std::string_view data;
    bool open;  // served without a session (the login page and what it needs)
};

// The file served at `path`; nullptr for any other path.
const WebFile* FindWebFile(std::string_view path);

}  // namespace kel
