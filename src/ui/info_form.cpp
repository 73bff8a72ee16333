#include "ui/info_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kel {

namespace {

constexpr QSize kLogoSize{120, 72};

void DrawLens(QPainter& p) {
    // A camera lens: rings on the left of the logo.
    const QPointF centre(34, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3d, 0x45, 0x50));
    p.drawEllipse(centre, 24, 24);
    p.setBrush(QColor(0x1a, 0x1e, 0x24));
    p.drawEllipse(centre, 16, 16);
    p.setBrush(QColor(0x4f, 0x8f, 0xc0));
    p.drawEllipse(centre, 7, 7);
}

}  // namespace

TInfoForm::TInfoForm(QWidget* parent)
    : QDialog(parent, Qt::Tool), Image1(new QLabel(this)), l_Version(new QLabel(this)),
      Label1(new QLabel(QStringLiteral("KEL — systemy rejestracji obrazu"), this)),
      Label2(new QLabel(QStringLiteral("Pomoc techniczna: administrator systemu"), this)),
      l_Key(new QLabel(this)), Button1(new QPushButton(QStringLiteral("Ok"), this)) {
    setWindowTitle(QStringLiteral("Informacje"));
    Image1->setPixmap(DrawLogo());
    l_Version->setObjectName(QStringLiteral("l_Version"));
    l_Key->setObjectName(QStringLiteral("l_Key"));
    l_Key->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetSigningKey(QString());
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(l_Version);
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addWidget(l_Key);
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(text);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addWidget(Button1, 0, Qt::AlignRight);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

QPixmap TInfoForm::DrawLogo() {
    QPixmap logo(kLogoSize);
    logo.fill(QColor(0x22, 0x26, 0x2c));
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    DrawLens(p);
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0xd8, 0xdd, 0xe3));
    p.drawText(QRect(62, 0, kLogoSize.width() - 62, kLogoSize.height()), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("KEL"));
    return logo;
}

void TInfoForm::SetSigningKey(const QString& fingerprint) {
    l_Key->setText(fingerprint.isEmpty() ? QStringLiteral("Klucz podpisu stacji: niedostępny")
                                         : QStringLiteral("Klucz podpisu stacji:\n") + fingerprint);
}

void TInfoForm::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void TInfoForm::FormShow() {
    setWindowTitle(QString::fromUtf8(kShownCaption));
    l_Version->setText(QString::fromUtf8(kVersionText));
}

}  // namespace kel
