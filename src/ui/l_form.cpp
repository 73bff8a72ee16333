#include "ui/l_form.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ez_rgn_btn.h"

namespace kel {

TLForm::TLForm(QWidget* parent)
    : QDialog(parent), ed_Login(new QLineEdit(this)), ed_Pass(new QLineEdit(this)),
      EzRgnBtn1(new TEzRgnBtn(QStringLiteral("OK"), this)),
      EzRgnBtn2(new TEzRgnBtn(QStringLiteral("Anuluj"), this)) {
    setWindowTitle(QStringLiteral("Logowanie"));
    ed_Login->setObjectName(QStringLiteral("ed_Login"));
    ed_Pass->setObjectName(QStringLiteral("ed_Pass"));
    ed_Pass->setEchoMode(QLineEdit::Password);
    EzRgnBtn1->setObjectName(QStringLiteral("EzRgnBtn1"));
    EzRgnBtn2->setObjectName(QStringLiteral("EzRgnBtn2"));
    connect(EzRgnBtn1, &QAbstractButton::clicked, this, &TLForm::EzRgnBtn1Click);
    connect(EzRgnBtn2, &QAbstractButton::clicked, this, &TLForm::EzRgnBtn2Click);
    BuildLayout();
    ed_Login->setFocus();
}

void TLForm::BuildLayout() {
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Użytkownik"), ed_Login);
    fields->addRow(QStringLiteral("Hasło"), ed_Pass);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(EzRgnBtn2);
    buttons->addStretch();
    buttons->addWidget(EzRgnBtn1);

    auto* root = new QVBoxLayout(this);
    root->addLayout(fields);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

// Every showing starts empty: the dialog is shared by shift changes and the close button, and what
// the last user typed must never be there for the next one to accept.
bool TLForm::Execute(std::string& login, std::string& password) {
    ed_Login->clear();
    ed_Pass->clear();
    ed_Login->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    login = ed_Login->text().toStdString();
    password = ed_Pass->text().toStdString();
    return true;
}

void TLForm::keyPressEvent(QKeyEvent* e) {
    // A line edit passes Enter on to its parent, so this also covers both fields. Checked before
    // QDialog's own handling, which would look for a default push button we do not have.
    if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

// The administrator with a weak password is asked at the console for a new one, typed twice.
bool TLForm::RunNewPasswordDialog(const std::string& login, std::string& first, std::string& second) {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Zmiana hasła"));
    auto* one = new QLineEdit(&dialog);
    auto* two = new QLineEdit(&dialog);
    one->setObjectName(QStringLiteral("ed_New"));
    two->setObjectName(QStringLiteral("ed_Again"));
    for (QLineEdit* e : {one, two}) {
        e->setEchoMode(QLineEdit::Password);
        e->setMaxLength(64);
    }
    auto* text = new QLabel(QString::fromUtf8("Użytkownik „%1” ma hasło domyślne lub krótsze niż 8 znaków: "
                                              "serwer WWW i serwer TCP go nie wpuszczą. Podaj nowe hasło "
                                              "(co najmniej 8 znaków) dwa razy.")
                                .arg(QString::fromStdString(login)),
                            &dialog);
    text->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8("Nowe hasło"), one);
    form->addRow(QString::fromUtf8("Powtórz hasło"), two);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QString::fromUtf8("Zmień"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QString::fromUtf8("Później"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    first = one->text().toStdString();
    second = two->text().toStdString();
    return true;
}

}  // namespace kel
