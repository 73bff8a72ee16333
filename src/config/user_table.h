#pragma once
// Operations on the table of 256 user records: the lookup used at login and by remote viewers,
// and the edits of the user administration dialog, which works on its own copy of the tables.
// A password is checked against its hash (config/passwords.h), which is slow by design; who a
// logged-in user is, is checked again cheaply by the login and the stored hash (Credential).

#include <string>
#include <string_view>

#include "config/records.h"

namespace kel {

// The users' records and, index for index, their password hashes and export rights.
struct UserAccounts {
    TUserTable users{};
    TPasswordTable passwords{};
    TExportRights exports{};
};

// Index 0..255 of the first record in use whose login equals the given text byte for byte (case
// matters) and whose password is the one given; kNobody (256) when there is none. Texts are UTF-8.
int FindUser(const TUserTable& users, const TPasswordTable& passwords, std::string_view login,
             std::string_view password);
// The same for a login and password in code page 1250 bytes, as a remote viewer sends them: the
// login compared with the stored bytes as they are, the password's bytes hashed as they are, never
// through a conversion that could make two different bytes equal.
int FindUserBytes(const TUserTable& users, const TPasswordTable& passwords, std::string_view loginBytes,
                  std::string_view passwordBytes);
// What identifies a user's password as now stored, without the password: its hash's text, or for
// a plain password not yet hashed its marker-less bytes' SHA-256. Empty for a free record.
std::string Credential(const TUserRecord& user, const TPasswordRecord& hash);
// The first record in use with this login (code page 1250 bytes) whose Credential is `credential`;
// kNobody when there is none (a removed user, a changed password). Cheap.
int FindCredential(const TUserTable& users, const TPasswordTable& passwords, std::string_view loginBytes,
                   std::string_view credential);
// A user with the configuration right whose password is the default one or shorter than 8
// characters: such an account is refused on the network until it is changed at the console.
bool WeakAdministrator(const TUserRecord& user, const TPasswordRecord& hash);

// What the administration dialog's fields hold for one record. The password is never read back:
// the fields show only whether one is set, and a password typed is a new one.
struct UserFields {
    std::string Login;     // UTF-8
    std::string Password;  // UTF-8: a new password; empty keeps the one set
    bool HasPassword = false;
    bool Cam[16] = {};    // ticked exactly when the right byte is 1
    bool Config = false;  // ticked when ConfigRight is non-zero
    bool Export = false;  // ticked when the export right is non-zero

    static UserFields From(const UserAccounts& accounts, int i);
    static UserFields From(const TUserRecord& r);  // the export right unknown: off
    // Login cut to 20 characters; a new password hashed; rights 1 or 0.
    void StoreInto(UserAccounts& accounts, int i) const;
    // The record alone, as an older station kept it: the password in plain, cut to 15 characters
    // (hashed at the next load of a store holding it, or by the import of a file holding it).
    void StoreInto(TUserRecord& r) const;
};

// Index of the first free record scanning from 0; -1 when all 256 are in use.
int FirstFreeUser(const TUserTable& users);
// Removes record i (never record 0): later records (with their hashes and rights) move one place
// towards 0, record 255 becomes empty. False (and no change) for i == 0 or outside 1..255.
bool RemoveUser(UserAccounts& accounts, int i);

}  // namespace kel
