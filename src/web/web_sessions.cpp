#include "web/web_sessions.h"

#include <openssl/rand.h>

#include <algorithm>
#include <vector>

#include "config/user_table.h"
#include "platform/cp1250.h"

namespace kel {

namespace {

WebUser UserOf(const UserAccounts& users, int index, const std::string& login) {
    const TUserRecord& record = users.users[index];
    WebUser user;
    user.login = login;
    for (int k = 0; k < kCameraCount; ++k)
        user.cameras[k] = record.CamRights[k] == 1;
    user.configure = record.ConfigRight != 0;
    user.exports = users.exports[index] != 0;
    user.weakAdministrator = WeakAdministrator(record, users.passwords[index]);
    return user;
}

}  // namespace

std::optional<WebUser> WebSessions::Find(const UserAccounts& users, const std::string& login,
                                         const std::string& password, std::string* credential) {
    // Users are stored in code page 1250: a text it cannot hold would be compared as another one.
    if (FromCp1250(ToCp1250(login)) != login || FromCp1250(ToCp1250(password)) != password)
        return std::nullopt;
    const int index = FindUser(users.users, users.passwords, login, password);
    if (index < 0 || index >= kUserCount)
        return std::nullopt;
    if (credential)
        *credential = Credential(users.users[index], users.passwords[index]);
    return UserOf(users, index, login);
}

std::string WebSessions::Open(const std::string& login, const std::string& credential) {
    std::string token = RandomToken();
    MutexLock lock(mutex_);
    if (sessions_.size() >= kMaxSessions) {
        auto stalest = std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
            return a.second.used < b.second.used;
        });
        sessions_.erase(stalest);
    }
    sessions_[token] = Session{login, credential, now_()};
    return token;
}

std::optional<WebUser> WebSessions::Check(const std::string& token, const UserAccounts& users) {
    if (token.empty())
        return std::nullopt;
    MutexLock lock(mutex_);
    auto it = sessions_.find(token);
    if (it == sessions_.end())
        return std::nullopt;
    const Clock::time_point now = now_();
    std::optional<WebUser> user;
    if (now - it->second.used < kIdle) {
        const int index =
            FindCredential(users.users, users.passwords, ToCp1250(it->second.login), it->second.credential);
        if (index >= 0 && index < kUserCount)
            user = UserOf(users, index, it->second.login);
    }
    if (!user) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.used = now;
    return user;
}

void WebSessions::Close(const std::string& token) {
    MutexLock lock(mutex_);
    sessions_.erase(token);
}

size_t WebSessions::Count() const {
    MutexLock lock(mutex_);
    return sessions_.size();
}

std::string RandomToken(size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1)
        return {};  // no session can be made without a random source
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes * 2);
    for (unsigned char b : raw) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

}  // namespace kel
