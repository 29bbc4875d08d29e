#include "device/CDeviceController.h"
#include "numbers/CNumberCommands.h"
#include "support/EventLoopWait.h"
#include "support/RecordingView.h"
#include "support/ShortTiming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

QStringList ToRows(const Strings& numbers)
{
    QStringList rows;
    for (const std::string& number : numbers)
        rows << QString::fromStdString(number);
    return rows;
}

// The number operations on the UI thread, without a terminal: the stored
// lists live in the controller, the pages in a recording view.
class NumberListLogicTest : public ::testing::Test {
protected:
    NumberList& List(int category)
    {
        ParameterSet& params = m_device.Params();
        return category == 0 ? params.adminNumbers : category == 1 ? params.authorisedNumbers : params.backupNumbers;
    }
    // Fills slotTexts in order; an empty text leaves a gap.
    void StoreSlots(int category, const Strings& slotTexts)
    {
        for (std::size_t i = 0; i < slotTexts.size(); ++i)
            List(category)[i].Assign(slotTexts[i]);
    }
    Strings Stored(int category) { return List(category).NonEmptyNumbers(); }

    RecordingView m_view;
    CDeviceController m_device{m_view, testsupport::ShortTiming()};
    CNumberCommands m_commands{m_device};
};

// ---------------------------------------------------------------- CheckNewNumbers

struct CheckCase {
    const char* name;
    int kind;
    Strings stored;  // in the list of `kind`
    QByteArray command;
    bool accepted;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.name;
}

class CheckNewNumbersTest : public NumberListLogicTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckNewNumbersTest, RefusesNumbersTheListHoldsOrTheEntryRepeats)
{
    const CheckCase& c = GetParam();
    StoreSlots(c.kind - 1, c.stored);
    EXPECT_EQ(m_commands.CheckNewNumbers(c.command, c.kind), c.accepted);
}

