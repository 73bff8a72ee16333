#include "ui/photo_form.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "platform/drive_map.h"

namespace kel {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

QString TwoDigits(int n) {
    return QStringLiteral("%1").arg(n % 100, 2, 10, QLatin1Char('0'));
}

}  // namespace

TPhotoForm::TPhotoForm(const Clock& clock, QWidget* parent)
    : QDialog(parent), Label1(new QLabel(QStringLiteral("Folder docelowy:"), this)),
      ShellTreeView1(new QTreeWidget(this)), Imagek(new QLabel(this)),
      SpeedButton1(new QPushButton(QStringLiteral("Zapisz"), this)),
      SpeedButton2(new QPushButton(QStringLiteral("Anuluj"), this)), clock_(clock) {
    setObjectName("TPhotoForm");
    setWindowTitle(QStringLiteral("Zrzut Kamer"));
    setFixedSize(kSize);
    Warn = [this](const QString& title, const QString& text) { QMessageBox::warning(this, title, text); };

    QFont bold(QStringLiteral("Verdana"));
    bold.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    bold.setBold(true);
    Label1->setFont(bold);
    ShellTreeView1->setHeaderHidden(true);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->viewport()->installEventFilter(this);  // a right click selects too
    connect(ShellTreeView1, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Fill(item); });
    Imagek->setFixedSize(kPreviewSize);
    Imagek->setAlignment(Qt::AlignCenter);
    Imagek->setStyleSheet(QStringLiteral("background: #0d1116;"));
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QPushButton::clicked, this, &QDialog::reject);
    SpeedButton1->setDefault(true);

    AddRoot(QStringLiteral("Komputer (/)"), QStringLiteral("/"));
    AddRoot(QStringLiteral("Folder domowy"), QDir::homePath());
    DriveMap drives(QDir::currentPath().toStdString());
    for (char letter : drives.Letters())
        AddRoot(QString(QLatin1Char(letter)) + QLatin1Char(':'),
                QString::fromStdString(drives.DrivePath(letter)));

    auto* tree = new QVBoxLayout;
    tree->addWidget(Label1);
    tree->addWidget(ShellTreeView1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    auto* right = new QVBoxLayout;
    right->addWidget(Imagek);
    right->addStretch();
    right->addLayout(buttons);
    auto* root = new QHBoxLayout(this);
    root->addLayout(tree, 1);
    root->addLayout(right);
}

QSize TPhotoForm::SnapshotSize(int width) {
    const int w = width - 250;
    return QSize(w, static_cast<int>(std::nearbyint(w * 9.0L / 11.0L)));  // ties to even
}

// "KEL_Foto06-12-26_09-25-35.bmp" in the folder, with a separator only where one is missing.
QString TPhotoForm::FileName(const QString& folder, const LocalTime& t) {
    QString name = folder;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    return name + QStringLiteral("KEL_Foto") + TwoDigits(t.day) + '-' + TwoDigits(t.month) + '-' +
           TwoDigits(t.year) + '_' + TwoDigits(t.hour) + '-' + TwoDigits(t.minute) + '-' +
           TwoDigits(t.second) + QStringLiteral(".bmp");
}

int TPhotoForm::Execute(const QImage& picture, const QWidget* over) {
    ShowPicture(picture);
    SpeedButton1->setFocus();
    if (over)  // the picture areas' centres meet, whatever frame the window system adds
        setGeometry(QRect(over->geometry().center() - QPoint(width() / 2, height() / 2), size()));
    return exec();
}

void TPhotoForm::ShowPicture(const QImage& picture) {
    picture_ = picture.copy();
    Imagek->setPixmap(
        QPixmap::fromImage(picture_.scaled(kPreviewSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

// What the operator chose: the tree's own current item on first focus is no choice.
QString TPhotoForm::SelectedFolder() const {
    const QList<QTreeWidgetItem*> items = ShellTreeView1->selectedItems();
    return items.isEmpty() ? QString() : items.front()->data(0, kPathRole).toString();
}

bool TPhotoForm::SelectFolder(const QString& path) {
    const QString target = QDir(path).canonicalPath();
    if (target.isEmpty())
        return false;
    // The deepest root that holds the folder, then down one level at a time.
    QTreeWidgetItem* item = nullptr;
    int best = -1;
    for (int i = 0; i < ShellTreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = ShellTreeView1->topLevelItem(i);
        const QString base = root->data(0, kPathRole).toString();
        const bool holds = target == base || target.startsWith(base.endsWith('/') ? base : base + '/');
        if (holds && base.size() > best) {
            item = root;
            best = static_cast<int>(base.size());
        }
    }
    while (item && item->data(0, kPathRole).toString() != target) {
        Fill(item);
        item->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            const QString child = item->child(i)->data(0, kPathRole).toString();
            if (target == child || target.startsWith(child + '/'))
                next = item->child(i);
        }
        item = next;
    }
    if (item)
        ShellTreeView1->setCurrentItem(item);
    return item != nullptr;
}

bool TPhotoForm::SpeedButton1Click() {
    QSaveFile file(FileName(SelectedFolder(), clock_.Now()));
    if (!file.open(QIODevice::WriteOnly) || !picture_.save(&file, "BMP") || !file.commit()) {
        Warn(QStringLiteral("Blad"), QString::fromUtf8(kSaveError));
        return false;
    }
    if (Saved)
        Saved(QFileInfo(file.fileName()).absoluteFilePath());
    accept();
    return true;
}

void TPhotoForm::AddRoot(const QString& caption, const QString& path) {
    if (QDir(path).canonicalPath().isEmpty())
        return;  // a drive whose folder is gone
    auto* item = new QTreeWidgetItem(ShellTreeView1, {caption});
    item->setData(0, kPathRole, QDir(path).canonicalPath());
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

// A folder's subfolders, read the first time it is opened.
void TPhotoForm::Fill(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    const QDir dir(item->data(0, kPathRole).toString());
    const QString base = dir.path() == QLatin1String("/") ? QString() : dir.path();
    for (const QString& name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* child = new QTreeWidgetItem(item, {name});
        child->setData(0, kPathRole, base + '/' + name);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool TPhotoForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ShellTreeView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            if (QTreeWidgetItem* item = ShellTreeView1->itemAt(mouse->position().toPoint()))
                ShellTreeView1->setCurrentItem(item);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kel
