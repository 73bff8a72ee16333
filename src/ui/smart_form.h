#pragma once
// TSmartForm: SmartView, the small borderless always-on-top window that shows one camera while the
// main window is hidden. Its title bar moves it; its buttons pick a camera (a menu that also
// starts and stops the sequence), go back to the main window or close the program; a right click
// on the picture opens the same menu; digits and S work as on the main window.
//
// The window only binds: choices go out as signals, which the main window hands to the view
// controller. Its picture comes from the display thread through its video area, the renderer's
// sink while SmartView is on.
//
// Window thread only.

#include <QDialog>
#include <string>

#include "config/records.h"
#include "core/station_windows.h"

class QLabel;
class QMenu;

namespace kel {

class TEzRgnBtn;
class VideoArea;

class TSmartForm : public QDialog, public SmartViewWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 259;
    static constexpr int kHeight = 209;
    static constexpr int kSequenceTag = 255;

    explicit TSmartForm(QWidget* parent = nullptr);

    // The set-up after the main window is created: the camera names, the place and the skin
    // pictures from "Skins/<skin>/<width>/". False when a picture is missing.
    bool SetUp(const std::string& skin, int width, const TCameraTable& cameras, int left, int top);
    // The camera menu built again from the configuration's camera records.
    void BuildMenu(const TCameraTable& cameras);
    // Where the display thread's pictures for this window go.
    VideoArea* Video() const { return video_; }

    // SmartViewWindow
    bool PrepareSmartView(const std::string& skin, int width, const TCameraTable& cameras, int left,
                          int top) override {
        return SetUp(skin, width, cameras, left, top);
    }
    void BuildSmartViewMenu(const TCameraTable& cameras) override { BuildMenu(cameras); }
    VideoSink* SmartViewOutput() override;
    void SmartViewPosition(int& left, int& top) const override {
        left = x();
        top = y();
    }

    QLabel* w_TitleBar;
    QLabel* w_Video;
    TEzRgnBtn* BtnSelect;
    TEzRgnBtn* BtnMain;
    TEzRgnBtn* BtnClose;
    QMenu* PopMenu;

signals:
    void cameraChosen(int camera);  // 1..16
    void sequenceChosen();
    void moveStarted();
    void moveEnded();
    void closeProgram();
    void shown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PopMenuAt(const QPoint& globalPos);

    VideoArea* video_;
};

}  // namespace kel
