// The viewer's window, offscreen, on real recordings: what it shows on opening, the keys, the time
// line, saving, single files and what the station writes meanwhile.

#include "viewer/viewer_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

#include "platform/audit_trail.h"
#include "platform/polish_locale.h"
#include "support/recordings.h"
#include "viewer/audit_view.h"
#include "viewer/evidence_check.h"
#include "viewer/pane_grid.h"
#include "viewer/timeline_widget.h"

namespace kel {
namespace {

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int s : {0, 5, 10})
            archive.Record(1, At(10, 0, s), 10);
        archive.Record(2, At(10, 0, 2), 10);
        window.Tell = [this](const QString& text) { told.push_back(text); };
        window.ChooseSaveFile = [this](const QString&, const QString& suggested, const QString&) {
            suggestions.push_back(suggested);
            return save_to;
        };
        window.LoadArchive();
    }
    int64_t Ms(int second, int ms = 0) { return MsOf(At(10, 0, second)) + ms; }
    void Key(int key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&window, &e);
    }
    // Clicks the time line near `ms` in the row; returns the moment under the pointer.
    int64_t ClickTimeline(int64_t ms, int row) {
        TimelineWidget* t = window.Timeline();
        const QPointF at(t->XOf(ms), 20 + 22 * row + 11);
        QMouseEvent e(QEvent::MouseButtonPress, at, t->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(t, &e);
        return t->MomentAt(static_cast<int>(at.x()));
    }

    TestArchive archive;
    ViewerWindow window{archive.dir.Path(), archive.dir / "none.sqlite"};
    std::vector<QString> told, suggestions;
    QString save_to;
};

TEST_F(ViewerWindowTest, OpensOnTheLastDayAndTheKeysMoveThroughIt) {
    window.resize(1100, 700);
    window.show();
    QApplication::processEvents();
    ASSERT_EQ(window.Player().Panes().size(), 1u);
    EXPECT_EQ(window.Player().Panes()[0].camera, 1);
    EXPECT_EQ(window.Player().Clock(), Ms(10)) << "the camera's last recording";
    ASSERT_EQ(window.Timeline()->Rows().size(), 2u);
    EXPECT_EQ(window.Timeline()->Rows()[0].stretches.size(), 3u);
    EXPECT_EQ(window.Timeline()->DayStart(), MsOf(At(0, 0, 0)));
    EXPECT_FALSE(window.Panes()->Views()[0].image.isNull());

    const struct {
        int key;
        int64_t clock;
        double speed;
    } steps[] = {
        {Qt::Key_Home, Ms(0), 1},         {Qt::Key_Right, Ms(0, 200), 1},  {Qt::Key_Right, Ms(0, 400), 1},
        {Qt::Key_Left, Ms(0, 200), 1},    {Qt::Key_Plus, Ms(0, 200), 2},   {Qt::Key_Minus, Ms(0, 200), 1},
        {Qt::Key_Minus, Ms(0, 200), 0.5}, {Qt::Key_End, Ms(11, 800), 0.5},
    };
    for (const auto& s : steps) {
        Key(s.key);
        EXPECT_EQ(window.Player().Clock(), s.clock) << s.key;
        EXPECT_EQ(window.Player().Speed(), s.speed) << s.key;
    }
    Key(Qt::Key_Home);
    Key(Qt::Key_Space);
    EXPECT_TRUE(window.Player().Playing());
    window.TickNow(400);
    EXPECT_EQ(window.Player().Clock(), Ms(0, 200)) << "400 ms at half speed";
    Key(Qt::Key_Space);
    EXPECT_FALSE(window.Player().Playing());

    // A click on camera 2's row brings it in as the lead, at the picture nearest the moment.
    const int64_t clicked = ClickTimeline(Ms(3), 1);
    ASSERT_EQ(window.Player().Panes().size(), 2u);
    EXPECT_EQ(window.Player().Panes()[0].camera, 2);
    CameraTrack& lead = *window.Player().MutablePanes()[0].track;
    EXPECT_EQ(window.Player().Clock(), lead.Moment(lead.Nearest(clicked)));
    EXPECT_EQ(window.Panes()->Views().size(), 2u);
}

