#pragma once
// One remote viewer's connection, from the greeting to the release of its slot, run on the
// connection's own thread. The protocol:
//
//   client -> server  LF-ended lines (code page 1250, at most 16384 bytes); raw bytes after @svc
//   server -> client  CR LF-ended reply lines ("KEL2.0", "@ufo", "@nou", "@nas"), each directly
//                     followed by its raw bytes; @gst answers with raw bytes only
//
// A line that names no command, a line too long and a peer that is gone end the session.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/byte_stream.h"
#include "net/client_table.h"
#include "net/command.h"
#include "net/line_reader.h"
#include "net/peer_guard.h"
#include "net/server_links.h"

namespace kel {

class ClientSession {
public:
    // A login failing this many times in a row on one connection closes it.
    static constexpr int kLoginAttempts = 3;

    // `guard` (optional) keeps the log and the logins of each address in bounds.
    ClientSession(ByteStream& stream, ClientTable& table, const ServerLinks& links, std::string peer,
                  PeerGuard* guard = nullptr);
    // Releases the slot if the session ended by an exception.
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Runs the connection to its end; the slot is free again when this returns.
    void Run();

private:
    bool Connect();
    void Disconnect();
    // False when the session must end.
    bool Handle(Command command);
    bool SendLine(const char* token);
    bool SendAccepted(const std::vector<uint8_t>& data);
    bool SendPictures();
    bool SendConfig();
    bool SendTime();
    bool SendSignal();
    bool ReadSelection();
    bool LogIn();
    // `reason`: why a login with the right password is refused (logged with it); empty: a wrong
    // login or password.
    bool RefuseLogin(const std::string& login, const char* reason = nullptr);
    bool SendFileCount();
    void AppendPicture(int camera);

    ByteStream& stream_;
    LineReader reader_;
    ClientTable& table_;
    const ServerLinks& links_;
    const std::string peer_;
    PeerGuard* const guard_;

    // This connection's thread only: the slot's state.
    int slot_ = 0;
    bool loggedIn_ = false;
    bool logged_ = true;  // this connection's lines go to the log
    int failedLogins_ = 0;
    std::string login_;       // the logged-in user's, as sent
    std::string credential_;  // and the password as stored then (user_table.h Credential)
    std::shared_ptr<const UserAccounts> rights_from_;  // the user table `rights_` were looked up in
    std::array<uint8_t, 16> rights_{};
    std::array<uint8_t, 16> selection_{};
    std::array<uint64_t, 16> sent_{};     // serial of the last picture sent, per camera
    std::vector<uint8_t> reply_;          // the @gcs payload being built
    std::unique_ptr<uint8_t[]> picture_;  // one picture copied out of the recorder
};

}  // namespace kel
