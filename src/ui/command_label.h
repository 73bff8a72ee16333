#pragma once
// A label of the main window's command bar: grey text that turns white while the pointer is over
// it, and a click.

#include <QLabel>

namespace kel {

class TCommandLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr QRgb kIdleColor = 0x626262;
    static constexpr QRgb kHoverColor = 0xFFFFFF;

    TCommandLabel(const QString& text, QWidget* parent);
    QColor TextColor() const;

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;  // LConfigLabelMouseEnter
    void leaveEvent(QEvent* event) override;       // LConfigLabelMouseLeave
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetTextColor(QRgb color);
};

}  // namespace kel
