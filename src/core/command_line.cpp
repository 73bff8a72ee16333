#include "core/command_line.h"

#include <algorithm>
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

const std::vector<CommandLine::Option>& CommandLine::Options() {
    static const std::vector<Option> kOptions{
        {"--workdir", "DIR", "the log, drive map and recordings (default $XDG_DATA_HOME/kel)"},
        {"--registry", "FILE", "the settings store (default $XDG_CONFIG_HOME/kel/registry.sqlite)"},
        {"--headless", nullptr, "no screen: Qt's offscreen platform, boxes on standard error"},
        {"--yes", nullptr, "answer Yes to every question (first-run defaults, close question)"},
        {"--screen", "WxH", "headless only: the virtual screen (default 1280x1024)"},
        {"--board", "NAME[:OPTIONS]", "capture board: sim (default), v4l2:MAP, stream:FILE, mix:FILE"},
        {"--serial", "DEVICE", "the PTZ line (default /dev/ttyS0)"},
        {"--help", nullptr, "this help"},
        {"--version", nullptr, "the program's version"},
    };
    return kOptions;
}

bool CommandLine::Parse(const std::vector<std::string>& args, std::string& error) {
    size_t i = 0;
    for (; i < args.size(); ++i) {
        std::string a = args[i];
        if (a == "-h")
            a = "--help";
        if (a == "reg" || a == "audit")
            break;
        const auto& options = Options();
        auto it = std::find_if(options.begin(), options.end(), [&](const Option& o) { return a == o.name; });
        if (it == options.end()) {
            error = "unknown argument: " + a;
            return false;
        }
        std::string v;
        if (it->value) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
        }
        if (a == "--workdir") {
            workdir = v;
        } else if (a == "--registry") {
            registry = v;
        } else if (a == "--headless") {
            headless = true;
        } else if (a == "--yes") {
            yes = true;
        } else if (a == "--screen") {
            if (!ParseScreen(v, screenWidth, screenHeight)) {
                error = "--screen takes WxH, for example 1280x1024";
                return false;
            }
            screenGiven = true;
        } else if (a == "--board") {
            board = v;
            if (!HicapCheckBoard(board, error))
                return false;
        } else if (a == "--serial") {
            serial = v;
        } else if (a == "--help") {
            action = Action::Help;
        } else if (a == "--version") {
            action = Action::Version;
        }
    }
    if (i == args.size())
        return true;
    if (args[i] == "audit")
        return ParseAudit(std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()),
                          error);
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

// audit [--since YYYY-MM-DD] [--verify [--head FILE]]
bool CommandLine::ParseAudit(const std::vector<std::string>& args, std::string& error) {
    action = Action::Audit;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--verify") {
            auditVerify = true;
        } else if (args[i] == "--head" && i + 1 < args.size()) {
            auditHead = args[++i];
        } else if (args[i] == "--since" && i + 1 < args.size()) {
            auditSince = args[++i];
            const bool date = auditSince.size() == 10 && auditSince[4] == '-' && auditSince[7] == '-' &&
                              std::all_of(auditSince.begin(), auditSince.end(),
                                          [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
            if (!date) {
                error = "--since takes a date YYYY-MM-DD";
                return false;
            }
        } else {
            error = "usage: kel audit [--since YYYY-MM-DD] [--verify [--head FILE]]";
            return false;
        }
    }
    if (!auditHead.empty() && !auditVerify) {
        error = "--head goes with --verify";
        return false;
    }
    return true;
}

std::string CommandLine::DefaultRegistry() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/kel/registry.sqlite";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kel/registry.sqlite";
}

std::string CommandLine::DefaultWorkDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/kel";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/kel";
}

std::string CommandLine::Usage() {
    std::string text = "usage: kel [OPTIONS]                     run the station\n"
                       "       kel [--registry FILE] reg export [FILE]\n"
                       "       kel [--registry FILE] reg import FILE\n"
                       "       kel [--registry FILE] reg defaults\n"
                       "       kel [--registry FILE] audit [--since YYYY-MM-DD] [--verify [--head FILE]]\n"
                       "\noptions:\n";
    for (const Option& o : Options()) {
        std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        left.resize(std::max<size_t>(left.size() + 2, 26), ' ');
        text += left + o.help + "\n";
    }
    text += "\nstore commands:\n"
            "  reg export [FILE]       the settings store as a .reg file (standard output without FILE)\n"
            "  reg import FILE         merges a .reg file; one the station could not load changes nothing\n"
            "  reg defaults            writes the first-run defaults\n"
            "  audit [--since DATE]    prints the audit trail beside the store (who did what)\n"
            "  audit --verify          checks its chain; a broken one names the first bad record\n"
            "  audit --verify --head FILE   also against a head of the trail kept elsewhere\n";
    return text;
}

std::string CommandLine::Version() {
    return "kel " KEL_VERSION;
}

}  // namespace kel
