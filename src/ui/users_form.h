#pragma once
// The user administration dialog. It edits a private copy of the 256 user records with their
// password hashes and export rights; the caller hands them in with SetAccounts and takes
// Accounts() back only when the dialog was accepted. A password is never shown: the list says
// only whether one is set, and a password typed (twice) is a new one, hashed at once.
//
// The list shows record i in grid row i + 1 (row 0 is the header row "Login" / "Password"), with
// free records as empty rows, and it is always rebuilt that way: a click on row r selects record
// r - 1, so the rows seen must never drift from that numbering, not even after a removal.
//
// Window thread only.

#include <QDialog>
#include <array>
#include <string>

#include "config/records.h"
#include "config/user_table.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kel {

class MessageBox;

class TUsersForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kColumnWidth = 100;
    static constexpr int kRowHeight = 18;
    static constexpr const char* kNoFreeRecordText =
        "Brak wolnego miejsca na nowego użytkownika (najwyżej 256).";
    static constexpr const char* kPasswordsDifferText =
        "Hasła się różnią: wpisz nowe hasło dwa razy tak samo. Nic nie zmieniono.";
    static constexpr const char* kNoPasswordText = "Nowy użytkownik musi mieć hasło, wpisane dwa razy.";
    static constexpr const char* kPasswordSetText = "ustawione";

    // Boxes go through `boxes`, which must outlive the dialog.
    explicit TUsersForm(MessageBox& boxes, QWidget* parent = nullptr);

    // Copies the tables in and shows them as FormShow does.
    void SetAccounts(const UserAccounts& accounts);
    // The users alone (no hashes yet; every export right as the configuration right).
    void SetUsers(const TUserTable& users);
    const UserAccounts& Accounts() const { return accounts_; }
    const TUserTable& Users() const { return accounts_.users; }
    int Selected() const { return selected_; }

    // The text of a cell as the operator sees it; grid row 0 is the header row.
    QString CellText(int gridRow, int col) const;
    // Grid rows including the header row.
    int GridRowCount() const;

    // Event handlers, public so the configuration dialog and tests can drive them.
    void FormShow();
    void StringGrid1Click(int gridRow);
    void Button1Click();  // Zastosuj
    void Button2Click();  // Anuluj
    void Button3Click();  // Zmień
    void Button4Click();  // Nowy
    void Button5Click();  // Usuń

    QTableWidget* StringGrid1;
    QLineEdit* ed_Login;
    QLineEdit* ed_Pass;
    QLineEdit* ed_Pass2;                              // the new password again
    std::array<QCheckBox*, kCameraCount> CheckBox{};  // CheckBox[0] is "CheckBox1"
    QCheckBox* cb_Config;
    QCheckBox* cb_Export;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void CreateGrid();
    void CreateControls();
    void BuildLayout();
    void ConnectHandlers();
    void RebuildList();
    void SelectRecord(int i);
    UserFields ReadFields() const;
    // False (and a box) when the two password fields differ, or `needed` and both are empty.
    bool PasswordsAgree(bool needed);
    void FillFields(const UserFields& f);

    MessageBox& boxes_;
    UserAccounts accounts_{};
    int selected_ = 0;
};

}  // namespace kel
