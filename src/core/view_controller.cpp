#include "core/view_controller.h"

#include <algorithm>

namespace kel {

ViewController::ViewController(TShared& shared, ViewWindows& windows, ViewPorts& ports)
    : shared_(shared), windows_(windows), ports_(ports) {}

void ViewController::Start() {
    const RendererView applied = ports_.Applied();
    shared_.Layout = applied.StartLayout();
    shared_.SavedLayout = applied.StartLayout();
    shared_.SingleCamera = applied.SingleCamera();
    shared_.SequenceTicks = 0;
    shared_.SequenceOn = false;
    shared_.ZoomOn = false;
    shared_.PlanView = false;
}

void ViewController::WindowMode() {
    ports_.Report("Wylaczono tryb Pelnoekranowy");
    ports_.PresentTo(false);
    windows_.ShowWindowMode();
    shared_.ViewMode = kViewWindow;
    shared_.Layout = shared_.SavedLayout.load();
}

void ViewController::FullScreenOn() {
    ports_.Report("Wlaczono tryb Pelnoekranowy");
    windows_.ShowFullScreen();
    shared_.ViewMode = kViewFull;
}

// The SmartView window is modal: ShowSmartView returns once it has closed.
void ViewController::SmartViewOn() {
    ports_.Report("Wlaczono tryb SmartView");
    shared_.ViewMode = kViewSmart;
    shared_.Layout = 0;
    ports_.PresentTo(true);
    windows_.ShowSmartView();
}

void ViewController::HideToTray() {
    ports_.Report("Aplikacje zminimalizowano do TRAYA");
    windows_.HideWindow();
}

void ViewController::RestoreFromTray() {
    ports_.Report("Applikacje przywolano z TRAYA");
    windows_.ShowWindow();
    ports_.ResumeDisplay();
}

void ViewController::ConfiguratorOn(bool fromCameraMenu) {
    before_config_ = {shared_.SingleCamera.load(), shared_.SequenceOn.load(), shared_.PlanView.load()};
    shared_.SequenceOn = false;
    shared_.PlanView = false;
    // The preview shows whole pictures, and the console comes back without a zoom armed.
    shared_.ZoomOn = false;
    ports_.ZoomStop();
    shared_.ViewMode = kViewConfig;
    if (fromCameraMenu)
        shared_.Layout = 0;
}

// A camera's page preselects it as its camera button does.
void ViewController::PreviewCamera(int camera) {
    if (camera < 1 || camera > kCameraCount)
        return;
    ports_.Report("Wybarno pojedynczą kamerę: " + std::to_string(camera));
    shared_.Layout = 0;
    shared_.SingleCamera = camera;
    shared_.ZoomOn = false;
    ports_.ZoomStop();
}

void ViewController::ConfiguratorOff() {
    shared_.SingleCamera = before_config_.single;
    shared_.SequenceOn = before_config_.sequence;
    shared_.PlanView = before_config_.plan;
    WindowMode();
}

void ViewController::MoveStarted() {
    ports_.Report("Rozpoczeto przesuwanie okna");
    ports_.SuspendDisplay();
}

void ViewController::MoveEnded(int left, int top) {
    ports_.Report("Zakonczono przesuwanie okna");
    shared_.WindowLeft = left;
    shared_.WindowTop = top;
    ports_.ResumeDisplay();
}

void ViewController::LayoutButton(int code) {
    if (code < 0 || code >= kLayouts)
        return;
    ports_.Report("Wybarno tryb wyswietlania kamer: " + std::to_string(code));
    shared_.PlanView = false;
    shared_.Layout = code;
    shared_.SavedLayout = code;
    if (code == 0)
        return;  // one camera keeps the sequence and the zoom
    shared_.SequenceOn = false;
    shared_.ZoomOn = false;
    ports_.ZoomStop();
}

void ViewController::SelectCamera(int tag) {
    shared_.PlanView = false;
    shared_.SequenceOn = false;
    ports_.Report("Wybarno pojedynczą kamerę: " + std::to_string(tag));
    if (tag >= 1 && tag <= kCameraCount) {
        shared_.Layout = 0;
        shared_.SingleCamera = tag;
    }
    shared_.ZoomOn = false;
    ports_.ZoomStop();
}

void ViewController::SequenceToggle() {
    shared_.PlanView = false;
    shared_.Layout = 0;
    shared_.SavedLayout = 0;
    shared_.SequenceOn = !shared_.SequenceOn;
    shared_.ZoomOn = false;
    ports_.ZoomStop();
}

// The camera after the one shown whose Active flag is set; past 16 it starts again at camera 1,
// which is shown whether active or not.
void ViewController::SequenceStep() {
    if (!shared_.SequenceOn)
        return;
    const RendererView applied = ports_.Applied();
    const int interval = kSequenceSeconds[std::clamp<int32_t>(applied.SequenceCode(), 0, 5)];
    if (shared_.SequenceTicks < interval) {
        ++shared_.SequenceTicks;
        return;
    }
    shared_.SequenceTicks = 1;
    for (int n = shared_.SingleCamera + 1; n <= kCameraCount; ++n) {
        if (n >= 1 && applied.Camera(n).Active) {
            shared_.SingleCamera = n;
            return;
        }
    }
    shared_.SingleCamera = 1;
}

bool ViewController::ZoomToggle(bool fromKey) {
    if (fromKey && shared_.Layout != 0)
        return false;
    if (!fromKey)
        shared_.PlanView = false;
    if (shared_.ZoomOn) {
        shared_.ZoomOn = false;
        ports_.ZoomStop();
        return true;
    }
    if (shared_.Layout != 0)
        return false;
    shared_.ZoomOn = true;
    return true;
}

void ViewController::TogglePlanView() {
    shared_.PlanView = !shared_.PlanView;
}

int ViewController::SlotCamera(int layout, int slot) const {
    const RendererView applied = ports_.Applied();
    const std::span<const int32_t> table = applied.SlotTable(layout);
    return slot >= 1 && slot <= static_cast<int>(table.size()) ? table[slot - 1] : 0;
}

PressResult ViewController::MouseDown(MouseButton button, bool shift, int x, int y) {
    if (button == MouseButton::Right && shared_.ViewMode == kViewFull) {
        WindowMode();
        return PressResult::Done;
    }
    const bool plan = shared_.PlanView;
    const int tile = ports_.HitTest(x, y, plan);
    const int layout = shared_.Layout;
    const int camera = layout == 0 ? shared_.SingleCamera.load() : SlotCamera(layout, tile);
    if (button == MouseButton::Left && shift) {
        // A slot without a camera has no channel to switch to.
        if (camera >= 1 && camera <= kCameraCount)
            ports_.MonitorOutput(camera);
        ports_.DebugLine("kanal : " + std::to_string(tile));
        return PressResult::Done;
    }
    if (tile != kNoTile) {
        if (plan) {
            SelectCamera(tile);
            shared_.PlanView = false;
            return PressResult::Done;
        }
        if (button == MouseButton::Left && shared_.ZoomOn) {
            if (ports_.ZoomActive())
                ports_.ZoomPan(camera, x, y);
            else
                ports_.ZoomStart(camera, x, y);
            return PressResult::Done;
        }
        if (button == MouseButton::Right && shared_.ZoomOn) {
            ports_.ZoomStop();
            return PressResult::Done;
        }
        if (button == MouseButton::Right) {
            menu_slot_ = tile;
            menu_camera_ = camera;
            menu_open_ = true;
            return PressResult::ShowCameraMenu;
        }
    }
    // A press that finds no camera is only written down.
    ports_.Report("Kliknięto kamerę: " + std::to_string(camera));
    if (camera >= 1 && camera <= kCameraCount) {
        shared_.SavedLayout = 0;
        SelectCamera(camera);
    }
    return PressResult::Done;
}

PointerShape ViewController::PointerAt(int x, int y) const {
    if (ports_.HitTest(x, y, shared_.PlanView) == kNoTile)
        return PointerShape::Arrow;
    return shared_.ZoomOn ? PointerShape::Cross : PointerShape::Hand;
}

std::vector<MenuItem> ViewController::MenuItems() const {
    std::vector<MenuItem> items;
    std::string config = kMenuConfigCaption;
    if (menu_open_)
        config += std::to_string(menu_camera_);
    items.push_back({kMenuConfigTag, config});
    items.push_back({kMenuSeparatorTag, "-"});
    const RendererView applied = ports_.Applied();
    for (int n = 1; n <= kCameraCount; ++n)
        items.push_back({n, std::to_string(n) + "  :  " + applied.Camera(n).Name.Get()});
    return items;
}

void ViewController::MenuClosed() {
    menu_open_ = false;
}

bool ViewController::MenuClick(int tag) {
    if (tag == kMenuConfigTag)
        return true;
    if (tag < 1 || tag > kCameraCount)
        return false;
    const int layout = shared_.Layout;
    if (layout == 0) {
        ports_.PutOnSlot(0, 0, tag);  // the one-camera layout's camera at the next start
        return false;
    }
    const RendererView applied = ports_.Applied();
    if (menu_slot_ < 1 || menu_slot_ > static_cast<int>(applied.SlotTable(layout).size()))
        return false;
    ports_.PutOnSlot(layout, menu_slot_, tag);
    return false;
}

}  // namespace kel
