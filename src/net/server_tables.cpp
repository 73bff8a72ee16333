#include "net/server_tables.h"

#include <cstring>

#include "config/user_table.h"

namespace kel {

void ServerTables::SetCameras(const TCameraTable& cameras) {
    std::lock_guard<std::mutex> lock(mutex_);
    cameras_ = cameras;
}

void ServerTables::SetUsers(const TUserTable& users) {
    std::lock_guard<std::mutex> lock(mutex_);
    users_ = users;
}

TCameraTable ServerTables::Cameras() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cameras_;
}

bool ServerTables::FindUser(std::string_view login, std::string_view password, uint8_t rights[16]) const {
    if (login.empty() || password.empty())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    int index = kel::FindUser(users_, login, password);
    if (index < 0 || index >= kUserCount)
        return false;
    std::memcpy(rights, users_[index].CamRights, 16);
    return true;
}

}  // namespace kel
