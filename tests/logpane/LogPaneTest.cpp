#include "batch/CBatchConsole.h"
#include "logpane/CLogFindBar.h"
#include "logpane/CLogPane.h"
#include "support/EventLoopWait.h"
#include "support/TestFiles.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
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

TEST(LogPaneTest, TheScrollBarIsDrawnAgainOnlyWhenWhatItShowsChanges)
{
    CLogPane pane;
    PaintCounter counter;
    pane.setGeometry(0, 0, 287, 330);
    pane.verticalScrollBar()->installEventFilter(&counter);
    pane.show();
    for (int i = 0; i < 2000; ++i)
        pane.AppendLog(QStringLiteral("entry %1").arg(i));
    pane.ShowPendingEntries();
    testsupport::SpinFor(50ms);
    counter.paints = 0;
    // The slider stays at the end at its least length: nothing to draw.
    for (int i = 0; i < 20; ++i) {
        pane.AppendLog(QStringLiteral("more %1").arg(i));
        pane.ShowPendingEntries();
        testsupport::SpinFor(5ms);
        ASSERT_EQ(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
    }
    EXPECT_LE(counter.paints, 2);
    // Moved, it is drawn.
    counter.paints = 0;
    pane.verticalScrollBar()->setValue(0);
    testsupport::SpinFor(20ms);
    EXPECT_GE(counter.paints, 1);
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


// ---------------------------------------------------------------- text, hex, search, pause

// An entry as the device side hands it over: text, or a hex dump after an
// optional prefix (a time stamp).
struct Entry {
    const char* prefix;  // nullptr: a text entry
    const char* text;
};

void Append(CLogPane& pane, const Entry& entry)
{
    if (entry.prefix)
        pane.AppendHexEntry(QString::fromUtf8(entry.prefix), QString::fromUtf8(entry.text));
    else
        pane.AppendLog(QString::fromUtf8(entry.text));
}

// The hex dump of `count` bytes 0, 1, 2, ... as the display writes it.
QString HexBytes(int count)
{
    QStringList bytes;
    for (int i = 0; i < count; ++i)
        bytes << QStringLiteral("%1").arg(i & 0xff, 2, 16, QLatin1Char('0'));
    return bytes.join(QLatin1Char(' '));
}

struct HeldCase {
    const char* name;
    std::vector<Entry> entries;
    const char* text;  // the pane's text, lines joined by LF
};

class LogPaneHeldTextTest : public ::testing::TestWithParam<HeldCase> {};

TEST_P(LogPaneHeldTextTest, SelectAllAndCopyGiveExactlyTheTextHeld)
{
    const HeldCase& c = GetParam();
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    for (const Entry& entry : c.entries)
        Append(pane, entry);
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), QString::fromUtf8(c.text));
    EXPECT_EQ(pane.WholeText(), QString::fromUtf8(c.text));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogPaneHeldTextTest,
    ::testing::Values(
        HeldCase{"Text", {{nullptr, "设置APN成功"}, {nullptr, "at+apn=FIELDNET\r"}, {nullptr, "Work Mode: TCP\r\nOK"}},
                 "设置APN成功\nat+apn=FIELDNET\nWork Mode: TCP\nOK"},
        HeldCase{"Hex", {{"", "0d 0a 4f 4b"}, {"[14:05:09.123] +38 ms ", "41 42"}},
                 "0d 0a 4f 4b\n[14:05:09.123] +38 ms 41 42"},
        HeldCase{"Mixed", {{nullptr, "收到"}, {"", "00 ff"}, {nullptr, "完"}}, "收到\n00 ff\n完"},
        // A lone return breaks the line; one closing the entry does not; a
        // no-break space is held as a blank; control characters stay.
        HeldCase{"Breaks", {{nullptr, "a\rb"}, {nullptr, "AT\r\r"}, {nullptr, "x\xc2\xa0y\x01\tz"}},
                 "a\nb\nAT\nx y\x01\tz"},
        HeldCase{"Empty", {{nullptr, "\r"}, {nullptr, "a"}}, "\na"}),
    [](const ::testing::TestParamInfo<HeldCase>& info) { return info.param.name; });

