// kel-viewer: the station's archive viewer.
//   kel-viewer [--workdir DIR] [--registry FILE] [--login-fd N] [RECORDING]
//   kel-viewer --verify FOLDER
// Without a file it reads the recordings' index of the working directory (the station's default
// one, $XDG_DATA_HOME/kel, when none is given); with one it plays that file alone. It runs for a
// user of the station's store: the console hands its user over on descriptor N, else the viewer
// asks in its login dialog. Only the cameras that user may view are shown.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/command_line.h"
#include "platform/audit_trail.h"
#include "platform/polish_locale.h"
#include "viewer/evidence_check.h"
#include "viewer/viewer_login.h"
#include "viewer/viewer_window.h"

namespace {

constexpr const char* kUsage =
    "usage: kel-viewer [--workdir DIR] [--registry FILE] [--login-fd N] [RECORDING]\n"
    "       kel-viewer --verify FOLDER\n"
    "       kel-viewer --help | --version\n"
    "Finds and plays back what the station in DIR ($XDG_DATA_HOME/kel by default) recorded, or one\n"
    "RECORDING (.avi or .mp4); the camera names and the users come from the settings store FILE.\n"
    "--login-fd N reads the user from descriptor N (\"login\\npassword\\n\"), as the console hands it\n"
    "over; without it the viewer asks.\n"
    "--verify checks an evidence export: every file its manifest lists, by size and SHA-256; the exit\n"
    "status is 0 when all match, 1 when any differs or is missing, 2 when the manifest is unreadable.\n";

// Prints what the check found; the exit status.
int Verify(const std::string& folder) {
    const kel::EvidenceCheck check = kel::VerifyEvidence(folder);
    if (!check.error.empty()) {
        std::fprintf(stderr, "kel-viewer: %s\n", check.error.c_str());
        return 2;
    }
    for (const std::string& name : check.good)
        std::printf("zgodny: %s\n", name.c_str());
    for (const std::string& what : check.wrong)
        std::printf("NIEZGODNY: %s\n", what.c_str());
    std::printf(check.whole ? "Eksport jest nienaruszony (%zu plików).\n"
                            : "Eksport został zmieniony albo jest niepełny (%zu plików zgodnych).\n",
                check.good.size());
    return check.whole ? 0 : 1;
}

// The user: handed over on `fd` (>= 0), else asked for until one matches; false when cancelled.
bool LogIn(const std::string& registry, int fd, kel::ViewerUser& user, kel::AuditTrail& trail) {
    std::string login, password, error;
    if (fd >= 0 && kel::ReadHandedOver(fd, login, password)) {
        if (kel::FindViewerUser(registry, login, password, user, error)) {
            trail.Append(login, kel::AuditTrail::kLogin, "przegladarka, z konsoli");
            return true;
        }
        trail.Append(login, kel::AuditTrail::kLoginRefused, "przegladarka, z konsoli");
    }
    kel::ViewerLoginDialog dialog;
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return false;
        login = dialog.Login();
        if (kel::FindViewerUser(registry, login, dialog.Password(), user, error)) {
            trail.Append(login, kel::AuditTrail::kLogin, "przegladarka");
            return true;
        }
        if (!login.empty())
            trail.Append(login, kel::AuditTrail::kLoginRefused, "przegladarka");
        dialog.ShowError(QString::fromStdString(error));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string workDir, registry, file;
    int loginFd = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--workdir" || a == "--registry") && i + 1 < argc) {
            (a == "--workdir" ? workDir : registry) = argv[++i];
        } else if (a == "--login-fd" && i + 1 < argc) {
            loginFd = std::atoi(argv[++i]);
            if (loginFd < 3) {
                std::fprintf(stderr, "kel-viewer: --login-fd takes a descriptor from 3 on\n%s", kUsage);
                return 2;
            }
        } else if (a == "--verify") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kel-viewer: --verify takes a folder\n%s", kUsage);
                return 2;
            }
            return Verify(argv[i + 1]);
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("kel-viewer " KEL_VERSION);
            return 0;
        } else if (!a.empty() && a[0] != '-' && file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "kel-viewer: unknown argument: %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    QApplication app(argc, argv);
    app.setApplicationName("kel-viewer");
    app.setWindowIcon(QIcon(":/kel/kel.png"));
    kel::SpeakPolish(app);
    if (workDir.empty())
        workDir = kel::CommandLine::DefaultWorkDir();
    workDir = QDir(QString::fromStdString(workDir)).absolutePath().toStdString();
    if (registry.empty())
        registry = kel::CommandLine::DefaultRegistry();
    kel::AuditTrail trail(kel::AuditTrail::PathBeside(registry));
    if (!trail.Open())
        std::fprintf(stderr, "kel-viewer: %s\n", trail.ErrorText().c_str());
    kel::ViewerUser user;
    if (!LogIn(registry, loginFd, user, trail))
        return 1;
    kel::ViewerWindow window(workDir, registry);
    window.SetUser(user);
    window.Audit = [&](const char* what, const std::string& detail) {
        trail.Append(user.login, what, detail);
    };
    if (file.empty())
        window.LoadArchive();
    window.show();
    if (!file.empty() && !window.OpenFile(QString::fromStdString(file)))
        return 1;
    return app.exec();
}
