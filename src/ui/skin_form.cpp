#include "ui/skin_form.h"

#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/skins_folder.h"

namespace kel {

TSkinForm::TSkinForm(QWidget* parent)
    : QDialog(parent, Qt::Tool), ListBox1(new QListWidget(this)),
      Button1(new QPushButton(QStringLiteral("OK"), this)),
      Button2(new QPushButton(QStringLiteral("Anuluj"), this)) {
    setObjectName("TSkinForm");
    setWindowTitle(QStringLiteral("Temat Graficzny"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    Button1->setDefault(true);

    // A folder is offered when it is a plain folder: not hidden, not read-only.
    const QFileInfoList entries = QDir(QString::fromStdString(SkinsRoot()))
                                      .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries)
        if (!entry.fileName().startsWith(QLatin1Char('.')) && (entry.permissions() & QFile::WriteOwner))
            ListBox1->addItem(entry.fileName());
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* root = new QVBoxLayout(this);
    root->addWidget(ListBox1);
    root->addLayout(buttons);
}

QString TSkinForm::SelectedSkin() const {
    const QListWidgetItem* item = ListBox1->currentItem();
    return item ? item->text() : QString();
}

}  // namespace kel
