#include "ui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "platform/detached_start.h"
#include "ui/closing_form.h"
#include "ui/command_label.h"
#include "ui/config_form.h"
#include "ui/debugger.h"
#include "ui/ez_rgn_btn.h"
#include "ui/info_form.h"
#include "ui/l_form.h"
#include "ui/menu_caption.h"
#include "ui/photo_form.h"
#include "ui/skin_loader.h"
#include "ui/smart_form.h"
#include "ui/video_area.h"
#include "ui/window_drag.h"

namespace kel {

namespace {

constexpr int kFuncColumns[4] = {35, 80, 125, 170};
constexpr int kToolColumns[4] = {32, 80, 128, 176};
constexpr int kCameraRows[4] = {328, 368, 408, 448};
constexpr int kToolRow = 656;

QLabel* Image(QWidget* parent, const char* name) {
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return image;
}

TEzRgnBtn* Button(QWidget* parent, const char* name, const QString& hint) {
    auto* button = new TEzRgnBtn(parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);  // the keys belong to the window
    return button;
}

QLabel* PanelText(QWidget* parent, const char* name, int pixels, bool bold, const QStringList& families) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setFamilies(families);
    f.setPixelSize(pixels);
    f.setBold(bold);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0xd6, 0xdd, 0xe5));
    label->setPalette(p);
    return label;
}

void SetImage(QLabel* image, const QPixmap& pic) {
    image->setPixmap(pic);
    image->resize(pic.deviceIndependentSize().toSize());
}

// The picture a button shows while pressed, after its fall-back to the idle picture.
QPixmap PressedPicture(const TEzRgnBtn* button) {
    return button->PicDown().isNull() ? button->PicIdle() : button->PicDown();
}

}  // namespace

