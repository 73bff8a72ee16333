#pragma once
// TMainForm: the operator's console. A borderless, skinned window: the title bar and the command
// bar across the top, the 250-pixel control panel on the left (clock, drive usage, layout and
// camera buttons, the PTZ pad, the tool buttons) and the video area on the right.
//
// The window binds its controls and keys to the station: the view state belongs to the station's
// ViewController, the start-up, close and shutdown paths to the Station. What it keeps itself is
// the widget side of the view modes (which controls show, where the window stands), the skin
// pictures, the tray icon and the camera menu.
//
// Window thread only, like every widget; other threads reach it through its job queue.

#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/debug_lines.h"
#include "core/shared.h"
#include "core/station.h"
#include "ui/qt_beeper.h"

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QUrl;

namespace kel {

class TClosingForm;
class TCommandLabel;
class TConfigForm;
class TDebugger;
class TEzRgnBtn;
class TInfoForm;
class TLForm;
class TPhotoForm;
class TSmartForm;
class VideoArea;

// The windows created after the main one that it shows or asks about.
struct MainFormCompanions {
    TDebugger* debugger = nullptr;
    TLForm* login = nullptr;
    TSmartForm* smart = nullptr;
    TConfigForm* config = nullptr;
    TInfoForm* info = nullptr;
    TPhotoForm* photo = nullptr;
};

class TMainForm : public QWidget, public ConsoleWindow, public DebugLines {
    Q_OBJECT
public:
    static constexpr int kPanelWidth = 250;
    static constexpr int kPadDrop1280 = 234;  // the pad sits this much lower at 1280 x 1024

    // `registry`: the settings store, which the archive viewer is started with.
    TMainForm(TShared& shared, bool headless, std::string registry);
    ~TMainForm() override;

    // The station this window is the console of (built in app/ on this window), and the instance
    // mark whose bell (a second start) brings the window forward; before FormCreate.
    void SetStation(Station& station, InstanceLock& mark) {
        station_ = &station;
        instance_mark_ = &mark;
    }
    // The start-up check chain; false when the station must stop.
    bool FormCreate();
    void SetCompanions(const MainFormCompanions& companions);
    // The end of the user's session (SIGTERM, SIGINT, SIGHUP): shut down without a question, quit.
    void WMENDSESSION();

    Station& station() { return *station_; }
    // How the archive viewer is started (with `handOver` on its descriptor 3: the console's user,
    // never on its command line) and the documentation opened (tests put their own).
    std::function<bool(const QString& program, const QStringList& arguments, const std::string& handOver)>
        StartProgram;
    std::function<bool(const QUrl& url)> OpenUrl;
    // The archive viewer beside the executable, and the installed documentation.
    static QString ViewerProgram();
    // What the viewer is started with: this station's working directory and settings store, and
    // the descriptor the console's user is handed over on (when one is logged in).
    QStringList ViewerArguments() const;
    static QString DocumentationFile();

    // --- Controls, named as the console's design names them.
    QLabel* w_TitleBar;
    QLabel* w_ComandBar;
    TCommandLabel* LConfigLabel;  // "Konfiguracja"
    TCommandLabel* Label2;        // "Przeglądarka"
    TCommandLabel* Label3;        // "Witryna WWW"
    TCommandLabel* Label4;        // "Informacje"
    TCommandLabel* Label6;        // "Zmiana Operatora": the shift change (key L)
    TEzRgnBtn* BtnSmart;
    TEzRgnBtn* BtnMin;
    TEzRgnBtn* BtnMax;
    TEzRgnBtn* BtnClose;
    QWidget* ControlPanel;
    QLabel* w_Logo;
    QLabel* w_Clock;
    QLabel* w_Background;
    QLabel* w_Ptz;
    QLabel* l_Timer;
    QLabel* Label5;  // drive usage
    QLabel* Label1;  // version
    TEzRgnBtn* Func01;
    TEzRgnBtn* Func04;
    TEzRgnBtn* Func09;
    TEzRgnBtn* Func16;
    TEzRgnBtn* Func08;
    TEzRgnBtn* Func13;
    TEzRgnBtn* FuncSwitch;
    TEzRgnBtn* FuncRec;                              // the zoom
    std::array<TEzRgnBtn*, kCameraCount + 1> Btn{};  // Btn[1..16]
    TEzRgnBtn* btnView;
    TEzRgnBtn* btnTools;
    TEzRgnBtn* btnWeb;
    TEzRgnBtn* btnzoom;  // the snapshot
    // The pad: 4 up, 1 left, 5 zoom in, 6 zoom out, 2 right, 3 down.
    TEzRgnBtn* EzRgnBtn1;
    TEzRgnBtn* EzRgnBtn2;
    TEzRgnBtn* EzRgnBtn3;
    TEzRgnBtn* EzRgnBtn4;
    TEzRgnBtn* EzRgnBtn5;
    TEzRgnBtn* EzRgnBtn6;
    VideoArea* w_Tlo;
    QMenu* PopMenuCamera;

