#include "config/config_views.h"

#include <algorithm>

#include "config/user_table.h"

namespace kel {

bool RecorderView::AnyDrive() const {
    const auto& drives = Drives();
    return std::any_of(drives.begin(), drives.begin() + 24, [](uint8_t d) { return d == 1; });
}

std::span<const int32_t> RendererView::SlotTable(int layout) const {
    const TSettingsBlock& s = Settings();
    switch (layout) {
    case 1:
        return s.CamMode4;
    case 2:
        return s.CamMode9;
    case 3:
        return s.CamMode16;
    case 4:
        return s.CamMode8;
    case 5:
        return s.CamMode13;
    default:
        return {};
    }
}

int32_t PtzView::Address(int camera) const {
    return camera >= 1 && camera <= kCameraCount ? Settings().PTZPorts[camera - 1] : 0;
}

const TUserRecord* UsersView::User(int index) const {
    return index >= 0 && index < kUserCount ? &Settings().Users[index] : nullptr;
}

const TPasswordRecord* UsersView::Password(int index) const {
    return index >= 0 && index < kUserCount ? &Settings().PassHashes[index] : nullptr;
}

int UsersView::Find(std::string_view login, std::string_view password) const {
    return FindUser(Settings().Users, Settings().PassHashes, login, password);
}

bool UsersView::WeakAdministrator(int index) const {
    return index >= 0 && index < kUserCount &&
           kel::WeakAdministrator(Settings().Users[index], Settings().PassHashes[index]);
}

bool UsersView::MayExport(int index) const {
    return index >= 0 && index < kUserCount && Settings().ExportRights[index] != 0;
}

bool RecorderView::Masked(int n) const {
    const uint8_t* cells = Settings().Masks[n - 1].Cells;
    return std::any_of(cells, cells + sizeof(TMaskRecord::Cells), [](uint8_t c) { return c == 1; });
}

}  // namespace kel