TMainForm::TMainForm(TShared& shared, bool headless, std::string registry)
    : QWidget(nullptr, Qt::FramelessWindowHint), shared_(shared), headless_(headless),
      registry_(std::move(registry)) {
    setObjectName("TMainForm");
    setWindowTitle("KEL");
    setFocusPolicy(Qt::StrongFocus);
    StartProgram = [](const QString& program, const QStringList& arguments, const std::string& handOver) {
        std::vector<std::string> args;
        for (const QString& a : arguments)
            args.push_back(a.toStdString());
        std::string error;
        return StartDetached(program.toStdString(), args, QDir::currentPath().toStdString(), handOver, error);
    };
    OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    CreateControls();
    BindControls();
    // Other threads' work comes to the window thread as a queued call, not by polling. The call
    // is made by name: the toolkit keeps the whole hand-over inside its own event queue.
    window_jobs_.SetWake([this] { QMetaObject::invokeMethod(this, "RunWindowJobs", Qt::QueuedConnection); });
    installEventFilter(this);
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateControls() {
    w_TitleBar = Image(this, "w_TitleBar");
    w_ComandBar = Image(this, "w_ComandBar");
    LConfigLabel = new TCommandLabel(QStringLiteral("Konfiguracja"), this);
    Label2 = new TCommandLabel(QStringLiteral("Przeglądarka"), this);
    Label3 = new TCommandLabel(QStringLiteral("Witryna WWW"), this);
    Label4 = new TCommandLabel(QStringLiteral("Informacje"), this);
    Label6 = new TCommandLabel(QStringLiteral("Zmiana Operatora"), this);
    BtnSmart = Button(this, "BtnSmart", QStringLiteral("Tryb SmartView"));
    BtnMin = Button(this, "BtnMin", QStringLiteral("Minimalizuj"));
    BtnMax = Button(this, "BtnMax", QStringLiteral("Pełny Ekran"));
    BtnClose = Button(this, "BtnClose", QStringLiteral("Zamknij Apikację"));

    ControlPanel = new QWidget(this);
    ControlPanel->setObjectName("ControlPanel");
    w_Logo = Image(ControlPanel, "w_Logo");
    w_Clock = Image(ControlPanel, "w_Clock");
    w_Background = Image(ControlPanel, "w_Background");
    w_Ptz = Image(ControlPanel, "w_Ptz");
    l_Timer = PanelText(ControlPanel, "l_Timer", 19, true, {"Arial", "Liberation Sans", "DejaVu Sans"});
    l_Timer->setText(QStringLiteral("00:00:00"));
    Label5 = PanelText(ControlPanel, "Label5", 11, false, {"DejaVu Sans"});
    Label1 = PanelText(ControlPanel, "Label1", 11, false, {"DejaVu Sans"});
    CreatePanelButtons();
    CreatePad();

    w_Tlo = new VideoArea(this);
    new WindowDrag(
        this, {w_TitleBar, w_ComandBar},
        [this] {
            if (View())
                View()->MoveStarted();
        },
        [this] {
            if (View())
                View()->MoveEnded(x(), y());
        });
    PopMenuCamera = new QMenu(this);
    PopMenuCamera->setObjectName("PopMenuCamera");
}

void TMainForm::CreatePanelButtons() {
    Func01 = Button(ControlPanel, "Func01", QStringLiteral("1 Kamera"));
    Func04 = Button(ControlPanel, "Func04", QStringLiteral("4 Kamery"));
    Func09 = Button(ControlPanel, "Func09", QStringLiteral("9 Kamer"));
    Func16 = Button(ControlPanel, "Func16", QStringLiteral("16 Kamer"));
    Func08 = Button(ControlPanel, "Func08", QStringLiteral("8 Kamer"));
    Func13 = Button(ControlPanel, "Func13", QStringLiteral("13 Kamer"));
    FuncSwitch = Button(ControlPanel, "FuncSwitch", QStringLiteral("Sekwencja"));
    FuncRec = Button(ControlPanel, "FuncRec", QStringLiteral("Zoom"));
    for (int n = 1; n <= kCameraCount; ++n) {
        const QByteArray name = QStringLiteral("Btn%1").arg(n, 2, 10, QLatin1Char('0')).toLatin1();
        Btn[n] = Button(ControlPanel, name.constData(), QStringLiteral("Kamera %1").arg(n));
        Btn[n]->setProperty("tag", n);
    }
    btnView = Button(ControlPanel, "btnView", QStringLiteral("Przeglądarka"));
    btnTools = Button(ControlPanel, "btnTools", QStringLiteral("Konfiguracja"));
    btnWeb = Button(ControlPanel, "btnWeb", QStringLiteral("Wizualizacja"));
    btnzoom = Button(ControlPanel, "btnzoom", QStringLiteral("Foto"));
}

void TMainForm::CreatePad() {
    EzRgnBtn1 = Button(this, "EzRgnBtn1", QString());
    EzRgnBtn2 = Button(this, "EzRgnBtn2", QString());
    EzRgnBtn3 = Button(this, "EzRgnBtn3", QString());
    EzRgnBtn4 = Button(this, "EzRgnBtn4", QString());
    EzRgnBtn5 = Button(this, "EzRgnBtn5", QString());
    EzRgnBtn6 = Button(this, "EzRgnBtn6", QString());
}

void TMainForm::BindControls() {
    connect(BtnClose, &QAbstractButton::clicked, this, [this] { close(); });
    connect(BtnMax, &QAbstractButton::clicked, this, [this] { View()->FullScreenOn(); });
    connect(BtnMin, &QAbstractButton::clicked, this, [this] { View()->HideToTray(); });
    connect(BtnSmart, &QAbstractButton::clicked, this, [this] { View()->SmartViewOn(); });
    auto startViewer = [this] {
        StartProgram(ViewerProgram(), ViewerArguments(), station_->ViewerHandOver());
    };  // a failure is not reported
    connect(btnView, &QAbstractButton::clicked, this, startViewer);
    connect(Label2, &TCommandLabel::clicked, this, startViewer);
    auto openConfigurator = [this] { station_->OpenConfigurator(0); };
    connect(btnTools, &QAbstractButton::clicked, this, openConfigurator);
    connect(LConfigLabel, &TCommandLabel::clicked, this, openConfigurator);
    connect(Label3, &TCommandLabel::clicked, this,
            [this] { OpenUrl(QUrl::fromLocalFile(DocumentationFile())); });
    connect(Label4, &TCommandLabel::clicked, this, [this] {
        if (companions_.info)
            companions_.info->exec();
    });
    connect(Label6, &TCommandLabel::clicked, this, [this] { station_->ChangeOperator(); });
    connect(btnWeb, &QAbstractButton::clicked, this, [this] { View()->TogglePlanView(); });
    connect(btnzoom, &QAbstractButton::clicked, this, &TMainForm::FuncRecClick);

    const std::pair<TEzRgnBtn*, int> layouts[] = {{Func01, 0}, {Func04, 1}, {Func09, 2},
                                                  {Func16, 3}, {Func08, 4}, {Func13, 5}};
    for (const auto& [button, layout] : layouts)
        connect(button, &QAbstractButton::clicked, this, [this, code = layout] {
            View()->LayoutButton(code);
            ShowZoomState();
        });
    for (int n = 1; n <= kCameraCount; ++n)
        connect(Btn[n], &QAbstractButton::clicked, this, [this, n] {
            View()->SelectCamera(n);
            ShowZoomState();
        });
    connect(FuncSwitch, &QAbstractButton::clicked, this, [this] {
        View()->SequenceToggle();
        ShowZoomState();
    });
    connect(FuncRec, &QAbstractButton::clicked, this, [this] {
        if (View()->ZoomToggle(false))
            ZoomToggled();
    });

    const std::pair<TEzRgnBtn*, int> pad[] = {{EzRgnBtn1, 1}, {EzRgnBtn2, 2}, {EzRgnBtn4, 3},
                                              {EzRgnBtn3, 4}, {EzRgnBtn5, 5}, {EzRgnBtn6, 6}};
    for (const auto& [button, move] : pad) {
        connect(button, &QAbstractButton::pressed, this, [this, kind = move] { station_->PtzPress(kind); });
        connect(button, &QAbstractButton::released, this, [this] { station_->PtzRelease(); });
    }

    connect(w_Tlo, &VideoArea::pressed, this, &TMainForm::w_TloMouseDown);
    connect(w_Tlo, &VideoArea::moved, this, &TMainForm::w_TloMouseMove);
    connect(PopMenuCamera, &QMenu::triggered, this,
            [this](QAction* action) { PopMenuCameraClick(action->data().toInt()); });
    connect(PopMenuCamera, &QMenu::aboutToHide, this, [this] {
        View()->MenuClosed();
        for (QAction* action : PopMenuCamera->actions())
            if (action->data().toInt() == ViewController::kMenuConfigTag)
                action->setText(QString::fromUtf8(ViewController::kMenuConfigCaption));
    });
}

bool TMainForm::FormCreate() {
    if (!station_->FormCreate())
        return false;
    if (instance_mark_ && instance_mark_->BellFd() >= 0) {
        auto* bell = new QSocketNotifier(instance_mark_->BellFd(), QSocketNotifier::Read, this);
        connect(bell, &QSocketNotifier::activated, this, [this] {
            while (instance_mark_->TakeRing()) {
            }
            BringForward();
        });
    }
    return true;
}

void TMainForm::SetCompanions(const MainFormCompanions& companions) {
    companions_ = companions;
    for (QWidget* w : {static_cast<QWidget*>(companions.smart), static_cast<QWidget*>(companions.config)})
        if (w)
            w->installEventFilter(this);
    debugger_.store(companions.debugger, std::memory_order_release);
    if (TSmartForm* smart = companions.smart)
        BindSmartView(smart);
}

// SmartView's choices are the main window's: a camera as its camera button, the sequence as its
// sequence button.
void TMainForm::BindSmartView(TSmartForm* smart) {
    connect(smart, &TSmartForm::cameraChosen, this, [this](int camera) {
        if (View())
            View()->SelectCamera(camera);
        ShowZoomState();
    });
    connect(smart, &TSmartForm::sequenceChosen, this, [this] {
        if (View())
            View()->SequenceToggle();
        ShowZoomState();
    });
    connect(smart, &TSmartForm::moveStarted, this, [this] {
        if (View())
            View()->SmallWindowMoveStarted();
    });
    connect(smart, &TSmartForm::moveEnded, this, [this] {
        if (View())
            View()->SmallWindowMoveEnded();
    });
    connect(smart, &TSmartForm::shown, this, [this] { hide(); });
    connect(smart, &TSmartForm::closeProgram, this, [this] { smart_close_program_ = true; });
}

void TMainForm::SetVersionLabel(const std::string& text) {
    Label1->setText(QString::fromStdString(text));
    Label1->adjustSize();
}

// The window centred on the screen; that is also where window mode puts it back until it is
// dragged elsewhere. The station has stored the size in AppWidth and AppHeight.
void TMainForm::ArrangeWindow(int width, int height) {
    resize(width, height);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect s = screen->geometry();
        move(s.x() + (s.width() - width) / 2, s.y() + (s.height() - height) / 2);
    }
    shared_.WindowLeft = x();
    shared_.WindowTop = y();
    PlaceControls();
}

