#include "config/user_table.h"

#include <algorithm>

#include "platform/cp1250.h"

namespace kel {

int FindUser(const TUserTable& users, std::string_view login, std::string_view password) {
    // Records hold code page 1250 bytes; compare in that form so the match is byte for byte.
    return FindUserBytes(users, ToCp1250(login), ToCp1250(password));
}

int FindUserBytes(const TUserTable& users, std::string_view loginBytes, std::string_view passwordBytes) {
    // Only records in use count, so an empty login or password never matches a free slot.
    for (int i = 0; i < kUserCount; ++i) {
        const TUserRecord& r = users[i];
        if (r.InUse() && r.Login.EqualsBytes(loginBytes) && r.Password.EqualsBytes(passwordBytes)) {
            return i;
        }
    }
    return kNobody;
}

UserFields UserFields::From(const TUserRecord& r) {
    UserFields f;
    f.Login = r.Login.Get();
    f.Password = r.Password.Get();
    for (int k = 0; k < kCameraCount; ++k) {
        f.Cam[k] = r.CamRights[k] == 1;
    }
    f.Config = r.ConfigRight != 0;
    return f;
}

void UserFields::StoreInto(TUserRecord& r) const {
    r.Login.Set(Login);
    r.Password.Set(Password);
    for (int k = 0; k < kCameraCount; ++k) {
        r.CamRights[k] = Cam[k] ? 1 : 0;
    }
    r.ConfigRight = Config ? 1 : 0;
}

int FirstFreeUser(const TUserTable& users) {
    for (int i = 0; i < kUserCount; ++i) {
        if (!users[i].InUse()) {
            return i;
        }
    }
    return -1;
}

bool RemoveUser(TUserTable& users, int i) {
    // Record 0 is the first administrator and is never removed.
    if (i < 1 || i >= kUserCount) {
        return false;
    }
    std::copy(users.begin() + i + 1, users.end(), users.begin() + i);
    users.back() = TUserRecord{};
    return true;
}

}  // namespace kel
