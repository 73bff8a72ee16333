#pragma once
// Operations on the table of 256 user records: the lookup used at login and by remote viewers,
// and the edits of the user administration dialog, which works on its own copy of the table.

#include <string>
#include <string_view>

#include "config/records.h"

namespace kel {

// Index 0..255 of the first record in use whose login and password equal the given texts byte for
// byte (case matters); kNobody (256) when there is none. Texts are UTF-8.
int FindUser(const TUserTable& users, std::string_view login, std::string_view password);
// The same for a login and password in code page 1250 bytes, as a remote viewer sends them:
// compared with the stored bytes as they are, never through a conversion that could make two
// different bytes equal.
int FindUserBytes(const TUserTable& users, std::string_view loginBytes, std::string_view passwordBytes);

// What the administration dialog's fields hold for one record.
struct UserFields {
    std::string Login;     // UTF-8
    std::string Password;  // UTF-8
    bool Cam[16] = {};     // ticked exactly when the right byte is 1
    bool Config = false;   // ticked when ConfigRight is non-zero

    static UserFields From(const TUserRecord& r);
    // Login cut to 20 characters, password to 15; rights 1 or 0.
    void StoreInto(TUserRecord& r) const;
};

// Index of the first free record scanning from 0; -1 when all 256 are in use.
int FirstFreeUser(const TUserTable& users);
// Removes record i (never record 0): later records move one place towards 0, record 255 becomes
// empty. False (and no change) for i == 0 or outside 1..255.
bool RemoveUser(TUserTable& users, int i);

}  // namespace kel
