// The configuration dialog driven as an installer would, on a working copy, with the station
// behind the preview recorded by a fake.

#include "ui/config_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/temp_dir.h"
#include "ui/plan_picture.h"
#include "ui/schedule_grid.h"
#include "ui/skin_form.h"
#include "ui/video_area.h"
#include "ui/zone_editor.h"

namespace kel {
namespace {

struct FakePorts : ConfiguratorPorts {
    void SetLiveCameras(const TCameraTable& t) override {
        live = t;
        ++liveSends;
    }
    void PreviewCamera(int camera) override { previewed = camera; }
    void ShowZone(int camera, const uint8_t*, bool show) override {
        zoneCamera = camera;
        zoneShown = show;
    }
    void SetDetectionTest(bool on, const TZoneTable&, int32_t sensitivity) override {
        testing = on;
        testSensitivity = sensitivity;
    }
    std::vector<DriveRow> Drives() const override { return drives; }
    void DeleteRecordings() override { ++deletions; }
    bool SendsStream(int camera) const override { return camera == 2; }
    std::function<void()> SendTestMail(const std::string& server, const std::string&, const std::string&,
                                       const std::string&,
                                       std::function<void(bool, const std::string&)> done) override {
        mailServer = server;
        mailDone = std::move(done);
        return [this] { ++mailCancels; };
    }
    void DialogMoveStarted() override {}
    void DialogMoveEnded() override {}

    TCameraTable live{};
    int liveSends = 0, previewed = 0, zoneCamera = 0, deletions = 0;
    bool zoneShown = false, testing = false;
    int32_t testSensitivity = 0;
    std::string mailServer;
    std::function<void(bool, const std::string&)> mailDone;  // the message's answer, when the test says
    int mailCancels = 0;
    std::vector<DriveRow> drives{{'C', 1024ull * 1000010}, {'E', 1024ull * 2500010}};
};

class ConfigFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        std::filesystem::create_directory_symlink(KEL_SKINS_DIR, "Skins");
        TSettingsBlock& s = work.settings;
        s.Width = 1024;
        s.Height = 768;
        s.Skin = "Default";
        s.sMapFile = "screen.bmp";
        s.HDDs[1] = 1;
        for (int n = 0; n < kCameraCount; ++n) {
            TCameraRecord& c = work.cameras[n];
            c.Name.Set("Kamera " + std::to_string(n + 1));
            c.Active = n < 4;
            c.FPS = n < 4 ? 5 : 0;
            c.Resolution = 2;
            c.Brightness = 10;
            s.Zones[n].Sensitivity = 1000;
        }
        work.live = work.cameras;
        skins = std::make_unique<TSkinForm>();  // it lists the folders when it is made
        form = std::make_unique<TConfigForm>(box, skins.get(), nullptr);
    }
    void TearDown() override {
        form.reset();
        skins.reset();
        std::filesystem::current_path(old_cwd_);
    }
    void Open(int page) {
        work.startPage = page;
        form->Open(work, ports);
    }
    int Rates() { return form->cb_Rate->count(); }

    TempDir dir;
    std::filesystem::path old_cwd_;
    FakeMessageBox box;
    std::unique_ptr<TSkinForm> skins;
    FakePorts ports;
    ConfiguratorWork work;
    std::unique_ptr<TConfigForm> form;
};

TEST_F(ConfigFormTest, CaptionsAndPagesAreTheSystemsOwn) {
    Open(0);
    EXPECT_EQ(form->windowTitle(), QString("KEL 2.0.3 Konfiguracja "));
    EXPECT_EQ(form->btn_Cancel->text(), QString("Anuluj"));
    EXPECT_EQ(form->btn_OK->text(), QString("Zastosuj"));
    ASSERT_EQ(form->PageList->count(), TConfigForm::kPages);
    EXPECT_EQ(form->PageList->item(0)->text(), QString("Ustawienia Systemu"));
    EXPECT_EQ(form->PageList->item(1)->text(), QString("Harmonogram"));
    EXPECT_EQ(form->PageList->item(2)->text(), QString("Kamera 1"));
    EXPECT_EQ(form->PageList->item(17)->text(), QString("Kamera 16"));
    EXPECT_EQ(form->PageList->item(18)->text(), QString("Plan Obiektu"));
    // The camera menu's page: camera 5's page is 6, and its camera is on the preview.
    Open(6);
    EXPECT_EQ(form->Page(), 6);
    EXPECT_EQ(form->PageCamera(), 5);
    EXPECT_EQ(ports.previewed, 5);
    EXPECT_EQ(form->ed_Name->text(), QString("Kamera 5"));
}

