#include "NumberSessionFixture.h"

#include "device/CModeSwitcher.h"

namespace {

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------- add

struct AddCase {
    const char* name;
    int category;
    Strings before;  // the terminal's list at power-on
    const char* entry;
    const char* command;  // as the terminal received it (no CR)
    const char* success;
    Strings after;
};

void PrintTo(const AddCase& c, std::ostream* os)
{
    *os << c.name;
}

class NumberAddTest : public NumberSessionTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(NumberAddTest, AcknowledgedNumbersAreStoredAndShown)
{
    const AddCase& c = GetParam();
    Strings lists[3];
    lists[c.category] = c.before;
    ASSERT_TRUE(EnterConfiguration(lists[0], lists[1], lists[2])) << Log().toStdString();
    ASSERT_EQ(m_view.pages[c.category], Rows(c.before));

    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(c.category, QString::fromLatin1(c.entry)); }));
    EXPECT_EQ(Commands(), Strings{c.command});
    EXPECT_EQ(m_view.logLines, (QStringList{QString::fromLatin1(c.command) + QLatin1Char('\r'), QString::fromUtf8(c.success)}));
    EXPECT_EQ(m_view.busyChanges, (QList<bool>{true, false}));
    EXPECT_EQ(Stored(c.category), c.after);
    EXPECT_EQ(m_view.pages[c.category], Rows(c.after));
    EXPECT_EQ(TerminalList(c.category), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NumberAddTest,
    ::testing::Values(
        AddCase{"AdminOne", 0, {}, "13800000001", "AT+LRMADDADMINNO=13800000001", "管理号码添加成功", {"13800000001"}},
        AddCase{"AdminSeveral", 0, {"110"}, "120,119,13912345678", "AT+LRMADDADMINNO=120,119,13912345678",
                "管理号码添加成功", {"110", "120", "119", "13912345678"}},
        AddCase{"AuthorisedOne", 1, {"110"}, "5555", "AT+LRMADDLRMNO=5555", "授权号码添加成功", {"110", "5555"}},
        AddCase{"AuthorisedSeveral", 1, {}, "12,3,456", "AT+LRMADDLRMNO=12,3,456", "授权号码添加成功",
                {"12", "3", "456"}},
        AddCase{"BackupOne", 2, {"1", "2"}, "33", "AT+LRMADDBKNO=33", "备份号码添加成功", {"1", "2", "33"}},
        AddCase{"BackupSeveral", 2, {}, "66,77", "AT+LRMADDBKNO=66,77", "备份号码添加成功", {"66", "77"}}),
    [](const ::testing::TestParamInfo<AddCase>& info) { return std::string(info.param.name); });

TEST_F(NumberSessionTest, DuplicatesAreRefusedBeforeAnythingIsSent)
{
    ASSERT_TRUE(EnterConfiguration({"111"}, {"222"}, {"333"})) << Log().toStdString();
    const struct {
        int category;
        const char* entry;
    } refusals[] = {{0, "111"}, {1, "12,222"}, {2, "12,34,12"}, {2, "55,55"}};
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.entry);
        m_view.logLines.clear();
        m_commands.RequestAdd(refusal.category, QString::fromLatin1(refusal.entry));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !m_view.logLines.isEmpty(); }));
        testsupport::SpinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(m_view.logLines, QStringList{QStringLiteral("号码重复,添加失败")});
    }
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(m_view.busyChanges.isEmpty());
    EXPECT_EQ(Stored(2), Strings{"333"});
}

TEST_F(NumberSessionTest, ANumberLongerThanASlotIsRefusedWithABox)
{
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    const QString tooLong(33, QLatin1Char('8'));
    for (const QString& entry : {tooLong, QStringLiteral("12,") + tooLong}) {
        m_commands.RequestAdd(0, entry);
        testsupport::SpinFor(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(m_view.messages, QStringList(2, QStringLiteral("号码长度超过32位,添加失败")));
    EXPECT_TRUE(m_view.logLines.isEmpty());
    EXPECT_TRUE(Commands().empty());

    // The longest number a slot holds goes through whole.
    const QString longest(32, QLatin1Char('8'));
    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(0, longest); }));
    EXPECT_EQ(Stored(0), Strings{longest.toStdString()});
    EXPECT_EQ(m_view.pages[0], QStringList{longest});
}

TEST_F(NumberSessionTest, AnUnacknowledgedAddChangesNothing)
{
    ASSERT_TRUE(EnterConfiguration({}, {}, {"1"})) << Log().toStdString();
    SilenceCommands({"AT+LRMADDBKNO"});
    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(2, QStringLiteral("22,33")); }));
    EXPECT_EQ(Commands(), Strings{"AT+LRMADDBKNO=22,33"});
    EXPECT_EQ(m_view.logLines, (QStringList{QStringLiteral("AT+LRMADDBKNO=22,33\r"), QStringLiteral("备份号码添加失败")}));
    EXPECT_EQ(Stored(2), Strings{"1"});
    EXPECT_EQ(m_view.pages[2], QStringList{QStringLiteral("1")});
}

