#pragma once
// A console on the offscreen platform for the window tests: a fresh working directory with the
// built skins, a store with the defaults, the automatic login and a test's changes, and the main
// window with its companions after the second stage.

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QUrl>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/debugger.h"
#include "ui/info_form.h"
#include "ui/l_form.h"
#include "ui/main_form.h"
#include "ui/photo_form.h"
#include "ui/smart_form.h"
#include "ui/test_util.h"
#include "ui/video_area.h"

namespace kel {

namespace fs = std::filesystem;

class ConsoleFixture : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = fs::current_path();
        fs::current_path(dir.Path());
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
        fs::create_directory_symlink(KEL_SKINS_DIR, "Skins");
    }
    // The station's end of the session, not the window's: the window's also ends the event loop,
    // which would stop every later dialog of the test program at once.
    void TearDown() override {
        if (station)
            station->EndSession();
        station.reset();
        form.reset();
        fs::current_path(old_cwd_);
    }
    // A store with the defaults, the automatic login and the test's changes.
    template <typename F>
    void Prepare(F change) {
        TConfig c(Store());
        ASSERT_TRUE(c.WriteDefaults() && c.WriteDefaultCameras() && c.Load());
        c.AutoLogin = true;
        change(c);
        ASSERT_TRUE(c.SaveAll() && c.SaveCameras());
    }
    // The console after its second stage, logged in as kel.
    bool Start(const std::string& serial = "") {
        form = std::make_unique<TMainForm>(shared, false, Store());
        mark = std::make_unique<InstanceLock>();
        station = std::make_unique<Station>(
            StationOptions{Store(), false, "sim", serial.empty() ? dir.File("no-such-tty") : serial}, shared,
            *form, box, *form, systemInfo, screenSaver, *mark);
        form->SetStation(*station, *mark);
        form->SetCompanions({&debugger, &login, &smart, nullptr, &info, &photo});
        station->AttachWindows({&login, nullptr, &smart, nullptr});
        form->StartProgram = [this](const QString& p, const QStringList& arguments,
                                    const std::string& handOver) {
            started.push_back(p + " " + arguments.join(' '));
            handedOver.push_back(handOver);
            return false;
        };
        form->OpenUrl = [this](const QUrl& u) {
            opened.push_back(u);
            return false;
        };
        if (!form->FormCreate())
            return false;
        QApplication::processEvents();
        return shared.CurrentUser == 0;
    }
    std::string Store() { return dir.File("registry.sqlite"); }
    std::string LogText() { return ReadFile(dir.File("Server.log")); }
    int Count(const std::string& line) {
        std::string log = LogText();
        int n = 0;
        for (size_t p = log.find("] " + line + "\r"); p != std::string::npos;
             p = log.find("] " + line + "\r", p + 1))
            ++n;
        return n;
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) { test::PressKey(form.get(), key, mods); }
    // Waits until the display thread has laid out a layout, so the hit test answers.
    void WaitForPicture() {
        QDeadlineTimer deadline(10000);
        auto* area = form->w_Tlo;
        uint64_t before = area->Presented();
        while (area->Presented() < before + 2 && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    void Click(QWidget* w, Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, mods);
        QApplication::sendEvent(w, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton, mods);
        QApplication::sendEvent(w, &release);
    }

    TempDir dir;
    fs::path old_cwd_;
    TShared shared;
    FakeMessageBox box;
    TDebugger debugger;
    TLForm login;
    TSmartForm smart;
    TInfoForm info;
    FixedClock clock{LocalTime{2026, 12, 6, 9, 25, 35, 7}};
    TPhotoForm photo{clock};
    LinuxSystemInfo systemInfo;
    NoScreenSaver screenSaver;
    std::unique_ptr<InstanceLock> mark;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<Station> station;  // after the window: it goes first
    std::vector<QString> started;
    std::vector<std::string> handedOver;  // what each start gave the program on its descriptor 3
    std::vector<QUrl> opened;
};

}  // namespace kel
