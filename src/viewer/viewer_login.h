#pragma once
// Who uses the archive viewer: a user of the station's settings store, read and never written,
// and the cameras that user may view. The viewer asks in its own login dialog, or takes the
// console's user handed over on an inherited descriptor ("login\npassword\n", never on the command
// line or in the environment, where other processes could read it).

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
};

// The user of `login` and `password` in the store `registry`. False with `error` ("Nieprawidłowy
// login lub hasło." for no such user; the store's reason when it cannot be read).
bool FindViewerUser(const std::string& registry, const std::string& login, const std::string& password,
                    ViewerUser& user, std::string& error);

// The login and password written on descriptor `fd` ("login\npassword\n", at most 256 bytes),
// which is closed after. False when it holds no such pair.
bool ReadHandedOver(int fd, std::string& login, std::string& password);

// What the console writes there for its current user.
std::string HandOverText(const std::string& login, const std::string& password);

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
