#include "ui/config_form.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "config/passwords.h"
#include "config/rate_budget.h"
#include "config/setting_limits.h"
#include "platform/message_box.h"
#include "ui/plan_picture.h"
#include "ui/schedule_grid.h"
#include "ui/skin_form.h"
#include "ui/skin_loader.h"
#include "ui/users_form.h"
#include "ui/video_area.h"
#include "ui/zone_editor.h"

namespace kel {

namespace {

// The stack's pages; the camera pages share one.
enum StackPage { kStackSystem, kStackSchedule, kStackCamera, kStackPlan };

constexpr int kSequenceChoices = 6;
const char* const kResolutions[] = {"1024x768", "1152x864", "1280x1024"};
constexpr int kWidths[] = {1024, 1152, 1280};
constexpr int kHeights[] = {768, 864, 1024};
const char* const kAppModes[] = {"Ukryta", "w Oknie", "SmartView", "Pelny Ekran"};
const char* const kLayouts[] = {"1", "4", "9", "16", "8", "13"};
const char* const kSequences[] = {"1", "2", "5", "10", "20", "30"};
const char* const kFileSizes[] = {"5MB", "10MB", "20MB", "25MB", "50MB"};
const char* const kCameraResolutions[] = {"704x576", "704x288", "352x288"};
constexpr int kInactiveResolution = 2;
// The plan editor's picture: icon places are kept in its coordinates, and the video area's plan
// view stretches them with the plan.
constexpr int kPlanWidth = 598;
constexpr int kPlanHeight = 472;
constexpr int kIconSize = 50;

QImage PlanScaled(const QImage& picture) {
    return picture.scaled(kPlanWidth, kPlanHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

struct PictureSlider {
    const char* caption;
    NumberLimits range;
};
// In the order of TConfigForm::tb_Picture.
constexpr PictureSlider kPictureSliders[] = {
    {"Jasność", camera_limits::kBrightness},     {"Kontrast", camera_limits::kContrast},
    {"Zabarwienie", camera_limits::kHue},        {"Saturacja U", camera_limits::kSaturation},
    {"Saturacja V", camera_limits::kSaturation}, {"Ostrość", camera_limits::kSharpness},
};

int MaxChars(const char* setting) {
    return static_cast<int>(TextMaxChars(setting));
}

// The mail server box takes "host" or "host:port"; what is on the way to one is let through
// while it is typed, and the dialog's OK asks for it whole.
class MailServerValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (ValidMailServer(input.toStdString()))
            return Acceptable;
        static const QRegularExpression kOnTheWay(QStringLiteral("^[A-Za-z0-9._-]*(:[0-9]{0,5})?$"));
        return kOnTheWay.match(input).hasMatch() ? Intermediate : Invalid;
    }
};

// The records are packed: their fields are read and written by value.
int32_t PictureValue(const TCameraRecord& c, int which) {
    switch (which) {
    case 0:
        return c.Brightness;
    case 1:
        return c.Contrast;
    case 2:
        return c.Hue;
    case 3:
        return c.SatU;
    case 4:
        return c.SatV;
    default:
        return c.Sharpness;
    }
}

void SetPictureValue(TCameraRecord& c, int which, int32_t value) {
    switch (which) {
    case 0:
        c.Brightness = value;
        break;
    case 1:
        c.Contrast = value;
        break;
    case 2:
        c.Hue = value;
        break;
    case 3:
        c.SatU = value;
        break;
    case 4:
        c.SatV = value;
        break;
    default:
        c.Sharpness = value;
        break;
    }
}

QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}

template <size_t N>
QComboBox* List(const char* const (&items)[N], QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const char* item : items)
        box->addItem(QString::fromUtf8(item));
    return box;
}

// The stored index shown; one outside the list shows nothing chosen.
void Choose(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

QPushButton* Button(const char* caption, QWidget* parent) {
    return new QPushButton(QString::fromUtf8(caption), parent);
}

}  // namespace

TConfigForm::TConfigForm(MessageBox& boxes, TSkinForm* skins, TUsersForm* users, QWidget* parent)
    : QDialog(parent), boxes_(boxes), skins_(skins), users_(users), zones_(std::make_unique<TZoneTable>()),
      masks_(std::make_unique<TMaskTable>()) {
    setObjectName("ConfigForm");
    setWindowTitle(QString::fromUtf8(kCaption));
    setModal(true);

    PageList = new QListWidget(this);
    PageList->setObjectName("PageList");
    PageList->addItem(QString::fromUtf8("Ustawienia Systemu"));
    PageList->addItem(QString::fromUtf8("Harmonogram"));
    for (int n = 1; n <= kCameraCount; ++n) {
        auto* item = new QListWidgetItem(QString("Kamera %1").arg(n), PageList);
        item->setData(Qt::UserRole, n);  // the page's camera, as its tag
    }
    PageList->addItem(QString::fromUtf8("Plan Obiektu"));
    PageList->setFixedWidth(150);

    Pages = new QStackedWidget(this);
    QWidget* pages[4];
    for (QWidget*& page : pages) {
        page = new QWidget(Pages);
        Pages->addWidget(page);
    }
    CreateSystemPage(pages[kStackSystem]);
    CreateSchedulePage(pages[kStackSchedule]);
    CreateCameraPage(pages[kStackCamera]);
    CreatePlanPage(pages[kStackPlan]);

    btn_Cancel = Button("Anuluj", this);
    btn_OK = Button("Zastosuj", this);
    btn_OK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btn_Cancel);
    buttons->addWidget(btn_OK);
    auto* body = new QHBoxLayout;
    body->addWidget(PageList);
    body->addWidget(Pages, 1);
    auto* root = new QVBoxLayout(this);
    root->addLayout(body, 1);
    root->addLayout(buttons);

    connect(PageList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!filling_ && row >= 0)
            SelectPage(row);
    });
    connect(btn_OK, &QPushButton::clicked, this, &TConfigForm::OkClick);
    connect(btn_Cancel, &QPushButton::clicked, this, &TConfigForm::CancelClick);

    ChooseColor = [this](QColor& colour) {
        QColor chosen = QColorDialog::getColor(colour, this, QString::fromUtf8("Kolor OSD"));
        if (!chosen.isValid())
            return false;
        colour = chosen;
        return true;
    };
    ChoosePlanFile = [this] {
        return QFileDialog::getOpenFileName(this, QString::fromUtf8("Wczytaj Plik z Planem Obiektu"),
                                            QString(),
                                            QString::fromUtf8("Pliki z Planami Obiektu (*.bmp *.BMP)"));
    };
    move_timer_ = new QTimer(this);
    move_timer_->setSingleShot(true);
    move_timer_->setInterval(300);
    connect(move_timer_, &QTimer::timeout, this, [this] {
        if (ports_)
            ports_->DialogMoveEnded();
    });
}

TConfigForm::~TConfigForm() = default;

// --- The system page.