const std::string k32Digits(32, '7');
const std::string k33Digits(33, '7');

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckNewNumbersTest,
    ::testing::Values(
        CheckCase{"NewNumber", 1, {"111"}, "AT+LRMADDADMINNO=222\r", true},
        CheckCase{"SeveralNewNumbers", 2, {"111"}, "AT+LRMADDLRMNO=12,3,4567\r", true},
        CheckCase{"StoredAlready", 1, {"111", "222"}, "AT+LRMADDADMINNO=222\r", false},
        CheckCase{"StoredAlreadyBeforeAComma", 3, {"", "222"}, "AT+LRMADDBKNO=12,222,34\r", false},
        CheckCase{"RepeatedInTheEntry", 2, {}, "AT+LRMADDLRMNO=12,34,12\r", false},
        CheckCase{"LastRepeatsAnEarlierOne", 3, {}, "AT+LRMADDBKNO=55,55\r", false},
        CheckCase{"EmptyLastNumber", 1, {}, "AT+LRMADDADMINNO=12,\r", false},
        CheckCase{"EmptyNumberBetweenCommas", 1, {}, "AT+LRMADDADMINNO=12,,34\r", false},
        CheckCase{"NothingAtAll", 1, {}, "AT+LRMADDADMINNO=\r", false},
        CheckCase{"LongestNumberASlotHolds", 1, {}, QByteArray("AT+LRMADDADMINNO=") + k32Digits.c_str() + "\r", true},
        CheckCase{"LongerThanASlot", 1, {}, QByteArray("AT+LRMADDADMINNO=12,") + k33Digits.c_str() + "\r", false},
        CheckCase{"OtherListsPrefix", 2, {}, "AT+LRMADDADMINNO=12\r", false},
        CheckCase{"UnknownKind", 4, {}, "AT+LRMADDADMINNO=12\r", false}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST_F(NumberListLogicTest, ANumberStoredInAnotherListIsNew)
{
    StoreSlots(0, {"111"});
    EXPECT_TRUE(m_commands.CheckNewNumbers("AT+LRMADDLRMNO=111\r", 2));
    EXPECT_FALSE(m_commands.CheckNewNumbers("AT+LRMADDADMINNO=111\r", 1));
}

TEST_F(NumberListLogicTest, OnlyOneListsWorthOfNumbersIsExamined)
{
    StoreSlots(0, {"9"});
    // 255 numbers before a stored one: the stored one is not looked at.
    QByteArray command = "AT+LRMADDADMINNO=";
    for (int i = 0; i < 255; ++i)
        command += QByteArray::number(1000 + i) + ',';
    EXPECT_TRUE(m_commands.CheckNewNumbers(command + "9\r", 1));
    // With 254 before it, it is.
    command = "AT+LRMADDADMINNO=";
    for (int i = 0; i < 254; ++i)
        command += QByteArray::number(1000 + i) + ',';
    EXPECT_FALSE(m_commands.CheckNewNumbers(command + "9\r", 1));
}

// ---------------------------------------------------------------- ApplyAddedNumbers

struct ApplyCase {
    const char* name;
    int kind;
    Strings slotTexts;  // stored before, by slot ("" = empty slot)
    Strings page;   // rows shown before
    QByteArray command;
    CNumberCommands::AddResult result;
    Strings storedAfter;  // non-empty slotTexts in slot order
    Strings pageAfter;
};

void PrintTo(const ApplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ApplyAddedNumbersTest : public NumberListLogicTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(ApplyAddedNumbersTest, StoresInTheLowestEmptySlotsAndAppendsRows)
{
    const ApplyCase& c = GetParam();
    const int category = c.kind - 1;
    StoreSlots(category, c.slotTexts);
    m_view.pages[category] = ToRows(c.page);
    QList<QByteArray> notKept;
    EXPECT_EQ(m_commands.ApplyAddedNumbers(c.command, c.kind, &notKept), c.result);
    EXPECT_EQ(Stored(category), c.storedAfter);
    EXPECT_EQ(m_view.pages[category], ToRows(c.pageAfter));
    EXPECT_TRUE(notKept.isEmpty());
    for (int other = 0; other < 3; ++other) {
        if (other != category) {
            EXPECT_TRUE(Stored(other).empty());
            EXPECT_TRUE(m_view.pages[other].isEmpty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyAddedNumbersTest,
    ::testing::Values(
        ApplyCase{"OneNumber", 1, {}, {}, "AT+LRMADDADMINNO=13800000001\r", CNumberCommands::Applied,
                  {"13800000001"}, {"13800000001"}},
        ApplyCase{"SeveralNumbers", 2, {"110"}, {"110"}, "AT+LRMADDLRMNO=120,119\r", CNumberCommands::Applied,
                  {"110", "120", "119"}, {"110", "120", "119"}},
        // Gaps left by deletions are filled first; the page shows the new
        // numbers at its end.
        ApplyCase{"GapsFirst", 3, {"111", "", "333"}, {"111", "333"}, "AT+LRMADDBKNO=444,555\r",
                  CNumberCommands::Applied, {"111", "444", "333", "555"}, {"111", "333", "444", "555"}},
        // A number the page shows stops the add; numbers before it stay.
        ApplyCase{"ShownBeforeAComma", 1, {"111"}, {"111", "999"}, "AT+LRMADDADMINNO=998,999,997\r",
                  CNumberCommands::AlreadyShown, {"111", "998"}, {"111", "999", "998"}},
        // The last number gives its slot back the same way.
        ApplyCase{"ShownLast", 2, {"111"}, {"111", "999"}, "AT+LRMADDLRMNO=998,999\r", CNumberCommands::AlreadyShown,
                  {"111", "998"}, {"111", "999", "998"}},
        ApplyCase{"LongerThanASlot", 3, {}, {}, QByteArray("AT+LRMADDBKNO=12,") + k33Digits.c_str() + "\r",
                  CNumberCommands::Malformed, {"12"}, {"12"}},
        ApplyCase{"EmptyLast", 1, {}, {}, "AT+LRMADDADMINNO=12,\r", CNumberCommands::Malformed, {"12"}, {"12"}},
        ApplyCase{"OtherListsPrefix", 1, {}, {}, "AT+LRMADDBKNO=12\r", CNumberCommands::Malformed, {}, {}}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return std::string(info.param.name); });

TEST_F(NumberListLogicTest, AFullListKeepsWhatFitsAndNamesTheRest)
{
    Strings slotTexts;
    for (int i = 0; i < 254; ++i)
        slotTexts.push_back(std::to_string(1000 + i));
    StoreSlots(0, slotTexts);
    m_view.pages[0] = ToRows(slotTexts);

    QList<QByteArray> notKept;
    EXPECT_EQ(m_commands.ApplyAddedNumbers("AT+LRMADDADMINNO=2000,2001,2002\r", 1, &notKept), CNumberCommands::Applied);
    EXPECT_EQ(notKept, (QList<QByteArray>{"2001", "2002"}));
    EXPECT_EQ(List(0)[254].ToString(), "2000");
    ASSERT_EQ(m_view.pages[0].size(), 255);
    EXPECT_EQ(m_view.pages[0].last(), QStringLiteral("2000"));

    notKept.clear();
    EXPECT_EQ(m_commands.ApplyAddedNumbers("AT+LRMADDADMINNO=3000\r", 1, &notKept), CNumberCommands::Applied);
    EXPECT_EQ(notKept, (QList<QByteArray>{"3000"}));
    EXPECT_EQ(m_view.pages[0].size(), 255);
    EXPECT_FALSE(List(0).Contains("3000"));
}

TEST_F(NumberListLogicTest, ClearNumberListEmptiesOneListAndItsPage)
{
    StoreSlots(0, {"1", "2"});
    StoreSlots(2, {"5"});
    m_view.pages[0] = ToRows({"1", "2"});
    m_view.pages[2] = ToRows({"5"});
    m_commands.ClearNumberList(1);
    EXPECT_TRUE(Stored(0).empty());
    EXPECT_TRUE(m_view.pages[0].isEmpty());
    EXPECT_EQ(Stored(2), Strings{"5"});
    EXPECT_EQ(m_view.pages[2], ToRows({"5"}));
}

// ---------------------------------------------------------------- delete confirmation

TEST(DeleteConfirmationText, PartsFollowEachOtherWithoutSeparator)
{
    const auto text = [](const QStringList& admin, const QStringList& authorised, const QStringList& backup) {
        return CNumberCommands::DeleteConfirmationText(std::array<QStringList, 3>{admin, authorised, backup});
    };
    EXPECT_EQ(text({"111", "222"}, {}, {"333"}), QStringLiteral("你将删除管理号:111,222你将删除备份号:333"));
    EXPECT_EQ(text({}, {"5"}, {}), QStringLiteral("你将删除授权号:5"));
    EXPECT_EQ(text({"1"}, {"2"}, {"3"}), QStringLiteral("你将删除管理号:1你将删除授权号:2你将删除备份号:3"));
    EXPECT_TRUE(text({}, {}, {}).isEmpty());
}

TEST_F(NumberListLogicTest, TickedNumbersComeFromTheView)
{
    m_view.ticked[0] = QStringList{"111"};
    m_view.ticked[2] = QStringList{"333", "444"};
    const std::array<QStringList, 3> ticked = m_commands.TickedNumbers();
    EXPECT_EQ(ticked[0], QStringList{"111"});
    EXPECT_TRUE(ticked[1].isEmpty());
    EXPECT_EQ(ticked[2], (QStringList{"333", "444"}));
}

// ---------------------------------------------------------------- requests that send nothing

TEST_F(NumberListLogicTest, RefusedAddsLeaveTheButtonsAlone)
{
    StoreSlots(1, {"222"});
    struct Refusal {
        int category;
        QString text;
        QString log;      // expected log line, or empty
        QString message;  // expected message box, or empty
    };
    const QString duplicate = QStringLiteral("号码重复,添加失败");
    const QString tooLong = QStringLiteral("号码长度超过32位,添加失败");
    const QList<Refusal> refusals = {
        {1, QStringLiteral("222"), duplicate, {}},
        {1, QStringLiteral("12,34,12"), duplicate, {}},
        {0, QStringLiteral("12,") + QString::fromStdString(k33Digits), {}, tooLong},
        {2, QString::fromStdString(k33Digits), {}, tooLong},
        {-1, QStringLiteral("12"), {}, {}},
        {3, QStringLiteral("12"), {}, {}},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.text.toStdString());
        m_view.logLines.clear();
        m_view.messages.clear();
        m_commands.RequestAdd(refusal.category, refusal.text);
        testsupport::SpinFor(20ms);
        EXPECT_EQ(m_view.logLines, refusal.log.isEmpty() ? QStringList() : QStringList{refusal.log});
        EXPECT_EQ(m_view.messages, refusal.message.isEmpty() ? QStringList() : QStringList{refusal.message});
        EXPECT_TRUE(m_view.busyChanges.isEmpty());
    }
    m_commands.RequestReset(-1);
    m_commands.RequestReset(3);
    testsupport::SpinFor(20ms);
    EXPECT_TRUE(m_view.busyChanges.isEmpty());
    EXPECT_TRUE(m_view.logLines.isEmpty());
}

TEST_F(NumberListLogicTest, QueueingFailuresGiveTheButtonsBackAndSaySo)
{
    m_device.Shutdown();
    struct Request {
        std::function<void()> run;
        QString failure;
    };
    const QList<Request> requests = {
        {[this] { m_commands.RequestAdd(0, QStringLiteral("123")); }, QStringLiteral("添加失败")},
        {[this] { m_commands.RequestReset(2); }, QStringLiteral("添加失败")},
        {[this] { m_commands.RequestDelete(); }, QStringLiteral("参数删除失败")},
        {[this] { m_commands.RequestPowerOnTest(); }, QStringLiteral("车载台/FN发射机上电测试命令测试失败")},
    };
    for (const Request& request : requests) {
        SCOPED_TRACE(request.failure.toStdString());
        m_view.logLines.clear();
        m_view.busyChanges.clear();
        request.run();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !m_view.logLines.isEmpty(); }));
        EXPECT_EQ(m_view.logLines, QStringList{request.failure});
        EXPECT_EQ(m_view.busyChanges, (QList<bool>{true, false}));
    }
}

}  // namespace
