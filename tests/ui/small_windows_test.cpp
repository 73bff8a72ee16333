// The about box, the closing window, the skin chooser and the Qt message boxes.

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "ui/closing_form.h"
#include "ui/info_form.h"
#include "ui/qt_message_box.h"
#include "ui/skin_form.h"
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
    EXPECT_EQ(form.l_Key->text(), QStringLiteral("Klucz podpisu stacji: niedostępny"));
    form.SetSigningKey("0123 4567");
    EXPECT_EQ(form.l_Key->text(), QStringLiteral("Klucz podpisu stacji:\n0123 4567"));
}

// The chooser offers the plain folders under Skins/, not files, hidden or read-only folders, and
// OK gives the selected one.
TEST(SkinForm, ListsThePlainSkinFoldersAndOkGivesTheChoice) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    for (const char* folder : {"Skins/Default", "Skins/Noc", "Skins/.cache", "Skins/Tylko do odczytu"})
        fs::create_directories(folder);
    fs::permissions("Skins/Tylko do odczytu", fs::perms::owner_write, fs::perm_options::remove);
    std::ofstream("Skins/readme.txt") << "not a skin";
    TSkinForm form;
    fs::current_path(old);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Temat Graficzny"));
    QStringList listed;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        listed << form.ListBox1->item(i)->text();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Default", "Noc"}));
    EXPECT_EQ(form.ListBox1->currentRow(), 0) << "the first line is selected";
    WhenModal([&] {
        form.ListBox1->setCurrentRow(
            form.ListBox1->row(form.ListBox1->findItems("Noc", Qt::MatchExactly)[0]));
        form.Button1->click();
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(form.SelectedSkin(), "Noc");
    WhenModal([&] { form.Button2->click(); });
    EXPECT_EQ(form.exec(), QDialog::Rejected);
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