void TConfigForm::CreateSystemPage(QWidget* page) {
    auto* drives = new QGroupBox(QString::fromUtf8("Dyski"), page);
    StringGrid1 = new QTableWidget(0, 3, drives);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setHorizontalHeaderLabels(
        {QString::fromUtf8("Napęd"), QString::fromUtf8("Miejsce"), QString::fromUtf8("Użycie")});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->horizontalHeader()->setFixedHeight(18);
    // The usage column as wide as its longest text in the system's font.
    const int usage = std::max({38, StringGrid1->fontMetrics().horizontalAdvance(QString::fromUtf8("Użycie")),
                                StringGrid1->fontMetrics().horizontalAdvance(QString::fromUtf8(kUsed))}) +
                      10;
    StringGrid1->setColumnWidth(0, 44);
    StringGrid1->setColumnWidth(1, 109);
    StringGrid1->setColumnWidth(2, usage);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setFixedWidth(44 + 109 + usage + 2 * StringGrid1->frameWidth() + 18);
    btn_DeleteFiles = Button("Kasuj Pliki", drives);
    auto* dl = new QVBoxLayout(drives);
    dl->addWidget(StringGrid1);
    dl->addWidget(btn_DeleteFiles);

    auto* display = new QGroupBox(QString::fromUtf8("Aplikacja"), page);
    cb_Resolution = List(kResolutions, display);
    cb_AppMode = List(kAppModes, display);
    cb_StartMode = List(kLayouts, display);
    cb_Sequence = List(kSequences, display);
    cb_FileSize = List(kFileSizes, display);
    cb_Ptz = new QComboBox(display);
    cb_Ptz->addItem("Pelco D");
    auto* fl = new QFormLayout(display);
    fl->addRow(QString::fromUtf8("Rozdzielczość:"), cb_Resolution);
    fl->addRow(QString::fromUtf8("Tryb startowy:"), cb_AppMode);
    fl->addRow(QString::fromUtf8("Układ kamer:"), cb_StartMode);
    fl->addRow(QString::fromUtf8("Sekwencja [s]:"), cb_Sequence);
    fl->addRow(QString::fromUtf8("Rozmiar pliku:"), cb_FileSize);
    fl->addRow(QString::fromUtf8("Protokół PTZ:"), cb_Ptz);

    auto* osd = new QGroupBox(QString::fromUtf8("Wyświetlanie i dźwięk"), page);
    chk_CamName = new QCheckBox(QString::fromUtf8("Nazwa Kamery"), osd);
    chk_Detection = new QCheckBox(QString::fromUtf8("Przezroczyste Tło"), osd);
    chk_Recording = new QCheckBox(QString::fromUtf8("Ikona Zapisu"), osd);
    chk_SoundDetect = new QCheckBox(QString::fromUtf8("Detekcja Ruchu"), osd);
    chk_SoundInfo = new QCheckBox(QString::fromUtf8("Komunikaty"), osd);
    pnl_Color = new QFrame(osd);
    pnl_Color->setObjectName("pnl_Color");
    pnl_Color->setFixedSize(40, 22);
    pnl_Color->setFrameShape(QFrame::Box);
    pnl_Color->setAutoFillBackground(true);
    btn_Color = Button("Kolor OSD", osd);
    ed_Skin = new QLineEdit(osd);
    ed_Skin->setReadOnly(true);
    btn_Skin = Button(">>", osd);
    btn_Skin->setFixedWidth(32);
    auto* ol = new QGridLayout(osd);
    ol->addWidget(chk_CamName, 0, 0);
    ol->addWidget(chk_SoundDetect, 0, 1);
    ol->addWidget(chk_Detection, 1, 0);
    ol->addWidget(chk_SoundInfo, 1, 1);
    ol->addWidget(chk_Recording, 2, 0);
    auto* colour = new QHBoxLayout;
    colour->addWidget(pnl_Color);
    colour->addWidget(btn_Color);
    colour->addStretch();
    ol->addLayout(colour, 3, 0, 1, 2);
    auto* skin = new QHBoxLayout;
    skin->addWidget(new QLabel(QString::fromUtf8("Skórka:"), osd));
    skin->addWidget(ed_Skin, 1);
    skin->addWidget(btn_Skin);
    ol->addLayout(skin, 4, 0, 1, 2);

    auto* server = new QGroupBox(QString::fromUtf8("Serwer TCP/IP"), page);
    chk_TCP = new QCheckBox(QString::fromUtf8("Aktywny"), server);
    ed_Port = new QSpinBox(server);
    const NumberLimits port = DwordLimits("Port");
    ed_Port->setRange(static_cast<int>(port.min), static_cast<int>(port.max));
    ed_ServerName = new QLineEdit(server);
    ed_ServerName->setMaxLength(MaxChars("TCPServerName"));
    auto* sl = new QFormLayout(server);
    sl->addRow(chk_TCP);
    sl->addRow(QString::fromUtf8("Port Komunikacyjny"), ed_Port);
    sl->addRow(QString::fromUtf8("Nazwa Serwera"), ed_ServerName);

    auto* web = new QGroupBox(QString::fromUtf8("Serwer WWW"), page);
    chk_Web = new QCheckBox(QString::fromUtf8("Aktywny"), web);
    ed_WebPort = new QSpinBox(web);
    const NumberLimits webPort = DwordLimits("WebPort");
    ed_WebPort->setRange(static_cast<int>(webPort.min), static_cast<int>(webPort.max));
    chk_WebTls = new QCheckBox(QString::fromUtf8("HTTPS"), web);
    chk_WebTls->setToolTip(QString::fromUtf8("Bez szyfrowania serwer jest dostępny tylko z tego komputera"));
    ed_WebCert = new QLineEdit(web);
    ed_WebCert->setMaxLength(MaxChars("WebCert"));
    ed_WebCert->setPlaceholderText(QString::fromUtf8("własny stacji"));
    ed_WebKey = new QLineEdit(web);
    ed_WebKey->setMaxLength(MaxChars("WebKey"));
    ed_WebKey->setPlaceholderText(QString::fromUtf8("własny stacji"));
    auto* wl = new QFormLayout(web);
    auto* webSwitches = new QHBoxLayout;
    webSwitches->addWidget(chk_Web);
    webSwitches->addWidget(chk_WebTls);
    wl->addRow(webSwitches);
    wl->addRow(QString::fromUtf8("Port"), ed_WebPort);
    wl->addRow(QString::fromUtf8("Certyfikat"), ed_WebCert);
    wl->addRow(QString::fromUtf8("Klucz"), ed_WebKey);

    // The broker's settings in a small dialog of their own: the page keeps its size.
    mqtt_dialog_ = new QDialog(this);
    mqtt_dialog_->setWindowTitle(QString::fromUtf8("Zdarzenia MQTT"));
    auto* mqtt = new QGroupBox(QString::fromUtf8("Serwer MQTT"), mqtt_dialog_);
    chk_Mqtt = new QCheckBox(QString::fromUtf8("Aktywne"), mqtt);
    chk_MqttTls = new QCheckBox(QString::fromUtf8("TLS"), mqtt);
    ed_MqttHost = new QLineEdit(mqtt);
    ed_MqttHost->setMaxLength(MaxChars("MqttHost"));
    ed_MqttHost->setPlaceholderText(QString::fromUtf8("serwer"));
    ed_MqttPort = new QSpinBox(mqtt);
    const NumberLimits mqttPort = DwordLimits("MqttPort");
    ed_MqttPort->setRange(static_cast<int>(mqttPort.min), static_cast<int>(mqttPort.max));
    ed_MqttUser = new QLineEdit(mqtt);
    ed_MqttUser->setMaxLength(MaxChars("MqttUser"));
    ed_MqttPassword = new QLineEdit(mqtt);
    ed_MqttPassword->setMaxLength(MaxChars("MqttPassword"));
    ed_MqttPassword->setEchoMode(QLineEdit::Password);
    ed_MqttTopic = new QLineEdit(mqtt);
    ed_MqttTopic->setMaxLength(MaxChars("MqttTopic"));
    // A topic the station's messages can go under: no wildcards, no slash at either end.
    ed_MqttTopic->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString::fromUtf8("[^+#/\\s]([^+#\\s]*[^+#/\\s])?")), ed_MqttTopic));
    auto* ql = new QGridLayout(mqtt);
    ql->addWidget(chk_Mqtt, 0, 0);
    ql->addWidget(new QLabel(QString::fromUtf8("Serwer"), mqtt), 0, 1);
    ql->addWidget(ed_MqttHost, 0, 2);
    ql->addWidget(new QLabel(QString::fromUtf8("Port"), mqtt), 0, 3);
    ql->addWidget(ed_MqttPort, 0, 4);
    ql->addWidget(new QLabel(QString::fromUtf8("Temat"), mqtt), 0, 5);
    ql->addWidget(ed_MqttTopic, 0, 6);
    ql->addWidget(chk_MqttTls, 1, 0);
    ql->addWidget(new QLabel(QString::fromUtf8("Użytkownik"), mqtt), 1, 1);
    ql->addWidget(ed_MqttUser, 1, 2);
    ql->addWidget(new QLabel(QString::fromUtf8("Hasło"), mqtt), 1, 3);
    ql->addWidget(ed_MqttPassword, 1, 4, 1, 3);
    auto* close = Button("Zamknij", mqtt_dialog_);
    connect(close, &QPushButton::clicked, mqtt_dialog_, &QDialog::accept);
    auto* dialogLayout = new QVBoxLayout(mqtt_dialog_);
    dialogLayout->addWidget(mqtt);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close);
    dialogLayout->addLayout(closeRow);
    btn_Mqtt = Button("Zdarzenia MQTT…", web);
    connect(btn_Mqtt, &QPushButton::clicked, this, [this] { mqtt_dialog_->exec(); });

    // The off-site store's settings, likewise. The secret is never shown: its field stays empty
    // and only what is typed there replaces it.
    s3_dialog_ = new QDialog(this);
    s3_dialog_->setWindowTitle(QString::fromUtf8("Kopie poza stacją"));
    auto* s3 = new QGroupBox(QString::fromUtf8("Magazyn S3"), s3_dialog_);
    chk_S3 = new QCheckBox(QString::fromUtf8("Kopiuj nagrania"), s3);
    ed_S3Endpoint = new QLineEdit(s3);
    ed_S3Endpoint->setMaxLength(MaxChars("S3Endpoint"));
    ed_S3Endpoint->setPlaceholderText(QString::fromUtf8("https://serwer:port"));
    ed_S3Endpoint->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString::fromUtf8("(h(t(t(p(s?(:(/(/[^\\s?#]*)?)?)?)?)?)?)?)?")), ed_S3Endpoint));
    ed_S3Region = new QLineEdit(s3);
    ed_S3Region->setMaxLength(MaxChars("S3Region"));
    ed_S3Region->setPlaceholderText(QString::fromUtf8("us-east-1"));
    ed_S3Bucket = new QLineEdit(s3);
    ed_S3Bucket->setMaxLength(MaxChars("S3Bucket"));
    ed_S3Bucket->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QString::fromUtf8("[a-z0-9.-]*")), ed_S3Bucket));
    ed_S3Prefix = new QLineEdit(s3);
    ed_S3Prefix->setMaxLength(MaxChars("S3Prefix"));
    ed_S3Prefix->setPlaceholderText(QString::fromUtf8("nazwa komputera"));
    ed_S3KeyId = new QLineEdit(s3);
    ed_S3KeyId->setMaxLength(MaxChars("S3KeyId"));
    ed_S3Secret = new QLineEdit(s3);
    ed_S3Secret->setMaxLength(MaxChars("S3Secret"));
    ed_S3Secret->setEchoMode(QLineEdit::Password);
    ed_S3Limit = new QSpinBox(s3);
    const NumberLimits s3Limit = DwordLimits("S3Limit");
    ed_S3Limit->setRange(static_cast<int>(s3Limit.min), static_cast<int>(s3Limit.max));
    ed_S3Limit->setSuffix(QString::fromUtf8(" KB/s"));
    ed_S3Limit->setSpecialValueText(QString::fromUtf8("bez limitu"));
    auto* s3l = new QGridLayout(s3);
    s3l->addWidget(chk_S3, 0, 0, 1, 4);
    s3l->addWidget(new QLabel(QString::fromUtf8("Adres"), s3), 1, 0);
    s3l->addWidget(ed_S3Endpoint, 1, 1);
    s3l->addWidget(new QLabel(QString::fromUtf8("Region"), s3), 1, 2);
    s3l->addWidget(ed_S3Region, 1, 3);
    s3l->addWidget(new QLabel(QString::fromUtf8("Kubełek"), s3), 2, 0);
    s3l->addWidget(ed_S3Bucket, 2, 1);
    s3l->addWidget(new QLabel(QString::fromUtf8("Folder"), s3), 2, 2);
    s3l->addWidget(ed_S3Prefix, 2, 3);
    s3l->addWidget(new QLabel(QString::fromUtf8("Klucz dostępu"), s3), 3, 0);
    s3l->addWidget(ed_S3KeyId, 3, 1);
    s3l->addWidget(new QLabel(QString::fromUtf8("Sekret"), s3), 3, 2);
    s3l->addWidget(ed_S3Secret, 3, 3);
    s3l->addWidget(new QLabel(QString::fromUtf8("Przepustowość"), s3), 4, 0);
    s3l->addWidget(ed_S3Limit, 4, 1);
    s3l->setColumnStretch(1, 2);
    s3l->setColumnStretch(3, 1);
    auto* s3Close = Button("Zamknij", s3_dialog_);
    connect(s3Close, &QPushButton::clicked, s3_dialog_, &QDialog::accept);
    auto* s3Layout = new QVBoxLayout(s3_dialog_);
    s3Layout->addWidget(s3);
    auto* s3CloseRow = new QHBoxLayout;
    s3CloseRow->addStretch();
    s3CloseRow->addWidget(s3Close);
    s3Layout->addLayout(s3CloseRow);
    s3_dialog_->resize(620, s3_dialog_->sizeHint().height());
    btn_S3 = Button("Kopie poza stacją…", web);
    connect(btn_S3, &QPushButton::clicked, this, [this] { s3_dialog_->exec(); });
    // Both in one row: the page keeps its height.
    auto* moreRow = new QHBoxLayout;
    moreRow->addWidget(btn_Mqtt);
    moreRow->addWidget(btn_S3);
    wl->addRow(moreRow);

    auto* mail = new QGroupBox(QString::fromUtf8("Powiadomienia E-mail"), page);
    ed_SMTP = new QLineEdit(mail);
    ed_SMTP->setMaxLength(MaxChars("mSMTP"));
    ed_SMTP->setPlaceholderText(QString::fromUtf8("serwer lub serwer:port"));
    ed_SMTP->setValidator(new MailServerValidator(ed_SMTP));
    ed_MailUser = new QLineEdit(mail);
    ed_MailUser->setMaxLength(MaxChars("mUSER"));
    ed_MailPass = new QLineEdit(mail);
    ed_MailPass->setMaxLength(MaxChars("mPASS"));
    ed_MailPass->setEchoMode(QLineEdit::Password);
    ed_MailTarget = new QLineEdit(mail);
    ed_MailTarget->setMaxLength(MaxChars("mTARGET"));
    chk_Messages = new QCheckBox(QString::fromUtf8("Aktywuj Komunikaty"), mail);
    chk_MotionMail = new QCheckBox(QString::fromUtf8("Ruch ze zdjęciem"), mail);
    chk_MotionMail->setToolTip(QString::fromUtf8("Wiadomość ze zdjęciem kamery przy każdym wykryciu ruchu "
                                                 "(najwyżej jedna na minutę z każdej kamery)"));
    btn_MailTest = Button("Test", mail);
    auto* ml = new QFormLayout(mail);
    ml->addRow(QString::fromUtf8("Serwer SMTP"), ed_SMTP);
    ml->addRow(QString::fromUtf8("Użytkownik"), ed_MailUser);
    ml->addRow(QString::fromUtf8("Hasło"), ed_MailPass);
    ml->addRow(QString::fromUtf8("Adresat"), ed_MailTarget);
    auto* mailButtons = new QHBoxLayout;
    mailButtons->addWidget(chk_Messages);
    mailButtons->addWidget(chk_MotionMail);
    mailButtons->addStretch();
    mailButtons->addWidget(btn_MailTest);
    ml->addRow(mailButtons);

    auto* login = new QGroupBox(QString::fromUtf8("Logowanie"), page);
    chk_AutoLogin = new QCheckBox(QString::fromUtf8("Aut. Logowanie"), login);
    ed_Login = new QLineEdit(login);
    ed_Login->setMaxLength(MaxChars("sUser"));
    ed_Password = new QLineEdit(login);
    ed_Password->setMaxLength(static_cast<int>(kMaxPasswordChars));
    ed_Password->setEchoMode(QLineEdit::Password);
    btn_Users = Button("U", login);
    btn_Users->setFixedWidth(32);
    btn_Users->setToolTip(QString::fromUtf8("Użytkownicy"));
    auto* ll = new QFormLayout(login);
    auto* auto_ = new QHBoxLayout;
    auto_->addWidget(chk_AutoLogin);
    auto_->addStretch();
    auto_->addWidget(btn_Users);
    ll->addRow(auto_);
    ll->addRow(QString::fromUtf8("Login"), ed_Login);
    ll->addRow(QString::fromUtf8("Hasło"), ed_Password);

    auto* grid = new QGridLayout(page);
    grid->addWidget(drives, 0, 0, 2, 1);
    grid->addWidget(display, 0, 1);
    grid->addWidget(osd, 1, 1);
    grid->addWidget(server, 0, 2);
    grid->addWidget(login, 1, 2);
    grid->addWidget(web, 2, 0);
    grid->addWidget(mail, 2, 1, 1, 2);
    grid->setRowStretch(3, 1);

    connect(StringGrid1, &QTableWidget::cellClicked, this, &TConfigForm::DriveGridClick);
    connect(btn_DeleteFiles, &QPushButton::clicked, this, &TConfigForm::DeleteFilesClick);
    auto onIndex = [this](QComboBox* box, auto store) {
        connect(box, &QComboBox::currentIndexChanged, this, [this, store](int index) {
            if (!filling_ && work_ && index >= 0)
                store(work_->settings, index);
        });
    };
    onIndex(cb_Resolution, [](TSettingsBlock& s, int i) {
        s.Width = static_cast<uint16_t>(kWidths[i]);
        s.Height = static_cast<uint16_t>(kHeights[i]);
    });
    onIndex(cb_AppMode, [](TSettingsBlock& s, int i) { s.AppMode = static_cast<uint16_t>(i); });
    onIndex(cb_StartMode, [](TSettingsBlock& s, int i) { s.StartMode = i; });
    onIndex(cb_Sequence, [](TSettingsBlock& s, int i) { s.Sequence = i; });
    onIndex(cb_FileSize, [](TSettingsBlock& s, int i) { s.VideoFilesSize = i; });
    auto onCheck = [this](QCheckBox* box, bool TSettingsBlock::*field) {
        connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
            if (!filling_ && work_)
                work_->settings.*field = on;
        });
    };
    onCheck(chk_CamName, &TSettingsBlock::cCamName);
    onCheck(chk_Detection, &TSettingsBlock::cDetection);
    onCheck(chk_Recording, &TSettingsBlock::cRecording);
    onCheck(chk_SoundDetect, &TSettingsBlock::SoundDetect);
    onCheck(chk_SoundInfo, &TSettingsBlock::SoundInfo);
    onCheck(chk_TCP, &TSettingsBlock::TCP);
    onCheck(chk_Web, &TSettingsBlock::Web);
    onCheck(chk_WebTls, &TSettingsBlock::WebTls);
    onCheck(chk_Mqtt, &TSettingsBlock::Mqtt);
    onCheck(chk_MqttTls, &TSettingsBlock::MqttTls);
    connect(ed_MqttPort, &QSpinBox::valueChanged, this, [this](int port) {
        if (!filling_ && work_)
            work_->settings.MqttPort = port;
    });
    auto onText = [this](QLineEdit* box, std::string TSettingsBlock::*field) {
        connect(box, &QLineEdit::textChanged, this, [this, field](const QString& text) {
            if (!filling_ && work_)
                work_->settings.*field = text.trimmed().toStdString();
        });
    };
    onText(ed_MqttHost, &TSettingsBlock::MqttHost);
    onText(ed_MqttUser, &TSettingsBlock::MqttUser);
    onText(ed_MqttPassword, &TSettingsBlock::MqttPassword);
    onText(ed_MqttTopic, &TSettingsBlock::MqttTopic);
    onCheck(chk_S3, &TSettingsBlock::S3);
    onText(ed_S3Endpoint, &TSettingsBlock::S3Endpoint);
    onText(ed_S3Region, &TSettingsBlock::S3Region);
    onText(ed_S3Bucket, &TSettingsBlock::S3Bucket);
    onText(ed_S3Prefix, &TSettingsBlock::S3Prefix);
    onText(ed_S3KeyId, &TSettingsBlock::S3KeyId);
    connect(ed_S3Secret, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!filling_ && work_)
            work_->settings.S3Secret = text.isEmpty() ? s3_secret_ : text.toStdString();
    });
    connect(ed_S3Limit, &QSpinBox::valueChanged, this, [this](int limit) {
        if (!filling_ && work_)
            work_->settings.S3Limit = limit;
    });
    connect(ed_WebPort, &QSpinBox::valueChanged, this, [this](int port) {
        if (!filling_ && work_)
            work_->settings.WebPort = port;
    });
    connect(ed_WebCert, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!filling_ && work_)
            work_->settings.WebCert = text.trimmed().toStdString();
    });
    connect(ed_WebKey, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!filling_ && work_)
            work_->settings.WebKey = text.trimmed().toStdString();
    });
    onCheck(chk_Messages, &TSettingsBlock::bMessages);
    onCheck(chk_MotionMail, &TSettingsBlock::MotionMail);
    onCheck(chk_AutoLogin, &TSettingsBlock::AutoLogin);
    // The box takes only ports a socket can have.
    connect(ed_Port, &QSpinBox::valueChanged, this, [this](int port) {
        if (!filling_ && work_)
            work_->settings.Port = port;
    });
    connect(ed_ServerName, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!filling_ && work_)
            work_->settings.TCPServerName = text.left(128).toStdString();
    });
    connect(btn_Color, &QPushButton::clicked, this, [this] {
        if (!work_)
            return;
        const uint32_t c = static_cast<uint32_t>(work_->settings.cColor);
        QColor colour(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        if (!ChooseColor(colour))
            return;
        work_->settings.cColor = static_cast<int32_t>(static_cast<uint32_t>(colour.red()) |
                                                      static_cast<uint32_t>(colour.green()) << 8 |
                                                      static_cast<uint32_t>(colour.blue()) << 16);
        ShowColor();
    });
    connect(btn_Skin, &QPushButton::clicked, this, [this] {
        if (!skins_ || !work_ || skins_->exec() != QDialog::Accepted || skins_->SelectedSkin().isEmpty())
            return;
        work_->settings.Skin = skins_->SelectedSkin().toStdString();
        ed_Skin->setText(skins_->SelectedSkin());
    });
    connect(btn_MailTest, &QPushButton::clicked, this, &TConfigForm::TestMailClick);
    connect(btn_Users, &QPushButton::clicked, this, [this] {
        if (!users_ || !work_)
            return;
        TSettingsBlock& s = work_->settings;
        users_->SetAccounts(UserAccounts{s.Users, s.PassHashes, s.ExportRights});
        if (users_->exec() != QDialog::Accepted)
            return;
        const TPasswordTable before = s.PassHashes;
        s.Users = users_->Accounts().users;
        s.PassHashes = users_->Accounts().passwords;
        s.ExportRights = users_->Accounts().exports;
        FollowAutoLogin(before, s);  // a changed password keeps its automatic login
    });
}