// Each list shows the stored choice and stores the index (or the size) chosen.
TEST_F(ConfigFormTest, SystemPageListsAndBoxesStoreTheirValues) {
    work.settings.Sequence = 3;
    work.settings.S3Secret = "stary-sekret";
    Open(0);
    EXPECT_EQ(form->cb_Sequence->currentText(), QString("10"));
    EXPECT_EQ(form->cb_Resolution->currentText(), QString("1024x768"));
    const QStringList appModes = {"Ukryta", "w Oknie", "SmartView", "Pelny Ekran"};
    for (int i = 0; i < appModes.size(); ++i)
        EXPECT_EQ(form->cb_AppMode->itemText(i), appModes[i]);
    EXPECT_EQ(form->cb_Ptz->itemText(0), QString("Pelco D"));

    form->cb_Resolution->setCurrentIndex(2);
    form->cb_AppMode->setCurrentIndex(3);
    form->cb_StartMode->setCurrentIndex(5);
    form->cb_Sequence->setCurrentIndex(1);
    form->cb_FileSize->setCurrentIndex(4);
    form->chk_CamName->setChecked(true);
    form->chk_SoundDetect->setChecked(true);
    form->chk_TCP->setChecked(true);
    form->ed_Port->setValue(8080);
    form->ed_Port->findChild<QLineEdit*>()->setText("abc99999");  // no port: the box keeps its number
    form->ed_ServerName->insert(QString(200, 'n'));
    EXPECT_TRUE(form->chk_WebTls->isChecked()) << "the web view speaks TLS unless told otherwise";
    EXPECT_EQ(form->ed_WebPort->value(), 8443);
    form->chk_Web->setChecked(true);
    form->chk_WebTls->setChecked(false);
    form->ed_WebPort->setValue(9443);
    form->ed_WebCert->setText(" /etc/kel/cert.pem ");
    form->ed_WebKey->setText("/etc/kel/key.pem");
    const TSettingsBlock& s = work.settings;
    form->chk_Mqtt->setChecked(true);
    form->ed_MqttHost->setText("broker.lan");
    form->ed_MqttPort->setValue(8883);
    form->chk_MqttTls->setChecked(true);
    form->ed_MqttTopic->setText("stacje/magazyn");
    int at = 0;
    QString wild = "kel/#";
    EXPECT_EQ(form->ed_MqttTopic->validator()->validate(wild, at), QValidator::Invalid);
    EXPECT_TRUE(s.Mqtt && s.MqttTls);
    EXPECT_EQ(std::make_pair(s.MqttHost, s.MqttPort), std::make_pair(std::string("broker.lan"), 8883));
    EXPECT_EQ(s.MqttTopic, "stacje/magazyn");
    if (const char* shots = std::getenv("KEL_SHOT_DIR"))  // for a look at the broker's small dialog
        form->mqtt_dialog_->grab().save(QString(shots) + "/config-mqtt.png");

    // The off-site store: the secret saved is never shown, and stays unless another is typed.
    EXPECT_TRUE(form->ed_S3Secret->text().isEmpty());
    EXPECT_FALSE(form->ed_S3Secret->placeholderText().isEmpty());
    form->chk_S3->setChecked(true);
    form->ed_S3Endpoint->setText("https://s3.example.pl:9000");
    form->ed_S3Bucket->setText("kopie-stacji");
    form->ed_S3KeyId->setText("AKIAKEL");
    form->ed_S3Limit->setValue(512);
    QString upper = "Kopie", ftp = "ftp://s3";
    EXPECT_EQ(form->ed_S3Bucket->validator()->validate(upper, at), QValidator::Invalid);
    EXPECT_EQ(form->ed_S3Endpoint->validator()->validate(ftp, at), QValidator::Invalid);
    EXPECT_EQ(s.S3Secret, "stary-sekret");
    form->ed_S3Secret->setText("nowy");
    EXPECT_EQ(s.S3Secret, "nowy");
    form->ed_S3Secret->clear();
    EXPECT_EQ(s.S3Secret, "stary-sekret") << "an emptied field keeps the saved secret";
    EXPECT_TRUE(s.S3);
    EXPECT_EQ(std::make_pair(s.S3Endpoint, s.S3Bucket),
              std::make_pair(std::string("https://s3.example.pl:9000"), std::string("kopie-stacji")));
    EXPECT_EQ(std::make_pair(s.S3KeyId, s.S3Limit), std::make_pair(std::string("AKIAKEL"), 512));
    EXPECT_EQ(s.S3Region, "us-east-1");
    if (const char* shots = std::getenv("KEL_SHOT_DIR"))
        form->s3_dialog_->grab().save(QString(shots) + "/config-s3.png");
    EXPECT_TRUE(s.Web && !s.WebTls);
    EXPECT_EQ(s.WebPort, 9443);
    EXPECT_EQ(std::make_pair(s.WebCert, s.WebKey),
              std::make_pair(std::string("/etc/kel/cert.pem"), std::string("/etc/kel/key.pem")));
    EXPECT_EQ(std::make_pair(s.Width, s.Height), std::make_pair(uint16_t(1280), uint16_t(1024)));
    EXPECT_EQ(s.AppMode, 3);
    EXPECT_EQ(s.StartMode, 5);
    EXPECT_EQ(s.Sequence, 1);
    EXPECT_EQ(s.VideoFilesSize, 4);
    EXPECT_TRUE(s.cCamName && s.SoundDetect && s.TCP);
    EXPECT_EQ(s.Port, 8080);
    EXPECT_EQ(s.TCPServerName.size(), 128u);

    QColor picked(10, 20, 30);
    form->ChooseColor = [&](QColor& c) {
        c = picked;
        return true;
    };
    form->btn_Color->click();
    EXPECT_EQ(s.cColor, 0x1E140A) << "stored as 0x00BBGGRR";

    form->ed_SMTP->setText("smtp.example.pl");
    form->btn_MailTest->click();
    EXPECT_EQ(ports.mailServer, "smtp.example.pl") << "the test mail uses the values being edited";
    ports.mailDone(true, "");

    // Each box takes only what the station can use: the mail server as host or host:port, texts
    // up to their stored widths.
    EXPECT_EQ(std::make_pair(form->ed_Port->minimum(), form->ed_Port->maximum()), std::make_pair(1, 65535));
    EXPECT_EQ(form->ed_Login->maxLength(), 20);
    EXPECT_EQ(form->ed_Password->maxLength(), 64);  // hashed: no longer the record's 15
    const std::pair<const char*, QValidator::State> servers[] = {
        {"poczta.pl:587", QValidator::Acceptable},
        {"poczta.pl:", QValidator::Intermediate},
        {"poczta.pl:99999", QValidator::Intermediate},
        {"poczta pl", QValidator::Invalid},
        {"-", QValidator::Acceptable}};
    for (const auto& [text, state] : servers) {
        QString t = QString::fromUtf8(text);
        int pos = 0;
        EXPECT_EQ(form->ed_SMTP->validator()->validate(t, pos), state) << text;
    }
    form->ed_SMTP->setText("poczta.pl:");
    form->OkClick();
    ASSERT_FALSE(box.shown.empty());
    EXPECT_EQ(box.shown.back().text, TConfigForm::kBadMailServer) << "OK asks for a whole server";
    EXPECT_NE(work.settings.mSMTP, "poczta.pl:") << "nothing taken";
}

