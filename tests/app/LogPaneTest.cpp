#include "app/CBatchConsole.h"
#include "app/CLogPane.h"
#include "support/EventLoopWait.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------- the limit

// Entries shown as they come (each after a quiet spell) and entries that
// arrive together and wait for the end of the show period must give the
// same text.
enum class Arrival { OneByOne, Together };

struct LimitCase {
    int held;          // characters in the pane before the new entry
    bool startsAfresh;
};

class LogPaneLimitTest : public ::testing::TestWithParam<std::tuple<LimitCase, Arrival>> {};

TEST_P(LogPaneLimitTest, AnEntryPastTheLimitLeavesThePaneWithThatEntryOnly)
{
    const auto& [c, arrival] = GetParam();
    CLogPane pane;
    pane.AppendLog(QString(c.held, QLatin1Char('a')));
    ASSERT_EQ(pane.CharacterCount(), c.held);
    if (arrival == Arrival::OneByOne)
        pane.ShowPendingEntries();

    pane.AppendLog(QStringLiteral("next"));
    pane.ShowPendingEntries();
    if (c.startsAfresh) {
        EXPECT_EQ(pane.toPlainText(), QStringLiteral("next"));
        EXPECT_EQ(pane.CharacterCount(), 4);
    } else {
        EXPECT_EQ(pane.toPlainText(), QString(c.held, QLatin1Char('a')) + QStringLiteral("\nnext"));
        EXPECT_EQ(pane.CharacterCount(), c.held + 2 + 4);
    }
}

// The old text and its CR LF separator must stay within 30000 characters.
INSTANTIATE_TEST_SUITE_P(Table, LogPaneLimitTest, ::testing::Combine(
    ::testing::Values(
        LimitCase{1, false},
        LimitCase{29997, false},
        LimitCase{29998, false},    // 29998 + 2 = 30000: still takes one more
        LimitCase{29999, true},
        LimitCase{30000, true},
        LimitCase{45000, true}),
    ::testing::Values(Arrival::OneByOne, Arrival::Together)));

TEST(LogPaneTest, EntriesAddUpWithTheirSeparatorsUntilTheLimit)
{
    CLogPane pane;
    const QString entry(10000, QLatin1Char('x'));
    pane.AppendLog(entry);
    pane.AppendLog(entry);
    pane.AppendLog(entry);
    EXPECT_EQ(pane.CharacterCount(), 30004);
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.Lines().BlockCount(), 3);

    pane.AppendLog(QStringLiteral("fresh"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("fresh"));
    EXPECT_EQ(pane.Lines().BlockCount(), 1);
}

TEST(LogPaneTest, AFreshStartDiscardsEntriesNotYetShown)
{
    CLogPane pane;
    pane.AppendLog(QString(20000, QLatin1Char('a')));  // shown at once
    pane.AppendLog(QString(9999, QLatin1Char('b')));   // waits; the text is now past the limit
    pane.AppendLog(QString(2000, QLatin1Char('c')));   // waits, then starts afresh
    pane.AppendLog(QStringLiteral("d"));
    EXPECT_EQ(pane.CharacterCount(), 2003);
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), QString(2000, QLatin1Char('c')) + QStringLiteral("\nd"));
}

TEST(LogPaneTest, LineBreaksInsideAnEntryCountAsCrLf)
{
    CLogPane pane;
    pane.AppendLog(QStringLiteral("a\r\nb"));
    EXPECT_EQ(pane.CharacterCount(), 4);
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("a\nb"));
    pane.AppendLog(QString(29992, QLatin1Char('c')));
    EXPECT_EQ(pane.CharacterCount(), 29998);
    pane.AppendLog(QStringLiteral("kept"));
    pane.ShowPendingEntries();
    EXPECT_TRUE(pane.toPlainText().startsWith(QStringLiteral("a\nb\n")));
    EXPECT_TRUE(pane.toPlainText().endsWith(QStringLiteral("c\nkept")));
    pane.AppendLog(QStringLiteral("alone"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("alone"));
}

// ---------------------------------------------------------------- what is shown

struct ShownCase {
    const char* name;
    const char* logged;    // as the device side logs it (UTF-8)
    const char* pane;      // as the pane shows it
    const char* console;   // as a run without a window prints it
};

class LoggedTextTest : public ::testing::TestWithParam<ShownCase> {};