void TConfigForm::FillSystemPage() {
    const TSettingsBlock& s = work_->settings;
    const int* width = std::find(std::begin(kWidths), std::end(kWidths), s.Width);
    Choose(cb_Resolution, static_cast<int>(width - std::begin(kWidths)));
    Choose(cb_AppMode, s.AppMode);
    Choose(cb_StartMode, s.StartMode);
    Choose(cb_Sequence, s.Sequence);
    Choose(cb_FileSize, s.VideoFilesSize);
    cb_Ptz->setCurrentIndex(0);
    chk_CamName->setChecked(s.cCamName);
    chk_Detection->setChecked(s.cDetection);
    chk_Recording->setChecked(s.cRecording);
    chk_SoundDetect->setChecked(s.SoundDetect);
    chk_SoundInfo->setChecked(s.SoundInfo);
    ShowColor();
    ed_Skin->setText(Utf8(s.Skin));
    chk_TCP->setChecked(s.TCP);
    ed_Port->setValue(s.Port);
    ed_ServerName->setText(Utf8(s.TCPServerName).left(128));
    chk_Web->setChecked(s.Web);
    chk_WebTls->setChecked(s.WebTls);
    ed_WebPort->setValue(s.WebPort);
    ed_WebCert->setText(Utf8(s.WebCert));
    ed_WebKey->setText(Utf8(s.WebKey));
    chk_Mqtt->setChecked(s.Mqtt);
    chk_MqttTls->setChecked(s.MqttTls);
    ed_MqttHost->setText(Utf8(s.MqttHost));
    ed_MqttPort->setValue(s.MqttPort);
    ed_MqttUser->setText(Utf8(s.MqttUser));
    ed_MqttPassword->setText(Utf8(s.MqttPassword));
    ed_MqttTopic->setText(Utf8(s.MqttTopic));
    chk_S3->setChecked(s.S3);
    ed_S3Endpoint->setText(Utf8(s.S3Endpoint));
    ed_S3Region->setText(Utf8(s.S3Region));
    ed_S3Bucket->setText(Utf8(s.S3Bucket));
    ed_S3Prefix->setText(Utf8(s.S3Prefix));
    ed_S3KeyId->setText(Utf8(s.S3KeyId));
    s3_secret_ = s.S3Secret;
    ed_S3Secret->clear();
    ed_S3Secret->setPlaceholderText(s.S3Secret.empty() ? QString()
                                                       : QString::fromUtf8("zapisany, bez zmian"));
    ed_S3Limit->setValue(s.S3Limit);
    ed_SMTP->setText(Utf8(s.mSMTP));
    ed_MailUser->setText(Utf8(s.mUSER));
    ed_MailPass->setText(Utf8(s.mPASS));
    ed_MailTarget->setText(Utf8(s.mTARGET));
    chk_Messages->setChecked(s.bMessages);
    chk_MotionMail->setChecked(s.MotionMail);
    chk_AutoLogin->setChecked(s.AutoLogin);
    ed_Login->setText(Utf8(s.sUser));
    // Never shown: a password typed here is a new one.
    ed_Password->clear();
    ed_Password->setPlaceholderText(s.sPass.empty() ? QString() : QStringLiteral("(bez zmian)"));
    FillDriveGrid();
}