// The test message goes out while the dialog stays live: a busy box with a cancel, then a box
// that says how it went; a cancelled one says nothing.
TEST_F(ConfigFormTest, TheTestMailShowsItIsBusyThenItsOutcome) {
    Open(0);
    form->ed_SMTP->setText("poczta.example.pl:587");
    const struct {
        bool cancel, sent;
        const char* error;
        BoxKind kind;
        std::string text;
    } rows[] = {
        {false, true, "", BoxKind::Information, TConfigForm::kMailSent},
        {false, false, "Serwer poczty odrzucił logowanie", BoxKind::Error,
         "Serwer poczty odrzucił logowanie"},
        {true, false, "Wysyłanie wiadomości przerwano", BoxKind::Error, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        box.shown.clear();
        form->btn_MailTest->click();
        auto* busy = form->findChild<QProgressDialog*>();
        ASSERT_NE(busy, nullptr);
        EXPECT_TRUE(busy->isVisible());
        EXPECT_FALSE(form->btn_MailTest->isEnabled()) << "one test at a time";
        if (row.cancel) {
            const int before = ports.mailCancels;
            busy->findChild<QPushButton*>()->click();
            EXPECT_EQ(ports.mailCancels, before + 1);
        }
        ports.mailDone(row.sent, row.error);
        EXPECT_EQ(form->findChild<QProgressDialog*>(), nullptr);
        EXPECT_TRUE(form->btn_MailTest->isEnabled());
        if (row.text.empty()) {
            EXPECT_TRUE(box.shown.empty());
        } else {
            ASSERT_EQ(box.shown.size(), 1u);
            EXPECT_EQ(box.shown[0].kind, row.kind);
            EXPECT_EQ(box.shown[0].text, row.text);
        }
    }
}

TEST_F(ConfigFormTest, DriveGridShowsFreeSpaceAndTogglesUse) {
    Open(0);
    QTableWidget* g = form->StringGrid1;
    ASSERT_EQ(g->rowCount(), 2);
    EXPECT_EQ(g->item(0, 0)->text(), QString("C:\\"));
    EXPECT_EQ(g->item(0, 1)->text(), QString("1,00 GB"));
    EXPECT_EQ(g->item(1, 1)->text(), QString("2,50 GB"));
    EXPECT_EQ(g->item(0, 2)->text(), QString::fromUtf8("wolny"));
    EXPECT_EQ(g->item(1, 2)->text(), QString::fromUtf8("użyty"));
    form->DriveGridClick(0, 1);  // not the usage column
    EXPECT_EQ(work.settings.HDDs[0], 0);
    form->DriveGridClick(0, 2);
    form->DriveGridClick(1, 2);
    EXPECT_EQ(work.settings.HDDs[0], 1);
    EXPECT_EQ(work.settings.HDDs[1], 0);
    EXPECT_EQ(g->item(0, 2)->text(), QString::fromUtf8("użyty"));
    EXPECT_EQ(TConfigForm::FreeSpaceText(0), QString("0,00 GB")) << "never a negative figure";
}

TEST_F(ConfigFormTest, DeletingTheRecordingsAsksFirst) {
    Open(0);
    box.answers = {false, true};
    form->btn_DeleteFiles->click();
    EXPECT_EQ(ports.deletions, 0);
    form->btn_DeleteFiles->click();
    EXPECT_EQ(ports.deletions, 1);
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[0].text, TConfigForm::kDeleteQuestion);
}

