// SmartView on the offscreen platform: its place and controls, its camera menu and keys, the ways
// it closes and where it is stored; and the snapshot viewer reached from the console.

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "platform/audit_trail.h"
#include "platform/sha256.h"
#include "support/station_peer.h"
#include "ui/console_fixture.h"
#include "ui/ez_rgn_btn.h"

namespace kel {
namespace {

class SmartViewTest : public ConsoleFixture {
protected:
    void StartAt(int x, int y) {
        Prepare([&](TConfig& c) {
            c.Smart_X = x;
            c.Smart_Y = y;
            c.Cameras[4].Name.Set("Brama");
        });
        ASSERT_TRUE(Start());
    }
    // Runs `inside` while SmartView is open (key S on the main window), which must close it.
    void InSmartView(std::function<void()> inside) {
        test::WhenModal(std::move(inside));
        Key(Qt::Key_S);
    }
    void SmartKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) { test::PressKey(&smart, key, mods); }
    std::pair<int, int> StoredPlace() {
        TConfig stored(Store());
        EXPECT_TRUE(stored.Load());
        return {stored.Smart_X, stored.Smart_Y};
    }
};

TEST_F(SmartViewTest, PlaceControlsAndMenu) {
    StartAt(300, 200);
    EXPECT_EQ(smart.geometry(), QRect(300, 200, 259, 209));
    EXPECT_TRUE(smart.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(smart.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(smart.BtnSelect->geometry(), QRect(205, 0, 18, 18));
    EXPECT_EQ(smart.BtnMain->geometry(), QRect(223, 0, 18, 18));
    EXPECT_EQ(smart.BtnClose->geometry(), QRect(241, 0, 18, 18));
    EXPECT_EQ(smart.w_Video->geometry(), QRect(0, 18, 259, 191));
    EXPECT_EQ(QRect(smart.Video()->mapTo(&smart, QPoint(0, 0)), smart.Video()->size()),
              QRect(2, 20, 255, 188));
    EXPECT_FALSE(smart.w_TitleBar->pixmap().isNull());

    QList<QAction*> items = smart.PopMenu->actions();
    ASSERT_EQ(items.size(), 17);
    EXPECT_EQ(items[0]->text(), "Kamera 1  :  1");
    EXPECT_EQ(items[4]->text(), "Brama  :  5");
    EXPECT_EQ(items[16]->text(), "Sekwencja");
    shared.ZoomOn = true;
    items[4]->trigger();
    EXPECT_EQ(shared.SingleCamera, 5);
    EXPECT_EQ(shared.Layout, 0);
    EXPECT_FALSE(shared.ZoomOn);
    EXPECT_EQ(Count("Wybarno pojedynczą kamerę: 5"), 1);
    items[16]->trigger();
    EXPECT_TRUE(shared.SequenceOn);
    items[16]->trigger();
    EXPECT_FALSE(shared.SequenceOn) << "Sekwencja twice: on, then off";
}

// While SmartView is open the main window is hidden, the renderer draws into the small window
// without names and stamps, and the digits choose cameras (Alt+3: 3, then 13).
TEST_F(SmartViewTest, KeysAndWhatTheOpenWindowShows) {
    StartAt(300, 200);
    InSmartView([&] {
        EXPECT_EQ(shared.ViewMode, kViewSmart);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->station().Renderer()->HideNames.load(), 1);
        SmartKey(Qt::Key_7);
        EXPECT_EQ(shared.SingleCamera, 7);
        SmartKey(Qt::Key_3, Qt::AltModifier);
        EXPECT_EQ(shared.SingleCamera, 13);
        EXPECT_EQ(Count("Wybarno pojedynczą kamerę: 3"), 1);
        EXPECT_EQ(Count("Wybarno pojedynczą kamerę: 13"), 1);
        QDeadlineTimer deadline(10000);
        while (smart.Video()->Picture(PresentTarget::SmartView).isNull() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(smart.Video()->Picture(PresentTarget::SmartView).size(), QSize(255, 188));
        SmartKey(Qt::Key_S);
    });
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_TRUE(form->IsVisible());
    EXPECT_EQ(form->station().Renderer()->HideNames.load(), 0);
}

// Start mode 2 opens SmartView before the login, which follows once it is closed.
TEST_F(SmartViewTest, TheStartModeCanBeSmartView) {
    Prepare([](TConfig& c) { c.AppMode = 2; });
    // The second stage runs from the event loop: wait there for SmartView to come up.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!smart.isVisible())
            return;
        closer.stop();
        EXPECT_EQ(shared.ViewMode, kViewSmart);
        EXPECT_EQ(shared.CurrentUser, kNobody) << "the login comes after";
        smart.close();
    });
    closer.start(20);
    ASSERT_TRUE(Start());
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_TRUE(form->IsVisible());
}

TEST_F(SmartViewTest, EveryWayOfClosingBringsTheMainWindowBack) {
    StartAt(300, 200);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"S", [&] { SmartKey(Qt::Key_S); }},
        {"BtnMain", [&] { emit smart.BtnMain->pressed(); }},
        {"the system's close", [&] { smart.close(); }},
    };
    for (const auto& [way, close] : ways) {
        SCOPED_TRACE(way);
        InSmartView(close);
        EXPECT_EQ(shared.ViewMode, kViewWindow);
        EXPECT_TRUE(form->IsVisible());
    }
    // Its close button closes the program through the main window's question: No keeps it.
    box.answers = {false};
    InSmartView([&] { smart.BtnClose->click(); });
    EXPECT_EQ(box.shown.back().kind, BoxKind::Question);
    EXPECT_TRUE(form->IsVisible());
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    box.answers = {true};
    InSmartView([&] { smart.BtnClose->click(); });
    EXPECT_TRUE(form->station().ShutDown());
}