void TConfigForm::FillDriveGrid() {
    drives_ = ports_->Drives();
    StringGrid1->setRowCount(static_cast<int>(drives_.size()));
    for (int row = 0; row < static_cast<int>(drives_.size()); ++row) {
        const bool used =
            row < static_cast<int>(work_->settings.HDDs.size()) && work_->settings.HDDs[row] == 1;
        const QString texts[3] = {QString("%1:\\").arg(QChar(drives_[row].letter)),
                                  FreeSpaceText(drives_[row].freeBytes),
                                  QString::fromUtf8(used ? kUsed : kFree)};
        for (int col = 0; col < 3; ++col)
            StringGrid1->setItem(row, col, new QTableWidgetItem(texts[col]));
    }
}

// Decimal comma, as the operators read numbers. A drive with less than the 10 KiB the formula
// keeps back shows nothing free rather than a negative figure.
QString TConfigForm::FreeSpaceText(uint64_t freeBytes) {
    const double gb = std::max(0.0, (static_cast<double>(freeBytes / 1024) - 10.0) / 1000000.0);
    return QString::number(gb, 'f', 2).replace('.', ',') + " GB";
}

void TConfigForm::DriveGridClick(int row, int column) {
    if (!work_ || column != 2 || row < 0 || row >= static_cast<int>(drives_.size()) ||
        row >= static_cast<int>(work_->settings.HDDs.size()))
        return;
    uint8_t& flag = work_->settings.HDDs[row];
    flag = flag == 1 ? 0 : 1;
    StringGrid1->item(row, 2)->setText(QString::fromUtf8(flag == 1 ? kUsed : kFree));
}