void TMainForm::PlaceControls() {
    const int width = shared_.AppWidth, height = shared_.AppHeight;
    w_TitleBar->move(0, 0);
    w_ComandBar->move(0, 21);
    LConfigLabel->move(10, 24);
    Label2->move(82, 24);
    Label3->move(154, 24);
    Label4->move(236, 24);
    Label6->move(Label4->x() + Label4->sizeHint().width() + 12, 24);
    // The title buttons from the right edge, 2 pixels apart.
    int left = width;
    for (TEzRgnBtn* button : {BtnClose, BtnMax, BtnMin, BtnSmart}) {
        left -= button->width() + 2;
        button->move(left, 0);
    }
    ControlPanel->setGeometry(0, 40, kPanelWidth, height - 40);
    w_Logo->move(0, 1);
    w_Clock->move(0, 98);
    w_Background->move(0, 223);
    w_Ptz->setGeometry(0, 494, kPanelWidth, height - 534);
    l_Timer->move(66, 128);
    Label5->move(67, 160);
    Label1->move(65, 184);
    TEzRgnBtn* const rows[2][4] = {{Func01, Func04, Func09, Func16}, {Func08, Func13, FuncSwitch, FuncRec}};
    for (int c = 0; c < 4; ++c) {
        rows[0][c]->move(kFuncColumns[c], 233);
        rows[1][c]->move(kFuncColumns[c], 273);
    }
    for (int n = 1; n <= kCameraCount; ++n)
        Btn[n]->move(kFuncColumns[(n - 1) % 4], kCameraRows[(n - 1) / 4]);
    TEzRgnBtn* tools[4] = {btnView, btnTools, btnWeb, btnzoom};
    for (int c = 0; c < 4; ++c)
        tools[c]->move(kToolColumns[c], kToolRow);
    const int drop = width == 1280 ? kPadDrop1280 : 0;
    EzRgnBtn4->move(81, 534 + drop);
    EzRgnBtn1->move(37, 574 + drop);
    EzRgnBtn5->move(81, 574 + drop);
    EzRgnBtn6->move(81, 614 + drop);
    EzRgnBtn2->move(169, 574 + drop);
    EzRgnBtn3->move(81, 650 + drop);
    for (QWidget* w : {LConfigLabel, Label2, Label3, Label4, Label6})
        w->raise();
    for (TEzRgnBtn* w : {EzRgnBtn1, EzRgnBtn2, EzRgnBtn3, EzRgnBtn4, EzRgnBtn5, EzRgnBtn6})
        w->raise();
    if (shared_.ViewMode != kViewFull)
        w_Tlo->setGeometry(TDirectX::kVideoLeft, TDirectX::kVideoTop, width - TDirectX::kVideoLeft,
                           height - TDirectX::kVideoTop);
}

