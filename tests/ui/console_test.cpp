// The console on the offscreen platform: its geometry at the three window sizes, its skin, keys,
// buttons, labels, the presses on the video area, the camera menu and the tray click.

#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"
#include "platform/polish_locale.h"
#include "ptz/pty_pair.h"
#include "support/station_peer.h"
#include "ui/application_setup.h"
#include "ui/command_label.h"
#include "ui/console_fixture.h"
#include "ui/ez_rgn_btn.h"

namespace kel {
namespace {

using ConsoleTest = ConsoleFixture;

TEST_F(ConsoleTest, GeometryAtTheThreeWindowSizes) {
    for (QSize size : {QSize(1024, 768), QSize(1152, 864), QSize(1280, 1024)}) {
        SCOPED_TRACE(size.width());
        const int w = size.width(), h = size.height(), drop = w == 1280 ? 234 : 0;
        Prepare([&](TConfig& c) {
            c.Width = w;
            c.Height = h;
        });
        ASSERT_TRUE(Start());
        TMainForm& f = *form;
        EXPECT_EQ(f.size(), size);
        EXPECT_EQ(f.pos(), QPoint((1280 - w) / 2, (1024 - h) / 2)) << "centred on the screen";
        EXPECT_EQ(f.w_TitleBar->geometry(), QRect(0, 0, w, 21));
        EXPECT_EQ(f.w_ComandBar->geometry(), QRect(0, 21, w, 20));
        EXPECT_EQ(f.BtnClose->geometry(), QRect(w - 18, 0, 16, 21));
        EXPECT_EQ(f.BtnMax->x(), w - 36);
        EXPECT_EQ(f.BtnMin->x(), w - 54);
        EXPECT_EQ(f.BtnSmart->x(), w - 72);
        EXPECT_EQ(f.LConfigLabel->pos(), QPoint(10, 24));
        EXPECT_EQ(f.Label4->pos(), QPoint(236, 24));
        EXPECT_EQ(f.ControlPanel->geometry(), QRect(0, 40, 250, h - 40));
        EXPECT_EQ(f.w_Ptz->geometry(), QRect(0, 494, 250, h - 534));
        EXPECT_EQ(f.w_Clock->geometry(), QRect(0, 98, 250, 125));
        EXPECT_EQ(f.l_Timer->pos(), QPoint(66, 128));
        EXPECT_EQ(f.Func01->geometry(), QRect(35, 233, 42, 36));
        EXPECT_EQ(f.FuncRec->pos(), QPoint(170, 273));
        EXPECT_EQ(f.Btn[1]->pos(), QPoint(35, 328));
        EXPECT_EQ(f.Btn[16]->pos(), QPoint(170, 448));
        EXPECT_EQ(f.btnView->pos(), QPoint(32, 656));
        EXPECT_EQ(f.btnzoom->pos(), QPoint(176, 656));
        EXPECT_EQ(f.EzRgnBtn4->geometry(), QRect(81, 534 + drop, 88, 40));
        EXPECT_EQ(f.EzRgnBtn1->geometry(), QRect(37, 574 + drop, 44, 76));
        EXPECT_EQ(f.EzRgnBtn5->geometry(), QRect(81, 574 + drop, 88, 40));
        EXPECT_EQ(f.EzRgnBtn6->geometry(), QRect(81, 614 + drop, 88, 36));
        EXPECT_EQ(f.EzRgnBtn2->geometry(), QRect(169, 574 + drop, 44, 76));
        EXPECT_EQ(f.EzRgnBtn3->geometry(), QRect(81, 650 + drop, 88, 40));
        EXPECT_EQ(f.w_Tlo->geometry(), QRect(250, 41, w - 250, h - 41));
        const bool fixedArrows = f.EzRgnBtn1->PicDown().toImage() ==
                                 QImage("Skins/Default/1152/left_on.bmp")
                                     .convertToFormat(f.EzRgnBtn1->PicDown().toImage().format());
        EXPECT_EQ(fixedArrows, w == 1152) << "the 1152 arrows have pictures of their own";
        EXPECT_EQ(Count("Poprawnie wczytano pliki graficzne - Folder: Default/" + std::to_string(w)), 1);
        form->station().EndSession();
        station.reset();
        form.reset();
        fs::remove(Store());
        fs::remove(dir.File("Server.log"));
    }
}

TEST_F(ConsoleTest, EveryButtonHasItsHint) {
    Prepare([](TConfig&) {});
    ASSERT_TRUE(Start());
    TMainForm& f = *form;
    const std::pair<QWidget*, const char*> hints[] = {
        {f.BtnSmart, "Tryb SmartView"}, {f.BtnMin, "Minimalizuj"},
        {f.BtnMax, "Pełny Ekran"},      {f.BtnClose, "Zamknij Apikację"},
        {f.Func01, "1 Kamera"},         {f.Func04, "4 Kamery"},
        {f.Func09, "9 Kamer"},          {f.Func16, "16 Kamer"},
        {f.Func08, "8 Kamer"},          {f.Func13, "13 Kamer"},
        {f.FuncSwitch, "Sekwencja"},    {f.FuncRec, "Zoom"},
        {f.Btn[1], "Kamera 1"},         {f.Btn[16], "Kamera 16"},
        {f.btnView, "Przeglądarka"},    {f.btnTools, "Konfiguracja"},
        {f.btnWeb, "Wizualizacja"},     {f.btnzoom, "Foto"},
    };
    for (auto [w, hint] : hints)
        EXPECT_EQ(w->toolTip().toStdString(), hint) << w->objectName().toStdString();
    const std::pair<QLabel*, const char*> labels[] = {{f.LConfigLabel, "Konfiguracja"},
                                                      {f.Label2, "Przeglądarka"},
                                                      {f.Label3, "Witryna WWW"},
                                                      {f.Label4, "Informacje"}};
    for (auto [label, text] : labels) {
        EXPECT_EQ(label->text().toStdString(), text);
        auto* l = static_cast<TCommandLabel*>(label);
        EXPECT_EQ(l->TextColor(), QColor(0x626262));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(l, &enter);
        EXPECT_EQ(l->TextColor(), QColor(0xffffff)) << text;
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(l, &leave);
        EXPECT_EQ(l->TextColor(), QColor(0x626262));
    }
}

// The keyboard table, row by row; Alt+digit selects the plain digit's camera first, then its
// own.
TEST_F(ConsoleTest, TheKeys) {
    Prepare([](TConfig& c) { c.StartMode = 3; });
    ASSERT_TRUE(Start());
    Key(Qt::Key_F2);
    EXPECT_EQ(shared.Layout, 1);
    Key(Qt::Key_F6);
    EXPECT_EQ(shared.Layout, 5);
    Key(Qt::Key_Z);
    EXPECT_FALSE(shared.ZoomOn) << "Z only in the one-camera layout";
    Key(Qt::Key_3);
    EXPECT_EQ(shared.SingleCamera, 3);
    EXPECT_EQ(shared.Layout, 0);
    Key(Qt::Key_0);
    EXPECT_EQ(shared.SingleCamera, 10);
    Key(Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(shared.SingleCamera, 11);
    EXPECT_EQ(Count("Wybarno pojedynczą kamerę: 1"), 1);
    EXPECT_EQ(Count("Wybarno pojedynczą kamerę: 11"), 1);
    Key(Qt::Key_6, Qt::AltModifier);
    EXPECT_EQ(shared.SingleCamera, 16);
    Key(Qt::Key_Z);
    EXPECT_TRUE(shared.ZoomOn);
    EXPECT_EQ(form->FuncRec->PicIdle().toImage(), form->FuncRec->PicDown().toImage())
        << "armed, and it shows";
    Key(Qt::Key_Z);
    EXPECT_FALSE(shared.ZoomOn);

    Key(Qt::Key_F);
    EXPECT_EQ(shared.ViewMode, kViewFull);
    EXPECT_EQ(form->geometry(), QRect(0, 0, 1280, 1024));
    EXPECT_EQ(form->w_Tlo->geometry(), QRect(0, 0, 1280, 1024));
    EXPECT_FALSE(form->ControlPanel->isVisible());
    Key(Qt::Key_S);
    EXPECT_EQ(shared.ViewMode, kViewFull) << "S does nothing in full screen";
    Key(Qt::Key_Escape);
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_EQ(form->geometry(), QRect(128, 128, 1024, 768));
    EXPECT_TRUE(form->ControlPanel->isVisible());
    Key(Qt::Key_F);
    Key(Qt::Key_F);
    EXPECT_EQ(shared.ViewMode, kViewWindow) << "F toggles";

    test::WhenModal([&] {
        EXPECT_EQ(shared.ViewMode, kViewSmart);
        EXPECT_EQ(shared.Layout, 0);
        smart.done(0);
    });
    Key(Qt::Key_S);
    EXPECT_EQ(shared.ViewMode, kViewWindow) << "SmartView closed: back to window mode";

    Key(Qt::Key_M);
    EXPECT_FALSE(form->IsVisible());
    Key(Qt::Key_M);
    EXPECT_TRUE(form->IsVisible());

    Key(Qt::Key_C);
    EXPECT_EQ(Count("Wlaczono konfigurator"), 1);
    shared.CurrentUser = kNobody;
    Key(Qt::Key_C);
    EXPECT_EQ(Count("Wlaczono konfigurator"), 1) << "nobody logged in: refused silently";

    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(debugger.isVisible());
    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(debugger.isVisible());
}

TEST_F(ConsoleTest, TheButtonsAndLabels) {
    Prepare([](TConfig&) {});
    ASSERT_TRUE(Start());
    TMainForm& f = *form;
    f.Func16->click();
    EXPECT_EQ(shared.Layout, 3);
    f.Btn[7]->click();
    EXPECT_EQ(shared.SingleCamera, 7);
    EXPECT_EQ(shared.Layout, 0);
    f.FuncRec->click();
    EXPECT_TRUE(shared.ZoomOn);
    f.FuncSwitch->click();
    EXPECT_TRUE(shared.SequenceOn);
    EXPECT_FALSE(shared.ZoomOn);
    f.btnWeb->click();
    EXPECT_TRUE(shared.PlanView);
    f.btnWeb->click();
    EXPECT_FALSE(shared.PlanView);

    f.btnView->click();
    emit f.Label2->clicked();
    // The console's user goes on a descriptor, never on the command line.
    const QString viewer = TMainForm::ViewerProgram() + " --workdir " + QDir::currentPath() + " --registry " +
                           QString::fromStdString(Store()) + " --login-fd 3";
    EXPECT_EQ(started, (std::vector<QString>(2, viewer)));
    // The login and the stored hash of the password, never the password.
    ASSERT_EQ(handedOver.size(), 2u);
    EXPECT_EQ(handedOver[0], handedOver[1]);
    EXPECT_EQ(handedOver[0].rfind("kel\npbkdf2-sha256$", 0), 0u) << handedOver[0];
    EXPECT_EQ(handedOver[0].find("qxv"), std::string::npos);
    EXPECT_TRUE(TMainForm::ViewerProgram().endsWith("/kel-viewer"));
    emit f.Label3->clicked();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(TMainForm::DocumentationFile()));
    f.btnTools->click();
    emit f.LConfigLabel->clicked();
    EXPECT_EQ(Count("Wlaczono konfigurator"), 2);

    test::WhenModal([&] {
        EXPECT_EQ(info.windowTitle(), "System Cyfrowej Rejestracji Obrazu ");
        info.accept();
    });
    emit f.Label4->clicked();

    f.BtnMax->click();
    EXPECT_EQ(shared.ViewMode, kViewFull);
    Key(Qt::Key_Escape);
    f.BtnMin->click();
    EXPECT_FALSE(f.IsVisible());
    form->TrayClick();
    EXPECT_TRUE(f.IsVisible());
    box.answers = {false};
    f.BtnClose->click();
    EXPECT_EQ(box.shown.back().kind, BoxKind::Question) << "the close question";
    EXPECT_TRUE(f.IsVisible());
}

// A click on the tray icon brings the window back only when none of its dialogs is open.
TEST_F(ConsoleTest, TheTrayClickWaitsForTheLoginDialog) {
    Prepare([](TConfig&) {});
    ASSERT_TRUE(Start());
    form->TrayClick();
    EXPECT_FALSE(form->IsVisible());
    login.show();
    form->TrayClick();
    EXPECT_FALSE(form->IsVisible());
    login.hide();
    form->TrayClick();
    EXPECT_TRUE(form->IsVisible());
}

// Presses on the live picture: a right click opens the camera menu on the tile's camera and a
// choice puts another camera there, stored at shutdown; Shift+left only switches the monitor
// output; the pointer shows a hand over a tile.
TEST_F(ConsoleTest, TheVideoAreaAndTheCameraMenu) {
    Prepare([](TConfig& c) {
        c.StartMode = 2;  // nine cameras
        c.Cameras[6].Name.Set("Brama");
    });
    ASSERT_TRUE(Start());
    WaitForPicture();
    VideoArea* area = form->w_Tlo;
    const QPoint slot3(2 * 258 + 20, 20);  // the third tile of the top row
    Click(area, Qt::LeftButton, slot3, Qt::ShiftModifier);
    EXPECT_TRUE(debugger.Memo->toPlainText().contains("kanal : 3"));
    auto sim = std::dynamic_pointer_cast<SimBoard>(HicapBackend());
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->TvOutChannel(), 2) << "camera 3 on the monitor output";
    EXPECT_EQ(shared.Layout, 2) << "nothing changes on screen";