void TConfigForm::DeleteFilesClick() {
    if (ports_ && boxes_.Ask(kDeleteQuestion))
        ports_->DeleteRecordings();
}

void TConfigForm::ShowColor() {
    const uint32_t c = static_cast<uint32_t>(work_ ? work_->settings.cColor : 0);
    QPalette palette = pnl_Color->palette();
    palette.setColor(QPalette::Window, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    pnl_Color->setPalette(palette);
}

// --- The schedule page.

void TConfigForm::CreateSchedulePage(QWidget* page) {
    auto* group = new QGroupBox(QString::fromUtf8("Harmonogram Zapisu"), page);
    cb_ScheduleCamera = new QComboBox(group);
    cb_ScheduleCamera->setToolTip(QString::fromUtf8("Kamera dla której ustawiany jest harmonogram"));
    const char* captions[3] = {"Bez Zapisu", "Zapis Ciągły", "Detekcja Ruchu"};
    const char* hints[3] = {"Brak Zapisu", "Zapis Ciągły", "Detekcja Ruchu"};
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QString::fromUtf8("Kamera:"), group));
    buttons->addWidget(cb_ScheduleCamera);
    buttons->addSpacing(20);
    for (int v = 0; v < 3; ++v) {
        btn_Paint[v] = Button(captions[v], group);
        btn_Paint[v]->setToolTip(QString::fromUtf8(hints[v]));
        btn_Paint[v]->setCheckable(true);
        btn_Paint[v]->setAutoExclusive(true);
        buttons->addWidget(btn_Paint[v]);
        connect(btn_Paint[v], &QPushButton::clicked, this, [this, v] { Grid->SetPaintValue(uint8_t(v)); });
    }
    btn_Paint[0]->setChecked(true);
    buttons->addStretch();
    Grid = new ScheduleGrid(group);
    Grid->setToolTip(QString::fromUtf8("Kalendarz"));
    Grid->SetTable(&schedule_);
    auto* gl = new QVBoxLayout(group);
    gl->addLayout(buttons);
    gl->addWidget(Grid);
    gl->addStretch();
    auto* pl = new QVBoxLayout(page);
    pl->addWidget(group);
    pl->addStretch();
    connect(cb_ScheduleCamera, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Grid->SetCamera(index + 1);
    });
}

// --- The camera pages.