TEST_F(ViewerWindowTest, SavesTheMarkedStretchAndThePictureAndSaysWhenItCannot) {
    Key(Qt::Key_Home);
    Key(Qt::Key_Right);
    Key(Qt::Key_BracketLeft);
    for (int i = 0; i < 12; ++i)
        Key(Qt::Key_Right);  // into the second segment
    Key(Qt::Key_BracketRight);
    EXPECT_EQ(window.MarkFrom(), Ms(0, 200));
    EXPECT_EQ(window.MarkTo(), Ms(5, 600));

    save_to = QString::fromStdString(archive.dir / "stretch.avi");
    window.SaveStretch();
    EXPECT_TRUE(told.empty()) << told.front().toStdString();
    EXPECT_EQ(window.StatusText(), "Zapisano 13 obrazów do " + save_to);
    EXPECT_TRUE(suggestions.back().endsWith("Kamera1_2026-12-07_10-00-00.avi"))
        << suggestions.back().toStdString();

    save_to = QString::fromStdString(archive.dir / "picture.png");
    window.SavePicture();
    EXPECT_TRUE(QImage(save_to).size() == QSize(kTestWidth, kTestHeight));

    save_to = QString::fromStdString(archive.dir / "missing/folder/x.avi");
    window.SaveStretch();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith("Nie zapisano nagrania")) << told[0].toStdString();

    save_to.clear();  // cancelled: nothing happens
    window.SavePicture();
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(ViewerWindowTest, PlaysASingleFileAndPicksUpWhatTheStationWritesMeanwhile) {
    WriteFile(archive.dir / "notes.avi", "not a video");
    EXPECT_FALSE(window.OpenFile(QString::fromStdString(archive.dir / "notes.avi")));
    ASSERT_EQ(told.size(), 1u);

    const std::string alone = archive.Record(5, At(12, 0, 0), 10, 5, false);
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(alone)));
    ASSERT_EQ(window.Player().Panes().size(), 1u);
    EXPECT_EQ(window.Player().Clock(), MsOf(At(12, 0, 0)));
    EXPECT_EQ(window.Panes()->Views()[0].title, "071226120000.avi");

    window.SetCameras({1});
    archive.Record(1, At(10, 0, 20), 10);  // the station archived another segment
    window.RefreshNow();
    EXPECT_EQ(window.Timeline()->Rows()[0].stretches.size(), 4u);
}

// A user of camera 2 only: camera 1 is neither listed, shown nor saved, a file of camera 1's
// folder is not opened alone, and what the user watched and saved is written in the trail.
TEST(ViewerRightsTest, OnlyTheCamerasTheUserMayViewAreListedPlayedAndSaved) {
    TestArchive archive;
    archive.Record(1, At(10, 0, 0), 10);
    archive.Record(2, At(10, 0, 2), 10);
    const std::string alone1 = archive.Record(1, At(12, 0, 0), 10, 5, false);
    ViewerWindow window{archive.dir.Path(), archive.dir / "none.sqlite"};
    std::vector<QString> told;
    std::vector<std::string> trail;
    window.Tell = [&](const QString& text) { told.push_back(text); };
    window.Audit = [&](const char* what, const std::string& detail) {
        trail.push_back(std::string(what) + ": " + detail);
    };
    QString save_to = QString::fromStdString(archive.dir / "stretch.avi");
    window.ChooseSaveFile = [&](const QString&, const QString&, const QString&) { return save_to; };
    ViewerUser user;
    user.login = "ewa";
    user.exportRight = true;  // saving and exporting need it
    user.cameras[1] = true;
    window.SetUser(user);
    window.LoadArchive();
    ASSERT_EQ(window.Player().Panes().size(), 1u);
    EXPECT_EQ(window.Player().Panes()[0].camera, 2) << "the first camera the user may view";
    window.SetCameras({1, 2});
    ASSERT_EQ(window.Player().Panes().size(), 1u) << "camera 1 is never shown";
    EXPECT_EQ(window.Timeline()->Rows().size(), 1u);
    EXPECT_TRUE(window.Catalog().Entries(1).empty());

    window.SaveStretch();
    EXPECT_TRUE(told.empty()) << told.front().toStdString();
    EXPECT_FALSE(window.OpenFile(QString::fromStdString(alone1)));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith("Brak uprawnień")) << told[0].toStdString();
    EXPECT_FALSE(window.MayOpen(QString::fromStdString(archive.dir / "Kamera12/x.avi")));
    EXPECT_TRUE(window.MayOpen(QString::fromStdString(archive.dir / "Kamera2/x.avi")));
    EXPECT_FALSE(window.MayOpen(QString::fromStdString(archive.dir / "x.avi")))
        << "whose it is cannot be told";

    EXPECT_TRUE(window.AuditButton()->isHidden())
        << "the trail is for users who may change the configuration";
    EXPECT_EQ(window.ShowAudit(), nullptr);

    // A user of no recorded camera: nothing to show, and an export is refused with nothing written.
    ViewerWindow none{archive.dir.Path(), archive.dir / "none.sqlite"};
    std::vector<QString> noneTold;
    none.Tell = [&](const QString& text) { noneTold.push_back(text); };
    none.ChooseSaveFile = [&](const QString&, const QString&, const QString&) { return save_to + ".none"; };
    ViewerUser nobody;
    nobody.cameras[9] = true;  // camera 10 recorded nothing
    nobody.exportRight = true;
    none.SetUser(nobody);
    none.LoadArchive();
    none.SetCameras({1, 2});
    none.SaveStretch();
    ASSERT_EQ(noneTold.size(), 1u);
    EXPECT_TRUE(noneTold[0].startsWith("Nie ma nagrania do zapisania")) << noneTold[0].toStdString();
    EXPECT_FALSE(QFile::exists(save_to + ".none"));

    ASSERT_EQ(trail.size(), 2u);
    EXPECT_EQ(trail[0], "przegladanie nagran: kamera 2, dzien 2026-12-07");
    EXPECT_EQ(trail[1].rfind("eksport: kamera 2, od 2026-12-07 10:00:02", 0), 0u) << trail[1];
    EXPECT_NE(trail[1].find(", plik " + save_to.toStdString() + ", SHA-256 "), std::string::npos) << trail[1];
}

