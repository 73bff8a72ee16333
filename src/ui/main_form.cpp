#include "ui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "ui/closing_form.h"
#include "ui/debugger.h"
#include "ui/l_form.h"
#include "ui/smart_form.h"
#include "ui/video_area.h"

namespace kel {

TMainForm::TMainForm(StationOptions options, TShared& shared, MessageBox& box, bool headless)
    : QWidget(nullptr, Qt::FramelessWindowHint), shared_(shared), headless_(headless) {
    setObjectName("TMainForm");
    setWindowTitle("KEL");
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->move(65, 184);
    video_area_ = new VideoArea(this);
    video_area_->move(TDirectX::kVideoLeft, TDirectX::kVideoTop);
    ScreenSaver& saver = headless ? static_cast<ScreenSaver&>(no_screen_saver_) : screen_saver_;
    auto* jobs = new QTimer(this);
    connect(jobs, &QTimer::timeout, this, [this] { window_jobs_.RunPending(); });
    jobs->start(kWindowJobsMs);
    station_ = std::make_unique<Station>(std::move(options), shared, *this, box, *this, system_info_, saver,
                                         instance_mark_);
}

TMainForm::~TMainForm() = default;

bool TMainForm::FormCreate() {
    return station_->FormCreate();
}

void TMainForm::SetCompanions(TDebugger* debugger, TLForm* login, TSmartForm* smart) {
    debugger_.store(debugger, std::memory_order_release);
    login_ = login;
    smart_ = smart;
}

void TMainForm::SetVersionLabel(const std::string& text) {
    Label1->setText(QString::fromStdString(text));
    Label1->adjustSize();
}

void TMainForm::ArrangeWindow(int width, int height) {
    resize(width, height);
    video_area_->resize(width - TDirectX::kVideoLeft, height - TDirectX::kVideoTop);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect s = screen->geometry();
        move(s.x() + (s.width() - width) / 2, s.y() + (s.height() - height) / 2);
    }
}

void TMainForm::AddTrayIcon(const std::string& tip) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;  // hiding to the tray then minimises the window instead
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(QString::fromStdString(tip));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        bool dialogOpen = (login_ && login_->isVisible()) || (smart_ && smart_->isVisible());
        if (isVisible())
            station_->HideToTray();
        else if (!dialogOpen)
            station_->RestoreFromTray();
    });
    tray_->show();
}

void TMainForm::RemoveTrayIcon() {
    if (tray_)
        tray_->hide();
}

void TMainForm::PostAfterCreate() {
    QMetaObject::invokeMethod(
        this, [this] { WMAFTERCREATE(); }, Qt::QueuedConnection);
}

void TMainForm::WMAFTERCREATE() {
    station_->AfterCreate();
}

void TMainForm::ShowWindowMode() {
    shared_.ViewMode = kViewWindow;
    shared_.Layout = shared_.SavedLayout.load();
}

void TMainForm::ShowFullScreen() {
    shared_.ViewMode = kViewFull;
}

void TMainForm::ShowSmartView() {
    shared_.ViewMode = kViewSmart;
    shared_.Layout = 0;
}

void TMainForm::HideWindow() {
    if (headless_ || QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();  // no tray to come back from: keep it on the task bar
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
    return !headless_ && login_ != nullptr;
}

bool TMainForm::RunLoginDialog(std::string& login, std::string& password) {
    return login_ && login_->Execute(login, password);
}

void TMainForm::RequestClose() {
    close();
}

void TMainForm::SmartViewPosition(int& x, int& y) const {
    if (!smart_)
        return;
    x = smart_->x();
    y = smart_->y();
}

void TMainForm::ShowClosingForm(bool show) {
    if (!closing_)
        return;
    if (show)
        closing_->ShowAndPaint();
    else
        closing_->hide();
}

// Headless, the pictures are composed but shown nowhere.
VideoSink* TMainForm::VideoOutput() {
    return headless_ ? nullptr : video_area_;
}

void TMainForm::Quit() {
    QCoreApplication::quit();
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

void TMainForm::FormKeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_D && (event->modifiers() & Qt::ControlModifier) && debugger_.load())
        debugger_.load()->Toggle();
}

}  // namespace kel
