#pragma once
// The operator's console. For now it carries the version label, the tray icon, the debug window's
// Ctrl+D and the start-up, close and shutdown paths; the skinned controls, view modes and video area
// are added around them.

#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "core/debug_lines.h"
#include "core/shared.h"
#include "core/station.h"
#include "ui/qt_beeper.h"

class QLabel;
class QSystemTrayIcon;

namespace kel {

class TClosingForm;
class TDebugger;
class TLForm;
class TSmartForm;
class VideoArea;

class TMainForm : public QWidget, public StationHost, public DebugLines {
    Q_OBJECT
public:
    TMainForm(StationOptions options, TShared& shared, MessageBox& box, bool headless);
    ~TMainForm() override;

    // The start-up check chain; false when the station must stop.
    bool FormCreate();
    // The windows created after the main one.
    void SetCompanions(TDebugger* debugger, TLForm* login, TSmartForm* smart);
    // The window shown while the recordings are closed at shutdown.
    void SetClosingForm(TClosingForm* closing) { closing_ = closing; }
    // The end of the user's session (SIGTERM, SIGINT, SIGHUP): shut down without a question, quit.
    void WMENDSESSION();

    Station& station() { return *station_; }
    QLabel* Label1 = nullptr;

    // StationHost
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
    bool RunLoginDialog(std::string& login, std::string& password) override;
    void RequestClose() override;
    void SmartViewPosition(int& x, int& y) const override;
    void Quit() override;
    WindowQueue& WindowJobs() override { return window_jobs_; }
    void ShowClosingForm(bool show) override;
    Beeper& SystemBeeper() override { return beeper_; }
    VideoSink* VideoOutput() override;

    // DebugLines: forwarded to the debug window, from any thread.
    void AddLine(std::string_view text) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr int kWindowJobsMs = 20;
    void WMAFTERCREATE();
    void FormKeyDown(QKeyEvent* event);

    TShared& shared_;
    bool headless_;
    LinuxSystemInfo system_info_;
    DbusScreenSaver screen_saver_;
    NoScreenSaver no_screen_saver_;
    InstanceLock instance_mark_;
    std::unique_ptr<Station> station_;
    QSystemTrayIcon* tray_ = nullptr;
    // Set on the window thread once the debug window exists; lines may come from any thread before.
    std::atomic<TDebugger*> debugger_{nullptr};
    TLForm* login_ = nullptr;
    TSmartForm* smart_ = nullptr;
    TClosingForm* closing_ = nullptr;
    VideoArea* video_area_ = nullptr;  // the renderer's pictures, right of the panel, below the bars
    QtBeeper beeper_;
    WindowQueue window_jobs_;  // drained by a timer on the window thread
};

}  // namespace kel
