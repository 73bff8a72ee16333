#pragma once
// The view state's one writer: which view mode the console is in, which layout and camera the
// video area shows, the camera sequence, the digital zoom, the site plan and the camera menu's
// slot. The keys, buttons, clicks and menus of the windows call it; the one-second timer steps
// the sequence. The display thread reads the shared atomics it writes (TShared) on its next pass.
//
// It knows no widgets: the renderer's hit test and zoom, the board's monitor output and the
// operator's record go through ViewPorts, the windows of the modes through ViewWindows.
//
// Window thread only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/config_views.h"
#include "core/shared.h"

namespace kel {

// The widget side of the view modes; the controller keeps the state and the log.
class ViewWindows {
public:
    virtual ~ViewWindows() = default;
    virtual void ShowWindowMode() = 0;  // every control back, the window at its place and size
    virtual void ShowFullScreen() = 0;  // the video area over the whole screen
    virtual void ShowSmartView() = 0;   // the small window, modal: returns once it has closed
    virtual void HideWindow() = 0;
    virtual void ShowWindow() = 0;  // shown and brought to the front
};

// What the view controller asks of the rest of the station.
class ViewPorts {
public:
    virtual ~ViewPorts() = default;
    // A program action: a debug line and a PRG log line.
    virtual void Report(const std::string& text) = 0;
    // A line for the debug window only.
    virtual void DebugLine(const std::string& text) = 0;
    // The renderer: the slot (or, in the plan view, the camera) under a point, 255 for none.
    virtual int32_t HitTest(int x, int y, bool planView) const = 0;
    virtual void ZoomStart(int camera, int x, int y) = 0;
    virtual void ZoomPan(int camera, int x, int y) = 0;
    virtual void ZoomStop() = 0;
    virtual bool ZoomActive() const = 0;
    // The board's monitor output switched to camera 1..16.
    virtual void MonitorOutput(int camera) = 0;
    // The display thread paused (a window drag) and resumed.
    virtual void SuspendDisplay() = 0;
    virtual void ResumeDisplay() = 0;
    // The renderer's pictures go to the SmartView window, names and stamps hidden, or back to
    // the main window.
    virtual void PresentTo(bool smartView) = 0;
    // The applied configuration's layouts, sequence and cameras.
    virtual RendererView Applied() const = 0;
    // Camera `camera` put on slot `slot` (1-based) of layout 1..5, or made the one-camera
    // layout's camera (layout 0), through the same apply step as the configuration dialog's.
    virtual void PutOnSlot(int layout, int slot, int camera) = 0;
};

enum class MouseButton { Left, Right, Middle };
enum class PointerShape { Arrow, Hand, Cross };

// What a press on the video area leaves to the window.
enum class PressResult {
    Done,
    ShowCameraMenu,  // pop the camera menu up where the press was
};

struct MenuItem {
    int tag;  // 255 the camera's configuration, 254 the separator, 1..16 a camera
    std::string caption;
};

class ViewController {
public:
    static constexpr int kLayouts = 6;
    static constexpr int kNoTile = 255;  // the hit test found nothing
    static constexpr int kMenuConfigTag = 255;
    static constexpr int kMenuSeparatorTag = 254;
    static constexpr const char* kMenuConfigCaption = "Konfiguracja Kamery: ";
    // Sequence intervals in seconds by the Sequence setting 0..5.
    static constexpr int kSequenceSeconds[6] = {1, 2, 5, 10, 20, 30};

    // The slot tables, the sequence interval and the camera records come from ports.Applied().
    ViewController(TShared& shared, ViewWindows& windows, ViewPorts& ports);

    // The start: the layout and camera of the settings, no sequence, zoom or plan.
    void Start();

    // --- View modes and the tray.
    void WindowMode();
    void FullScreenOn();
    void SmartViewOn();
    void HideToTray();
    void RestoreFromTray();
    // The configurator open: ViewMode 4, the sequence and the site plan put aside until it
    // closes; from the camera menu the video area also shows one camera.
    void ConfiguratorOn(bool fromCameraMenu);
    // The preview shows camera n alone.
    void PreviewCamera(int camera);
    // The configurator closed: the camera, sequence and plan as they were, then window mode.
    void ConfiguratorOff();
    // A window drag: the display thread pauses for it; the new place is kept for window mode.
    void MoveStarted();
    void MoveEnded(int left, int top);
    // The SmartView window's drag: only the pause.
    void SmallWindowMoveStarted() { ports_.SuspendDisplay(); }
    void SmallWindowMoveEnded() { ports_.ResumeDisplay(); }

    // --- The video area.
    // Layout code 0..5 (1, 4, 9, 16, 8, 13 cameras).
    void LayoutButton(int code);
    // A camera button (tag 1..16; any other tag only stops the sequence, zoom and plan).
    void SelectCamera(int tag);
    void SequenceToggle();
    // The one-second step of the sequence.
    void SequenceStep();
    // The zoom button (fromKey false) or key Z (fromKey true: layout 0 only, the plan left as is).
    // True when ZoomOn changed.
    bool ZoomToggle(bool fromKey);
    void TogglePlanView();
    // A press at (x, y) of the video area, in the coordinates of the picture shown there.
    PressResult MouseDown(MouseButton button, bool shift, int x, int y);
    PointerShape PointerAt(int x, int y) const;

    // --- The camera menu.
    // Its items in order; the configuration item carries the camera number while the menu is open.
    std::vector<MenuItem> MenuItems() const;
    // The menu closed (with or without a choice).
    void MenuClosed();
    // A camera item (1..16) puts that camera on the slot the menu was opened on. The
    // configuration item returns true: the caller opens the configurator on MenuCamera's page.
    bool MenuClick(int tag);
    int MenuSlot() const { return menu_slot_; }
    int MenuCamera() const { return menu_camera_; }

    // The camera of a slot (1-based) in a layout 1..5; 0 for none.
    int SlotCamera(int layout, int slot) const;

private:
    TShared& shared_;
    ViewWindows& windows_;
    ViewPorts& ports_;
    int menu_slot_ = 0;
    int menu_camera_ = 0;
    struct {
        int32_t single = 1;
        bool sequence = false;
        bool plan = false;
    } before_config_;  // the view the configurator put aside
    bool menu_open_ = false;
};

}  // namespace kel
