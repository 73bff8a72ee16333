#pragma once
// TConfigForm: the configuration dialog. It edits the working copy the station hands it
// (ConfiguratorWork): the settings, the edited camera records and the live ones the capture threads
// read, so the preview shows each picture value while its slider moves. Nothing reaches the stored
// configuration unless the dialog is accepted ("Zastosuj"); the station then applies and saves it.
//
// Pages, chosen from the list on the left: 0 "Ustawienia Systemu", 1 "Harmonogram", 2..17
// "Kamera 1".."Kamera 16" (one set of controls, bound to the page's camera), 18 "Plan Obiektu".
//
// Window thread only.

#include <QDialog>
#include <QImage>
#include <array>
#include <functional>
#include <memory>

#include "core/configurator_ports.h"
#include "core/station_windows.h"
#include "recording/schedule.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QProgressDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

namespace kel {

class MessageBox;
class PlanPicture;
class ScheduleGrid;
class TSkinForm;
class TUsersForm;
class VideoArea;

class TConfigForm : public QDialog, public ConfiguratorWindow {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "KEL 2.0.3 Konfiguracja ";
    static constexpr int kSystemPage = 0;
    static constexpr int kSchedulePage = 1;
    static constexpr int kFirstCameraPage = 2;
    static constexpr int kPlanPage = 18;
    static constexpr int kPages = 19;
    static constexpr const char* kBadMailServer =
        "Serwer SMTP: podaj nazwę serwera albo nazwę i port (serwer:port, port 1-65535).";
    static constexpr const char* kMailSending = "Wysyłanie wiadomości testowej…";
    static constexpr const char* kMailSent = "Wiadomość testowa została wysłana.";
    static constexpr const char* kDeleteQuestion =
        "Usunięcie wszystkich plików uniemożliwi ich odtworzenie.\rCzy chcesz usunąć wszystkie pliki?";
    static constexpr const char* kUsed = "użyty";
    static constexpr const char* kFree = "wolny";

    // Boxes go through `boxes`; the skin chooser and the user administration are shown from the
    // system page. All of them outlive the dialog.
    TConfigForm(MessageBox& boxes, TSkinForm* skins, TUsersForm* users, QWidget* parent = nullptr);
    ~TConfigForm() override;

    // The opening: the working copies and the station behind the preview, the camera icons and the
    // plan picture from `skinFolder` ("Skins/<skin>/<width>/"), every page filled, the start page
    // selected. Then exec() shows it modally; the result is in work.applied.
    void Open(ConfiguratorWork& work, ConfiguratorPorts& ports);
    // ConfiguratorWindow: Open, then shown modally.
    void RunConfigurator(ConfiguratorWork& work, ConfiguratorPorts& ports) override {
        Open(work, ports);
        exec();
    }
    VideoSink* ConfigPreviewOutput() override;
    // Page 0..18; a camera page binds the shared controls to its camera.
    void SelectPage(int page);
    int Page() const { return page_; }
    // The camera of the current camera page (1..16), 0 on the other pages.
    int PageCamera() const;

    // The drive grid's free-space text: free bytes / 1024, less 10, / 1,000,000, two decimals.
    static QString FreeSpaceText(uint64_t freeBytes);

    // Event handlers, public so tests drive them as the operator would.
    void OkClick();      // "Zastosuj"
    void CancelClick();  // "Anuluj"
    void TestMailClick();
    void TestMailDone(bool sent, const std::string& error);
    void DriveGridClick(int row, int column);
    void DeleteFilesClick();
    void ActiveClick(bool on);
    void ApplyToAllClick();
    void ClearZoneClick();
    void WholeZoneClick();
    void ShowZoneClick(bool down);
    void TestDetectionClick(bool down);
    void PreviewMouseDown(QPoint pos);
    void PreviewMouseMove(QPoint pos);
    void PreviewMouseUp();
    void LoadPlanClick();
    void PlanCameraClick(int camera);
    void PlanMouseDown(QPoint pos);
    void EditPlanClick(bool down);

    // How a colour, a plan file and a skin are chosen (tests put their own).
    std::function<bool(QColor& colour)> ChooseColor;
    std::function<QString()> ChoosePlanFile;