TEST_F(SmartViewTest, ARightClickOpensTheMenuOnThePictureNotOnTheTitleBar) {
    StartAt(300, 200);
    InSmartView([&] {
        Click(smart.w_TitleBar, Qt::RightButton, QPoint(50, 9));
        EXPECT_FALSE(smart.PopMenu->isVisible());
        Click(smart.w_Video, Qt::RightButton, QPoint(1, 100));
        EXPECT_TRUE(smart.PopMenu->isVisible()) << "the frame";
        smart.PopMenu->hide();
        Click(smart.Video(), Qt::RightButton, QPoint(100, 100));
        EXPECT_TRUE(smart.PopMenu->isVisible()) << "the picture";
        EXPECT_EQ(smart.PopMenu->pos(), smart.Video()->mapToGlobal(QPoint(100, 118)));
        smart.PopMenu->hide();
        smart.close();
    });
}

// The place written back is where the window stands; a window never shown keeps the stored one.
TEST_F(SmartViewTest, ThePositionIsStoredAtShutdown) {
    StartAt(300, 200);
    form->station().EndSession();
    EXPECT_EQ(StoredPlace(), std::make_pair(300, 200)) << "never shown";
    station.reset();
    form.reset();
    ASSERT_TRUE(Start());
    InSmartView([&] {
        // A drag by the title bar (the offscreen platform has no window system move).
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(50, 9), QPointF(350, 209), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(smart.w_TitleBar, &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(90, 39), QPointF(390, 239), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(smart.w_TitleBar, &move);
        EXPECT_TRUE(StationTestPeer(form->station()).DisplayThread()->Suspended()) << "paused while it moves";
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(90, 39), QPointF(390, 239), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(smart.w_TitleBar, &release);
        EXPECT_FALSE(StationTestPeer(form->station()).DisplayThread()->Suspended());
        smart.close();
    });
    EXPECT_EQ(smart.pos(), QPoint(340, 230));
    form->station().EndSession();
    EXPECT_EQ(StoredPlace(), std::make_pair(340, 230));
}

TEST(SnapshotTest, SizeAndFileName) {
    EXPECT_EQ(TPhotoForm::SnapshotSize(1024), QSize(774, 633));
    EXPECT_EQ(TPhotoForm::SnapshotSize(1152), QSize(902, 738));
    EXPECT_EQ(TPhotoForm::SnapshotSize(1280), QSize(1030, 843));
    const LocalTime t{2026, 12, 6, 9, 25, 35, 7};
    EXPECT_EQ(TPhotoForm::FileName("", t), "KEL_Foto06-12-26_09-25-35.bmp");
    EXPECT_EQ(TPhotoForm::FileName("/srv/zdjecia", t), "/srv/zdjecia/KEL_Foto06-12-26_09-25-35.bmp");
    EXPECT_EQ(TPhotoForm::FileName("/srv/zdjecia/", t), "/srv/zdjecia/KEL_Foto06-12-26_09-25-35.bmp");
    EXPECT_EQ(TPhotoForm::FileName("/", t), "/KEL_Foto06-12-26_09-25-35.bmp");
}

// "Foto" shows the last composed picture centred on the console; saving writes it whole, a second
// save in the same second replaces the first, a drive letter's root takes it directly, and a
// folder that is gone keeps the dialog open with the error.
TEST_F(SmartViewTest, TheSnapshotIsSavedWhereTheOperatorChooses) {
    Prepare([](TConfig&) {});
    ASSERT_TRUE(Start());
    WaitForPicture();
    fs::create_directories("zdjecia");
    fs::create_directories("gone");  // the tree reads a folder once: it is there from the start
    std::vector<QString> warnings;
    photo.Warn = [&](const QString& title, const QString& text) { warnings.push_back(title + ": " + text); };
    const QString name = TPhotoForm::FileName("", clock.Now());

    test::WhenModal([&] {
        EXPECT_EQ(photo.size(), QSize(581, 402));
        EXPECT_LE((photo.geometry().center() - form->geometry().center()).manhattanLength(), 2);
        EXPECT_EQ(photo.Picture().size(), QSize(774, 633));
        EXPECT_LE(photo.Imagek->pixmap().width(), 321);
        EXPECT_TRUE(photo.SelectedFolder().isEmpty()) << "nothing chosen yet";
        EXPECT_TRUE(photo.SpeedButton1Click());
    });
    form->btnzoom->click();
    EXPECT_EQ(QImage(name).convertToFormat(QImage::Format_RGB32),
              photo.Picture().convertToFormat(QImage::Format_RGB32))
        << "in the working directory, decoding to the picture shown";
    // The saved snapshot is in the audit trail: who, what the console showed, the file and its hash.
    {
        AuditTrail trail(AuditTrail::PathBeside(Store()));
        ASSERT_TRUE(trail.Open());
        const std::vector<AuditRecord> records = trail.Read();
        ASSERT_FALSE(records.empty());
        const std::string file = QFileInfo(name).absoluteFilePath().toStdString();
        EXPECT_EQ(records.back().who, "kel");
        EXPECT_EQ(records.back().what, "zdjecie");
        EXPECT_NE(records.back().detail.find(", plik " + file + ", SHA-256 " + Sha256File(file)),
                  std::string::npos)
            << records.back().detail;
        EXPECT_EQ(Sha256File(file).size(), 64u);
    }

    ASSERT_TRUE(photo.SelectFolder("zdjecia"));
    EXPECT_TRUE(photo.SpeedButton1Click());
    const QString saved = QDir("zdjecia").filePath(name);
    EXPECT_TRUE(QFile::exists(saved));

    QImage other(774, 633, QImage::Format_RGB32);
    other.fill(Qt::darkGreen);
    photo.ShowPicture(other);
    EXPECT_EQ(photo.SelectedFolder(), QDir("zdjecia").canonicalPath()) << "the tree keeps its selection";
    EXPECT_TRUE(photo.SpeedButton1Click());
    EXPECT_EQ(QDir("zdjecia").entryList(QDir::Files).size(), 1) << "one file, nothing left beside it";
    EXPECT_EQ(QImage(saved).pixel(10, 10), QColor(Qt::darkGreen).rgb());

    ASSERT_TRUE(photo.SelectFolder("drives/c:"));
    EXPECT_TRUE(photo.SpeedButton1Click());
    EXPECT_TRUE(QFile::exists("drive_c/" + name)) << "directly in the drive's root";

    ASSERT_TRUE(photo.SelectFolder("gone"));
    fs::remove("gone");
    photo.show();
    EXPECT_FALSE(photo.SpeedButton1Click());
    EXPECT_EQ(warnings, (std::vector<QString>{"Blad: Bledny folder docelowy!"}));
    EXPECT_TRUE(photo.isVisible()) << "the dialog stays for another folder";
    photo.reject();
}

}  // namespace
}  // namespace kel
