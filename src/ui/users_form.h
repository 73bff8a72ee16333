#pragma once
// The user administration dialog. It edits a private copy of the 256 user records; the caller
// hands the table in with SetUsers and takes Users() back only when the dialog was accepted.
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

    // Boxes go through `boxes`, which must outlive the dialog.
    explicit TUsersForm(MessageBox& boxes, QWidget* parent = nullptr);

    // Copies the table in and shows it as FormShow does.
    void SetUsers(const TUserTable& users);
    const TUserTable& Users() const { return users_; }
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
    std::array<QCheckBox*, kCameraCount> CheckBox{};  // CheckBox[0] is "CheckBox1"
    QCheckBox* cb_Config;
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
    void FillFields(const UserFields& f);

    MessageBox& boxes_;
    TUserTable users_{};
    int selected_ = 0;
};

}  // namespace kel
