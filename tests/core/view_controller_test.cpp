// The view state's owner without widgets: layouts, camera selection, the sequence, the zoom, the
// presses on the video area and the camera menu, against a recording fake of the renderer, board
// and windows.

#include "core/view_controller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/applied_config.h"

namespace kel {
namespace {

class FakeView : public ViewPorts, public ViewWindows {
public:
    std::vector<std::string> calls;  // every call, in order
    AppliedConfig applied;
    int32_t hit = 255;
    bool zoomActive = false;

    void Report(const std::string& text) override { calls.push_back("log " + text); }
    void DebugLine(const std::string& text) override { calls.push_back("debug " + text); }
    int32_t HitTest(int, int, bool planView) const override { return hit; }
    void ZoomStart(int c, int x, int y) override { Call("zoomstart", c, x, y); }
    void ZoomPan(int c, int x, int y) override { Call("zoompan", c, x, y); }
    void ZoomStop() override { calls.push_back("zoomstop"); }
    bool ZoomActive() const override { return zoomActive; }
    void MonitorOutput(int camera) override { calls.push_back("monitor " + std::to_string(camera)); }
    RendererView Applied() const override {
        return RendererView(std::make_shared<const AppliedConfig>(applied));
    }
    // The apply step as far as the controller sees it: the change recorded and made.
    void PutOnSlot(int layout, int slot, int camera) override {
        calls.push_back("slot " + std::to_string(layout) + " " + std::to_string(slot) + " " +
                        std::to_string(camera));
        TSettingsBlock& s = applied.settings;
        if (layout == 0)
            s.CamMode1 = camera;
        else if (layout == 2)
            s.CamMode9[slot - 1] = camera;
    }
    void SuspendDisplay() override { calls.push_back("suspend"); }
    void ResumeDisplay() override { calls.push_back("resume"); }
    void PresentTo(bool smart) override { calls.push_back(smart ? "to smart" : "to main"); }
    void ShowWindowMode() override { calls.push_back("window"); }
    void ShowFullScreen() override { calls.push_back("full"); }
    void ShowSmartView() override { calls.push_back("smart"); }
    void HideWindow() override { calls.push_back("hide"); }
    void ShowWindow() override { calls.push_back("show"); }

private:
    void Call(const std::string& name, int c, int x, int y) {
        calls.push_back(name + " " + std::to_string(c) + " " + std::to_string(x) + "," + std::to_string(y));
    }
};

class ViewControllerTest : public ::testing::Test {
protected:
    ViewControllerTest() : view(shared, fake, fake) {
        config.StartMode = 3;
        config.CamMode1 = 2;
        config.CamMode4 = {4, 3, 2, 1};
        config.CamMode9 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (int n = 1; n <= kCameraCount; ++n)
            cameras[n - 1].Name.Set("Kamera " + std::to_string(n));
        view.Start();
    }
    // The calls made by `action` alone.
    template <typename F>
    std::vector<std::string> Calls(F action) {
        fake.calls.clear();
        action();
        return fake.calls;
    }
    using Calls_ = std::vector<std::string>;

