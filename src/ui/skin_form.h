#pragma once
// TSkinForm: the skin chooser. Lists the skin folders under "Skins/" of the working directory,
// read once when the window is made (a folder added later shows after a restart), leaving out
// hidden folders (a leading dot) and read-only ones, in the order the file system gives them;
// the first is selected. The configuration dialog shows it modally and takes the selected name
// on OK.
//
// Window thread only.

#include <QDialog>

class QListWidget;
class QPushButton;

namespace kel {

class TSkinForm : public QDialog {
    Q_OBJECT
public:
    explicit TSkinForm(QWidget* parent = nullptr);

    // The selected line; empty when the list is empty.
    QString SelectedSkin() const;

    QListWidget* ListBox1;
    QPushButton* Button1;  // "OK"
    QPushButton* Button2;  // "Anuluj"
};

}  // namespace kel
