#include "config/user_table.h"

#include <algorithm>

#include "config/passwords.h"
#include "platform/cp1250.h"
#include "platform/sha256.h"

namespace kel {

int FindUser(const TUserTable& users, const TPasswordTable& passwords, std::string_view login,
             std::string_view password) {
    // Records hold code page 1250 bytes; compare in that form so the match is byte for byte.
    return FindUserBytes(users, passwords, ToCp1250(login), ToCp1250(password));
}

int FindUserBytes(const TUserTable& users, const TPasswordTable& passwords, std::string_view loginBytes,
                  std::string_view passwordBytes) {
    // Only records in use count, so an empty login or password never matches a free slot.
    if (loginBytes.empty() || passwordBytes.empty())
        return kNobody;
    bool checked = false;
    for (int i = 0; i < kUserCount; ++i) {
        const TUserRecord& r = users[i];
        if (!r.InUse() || !r.Login.EqualsBytes(loginBytes))
            continue;
        checked = true;
        if (PasswordMatches(r, passwords[i], passwordBytes))
            return i;
    }
    // An unknown login costs a guesser as long as a known one: it cannot tell which exist.
    if (!checked) {
        static const TPasswordRecord decoy = HashPassword("-", false);
        VerifyPassword(decoy, passwordBytes);
    }
    return kNobody;
}

std::string Credential(const TUserRecord& user, const TPasswordRecord& hash) {
    if (!user.InUse())
        return {};
    if (IsMarkerOf(user.Password, hash))
        return PasswordHashText(hash);
    return "plain$" + Sha256Hex(std::string(user.Password.chars, std::min<size_t>(user.Password.len, 15)));
}

int FindCredential(const TUserTable& users, const TPasswordTable& passwords, std::string_view loginBytes,
                   std::string_view credential) {
    if (loginBytes.empty() || credential.empty())
        return kNobody;
    for (int i = 0; i < kUserCount; ++i)
        if (users[i].InUse() && users[i].Login.EqualsBytes(loginBytes) &&
            Credential(users[i], passwords[i]) == credential)
            return i;
    return kNobody;
}

bool WeakAdministrator(const TUserRecord& user, const TPasswordRecord& hash) {
    return user.InUse() && user.ConfigRight != 0 && WeakPasswordOf(user, hash);
}

UserFields UserFields::From(const UserAccounts& accounts, int i) {
    UserFields f = From(accounts.users[i]);
    f.Export = accounts.exports[i] != 0;
    return f;
}

UserFields UserFields::From(const TUserRecord& r) {
    UserFields f;
    f.Login = r.Login.Get();
    f.HasPassword = kel::HasPassword(r);
    for (int k = 0; k < kCameraCount; ++k) {
        f.Cam[k] = r.CamRights[k] == 1;
    }
    f.Config = r.ConfigRight != 0;
    return f;
}

void UserFields::StoreInto(UserAccounts& accounts, int i) const {
    TUserRecord& r = accounts.users[i];
    r.Login.Set(Login);
    if (!Password.empty())
        SetPassword(r, accounts.passwords[i], Password);
    for (int k = 0; k < kCameraCount; ++k) {
        r.CamRights[k] = Cam[k] ? 1 : 0;
    }
    r.ConfigRight = Config ? 1 : 0;
    accounts.exports[i] = Export ? 1 : 0;
}

void UserFields::StoreInto(TUserRecord& r) const {
    r.Login.Set(Login);
    r.Password.Set(Password);
    for (int k = 0; k < kCameraCount; ++k)
        r.CamRights[k] = Cam[k] ? 1 : 0;
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

bool RemoveUser(UserAccounts& accounts, int i) {
    // Record 0 is the first administrator and is never removed.
    if (i < 1 || i >= kUserCount) {
        return false;
    }
    auto shift = [i](auto& table, auto empty) {
        std::copy(table.begin() + i + 1, table.end(), table.begin() + i);
        table.back() = empty;
    };
    shift(accounts.users, TUserRecord{});
    shift(accounts.passwords, TPasswordRecord{});
    shift(accounts.exports, uint8_t{0});
    return true;
}

}  // namespace kel
