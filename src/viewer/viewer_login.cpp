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
#include "config/user_table.h"
#include "platform/registry_store.h"

namespace kel {

namespace {
constexpr const char* kBadLogin = "Nieprawidłowy login lub hasło.";
constexpr size_t kLongestHandOver = 256;
}  // namespace

bool FindViewerUser(const std::string& registry, const std::string& login, const std::string& password,
                    ViewerUser& user, std::string& error) {
    std::error_code ec;
    RegistryStore store;
    RegValue v;
    TUserTable users{};
    // The store is only read: a missing one is never made here.
    if (!std::filesystem::is_regular_file(registry, ec) || !store.Open(registry) ||
        !store.ReadValue(TConfig::kKey, "Users", v) || v.data.size() != sizeof users) {
        error = "Nie mozna odczytac uzytkownikow z " + registry;
        return false;
    }
    std::memcpy(users.data(), v.data.data(), sizeof users);
    const int index = FindUser(users, login, password);
    if (index < 0 || index >= kUserCount) {
        error = kBadLogin;
        return false;
    }
    user.login = login;
    for (int n = 0; n < 16; ++n)
        user.cameras[n] = users[index].CamRights[n] != 0;
    user.configRight = users[index].ConfigRight != 0;
    return true;
}

bool ReadHandedOver(int fd, std::string& login, std::string& password) {
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
    password = text.substr(first + 1, second - first - 1);
    return !login.empty() && !password.empty();
}

std::string HandOverText(const std::string& login, const std::string& password) {
    return login + "\n" + password + "\n";
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
