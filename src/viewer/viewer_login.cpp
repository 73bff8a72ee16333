#include "viewer/viewer_login.h"

#include <unistd.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>
#include <filesystem>

#include "config/config.h"
#include "config/records.h"
#include "config/registry_values.h"
#include "config/user_table.h"
#include "platform/cp1250.h"
#include "platform/registry_store.h"

namespace kel {

namespace {
constexpr const char* kBadLogin = "Nieprawidłowy login lub hasło.";
constexpr size_t kLongestHandOver = 256;
}  // namespace

namespace {

// The users of the store with their hashes and export rights (a store without them: as the
// configuration right). False with `error` when they cannot be read.
bool ReadAccounts(const std::string& registry, UserAccounts& accounts, std::string& error) {
    std::error_code ec;
    RegistryStore store;
    RegValue v;
    // The store is only read: a missing one is never made here.
    if (!std::filesystem::is_regular_file(registry, ec) || !store.Open(registry) ||
        !store.ReadValue(TConfig::kKey, "Users", v) || v.data.size() != sizeof accounts.users) {
        error = "Nie mozna odczytac uzytkownikow z " + registry;
        return false;
    }
    std::memcpy(accounts.users.data(), v.data.data(), sizeof accounts.users);
    RegValue hashes, exports;
    const bool hashed = store.ReadValue(TConfig::kKey, "PassHashes", hashes);
    if (hashed && !ReadBinary(&hashes, {reinterpret_cast<uint8_t*>(accounts.passwords.data()),
                                        sizeof accounts.passwords})) {
        error = "Nie mozna odczytac skrotow hasel z " + registry;
        return false;
    }
    if (store.ReadValue(TConfig::kKey, "ExportRights", exports) &&
        ReadBinary(&exports, {accounts.exports.data(), accounts.exports.size()}))
        return true;
    for (int i = 0; i < kUserCount; ++i)
        accounts.exports[i] = accounts.users[i].ConfigRight ? 1 : 0;
    return true;
}

void Fill(const UserAccounts& accounts, int index, const std::string& login, ViewerUser& user) {
    user.login = login;
    for (int n = 0; n < 16; ++n)
        user.cameras[n] = accounts.users[index].CamRights[n] != 0;
    user.configRight = accounts.users[index].ConfigRight != 0;
    user.exportRight = accounts.exports[index] != 0;
}

}  // namespace

bool FindViewerUser(const std::string& registry, const std::string& login, const std::string& password,
                    ViewerUser& user, std::string& error) {
    UserAccounts accounts;
    if (!ReadAccounts(registry, accounts, error))
        return false;
    const int index = FindUser(accounts.users, accounts.passwords, login, password);
    if (index < 0 || index >= kUserCount) {
        error = kBadLogin;
        return false;
    }
    Fill(accounts, index, login, user);
    return true;
}

bool FindHandedOverUser(const std::string& registry, const std::string& login, const std::string& hashText,
                        ViewerUser& user, std::string& error) {
    UserAccounts accounts;
    if (!ReadAccounts(registry, accounts, error))
        return false;
    // Only a hashed password is handed over: a hash text never stands for a plain password.
    const int index = hashText.rfind("pbkdf2-sha256$", 0) == 0
                          ? FindCredential(accounts.users, accounts.passwords, ToCp1250(login), hashText)
                          : kNobody;
    if (index < 0 || index >= kUserCount) {
        error = kBadLogin;
        return false;
    }
    Fill(accounts, index, login, user);
    return true;
}

bool ReadHandedOver(int fd, std::string& login, std::string& hash) {
    std::string text;
    char buffer[kLongestHandOver + 1];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > kLongestHandOver)
            break;
    }
    ::close(fd);
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (text.size() > kLongestHandOver || second == std::string::npos || second + 1 != text.size())
        return false;
    login = text.substr(0, first);
    hash = text.substr(first + 1, second - first - 1);
    return !login.empty() && !hash.empty();
}

std::string HandOverText(const std::string& login, const std::string& hash) {
    return login + "\n" + hash + "\n";
}

ViewerLoginDialog::ViewerLoginDialog(QWidget* parent)
    : QDialog(parent), ed_Login(new QLineEdit(this)), ed_Pass(new QLineEdit(this)),
      l_Error(new QLabel(this)) {
    setWindowTitle(QString::fromUtf8(kTitle));
    ed_Login->setObjectName("ed_Login");
    ed_Pass->setObjectName("ed_Pass");
    ed_Pass->setEchoMode(QLineEdit::Password);
    l_Error->setStyleSheet("color: #c03030");
    l_Error->hide();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Login:"), ed_Login);
    form->addRow(QStringLiteral("Hasło:"), ed_Pass);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Zaloguj"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Anuluj"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Zaloguj się jako użytkownik stacji."), this));
    layout->addLayout(form);
    layout->addWidget(l_Error);
    layout->addWidget(buttons);
    ed_Login->setFocus();
}

std::string ViewerLoginDialog::Login() const {
    return ed_Login->text().toStdString();
}

std::string ViewerLoginDialog::Password() const {
    return ed_Pass->text().toStdString();
}

void ViewerLoginDialog::ShowError(const QString& error) {
    l_Error->setText(error);
    l_Error->show();
    ed_Pass->clear();
    ed_Pass->setFocus();
}

}  // namespace kel
