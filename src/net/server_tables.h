#pragma once
// The camera and user tables the server answers from. The configuration lives on the window
// thread, which hands the server the applied snapshot at start-up and after every change;
// connection threads read the snapshot's tables, never the configuration itself.

#include <array>
#include <cstdint>
#include <mutex>
#include <string_view>

#include <memory>

#include "config/config_views.h"
#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

class ServerTables {
public:
    // Window thread: both tables of the applied configuration, or one table of its own.
    void Set(const ServerView& applied);
    void SetCameras(const TCameraTable& cameras);
    void SetUsers(const TUserTable& users);

    // Any thread.
    TCameraTable Cameras() const;
    // The same table, shared rather than copied (a poll reads only its active flags).
    CameraTablePtr CameraTable() const;
    // Camera n's PTZ address (1..16), 0 for none.
    int32_t PtzAddress(int camera) const;
    // The user table as now applied; a new one is a new pointer.
    std::shared_ptr<const TUserTable> UserTable() const;
    // The user of this login and password (code page 1250 bytes, as the viewer sent them) and its
    // 16 camera rights; false when there is none. Empty texts never match.
    bool FindUser(std::string_view login, std::string_view password, uint8_t rights[16]) const;

private:
    mutable Mutex mutex_;
    CameraTablePtr cameras_ KEL_GUARDED_BY(mutex_) = ShareTable(TCameraTable{});
    std::shared_ptr<const TUserTable> users_ KEL_GUARDED_BY(mutex_) = std::make_shared<const TUserTable>();
    std::array<int32_t, 16> ptz_ KEL_GUARDED_BY(mutex_){};
};

}  // namespace kel