TEST_F(NumberSessionTest, CommunicationModeDuringAnUnansweredAddStillLogsTheFailure)
{
    ASSERT_TRUE(EnterConfiguration({}, {}, {"1"})) << Log().toStdString();
    SilenceCommands({"AT+LRMADDBKNO"});
    m_commands.RequestAdd(2, QStringLiteral("22,33"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !Commands().empty(); }));
    // Only the wait for the power-on is released by the mode switch; the
    // add runs to its own time-out.
    m_device.Modes().OnCommunicationModeChosen();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(m_view.logLines, (QStringList{QStringLiteral(">>> 重启(或重新上电)设备后将进入通信状态！"),
                                            QStringLiteral("AT+LRMADDBKNO=22,33\r"),
                                            QStringLiteral("备份号码添加失败")}));
    EXPECT_EQ(Stored(2), Strings{"1"});
    EXPECT_EQ(m_view.pages[2], QStringList{QStringLiteral("1")});
}

TEST_F(NumberSessionTest, ANumberThePageShowsStopsTheAdd)
{
    ASSERT_TRUE(EnterConfiguration({"111"})) << Log().toStdString();
    // A row the stored list does not hold (the page is only a view).
    m_view.pages[0] << QStringLiteral("999");
    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(0, QStringLiteral("998,999,997")); }));
    EXPECT_EQ(m_view.logLines,
              (QStringList{QStringLiteral("AT+LRMADDADMINNO=998,999,997\r"), QStringLiteral("管理号码添加重复!")}));
    EXPECT_EQ(Stored(0), (Strings{"111", "998"}));
    EXPECT_EQ(m_view.pages[0], (QStringList{"111", "999", "998"}));
}

TEST_F(NumberSessionTest, AFullListSaysWhichNumbersItCouldNotKeep)
{
    // A terminal that takes more numbers than the tool's 255 slots.
    SimulatorOptions options = Sim().Options();
    options.validateValues = false;
    Sim().SetOptions(options);
    Strings admin;
    for (int i = 0; i < 254; ++i)
        admin.push_back(std::to_string(1000 + i));
    ASSERT_TRUE(EnterConfiguration(admin)) << Log().toStdString();
    ASSERT_EQ(Stored(0).size(), 254u);

    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(0, QStringLiteral("2000,2001,2002")); }));
    EXPECT_EQ(m_view.logLines, (QStringList{QStringLiteral("AT+LRMADDADMINNO=2000,2001,2002\r"),
                                            QStringLiteral("管理号码添加成功"),
                                            QStringLiteral("本地管理号码列表已满(255个),未能保存: 2001,2002")}));
    EXPECT_EQ(Slot(0, 254), "2000");
    ASSERT_EQ(m_view.pages[0].size(), 255);
    EXPECT_EQ(m_view.pages[0].last(), QStringLiteral("2000"));
    EXPECT_EQ(TerminalList(0).size(), 257u);
}

// ---------------------------------------------------------------- delete

TEST_F(NumberSessionTest, DeleteSendsOneCommandPerListAndEmptiesEveryCopy)
{
    ASSERT_TRUE(EnterConfiguration({"111", "222", "111", "333"}, {"444"}, {"777", "888"})) << Log().toStdString();
    ASSERT_EQ(Slot(0, 2), "111");
    m_view.ticked[0] = QStringList{"111", "333"};
    m_view.ticked[2] = QStringList{"888"};

    ASSERT_TRUE(Run([&] { m_commands.RequestDelete(); }));
    EXPECT_EQ(Commands(), (Strings{"AT+LRMDELADMINNO=111,333", "AT+LRMDELBKNO=888"}));
    ASSERT_EQ(m_view.logLines.size(), 4) << Log().toStdString();
    EXPECT_TRUE(m_view.logLines[0].contains(QStringLiteral("OK")));
    EXPECT_EQ(m_view.logLines[1], QStringLiteral("删除管理号码成功..."));
    EXPECT_TRUE(m_view.logLines[2].contains(QStringLiteral("OK")));
    EXPECT_EQ(m_view.logLines[3], QStringLiteral("删除备份号码成功..."));
    EXPECT_EQ(Stored(0), Strings{"222"});
    EXPECT_EQ(Stored(1), Strings{"444"});
    EXPECT_EQ(Stored(2), Strings{"777"});
    // The pages are rebuilt from the stored lists, nothing ticked.
    EXPECT_EQ(m_view.pages[0], QStringList{"222"});
    EXPECT_EQ(m_view.pages[1], QStringList{"444"});
    EXPECT_EQ(m_view.pages[2], QStringList{"777"});
    for (const QStringList& ticked : m_view.ticked)
        EXPECT_TRUE(ticked.isEmpty());
    EXPECT_EQ(TerminalList(0), Strings{"222"});
    EXPECT_EQ(TerminalList(2), Strings{"777"});
    // One change for the record, a list at a time.
    EXPECT_EQ(m_recorder->Calls(), (QStringList{"begun numbers", "item AT+LRMDELADMINNO ok", "item AT+LRMDELBKNO ok",
                                                "done numbers 成功 - 2"}));
}

