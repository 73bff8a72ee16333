#pragma once
// TSkinForm: the skin chooser. The window exists from the start so that the start-up order
// holds; its controls and behaviour are built with the feature it serves.

#include <QDialog>

namespace kel {

class TSkinForm : public QDialog {
    Q_OBJECT
public:
    explicit TSkinForm(QWidget* parent = nullptr);
};

}  // namespace kel