// The main window's pictures, in the skin's order; the first missing one fails the load.
bool TMainForm::LoadMainSkin(const std::string& skin, int width) {
    std::vector<SkinStep> steps = {
        {"w_title_bar.bmp", [this](const QPixmap& p) { SetImage(w_TitleBar, p); }},
        {"w_command_bar.bmp", [this](const QPixmap& p) { SetImage(w_ComandBar, p); }},
        {"w_logo.bmp", [this](const QPixmap& p) { SetImage(w_Logo, p); }},
        {"w_clock.bmp", [this](const QPixmap& p) { SetImage(w_Clock, p); }},
        {"w_keys.bmp", [this](const QPixmap& p) { SetImage(w_Background, p); }},
        {"w_ptz.bmp", [this](const QPixmap& p) { w_Ptz->setPixmap(p); }},
    };
    static const char* const kCameraFiles[kCameraCount + 1][2] = {{},
                                                                  {"btn01_std.bmp", "btn01_on.bmp"},
                                                                  {"btn02_std.bmp", "btn02_on.bmp"},
                                                                  {"btn03_std.bmp", "btn03_on.bmp"},
                                                                  {"btn04_std.bmp", "btn04_on.bmp"},
                                                                  {"btn05_std.bmp", "btn05_on.bmp"},
                                                                  {"btn06_std.bmp", "btn06_on.bmp"},
                                                                  {"btn07_std.bmp", "btn07_on.bmp"},
                                                                  {"btn08_std.bmp", "btn08_on.bmp"},
                                                                  {"btn09_std.bmp", "btn09_on.bmp"},
                                                                  {"btn10_std.bmp", "btn10_on.bmp"},
                                                                  {"btn11_std.bmp", "btn11_on.bmp"},
                                                                  {"btn12_std.bmp", "btn12_on.bmp"},
                                                                  {"btn13_std.bmp", "btn13_on.bmp"},
                                                                  {"btn14_std.bmp", "btn14_on.bmp"},
                                                                  {"btn15_std.bmp", "btn15_on.bmp"},
                                                                  {"btn16_std.bmp", "btn16_on.bmp"}};
    for (int n = 1; n <= kCameraCount; ++n) {
        TEzRgnBtn* b = Btn[n];
        steps.push_back({kCameraFiles[n][0], [b](const QPixmap& p) { b->SetPicIdle(p); }});
        steps.push_back({kCameraFiles[n][1], [b](const QPixmap& p) { b->SetPicUp(p); }});
    }
    auto three = [&steps](TEzRgnBtn* b, const char* idle, const char* up, const char* disabled) {
        steps.push_back({idle, [b](const QPixmap& p) { b->SetPicIdle(p); }});
        steps.push_back({up, [b](const QPixmap& p) { b->SetPicUp(p); }});
        steps.push_back({disabled, [b](const QPixmap& p) { b->SetPicDsbld(p); }});
    };
    three(Func01, "func01_std.bmp", "func01_on.bmp", "func01_off.bmp");
    three(Func04, "func04_std.bmp", "func04_on.bmp", "func04_off.bmp");
    three(Func08, "func08_std.bmp", "func08_on.bmp", "func08_off.bmp");
    three(Func09, "func09_std.bmp", "func09_on.bmp", "func09_off.bmp");
    three(Func13, "func13_std.bmp", "func13_on.bmp", "func13_off.bmp");
    three(Func16, "func16_std.bmp", "func16_on.bmp", "func16_off.bmp");
    steps.push_back({"funcrec_std.bmp", [this](const QPixmap& p) { btnzoom->SetPicDsbld(p); }});
    steps.push_back({"funcrec_std.bmp", [this](const QPixmap& p) { btnzoom->SetPicIdle(p); }});
    steps.push_back({"funcrec_on.bmp", [this](const QPixmap& p) { btnzoom->SetPicUp(p); }});
    three(FuncSwitch, "funcswitch_std.bmp", "funcswitch_on.bmp", "funcswitch_off.bmp");
    auto two = [&steps](TEzRgnBtn* b, const char* idle, const char* up) {
        steps.push_back({idle, [b](const QPixmap& p) { b->SetPicIdle(p); }});
        steps.push_back({up, [b](const QPixmap& p) { b->SetPicUp(p); }});
    };
    two(BtnClose, "btn_close.bmp", "btn_close_on.bmp");
    two(BtnMax, "btn_maximize.bmp", "btn_maximize_on.bmp");
    two(BtnMin, "btn_minimize.bmp", "btn_minimize_on.bmp");
    two(BtnSmart, "btn_smart.bmp", "btn_smart_on.bmp");
    two(btnView, "btn_view.bmp", "btn_view_on.bmp");
    two(btnTools, "btn_tools.bmp", "btn_tools_on.bmp");
    two(btnWeb, "btn_web.bmp", "btn_web_on.bmp");
    LoadDesignPictures(width);
    const bool loaded = LoadSkinSteps(SkinFolder(QString::fromStdString(skin), width), steps);
    PlaceControls();
    return loaded;
}

