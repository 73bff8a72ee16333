// The about box, the closing window and the Qt message boxes.

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "ui/closing_form.h"
#include "ui/info_form.h"
#include "ui/qt_message_box.h"
#include "ui/test_util.h"

namespace kel {
namespace {

using test::WhenModal;

TEST(InfoForm, ShowingSetsTheCaptionAndVersionAndOkCloses) {
    TInfoForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Informacje"));
    EXPECT_EQ(form.windowType(), Qt::Tool);

    QString caption, version;
    WhenModal([&] {
        caption = form.windowTitle();
        version = form.l_Version->text();
        form.Button1->click();
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(caption, QStringLiteral("System Cyfrowej Rejestracji Obrazu "));
    EXPECT_EQ(version, QStringLiteral(" Aplikacja Rejestrująca - wersja: KEL 2.0.3"));
    EXPECT_FALSE(form.isVisible());
}

TEST(ClosingForm, ShowsTheBoldLineAtOnce) {
    TClosingForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Zamykanie Systemu"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Trwa Zamykanie Systemu. Proszę Czekać..."));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label1->font().families().value(0), QStringLiteral("Verdana"));
    form.ShowAndPaint();
    EXPECT_TRUE(form.isVisible());
    // The line fits: the window was sized for it.
    EXPECT_GE(form.width(), form.Label1->sizeHint().width());
}

struct SeenBox {
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString text;
};

// Records the box that is up and presses `answer` (or closes it with Escape when NoButton).
void AnswerBox(SeenBox& seen, QMessageBox::StandardButton answer) {
    WhenModal([&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->icon(), box->standardButtons(), box->text()};
        if (answer == QMessageBox::NoButton)
            test::PressKey(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
    });
}

TEST(QtMessageBox, ErrorAndWarningBoxesHaveTheirCaptionsAndIcons) {
    QtMessageBox boxes;
    SeenBox seen;
    AnswerBox(seen, QMessageBox::Ok);
    EXPECT_TRUE(boxes.Show(BoxKind::Error, "Brak dysku"));
    EXPECT_EQ(seen.caption, QStringLiteral("Błąd!"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, QStringLiteral("Brak dysku"));

    AnswerBox(seen, QMessageBox::Ok);
    EXPECT_TRUE(boxes.Show(BoxKind::Warning, "Za mało miejsca"));
    EXPECT_EQ(seen.caption, QStringLiteral("Uwaga!"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(QtMessageBox, QuestionIsTrueOnlyForYes) {
    QtMessageBox boxes;
    SeenBox seen;
    AnswerBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(boxes.Ask("Zamknąć?"));
    EXPECT_EQ(seen.caption, QStringLiteral("Uwaga!"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    AnswerBox(seen, QMessageBox::No);
    EXPECT_FALSE(boxes.Ask("Zamknąć?"));
    AnswerBox(seen, QMessageBox::NoButton);
    EXPECT_FALSE(boxes.Ask("Zamknąć?"));
}

}  // namespace
}  // namespace kel
