// kel-viewer: the station's archive viewer.
//   kel-viewer [--workdir DIR] [--registry FILE] [FILE.avi]
// Without a file it reads the recordings' index of the working directory (the station's default
// one, $XDG_DATA_HOME/kel, when none is given); with one it plays that file alone.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <string>

#include "core/command_line.h"
#include "platform/polish_locale.h"
#include "viewer/viewer_window.h"

namespace {

constexpr const char* kUsage =
    "usage: kel-viewer [--workdir DIR] [--registry FILE] [FILE.avi]\n"
    "       kel-viewer --help | --version\n"
    "Finds and plays back what the station in DIR ($XDG_DATA_HOME/kel by default) recorded, or one\n"
    "recording FILE.avi; the camera names come from the settings store FILE.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string workDir, registry, file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--workdir" || a == "--registry") && i + 1 < argc) {
            (a == "--workdir" ? workDir : registry) = argv[++i];
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
    kel::ViewerWindow window(workDir, registry);
    if (file.empty())
        window.LoadArchive();
    window.show();
    if (!file.empty() && !window.OpenFile(QString::fromStdString(file)))
        return 1;
    return app.exec();
}
