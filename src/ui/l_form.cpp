#include "ui/l_form.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
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

}  // namespace kel
