// The main window's glue to the start-up chain on the offscreen platform: the queued second stage,
// the login dialog, the close question and Ctrl+D.

#include "ui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "display/direct_x.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/debugger.h"
#include "ui/l_form.h"
#include "ui/smart_form.h"
#include "ui/test_util.h"
#include "ui/video_area.h"

namespace kel {
namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins");
        box.answers = {true};  // the first-run defaults
    }
    void TearDown() override {
        station.reset();
        form.reset();
        std::filesystem::current_path(old_cwd_);
    }
    void Create(bool headless) {
        form = std::make_unique<TMainForm>(shared, headless, dir.File("registry.sqlite"));
        mark = std::make_unique<InstanceLock>();
        station = std::make_unique<Station>(
            StationOptions{dir.File("registry.sqlite"), headless, "sim", dir.File("no-such-tty")}, shared,
            *form, box, *form, systemInfo, screenSaver, *mark);
        form->SetStation(*station, *mark);
        ASSERT_TRUE(form->FormCreate());
        form->SetCompanions({&debugger, &login, &smart, nullptr, nullptr});
        station->AttachWindows({headless ? nullptr : &login, nullptr, &smart, nullptr});
    }
    int StoredCorrectClose() {
        TConfig c(dir.File("registry.sqlite"));
        RegValue v;
        return c.Store().Open(dir.File("registry.sqlite")) &&
                       c.Store().ReadValue(TConfig::kKey, "b_CorrectClose", v)
                   ? v.data.at(0)
                   : -1;
    }

    TempDir dir;
    std::filesystem::path old_cwd_;
    TShared shared;
    FakeMessageBox box;
    TDebugger debugger;
    TLForm login;
    TSmartForm smart;
    LinuxSystemInfo systemInfo;
    NoScreenSaver screenSaver;
    std::unique_ptr<InstanceLock> mark;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<Station> station;

    // "kel" with the default password is asked for a new one after the login: "Później".
    static void LaterForTheNewPassword() {
        QTimer::singleShot(0, qApp, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                open->reject();
        });
    }
};

TEST_F(MainFormTest, TheSecondStageRunsFromTheEventLoopAndShowsTheLoginDialog) {
    Create(false);
    EXPECT_EQ(form->Label1->text(), "KEL 50 wersja 2.0.3 PRO");
    EXPECT_EQ(form->size(), QSize(1024, 768));
    EXPECT_EQ(shared.CurrentUser, kNobody) << "nothing of the second stage has run yet";
    test::WhenModal([&] {
        login.ed_Login->setText("kel");
        login.ed_Pass->setText("qxv");
        login.EzRgnBtn1Click();
        LaterForTheNewPassword();
    });
    QApplication::processEvents();
    EXPECT_EQ(shared.CurrentUser, 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(debugger.isVisible());
    test::PressKey(form.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(debugger.isVisible());
    test::PressKey(form.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(debugger.isVisible());
}

TEST_F(MainFormTest, ClosingAsksAndOnlyYesShutsDown) {
    Create(true);
    QApplication::processEvents();
    ASSERT_TRUE(form->isVisible());
    // Headless nobody can log in to give the right to close: the window stays, nothing is asked.
    const size_t boxes = box.shown.size();
    EXPECT_FALSE(form->close());
    EXPECT_EQ(box.shown.size(), boxes);
    shared.CurrentUser = 0;  // kel, who may change the configuration
    box.answers = {false};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(StoredCorrectClose(), 0);
    box.answers = {true};
    EXPECT_TRUE(form->close());
    EXPECT_EQ(StoredCorrectClose(), 1);
    EXPECT_EQ(box.shown.back().kind, BoxKind::Question);
    EXPECT_EQ(box.shown.back().text,
              "Zamknięcie Aplikacji przerywa rejestrację obrazu. Czy na pewno zamknąć Aplikację?");
}

TEST_F(MainFormTest, TheEndOfTheSessionShutsDownWithoutAQuestion) {
    Create(true);
    QApplication::processEvents();
    size_t boxes = box.shown.size();
    form->WMENDSESSION();
    EXPECT_EQ(box.shown.size(), boxes);
    EXPECT_EQ(StoredCorrectClose(), 1);
}

// The video area right of the control panel and below the bars shows the display thread's
// pictures, painted from the window thread.
TEST_F(MainFormTest, TheVideoAreaShowsTheRenderersPictures) {
    Create(false);
    auto* area = form->findChild<VideoArea*>("w_Tlo");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->geometry(), QRect(250, 41, 774, 727));
    EXPECT_EQ(form->VideoOutput(), area);
    test::WhenModal([&] {
        login.ed_Login->setText("kel");
        login.ed_Pass->setText("qxv");
        login.EzRgnBtn1Click();
        LaterForTheNewPassword();
    });
    QDeadlineTimer deadline(10000);
    while (area->Picture(PresentTarget::MainWindow).isNull() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QImage picture = area->Picture(PresentTarget::MainWindow);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(774, 727));
    QImage painted = area->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted.pixel(100, 100), picture.pixel(100, 100));
    box.answers = {true};
    EXPECT_TRUE(form->close());
}

// Hidden or minimised, the window shows nothing, and the renderer is told so (the display thread
// then draws nothing); headless, nothing is ever watched.
TEST_F(MainFormTest, NothingIsDrawnWhileNoWindowShowsThePictures) {
    for (bool headless : {false, true}) {
        SCOPED_TRACE(headless ? "headless" : "on a screen");
        Create(headless);
        test::WhenModal([&] {
            login.ed_Login->setText("kel");
            login.ed_Pass->setText("qxv");
            login.EzRgnBtn1Click();
            LaterForTheNewPassword();
        });
        TDirectX* renderer = form->station().Renderer();
        ASSERT_NE(renderer, nullptr);
        auto until = [](const std::function<bool()>& done) {
            QDeadlineTimer deadline(10000);
            while (!done() && !deadline.hasExpired())
                QApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        };
        if (headless) {
            QApplication::processEvents();
            EXPECT_EQ(form->VideoOutput(), nullptr);
            EXPECT_EQ(renderer->Watched.load(), 0);
        } else {
            ASSERT_TRUE(until([&] { return renderer->TilesDrawn() > 0; }));
            form->HideWindow();
            EXPECT_TRUE(until([&] { return renderer->Watched.load() == 0; }));
            form->ShowWindow();
            EXPECT_TRUE(until([&] { return renderer->Watched.load() == 1; }));
        }
        box.answers = {true};
        shared.CurrentUser = 0;  // headless nobody logs in: kel, who may close the station
        EXPECT_TRUE(form->close());
        station.reset();
        form.reset();
        std::filesystem::remove(dir.File("registry.sqlite"));
        box.answers = {true};
    }
}

}  // namespace
}  // namespace kel