// Pictures of the console's own design, not of the chosen skin: the pad's six buttons and the
// zoom button, from the Default skin; at 1152 the four arrows have pictures of their own. They
// are not required: a button without one draws its plain face.
void TMainForm::LoadDesignPictures(int width) {
    const QString folder = SkinFolder(QStringLiteral("Default"), width);
    auto pic = [&folder](const char* file) { return QPixmap(folder + QString::fromLatin1(file)); };
    const struct {
        TEzRgnBtn* button;
        const char* idle;
        const char* down;
    } pad[] = {{EzRgnBtn4, "ptz_up_std.bmp", "ptz_up_down.bmp"},
               {EzRgnBtn1, "ptz_left_std.bmp", "ptz_left_down.bmp"},
               {EzRgnBtn2, "ptz_right_std.bmp", "ptz_right_down.bmp"},
               {EzRgnBtn3, "ptz_down_std.bmp", "ptz_down_down.bmp"},
               {EzRgnBtn5, "ptz_zoomin_std.bmp", "ptz_zoomin_down.bmp"},
               {EzRgnBtn6, "ptz_zoomout_std.bmp", "ptz_zoomout_down.bmp"}};
    for (const auto& p : pad) {
        p.button->SetPicIdle(pic(p.idle));
        p.button->SetPicDown(pic(p.down));
    }
    zoom_idle_ = pic("funczoom_std.bmp");
    zoom_armed_ = pic("funczoom_down.bmp");
    FuncRec->SetPicIdle(zoom_idle_);
    FuncRec->SetPicUp(pic("funczoom_on.bmp"));
    FuncRec->SetPicDown(zoom_armed_);
    if (width != 1152)
        return;
    const QString fixed = SkinFolder(QStringLiteral("Default"), 1152);
    auto at = [&fixed](const char* file) { return QPixmap(fixed + QString::fromLatin1(file)); };
    EzRgnBtn4->SetPicIdle(at("up_off.bmp"));
    EzRgnBtn4->SetPicUp(at("up_on.bmp"));
    EzRgnBtn1->SetPicIdle(at("left_off.bmp"));
    EzRgnBtn1->SetPicDown(at("left_on.bmp"));
    EzRgnBtn2->SetPicIdle(at("right_off.bmp"));
    EzRgnBtn2->SetPicDown(at("right_on.bmp"));
    EzRgnBtn3->SetPicIdle(at("down_off.bmp"));
    EzRgnBtn3->SetPicDown(at("down_on.bmp"));
}