void TConfigForm::CreateCameraPage(QWidget* page) {
    grp_Camera = new QGroupBox(page);
    Preview = new VideoArea(grp_Camera);
    Preview->setObjectName("Preview");
    Preview->setFixedSize(kPreviewWidth, kPreviewHeight);
    Preview->ShowTarget(PresentTarget::ConfigPreview);
    Preview->setCursor(Qt::CrossCursor);

    auto* identity = new QGroupBox(QString::fromUtf8("Kamera"), page);
    ed_Name = new QLineEdit(identity);
    ed_Name->setMaxLength(30);
    chk_Active = new QCheckBox(QString::fromUtf8("Aktywna"), identity);
    cb_CamResolution = List(kCameraResolutions, identity);
    cb_Rate = new QComboBox(identity);
    ed_PtzAddress = new QSpinBox(identity);
    ed_PtzAddress->setRange(static_cast<int>(camera_limits::kPtzAddress.min),
                            static_cast<int>(camera_limits::kPtzAddress.max));
    ed_KeepDays = new QSpinBox(identity);
    ed_KeepDays->setObjectName("ed_KeepDays");
    ed_KeepDays->setRange(static_cast<int>(camera_limits::kKeepDays.min),
                          static_cast<int>(camera_limits::kKeepDays.max));
    ed_KeepDays->setSpecialValueText(QString::fromUtf8("bez limitu"));
    ed_KeepDays->setSuffix(QString::fromUtf8(" dni"));
    ed_KeepDays->setToolTip(
        QString::fromUtf8("Nagrania starsze niż tyle dni są usuwane (co godzinę); bez limitu: gdy "
                          "zabraknie miejsca na dyskach"));
    chk_AsSent = new QCheckBox(QString::fromUtf8("Nagrywaj strumień kamery bez przekodowania"), identity);
    chk_AsSent->setObjectName("chk_AsSent");
    chk_AsSent->setToolTip(
        QString::fromUtf8("Kamera sieciowa lub plik: nagrania w pełnej jakości kamery (pliki MP4), "
                          "bez kompresji na stacji; kamery analogowe nagrywają jak dotąd"));
    auto* il = new QFormLayout(identity);
    il->addRow(QString::fromUtf8("Nazwa"), ed_Name);
    il->addRow(chk_Active);
    il->addRow(QString::fromUtf8("Rozdzielczość"), cb_CamResolution);
    il->addRow(QString::fromUtf8("Klatek/s"), cb_Rate);
    il->addRow(QString::fromUtf8("Port Kamery PTZ:"), ed_PtzAddress);
    il->addRow(QString::fromUtf8("Przechowuj nagrania:"), ed_KeepDays);
    il->addRow(chk_AsSent);

    auto* picture = new QGroupBox(QString::fromUtf8("Parametry Obrazu"), page);
    auto* pl = new QFormLayout(picture);
    for (int i = 0; i < 6; ++i) {
        tb_Picture[i] = new QSlider(Qt::Horizontal, picture);
        tb_Picture[i]->setRange(static_cast<int>(kPictureSliders[i].range.min),
                                static_cast<int>(kPictureSliders[i].range.max));
        pl->addRow(QString::fromUtf8(kPictureSliders[i].caption), tb_Picture[i]);
        connect(tb_Picture[i], &QSlider::valueChanged, this, [this, i](int v) { PictureChanged(i, v); });
    }
    btn_ApplyAll = Button("Zastosuj do Wszystkich", picture);
    pl->addRow(btn_ApplyAll);

    auto* motion = new QGroupBox(QString::fromUtf8("Detekcja Ruchu"), page);
    tb_Sensitivity = new QSlider(Qt::Horizontal, motion);
    tb_Sensitivity->setRange(static_cast<int>(camera_limits::kSensitivity.min),
                             static_cast<int>(camera_limits::kSensitivity.max));
    tb_Sensitivity->setToolTip(QString::fromUtf8("Maksymalna - Minimalna Czułość Detekcji"));
    btn_ZoneClear = Button("Wyczyść", motion);
    btn_ZoneClear->setToolTip(QString::fromUtf8("Czyszczenie Strefy"));
    btn_ZoneAll = Button("Całość", motion);
    btn_ZoneAll->setToolTip(QString::fromUtf8("Cała Strefa"));
    btn_ShowZone = Button("Wyświetl Strefę", motion);
    btn_ShowZone->setCheckable(true);
    btn_TestDetection = Button("Testuj Detekcję", motion);
    btn_TestDetection->setCheckable(true);
    btn_MaskMode = Button("Maska Prywatności", motion);
    btn_MaskMode->setObjectName("btn_MaskMode");
    btn_MaskMode->setCheckable(true);
    btn_MaskMode->setToolTip(
        QString::fromUtf8("Rysowanie maski prywatności: zamaskowane pola są czarne na podglądzie, w "
                          "nagraniach i u klientów, a ruch w nich nie jest wykrywany"));
    lbl_MaskNote = new QLabel(QString::fromUtf8("Kamera z maską jest nagrywana po przekodowaniu"), motion);
    lbl_MaskNote->setObjectName("lbl_MaskNote");
    lbl_MaskNote->setWordWrap(true);
    lbl_MaskNote->setToolTip(
        QString::fromUtf8("Strumień kamery zawiera to, co zakrywa maska: nagrania powstają z obrazów "
                          "z maską, a nie ze strumienia kamery"));
    auto* ml = new QGridLayout(motion);
    auto* sensitivity = new QHBoxLayout;
    sensitivity->addWidget(new QLabel(QString::fromUtf8("Czułość:  Max."), motion));
    sensitivity->addWidget(tb_Sensitivity, 1);
    sensitivity->addWidget(new QLabel(QString::fromUtf8("Min."), motion));
    ml->addLayout(sensitivity, 0, 0, 1, 4);
    ml->addWidget(btn_ZoneClear, 1, 0);
    ml->addWidget(btn_ZoneAll, 1, 1);
    ml->addWidget(btn_ShowZone, 1, 2);
    ml->addWidget(btn_TestDetection, 1, 3);
    ml->addWidget(btn_MaskMode, 2, 0, 1, 4);
    ml->addWidget(lbl_MaskNote, 3, 0, 1, 4);

    auto* previewLayout = new QVBoxLayout(grp_Camera);
    previewLayout->addWidget(Preview);
    auto* grid = new QGridLayout(page);
    grid->addWidget(grp_Camera, 0, 0);
    grid->addWidget(identity, 0, 1);
    grid->addWidget(motion, 1, 0);
    grid->addWidget(picture, 1, 1);
    grid->setRowStretch(2, 1);

    connect(ed_Name, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int n = PageCamera();
        if (!work_ || n == 0)
            return;
        const std::string name = text.left(30).toStdString();
        work_->cameras[n - 1].Name.Set(name);
        work_->live[n - 1].Name.Set(name);
    });
    connect(chk_Active, &QCheckBox::clicked, this, &TConfigForm::ActiveClick);
    connect(cb_CamResolution, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling_ && work_ && PageCamera() && index >= 0)
            work_->cameras[PageCamera() - 1].Resolution = index;
    });
    connect(cb_Rate, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling_ && work_ && PageCamera() && index >= 0)
            work_->cameras[PageCamera() - 1].FPS = index + 1;
    });
    connect(ed_PtzAddress, &QSpinBox::valueChanged, this, [this](int value) {
        if (!filling_ && work_ && PageCamera())
            work_->settings.PTZPorts[PageCamera() - 1] = value;
    });
    connect(ed_KeepDays, &QSpinBox::valueChanged, this, [this](int value) {
        if (!filling_ && work_ && PageCamera())
            work_->settings.KeepDays[PageCamera() - 1] = value;
    });
    connect(chk_AsSent, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_ && work_ && PageCamera() && chk_AsSent->isEnabled())
            work_->settings.Reencode[PageCamera() - 1] = on ? 0 : 1;
    });
    connect(btn_MaskMode, &QPushButton::toggled, this, &TConfigForm::MaskModeClick);
    connect(btn_ApplyAll, &QPushButton::clicked, this, &TConfigForm::ApplyToAllClick);
    connect(tb_Sensitivity, &QSlider::valueChanged, this, [this](int value) {
        if (filling_ || !PageCamera())
            return;
        (*zones_)[PageCamera() - 1].Sensitivity = value;
        UpdateDetectionTest();
    });
    connect(btn_ZoneClear, &QPushButton::clicked, this, &TConfigForm::ClearZoneClick);
    connect(btn_ZoneAll, &QPushButton::clicked, this, &TConfigForm::WholeZoneClick);
    connect(btn_ShowZone, &QPushButton::toggled, this, &TConfigForm::ShowZoneClick);
    connect(btn_TestDetection, &QPushButton::toggled, this, &TConfigForm::TestDetectionClick);
    connect(Preview, &VideoArea::pressed, this, [this](Qt::MouseButton button, bool, QPoint pos, QPoint) {
        if (button == Qt::LeftButton)
            PreviewMouseDown(pos);
    });
    connect(Preview, &VideoArea::moved, this, &TConfigForm::PreviewMouseMove);
    connect(Preview, &VideoArea::released, this, [this](Qt::MouseButton button, QPoint) {
        if (button == Qt::LeftButton)
            PreviewMouseUp();
    });
}

int TConfigForm::PageCamera() const {
    return page_ >= kFirstCameraPage && page_ < kFirstCameraPage + kCameraCount ? page_ - 1 : 0;
}

void TConfigForm::FillCameraPage() {
    const int n = PageCamera();
    if (!work_ || n == 0)
        return;
    filling_ = true;
    TCameraRecord& c = work_->cameras[n - 1];
    grp_Camera->setTitle(QString("Kamera %1").arg(n));
    ed_Name->setText(QString::fromStdString(c.Name.Get()));
    chk_Active->setChecked(c.Active != 0);
    Choose(cb_CamResolution, c.Resolution);
    // A stored rate above the budget (set outside the dialog) stays on the list, so it can be
    // kept or lowered, never raised.
    const int rate = std::max<int>(FreeRate(work_->cameras, n), c.Active ? c.FPS : 0);
    cb_Rate->clear();
    for (int k = 1; k <= rate; ++k)
        cb_Rate->addItem(QString::number(k));
    Choose(cb_Rate, c.FPS - 1);
    cb_CamResolution->setEnabled(c.Active != 0);
    cb_Rate->setEnabled(c.Active != 0);
    for (int i = 0; i < 6; ++i)
        tb_Picture[i]->setValue(PictureValue(c, i));
    tb_Sensitivity->setValue((*zones_)[n - 1].Sensitivity);
    ed_PtzAddress->setValue(work_->settings.PTZPorts[n - 1]);
    ed_KeepDays->setValue(work_->settings.KeepDays[n - 1]);
    // Capture cards and the simulation always compress their pictures.
    const bool stream = ports_ && ports_->SendsStream(n);
    chk_AsSent->setEnabled(stream);
    chk_AsSent->setChecked(stream && work_->settings.Reencode[n - 1] == 0);
    std::memcpy(overlay_.data(), EditedCells(n), overlay_.size());
    UpdateMaskNote();
    filling_ = false;
}

