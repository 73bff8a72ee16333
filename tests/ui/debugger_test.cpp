#include "ui/debugger.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ui/test_util.h"

namespace kel {
namespace {

using test::PressKey;

QStringList Lines(const TDebugger& d) {
    return d.Memo->toPlainText().split(QLatin1Char('\n'));
}

TEST(Debugger, IsAHiddenReadOnlyToolWindowOfTheDesignedSize) {
    TDebugger d;
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Debugger"));
    EXPECT_EQ(d.windowType(), Qt::Tool);
    EXPECT_EQ(d.size(), QSize(436, 338));
    EXPECT_EQ(d.Memo->geometry(), QRect(8, 8, 417, 321));
    EXPECT_TRUE(d.Memo->isReadOnly());
}

TEST(Debugger, LinesFromFourThreadsAllArriveEachThreadInOrder) {
    TDebugger d;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&d, t] {
                for (int n = 0; n < kPerThread; ++n) {
                    // A temporary: the window must have copied it before it is gone.
                    std::string line = "t" + std::to_string(t) + " n" + std::to_string(n);
                    d.AddLine(line);
                }
            });
        }
    }
    // Only a guard against hanging: the lines normally arrive at the first pass.
    QDeadlineTimer guard(30000);
    while (d.Memo->blockCount() < kThreads * kPerThread && !guard.hasExpired())
        QCoreApplication::processEvents();

    const QStringList lines = Lines(d);
    ASSERT_EQ(lines.size(), kThreads * kPerThread);
    std::map<int, int> next;
    for (const QString& line : lines) {
        const QStringList parts = line.split(' ');
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        const int t = parts[0].mid(1).toInt();
        EXPECT_EQ(parts[1].mid(1).toInt(), next[t]++) << line.toStdString();
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(next[t], kPerThread);
}

TEST(Debugger, LinesFromTheWindowThreadAreAppendedAtOnce) {
    TDebugger d;
    d.AddLine("Pierwsza linia");
    d.AddLine("Druga – z polskimi znakami: ąę");
    EXPECT_EQ(Lines(d), (QStringList{"Pierwsza linia", "Druga – z polskimi znakami: ąę"}));
    // Only the newest lines are kept, however many come.
    for (int n = 0; n < TDebugger::kMaxLines + 500; ++n)
        d.AddLine("linia " + std::to_string(n));
    const QStringList lines = Lines(d);
    ASSERT_EQ(lines.size(), TDebugger::kMaxLines);
    EXPECT_EQ(lines.front(), "linia 500");
    EXPECT_EQ(lines.back(), QString("linia %1").arg(TDebugger::kMaxLines + 499));
}

TEST(Debugger, CtrlDTogglesFromTheMemoAndTheWindowAndPlainDDoesNot) {
    TDebugger d;
    d.show();
    PressKey(d.Memo, Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(d.isVisible());
    PressKey(&d, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(d.isVisible());
    PressKey(d.Memo, Qt::Key_D);
    EXPECT_TRUE(d.isVisible());

    d.Toggle();
    EXPECT_FALSE(d.isVisible());
    d.Toggle();
    EXPECT_TRUE(d.isVisible());
}

TEST(Debugger, StaysOnTopAndShowingAgainNeitherMovesNorResizes) {
    TDebugger d;
    d.move(120, 90);
    d.show();
    const QRect shown = d.geometry();
    d.Toggle();
    d.Toggle();
    EXPECT_EQ(d.geometry(), shown);
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

}  // namespace
}  // namespace kel