void TMainForm::AddTrayIcon(const std::string& tip) {
    tray_tip_ = tip;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;  // hiding to the tray then minimises the window instead
    tray_ = new QSystemTrayIcon(QApplication::windowIcon(), this);
    tray_->setToolTip(QString::fromStdString(tip));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            TrayClick();
    });
    tray_->show();
}

// The picture is the one the display thread composed last, never one half drawn.
void TMainForm::FuncRecClick() {
    TDirectX* renderer = station_->Renderer();
    if (!companions_.photo || !renderer)
        return;
    const QSize size = TPhotoForm::SnapshotSize(shared_.AppWidth);
    const QImage picture = renderer->CopyToImage(size.width(), size.height());
    if (picture.isNull())
        return;
    // What the video area showed: one camera in the one-camera layout, else the layout.
    const std::string shown = shared_.Layout == 0 ? "kamera " + std::to_string(shared_.SingleCamera.load())
                                                  : "uklad " + std::to_string(shared_.Layout.load());
    companions_.photo->Saved = [this, shown](const QString& file) {
        station_->RecordSnapshot(shown, file.toStdString());
    };
    companions_.photo->Execute(picture, this);
    companions_.photo->Saved = nullptr;
}

// The login, SmartView or configuration window while one of them is open: the console waits
// behind it.
QWidget* TMainForm::OpenDialog() const {
    for (QWidget* dialog :
         {static_cast<QWidget*>(companions_.login), static_cast<QWidget*>(companions_.smart),
          static_cast<QWidget*>(companions_.config)})
        if (dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// A hidden window comes back only when no dialog of its own stands in the way.
void TMainForm::TrayClick() {
    if (!View())
        return;
    if (IsVisible()) {
        View()->HideToTray();
        return;
    }
    if (!OpenDialog())
        View()->RestoreFromTray();
}

// A second start rang the bell: the console comes out of the tray (or up from the task bar), or
// the dialog it waits behind comes to the front.
void TMainForm::BringForward() {
    if (!View())
        return;
    QWidget* front = OpenDialog();
    if (!front && !IsVisible()) {
        View()->RestoreFromTray();
        return;
    }
    if (!front)
        front = this;
    front->raise();
    front->activateWindow();
}

void TMainForm::RemoveTrayIcon() {
    if (tray_)
        tray_->hide();
}

void TMainForm::RunWindowJobs() {
    window_jobs_.RunPending();
}

void TMainForm::PostAfterCreate() {
    QMetaObject::invokeMethod(
        this, [this] { WMAFTERCREATE(); }, Qt::QueuedConnection);
}

void TMainForm::WMAFTERCREATE() {
    station_->AfterCreate();
    UpdateWatched();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Show || type == QEvent::Hide || type == QEvent::WindowStateChange)
        QMetaObject::invokeMethod(this, "UpdateWatched", Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void TMainForm::UpdateWatched() {
    TDirectX* renderer = station_->Renderer();
    if (!renderer)
        return;
    auto shows = [](const QWidget* w) { return w && w->isVisible() && !w->isMinimized(); };
    const bool watched = !headless_ && (shows(this) || shows(companions_.smart) || shows(companions_.config));
    renderer->Watched.store(watched ? 1 : 0, std::memory_order_relaxed);
}

std::vector<QWidget*> TMainForm::WindowModeControls() const {
    return {Label1,    Label2,    Label3,    Label4,       Label6,     LConfigLabel, BtnClose,
            BtnSmart,  BtnMin,    BtnMax,    ControlPanel, w_TitleBar, w_ComandBar,  EzRgnBtn1,
            EzRgnBtn2, EzRgnBtn3, EzRgnBtn4, EzRgnBtn5,    EzRgnBtn6};
}

void TMainForm::ShowWindowMode() {
    if (windowState() & Qt::WindowFullScreen)
        setWindowState(windowState() & ~Qt::WindowFullScreen);
    for (QWidget* w : WindowModeControls())
        w->show();
    btnzoom->show();
    setGeometry(shared_.WindowLeft, shared_.WindowTop, shared_.AppWidth, shared_.AppHeight);
    w_Tlo->setGeometry(TDirectX::kVideoLeft, TDirectX::kVideoTop, shared_.AppWidth - TDirectX::kVideoLeft,
                       shared_.AppHeight - TDirectX::kVideoTop);
    w_Tlo->setCursor(Qt::ArrowCursor);
    w_Tlo->ShowTarget(PresentTarget::MainWindow);
}

void TMainForm::ShowFullScreen() {
    for (QWidget* w : WindowModeControls())
        w->hide();
    const int sw = station_->System().ScreenWidth(), sh = station_->System().ScreenHeight();
    setGeometry(0, 0, sw, sh);
    w_Tlo->setGeometry(0, 0, sw, sh);
    w_Tlo->ShowTarget(PresentTarget::FullScreen);
    if (!headless_)
        setWindowState(windowState() | Qt::WindowFullScreen);
}

// The SmartView window is modal; once it has closed the main window comes back and takes over
// again, unless the operator closed the program from it and agreed.
void TMainForm::ShowSmartView() {
    if (headless_ || !companions_.smart)
        return;
    smart_close_program_ = false;
    companions_.smart->exec();
    if (!IsVisible())
        ShowWindow();
    if (smart_close_program_)
        close();
    if (!station_->ShutDown() && shared_.ViewMode == kViewSmart)
        View()->WindowMode();
}

// The window goes to the tray only while an icon there can bring it back: a tray that came up
// after the start gets the icon now; with none, or when the tray does not take the icon, the
// window is minimised to the task bar instead of being lost.
void TMainForm::HideWindow() {
    if (headless_) {
        hide();
        return;
    }
    if (QSystemTrayIcon::isSystemTrayAvailable() && !tray_)
        AddTrayIcon(tray_tip_);
    if (!tray_ || !QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    if (!TrayIconPlaced())  // a new icon is placed a moment after it is shown
        QTimer::singleShot(kTrayWaitMs, this, [this] {
            if (!isVisible() && !TrayIconPlaced())
                showMinimized();
        });
}

// A tray that took the icon gives it its place on the screen; one not (yet) taken stands at 0,0.
bool TMainForm::TrayIconPlaced() const {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable() &&
           !tray_->geometry().isEmpty() && tray_->geometry().topLeft() != QPoint(0, 0);
}

void TMainForm::ShowWindow() {
    if (isMinimized())
        showNormal();
    else
        show();
    if (headless_)
        return;  // nothing to bring forward on the offscreen platform
    raise();
    activateWindow();
}

bool TMainForm::IsVisible() const {
    return isVisible() && !isMinimized();
}

void TMainForm::WindowPosition(int& left, int& top) const {
    left = x();
    top = y();
}

bool TMainForm::CanShowDialogs() const {
    return !headless_;
}

void TMainForm::RequestClose() {
    close();
}

// Headless, the pictures are composed but shown nowhere.
VideoSink* TMainForm::VideoOutput() {
    return headless_ ? nullptr : w_Tlo;
}

void TMainForm::SetClockLabel(const std::string& text) {
    l_Timer->setText(QString::fromStdString(text));
    l_Timer->adjustSize();
}

void TMainForm::SetDriveLabel(const std::string& text) {
    Label5->setText(QString::fromStdString(text));
    Label5->adjustSize();
}

void TMainForm::BuildCameraMenu() {
    PopMenuCamera->clear();
    for (const MenuItem& item : View()->MenuItems()) {
        QAction* action = item.tag == ViewController::kMenuSeparatorTag
                              ? PopMenuCamera->addSeparator()
                              : PopMenuCamera->addAction(MenuCaption(item.caption));
        action->setData(item.tag);
    }
}

// The main window steps aside while the configuration dialog is open and comes back when it closes.
void TMainForm::StepAside(bool aside) {
    if (aside) {
        hide();
        return;
    }
    show();
    raise();
    activateWindow();
}

void TMainForm::PopupCameraMenu(const QPoint& globalPos) {
    const std::vector<MenuItem> items = View()->MenuItems();
    for (QAction* action : PopMenuCamera->actions())
        if (action->data().toInt() == ViewController::kMenuConfigTag)
            action->setText(MenuCaption(items.front().caption));
    PopMenuCamera->popup(globalPos);
}

void TMainForm::PopMenuCameraClick(int tag) {
    if (View()->MenuClick(tag))
        station_->OpenConfigurator(View()->MenuCamera());
}

void TMainForm::w_TloMouseDown(Qt::MouseButton button, bool shift, QPoint pos, QPoint globalPos) {
    MouseButton which = MouseButton::Middle;
    if (button == Qt::LeftButton)
        which = MouseButton::Left;
    else if (button == Qt::RightButton)
        which = MouseButton::Right;
    if (View()->MouseDown(which, shift, pos.x(), pos.y()) == PressResult::ShowCameraMenu)
        PopupCameraMenu(globalPos);
    ShowZoomState();
}

void TMainForm::w_TloMouseMove(QPoint pos) {
    switch (View()->PointerAt(pos.x(), pos.y())) {
    case PointerShape::Hand:
        w_Tlo->setCursor(Qt::PointingHandCursor);
        break;
    case PointerShape::Cross:
        w_Tlo->setCursor(Qt::CrossCursor);
        break;
    case PointerShape::Arrow:
        w_Tlo->setCursor(Qt::ArrowCursor);
        break;
    }
}

// The snapshot button takes its disabled picture while the zoom is armed, its pressed picture
// (the idle one, when it has none) once it is off.
void TMainForm::ZoomToggled() {
    btnzoom->SetPicIdle(shared_.ZoomOn ? btnzoom->PicDsbld() : PressedPicture(btnzoom));
    ShowZoomState();
}

// The zoom button shows its pressed picture while the zoom is armed, so the operator can see it.
void TMainForm::ShowZoomState() {
    if (!zoom_armed_.isNull())
        FuncRec->SetPicIdle(shared_.ZoomOn ? zoom_armed_ : zoom_idle_);
}

QStringList TMainForm::ViewerArguments() const {
    QStringList arguments{"--workdir", QDir::currentPath(), "--registry", QString::fromStdString(registry_)};
    if (station_ && !station_->ViewerHandOver().empty())
        arguments << "--login-fd"
                  << "3";
    return arguments;
}

QString TMainForm::ViewerProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kel-viewer"));
}

QString TMainForm::DocumentationFile() {
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("../share/doc/kel/README.md"));
}

void TMainForm::Quit(int code) {
    QCoreApplication::exit(code);
}

void TMainForm::AddLine(std::string_view text) {
    if (TDebugger* d = debugger_.load(std::memory_order_acquire))
        d->AddLine(text);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!station_->FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    Quit();
}

void TMainForm::WMENDSESSION() {
    station_->EndSession();
    Quit();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    FormKeyDown(event);
}

// Every row is tried in order, so one key may do more than one thing: Alt+1 selects camera 1,
// then camera 11.
void TMainForm::FormKeyDown(QKeyEvent* event) {
    ViewController* view = View();
    if (!view)
        return;
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key == Qt::Key_D && (mods & Qt::ControlModifier) && debugger_.load())
        debugger_.load()->Toggle();
    if (key == Qt::Key_M) {
        if (IsVisible())
            view->HideToTray();
        else
            view->RestoreFromTray();
    }
    if (key == Qt::Key_C)
        station_->OpenConfigurator(0);
    if (key == Qt::Key_L)
        station_->ChangeOperator();
    if (key == Qt::Key_Z && shared_.Layout == 0 && view->ZoomToggle(true))
        ZoomToggled();
    if (key == Qt::Key_F) {
        if (shared_.ViewMode == kViewFull)
            view->WindowMode();
        else
            view->FullScreenOn();
    }
    if (key == Qt::Key_S && shared_.ViewMode != kViewFull) {
        if (shared_.ViewMode == kViewSmart)
            view->WindowMode();
        else
            view->SmartViewOn();
    }
    if (key == Qt::Key_Escape && shared_.ViewMode == kViewFull)
        view->WindowMode();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F6)  // 1, 4, 9, 16, 8, 13 cameras
        view->LayoutButton(key - Qt::Key_F1);
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        view->SelectCamera(key - Qt::Key_0);
    if (key == Qt::Key_0)
        view->SelectCamera(10);
    if ((mods & Qt::AltModifier) && key >= Qt::Key_1 && key <= Qt::Key_6)
        view->SelectCamera(10 + key - Qt::Key_0);
    ShowZoomState();
}

}  // namespace kel
