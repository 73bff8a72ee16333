// kel-viewer: the station's archive viewer.
//   kel-viewer [--workdir DIR] [--registry FILE] [--login-fd N] [RECORDING]
//   kel-viewer --verify FOLDER [--key KEY] [--workdir DIR]
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
    "       kel-viewer --verify FOLDER [--key KEY] [--workdir DIR]\n"
    "       kel-viewer --help | --version\n"
    "Finds and plays back what the station in DIR ($XDG_DATA_HOME/kel by default) recorded, or one\n"
    "RECORDING (.avi or .mp4); the camera names and the users come from the settings store FILE.\n"
    "--login-fd N reads the user from descriptor N (\"login\\npassword\\n\"), as the console hands it\n"
    "over; without it the viewer asks.\n"
    "--verify checks an evidence export: the signature of its manifest by the key beside it, then every\n"
    "file the manifest lists, by size and SHA-256. It prints the signer's fingerprint, to compare with the\n"
    "station's. The signer must be KEY (a station's public key file, or its fingerprint) when given, else\n"
    "the station's own key when DIR has one. The exit status is 0 when all match, 1 when anything differs,\n"
    "is missing or signed by another key, 2 when the manifest or KEY is unreadable.\n";

// Prints what the check found; the exit status.
int Verify(const std::string& folder, const std::string& key, const std::string& workDir) {
    kel::EvidenceTrust trust;
    std::string error;
    if (!kel::TrustedKey(key, workDir, trust, error)) {
        std::fprintf(stderr, "kel-viewer: %s\n", error.c_str());
        return 2;
    }
    const kel::EvidenceCheck check = kel::VerifyEvidence(folder, trust);
    if (!check.error.empty()) {
        std::fprintf(stderr, "kel-viewer: %s\n", check.error.c_str());
        return 2;
    }
    if (check.sealed)
        std::printf("Podpisane kluczem stacji: %s\n", check.signer.c_str());
    else if (!check.signer.empty())
        std::printf("Klucz w %s (podpis się nie zgadza): %s\n", kel::kKeyFile, check.signer.c_str());
    if (check.trusted)
        std::printf("Klucz zgodny: %s.\n", trust.source.c_str());
    else if (trust.fingerprint.empty() && check.sealed)
        std::printf("Porównaj ten odcisk z kluczem stacji (okno Informacje, stopka strony WWW, dziennik "
                    "zdarzeń) albo podaj --key.\n");
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
    std::string login, hash, error;
    if (fd >= 0 && kel::ReadHandedOver(fd, login, hash)) {
        if (kel::FindHandedOverUser(registry, login, hash, user, error)) {
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
    std::string workDir, registry, file, verify, key;
    bool verifying = false;
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
        } else if (a == "--verify" || a == "--key") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                std::fprintf(stderr, "kel-viewer: %s takes a %s\n%s", a.c_str(),
                             a == "--verify" ? "folder" : "key file or fingerprint", kUsage);
                return 2;
            }
            (a == "--verify" ? verify : key) = argv[++i];
            verifying = verifying || a == "--verify";
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
    if (!key.empty() && !verifying) {
        std::fprintf(stderr, "kel-viewer: --key goes with --verify\n%s", kUsage);
        return 2;
    }
    if (verifying)
        return Verify(verify, key, workDir.empty() ? kel::CommandLine::DefaultWorkDir() : workDir);
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
