// kel: the recording station. Parses the command line, then either works on the settings store
// (reg export / reg import) or creates the application and its ten windows, runs the start-up
// chain and the event loop.

#include <QApplication>
#include <QDialog>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "config/config.h"
#include "core/command_line.h"
#include "core/shared.h"
#include "core/station.h"
#include "platform/audit_trail.h"
#include "platform/message_box.h"
#include "platform/offscreen_screen.h"
#include "platform/polish_locale.h"
#include "platform/reg_file.h"
#include "platform/registry_store.h"
#include "platform/signal_watcher.h"
#include "ui/application_setup.h"
#include "ui/closing_form.h"
#include "ui/config_form.h"
#include "ui/debugger.h"
#include "ui/info_form.h"
#include "ui/l_form.h"
#include "ui/main_form.h"
#include "ui/photo_form.h"
#include "ui/qt_message_box.h"
#include "ui/skin_form.h"
#include "ui/smart_form.h"
#include "ui/users_form.h"

namespace fs = std::filesystem;

namespace {

int RegExport(const std::string& registry, const std::string& file) {
    // Exporting reads: a mistyped path must not make an empty store (and its folder) there.
    std::error_code missing;
    if (!fs::is_regular_file(registry, missing)) {
        std::fprintf(stderr, "kel: %s: no such store\n", registry.c_str());
        return 1;
    }
    kel::RegistryStore store;
    std::string text, error;
    // Plain passwords of an older station's store are hashed in it first: no export holds one.
    if (store.Open(registry) && !kel::HashStorePasswords(store, error)) {
        std::fprintf(stderr, "kel: %s: %s; eksport przerwany, by nie zapisac hasel jawnie\n",
                     registry.c_str(), error.c_str());
        return 1;
    }
    if (!store.IsOpen() || !kel::ExportRegFile(store, text, error)) {
        std::fprintf(stderr, "kel: %s\n", (error.empty() ? store.ErrorText() : error).c_str());
        return 1;
    }
    if (file.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    // Written beside the target and renamed over it: a failed write never leaves a cut file.
    std::string part = file + ".part";
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    std::error_code ec;
    if (out)
        fs::rename(part, file, ec);
    if (!out || ec) {
        fs::remove(part, ec);
        std::fprintf(stderr, "kel: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}

int RegImport(const std::string& registry, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kel: cannot read %s\n", file.c_str());
        return 1;
    }
    std::error_code ec;
    if (fs::file_size(file, ec) > kel::kMaxRegFileBytes && !ec) {
        std::fprintf(stderr, "kel: %s: larger than %zu MB: no settings file is\n", file.c_str(),
                     kel::kMaxRegFileBytes >> 20);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    kel::RegistryStore store;
    std::string error;
    // A value the station could not load is refused before anything is written: the next start
    // would otherwise replace the whole configuration by the defaults.
    std::vector<kel::RegFileOp> ops;
    if (store.Open(registry) && kel::ParseRegFile(text.str(), ops, error) &&
        !kel::CheckSettingsImport(store, ops, error)) {
        std::fprintf(stderr, "kel: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    error.clear();
    // A file with plain passwords (an older station's export, one written by hand) is imported
    // with them hashed, in the same transaction: the store never holds them in plain.
    if (!store.IsOpen() || !kel::ImportRegFile(store, text.str(), error, [&](std::string& why) {
            return kel::HashStorePasswordsIn(store, why);
        })) {
        std::fprintf(stderr, "kel: %s: %s\n", file.c_str(),
                     (error.empty() ? store.ErrorText() : error).c_str());
        return 1;
    }
    return 0;
}

// The audit trail beside the store, one record a line; with --verify only its check, exit 1 when
// the chain is broken; with --head also against a head of the chain kept elsewhere.
int Audit(const std::string& registry, const std::string& since, bool verify, const std::string& headFile) {
    kel::AuditTrail trail(kel::AuditTrail::PathBeside(registry));
    if (!fs::exists(kel::AuditTrail::PathBeside(registry)) || !trail.Open()) {
        std::fprintf(stderr, "kel: %s: brak dziennika zdarzen %s\n",
                     kel::AuditTrail::PathBeside(registry).c_str(), trail.ErrorText().c_str());
        return 1;
    }
    if (verify) {
        kel::AuditTrail::Head head;
        if (!headFile.empty()) {
            std::ifstream in(headFile, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            if (!in || !kel::AuditTrail::ParseHead(text.str(), head)) {
                std::fprintf(stderr, "kel: %s: to nie jest glowa dziennika zdarzen\n", headFile.c_str());
                return 1;
            }
        }
        const kel::AuditTrail::Check check = headFile.empty() ? trail.Verify() : trail.VerifyHead(head);
        if (!check.whole) {
            std::printf("Dziennik zdarzen naruszony: %s\n", check.why.c_str());
            return 1;
        }
        std::printf("Dziennik zdarzen nienaruszony: %zu zdarzen\n", check.records);
        if (!headFile.empty())
            std::printf("Zgodny z glowa dziennika: zdarzenie %lld z %s\n", static_cast<long long>(head.id),
                        head.at.c_str());
        return 0;
    }
    for (const kel::AuditRecord& r : trail.Read(since))
        std::printf("%6lld  %s  %s  %s  %s\n", static_cast<long long>(r.id), r.at.c_str(),
                    r.who.empty() ? "-" : r.who.c_str(), r.what.c_str(), r.detail.c_str());
    return 0;
}

// Writes the first-run defaults, as answering Yes to the first-run question does.
int RegDefaults(const std::string& registry) {
    auto config = std::make_unique<kel::TConfig>(registry);
    if (!config->WriteDefaults() || !config->WriteDefaultCameras()) {
        std::fprintf(stderr, "kel: %s: %s\n", registry.c_str(), config->Store().ErrorText().c_str());
        return 1;
    }
    return 0;
}

// Test hook: with KEL_TEST_CAPTURE_REPORT set, the pictures each camera's capture thread delivered
// are written to that file at the end of a run, a line "<camera> <pictures>" for each camera.
void WriteCaptureReport(const kel::Station& station) {
    const char* file = std::getenv("KEL_TEST_CAPTURE_REPORT");
    if (!file || !*file)
        return;
    std::ofstream out(file, std::ios::trunc);
    for (int n = 1; n <= kel::kCameraCount; ++n) {
        const kel::TCapture* capture = station.Capture(n);
        out << n << ' ' << (capture ? capture->Delivered() : 0) << '\n';
    }
}

// The signals that end a session are held from before the libraries are even initialised (the
// program's first code, run by the loader), so that one coming during the start is never the
// default end without a word; the window thread takes it once it can end the station in order.
void HoldEndingSignalsEarly(int, char**, char**) {
    kel::SignalWatcher::HoldEndingSignals();
}
[[gnu::section(".preinit_array"), gnu::used]] void (*const kHoldEarly)(int, char**,
                                                                       char**) = HoldEndingSignalsEarly;

std::string Absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
    kel::CommandLine cmd;
    std::string error;
    if (!cmd.Parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        std::fprintf(stderr, "kel: %s\n%s", error.c_str(), kel::CommandLine::Usage().c_str());
        return 2;
    }
    if (cmd.action == kel::CommandLine::Action::Help) {
        std::fputs(kel::CommandLine::Usage().c_str(), stdout);
        return 0;
    }
    if (cmd.action == kel::CommandLine::Action::Version) {
        std::puts(kel::CommandLine::Version().c_str());
        return 0;
    }
    std::string registry =
        Absolute(cmd.registry.empty() ? kel::CommandLine::DefaultRegistry() : cmd.registry);
    if (cmd.action == kel::CommandLine::Action::RegExport)
        return RegExport(registry, cmd.regFile.empty() ? "" : Absolute(cmd.regFile));
    if (cmd.action == kel::CommandLine::Action::RegImport)
        return RegImport(registry, Absolute(cmd.regFile));
    if (cmd.action == kel::CommandLine::Action::RegDefaults)
        return RegDefaults(registry);
    if (cmd.action == kel::CommandLine::Action::Audit)
        return Audit(registry, cmd.auditSince, cmd.auditVerify, cmd.auditHead);

    {
        // Made on first use; nothing is written where the program happened to be started.
        const std::string workdir = cmd.workdir.empty() ? kel::CommandLine::DefaultWorkDir() : cmd.workdir;
        std::error_code ec;
        fs::create_directories(workdir, ec);
        fs::current_path(workdir, ec);
        if (ec) {
            std::fprintf(stderr, "kel: --workdir %s: %s\n", workdir.c_str(), ec.message().c_str());
            return 2;
        }
    }

    std::string offscreenConfig;
    if (cmd.headless) {
        offscreenConfig = kel::WriteOffscreenScreenConfig(cmd.screenWidth, cmd.screenHeight);
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(kel::OffscreenPlatform(offscreenConfig)));
    }
    QApplication app(argc, argv);
    if (!offscreenConfig.empty())
        std::remove(offscreenConfig.c_str());
    QApplication::setWindowIcon(kel::ProgramIcon());
    kel::SpeakPolish(app);
    QApplication::setQuitOnLastWindowClosed(false);
    // Installed before the start-up chain: a signal held since the start is taken here and waits
    // for the event loop, or for the loop of a start-up box.
    kel::SignalWatcher watcher;

    kel::HeadlessMessageBox headlessBox(false);
    kel::QtMessageBox qtBox;
    kel::MessageBox& plainBox = cmd.headless ? static_cast<kel::MessageBox&>(headlessBox) : qtBox;
    kel::AutoYesMessageBox yesBox(plainBox);
    kel::EndingMessageBox box(cmd.yes ? static_cast<kel::MessageBox&>(yesBox) : plainBox);

    // A signal during the start-up chain closes the box it waits in (if any) and shows no more:
    // the chain stops where it is and the station ends in order once it has returned.
    kel::TMainForm* started = nullptr;
    QObject::connect(&watcher, &kel::SignalWatcher::endSession, [&] {
        if (started) {
            started->WMENDSESSION();
            return;
        }
        box.End();
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });

    kel::TShared shared;
    kel::StationOptions options{registry, cmd.headless, cmd.board, cmd.serial};

    // The main window first, then the station on it; the window's creation runs the start-up
    // chain, which may stop the station. The station goes before the window.
    auto mainForm = std::make_unique<kel::TMainForm>(shared, cmd.headless, registry);
    kel::LinuxSystemInfo systemInfo;
    kel::DbusScreenSaver screenSaver;
    kel::NoScreenSaver noScreenSaver;
    kel::InstanceLock instanceMark;
    kel::ScreenSaver& saver = cmd.headless ? static_cast<kel::ScreenSaver&>(noScreenSaver) : screenSaver;
    kel::Station station(options, shared, *mainForm, box, *mainForm, systemInfo, saver, instanceMark);
    mainForm->SetStation(station, instanceMark);
    const bool created = mainForm->FormCreate();
    if (watcher.TakePending())
        box.End();  // it came while the chain ran without a box
    if (box.Ending()) {
        if (created)
            mainForm->WMENDSESSION();
        return 0;
    }
    if (!created)
        return 1;
    kel::TSmartForm smartForm;
    kel::TSkinForm skinForm;
    kel::TLForm loginForm;
    kel::TUsersForm usersForm(box);
    kel::TConfigForm configForm(box, &skinForm, &usersForm);
    kel::TInfoForm infoForm;
    infoForm.SetSigningKey(QString::fromStdString(station.SigningKeyText()));
    kel::TPhotoForm photoForm;
    kel::TClosingForm closingForm;
    kel::TDebugger debugger;
    mainForm->SetCompanions({&debugger, &loginForm, &smartForm, &configForm, &infoForm, &photoForm});
    // Headless nobody can answer a dialog: the station gets no login or configuration window.
    station.AttachWindows({cmd.headless ? nullptr : &loginForm, cmd.headless ? nullptr : &configForm,
                           &smartForm, &closingForm});

    started = mainForm.get();
    int rc = app.exec();
    station.FormDestroy();
    WriteCaptureReport(station);
    return rc;
}