// Odd and even cameras each share 25 pictures a second.
TEST_F(ConfigFormTest, ActiveCamerasKeepToTheirGroupsBudget) {
    Open(2);  // camera 1: cameras 1 and 3 active at 5 each
    EXPECT_EQ(Rates(), 20);
    EXPECT_TRUE(form->cb_Rate->isEnabled());
    form->ActiveClick(false);
    EXPECT_FALSE(work.cameras[0].Active);
    EXPECT_EQ(work.cameras[0].Resolution, 2);
    EXPECT_EQ(ports.live[0].Active, 0) << "the live table goes to the capture threads";
    EXPECT_FALSE(form->cb_Rate->isEnabled());

    form->SelectPage(4);  // camera 3 takes the whole budget
    EXPECT_EQ(Rates(), 25);
    form->cb_Rate->setCurrentIndex(24);
    EXPECT_EQ(work.cameras[2].FPS, 25);

    form->SelectPage(2);
    form->ActiveClick(true);
    EXPECT_FALSE(work.cameras[0].Active) << "no room left in the budget";
    EXPECT_FALSE(form->chk_Active->isChecked());

    form->SelectPage(3);  // camera 2, the other group, still has room: it keeps its rate
    form->ActiveClick(false);
    form->ActiveClick(true);
    EXPECT_TRUE(work.cameras[1].Active);
    EXPECT_EQ(work.cameras[1].FPS, 5);
    form->SelectPage(4);  // camera 3 down to 23: camera 1 comes back with the 2 left, not its 5
    form->cb_Rate->setCurrentIndex(22);
    form->SelectPage(2);
    form->ActiveClick(true);
    EXPECT_TRUE(work.cameras[0].Active);
    EXPECT_EQ(work.cameras[0].FPS, 2);
}