// The evidence export offers every camera the user may view that recorded something, the ones
// shown ticked; a camera without the right is never offered nor written, even when asked for.
TEST(ViewerRightsTest, TheEvidenceExportOffersAndWritesOnlyCamerasTheUserMayView) {
    TestArchive archive;
    for (int n : {1, 2, 3})
        archive.Record(n, At(10, 0, 0), 10);
    ViewerWindow window{archive.dir.Path(), archive.dir / "none.sqlite"};
    std::vector<QString> told;
    std::vector<std::string> trail;
    window.Tell = [&](const QString& text) { told.push_back(text); };
    window.Audit = [&](const char* what, const std::string& detail) {
        trail.push_back(std::string(what) + ": " + detail);
    };
    const std::string folder = archive.dir / "Dowod";
    window.ChooseSaveFile = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(folder);
    };
    std::vector<int> offered, ticked;
    window.ChooseCameras = [&](const std::vector<std::pair<int, QString>>& all,
                               const std::vector<int>& shown) {
        for (const auto& [n, name] : all)
            offered.push_back(n);
        ticked = shown;
        return std::vector<int>{1, 2, 3};  // camera 1 asked for without the right
    };
    ViewerUser user;
    user.login = "ewa";
    user.exportRight = true;  // saving and exporting need it
    user.cameras[1] = user.cameras[2] = true;
    window.SetUser(user);
    window.LoadArchive();
    window.SetCameras({2});
    window.ExportEvidence();
    EXPECT_TRUE(told.empty()) << told.front().toStdString();
    EXPECT_EQ(offered, (std::vector<int>{2, 3}));
    EXPECT_EQ(ticked, (std::vector<int>{2}));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/Kamera2.avi")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/Kamera3.avi"))) << "a camera not shown";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/Kamera1.avi")));
    EXPECT_TRUE(VerifyEvidence(folder).whole);
    ASSERT_FALSE(trail.empty());
    EXPECT_EQ(trail.back().rfind("eksport: dowodowy, kamery 2,3, od ", 0), 0u) << trail.back();
}

