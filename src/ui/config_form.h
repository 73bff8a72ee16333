#pragma once
// TConfigForm: the configuration dialog. The window exists from the start so that the start-up order
// holds; its controls and behaviour are built with the feature it serves.

#include <QDialog>

namespace kel {

class TConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigForm(QWidget* parent = nullptr);
};

}  // namespace kel
