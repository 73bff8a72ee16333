#pragma once
// TPhotoForm: the snapshot viewer. Shows a still picture of the video area, lets the operator pick
// a folder and saves the picture there as "KEL_Foto<dd-mm-yy>_<hh-mm-ss>.bmp".
//
// The folder tree offers the computer's file system, the operator's home folder and the station's
// drive letters; it is filled as it is opened and keeps its selection between snapshots. A file
// of the same name is replaced whole (written beside it and renamed), so a failed save never
// leaves half a picture; any failure keeps the dialog open for another folder.
//
// Window thread only.

#include <QDialog>
#include <QImage>
#include <functional>

#include "platform/clock.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kel {

class TPhotoForm : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize kSize{581, 402};
    static constexpr QSize kPreviewSize{321, 262};
    static constexpr const char* kSaveError = "Bledny folder docelowy!";

    explicit TPhotoForm(const Clock& clock = SystemClock::Instance(), QWidget* parent = nullptr);

    // The snapshot of an application `width` wide: the video area's width and its 11:9 height.
    static QSize SnapshotSize(int width);
    // Where a snapshot taken at `t` is saved in `folder` (empty: the working directory).
    static QString FileName(const QString& folder, const LocalTime& t);

    // Shows `picture` and runs the dialog modally, centred on `over`.
    int Execute(const QImage& picture, const QWidget* over);
    // Imagek takes a copy of the picture.
    void ShowPicture(const QImage& picture);
    // The picture a save writes.
    const QImage& Picture() const { return picture_; }
    // Told the file of every snapshot saved (the audit trail records it).
    std::function<void(const QString& file)> Saved;
    // The folder selected in the tree; empty when none is.
    QString SelectedFolder() const;
    // Opens the tree down to `path` and selects it; false when no root of the tree holds it.
    bool SelectFolder(const QString& path);
    // "Zapisz": true when the picture was written (the dialog then closes).
    bool SpeedButton1Click();

    // How a failed save is told (tests put their own).
    std::function<void(const QString& title, const QString& text)> Warn;

    QLabel* Label1;
    QTreeWidget* ShellTreeView1;
    QLabel* Imagek;
    QPushButton* SpeedButton1;  // "Zapisz"
    QPushButton* SpeedButton2;  // "Anuluj"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddRoot(const QString& caption, const QString& path);
    void Fill(QTreeWidgetItem* item);

    const Clock& clock_;
    QImage picture_;
};

}  // namespace kel
