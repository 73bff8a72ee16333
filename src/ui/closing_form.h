#pragma once
// The small window shown while long stops run (closing the recordings), so the operator knows the
// program is still at work.

#include <QWidget>

class QLabel;

namespace kel {

class TClosingForm : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kText = "Trwa Zamykanie Systemu. Proszę Czekać...";

    explicit TClosingForm(QWidget* parent = nullptr);

    // Shows the window and paints it at once: the caller goes on with blocking work right after,
    // during which the event loop does not run.
    void ShowAndPaint();

    QLabel* Label1;
};

}  // namespace kel
