#pragma once
// TPhotoForm: the snapshot viewer. The window exists from the start so that the start-up order
// holds; its controls and behaviour are built with the feature it serves.

#include <QDialog>

namespace kel {

class TPhotoForm : public QDialog {
    Q_OBJECT
public:
    explicit TPhotoForm(QWidget* parent = nullptr);
};

}  // namespace kel
