#pragma once
// TSmartForm: the small always-on-top SmartView window (259 x 209). The window exists from the start so that
// the start-up order holds; its controls and behaviour are built with the feature it serves.

#include <QDialog>

namespace kel {

class TSmartForm : public QDialog {
    Q_OBJECT
public:
    explicit TSmartForm(QWidget* parent = nullptr);
};

}  // namespace kel
