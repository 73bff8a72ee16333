#include "net/server_tables.h"

#include <cstring>

#include "config/user_table.h"
#include "platform/guarded.h"

namespace kel {

void ServerTables::Set(const ServerView& applied) {
    if (!applied.Valid())
        return;
    MutexLock lock(mutex_);
    cameras_ = applied.Cameras();
    users_ = applied.Users();
    ptz_ = applied.PtzAddresses();
}

int32_t ServerTables::PtzAddress(int camera) const {
    MutexLock lock(mutex_);
    return camera >= 1 && camera <= kCameraCount ? ptz_[camera - 1] : 0;
}

void ServerTables::SetCameras(const TCameraTable& cameras) {
    MutexLock lock(mutex_);
    cameras_ = ShareTable(cameras);
}

void ServerTables::SetUsers(const TUserTable& users) {
    MutexLock lock(mutex_);
    users_ = std::make_shared<const TUserTable>(users);
}

TCameraTable ServerTables::Cameras() const {
    MutexLock lock(mutex_);
    return *cameras_;
}

CameraTablePtr ServerTables::CameraTable() const {
    MutexLock lock(mutex_);
    return cameras_;
}

std::shared_ptr<const TUserTable> ServerTables::UserTable() const {
    MutexLock lock(mutex_);
    return users_;
}

bool ServerTables::FindUser(std::string_view login, std::string_view password, uint8_t rights[16]) const {
    if (login.empty() || password.empty())
        return false;
    std::shared_ptr<const TUserTable> users;
    {
        MutexLock lock(mutex_);
        users = users_;
    }
    int index = kel::FindUserBytes(*users, login, password);
    if (index < 0 || index >= kUserCount)
        return false;
    std::memcpy(rights, (*users)[index].CamRights, 16);
    return true;
}

}  // namespace kel
