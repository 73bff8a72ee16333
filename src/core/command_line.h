#pragma once
// The command line: the contract that tests and installers rely on.
//
//   kel [--workdir DIR] [--registry FILE] [--headless] [--yes] [--screen WxH]
//       [--board NAME[:OPTIONS]] [--serial DEVICE]
//   kel [--registry FILE] reg export [FILE]
//   kel [--registry FILE] reg import FILE
//   kel [--registry FILE] reg defaults      (the first-run defaults, as after Yes to the question)
//   kel [--registry FILE] audit [--since YYYY-MM-DD] [--verify [--head FILE]]   (the audit trail)
//   kel --help | --version

#include <string>
#include <vector>

namespace kel {

struct CommandLine {
    enum class Action { Run, RegExport, RegImport, RegDefaults, Audit, Help, Version };

    // The options, in the order the help lists them: the one table that the parser reads and the
    // help is written from, so that neither has an option the other lacks.
    struct Option {
        const char* name;   // "--board"
        const char* value;  // "NAME[:OPTIONS]", or nullptr for a flag
        const char* help;   // one line
    };
    static const std::vector<Option>& Options();

    Action action = Action::Run;
    std::string workdir;   // empty: DefaultWorkDir()
    std::string registry;  // empty: the default store of the user
    bool headless = false;
    bool yes = false;
    int screenWidth = 1280;
    int screenHeight = 1024;
    bool screenGiven = false;
    std::string board = "sim";
    std::string serial = "/dev/ttyS0";
    std::string regFile;     // export target (empty: standard output) or import source
    std::string auditSince;  // "YYYY-MM-DD"; empty: the whole trail
    bool auditVerify = false;
    std::string auditHead;  // a head of the trail kept elsewhere (--head)

    // False with `error` for a command line that cannot be parsed.
    bool Parse(const std::vector<std::string>& args, std::string& error);
    bool ParseAudit(const std::vector<std::string>& args, std::string& error);

    // $XDG_CONFIG_HOME/kel/registry.sqlite, else ~/.config/kel/registry.sqlite.
    static std::string DefaultRegistry();
    // $XDG_DATA_HOME/kel, else ~/.local/share/kel: where a station started from the desktop's
    // menu keeps its log, drive map and recordings (never the folder it was started from).
    static std::string DefaultWorkDir();
    // The help: synopsis, the options with their meaning, the store commands.
    static std::string Usage();
    // "kel 2.0.3".
    static std::string Version();
};

}  // namespace kel
