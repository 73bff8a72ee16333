#pragma once
// Who uses the archive viewer: a user of the station's settings store, read and never written,
// and the cameras that user may view. The viewer asks in its own login dialog, or takes the
// console's user handed over on an inherited descriptor ("login\nhash\n": the login and the stored
// hash of the user's password, never the password, and never on the command line or in the
// environment, where other processes could read it), checked against the store.

#include <QDialog>
#include <array>
#include <string>

class QLabel;
class QLineEdit;

namespace kel {

struct ViewerUser {
    std::string login;
    std::array<bool, 16> cameras{};  // camera n at index n - 1
    bool configRight = false;
    bool exportRight = false;  // may export recordings
};

// The user of `login` and `password` in the store `registry`. False with `error` ("Nieprawidłowy
// login lub hasło." for no such user; the store's reason when it cannot be read).
bool FindViewerUser(const std::string& registry, const std::string& login, const std::string& password,
                    ViewerUser& user, std::string& error);

// The user of `login` whose password's stored hash is `hashText` (as PasswordHashText gives it)
// in the store `registry`: the console's user handed over. Errors as FindViewerUser.
bool FindHandedOverUser(const std::string& registry, const std::string& login, const std::string& hashText,
                        ViewerUser& user, std::string& error);

// The login and hash written on descriptor `fd` ("login\nhash\n", at most 256 bytes), which is
// closed after. False when it holds no such pair.
bool ReadHandedOver(int fd, std::string& login, std::string& hash);

// What the console writes there for its current user.
std::string HandOverText(const std::string& login, const std::string& hash);

class ViewerLoginDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Przeglądarka - Logowanie";

    explicit ViewerLoginDialog(QWidget* parent = nullptr);
    // The texts typed; shown again after a refusal with `error` below them.
    std::string Login() const;
    std::string Password() const;
    void ShowError(const QString& error);

    QLineEdit* ed_Login;
    QLineEdit* ed_Pass;
    QLabel* l_Error;
};

}  // namespace kel