    // Controls, named as the operator's manual names them.
    QListWidget* PageList;
    QStackedWidget* Pages;
    QPushButton* btn_Cancel;  // "Anuluj"
    QPushButton* btn_OK;      // "Zastosuj"
    // The system page.
    QTableWidget* StringGrid1;  // drives
    QComboBox* cb_Resolution;
    QComboBox* cb_AppMode;
    QComboBox* cb_StartMode;
    QComboBox* cb_Sequence;
    QComboBox* cb_FileSize;
    QCheckBox* chk_CamName;
    QCheckBox* chk_Detection;
    QCheckBox* chk_Recording;
    QCheckBox* chk_SoundDetect;
    QCheckBox* chk_SoundInfo;
    QFrame* pnl_Color;
    QPushButton* btn_Color;
    QLineEdit* ed_Skin;
    QPushButton* btn_Skin;
    QCheckBox* chk_TCP;
    QSpinBox* ed_Port;
    QLineEdit* ed_ServerName;
    QCheckBox* chk_Web;
    QSpinBox* ed_WebPort;
    QCheckBox* chk_WebTls;
    QLineEdit* ed_WebCert;
    QLineEdit* ed_WebKey;
    QPushButton* btn_Mqtt;
    QDialog* mqtt_dialog_;
    QCheckBox* chk_Mqtt;
    QCheckBox* chk_MqttTls;
    QLineEdit* ed_MqttHost;
    QSpinBox* ed_MqttPort;
    QLineEdit* ed_MqttUser;
    QLineEdit* ed_MqttPassword;
    QLineEdit* ed_MqttTopic;
    QPushButton* btn_S3;
    QDialog* s3_dialog_;
    QCheckBox* chk_S3;
    QLineEdit* ed_S3Endpoint;
    QLineEdit* ed_S3Region;
    QLineEdit* ed_S3Bucket;
    QLineEdit* ed_S3Prefix;
    QLineEdit* ed_S3KeyId;
    QLineEdit* ed_S3Secret;  // never filled: empty keeps the secret saved
    QSpinBox* ed_S3Limit;
    std::string s3_secret_;  // the secret as it was when the dialog was filled
    QLineEdit* ed_SMTP;
    QLineEdit* ed_MailUser;
    QLineEdit* ed_MailPass;
    QLineEdit* ed_MailTarget;
    QCheckBox* chk_Messages;
    QCheckBox* chk_MotionMail;
    QPushButton* btn_MailTest;
    QCheckBox* chk_AutoLogin;
    QLineEdit* ed_Login;
    QLineEdit* ed_Password;
    QPushButton* btn_Users;
    QComboBox* cb_Ptz;
    QPushButton* btn_DeleteFiles;
    // The schedule page.
    QComboBox* cb_ScheduleCamera;
    std::array<QPushButton*, 3> btn_Paint{};  // values 0, 1, 2
    ScheduleGrid* Grid;
    // The camera pages.
    QGroupBox* grp_Camera;
    VideoArea* Preview;
    QLineEdit* ed_Name;
    QCheckBox* chk_Active;
    QComboBox* cb_CamResolution;
    QComboBox* cb_Rate;
    std::array<QSlider*, 6> tb_Picture{};  // brightness, contrast, hue, saturation U and V, sharpness
    QPushButton* btn_ApplyAll;
    QSlider* tb_Sensitivity;
    QPushButton* btn_ZoneClear;
    QPushButton* btn_ZoneAll;
    QPushButton* btn_ShowZone;
    QPushButton* btn_TestDetection;
    QSpinBox* ed_PtzAddress;
    QSpinBox* ed_KeepDays;      // days the camera's recordings are kept, 0: until room is needed
    QPushButton* btn_MaskMode;  // down: the editor draws the privacy mask instead of the zone
    QLabel* lbl_MaskNote;       // under the mask: a masked network camera is compressed again
    QCheckBox* chk_AsSent;      // a network camera's stream recorded as it is sent
    // The plan page.
    PlanPicture* Image2;
    QLineEdit* ed_MapFile;
    QPushButton* btn_LoadMap;
    std::array<QPushButton*, kCameraCount> sp{};  // sp[0] is "sp1"
    QPushButton* btn_EditPlan;

    // The editors' state, for tests.
    const TZoneTable& Zones() const { return *zones_; }
    const TMaskTable& Masks() const { return *masks_; }
    const uint8_t* Overlay() const { return overlay_.data(); }
    const SchedulerTable& Schedule() const { return schedule_; }
    const TCamIconTable& Icons() const { return icons_; }
    int PlanCamera() const { return plan_camera_; }

protected:
    void moveEvent(QMoveEvent* event) override;
    void reject() override;

private:
    void CreateSystemPage(QWidget* page);
    void CreateSchedulePage(QWidget* page);
    void CreateCameraPage(QWidget* page);
    void CreatePlanPage(QWidget* page);
    void FillSystemPage();
    void FillDriveGrid();
    void FillCameraPage();
    void ShowColor();
    void LoadPictures();
    void RedrawPlan();
    // A picture value of the current camera: both copies, then the capture threads.
    void PictureChanged(int which, int value);
    void SendLiveCameras();
    void FillZone(uint8_t value);
    // The detection test as the buttons and the slider now say.
    void UpdateDetectionTest();
    void Close(bool applied);

    MessageBox& boxes_;
    QProgressDialog* mail_busy_ = nullptr;  // while a test message is on its way
    std::function<void()> cancel_mail_;
    TSkinForm* skins_;
    TUsersForm* users_;
    ConfiguratorWork* work_ = nullptr;
    ConfiguratorPorts* ports_ = nullptr;
    bool filling_ = false;  // controls being filled: their change signals are not edits
    int page_ = 0;
    std::vector<DriveRow> drives_;
    // The editors' copies, into the working copy on OK.
    std::unique_ptr<TZoneTable> zones_;
    std::unique_ptr<TMaskTable> masks_;
    // The cells the editor draws on for camera n: its privacy mask or its motion zone.
    uint8_t* EditedCells(int n);
    void MaskModeClick(bool down);
    void UpdateMaskNote();
    std::array<uint8_t, kZoneCols * kZoneRows> overlay_{};  // the current camera's cells as drawn
    bool dragging_ = false;
    QPoint drag_start_;
    SchedulerTable schedule_{};
    TCamIconTable icons_{};
    int plan_camera_ = 0;
    std::array<QImage, kCameraCount> icon_pictures_;
    QImage clean_plan_;
    class QTimer* move_timer_ = nullptr;  // the end of a drag: no move for a moment
};

}  // namespace kel