    TShared shared;
    FakeView fake;
    TSettingsBlock& config = fake.applied.settings;
    TCameraTable& cameras = fake.applied.cameras;
    ViewController view;
};

TEST_F(ViewControllerTest, StartTakesTheLayoutAndCameraFromTheSettings) {
    EXPECT_EQ(shared.Layout, 3);
    EXPECT_EQ(shared.SavedLayout, 3);
    EXPECT_EQ(shared.SingleCamera, 2);
    EXPECT_FALSE(shared.SequenceOn || shared.ZoomOn || shared.PlanView);
}

// The one-camera layout keeps the sequence and the zoom running; every other layout, a camera
// button and the sequence button stop the zoom; each leaves the plan.
TEST_F(ViewControllerTest, LayoutsCamerasAndTheSequenceButton) {
    view.SequenceToggle();
    EXPECT_TRUE(shared.SequenceOn);
    EXPECT_EQ(shared.Layout, 0);
    EXPECT_EQ(shared.SavedLayout, 0);
    shared.ZoomOn = true;
    shared.PlanView = true;
    EXPECT_EQ(Calls([&] { view.LayoutButton(0); }), (Calls_{"log Wybarno tryb wyswietlania kamer: 0"}));
    EXPECT_TRUE(shared.SequenceOn) << "F1 keeps the sequence";
    EXPECT_TRUE(shared.ZoomOn);
    EXPECT_FALSE(shared.PlanView);
    EXPECT_EQ(Calls([&] { view.LayoutButton(1); }),
              (Calls_{"log Wybarno tryb wyswietlania kamer: 1", "zoomstop"}));
    EXPECT_FALSE(shared.SequenceOn) << "F2 stops it";
    EXPECT_FALSE(shared.ZoomOn);
    EXPECT_EQ(shared.Layout, 1);
    EXPECT_EQ(shared.SavedLayout, 1);

    EXPECT_EQ(Calls([&] { view.SelectCamera(7); }), (Calls_{"log Wybarno pojedynczą kamerę: 7", "zoomstop"}));
    EXPECT_EQ(shared.Layout, 0);
    EXPECT_EQ(shared.SingleCamera, 7);
    EXPECT_EQ(shared.SavedLayout, 1) << "a camera button keeps the layout window mode returns to";
    view.WindowMode();
    EXPECT_EQ(shared.Layout, 1);
}

TEST_F(ViewControllerTest, ModesLogAndSetTheirState) {
    EXPECT_EQ(Calls([&] { view.FullScreenOn(); }), (Calls_{"log Wlaczono tryb Pelnoekranowy", "full"}));
    EXPECT_EQ(shared.ViewMode, kViewFull);
    EXPECT_EQ(shared.Layout, 3) << "full screen keeps the layout";
    EXPECT_EQ(Calls([&] { view.SmartViewOn(); }),
              (Calls_{"log Wlaczono tryb SmartView", "to smart", "smart"}));
    EXPECT_EQ(shared.ViewMode, kViewSmart);
    EXPECT_EQ(shared.Layout, 0);
    EXPECT_EQ(Calls([&] { view.WindowMode(); }),
              (Calls_{"log Wylaczono tryb Pelnoekranowy", "to main", "window"}));
    EXPECT_EQ(shared.ViewMode, kViewWindow);
    EXPECT_EQ(shared.Layout, 3);
    EXPECT_EQ(Calls([&] { view.HideToTray(); }), (Calls_{"log Aplikacje zminimalizowano do TRAYA", "hide"}));
    EXPECT_EQ(Calls([&] { view.RestoreFromTray(); }),
              (Calls_{"log Applikacje przywolano z TRAYA", "show", "resume"}));
    EXPECT_EQ(Calls([&] { view.MoveStarted(); }), (Calls_{"log Rozpoczeto przesuwanie okna", "suspend"}));
    EXPECT_EQ(Calls([&] { view.MoveEnded(40, 50); }), (Calls_{"log Zakonczono przesuwanie okna", "resume"}));
    EXPECT_EQ(shared.WindowLeft, 40);
    EXPECT_EQ(shared.WindowTop, 50);
}

TEST_F(ViewControllerTest, TheSequenceStepsThroughTheActiveCameras) {
    struct Case {
        std::vector<int> active;
        int start;
        int32_t sequence;
        int ticks;
        std::vector<int> shown;  // SingleCamera after each tick
    };
    const Case cases[] = {
        // Interval 1 s: the first change after two ticks, then one a tick; camera 1 whether active
        // or not once nothing active follows.
        {{2, 5}, 2, 0, 5, {2, 5, 1, 2, 5}},
        {{16}, 15, 0, 3, {15, 16, 1}},
        // Interval 2 s.
        {{1, 3}, 1, 1, 6, {1, 1, 3, 3, 1, 1}},
        // A setting outside the table takes the longest interval.
        {{1, 2}, 1, 99, 31, std::vector<int>(30, 1)},
    };
    for (const Case& c : cases) {
        for (int n = 1; n <= kCameraCount; ++n)
            cameras[n - 1].Active = 0;
        for (int n : c.active)
            cameras[n - 1].Active = 1;
        config.Sequence = c.sequence;
        view.SelectCamera(c.start);
        view.SequenceToggle();
        ASSERT_TRUE(shared.SequenceOn);
        shared.SequenceTicks = 0;
        std::vector<int> shown;
        for (int t = 0; t < c.ticks; ++t) {
            view.SequenceStep();
            shown.push_back(shared.SingleCamera);
        }
        if (c.sequence == 99) {
            EXPECT_EQ(std::vector<int>(shown.begin(), shown.end() - 1), c.shown);
            EXPECT_EQ(shown.back(), 2) << "after 31 ticks the 30-second interval has passed";
        } else {
            EXPECT_EQ(shown, c.shown) << "sequence " << c.sequence << " from camera " << c.start;
        }
        view.SequenceToggle();
        view.SequenceStep();
        EXPECT_EQ(shared.SingleCamera, shown.back()) << "a stopped sequence does not step";
    }
}

TEST_F(ViewControllerTest, TheZoomArmsOnlyInTheOneCameraLayout) {
    shared.PlanView = true;
    EXPECT_FALSE(view.ZoomToggle(true)) << "key Z outside layout 0";
    EXPECT_FALSE(view.ZoomToggle(false));
    EXPECT_FALSE(shared.ZoomOn);
    EXPECT_FALSE(shared.PlanView) << "the button leaves the plan even when it cannot arm";
    view.LayoutButton(0);
    shared.PlanView = true;
    EXPECT_TRUE(view.ZoomToggle(true));
    EXPECT_TRUE(shared.ZoomOn);
    EXPECT_TRUE(shared.PlanView) << "the key leaves the plan alone";
    EXPECT_EQ(Calls([&] { EXPECT_TRUE(view.ZoomToggle(false)); }), (Calls_{"zoomstop"}));
    EXPECT_FALSE(shared.ZoomOn);
}

// The configurator's preview shows whole pictures: a zoom armed before it is disarmed and does
// not come back after; a camera's page preselects its camera as the camera button does, and says so.
TEST_F(ViewControllerTest, TheConfiguratorPreviewDisarmsTheZoomAndSaysWhichCamera) {
    view.LayoutButton(0);
    ASSERT_TRUE(view.ZoomToggle(true));
    EXPECT_EQ(Calls([&] { view.ConfiguratorOn(false); }), (Calls_{"zoomstop"}));
    EXPECT_FALSE(shared.ZoomOn);
    EXPECT_EQ(Calls([&] { view.PreviewCamera(2); }),
              (Calls_{"log Wybarno pojedynczą kamerę: 2", "zoomstop"}));
    EXPECT_EQ(shared.SingleCamera, 2);
    EXPECT_EQ(shared.Layout, 0);
    view.ConfiguratorOff();
    EXPECT_FALSE(shared.ZoomOn) << "camera 1 is not zoomed after the dialog";
}

// Every step of a press on the video area, in its order, with the hit test under the test's
// control.
TEST_F(ViewControllerTest, PressesOnTheVideoArea) {
    struct Case {
        const char* what;
        int layout;
        int viewMode;
        bool zoom, zoomActive, plan;
        MouseButton button;
        bool shift;
        int32_t hit;
        Calls_ calls;
        PressResult result;
        int singleAfter;  // SingleCamera afterwards
    };
    const MouseButton L = MouseButton::Left, R = MouseButton::Right, M = MouseButton::Middle;
    // clang-format off
    const Case cases[] = {
        {"right click leaves full screen, zoom armed too", 0, kViewFull, true, true, false, R, false, 1,
         {"log Wylaczono tryb Pelnoekranowy", "to main", "window"}, PressResult::Done, 2},
        {"shift+left switches the monitor to the tile's camera", 1, kViewWindow, false, false, false, L, true, 2,
         {"monitor 3", "debug kanal : 2"}, PressResult::Done, 2},
        {"shift+left on no tile switches nothing", 1, kViewWindow, false, false, false, L, true, 255,
         {"debug kanal : 255"}, PressResult::Done, 2},
        {"a plan icon selects its camera", 1, kViewWindow, false, false, true, L, false, 7,
         {"log Wybarno pojedynczą kamerę: 7", "zoomstop"}, PressResult::Done, 7},
        {"left with the zoom armed starts it", 0, kViewWindow, true, false, false, L, false, 1,
         {"zoomstart 2 10,20"}, PressResult::Done, 2},
        {"left with the zoom running pans it", 0, kViewWindow, true, true, false, L, false, 1,
         {"zoompan 2 10,20"}, PressResult::Done, 2},
        {"right with the zoom armed stops it", 0, kViewWindow, true, true, false, R, false, 1,
         {"zoomstop"}, PressResult::Done, 2},
        {"right opens the camera menu", 1, kViewWindow, false, false, false, R, false, 4,
         {}, PressResult::ShowCameraMenu, 2},
        {"left selects the tile's camera", 1, kViewWindow, false, false, false, L, false, 1,
         {"log Kliknięto kamerę: 4", "log Wybarno pojedynczą kamerę: 4", "zoomstop"}, PressResult::Done, 4},
        {"middle does the same", 2, kViewWindow, false, false, false, M, false, 9,
         {"log Kliknięto kamerę: 9", "log Wybarno pojedynczą kamerę: 9", "zoomstop"}, PressResult::Done, 9},
        {"no tile in a layout finds no camera", 2, kViewWindow, false, false, false, L, false, 255,
         {"log Kliknięto kamerę: 0"}, PressResult::Done, 2},
        {"no tile in layout 0 reselects the camera shown", 0, kViewWindow, false, false, false, L, false, 255,
         {"log Kliknięto kamerę: 2", "log Wybarno pojedynczą kamerę: 2", "zoomstop"}, PressResult::Done, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shared.SingleCamera = 2;
        shared.Layout = c.layout;
        shared.SavedLayout = 5;
        shared.ViewMode = c.viewMode;
        shared.ZoomOn = c.zoom;
        shared.PlanView = c.plan;
        fake.zoomActive = c.zoomActive;
        fake.hit = c.hit;
        PressResult result = PressResult::Done;
        EXPECT_EQ(Calls([&] { result = view.MouseDown(c.button, c.shift, 10, 20); }), c.calls);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(shared.SingleCamera, c.singleAfter);
        const bool selected = c.calls.size() > 1 && c.calls[0].rfind("log Kliknięto", 0) == 0;
        EXPECT_EQ(shared.SavedLayout, selected ? 0 : 5);
        if (c.button == R && c.zoom && c.viewMode != kViewFull) {
            EXPECT_TRUE(shared.ZoomOn) << "a right click stops the zoom but keeps it armed";
        }
    }
}

TEST_F(ViewControllerTest, PointerShapes) {
    fake.hit = 255;
    EXPECT_EQ(view.PointerAt(0, 0), PointerShape::Arrow);
    fake.hit = 3;
    EXPECT_EQ(view.PointerAt(0, 0), PointerShape::Hand);
    shared.ZoomOn = true;
    EXPECT_EQ(view.PointerAt(0, 0), PointerShape::Cross);
}

TEST_F(ViewControllerTest, TheCameraMenuNamesItsItemsAndAssignsSlots) {
    cameras[2].Name.Set("Wejście");
    std::vector<MenuItem> items = view.MenuItems();
    ASSERT_EQ(items.size(), 18u);
    EXPECT_EQ(items[0].tag, 255);
    EXPECT_EQ(items[0].caption, "Konfiguracja Kamery: ");
    EXPECT_EQ(items[1].tag, 254);
    EXPECT_EQ(items[4].tag, 3);
    EXPECT_EQ(items[4].caption, "3  :  Wejście");
    EXPECT_EQ(items[17].caption, "16  :  Kamera 16");

    // Camera 7 on slot 3 of the nine-camera layout: shown at once.
    view.LayoutButton(2);
    fake.hit = 3;
    ASSERT_EQ(view.MouseDown(MouseButton::Right, false, 0, 0), PressResult::ShowCameraMenu);
    EXPECT_EQ(view.MenuItems()[0].caption, "Konfiguracja Kamery: 3");
    view.MenuClosed();
    EXPECT_EQ(view.MenuItems()[0].caption, "Konfiguracja Kamery: ");
    EXPECT_EQ(Calls([&] { EXPECT_FALSE(view.MenuClick(7)); }), (Calls_{"slot 2 3 7"}));
    EXPECT_EQ(config.CamMode9[2], 7);
    EXPECT_TRUE(view.MenuClick(255)) << "the configuration item opens the configurator";
    EXPECT_EQ(view.MenuCamera(), 3);

    // In the one-camera layout the choice is the camera for the next start.
    view.LayoutButton(0);
    ASSERT_EQ(view.MouseDown(MouseButton::Right, false, 0, 0), PressResult::ShowCameraMenu);
    EXPECT_EQ(Calls([&] { view.MenuClick(9); }), (Calls_{"slot 0 0 9"}));
    EXPECT_EQ(config.CamMode1, 9);
    EXPECT_EQ(shared.SingleCamera, 2) << "the camera shown stays";
}

}  // namespace
}  // namespace kel
