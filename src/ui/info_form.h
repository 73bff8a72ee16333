#pragma once
// The about box: what the program is, its version, a logo and where to get help.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

namespace kel {

class TInfoForm : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kShownCaption = "System Cyfrowej Rejestracji Obrazu ";
    static constexpr const char* kVersionText = " Aplikacja Rejestrująca - wersja: KEL 2.0.3";

    explicit TInfoForm(QWidget* parent = nullptr);

    // Sets the caption and the version line; runs on every showing.
    void FormShow();
    // The fingerprint of the station's signing key, which evidence exports are checked against;
    // empty: the station has none.
    void SetSigningKey(const QString& fingerprint);

    // The logo, drawn rather than loaded so the box never depends on a skin file.
    static QPixmap DrawLogo();

    QLabel* Image1;
    QLabel* l_Version;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* l_Key;
    QPushButton* Button1;  // "Ok"

protected:
    void showEvent(QShowEvent* e) override;
};

}  // namespace kel