    QMouseEvent move(QEvent::MouseMove, slot3, area->mapToGlobal(slot3), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    EXPECT_EQ(area->cursor().shape(), Qt::PointingHandCursor);

    Click(area, Qt::RightButton, slot3);
    ASSERT_TRUE(form->PopMenuCamera->isVisible());
    QList<QAction*> actions = form->PopMenuCamera->actions();
    ASSERT_EQ(actions.size(), 18);
    EXPECT_EQ(actions[0]->text(), "Konfiguracja Kamery: 3");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[8]->text(), "7  :  Brama");
    actions[8]->trigger();
    form->PopMenuCamera->hide();
    EXPECT_EQ(actions[0]->text(), "Konfiguracja Kamery: ");
    EXPECT_EQ(form->station().Snapshot()->settings.CamMode9[2], 7);

    Click(area, Qt::LeftButton, QPoint(20, 20));
    EXPECT_EQ(shared.Layout, 0);
    EXPECT_EQ(shared.SingleCamera, 1);
    EXPECT_EQ(Count("Kliknięto kamerę: 1"), 1);

    form->station().EndSession();
    station.reset();
    form.reset();
    TConfig stored(Store());
    ASSERT_TRUE(stored.Load());
    EXPECT_EQ(stored.CamMode9[2], 7);
}

// The pad sends its telegram on press and the stop on release, for the camera shown.
TEST_F(ConsoleTest, ThePadSteersTheCameraShown) {
    PtyPair line;
    ASSERT_TRUE(line.Ok());
    Prepare([](TConfig& c) { c.CamMode1 = 3; });
    ASSERT_TRUE(Start(line.SlavePath()));
    QDeadlineTimer deadline(5000);
    while (!StationTestPeer(form->station()).PtzPort()->Connected() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(StationTestPeer(form->station()).PtzPort()->Connected());
    Key(Qt::Key_3);
    const QPoint mid(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, mid, form->EzRgnBtn4->mapToGlobal(mid), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->EzRgnBtn4, &press);
    EXPECT_EQ(ReadBytes(line.Master(), 7), (std::vector<int>{0xFF, 3, 0, 0x08, 0, 0x26, 0x31}));
    QMouseEvent release(QEvent::MouseButtonRelease, mid, form->EzRgnBtn4->mapToGlobal(mid), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form->EzRgnBtn4, &release);
    EXPECT_EQ(ReadBytes(line.Master(), 7), (std::vector<int>{0xFF, 3, 0, 0, 0, 0, 3}));
}

// A main-window picture that is missing stops the start with the coded text, the pictures before
// it loaded; the last one, too.
TEST_F(ConsoleTest, AMissingMainWindowPictureStopsTheStart) {
    for (const char* missing : {"w_title_bar.bmp", "btn_web_on.bmp"}) {
        SCOPED_TRACE(missing);
        fs::remove_all("Skins");
        fs::create_directories("Skins/Broken");
        fs::copy(fs::path(KEL_SKINS_DIR) / "Default/1024", "Skins/Broken/1024");
        fs::remove(fs::path("Skins/Broken/1024") / missing);
        Prepare([](TConfig& c) { c.Skin = "Broken"; });
        box.answers = {};
        EXPECT_FALSE(Start());
        EXPECT_NE(LogText().find("[ERR][SYS]"), std::string::npos);
        EXPECT_EQ(box.shown.back().text, "{#0008} Brak plików graficznych");
        EXPECT_EQ(Count("Poprawnie wczytano pliki graficzne - Folder: Broken/1024"), 0);
        const bool last = std::string(missing) == "btn_web_on.bmp";
        EXPECT_EQ(!form->btnWeb->PicIdle().isNull(), last)
            << "the pictures before the missing one are loaded";
        form->station().FormDestroy();
        station.reset();
        form.reset();
        fs::remove(Store());
        fs::remove(dir.File("Server.log"));
    }
}

// What kel and kel-viewer set up before their first window: the toolkit's boxes and dialogs, and
// dates, in Polish.
TEST(ApplicationSetupTest, TheProgramsSpeakPolish) {
    ASSERT_TRUE(SpeakPolish(*qApp));
    QMessageBox box(QMessageBox::Warning, "Uwaga!", "?", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Tak");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Nie");
    EXPECT_EQ(QLocale().standaloneMonthName(12), QString::fromUtf8("grudzień"));
    EXPECT_EQ(QLocale().dayName(1, QLocale::ShortFormat), QString::fromUtf8("pon."));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), QString::fromUtf8("&Otwórz"));
    EXPECT_FALSE(ProgramIcon().isNull());
}

}  // namespace
}  // namespace kel
