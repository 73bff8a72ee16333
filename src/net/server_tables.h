#pragma once
// The camera and user tables the server answers from. The configuration lives on the window
// thread, which hands the server the applied snapshot at start-up and after every change;
// connection threads read the snapshot's tables, never the configuration itself.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include <memory>

#include "config/config_views.h"
#include "config/records.h"
#include "config/user_table.h"
#include "platform/guarded.h"

namespace kel {

class ServerTables {
public:
    // Window thread: both tables of the applied configuration, or one table of its own.
    void Set(const ServerView& applied);
    void SetCameras(const TCameraTable& cameras);
    void SetUsers(const TUserTable& users);  // no hashes: every export right follows the configuration's
    void SetAccounts(const UserAccounts& accounts);

    // Any thread.
    TCameraTable Cameras() const;
    // The same table, shared rather than copied (a poll reads only its active flags).
    CameraTablePtr CameraTable() const;
    // Camera n's PTZ address (1..16), 0 for none.
    int32_t PtzAddress(int camera) const;
    // The user table as now applied; a new one is a new pointer.
    std::shared_ptr<const TUserTable> UserTable() const;
    // The users with their hashes and export rights as now applied; a new one is a new pointer.
    std::shared_ptr<const UserAccounts> Accounts() const;
    // The user of this login and password (code page 1250 bytes, as the viewer sent them) and its
    // 16 camera rights; false when there is none. Empty texts never match. Slow: the password's
    // hash is checked. `found` (optional) receives what the check found.
    struct Found {
        int index = kNobody;
        bool weakAdministrator = false;  // refused on the network until changed at the console
        std::string credential;          // the password as stored, to find the user again cheaply
    };
    bool FindUser(std::string_view login, std::string_view password, uint8_t rights[16],
                  Found* found = nullptr) const;

private:
    mutable Mutex mutex_;
    CameraTablePtr cameras_ KEL_GUARDED_BY(mutex_) = ShareTable(TCameraTable{});
    std::shared_ptr<const UserAccounts>
        users_ KEL_GUARDED_BY(mutex_) = std::make_shared<const UserAccounts>();
    std::array<int32_t, 16> ptz_ KEL_GUARDED_BY(mutex_){};
};

}  // namespace kel
