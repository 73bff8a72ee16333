#include "ui/users_form.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "platform/message_box.h"
#include "ui/test_util.h"

namespace kel {
namespace {

struct FakeBoxes : MessageBox {
    bool Show(BoxKind kind, std::string_view text) override {
        shown.push_back({kind, std::string(text)});
        return true;
    }
    std::vector<std::pair<BoxKind, std::string>> shown;
};

TUserRecord User(const std::string& login, const std::string& pass, uint8_t right = 1, uint8_t config = 0) {
    TUserRecord r{};
    r.Login.Set(login);
    r.Password.Set(pass);
    std::memset(r.CamRights, right, sizeof r.CamRights);
    r.ConfigRight = config;
    return r;
}

// Records 0.."count-1" in use: "kel"/"qxv" and then "u1"/"p1", "u2"/"p2", ...
TUserTable Table(int count) {
    TUserTable t{};
    t[0] = User("kel", "qxv", 1, 1);
    for (int i = 1; i < count; ++i)
        t[i] = User("u" + std::to_string(i), "p" + std::to_string(i));
    return t;
}

bool SameRecord(const TUserRecord& a, const TUserRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct UsersDialog : ::testing::Test {
    // The rows as the operator sees them, header row first.
    std::vector<std::pair<QString, QString>> Rows() const {
        std::vector<std::pair<QString, QString>> rows;
        for (int r = 0; r < form.GridRowCount(); ++r)
            rows.push_back({form.CellText(r, 0), form.CellText(r, 1)});
        return rows;
    }
    using Rows_t = std::vector<std::pair<QString, QString>>;
    // The user of this login and password in the dialog's tables; kNobody for none.
    int Find(const char* login, const char* password) const {
        return FindUser(form.Accounts().users, form.Accounts().passwords, login, password);
    }
    void TypePassword(const QString& first, const QString& second) {
        form.ed_Pass->setText(first);
        form.ed_Pass2->setText(second);
    }
    static inline const QString kSet = QStringLiteral("ustawione");
    static inline const std::pair<QString, QString> kHeader{"Login", "Password"};
    static inline const std::pair<QString, QString> kEmpty{"", ""};

    FakeBoxes boxes;
    TUsersForm form{boxes};
};

TEST_F(UsersDialog, ShowListsEveryRecordInUseInRowIndexPlusOne) {
    TUserTable t = Table(4);
    t[2].Password.Set("");  // record 2 free: its row stays empty
    form.SetUsers(t);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Users"));
    EXPECT_EQ(Rows(), (Rows_t{kHeader, {"kel", kSet}, {"u1", kSet}, kEmpty, {"u3", kSet}}));
    EXPECT_EQ(form.Selected(), 0);
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("kel"));
    // No password is ever shown, only that one is set.
    EXPECT_TRUE(form.ed_Pass->text().isEmpty());
    EXPECT_TRUE(form.cb_Config->isChecked());
    EXPECT_EQ(form.StringGrid1->columnWidth(0), 100);
    EXPECT_EQ(form.StringGrid1->columnWidth(1), 100);
    EXPECT_EQ(form.StringGrid1->rowHeight(0), 18);
    EXPECT_EQ(form.StringGrid1->horizontalHeader()->height(), 18);
    EXPECT_EQ(form.CheckBox[15]->text(), QStringLiteral("Kam.16"));
}

TEST_F(UsersDialog, RowClickSelectsTheRecordAboveItAndTheHeaderRowDoesNothing) {
    TUserTable t = Table(4);
    t[3].CamRights[4] = 0;
    t[3].ConfigRight = 7;
    form.SetUsers(t);

    form.StringGrid1Click(4);
    EXPECT_EQ(form.Selected(), 3);
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("u3"));
    EXPECT_TRUE(form.CheckBox[3]->isChecked());
    EXPECT_FALSE(form.CheckBox[4]->isChecked());
    EXPECT_TRUE(form.cb_Config->isChecked());  // any non-zero byte

    form.StringGrid1Click(0);
    EXPECT_EQ(form.Selected(), 3);
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("u3"));

    // The real grid's click signal arrives with table row 1, which is grid row 2.
    emit form.StringGrid1->cellClicked(1, 0);
    EXPECT_EQ(form.Selected(), 1);
}