TEST_F(ConfigFormTest, PictureSlidersReachTheCaptureAtOnceAndApplyToAll) {
    Open(3);  // camera 2
    const int before = ports.liveSends;
    form->tb_Picture[0]->setValue(-40);  // brightness
    form->tb_Picture[5]->setValue(99);   // sharpness
    EXPECT_EQ(ports.liveSends, before + 2);
    EXPECT_EQ(ports.live[1].Brightness, -40);
    EXPECT_EQ(work.cameras[1].Sharpness, 99);
    form->cb_CamResolution->setCurrentIndex(0);
    EXPECT_EQ(work.cameras[1].Resolution, 0);
    EXPECT_EQ(ports.live[1].Resolution, 2) << "a resolution takes effect only when applied";

    form->btn_ApplyAll->click();
    for (int n : {0, 7, 15}) {
        EXPECT_EQ(work.cameras[n].Brightness, -40);
        EXPECT_EQ(ports.live[n].Sharpness, 99);
        EXPECT_EQ(work.cameras[n].Resolution, 0);
        EXPECT_EQ(work.cameras[n].Name.Get(), "Kamera " + std::to_string(n + 1));
        EXPECT_EQ(work.cameras[n].Active, n < 4);
        EXPECT_EQ(work.cameras[n].FPS, n < 4 ? 5 : 0);
    }
}

TEST(ZoneEditor, PointsRoundHalvesToEvenAndStayInTheGrid) {
    const struct {
        int x, column;
    } columns[] = {{0, 0}, {1, 0}, {3, 2}, {5, 2}, {7, 4}, {350, 175}, {351, 175}, {400, 175}, {-9, 0}};
    for (const auto& c : columns)
        EXPECT_EQ(ZoneColumn(c.x), c.column) << c.x;
    const struct { int y, row; } rows[] = {{0, 0}, {3, 2}, {286, 143}, {287, 143}, {600, 143}};
    for (const auto& r : rows)
        EXPECT_EQ(ZoneRow(r.y), r.row) << r.y;
}