TEST_P(LoggedTextTest, ACommandShowsWithoutItsClosingReturn)
{
    const ShownCase& c = GetParam();
    const QString logged = QString::fromUtf8(c.logged);
    CLogPane pane;
    pane.AppendLog(QStringLiteral("前一行"));
    pane.AppendLog(logged);
    pane.AppendLog(QStringLiteral("设置APN成功"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(),
              QStringLiteral("前一行\n") + QString::fromUtf8(c.pane) + QStringLiteral("\n设置APN成功"));
    // The count is the log's own: the command's return still counts.
    EXPECT_EQ(pane.CharacterCount(), 3 + 2 + logged.size() + 2 + 7);
    EXPECT_EQ(CBatchConsole::Printable(logged), QString::fromUtf8(c.console));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoggedTextTest,
    ::testing::Values(ShownCase{"Command", "at+apn=FIELDNET\r", "at+apn=FIELDNET", "at+apn=FIELDNET"},
                      ShownCase{"Plain", "参数加载完成...", "参数加载完成...", "参数加载完成..."},
                      ShownCase{"EndsInCrLf", "正在装载设备的配置参数 ...\r\n", "正在装载设备的配置参数 ...\n",
                                "正在装载设备的配置参数 ...\n"},
                      ShownCase{"TwoLines", ">>> 串口已打开\r\n正在等待", ">>> 串口已打开\n正在等待",
                                ">>> 串口已打开\n正在等待"},
                      // Only the command's own return goes; the console
                      // keeps one received before it as a line end (the
                      // pane's text shows none for a lone return).
                      ShownCase{"TwoReturns", "AT\r\r", "AT", "AT\n"},
                      ShownCase{"ReturnAlone", "\r", "", ""}),
    [](const ::testing::TestParamInfo<ShownCase>& info) { return info.param.name; });

TEST(LogPaneTest, AppendingLeavesTheEarlierTextAlone)
{
    // A busy line adds an entry per read: the earlier text must not be set
    // again each time, only the new entries added at the end.
    CLogPane pane;
    pane.AppendLog(QStringLiteral("first"));
    ASSERT_EQ(pane.Lines().BlockCount(), 1);
    const QChar* first = pane.Lines().BlockText(0).constData();
    pane.AppendLog(QStringLiteral("second"));
    pane.AppendLog(QStringLiteral("third"));
    pane.ShowPendingEntries();
    ASSERT_EQ(pane.Lines().BlockCount(), 3);
    EXPECT_EQ(pane.Lines().BlockText(0).constData(), first) << "the first line was set again";
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("first\nsecond\nthird"));
}

// ---------------------------------------------------------------- showing

bool EndIsVisible(CLogPane& pane)
{
    return pane.IsEndVisible();
}

TEST(LogPaneTest, TheNewestEntryIsAlwaysInView)
{
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);  // the communication layout's size
    pane.show();
    for (int i = 0; i < 300; ++i) {
        pane.AppendLog(QStringLiteral("%1 ").arg(i) + QString(120, QLatin1Char('7')));
        pane.ShowPendingEntries();
        ASSERT_TRUE(EndIsVisible(pane)) << "entry " << i;
    }
    // Starting afresh with one long, wrapped entry shows its end, too.
    while (pane.CharacterCount() + 2 <= CLogPane::kMaxCharacters)
        pane.AppendLog(QString(500, QLatin1Char('5')));
    pane.AppendLog(QString(6000, QLatin1Char('9')) + QStringLiteral(" end"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.Lines().BlockCount(), 1);
    EXPECT_TRUE(EndIsVisible(pane));
}

TEST(LogPaneTest, ASelectionSurvivesNewEntries)
{
    // The user may copy from the pane while data keeps arriving.
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    pane.AppendLog(QStringLiteral("keep this"));
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, QPoint(10, 8));
    pane.AppendLog(QStringLiteral("more"));
    pane.ShowPendingEntries();
    pane.AppendLog(QStringLiteral("and more"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.SelectedText(), QStringLiteral("keep"));
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

TEST(LogPaneTest, AnEntryAfterAQuietSpellIsShownAtOnce)
{
    CLogPane pane;
    pane.AppendLog(QStringLiteral("one"));
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("one"));
    testsupport::SpinFor(std::chrono::milliseconds(3 * CLogPane::kShowPeriodMs));
    pane.AppendLog(QStringLiteral("two"));
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("one\ntwo"));
}

TEST(LogPaneTest, ABurstOfEntriesIsShownTogetherWhenThePeriodEnds)
{
    CLogPane pane;
    PaintCounter counter;
    pane.setGeometry(0, 0, 287, 330);
    pane.viewport()->installEventFilter(&counter);
    pane.show();
    testsupport::SpinFor(50ms);
    counter.paints = 0;

    for (int i = 0; i < 200; ++i)
        pane.AppendLog(QStringLiteral("entry %1").arg(i));
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("entry 0"));  // the rest waits
    ASSERT_TRUE(testsupport::WaitUntil([&] { return pane.Lines().BlockCount() == 200; }, 2s));
    testsupport::SpinFor(50ms);
    EXPECT_TRUE(pane.toPlainText().endsWith(QStringLiteral("entry 198\nentry 199")));
    EXPECT_TRUE(EndIsVisible(pane));
    // Drawn, but not once per entry.
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 10);
}

