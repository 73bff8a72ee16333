#pragma once
// The server's copies of the camera and user tables. The configuration lives on the window thread,
// which hands the server a copy at start-up and after every change; connection threads read the
// copies under the lock, never the configuration itself.

#include <cstdint>
#include <mutex>
#include <string_view>

#include "config/records.h"

namespace kel {

class ServerTables {
public:
    // Window thread.
    void SetCameras(const TCameraTable& cameras);
    void SetUsers(const TUserTable& users);

    // Any thread.
    TCameraTable Cameras() const;
    // The user of this login and password (UTF-8) and its 16 camera rights; false when there is
    // none. Empty texts never match.
    bool FindUser(std::string_view login, std::string_view password, uint8_t rights[16]) const;

private:
    mutable std::mutex mutex_;
    TCameraTable cameras_{};  // Guarded by mutex_
    TUserTable users_{};      // Guarded by mutex_
};

}  // namespace kel