TEST_F(ConfigFormTest, TheZoneEditorMarksDraggedCellsAndTestsWithThem) {
    Open(2);
    form->PreviewMouseDown({10, 10});
    form->PreviewMouseMove({20, 20});
    form->PreviewMouseUp();
    EXPECT_EQ(form->Zones()[0].Mask[5 * kZoneCols + 5], 0) << "nothing drawn while the zone is hidden";

    form->btn_ShowZone->click();
    EXPECT_TRUE(ports.zoneShown);
    form->PreviewMouseDown({351, 287});
    form->PreviewMouseMove({340, 280});
    form->PreviewMouseMove({346, 284});  // dragging only adds
    form->PreviewMouseUp();
    const uint8_t* mask = form->Zones()[0].Mask;
    EXPECT_EQ(mask[143 * kZoneCols + 175], 1);
    EXPECT_EQ(mask[140 * kZoneCols + 170], 1);
    EXPECT_EQ(mask[139 * kZoneCols + 170], 0);
    EXPECT_EQ(std::count(mask, mask + kZoneCols * kZoneRows, 1), 6 * 4);

    form->btn_ShowZone->click();
    EXPECT_FALSE(ports.zoneShown);
    form->btn_TestDetection->click();
    EXPECT_TRUE(form->btn_ShowZone->isChecked()) << "the test shows the zone";
    EXPECT_TRUE(ports.testing);
    form->tb_Sensitivity->setValue(4000);
    EXPECT_EQ(ports.testSensitivity, 4000);
    EXPECT_EQ(form->Zones()[0].Sensitivity, 4000);

    form->WholeZoneClick();
    EXPECT_EQ(std::count(mask, mask + kZoneCols * kZoneRows, 1), kZoneCols * kZoneRows);
    form->ClearZoneClick();
    EXPECT_EQ(std::count(mask, mask + kZoneCols * kZoneRows, 0), kZoneCols * kZoneRows);
    form->SelectPage(0);
    EXPECT_FALSE(ports.testing) << "no test without a camera page";
}

// With "Maska Prywatności" down the same editor draws the camera's privacy mask and leaves its
// zone alone; OK hands the masks, the keeping time and the way the camera is recorded over.
TEST_F(ConfigFormTest, TheMaskModeDrawsThePrivacyMaskAndOkKeepsItWithTheKeepingAndRecordingWay) {
    Open(3);  // camera 2
    EXPECT_TRUE(form->lbl_MaskNote->isHidden()) << "no mask yet";
    form->WholeZoneClick();
    form->btn_MaskMode->click();
    EXPECT_EQ(form->btn_ShowZone->text(), QString::fromUtf8("Wyświetl Maskę"));
    EXPECT_TRUE(ports.zoneShown) << "the mask is shown at once";
    EXPECT_EQ(form->Masks()[1].Cells[0], 0) << "the mask starts from its own cells, not the zone's";
    form->PreviewMouseDown({0, 0});
    form->PreviewMouseMove({174, 287});  // the left half
    form->PreviewMouseUp();
    const uint8_t* cells = form->Masks()[1].Cells;
    EXPECT_EQ(std::count(cells, cells + kZoneCols * kZoneRows, 1), 88 * kZoneRows);
    EXPECT_FALSE(form->lbl_MaskNote->isHidden()) << "a masked network camera is compressed again";
    EXPECT_EQ(form->lbl_MaskNote->text(),
              QString::fromUtf8("Kamera z maską jest nagrywana po przekodowaniu"));
    EXPECT_EQ(std::count(form->Zones()[1].Mask, form->Zones()[1].Mask + kZoneCols * kZoneRows, 1),
              kZoneCols * kZoneRows)
        << "the zone stays whole";
    form->ed_KeepDays->setValue(30);
    EXPECT_EQ(form->ed_KeepDays->specialValueText(), QString::fromUtf8("bez limitu"));
    EXPECT_TRUE(form->chk_AsSent->isChecked()) << "a network camera is recorded as it sends unless told";
    form->SelectPage(2);
    EXPECT_FALSE(form->chk_AsSent->isEnabled() || form->chk_AsSent->isChecked())
        << "camera 1 is a capture input";
    EXPECT_TRUE(form->lbl_MaskNote->isHidden());
    form->SelectPage(3);
    form->chk_AsSent->setChecked(false);
    form->btn_MaskMode->click();
    EXPECT_EQ(form->btn_ShowZone->text(), QString::fromUtf8("Wyświetl Strefę"));
    form->OkClick();
    EXPECT_EQ(work.settings.Masks[1].Cells[143 * kZoneCols + 87], 1);
    EXPECT_EQ(work.settings.Masks[1].Cells[143 * kZoneCols + 88], 0);
    EXPECT_EQ(work.settings.KeepDays[1], 30);
    EXPECT_EQ(work.settings.KeepDays[0], 0);
    EXPECT_EQ(work.settings.Reencode[1], 1);
    EXPECT_EQ(work.settings.Reencode[0], 0);
}

