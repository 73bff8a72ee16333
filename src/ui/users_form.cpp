#include "ui/users_form.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "config/passwords.h"
#include "platform/message_box.h"

namespace kel {

namespace {

QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Index of the last record in use, -1 when none is.
int LastUserInUse(const TUserTable& users) {
    for (int i = kUserCount - 1; i >= 0; --i) {
        if (users[i].InUse())
            return i;
    }
    return -1;
}

}  // namespace

TUsersForm::TUsersForm(MessageBox& boxes, QWidget* parent) : QDialog(parent), boxes_(boxes) {
    setWindowTitle(QStringLiteral("Users"));
    CreateControls();
    BuildLayout();
    ConnectHandlers();
    FormShow();
}

void TUsersForm::CreateGrid() {
    StringGrid1 = new QTableWidget(0, 2, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("Login"), QStringLiteral("Password")});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setMinimumSectionSize(kRowHeight);
    StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setFixedHeight(kRowHeight);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setSectionsClickable(false);
    StringGrid1->setColumnWidth(0, kColumnWidth);
    StringGrid1->setColumnWidth(1, kColumnWidth);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Only a click selects a record; arrow keys would move the highlight away from the record
    // whose data the fields show.
    StringGrid1->setFocusPolicy(Qt::NoFocus);
    StringGrid1->setMinimumHeight(kRowHeight * 16);
    // Both columns in full, beside the scroll bar.
    StringGrid1->setMinimumWidth(2 * kColumnWidth + StringGrid1->verticalScrollBar()->sizeHint().width() +
                                 2 * StringGrid1->frameWidth());
}

void TUsersForm::CreateControls() {
    CreateGrid();
    ed_Login = new QLineEdit(this);
    ed_Login->setObjectName(QStringLiteral("ed_Login"));
    ed_Login->setMaxLength(20);  // the record's widths
    ed_Pass = new QLineEdit(this);
    ed_Pass->setObjectName(QStringLiteral("ed_Pass"));
    ed_Pass2 = new QLineEdit(this);
    ed_Pass2->setObjectName(QStringLiteral("ed_Pass2"));
    for (QLineEdit* e : {ed_Pass, ed_Pass2}) {
        e->setMaxLength(static_cast<int>(kMaxPasswordChars));
        e->setEchoMode(QLineEdit::Password);
    }
    for (int k = 0; k < kCameraCount; ++k) {
        CheckBox[k] = new QCheckBox(QStringLiteral("Kam.%1").arg(k + 1), this);
        CheckBox[k]->setObjectName(QStringLiteral("CheckBox%1").arg(k + 1));
    }
    cb_Config = new QCheckBox(QStringLiteral("Dostęp do Konfiguratora"), this);
    cb_Config->setObjectName(QStringLiteral("cb_Config"));
    cb_Export = new QCheckBox(QStringLiteral("Eksport nagrań"), this);
    cb_Export->setObjectName(QStringLiteral("cb_Export"));
    cb_Export->setToolTip(QStringLiteral("Może zapisywać nagrania i eksporty dowodowe poza stację"));

    Button1 = new QPushButton(QStringLiteral("Zastosuj"), this);
    Button2 = new QPushButton(QStringLiteral("Anuluj"), this);
    Button3 = new QPushButton(QStringLiteral("Zmień"), this);
    Button4 = new QPushButton(QStringLiteral("Nowy"), this);
    Button5 = new QPushButton(QStringLiteral("Usuń"), this);
    // Enter in a field must not trigger a button behind the operator's back.
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5})
        b->setAutoDefault(false);
}

void TUsersForm::BuildLayout() {
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Login"), ed_Login);
    fields->addRow(QStringLiteral("Nowe hasło"), ed_Pass);
    fields->addRow(QStringLiteral("Powtórz hasło"), ed_Pass2);

    auto* cams = new QGridLayout;
    for (int k = 0; k < kCameraCount; ++k)
        cams->addWidget(CheckBox[k], k / 4, k % 4);

    auto* edits = new QHBoxLayout;
    edits->addWidget(Button3);
    edits->addWidget(Button4);
    edits->addWidget(Button5);

    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addLayout(cams);
    right->addWidget(cb_Config);
    right->addWidget(cb_Export);
    right->addLayout(edits);
    right->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(StringGrid1);
    top->addLayout(right);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addLayout(bottom);
}

void TUsersForm::ConnectHandlers() {
    // Table row k is grid row k + 1: the header row is row 0.
    connect(StringGrid1, &QTableWidget::cellClicked, this,
            [this](int row, int) { StringGrid1Click(row + 1); });
    connect(Button1, &QPushButton::clicked, this, &TUsersForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TUsersForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TUsersForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TUsersForm::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TUsersForm::Button5Click);
}