void TConfigForm::PictureChanged(int which, int value) {
    const int n = PageCamera();
    if (filling_ || !work_ || n == 0)
        return;
    SetPictureValue(work_->cameras[n - 1], which, value);
    SetPictureValue(work_->live[n - 1], which, value);
    SendLiveCameras();
}

void TConfigForm::SendLiveCameras() {
    if (ports_)
        ports_->SetLiveCameras(work_->live);
}

// A camera becomes active only while its group's budget has room; made inactive it falls back
// to the smallest picture and keeps its rate.
void TConfigForm::ActiveClick(bool on) {
    const int n = PageCamera();
    if (!work_ || n == 0)
        return;
    TCameraRecord& edited = work_->cameras[n - 1];
    TCameraRecord& live = work_->live[n - 1];
    if (on) {
        // It gets its rate back, as far as the budget has room for it.
        if (const int free = FreeRate(work_->cameras, n); free > 0) {
            edited.Active = live.Active = 1;
            const int32_t fps = edited.FPS;
            edited.FPS = live.FPS = std::clamp<int32_t>(fps, 1, free);
        }
    } else {
        edited.Active = live.Active = 0;
        edited.Resolution = live.Resolution = kInactiveResolution;
    }
    FillCameraPage();
    SendLiveCameras();
}

void TConfigForm::ApplyToAllClick() {
    const int n = PageCamera();
    if (!work_ || n == 0)
        return;
    const TCameraRecord source = work_->cameras[n - 1];
    for (int i = 0; i < kCameraCount; ++i) {
        work_->cameras[i].Resolution = source.Resolution;
        for (int which = 0; which < 6; ++which) {
            SetPictureValue(work_->cameras[i], which, PictureValue(source, which));
            SetPictureValue(work_->live[i], which, PictureValue(source, which));
        }
    }
    SendLiveCameras();
}

void TConfigForm::ClearZoneClick() {
    FillZone(0);
}

void TConfigForm::WholeZoneClick() {
    FillZone(1);
}

// The whole grid of the page's camera set to `value`, and the zone shown.
void TConfigForm::FillZone(uint8_t value) {
    const int n = PageCamera();
    if (n == 0)
        return;
    overlay_.fill(value);
    std::memcpy(EditedCells(n), overlay_.data(), overlay_.size());
    btn_ShowZone->setChecked(true);
    ShowZoneClick(true);
    UpdateDetectionTest();
    UpdateMaskNote();
}

void TConfigForm::ShowZoneClick(bool down) {
    if (ports_ && PageCamera())
        ports_->ShowZone(PageCamera(), overlay_.data(), down);
}

void TConfigForm::TestDetectionClick(bool down) {
    if (down)
        btn_ShowZone->setChecked(true);
    UpdateDetectionTest();
}

void TConfigForm::UpdateDetectionTest() {
    if (ports_)
        ports_->SetDetectionTest(btn_TestDetection->isChecked() && PageCamera() != 0, *zones_,
                                 tb_Sensitivity->value());
}

void TConfigForm::PreviewMouseDown(QPoint pos) {
    dragging_ = true;
    drag_start_ = pos;
}

void TConfigForm::PreviewMouseMove(QPoint pos) {
    if (!dragging_ || !btn_ShowZone->isChecked() || !PageCamera())
        return;
    MarkZoneRect(overlay_.data(), drag_start_.x(), drag_start_.y(), pos.x(), pos.y());
    ShowZoneClick(true);
}

void TConfigForm::PreviewMouseUp() {
    if (!dragging_)
        return;
    dragging_ = false;
    if (!btn_ShowZone->isChecked() || !PageCamera())
        return;
    std::memcpy(EditedCells(PageCamera()), overlay_.data(), overlay_.size());
    UpdateDetectionTest();
    UpdateMaskNote();
}

// A network camera with a mask is recorded from its masked pictures, not as it sends: said under
// the mask while the page's camera has one.
void TConfigForm::UpdateMaskNote() {
    const int n = PageCamera();
    const uint8_t* cells = n ? (*masks_)[n - 1].Cells : nullptr;
    const bool masked =
        cells && std::any_of(cells, cells + sizeof(TMaskRecord::Cells), [](uint8_t c) { return c == 1; });
    lbl_MaskNote->setVisible(masked && ports_ && ports_->SendsStream(n));
}

uint8_t* TConfigForm::EditedCells(int n) {
    return btn_MaskMode->isChecked() ? (*masks_)[n - 1].Cells : (*zones_)[n - 1].Mask;
}

// The same editor, clear, whole and drag, draws the privacy mask while the button is down; the
// cells drawn are shown at once.
void TConfigForm::MaskModeClick(bool down) {
    btn_ShowZone->setText(QString::fromUtf8(down ? "Wyświetl Maskę" : "Wyświetl Strefę"));
    const int n = PageCamera();
    if (n == 0)
        return;
    std::memcpy(overlay_.data(), EditedCells(n), overlay_.size());
    btn_ShowZone->setChecked(true);
    ShowZoneClick(true);
}

// --- The plan page.