TEST_F(ConfigFormTest, PlanIconsArePlacedAndRemovedOnlyWhileEditing) {
    Open(TConfigForm::kPlanPage);
    form->PlanCameraClick(3);
    form->PlanMouseDown({100, 120});
    EXPECT_EQ(form->Icons()[2].Placed, 0) << "not while Edytuj is up";
    EXPECT_EQ(form->Image2->cursor().shape(), Qt::PointingHandCursor);
    form->btn_EditPlan->click();
    EXPECT_EQ(form->Image2->cursor().shape(), Qt::CrossCursor);
    form->PlanMouseDown({100, 120});
    EXPECT_EQ(form->Icons()[2].Placed, 1);
    EXPECT_EQ(form->Icons()[2].X, 75);
    EXPECT_EQ(form->Icons()[2].Y, 95);
    EXPECT_EQ(form->Image2->Picture().size(), QSize(598, 472));
    EXPECT_NE(form->Image2->Picture().pixel(100, 120), form->Image2->Picture().pixel(300, 460))
        << "the icon is drawn on the plan";
    form->sp[2]->click();
    EXPECT_EQ(form->Icons()[2].Placed, 0) << "its button again removes it";
    form->btn_EditPlan->click();
    EXPECT_EQ(form->Image2->cursor().shape(), Qt::PointingHandCursor);
}

// OK hands the editors' copies over; Cancel leaves the working copy as it came.
TEST_F(ConfigFormTest, OkCopiesTheEditorsAndCancelKeepsTheWorkingCopy) {
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        const TSettingsBlock before = work.settings;
        Open(TConfigForm::kSchedulePage);
        EXPECT_EQ(form->Grid->Camera(), 1);
        form->cb_ScheduleCamera->setCurrentIndex(4);
        form->btn_Paint[1]->click();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->Grid, &press);  // the corner cell: the whole week
        form->ed_SMTP->setText("mail.example.pl");
        form->ed_Login->setText("anna");
        form->SelectPage(2);
        form->WholeZoneClick();
        ok ? form->OkClick() : form->CancelClick();
        EXPECT_EQ(work.applied, ok);
        EXPECT_EQ(form->Page(), 0) << "the dialog goes back to its first page";
        if (!ok) {
            EXPECT_EQ(work.settings.Scheduler, before.Scheduler);
            EXPECT_EQ(work.settings.mSMTP, before.mSMTP);
            EXPECT_EQ(std::memcmp(work.settings.Zones[0].Mask, before.Zones[0].Mask, kZoneCols), 0);
            continue;
        }
        EXPECT_EQ(work.settings.Scheduler[4 * 168 + 3 * 24 + 7], kContinuous);
        EXPECT_EQ(work.settings.Scheduler[3 * 168], kNoRecording) << "other cameras keep theirs";
        EXPECT_EQ(work.settings.mSMTP, "mail.example.pl");
        EXPECT_EQ(work.settings.sUser, "anna");
        EXPECT_EQ(work.settings.Zones[0].Mask[1000], 1);
    }
}

TEST_F(ConfigFormTest, TheSkinChooserListsPlainFoldersAndFillsTheBox) {
    Open(0);
    QTimer::singleShot(0, [&] {
        for (int i = 0; i < skins->ListBox1->count(); ++i)
            if (skins->ListBox1->item(i)->text() == "Default")
                skins->ListBox1->setCurrentRow(i);
        skins->Button1->click();
    });
    work.settings.Skin = "Other";
    form->btn_Skin->click();
    EXPECT_EQ(work.settings.Skin, "Default");
    EXPECT_EQ(form->ed_Skin->text(), QString("Default"));
}

}  // namespace
}  // namespace kel