TEST_F(UsersDialog, ZmienWithAnEmptyPasswordKeepsItAndNowyTakesTheFirstFreeRecord) {
    TUserTable t = Table(4);
    t[2].Password.Set("");  // record 2 free
    form.SetUsers(t);
    form.StringGrid1Click(2);  // record 1
    form.Button3Click();
    EXPECT_EQ(Find("u1", "p1"), 1);  // the empty fields changed no password

    form.ed_Login->setText("nowy");
    TypePassword("haslo-nowe", "haslo-nowe");
    form.Button4Click();
    EXPECT_EQ(Find("nowy", "haslo-nowe"), 2);
    EXPECT_NE(form.Users()[2].Password.Get(), "haslo-nowe");  // kept as its hash's marker
    EXPECT_EQ(form.CellText(3, 0), QStringLiteral("nowy"));
    EXPECT_EQ(form.Selected(), 0);
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("kel"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(UsersDialog, NowyOnAFullTableOverwritesNothingAndWarns) {
    const TUserTable full = Table(kUserCount);
    form.SetUsers(full);
    form.StringGrid1Click(6);
    form.ed_Login->setText("one-too-many");
    form.Button4Click();

    EXPECT_EQ(std::memcmp(form.Users().data(), full.data(), sizeof full), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, BoxKind::Warning);
    EXPECT_EQ(boxes.shown[0].second, "Brak wolnego miejsca na nowego użytkownika (najwyżej 256).");
    // What was typed stays for another try.
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("one-too-many"));
    EXPECT_EQ(form.Selected(), 5);
}

TEST_F(UsersDialog, UsunNeverRemovesRecordZero) {
    const TUserTable t = Table(3);
    form.SetUsers(t);
    form.StringGrid1Click(1);
    form.Button5Click();
    EXPECT_EQ(std::memcmp(form.Users().data(), t.data(), sizeof t), 0);
}

TEST_F(UsersDialog, UsunRecord3Of5MovesTheRestUpAndRowsStillMatchTheirRecords) {
    TUserTable t = Table(5);
    t[1].Password.Set("");  // a gap before the removed record keeps its empty row
    form.SetUsers(t);
    form.StringGrid1Click(4);  // record 3
    ASSERT_EQ(form.Selected(), 3);
    form.Button5Click();

    EXPECT_TRUE(SameRecord(form.Users()[3], t[4]));
    EXPECT_FALSE(form.Users()[4].InUse());
    EXPECT_EQ(Rows(), (Rows_t{kHeader, {"kel", kSet}, kEmpty, {"u2", kSet}, {"u4", kSet}}));
    EXPECT_EQ(form.Selected(), 0);

    // Row 4 shows u4, and clicking it edits u4.
    form.StringGrid1Click(4);
    EXPECT_EQ(form.ed_Login->text(), QStringLiteral("u4"));
}

TEST_F(UsersDialog, ZastosujStoresTheFieldsIntoTheSelectedRecordOnlyAndAccepts) {
    const TUserTable t = Table(4);
    form.SetUsers(t);
    // Showing the dialog runs the show step, so the operator's edits come after it.
    test::WhenModal([this] {
        form.StringGrid1Click(3);  // record 2
        form.ed_Login->setText("zmieniony");
        form.CheckBox[0]->setChecked(false);
        form.cb_Config->setChecked(true);
        form.Button1->click();
    });
    ASSERT_EQ(form.exec(), QDialog::Accepted);

    const TUserRecord& r = form.Users()[2];
    EXPECT_EQ(r.Login.Get(), "zmieniony");
    EXPECT_EQ(r.Password.Get(), "p2");
    EXPECT_EQ(r.CamRights[0], 0);
    EXPECT_EQ(r.CamRights[1], 1);
    EXPECT_EQ(r.ConfigRight, 1);
    for (int i = 0; i < kUserCount; ++i) {
        if (i != 2) {
            EXPECT_TRUE(SameRecord(form.Users()[i], t[i])) << "record " << i;
        }
    }
}

TEST_F(UsersDialog, AfterZmienZastosujStoresRecordZeroBackUnchanged) {
    const TUserTable t = Table(3);
    form.SetUsers(t);
    form.StringGrid1Click(2);
    form.Button3Click();  // unchanged fields: stores record 1 as it was
    form.Button1Click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(std::memcmp(form.Users().data(), t.data(), sizeof t), 0);
}

TEST_F(UsersDialog, AnulujRejectsAndShowingAgainStartsFromTheCallersTable) {
    const TUserTable callers = Table(3);
    form.SetUsers(callers);
    test::WhenModal([this] {
        form.StringGrid1Click(2);
        form.ed_Login->setText("x");
        form.Button3->click();
        form.Button2->click();
    });
    EXPECT_EQ(form.exec(), QDialog::Rejected);

    // The caller takes nothing on Anuluj and hands its own copy in the next time.
    form.SetUsers(callers);
    EXPECT_EQ(std::memcmp(form.Users().data(), callers.data(), sizeof callers), 0);
    EXPECT_EQ(form.CellText(2, 0), QStringLiteral("u1"));
}

TEST_F(UsersDialog, ALoginOf25CharactersIsStoredAsItsFirst20) {
    form.SetUsers(Table(2));
    form.StringGrid1Click(2);
    form.ed_Login->setText(QStringLiteral("Zażółćgęśląjaźń0123456789"));
    TypePassword(QStringLiteral("hasło-dłuższe-niż-piętnaście"),
                 QStringLiteral("hasło-dłuższe-niż-piętnaście"));
    form.Button1Click();

    EXPECT_EQ(form.Users()[1].Login.Get(), "Zażółćgęśląjaźń01234");
    // The whole password is hashed, no longer cut to the record's 15 characters.
    EXPECT_EQ(Find("Zażółćgęśląjaźń01234", "hasło-dłuższe-niż-piętnaście"), 1);
    EXPECT_EQ(Find("Zażółćgęśląjaźń01234", "hasło-dłuższe-n"), kNobody);
    EXPECT_EQ(Find("Zażółćgęśląjaźń0123456789", "hasło-dłuższe-niż-piętnaście"), kNobody);
}

TEST_F(UsersDialog, ARightByteOf2ShowsUntickedAndIsRewrittenOnlyWhenThatRecordIsSaved) {
    TUserTable t = Table(3);
    t[1].CamRights[5] = 2;
    form.SetUsers(t);
    form.StringGrid1Click(2);
    EXPECT_FALSE(form.CheckBox[5]->isChecked());
    EXPECT_TRUE(form.CheckBox[4]->isChecked());

    // Saving another record leaves the byte as it was.
    form.StringGrid1Click(3);
    form.Button3Click();
    EXPECT_EQ(form.Users()[1].CamRights[5], 2);

    form.StringGrid1Click(2);
    form.Button3Click();
    EXPECT_EQ(form.Users()[1].CamRights[5], 0);
}

// A password typed differently the second time, or a new user without one, changes nothing.
TEST_F(UsersDialog, APasswordTypedTwiceDifferentlyChangesNothingAndSaysSo) {
    const TUserTable t = Table(3);
    form.SetUsers(t);
    const struct {
        void (TUsersForm::*button)();
        const char* first;
        const char* second;
        const char* box;
    } cases[] = {
        {&TUsersForm::Button3Click, "nowe-haslo1", "nowe-haslo2", TUsersForm::kPasswordsDifferText},
        {&TUsersForm::Button1Click, "nowe-haslo1", "", TUsersForm::kPasswordsDifferText},
        {&TUsersForm::Button4Click, "nowe-haslo1", "Nowe-haslo1", TUsersForm::kPasswordsDifferText},
        {&TUsersForm::Button4Click, "", "", TUsersForm::kNoPasswordText},
    };
    for (const auto& c : cases) {
        boxes.shown.clear();
        form.StringGrid1Click(2);
        form.ed_Login->setText("u1");
        TypePassword(c.first, c.second);
        (form.*c.button)();
        EXPECT_EQ(std::memcmp(form.Users().data(), t.data(), sizeof t), 0) << c.first << "/" << c.second;
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].second, c.box);
        EXPECT_NE(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Find("u1", "p1"), 1);
}

TEST_F(UsersDialog, TheExportRightIsTickedPerUserAndMovesWithItsRecord) {
    UserAccounts accounts;
    accounts.users = Table(4);
    accounts.exports[0] = 1;
    accounts.exports[3] = 1;
    form.SetAccounts(accounts);
    EXPECT_TRUE(form.cb_Export->isChecked());
    form.StringGrid1Click(2);
    EXPECT_FALSE(form.cb_Export->isChecked());
    form.cb_Export->setChecked(true);
    form.Button3Click();
    EXPECT_EQ(form.Accounts().exports[1], 1);
    form.StringGrid1Click(3);  // record 2 removed: record 3 and its right move up
    form.Button5Click();
    EXPECT_EQ(form.Accounts().exports[2], 1);
    EXPECT_EQ(form.Accounts().exports[3], 0);
}

}  // namespace
}  // namespace kel
