#include "net/client_session.h"

#include <cstring>
#include <utility>

#include "config/user_table.h"
#include "platform/audit_trail.h"
#include "platform/cp1250.h"

namespace kel {

namespace {

constexpr const char* kGreeting = "KEL2.0";
constexpr const char* kNoSlot = "@nas";
constexpr const char* kAccepted = "@ufo";
constexpr const char* kRefused = "@nou";
constexpr size_t kCameraBytes = sizeof(TCameraTable);
constexpr size_t kReplyHead = 6 + 4;  // "@ufo" CR LF and the BE32 length
static_assert(kCameraBytes == 1024);

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A short text field of `chars` characters: the length byte, the text, zero padding.
void PutShortText(std::vector<uint8_t>& out, const std::string& text, size_t chars) {
    std::string bytes = ToCp1250(text).substr(0, chars);
    out.push_back(static_cast<uint8_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.insert(out.end(), chars - bytes.size(), 0);
}

}  // namespace

ClientSession::ClientSession(ByteStream& stream, ClientTable& table, const ServerLinks& links,
                             std::string peer, PeerGuard* guard)
    : stream_(stream), reader_(stream), table_(table), links_(links), peer_(std::move(peer)), guard_(guard) {}

ClientSession::~ClientSession() {
    if (slot_ != 0)
        table_.Release(slot_);
}

// A client has LoginTime from its greeting to log in, and once in, IdleTime after each command
// for the next; a slot is never held by a connection that does nothing.
void ClientSession::Run() {
    if (!Connect())
        return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point loginBy = Clock::now() + links_.LoginTime;
    std::string line;
    for (;;) {
        stream_.SetDeadline(loggedIn_ ? Clock::now() + links_.IdleTime : loginBy);
        if (reader_.ReadLine(line) != LineReader::Result::Ok)
            break;
        if (line.empty())
            continue;
        if (!Handle(MatchCommand(line)))
            break;
    }
    Disconnect();
}

// The slot is claimed before the greeting: two connections arriving together must not both see
// the last free slot.
// An address that waits out a failed login gets no new connection meanwhile, and none beyond its
// share of the slots; those turned away are told in the log as a count.
bool ClientSession::Connect() {
    slot_ = guard_ && guard_->Waiting(peer_) ? 0 : table_.Claim(peer_);
    if (slot_ == 0) {
        SendLine(kNoSlot);
        if (const int turned = guard_ ? guard_->TurnedAway(peer_) : 0; turned > 0)
            links_.Log("Odrzucono " + std::to_string(turned) + " polaczen z adresu : " + peer_ +
                       " (brak wolnego miejsca lub oczekiwanie po blednym logowaniu)");
        return false;
    }
    reply_.reserve(21);
    picture_.reset(new uint8_t[FrameBatch::kSlotBytes]);
    if (!SendLine(kGreeting)) {
        table_.Release(slot_);
        slot_ = 0;
        return false;
    }
    int skipped = 0;
    logged_ = !guard_ || guard_->LogConnection(peer_, skipped);
    if (skipped > 0)
        links_.Log("Pominieto w dzienniku " + std::to_string(skipped) + " polaczen z adresu : " + peer_);
    if (logged_) {
        links_.Debug("Established Connection with peer: " + peer_);
        links_.Log("Podlaczono Klienta Sieciowego z adresu : " + peer_);
    }
    return true;
}

void ClientSession::Disconnect() {
    if (logged_) {
        links_.Debug("Canceled connection from peer: " + peer_);
        links_.Log("Zakonczono polaczenie z adresem : " + peer_);
    }
    table_.Release(slot_);
    slot_ = 0;
}

// Before a login the time, the selection and the login are served, and the commands that need
// one are answered "@nou", as viewers expect. A client that asks and never reads holds no thread:
// every send has its deadline.
bool ClientSession::Handle(Command command) {
    switch (command) {
    case Command::GetPictures:
        return SendPictures();
    case Command::GetConfig:
        return SendConfig();
    case Command::GetTime:
        return SendTime();
    case Command::GetSignal:
        return SendSignal();
    case Command::SelectCameras:
        return ReadSelection();
    case Command::Login:
        return LogIn();
    case Command::GetFileList:
        return SendFileCount();
    case Command::None:
        break;
    }
    return false;
}

bool ClientSession::SendLine(const char* token) {
    std::string line = std::string(token) + "\r\n";
    return stream_.Write(line.data(), line.size());
}

// "@ufo" and its data in one write: a reply split over several small writes would wait on the
// client's delayed acknowledgement between them.
bool ClientSession::SendAccepted(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(kAccepted, kAccepted + 4);
    out.push_back('\r');
    out.push_back('\n');
    out.insert(out.end(), data.begin(), data.end());
    return stream_.Write(out.data(), out.size());
}

// The newest picture of every selected active camera the user may view that this client has not
// had yet, after the time and the date. Every client keeps its own count, so each gets every new
// picture once. A camera without the right is answered as one with no new picture, whatever the
// selection asks; the rights are those the user has now, so a right taken away by the
// configuration holds from the next poll.
bool ClientSession::SendPictures() {
    if (!loggedIn_)
        return SendLine(kRefused);
    // Looked up again only when a configuration brought a new user table, by the login and the
    // stored password's hash (cheap: the password is not hashed again at every poll).
    if (std::shared_ptr<const UserAccounts> users = links_.Tables.Accounts(); users != rights_from_) {
        rights_from_ = std::move(users);
        const int index = FindCredential(rights_from_->users, rights_from_->passwords, login_, credential_);
        for (int k = 0; k < 16; ++k)  // a user who is gone, or whose password changed, has no camera
            rights_[k] = index >= 0 && index < kUserCount ? rights_from_->users[index].CamRights[k] : 0;
    }
    const uint8_t* rights = rights_.data();
    // Viewers poll as fast as they can; a poll with nothing new waits a little for a picture, so
    // that they are not answered thousands of times a second with nothing.
    const CameraTablePtr followed = links_.Tables.CameraTable();
    std::array<bool, 16> wanted{};
    for (int k = 1; k <= 16; ++k)
        wanted[k - 1] = (*followed)[k - 1].Active != 0 && selection_[k - 1] != 0 && rights[k - 1] != 0;
    if (links_.Pictures) {
        // The recorder compresses a camera nobody records only while a viewer asks for it; a
        // picture left from before is no live picture and counts as sent.
        for (int k = 1; k <= 16; ++k) {
            if (!wanted[k - 1])
                continue;
            links_.Pictures->Ask(k);
            if (!links_.Pictures->Fresh(k))
                sent_[k - 1] = links_.Pictures->Added(k);
        }
        links_.Pictures->WaitForNewer(sent_, wanted, links_.QuietPoll);
    }
    const LocalTime now = links_.Time.Now();
    // The reply line and the length go in front of the payload, so the whole reply is one write.
    reply_.assign(kReplyHead, 0);
    PutShortText(reply_, LongTimeText(now), 9);
    PutShortText(reply_, ShortDateText(now), 10);
    const CameraTablePtr cameras = links_.Tables.CameraTable();
    for (int k = 1; k <= 16; ++k) {
        if ((*cameras)[k - 1].Active == 0 || selection_[k - 1] == 0 || rights[k - 1] == 0 ||
            !links_.Pictures || links_.Pictures->Added(k) == sent_[k - 1])
            continue;
        AppendPicture(k);
    }
    const uint32_t length = static_cast<uint32_t>(reply_.size() - kReplyHead);
    std::memcpy(reply_.data(), "@ufo\r\n", 6);
    for (int i = 0; i < 4; ++i)
        reply_[6 + i] = static_cast<uint8_t>(length >> (8 * (3 - i)));
    return stream_.Write(reply_.data(), reply_.size());
}

// The recorder's newest complete picture, copied under its lock, so a slot being written is never
// sent (size 0 when that slot is empty).
void ClientSession::AppendPicture(int camera) {
    FrameBatch::Slot info;
    uint32_t size = 0;
    if (links_.Pictures->ReadNewest(camera, picture_.get(), FrameBatch::kSlotBytes, info) && info.size > 0)
        size = static_cast<uint32_t>(info.size);
    sent_[camera - 1] = size > 0 ? info.serial : links_.Pictures->Added(camera);
    PutLe32(reply_, static_cast<uint32_t>(camera));
    PutLe32(reply_, size);
    reply_.insert(reply_.end(), picture_.get(), picture_.get() + size);
}

bool ClientSession::SendConfig() {
    links_.Debug("GetConfigData message recived");
    if (!loggedIn_)
        return SendLine(kRefused);
    const TCameraTable cameras = links_.Tables.Cameras();
    std::vector<uint8_t> out;
    PutBe32(out, kCameraBytes);
    const auto* bytes = reinterpret_cast<const uint8_t*>(cameras.data());
    out.insert(out.end(), bytes, bytes + kCameraBytes);
    return SendAccepted(out);
}

bool ClientSession::SendTime() {
    std::vector<uint8_t> out;
    PutShortText(out, LongTimeText(links_.Time.Now()), 9);
    return stream_.Write(out.data(), out.size());
}

bool ClientSession::SendSignal() {
    if (!loggedIn_)
        return SendLine(kRefused);
    std::vector<uint8_t> out;
    for (int k = 1; k <= 16; ++k)
        PutLe32(out, links_.CameraSignal[k].load(std::memory_order_relaxed));
    return SendAccepted(out);
}

bool ClientSession::ReadSelection() {
    return reader_.ReadExact(selection_.data(), selection_.size());
}

// A login fit for one log line: at most 32 bytes, control bytes as '?' (a hostile login must not
// break the log's lines).
static std::string LogSafeBytes(const std::string& login) {
    std::string shown = login.substr(0, 32);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return shown;
}

// A refused login leaves a client that was logged in logged in.
bool ClientSession::LogIn() {
    std::string login, password;
    if (reader_.ReadLine(login) != LineReader::Result::Ok ||
        reader_.ReadLine(password) != LineReader::Result::Ok)
        return false;
    // An account under guessing is refused without its password being tried.
    if (links_.Accounts && links_.Accounts->Locked(login))
        return RefuseLogin(login, kLockedReason);
    uint8_t rights[16];
    ServerTables::Found found;
    if (!links_.Tables.FindUser(login, password, rights, &found)) {
        if (links_.Accounts && links_.Accounts->Failed(login) && links_.Alert)
            links_.Alert(AccountLockedText(FromCp1250(LogSafeBytes(login))));
        return RefuseLogin(login);
    }
    if (found.weakAdministrator)
        return RefuseLogin(login, kWeakPasswordReason);
    if (guard_)
        guard_->LoginSucceeded(peer_);
    failedLogins_ = 0;
    loggedIn_ = true;
    if (links_.Audit)
        links_.Audit(FromCp1250(login.substr(0, 32)), AuditTrail::kLogin, "TCP " + peer_);
    login_ = login;
    credential_ = found.credential;
    rights_from_.reset();  // this user's rights are looked up at the next poll
    return SendAccepted(std::vector<uint8_t>(rights, rights + sizeof rights));
}

// A wrong login or password is answered only after a wait that grows with every failure from the
// address, and the connection ends after a few; the log names the login, never the password.
bool ClientSession::RefuseLogin(const std::string& login, const char* reason) {
    ++failedLogins_;
    if (guard_) {
        bool log = false;
        int skipped = 0;
        const std::chrono::milliseconds delay = guard_->LoginFailed(peer_, log, skipped);
        if (skipped > 0)
            links_.Log("Pominieto w dzienniku " + std::to_string(skipped) +
                       " odmow logowania z adresu : " + peer_);
        if (log) {
            const std::string shown = FromCp1250(LogSafeBytes(login));
            links_.Log("Odmowa logowania uzytkownika \"" + shown + "\"" +
                       (reason ? std::string(": ") + reason + "; adres : " : std::string(" z adresu : ")) +
                       peer_);
            if (links_.Audit)
                links_.Audit(shown, AuditTrail::kLoginRefused,
                             "TCP " + peer_ + (reason ? std::string(", ") + reason : std::string()));
        }
        if (!guard_->Pause(delay))
            return false;  // the server is stopping
    }
    return SendLine(kRefused) && failedLogins_ < kLoginAttempts;
}

bool ClientSession::SendFileCount() {
    if (!loggedIn_)
        return SendLine(kRefused);
    std::vector<uint8_t> out;
    PutLe32(out, links_.SegmentCount ? links_.SegmentCount() : 0);
    return SendAccepted(out);
}

}  // namespace kel
