#include "core/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "capture/hicap/hicap.h"

namespace kel {

namespace {
bool ParseScreen(const std::string& text, int& w, int& h) {
    char x = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X'))
        return false;
    return w > 0 && h > 0 && w <= 16384 && h <= 16384;
}
}  // namespace

bool CommandLine::Parse(const std::vector<std::string>& args, std::string& error) {
    size_t i = 0;
    auto value = [&](const std::string& opt, std::string& out) {
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = opt + " needs a value";
            return false;
        }
        out = args[++i];
        return true;
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        if (a == "--workdir") {
            if (!value(a, workdir))
                return false;
        } else if (a == "--registry") {
            if (!value(a, registry))
                return false;
        } else if (a == "--headless") {
            headless = true;
        } else if (a == "--yes") {
            yes = true;
        } else if (a == "--screen") {
            if (!value(a, v))
                return false;
            if (!ParseScreen(v, screenWidth, screenHeight)) {
                error = "--screen takes WxH, for example 1280x1024";
                return false;
            }
            screenGiven = true;
        } else if (a == "--board") {
            if (!value(a, board) || !HicapCheckBoard(board, error))
                return false;
        } else if (a == "--serial") {
            if (!value(a, serial))
                return false;
        } else if (a == "--help" || a == "-h") {
            action = Action::Help;
        } else if (a == "reg") {
            break;
        } else {
            error = "unknown argument: " + a;
            return false;
        }
    }
    if (i == args.size())
        return true;
    // reg export [FILE] | reg import FILE
    if (i + 1 >= args.size()) {
        error = "reg needs export or import";
        return false;
    }
    const std::string& verb = args[i + 1];
    size_t rest = args.size() - (i + 2);
    if (verb == "export" && rest <= 1) {
        action = Action::RegExport;
        regFile = rest ? args[i + 2] : "";
        return true;
    }
    if (verb == "defaults" && rest == 0) {
        action = Action::RegDefaults;
        return true;
    }
    if (verb == "import" && rest == 1) {
        action = Action::RegImport;
        regFile = args[i + 2];
        return true;
    }
    error = "usage: kel reg export [FILE] | kel reg import FILE | kel reg defaults";
    return false;
}

std::string CommandLine::DefaultRegistry() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/kel/registry.sqlite";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kel/registry.sqlite";
}

const char* CommandLine::Usage() {
    return "usage: kel [--workdir DIR] [--registry FILE] [--headless] [--yes] [--screen WxH]\n"
           "           [--board NAME[:OPTIONS]] [--serial DEVICE]\n"
           "       kel [--registry FILE] reg export [FILE]\n"
           "       kel [--registry FILE] reg import FILE\n"
           "       kel [--registry FILE] reg defaults\n";
}

}  // namespace kel
