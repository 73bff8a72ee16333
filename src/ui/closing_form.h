#pragma once
// The small window shown while long stops run (closing the recordings), so the operator knows the
// program is still at work.

#include <QWidget>

#include "core/station_windows.h"

class QLabel;

namespace kel {

class TClosingForm : public QWidget, public ClosingWindow {
    Q_OBJECT

public:
    static constexpr const char* kText = "Trwa Zamykanie Systemu. Proszę Czekać...";

    explicit TClosingForm(QWidget* parent = nullptr);

    // Shows the window and paints it at once: the caller goes on with blocking work right after,
    // during which the event loop does not run.
    void ShowAndPaint();
    void ShowClosingForm(bool show) override {
        if (show)
            ShowAndPaint();
        else
            hide();
    }

    QLabel* Label1;
};

}  // namespace kel