void TConfigForm::CreatePlanPage(QWidget* page) {
    Image2 = new PlanPicture(page);
    Image2->setFixedSize(kPlanWidth, kPlanHeight);
    ed_MapFile = new QLineEdit(page);
    ed_MapFile->setReadOnly(true);
    btn_LoadMap = Button(">>", page);
    btn_LoadMap->setFixedWidth(32);
    auto* tools = new QGroupBox(QString::fromUtf8("Narzędzia"), page);
    auto* tl = new QGridLayout(tools);
    for (int n = 1; n <= kCameraCount; ++n) {
        QPushButton* b = sp[n - 1] = new QPushButton(QString::number(n), tools);
        b->setObjectName(QString("sp%1").arg(n));
        b->setToolTip(QString("Kamera %1").arg(n));
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setFixedSize(32, 32);
        tl->addWidget(b, (n - 1) / 4, (n - 1) % 4);
        connect(b, &QPushButton::clicked, this, [this, n] { PlanCameraClick(n); });
    }
    btn_EditPlan = Button("Edytuj", tools);
    btn_EditPlan->setCheckable(true);
    tl->addWidget(btn_EditPlan, 4, 0, 1, 4);
    tl->setRowStretch(5, 1);
    auto* file = new QHBoxLayout;
    file->addWidget(new QLabel(QString::fromUtf8("Plik planu:"), page));
    file->addWidget(ed_MapFile, 1);
    file->addWidget(btn_LoadMap);
    auto* grid = new QGridLayout(page);
    grid->addWidget(Image2, 0, 0);
    grid->addWidget(tools, 0, 1);
    grid->addLayout(file, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(2, 1);
    connect(btn_LoadMap, &QPushButton::clicked, this, &TConfigForm::LoadPlanClick);
    connect(btn_EditPlan, &QPushButton::toggled, this, &TConfigForm::EditPlanClick);
    connect(Image2, &PlanPicture::pressed, this, &TConfigForm::PlanMouseDown);
}

// The icons of the working skin and width, and the plan: the chosen file, or the skin's own.
void TConfigForm::LoadPictures() {
    const TSettingsBlock& s = work_->settings;
    const QString folder = SkinFolder(Utf8(s.Skin), s.Width);
    for (int n = 1; n <= kCameraCount; ++n) {
        QImage icon(folder + QString("camera_%1.bmp").arg(n));
        if (!icon.isNull())
            icon_pictures_[n - 1] = icon;
    }
    const QString plan =
        s.sMapFile == "screen.bmp" || s.sMapFile.empty() ? folder + "screen.bmp" : Utf8(s.sMapFile);
    QImage picture(plan);
    if (!picture.isNull())
        clean_plan_ = PlanScaled(picture);
    ed_MapFile->setText(Utf8(s.sMapFile));
}

void TConfigForm::LoadPlanClick() {
    const QString file = ChoosePlanFile ? ChoosePlanFile() : QString();
    if (file.isEmpty() || !work_)
        return;
    QImage picture(file);
    if (picture.isNull()) {
        boxes_.Error(("Nie można wczytać pliku " + file).toStdString());
        return;
    }
    clean_plan_ = PlanScaled(picture);
    ed_MapFile->setText(file);
    work_->settings.sMapFile = file.toStdString();
    RedrawPlan();
}

void TConfigForm::PlanCameraClick(int camera) {
    if (camera < 1 || camera > kCameraCount)
        return;
    plan_camera_ = camera;
    if (btn_EditPlan->isChecked() && icons_[camera - 1].Placed) {
        icons_[camera - 1].Placed = 0;
        RedrawPlan();
    }
}

void TConfigForm::PlanMouseDown(QPoint pos) {
    if (btn_EditPlan->isChecked() && plan_camera_ >= 1) {
        TCamIconRecord& icon = icons_[plan_camera_ - 1];
        icon.X = pos.x() - kIconSize / 2;
        icon.Y = pos.y() - kIconSize / 2;
        icon.Placed = 1;
    }
    RedrawPlan();
}

void TConfigForm::EditPlanClick(bool down) {
    Image2->setCursor(down ? Qt::CrossCursor : Qt::PointingHandCursor);
}

void TConfigForm::RedrawPlan() {
    QImage plan =
        clean_plan_.isNull() ? QImage(kPlanWidth, kPlanHeight, QImage::Format_RGB32) : clean_plan_.copy();
    if (clean_plan_.isNull())
        plan.fill(Qt::white);
    QPainter p(&plan);
    for (int n = 1; n <= kCameraCount; ++n)
        if (icons_[n - 1].Placed && !icon_pictures_[n - 1].isNull())
            p.drawImage(QRect(icons_[n - 1].X, icons_[n - 1].Y, kIconSize, kIconSize), icon_pictures_[n - 1]);
    p.end();
    Image2->SetPicture(plan);
}

// --- Opening and closing.

void TConfigForm::Open(ConfiguratorWork& work, ConfiguratorPorts& ports) {
    work_ = &work;
    ports_ = &ports;
    work.applied = false;
    *zones_ = work.settings.Zones;
    *masks_ = work.settings.Masks;
    schedule_ = work.settings.Scheduler;
    icons_ = work.settings.CamIcons;
    plan_camera_ = 0;
    dragging_ = false;
    filling_ = true;
    cb_ScheduleCamera->clear();
    for (const TCameraRecord& c : work.cameras)
        cb_ScheduleCamera->addItem(QString::fromStdString(c.Name.Get()));
    cb_ScheduleCamera->setCurrentIndex(0);
    Grid->SetCamera(1);
    btn_ShowZone->setChecked(false);
    btn_TestDetection->setChecked(false);
    btn_MaskMode->setChecked(false);
    btn_EditPlan->setChecked(false);
    FillSystemPage();
    filling_ = false;
    LoadPictures();
    RedrawPlan();
    SelectPage(std::clamp(work.startPage, 0, kPages - 1));
}

void TConfigForm::SelectPage(int page) {
    if (page < 0 || page >= kPages)
        return;
    page_ = page;
    filling_ = true;
    PageList->setCurrentRow(page);
    filling_ = false;
    const int camera = PageCamera();
    Pages->setCurrentIndex(page == kSystemPage     ? kStackSystem
                           : page == kSchedulePage ? kStackSchedule
                           : page == kPlanPage     ? kStackPlan
                                                   : kStackCamera);
    if (!ports_)
        return;
    UpdateDetectionTest();  // the test runs on camera pages only
    if (camera == 0)
        return;
    FillCameraPage();
    ports_->PreviewCamera(camera);
    ports_->ShowZone(camera, overlay_.data(), btn_ShowZone->isChecked());
    UpdateDetectionTest();
}

void TConfigForm::OkClick() {
    if (!ed_SMTP->hasAcceptableInput()) {
        boxes_.Warning(kBadMailServer);
        ed_SMTP->setFocus();
        return;
    }
    if (work_) {
        TSettingsBlock& s = work_->settings;
        for (int n = 0; n < kCameraCount; ++n)
            std::memcpy(s.Zones[n].Mask, (*zones_)[n].Mask, sizeof(s.Zones[n].Mask));
        for (int n = 0; n < kCameraCount; ++n)
            s.Zones[n].Sensitivity = (*zones_)[n].Sensitivity;
        s.Masks = *masks_;
        s.mSMTP = ed_SMTP->text().toStdString();
        s.mUSER = ed_MailUser->text().toStdString();
        s.mPASS = ed_MailPass->text().toStdString();
        s.mTARGET = ed_MailTarget->text().toStdString();
        s.sUser = ed_Login->text().toStdString();
        if (!ed_Password->text().isEmpty())
            SetAutoPassword(s, ed_Password->text().toStdString());
        s.Scheduler = schedule_;
        s.CamIcons = icons_;
    }
    Close(true);
}

// The test message goes out while the dialog stays live: a busy box with a cancel stands in
// front until the server has answered, then a box says how it went.
void TConfigForm::TestMailClick() {
    if (!ports_ || mail_busy_)
        return;
    if (!ed_SMTP->hasAcceptableInput()) {
        boxes_.Warning(kBadMailServer);
        return;
    }
    mail_busy_ =
        new QProgressDialog(QString::fromUtf8(kMailSending), QString::fromUtf8("Anuluj"), 0, 0, this);
    mail_busy_->setWindowTitle(QString::fromUtf8("Test"));
    mail_busy_->setWindowModality(Qt::WindowModal);
    mail_busy_->setMinimumDuration(0);
    mail_busy_->setAutoClose(false);
    mail_busy_->setAutoReset(false);
    btn_MailTest->setEnabled(false);
    cancel_mail_ =
        ports_->SendTestMail(ed_SMTP->text().toStdString(), ed_MailUser->text().toStdString(),
                             ed_MailPass->text().toStdString(), ed_MailTarget->text().toStdString(),
                             [this](bool sent, const std::string& error) { TestMailDone(sent, error); });
    if (mail_busy_) {  // a port may answer at once
        connect(mail_busy_, &QProgressDialog::canceled, this, [this] {
            if (cancel_mail_)
                cancel_mail_();
        });
        mail_busy_->show();
    }
}

void TConfigForm::TestMailDone(bool sent, const std::string& error) {
    const bool cancelled = mail_busy_ && mail_busy_->wasCanceled();
    delete mail_busy_;
    mail_busy_ = nullptr;
    cancel_mail_ = nullptr;
    btn_MailTest->setEnabled(true);
    if (sent)
        boxes_.Inform(kMailSent);
    else if (!cancelled)
        boxes_.Error(error);
}

void TConfigForm::CancelClick() {
    Close(false);
}

// Escape and the window's close button cancel.
void TConfigForm::reject() {
    Close(false);
}

void TConfigForm::Close(bool applied) {
    if (mail_busy_) {  // its answer still comes, and is not shown
        mail_busy_->cancel();
        if (cancel_mail_)
            cancel_mail_();
    }
    if (work_)
        work_->applied = applied;
    if (ports_)
        ports_->SetDetectionTest(false, *zones_, 0);
    dragging_ = false;
    if (move_timer_->isActive()) {
        move_timer_->stop();
        if (ports_)
            ports_->DialogMoveEnded();
    }
    work_ = nullptr;
    ports_ = nullptr;
    SelectPage(kSystemPage);
    done(applied ? QDialog::Accepted : QDialog::Rejected);
}

// The toolkit tells of a drag only by its moves: the display pauses at the first and resumes
// once the dialog has stood still for a moment.
void TConfigForm::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (!ports_ || !isVisible())
        return;
    if (!move_timer_->isActive())
        ports_->DialogMoveStarted();
    move_timer_->start();
}

}  // namespace kel

namespace kel {

VideoSink* TConfigForm::ConfigPreviewOutput() {
    return Preview;
}

}  // namespace kel
