#pragma once
// What the station asks of its windows, one small interface per window, each implemented by that
// window and wired in app/: the console (the main window), the login dialog, the configuration
// dialog, the SmartView window and the closing window. The station runs without widgets: tests
// give it fakes. Window thread only.

#include <string>

#include "config/records.h"
#include "core/configurator_ports.h"
#include "core/view_controller.h"
#include "display/video_sink.h"
#include "platform/beeper.h"
#include "platform/window_queue.h"

namespace kel {

// The main window: its view modes (ViewWindows), labels, tray icon, skin and event loop.
class ConsoleWindow : public ViewWindows {
public:
    virtual void SetVersionLabel(const std::string& text) = 0;
    // Sizes the main window for width x height and opens it centred on the screen.
    virtual void ArrangeWindow(int width, int height) = 0;
    virtual void AddTrayIcon(const std::string& tip) = 0;
    virtual void RemoveTrayIcon() = 0;
    // Runs the second stage from the event loop once it has started.
    virtual void PostAfterCreate() = 0;
    virtual bool IsVisible() const = 0;
    virtual void WindowPosition(int& left, int& top) const = 0;
    // Whether dialogs can be shown at all (not headless).
    virtual bool CanShowDialogs() const = 0;
    // Closes the main window through its normal close path (the close question).
    virtual void RequestClose() = 0;
    // Ends the event loop; the program exits with `code`.
    virtual void Quit(int code = 0) = 0;
    // Work other threads hand to the window thread; the window runs it from its event loop.
    virtual WindowQueue& WindowJobs() = 0;
    // The system's alert sound, for a camera that starts seeing motion.
    virtual Beeper& SystemBeeper() = 0;
    // Where the renderer's pictures go; nullptr composes them without presenting (headless).
    virtual VideoSink* VideoOutput() = 0;
    // The main window's own skin pictures from "Skins/<skin>/<width>/"; false when one is missing.
    virtual bool LoadMainSkin(const std::string& skin, int width) = 0;
    // The labels the one-second timer keeps current.
    virtual void SetClockLabel(const std::string& text) = 0;
    virtual void SetDriveLabel(const std::string& text) = 0;
    // The camera menu built again from the view controller's items.
    virtual void BuildCameraMenu() = 0;
    // The main window steps aside while a dialog has the screen, and comes back after it.
    virtual void StepAside(bool aside) = 0;
};

class LoginWindow {
public:
    virtual ~LoginWindow() = default;
    // Modal: false when cancelled. The texts typed before are kept between showings.
    virtual bool RunLoginDialog(std::string& login, std::string& password) = 0;
    // Modal: a new password for `login`, typed twice (UTF-8; the station compares and judges
    // them); false when cancelled. A window without it never asks.
    virtual bool RunNewPasswordDialog(const std::string& login, std::string& first, std::string& second) {
        return false;
    }
};

class ConfiguratorWindow {
public:
    virtual ~ConfiguratorWindow() = default;
    // Modal, on work.startPage with the working copies, the station behind its preview reached
    // through `ports`; returns once it has closed (work.applied says how).
    virtual void RunConfigurator(ConfiguratorWork& work, ConfiguratorPorts& ports) = 0;
    // Where the renderer's pictures go while the dialog is open.
    virtual VideoSink* ConfigPreviewOutput() = 0;
};

class SmartViewWindow {
public:
    virtual ~SmartViewWindow() = default;
    // Set up at (left, top) with the camera names and its skin pictures; false when a picture is
    // missing.
    virtual bool PrepareSmartView(const std::string& skin, int width, const TCameraTable& cameras, int left,
                                  int top) = 0;
    // Its camera menu built again for the applied names.
    virtual void BuildSmartViewMenu(const TCameraTable& cameras) = 0;
    // Where the renderer's pictures go while SmartView is on.
    virtual VideoSink* SmartViewOutput() = 0;
    // Its position, stored at shutdown.
    virtual void SmartViewPosition(int& x, int& y) const = 0;
};

class ClosingWindow {
public:
    virtual ~ClosingWindow() = default;
    // Shown and painted at once while the recordings are closed, then hidden.
    virtual void ShowClosingForm(bool show) = 0;
};

// The windows made after the console (the start-up chain runs while only the console exists).
// Any of them may be missing; what it would do is then not done.
struct CompanionWindows {
    LoginWindow* login = nullptr;
    ConfiguratorWindow* configurator = nullptr;
    SmartViewWindow* smartView = nullptr;
    ClosingWindow* closing = nullptr;
};

}  // namespace kel