void TUsersForm::SetAccounts(const UserAccounts& accounts) {
    accounts_ = accounts;
    FormShow();
}

void TUsersForm::SetUsers(const TUserTable& users) {
    UserAccounts accounts;
    accounts.users = users;
    for (int i = 0; i < kUserCount; ++i)
        accounts.exports[i] = users[i].ConfigRight ? 1 : 0;
    SetAccounts(accounts);
}

QString TUsersForm::CellText(int gridRow, int col) const {
    if (col < 0 || col > 1)
        return {};
    if (gridRow == 0)
        return StringGrid1->horizontalHeaderItem(col)->text();
    const QTableWidgetItem* item = StringGrid1->item(gridRow - 1, col);
    return item ? item->text() : QString();
}

int TUsersForm::GridRowCount() const {
    return StringGrid1->rowCount() + 1;
}

void TUsersForm::showEvent(QShowEvent* e) {
    // A window restored by the window system is not a new showing: keep what is being edited.
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void TUsersForm::FormShow() {
    RebuildList();
    SelectRecord(0);
}

void TUsersForm::RebuildList() {
    StringGrid1->clearContents();
    const int last = LastUserInUse(accounts_.users);
    StringGrid1->setRowCount(last + 1);
    for (int i = 0; i <= last; ++i) {
        if (!accounts_.users[i].InUse())
            continue;
        // Never the password, nor its hash: only that one is set.
        StringGrid1->setItem(i, 0, new QTableWidgetItem(FromUtf8(accounts_.users[i].Login.Get())));
        StringGrid1->setItem(i, 1, new QTableWidgetItem(QString::fromUtf8(kPasswordSetText)));
    }
}

void TUsersForm::SelectRecord(int i) {
    selected_ = i;
    FillFields(UserFields::From(accounts_, i));
    if (i < StringGrid1->rowCount())
        StringGrid1->selectRow(i);
    else
        StringGrid1->clearSelection();
}

UserFields TUsersForm::ReadFields() const {
    UserFields f;
    f.Login = ed_Login->text().toStdString();
    f.Password = ed_Pass->text().toStdString();  // empty: the password set stays
    for (int k = 0; k < kCameraCount; ++k)
        f.Cam[k] = CheckBox[k]->isChecked();
    f.Config = cb_Config->isChecked();
    f.Export = cb_Export->isChecked();
    return f;
}

void TUsersForm::FillFields(const UserFields& f) {
    ed_Login->setText(FromUtf8(f.Login));
    ed_Pass->clear();
    ed_Pass2->clear();
    ed_Pass->setPlaceholderText(f.HasPassword ? QStringLiteral("(bez zmian)") : QString());
    for (int k = 0; k < kCameraCount; ++k)
        CheckBox[k]->setChecked(f.Cam[k]);
    cb_Config->setChecked(f.Config);
    cb_Export->setChecked(f.Export);
}

bool TUsersForm::PasswordsAgree(bool needed) {
    if (ed_Pass->text() != ed_Pass2->text()) {
        boxes_.Warning(kPasswordsDifferText);
        return false;
    }
    if (needed && ed_Pass->text().isEmpty()) {
        boxes_.Warning(kNoPasswordText);
        return false;
    }
    return true;
}

void TUsersForm::StringGrid1Click(int gridRow) {
    if (gridRow < 1 || gridRow > kUserCount)
        return;
    SelectRecord(gridRow - 1);
}

void TUsersForm::Button1Click() {
    if (!PasswordsAgree(!accounts_.users[selected_].InUse() && !ed_Login->text().isEmpty()))
        return;
    ReadFields().StoreInto(accounts_, selected_);
    accept();
}

void TUsersForm::Button2Click() {
    reject();
}

void TUsersForm::Button3Click() {
    if (!PasswordsAgree(!accounts_.users[selected_].InUse() && !ed_Login->text().isEmpty()))
        return;
    ReadFields().StoreInto(accounts_, selected_);
    FormShow();
}

void TUsersForm::Button4Click() {
    const int slot = FirstFreeUser(accounts_.users);
    if (slot < 0) {
        // Every record is in use: overwrite nothing, and keep the typed fields for another try.
        boxes_.Warning(kNoFreeRecordText);
        return;
    }
    if (!PasswordsAgree(true))
        return;
    ReadFields().StoreInto(accounts_, slot);
    FormShow();
}

void TUsersForm::Button5Click() {
    if (selected_ == 0 || !RemoveUser(accounts_, selected_))
        return;
    FormShow();
}

}  // namespace kel
