#pragma once
// The web view's logged-in browsers. A login makes a session: a random token (the cookie) that
// names the login and the stored hash of the password it was made with (never the password).
// Every request looks the user up again in the user table as applied now, by the login and that
// hash, which is cheap: a removed user or a changed password ends the session at once and the
// rights are always the current ones. A session unused for kIdle ends too.
//
// Any thread.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "config/records.h"
#include "config/user_table.h"
#include "platform/guarded.h"

namespace kel {

struct WebUser {
    std::string login;                         // UTF-8
    std::array<bool, kCameraCount> cameras{};  // camera n at n - 1
    bool configure = false;                    // may open the configuration, and steer cameras
    bool exports = false;                      // may export recordings
    bool weakAdministrator = false;            // refused until the password is changed at the console
    bool May(int camera) const { return camera >= 1 && camera <= kCameraCount && cameras[camera - 1]; }
};

class WebSessions {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::hours kIdle{12};
    static constexpr size_t kMaxSessions = 1000;

    // The user of `login`/`password` (UTF-8) in `users`; nullopt when there is none. Slow: the
    // password's hash is checked. `credential` receives what identifies the password as stored.
    static std::optional<WebUser> Find(const UserAccounts& users, const std::string& login,
                                       const std::string& password, std::string* credential = nullptr);

    // A new session for a login that was just checked, with its password as stored then: its
    // token (64 hex digits). The stalest session goes when kMaxSessions are open.
    std::string Open(const std::string& login, const std::string& credential);
    // The user of the session `token` as `users` now say; nullopt when the token names no session,
    // it has been idle too long or its login no longer holds (the session then ends).
    std::optional<WebUser> Check(const std::string& token, const UserAccounts& users);
    void Close(const std::string& token);
    size_t Count() const;

    // For tests: the clock sessions age by.
    void SetNow(std::function<Clock::time_point()> now) { now_ = std::move(now); }

private:
    struct Session {
        std::string login, credential;
        Clock::time_point used;
    };
    mutable Mutex mutex_;
    std::map<std::string, Session> sessions_ KEL_GUARDED_BY(mutex_);
    std::function<Clock::time_point()> now_ = Clock::now;
};

// A random token of `bytes` bytes as hex digits (from the system's random source).
std::string RandomToken(size_t bytes = 32);

}  // namespace kel
