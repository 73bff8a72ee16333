#include "config/user_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace kel {
namespace {

// Records written as an older station kept them (plain passwords, no hashes yet).
const TPasswordTable kNoHashes{};

void PutUser(TUserTable& users, int i, std::string_view login, std::string_view password) {
    UserFields f;
    f.Login = login;
    f.Password = password;
    f.StoreInto(users[i]);
}

std::unique_ptr<TUserTable> UsersFrom(std::initializer_list<const char*> logins) {
    auto users = std::make_unique<TUserTable>();
    int i = 0;
    for (const char* login : logins) {
        PutUser(*users, i++, login, "qxv");
    }
    return users;
}

TEST(FindUserTest, MatchesTheFirstRecordInUseExactly) {
    auto users = UsersFrom({"kel", "a", "b", "twin", "c", "twin"});
    PutUser(*users, 9, "Łucja", "żółć");
    EXPECT_EQ(FindUser(*users, kNoHashes, "kel", "qxv"), 0);
    EXPECT_EQ(FindUser(*users, kNoHashes, "KEL", "qxv"), kNobody);
    EXPECT_EQ(FindUser(*users, kNoHashes, "Łucja", "żółć"), 9);
    EXPECT_EQ(FindUser(*users, kNoHashes, "twin", "qxv"), 3);
    // Free records hold empty texts; an empty pair must not log anybody in.
    EXPECT_EQ(FindUser(*users, kNoHashes, "", ""), kNobody);

    UserFields f = UserFields::From((*users)[3]);
    f.Password.clear();
    f.StoreInto((*users)[3]);
    EXPECT_EQ(FindUser(*users, kNoHashes, "twin", "qxv"), 5);
    EXPECT_EQ(FirstFreeUser(*users), 3);
}

TEST(FindUserTest, ComparesOnlyTheUsedLengthOfAShortenedPassword) {
    auto users = std::make_unique<TUserTable>();
    PutUser(*users, 0, "kel", "longpassword");
    PutUser(*users, 0, "kel", "abc");
    EXPECT_EQ((*users)[0].Password.chars[4], 'p');  // carried along past the length
    EXPECT_EQ(FindUser(*users, kNoHashes, "kel", "abc"), 0);
    EXPECT_EQ(FindUser(*users, kNoHashes, "kel", "abcgpassword"), kNobody);
}

TEST(UserFieldsTest, CutsTextsAndStoresRightsAsOneOrZero) {
    TUserRecord r{};
    r.CamRights[0] = 1;
    r.CamRights[1] = 2;  // a right for the renderer, but not a ticked box
    r.ConfigRight = 5;
    UserFields f = UserFields::From(r);
    EXPECT_TRUE(f.Cam[0]);
    EXPECT_FALSE(f.Cam[1]);
    EXPECT_TRUE(f.Config);

    f.Login = "abcdefghijklmnopqrstuvwxy";
    f.Password = "ąąąąąąąąąąąąąąąąąą";  // 18 characters, 36 bytes of UTF-8
    f.StoreInto(r);
    EXPECT_EQ(r.Login.Get(), "abcdefghijklmnopqrst");
    EXPECT_EQ(r.Password.len, 15);
    EXPECT_EQ(r.CamRights[1], 0);
    EXPECT_EQ(r.ConfigRight, 1);
}

TEST(UserTableTest, RemoveUserShiftsLaterRecordsAndNeverTouchesRecordZero) {
    auto accounts = std::make_unique<UserAccounts>();
    accounts->users = *UsersFrom({"kel", "a", "b", "c", "d"});
    for (int i = 0; i < 5; ++i) {
        accounts->passwords[i].Iterations = static_cast<uint32_t>(i + 1);  // tells them apart
        accounts->exports[i] = static_cast<uint8_t>(i % 2);
    }
    TUserTable& users = accounts->users;
    const TUserTable before = users;
    EXPECT_FALSE(RemoveUser(*accounts, 0));
    EXPECT_FALSE(RemoveUser(*accounts, kUserCount));
    EXPECT_EQ(std::memcmp(&users, &before, sizeof(TUserTable)), 0);

    ASSERT_TRUE(RemoveUser(*accounts, 3));
    EXPECT_EQ(users[3].Login.Get(), "d");
    // The hash and the export right move with their record.
    EXPECT_EQ(accounts->passwords[3].Iterations, 5u);
    EXPECT_EQ(accounts->exports[3], 0);
    EXPECT_EQ(accounts->passwords[4].Iterations, 0u);
    EXPECT_EQ(FirstFreeUser(users), 4);

    for (int i = 0; i < kUserCount; ++i) {
        PutUser(users, i, "u", "p");
    }
    EXPECT_EQ(FirstFreeUser(users), -1);
    ASSERT_TRUE(RemoveUser(*accounts, 255));
    EXPECT_EQ(FirstFreeUser(users), 255);
}

}  // namespace
}  // namespace kel
