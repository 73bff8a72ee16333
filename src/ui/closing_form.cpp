#include "ui/closing_form.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

namespace kel {

TClosingForm::TClosingForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), Label1(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Zamykanie Systemu"));
    QFont font;
    // Verdana where it is installed, else a free face of the same build.
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(10);
    font.setBold(true);
    Label1->setFont(font);
    Label1->setText(QString::fromUtf8(kText));
    Label1->setAlignment(Qt::AlignCenter);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(24, 16, 24, 16);
    root->addWidget(Label1);
    setFixedSize(sizeHint());
}

void TClosingForm::ShowAndPaint() {
    show();
    raise();
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kel