TEST_F(NumberSessionTest, NumbersAddedAfterADeleteFillTheFreedSlotsFirst)
{
    ASSERT_TRUE(EnterConfiguration({"111", "222", "333"})) << Log().toStdString();
    m_view.ticked[0] = QStringList{"222"};
    ASSERT_TRUE(Run([&] { m_commands.RequestDelete(); }));
    ASSERT_EQ(Slot(0, 1), "");

    ASSERT_TRUE(Run([&] { m_commands.RequestAdd(0, QStringLiteral("444,555")); }));
    EXPECT_EQ(Slot(0, 1), "444");
    EXPECT_EQ(Slot(0, 3), "555");
    // Shown at the end until the next refresh, which shows slot order.
    EXPECT_EQ(m_view.pages[0], (QStringList{"111", "333", "444", "555"}));
    ASSERT_TRUE(Run([&] {
        m_view.SetBusy(true);
        m_device.PostTask(TaskCode::DeleteNumbers);
    }));
    EXPECT_EQ(m_view.pages[0], (QStringList{"111", "444", "333", "555"}));
}

struct DeleteFailureCase {
    const char* name;
    const char* silent;
    Strings sent;
    const char* failure;
    Strings adminAfter;
    Strings authorisedAfter;
    QStringList recorded;  // what the service record was told
};