TEST(LogPaneTest, ASteadyStreamOfEntriesIsShownAsItComes)
{
    // An entry every few milliseconds for half a second: the pane must keep
    // showing entries while the stream runs, not only when it ends.
    CLogPane pane;
    PaintCounter counter;
    pane.setGeometry(0, 0, 287, 330);
    pane.viewport()->installEventFilter(&counter);
    pane.show();
    testsupport::SpinFor(50ms);
    counter.paints = 0;

    int sent = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] { pane.AppendLog(QStringLiteral("entry %1").arg(sent++)); });
    feed.start(3);
    testsupport::SpinFor(500ms);
    const int paintsWhileStreaming = counter.paints;
    const int shownWhileStreaming = pane.Lines().BlockCount();
    feed.stop();
    ASSERT_GT(sent, 50);
    EXPECT_GE(paintsWhileStreaming, 5) << sent << " entries";
    EXPECT_LT(paintsWhileStreaming, sent);
    EXPECT_GE(shownWhileStreaming, sent / 2);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return pane.Lines().BlockCount() == sent; }, 2s));
}

TEST(LogPaneTest, ClearStartsTheCountAgain)
{
    CLogPane pane;
    pane.AppendLog(QString(29000, QLatin1Char('a')));
    pane.AppendLog(QStringLiteral("waiting"));
    pane.ClearLog();
    EXPECT_EQ(pane.CharacterCount(), 0);
    testsupport::SpinFor(std::chrono::milliseconds(3 * CLogPane::kShowPeriodMs));
    EXPECT_EQ(pane.toPlainText(), QString());  // the waiting entry went too
    pane.AppendLog(QStringLiteral("one"));
    pane.AppendLog(QStringLiteral("two"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("one\ntwo"));
}

// ---------------------------------------------------------------- saving

TEST(LogPaneSaveTest, TheWholeTextIsSavedAsUtf8WithTheEntriesStillWaiting)
{
    QTemporaryDir dir;
    CLogPane pane;
    pane.AppendLog(QStringLiteral("设置APN成功"));
    pane.ShowPendingEntries();
    pane.AppendLog(QStringLiteral("at+apn=FIELDNET\r"));   // shown without its CR
    pane.AppendLog(QStringLiteral("Work Mode: TCP\r\nOK"));  // still waiting
    const QString path = dir.filePath(QStringLiteral("pane.log"));
    QString why;
    ASSERT_TRUE(pane.SaveTo(path, &why)) << why.toStdString();
    EXPECT_EQ(testsupport::ReadFileBytes(path),
              QStringLiteral("设置APN成功\nat+apn=FIELDNET\nWork Mode: TCP\nOK\n").toUtf8());
    EXPECT_EQ(pane.WholeText(), QStringLiteral("设置APN成功\nat+apn=FIELDNET\nWork Mode: TCP\nOK"));

    // Saving again replaces the file.
    pane.ClearLog();
    pane.AppendLog(QStringLiteral("只有这一条"));
    ASSERT_TRUE(pane.SaveTo(path));
    EXPECT_EQ(testsupport::ReadFileBytes(path), QStringLiteral("只有这一条\n").toUtf8());
}

TEST(LogPaneSaveTest, AFileThatCannotBeWrittenGivesTheReasonAndLeavesTheOldOne)
{
    QTemporaryDir dir;
    CLogPane pane;
    pane.AppendLog(QStringLiteral("entry"));
    QString why;
    EXPECT_FALSE(pane.SaveTo(dir.filePath(QStringLiteral("missing/pane.log")), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/pane.log"))));
}

TEST(LogPaneSaveTest, TheMenuEntryAsksForTheFileAndIsOffWhileThePaneIsEmpty)
{
    CLogPane pane;
    std::unique_ptr<QMenu> empty(pane.CreateContextMenu());
    QAction* save = empty->findChild<QAction*>(QStringLiteral("saveLogAction"));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QStringLiteral("保存日志…"));
    EXPECT_FALSE(save->isEnabled());

    pane.AppendLog(QStringLiteral("entry"));
    std::unique_ptr<QMenu> menu(pane.CreateContextMenu());
    save = menu->findChild<QAction*>(QStringLiteral("saveLogAction"));
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->isEnabled());
    QSignalSpy asked(&pane, &CLogPane::saveLogRequested);
    save->trigger();
    EXPECT_EQ(asked.count(), 1);
}

}  // namespace
