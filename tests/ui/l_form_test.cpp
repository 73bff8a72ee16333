#include "ui/l_form.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include "ui/ez_rgn_btn.h"
#include "ui/test_util.h"

namespace kel {
namespace {

using test::PressKey;
using test::WhenModal;

struct LoginDialog : ::testing::Test {
    // Types the two texts, then lets `finish` end the modal loop; returns Execute's result.
    bool Run(const QString& login, const QString& pass, std::function<void()> finish) {
        WhenModal([=, this] {
            form.ed_Login->setText(login);
            form.ed_Pass->setText(pass);
            finish();
        });
        return form.Execute(outLogin, outPass);
    }

    TLForm form;
    std::string outLogin = "untouched";
    std::string outPass = "untouched";
};

TEST_F(LoginDialog, LooksAsDesigned) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Logowanie"));
    EXPECT_EQ(form.ed_Pass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.ed_Login->echoMode(), QLineEdit::Normal);
    // Accept on the right, cancel on the left.
    form.show();
    EXPECT_LT(form.EzRgnBtn2->x(), form.EzRgnBtn1->x());
}

TEST_F(LoginDialog, EnterInEitherFieldOrOnTheDialogAccepts) {
    EXPECT_TRUE(Run("kel", "qxv", [this] { PressKey(form.ed_Login, Qt::Key_Return); }));
    EXPECT_EQ(outLogin, "kel");
    EXPECT_EQ(outPass, "qxv");

    EXPECT_TRUE(Run("a", "b", [this] { PressKey(form.ed_Pass, Qt::Key_Enter, Qt::KeypadModifier); }));
    EXPECT_EQ(outLogin, "a");

    EXPECT_TRUE(Run("c", "d", [this] { PressKey(&form, Qt::Key_Return); }));
    EXPECT_EQ(outPass, "d");
}

TEST_F(LoginDialog, EscapeInAFieldOrOnTheDialogCancelsAndLeavesOutputsAlone) {
    EXPECT_FALSE(Run("kel", "qxv", [this] { PressKey(form.ed_Pass, Qt::Key_Escape); }));
    EXPECT_FALSE(Run("kel", "qxv", [this] { PressKey(&form, Qt::Key_Escape); }));
    EXPECT_EQ(outLogin, "untouched");
    EXPECT_EQ(outPass, "untouched");
}

TEST_F(LoginDialog, ButtonsAcceptAndCancel) {
    EXPECT_TRUE(Run("kel", "qxv", [this] { form.EzRgnBtn1->click(); }));
    EXPECT_FALSE(Run("kel", "qxv", [this] { form.EzRgnBtn2->click(); }));
}

// The dialog is shared by the shift change and the close button: what one user typed, accepted or
// cancelled, must never be there for the next to accept.
TEST_F(LoginDialog, EveryShowingStartsEmptyAndPolishLettersSurvive) {
    ASSERT_TRUE(Run("Żaneta", "źdźbło", [this] { form.EzRgnBtn1->click(); }));
    EXPECT_EQ(outLogin, "Żaneta");
    EXPECT_EQ(outPass, "źdźbło");
    EXPECT_FALSE(Run("kel", "qxv", [this] { form.EzRgnBtn2->click(); }));

    QString seenLogin = "?", seenPass = "?";
    WhenModal([&] {
        seenLogin = form.ed_Login->text();
        seenPass = form.ed_Pass->text();
        form.EzRgnBtn1->click();
    });
    ASSERT_TRUE(form.Execute(outLogin, outPass));
    EXPECT_EQ(seenLogin, QString());
    EXPECT_EQ(seenPass, QString());
    EXPECT_EQ(outPass, "") << "accepting the opened dialog logs nobody in";
}

}  // namespace
}  // namespace kel
