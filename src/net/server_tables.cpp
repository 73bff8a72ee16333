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
    users_ = std::make_shared<const UserAccounts>(applied.Accounts());
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
    auto accounts = std::make_shared<UserAccounts>();
    accounts->users = users;
    for (int i = 0; i < kUserCount; ++i)
        accounts->exports[i] = users[i].ConfigRight ? 1 : 0;
    MutexLock lock(mutex_);
    users_ = std::move(accounts);
}

void ServerTables::SetAccounts(const UserAccounts& accounts) {
    auto copy = std::make_shared<const UserAccounts>(accounts);
    MutexLock lock(mutex_);
    users_ = std::move(copy);
}

std::shared_ptr<const UserAccounts> ServerTables::Accounts() const {
    MutexLock lock(mutex_);
    return users_;
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
    return std::shared_ptr<const TUserTable>(users_, &users_->users);
}

bool ServerTables::FindUser(std::string_view login, std::string_view password, uint8_t rights[16],
                            Found* found) const {
    if (login.empty() || password.empty())
        return false;
    const std::shared_ptr<const UserAccounts> accounts = Accounts();
    const int index = kel::FindUserBytes(accounts->users, accounts->passwords, login, password);
    if (index < 0 || index >= kUserCount)
        return false;
    const TUserRecord& user = accounts->users[index];
    std::memcpy(rights, user.CamRights, 16);
    if (found) {
        found->index = index;
        found->weakAdministrator = WeakAdministrator(user, accounts->passwords[index]);
        found->credential = Credential(user, accounts->passwords[index]);
    }
    return true;
}

}  // namespace kel