struct HexRowsCase {
    const char* prefix;
    int bytes;
    int width;         // of the pane
    int bytesPerRow;   // 0: fewer than 16, as many as fit
    int rows;          // 0: as many as the bytes per row make
};

class LogPaneHexRowsTest : public ::testing::TestWithParam<HexRowsCase> {};

TEST_P(LogPaneHexRowsTest, AHexEntryIsLaidOutInRowsOfSixteenBytesUnderItsFirstByte)
{
    const HexRowsCase& c = GetParam();
    CLogPane pane;
    pane.setGeometry(0, 0, c.width, 330);
    pane.show();
    pane.AppendLog(QStringLiteral("before"));
    pane.AppendHexEntry(QString::fromUtf8(c.prefix), HexBytes(c.bytes));
    pane.ShowPendingEntries();
    const CLogLines& lines = pane.Lines();
    ASSERT_EQ(lines.BlockCount(), 2);
    ASSERT_TRUE(lines.IsHex(1));
    const QString& text = lines.BlockText(1);
    const int hexStart = lines.HexStart(1);
    EXPECT_EQ(text.left(hexStart), QString::fromUtf8(c.prefix));
    // Row 1 starts with the byte after the first row's last.
    const int perRow = (lines.RowStart(1, 1) - hexStart) / 3;
    if (c.bytesPerRow > 0)
        EXPECT_EQ(perRow, c.bytesPerRow);
    else
        EXPECT_LT(perRow, CLogLines::kHexBytesPerRow);
    EXPECT_GE(perRow, 1);
    const int rows = c.rows > 0 ? c.rows : (c.bytes + perRow - 1) / perRow;
    ASSERT_EQ(lines.RowsOf(1), rows);
    auto& editable = const_cast<CLogLines&>(lines);
    const qreal firstByte = editable.X(1, 0, hexStart);
    for (int row = 1; row < rows; ++row) {
        const int start = lines.RowStart(1, row);
        EXPECT_EQ(text.mid(start, 2), QStringLiteral("%1").arg(row * perRow, 2, 16, QLatin1Char('0'))) << row;
        EXPECT_DOUBLE_EQ(editable.X(1, row, start), firstByte) << "row " << row << " is not under the first byte";
        EXPECT_LE(editable.X(1, row, lines.RowEnd(1, row) - 1), pane.viewport()->width()) << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LogPaneHexRowsTest,
                         ::testing::Values(HexRowsCase{"", 40, 600, 16, 3}, HexRowsCase{"", 16, 600, 16, 1},
                                           HexRowsCase{"", 17, 600, 16, 2},
                                           HexRowsCase{"[14:05:09.123] +38 ms ", 40, 700, 16, 3},
                                           HexRowsCase{"", 40, 200, 0, 0},
                                           HexRowsCase{"[14:05:09.123] ", 40, 287, 0, 0}));

struct FindCase {
    const char* name;
    std::vector<Entry> entries;
    const char* query;
    int matches;
};

class LogPaneFindTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(LogPaneFindTest, TheFindBarCountsEveryMatchAndStepsThroughThem)
{
    const FindCase& c = GetParam();
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    for (const Entry& entry : c.entries)
        Append(pane, entry);
    pane.ShowPendingEntries();
    QTest::keyClick(&pane, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(pane.IsFindBarOpen());
    auto* text = pane.FindBar()->findChild<QLineEdit*>(QStringLiteral("logFindText"));
    ASSERT_NE(text, nullptr);
    const QString query = QString::fromUtf8(c.query);
    if (query.toLatin1() == c.query)
        QTest::keyClicks(text, query);
    else
        text->insert(query);  // as an input method would
    ASSERT_EQ(pane.MatchCount(), c.matches);
    if (c.matches == 0) {
        EXPECT_EQ(pane.CurrentMatch(), -1);
        EXPECT_EQ(pane.FindBar()->CountText(), QStringLiteral("0/0"));
        return;
    }
    // Typing shows the first match; Enter and F3 go on, round to the first.
    EXPECT_EQ(pane.CurrentMatch(), 0);
    std::vector<int> seen;
    for (int step = 0; step < c.matches; ++step) {
        QTest::keyClick(text, step % 2 ? Qt::Key_F3 : Qt::Key_Return);
        seen.push_back(pane.CurrentMatch());
    }
    std::vector<int> expected;
    for (int step = 1; step <= c.matches; ++step)
        expected.push_back(step % c.matches);
    EXPECT_EQ(seen, expected);
    QTest::keyClick(text, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(pane.CurrentMatch(), c.matches - 1);
    QTest::keyClick(text, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(pane.CurrentMatch(), std::max(c.matches - 2, 0));
    EXPECT_EQ(pane.FindBar()->CountText(), QStringLiteral("%1/%2").arg(pane.CurrentMatch() + 1).arg(c.matches));
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_FALSE(pane.IsFindBarOpen());
    EXPECT_EQ(pane.MatchCount(), 0);
}

const std::vector<Entry> kDump = {{nullptr, "OK"}, {"", "0d 0a 4f 4b 0d 0a"}, {"[14:05:09.123] ", "0d 0a"}};

INSTANTIATE_TEST_SUITE_P(
    Table, LogPaneFindTest,
    ::testing::Values(
        FindCase{"Text", {{nullptr, "设置APN成功"}, {nullptr, "apn apn\r\nAPN"}}, "apn", 4},
        FindCase{"Chinese", {{nullptr, "设置APN成功"}, {nullptr, "设置失败"}}, "设置", 2},
        FindCase{"NotThere", {{nullptr, "设置APN成功"}}, "xyz", 0},
        FindCase{"HexAsShown", kDump, "0d 0a", 3},
        FindCase{"HexWithoutBlanks", kDump, "0D0A", 3},
        FindCase{"HexBytesOnly", kDump, "4f4b", 1},
        FindCase{"OkInTextAndBytes", kDump, "4f 4b", 1},
        FindCase{"NotAcrossBytes", kDump, "d0a4", 0},
        FindCase{"Prefix", kDump, "14:05", 1}),
    [](const ::testing::TestParamInfo<FindCase>& info) { return info.param.name; });

TEST(LogPaneFindTest, EntriesArrivingKeepTheMatchShownAndItsPlace)
{
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    for (int i = 0; i < 100; ++i)
        pane.AppendLog(QStringLiteral("line %1 mark").arg(i));
    pane.ShowPendingEntries();
    pane.SetFindText(QStringLiteral("mark"));
    pane.FindNext();
    pane.FindNext();
    const int current = pane.CurrentMatch();
    const int top = pane.FirstVisibleRow();
    for (int i = 0; i < 50; ++i)
        pane.AppendLog(QStringLiteral("more mark"));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.MatchCount(), 150);
    EXPECT_EQ(pane.CurrentMatch(), current);
    EXPECT_EQ(pane.FirstVisibleRow(), top);
    EXPECT_EQ(pane.FindBar()->CountText(), QStringLiteral("%1/150").arg(current + 1));
}

TEST(LogPaneKeysTest, CtrlFInCommunicationModeOpensTheFindBarAndSendsNothing)
{
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.SetTerminalInput(true);
    pane.show();
    pane.AppendLog(QStringLiteral("OK"));
    QSignalSpy typed(&pane, &CLogPane::bytesTyped);
    QTest::keyClick(&pane, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(pane.IsFindBarOpen());
    // What is typed into the find bar stays there, whatever it is.
    auto* text = pane.FindBar()->findChild<QLineEdit*>(QStringLiteral("logFindText"));
    QTest::keyClicks(text, QStringLiteral("OK"));
    QTest::keyClick(text, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(pane.MatchCount(), 1);
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_FALSE(pane.IsFindBarOpen());
    EXPECT_EQ(typed.count(), 0);
    // The pane's keys go to the terminal again, Tab too (not to the next
    // control); paging keys scroll and send nothing.
    QTest::keyClicks(&pane, QStringLiteral("a"));
    QTest::keyClick(&pane, Qt::Key_Tab);
    QTest::keyClick(&pane, Qt::Key_PageUp);
    QTest::keyClick(&pane, Qt::Key_Return);
    QList<QByteArray> sent;
    for (const QList<QVariant>& bytes : typed)
        sent << bytes[0].toByteArray();
    EXPECT_EQ(sent, (QList<QByteArray>{"a", "\t", "\r"}));
}

// Whether entries arrive while the display is paused, and whether they
// start the pane afresh.
struct PauseCase {
    const char* name;
    int before;   // characters shown before the pause
    int during;   // entries of 1000 characters arriving during it
};

class LogPanePauseTest : public ::testing::TestWithParam<PauseCase> {};

TEST_P(LogPanePauseTest, APausedPaneStaysAsItWasAndResumesWithWhatItWouldShow)
{
    const PauseCase& c = GetParam();
    CLogPane pane;
    CLogPane reference;  // never paused
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    const auto feed = [&](const QString& entry) {
        pane.AppendLog(entry);
        reference.AppendLog(entry);
    };
    for (int shown = 0; shown < c.before; shown += 100)
        feed(QString(98, QLatin1Char('a')));
    pane.ShowPendingEntries();
    pane.verticalScrollBar()->setValue(pane.verticalScrollBar()->maximum() / 2);
    const QString frozen = pane.toPlainText();
    const int top = pane.FirstVisibleRow();
    const QImage picture = pane.viewport()->grab().toImage();

    pane.SetDisplayPaused(true);
    EXPECT_TRUE(pane.IsDisplayPaused());
    for (int i = 0; i < c.during; ++i)
        feed(QStringLiteral("%1 ").arg(i) + QString(996, QLatin1Char('b')));
    testsupport::SpinFor(std::chrono::milliseconds(3 * CLogPane::kShowPeriodMs));
    pane.ShowPendingEntries();
    EXPECT_EQ(pane.toPlainText(), frozen);
    EXPECT_EQ(pane.FirstVisibleRow(), top);
    EXPECT_EQ(pane.viewport()->grab().toImage(), picture);
    EXPECT_EQ(pane.CharacterCount(), reference.CharacterCount());
    EXPECT_EQ(pane.WholeText(), reference.WholeText());  // saving takes it all
    EXPECT_EQ(pane.toPlainText(), frozen);

    pane.SetDisplayPaused(false);
    EXPECT_EQ(pane.toPlainText(), reference.WholeText());
}

INSTANTIATE_TEST_SUITE_P(Table, LogPanePauseTest,
                         ::testing::Values(PauseCase{"NothingArrives", 5000, 0}, PauseCase{"SomeArrive", 5000, 3},
                                           PauseCase{"AFreshStart", 28000, 3},
                                           PauseCase{"SeveralFreshStarts", 28000, 100}),
                         [](const ::testing::TestParamInfo<PauseCase>& info) { return info.param.name; });

TEST(LogPaneTest, AViewScrolledUpStaysWhereItIsWhileEntriesArrive)
{
    CLogPane pane;
    pane.setGeometry(0, 0, 287, 330);
    pane.show();
    for (int i = 0; i < 200; ++i)
        pane.AppendLog(QStringLiteral("entry %1").arg(i));
    pane.ShowPendingEntries();
    ASSERT_TRUE(pane.IsEndVisible());
    QTest::keyClick(&pane, Qt::Key_PageUp);
    QTest::keyClick(&pane, Qt::Key_PageUp);
    const int top = pane.FirstVisibleRow();
    ASSERT_LT(top, pane.Lines().RowCount() - 2 * pane.VisibleRowCount());
    const QImage picture = pane.viewport()->grab().toImage();
    for (int i = 0; i < 100; ++i) {
        pane.AppendLog(QStringLiteral("later %1").arg(i));
        pane.ShowPendingEntries();
    }
    EXPECT_EQ(pane.FirstVisibleRow(), top);
    EXPECT_EQ(pane.viewport()->grab().toImage(), picture);
    // Back at the end, the pane follows the newest entry again.
    QTest::keyClick(&pane, Qt::Key_End, Qt::ControlModifier);
    pane.AppendLog(QStringLiteral("newest"));
    pane.ShowPendingEntries();
    EXPECT_TRUE(pane.IsEndVisible());
}

TEST(LogPaneTest, AssistiveToolsReadItAsANamedTextWithItsSelection)
{
    CLogPane pane;
    pane.setAccessibleName(QStringLiteral("日志"));
    pane.AppendLog(QStringLiteral("设置APN成功"));
    pane.AppendHexEntry(QStringLiteral("[14:05:09.123] "), QStringLiteral("0d 0a"));
    pane.ShowPendingEntries();
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(&pane);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->role(), QAccessible::EditableText);
    EXPECT_EQ(shown->text(QAccessible::Name), QStringLiteral("日志"));
    EXPECT_TRUE(shown->state().readOnly);
    QAccessibleTextInterface* text = shown->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()), pane.toPlainText());
    text->setSelection(0, 5, 22);
    EXPECT_EQ(pane.SelectedText(), QStringLiteral("成功\n[14:05:09.123]"));
    int start = 0;
    int end = 0;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(5, 22));
    pane.SetTerminalInput(true);
    EXPECT_FALSE(shown->state().readOnly);
}

// Selects with the mouse from `from` to `to` (in the pane's viewport).
void Drag(CLogPane& pane, QPoint from, QPoint to)
{
    QWidget* view = pane.viewport();
    QMouseEvent press(QEvent::MouseButtonPress, from, view->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &press);
    QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, view->mapToGlobal(to), Qt::LeftButton, {}, {});
    QApplication::sendEvent(view, &release);
}