// Evidence is signed with the station's key of the working directory; a damaged key refuses the
// export with its reason and is left as it was.
TEST(ViewerEvidenceTest, TheExportIsSignedWithTheStationsKeyAndADamagedKeyRefusesIt) {
    TestArchive archive;
    archive.Record(1, At(10, 0, 0), 10);
    ViewerWindow window{archive.dir.Path(), archive.dir / "none.sqlite"};
    std::vector<QString> told;
    window.Tell = [&](const QString& text) { told.push_back(text); };
    const std::string folder = archive.dir / "Dowod";
    window.ChooseSaveFile = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(folder);
    };
    window.ChooseCameras = [](const std::vector<std::pair<int, QString>>&, const std::vector<int>& shown) {
        return shown;
    };
    ViewerUser user;
    user.login = "ewa";
    user.exportRight = true;  // saving and exporting need it
    user.cameras.fill(true);
    window.SetUser(user);
    window.LoadArchive();
    window.SetCameras({1});
    const std::string keyFile = StationKey::PrivatePath(archive.dir.Path());
    WriteFile(keyFile, "uszkodzony");
    window.ExportEvidence();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].startsWith("Nie można podpisać eksportu dowodowego:\nklucz podpisu stacji: "))
        << told[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(ReadFile(keyFile), "uszkodzony");

    std::filesystem::remove(keyFile);  // the administrator's choice: a new key from now on
    told.clear();
    window.ExportEvidence();
    EXPECT_TRUE(told.empty()) << told.front().toStdString();
    std::string error;
    const auto key = StationKey::LoadExisting(archive.dir.Path(), error);
    ASSERT_TRUE(key) << error;
    EvidenceTrust trust;
    ASSERT_TRUE(TrustedKey("", archive.dir.Path(), trust, error)) << error;
    const EvidenceCheck check = VerifyEvidence(folder, trust);
    EXPECT_TRUE(check.whole);
    EXPECT_TRUE(check.trusted);
    EXPECT_EQ(check.signer, key->FingerprintText());
}

// A user who may change the configuration sees the trail, every record and whether it is whole.
TEST(ViewerRightsTest, TheTrailIsShownToAUserWithTheConfigurationRight) {
    TestArchive archive;
    {
        AuditTrail trail(AuditTrail::PathBeside(archive.dir / "none.sqlite"));
        ASSERT_TRUE(trail.Open());
        for (const char* who : {"kel", "ewa", ""})
            ASSERT_TRUE(trail.Append(who, AuditTrail::kLogin, "konsola"));
    }
    ViewerWindow window{archive.dir.Path(), archive.dir / "none.sqlite"};
    ViewerUser user;
    user.login = "kel";
    user.cameras.fill(true);
    user.configRight = true;
    window.SetUser(user);
    window.LoadArchive();
    EXPECT_FALSE(window.AuditButton()->isHidden());
    AuditView* view = window.ShowAudit();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->Table()->rowCount(), 3);
    EXPECT_EQ(view->Table()->item(2, 2)->text(), "-");
    EXPECT_EQ(view->Table()->item(1, 3)->text(), "logowanie");
    EXPECT_EQ(view->CheckText(), "Dziennik nienaruszony: 3 zdarzeń");
    view->close();
}

// kel-viewer speaks Polish as it starts: the calendar's month and days.
TEST(ViewerLanguageTest, TheCalendarSpeaksPolish) {
    SpeakPolish(*qApp);
    TempDir dir;
    ViewerWindow window(dir.Path(), dir / "none.sqlite");
    auto* calendar = window.findChild<QCalendarWidget*>("Calendar");
    ASSERT_NE(calendar, nullptr);
    calendar->setCurrentPage(2026, 12);
    auto* month = calendar->findChild<QToolButton*>("qt_calendar_monthbutton");
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text(), QString::fromUtf8("grudzień"));
    EXPECT_EQ(calendar->locale().dayName(1, QLocale::ShortFormat), QString::fromUtf8("pon."));
}

// Without the export right nothing leaves the station: neither a stretch nor an evidence export.
TEST(ViewerExportRight, AUserWithoutItIsRefusedBothExportsAndToldWhy) {
    ViewerWindow window("", "");
    std::vector<QString> told;
    window.Tell = [&](const QString& text) { told.push_back(text); };
    window.ChooseSaveFile = [&](const QString&, const QString&, const QString&) {
        ADD_FAILURE() << "no file is asked for";
        return QString();
    };
    ViewerUser user;
    user.login = "ochrona";
    user.cameras.fill(true);
    window.SetUser(user);
    EXPECT_FALSE(window.findChild<QPushButton*>("Evidence")->isEnabled());
    EXPECT_FALSE(window.findChild<QPushButton*>("SaveStretch")->isEnabled());
    window.SaveStretch();
    window.ExportEvidence();
    EXPECT_EQ(told, std::vector<QString>(2, QString::fromUtf8(ViewerWindow::kNoExportRight)));
}

}  // namespace
}  // namespace kel