    // ConsoleWindow
    void SetVersionLabel(const std::string& text) override;
    void ArrangeWindow(int width, int height) override;
    void AddTrayIcon(const std::string& tip) override;
    void RemoveTrayIcon() override;
    void PostAfterCreate() override;
    void ShowWindowMode() override;
    void ShowFullScreen() override;
    void ShowSmartView() override;
    void HideWindow() override;
    void ShowWindow() override;
    bool IsVisible() const override;
    void WindowPosition(int& left, int& top) const override;
    bool CanShowDialogs() const override;
    void RequestClose() override;
    void Quit(int code = 0) override;
    WindowQueue& WindowJobs() override { return window_jobs_; }
    Beeper& SystemBeeper() override { return beeper_; }
    VideoSink* VideoOutput() override;
    bool LoadMainSkin(const std::string& skin, int width) override;
    void SetClockLabel(const std::string& text) override;
    void SetDriveLabel(const std::string& text) override;
    void BuildCameraMenu() override;
    void StepAside(bool aside) override;

    // DebugLines: forwarded to the debug window, from any thread.
    void AddLine(std::string_view text) override;

    // The tray icon's left click.
    void TrayClick();
    void BringForward();
    // The snapshot button: the last composed picture in the snapshot viewer.
    void FuncRecClick();
    // The camera menu pops up at a screen position (a right click on a tile).
    void PopupCameraMenu(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Tells the renderer whether any window shows its pictures: the main window (not hidden in
    // the tray, not minimised), SmartView or the configuration dialog. Headless, none does.
    Q_INVOKABLE void UpdateWatched();
    // What other threads handed over, run on the window thread.
    Q_INVOKABLE void RunWindowJobs();
    void CreateControls();
    QWidget* OpenDialog() const;
    bool TrayIconPlaced() const;
    void BindSmartView(TSmartForm* smart);
    void CreatePanelButtons();
    void CreatePad();
    void BindControls();
    // Every control at its place for the window's width and height.
    void PlaceControls();
    std::vector<QWidget*> WindowModeControls() const;
    void LoadDesignPictures(int width);
    void WMAFTERCREATE();
    void FormKeyDown(QKeyEvent* event);
    // The zoom's pictures after ZoomOn changed: by the zoom button or key Z, or by any other
    // choice that ends the zoom.
    void ZoomToggled();
    void ShowZoomState();
    void w_TloMouseDown(Qt::MouseButton button, bool shift, QPoint pos, QPoint globalPos);
    void w_TloMouseMove(QPoint pos);
    void PopMenuCameraClick(int tag);
    ViewController* View() { return station_->View(); }

    TShared& shared_;
    bool headless_;
    const std::string registry_;  // the settings store, for the viewer
    std::string tray_tip_;
    static constexpr int kTrayWaitMs = 1500;
    WindowQueue window_jobs_;  // its wake-up is a queued call to the window thread
    Station* station_ = nullptr;
    InstanceLock* instance_mark_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    // Set on the window thread once the debug window exists; lines may come from any thread before.
    std::atomic<TDebugger*> debugger_{nullptr};
    MainFormCompanions companions_;
    QtBeeper beeper_;
    bool smart_close_program_ = false;  // SmartView's close button was used
    QPixmap zoom_idle_;                 // FuncRec's idle picture, and its look while the zoom is armed
    QPixmap zoom_armed_;
};

}  // namespace kel