// Draws text, a hex dump and a search; saved as pictures when
// SIRENSET_SCREENSHOT_DIR names a folder.
TEST(LogPaneLookTest, MatchesAndTheSelectionAreMarked)
{
    CLogPane pane;
    pane.setGeometry(0, 0, 420, 260);
    pane.show();
    pane.AppendLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态..."));
    pane.AppendLog(QStringLiteral("Work Mode: TCP\r\nOK\r\n"));
    pane.AppendHexEntry(QStringLiteral("[14:05:09.123] "), HexBytes(40));
    pane.AppendHexEntry(QString(), HexBytes(20));
    pane.AppendLog(QStringLiteral("设置APN成功"));
    pane.ShowPendingEntries();
    pane.SetFindText(QStringLiteral("0d0e"));
    ASSERT_EQ(pane.MatchCount(), 2);
    Drag(pane, QPoint(10, 5), QPoint(150, 40));
    ASSERT_TRUE(pane.HasSelection());
    const QImage picture = pane.grab().toImage();
    const auto has = [&](QRgb color) {
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if ((picture.pixel(x, y) & 0xffffff) == (color & 0xffffff))
                    return true;
        return false;
    };
    EXPECT_TRUE(has(QColor(255, 236, 140).rgb())) << "no match marked";
    EXPECT_TRUE(has(QColor(255, 170, 60).rgb())) << "the current match is not marked";
    EXPECT_TRUE(has(pane.palette().color(QPalette::Highlight).rgb())) << "no selection";
    const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
        pane.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/log_pane_%1.png").arg(scale));
    }
}

}  // namespace
