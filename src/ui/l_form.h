#pragma once
// The login dialog: a login and a password, accept or cancel. It opens empty every time.

#include <QDialog>
#include <string>

#include "core/station_windows.h"

class QLineEdit;
class QKeyEvent;

namespace kel {

class TEzRgnBtn;

class TLForm : public QDialog, public LoginWindow {
    Q_OBJECT

public:
    explicit TLForm(QWidget* parent = nullptr);

    // Shows the dialog modally. On accept returns true with the two texts as UTF-8; on cancel
    // returns false and leaves `login` and `password` untouched.
    bool Execute(std::string& login, std::string& password);
    bool RunLoginDialog(std::string& login, std::string& password) override {
        return Execute(login, password);
    }
    bool RunNewPasswordDialog(const std::string& login, std::string& first, std::string& second) override;

    QLineEdit* ed_Login;
    QLineEdit* ed_Pass;
    TEzRgnBtn* EzRgnBtn1;  // right: accept
    TEzRgnBtn* EzRgnBtn2;  // left: cancel

    void EzRgnBtn1Click() { accept(); }
    void EzRgnBtn2Click() { reject(); }

protected:
    // Enter accepts from either field or the dialog itself; QDialog already cancels on Escape.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void BuildLayout();
};

}  // namespace kel
