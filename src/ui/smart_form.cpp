#include "ui/smart_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

#include "ui/ez_rgn_btn.h"
#include "ui/menu_caption.h"
#include "ui/skin_loader.h"
#include "ui/video_area.h"
#include "ui/window_drag.h"

namespace kel {

namespace {

constexpr int kTitleHeight = 18;
constexpr int kMenuDrop = 18;  // the menu opens just below the title bar

TEzRgnBtn* TitleButton(QWidget* parent, const char* name, int left) {
    auto* button = new TEzRgnBtn(parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->move(left, 0);
    return button;
}

}  // namespace

TSmartForm::TSmartForm(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), w_TitleBar(new QLabel(this)),
      w_Video(new QLabel(this)), BtnSelect(TitleButton(this, "BtnSelect", 205)),
      BtnMain(TitleButton(this, "BtnMain", 223)), BtnClose(TitleButton(this, "BtnClose", 241)),
      PopMenu(new QMenu(this)), video_(new VideoArea(w_Video)) {
    setObjectName("TSmartForm");
    setWindowTitle(QStringLiteral("KEL SmartView"));
    setFixedSize(kWidth, kHeight);
    w_TitleBar->setObjectName("w_TitleBar");
    w_TitleBar->setGeometry(0, 0, kWidth, kTitleHeight);
    w_Video->setObjectName("w_Video");
    w_Video->setGeometry(0, kTitleHeight, kWidth, kHeight - kTitleHeight);
    // The picture two pixels inside the frame, at (2, 20) of the window.
    video_->setObjectName("SmartVideo");
    video_->setGeometry(2, 2, 255, 188);
    video_->ShowTarget(PresentTarget::SmartView);
    BtnSelect->raise();
    BtnMain->raise();
    BtnClose->raise();

    new WindowDrag(
        this, {w_TitleBar}, [this] { emit moveStarted(); }, [this] { emit moveEnded(); });
    connect(BtnSelect, &QAbstractButton::clicked, this,
            [this] { PopMenuAt(BtnSelect->mapToGlobal(QPoint(0, kMenuDrop))); });
    connect(BtnMain, &QAbstractButton::pressed, this, [this] { close(); });
    connect(BtnClose, &QAbstractButton::clicked, this, [this] {
        hide();
        close();
        emit closeProgram();
    });
    connect(video_, &VideoArea::pressed, this, [this](Qt::MouseButton button, bool, QPoint, QPoint global) {
        if (button == Qt::RightButton)
            PopMenuAt(global + QPoint(0, kMenuDrop));
    });
    connect(PopMenu, &QMenu::triggered, this, [this](QAction* action) {
        const int tag = action->data().toInt();
        if (tag == kSequenceTag)
            emit sequenceChosen();
        else
            emit cameraChosen(tag);
    });
    // A right click on the frame around the picture opens the menu too; the title bar's presses
    // belong to the drag and never come here.
    w_Video->installEventFilter(this);
}

bool TSmartForm::SetUp(const std::string& skin, int width, const TCameraTable& cameras, int left, int top) {
    move(left, top);
    BuildMenu(cameras);
    auto image = [](QLabel* label) { return [label](const QPixmap& p) { label->setPixmap(p); }; };
    auto idle = [](TEzRgnBtn* b) { return [b](const QPixmap& p) { b->SetPicIdle(p); }; };
    auto up = [](TEzRgnBtn* b) { return [b](const QPixmap& p) { b->SetPicUp(p); }; };
    const std::vector<SkinStep> steps = {
        {"w_smart_title_bar.bmp", image(w_TitleBar)}, {"w_smart_video.bmp", image(w_Video)},
        {"btn_smart_main.bmp", idle(BtnMain)},        {"btn_smart_main_on.bmp", up(BtnMain)},
        {"btn_smart_select.bmp", idle(BtnSelect)},    {"btn_smart_select_on.bmp", up(BtnSelect)},
        {"btn_smart_close.bmp", idle(BtnClose)},      {"btn_smart_close_on.bmp", up(BtnClose)},
    };
    return LoadSkinSteps(SkinFolder(QString::fromStdString(skin), width), steps);
}

void TSmartForm::BuildMenu(const TCameraTable& cameras) {
    PopMenu->clear();
    for (int n = 1; n <= kCameraCount; ++n) {
        const QString name = MenuCaption(cameras[n - 1].Name.Get());
        PopMenu->addAction(name + QStringLiteral("  :  ") + QString::number(n))->setData(n);
    }
    PopMenu->addAction(QStringLiteral("Sekwencja"))->setData(kSequenceTag);
}

void TSmartForm::PopMenuAt(const QPoint& globalPos) {
    PopMenu->popup(globalPos);
}

bool TSmartForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_Video && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton)
            PopMenuAt(mouse->globalPosition().toPoint() + QPoint(0, kMenuDrop));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// S closes; the digits pick cameras as on the main window, Alt+1..6 after their plain digit.
void TSmartForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_S)
        close();
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        emit cameraChosen(key - Qt::Key_0);
    if (key == Qt::Key_0)
        emit cameraChosen(10);
    if ((event->modifiers() & Qt::AltModifier) && key >= Qt::Key_1 && key <= Qt::Key_6)
        emit cameraChosen(10 + key - Qt::Key_0);
    if (key == Qt::Key_Escape)
        return;  // a dialog's Esc would close it behind the operator's back; S does that
    QDialog::keyPressEvent(event);
}

void TSmartForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    emit shown();
}

}  // namespace kel

namespace kel {

VideoSink* TSmartForm::SmartViewOutput() {
    return video_;
}

}  // namespace kel