void PrintTo(const DeleteFailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class NumberDeleteFailureTest : public NumberSessionTest, public ::testing::WithParamInterface<DeleteFailureCase> {};

TEST_P(NumberDeleteFailureTest, AnUnacknowledgedListEndsTheTaskAndThePagesAreRebuilt)
{
    const DeleteFailureCase& c = GetParam();
    ASSERT_TRUE(EnterConfiguration({"111", "222"}, {"444"}, {"777"})) << Log().toStdString();
    SilenceCommands({c.silent});
    m_view.ticked[0] = QStringList{"111"};
    m_view.ticked[1] = QStringList{"444"};
    m_view.ticked[2] = QStringList{"777"};
    // Something the stored lists do not hold, to see the rebuild.
    m_view.pages[1] << QStringLiteral("stale");

    ASSERT_TRUE(Run([&] { m_commands.RequestDelete(); }));
    EXPECT_EQ(Commands(), c.sent);
    // Each list sent logs what the terminal answered, then its result.
    ASSERT_EQ(m_view.logLines.size(), 2 * static_cast<qsizetype>(c.sent.size())) << Log().toStdString();
    EXPECT_EQ(m_view.logLines.last(), QString::fromUtf8(c.failure));
    // Nothing came back for the silenced command.
    EXPECT_EQ(m_view.logLines[m_view.logLines.size() - 2], QString());
    EXPECT_EQ(m_view.logLines.count(QString::fromUtf8(c.failure)), 1);
    EXPECT_EQ(Stored(0), c.adminAfter);
    EXPECT_EQ(Stored(1), c.authorisedAfter);
    EXPECT_EQ(Stored(2), Strings{"777"});
    EXPECT_EQ(m_view.pages[0], Rows(c.adminAfter));
    EXPECT_EQ(m_view.pages[1], Rows(c.authorisedAfter));
    EXPECT_EQ(m_view.pages[2], QStringList{"777"});
    for (const QStringList& ticked : m_view.ticked)
        EXPECT_TRUE(ticked.isEmpty());
    EXPECT_EQ(m_recorder->Calls(), c.recorded);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NumberDeleteFailureTest,
    ::testing::Values(DeleteFailureCase{"Admin", "AT+LRMDELADMINNO", {"AT+LRMDELADMINNO=111"}, "删除管理号码失败...",
                                        {"111", "222"}, {"444"},
                                        {"begun numbers", "item AT+LRMDELADMINNO no", "done numbers 失败 - 1"}},
                      DeleteFailureCase{"Authorised", "AT+LRMDELLRMNO",
                                        {"AT+LRMDELADMINNO=111", "AT+LRMDELLRMNO=444"}, "删除授权号码失败...",
                                        {"222"}, {"444"},
                                        {"begun numbers", "item AT+LRMDELADMINNO ok", "item AT+LRMDELLRMNO no",
                                         "done numbers 失败 - 2"}},
                      DeleteFailureCase{"Backup", "AT+LRMDELBKNO",
                                        {"AT+LRMDELADMINNO=111", "AT+LRMDELLRMNO=444", "AT+LRMDELBKNO=777"},
                                        "删除备份号码失败...", {"222"}, {},
                                        {"begun numbers", "item AT+LRMDELADMINNO ok", "item AT+LRMDELLRMNO ok",
                                         "item AT+LRMDELBKNO no", "done numbers 失败 - 3"}}),
    [](const ::testing::TestParamInfo<DeleteFailureCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- reset

struct ResetCase {
    const char* name;
    int category;
    const char* command;
    const char* success;
    const char* failure;
};

void PrintTo(const ResetCase& c, std::ostream* os)
{
    *os << c.name;
}

class NumberResetTest : public NumberSessionTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(NumberResetTest, AnAcknowledgedResetEmptiesThePageAtOnce)
{
    const ResetCase& c = GetParam();
    ASSERT_TRUE(EnterConfiguration({"1", "2"}, {"3", "4"}, {"5", "6"})) << Log().toStdString();
    // Not in any stored list: it stays because no refresh runs.
    const int other = (c.category + 1) % 3;
    m_view.pages[other] << QStringLiteral("marker");

    ASSERT_TRUE(Run([&] { m_commands.RequestReset(c.category); }));
    EXPECT_EQ(Commands(), Strings{c.command});
    EXPECT_EQ(m_view.logLines, (QStringList{QString::fromLatin1(c.command) + QLatin1Char('\r'), QString::fromUtf8(c.success)}));
    EXPECT_TRUE(Stored(c.category).empty());
    EXPECT_TRUE(m_view.pages[c.category].isEmpty());
    EXPECT_TRUE(TerminalList(c.category).empty());
    EXPECT_EQ(m_view.pages[other].last(), QStringLiteral("marker"));
    EXPECT_EQ(Stored(other).size(), 2u);
}

TEST_P(NumberResetTest, AnUnacknowledgedResetChangesNothing)
{
    const ResetCase& c = GetParam();
    ASSERT_TRUE(EnterConfiguration({"1", "2"}, {"3", "4"}, {"5", "6"})) << Log().toStdString();
    SilenceCommands({c.command});
    const QStringList rows = m_view.pages[c.category];

    ASSERT_TRUE(Run([&] { m_commands.RequestReset(c.category); }));
    EXPECT_EQ(m_view.logLines, (QStringList{QString::fromLatin1(c.command) + QLatin1Char('\r'), QString::fromUtf8(c.failure)}));
    EXPECT_EQ(Stored(c.category).size(), 2u);
    EXPECT_EQ(m_view.pages[c.category], rows);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NumberResetTest,
    ::testing::Values(ResetCase{"Admin", 0, "AT+LRMSETADMINNO=", "重置管理号码成功", "重置管理号码失败"},
                      ResetCase{"Authorised", 1, "AT+LRMSETLRMNO=", "重置授权号码成功", "重置授权号码失败"},
                      ResetCase{"Backup", 2, "AT+LRMSETBKNO=", "重置备份号码成功", "重置备份号码失败"}),
    [](const ::testing::TestParamInfo<ResetCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- power-on test

TEST_F(NumberSessionTest, PowerOnTestLogsTheTerminalsAnswer)
{
    ASSERT_TRUE(EnterConfiguration({"1"})) << Log().toStdString();
    ASSERT_TRUE(Run([&] { m_commands.RequestPowerOnTest(); }));
    EXPECT_EQ(Commands(), Strings{"AT+LRMSNDPOWER"});
    ASSERT_EQ(m_view.logLines.size(), 2);
    EXPECT_TRUE(m_view.logLines[0].contains(QStringLiteral("+LRMSNDPOWER: power-on test signal sent")));
    EXPECT_EQ(m_view.logLines[1], QStringLiteral("车载台/FN发射机上电测试命令测试成功"));
    EXPECT_EQ(m_view.busyChanges, (QList<bool>{true, false}));

    SilenceCommands({"AT+LRMSNDPOWER"});
    m_view.logLines.clear();
    ASSERT_TRUE(Run([&] { m_commands.RequestPowerOnTest(); }));
    EXPECT_EQ(m_view.logLines,
              (QStringList{QStringLiteral("AT+LRMSNDPOWER\r"), QStringLiteral("车载台/FN发射机上电测试命令测试失败")}));
    EXPECT_EQ(Stored(0), Strings{"1"});
}

}  // namespace
