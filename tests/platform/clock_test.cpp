#include "platform/clock.h"

#include <gtest/gtest.h>

#include "platform/message_box.h"

namespace kel {
namespace {

TEST(PolishTexts, TimeAndDateUseTheSystemFormatsWithLeadingZeros) {
    LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 6;
    t.hour = 9;
    t.minute = 2;
    t.second = 7;
    EXPECT_EQ(LongTimeText(t), "09:02:07");
    EXPECT_EQ(ShortDateText(t), "2026-03-06");
    EXPECT_EQ(DayMonthText(t), "06.03");
}

TEST(PolishTexts, TheSystemClockCountsTheWeekFromMonday) {
    LocalTime now = SystemClock::Instance().Now();
    EXPECT_GE(now.weekday, 1);
    EXPECT_LE(now.weekday, 7);
    EXPECT_EQ(LongTimeText(now).size(), 8u);
}

TEST(MessageBoxPort, HeadlessAnswersAsToldAndYesOverridesOnlyQuestions) {
    HeadlessMessageBox no(false);
    EXPECT_FALSE(no.Ask("Czy?"));
    EXPECT_TRUE(no.Show(BoxKind::Error, "x"));
    AutoYesMessageBox yes(no);
    EXPECT_TRUE(yes.Ask("Czy?"));
    EXPECT_STREQ(MessageBox::Caption(BoxKind::Error), "Błąd!");
    EXPECT_STREQ(MessageBox::Caption(BoxKind::Warning), "Uwaga!");
    EXPECT_STREQ(MessageBox::Caption(BoxKind::Question), "Uwaga!");
    EXPECT_STREQ(MessageBox::Caption(BoxKind::Alarm), "UWAGA!");
}

}  // namespace
}  // namespace kel
