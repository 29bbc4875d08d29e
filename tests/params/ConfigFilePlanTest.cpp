#include "ReportFixture.h"

#include "params/ConfigFilePlan.h"
#include "params/ParameterReport.h"

#include <QByteArray>

#include <memory>

#include <gtest/gtest.h>

namespace {

using reportfixture::FullReport;
using reportfixture::WithValue;
using reportfixture::WithoutLine;
using Reason = RefusedListNumber::Reason;

QByteArray Bytes(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

std::string ListOf(int count, int length)
{
    std::string list;
    for (int i = 0; i < count; ++i)
        list += std::string(static_cast<std::size_t>(length - 3), '1') + std::to_string(100 + i % 900) + ",";
    return list;
}

// ---------------------------------------------------------------- list numbers

struct ListCase {
    const char* name;
    const char* label;
    std::string value;
    std::vector<RefusedListNumber> refused;
};

class RefusedNumbers : public ::testing::TestWithParam<ListCase> {};

TEST_P(RefusedNumbers, AreFoundWithTheirReason)
{
    const ListCase& c = GetParam();
    const std::string report = WithValue(FullReport(), c.label, c.value);
    const std::vector<RefusedListNumber> refused = FindRefusedListNumbers(report);
    ASSERT_EQ(refused.size(), c.refused.size());
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(refused[i].category, c.refused[i].category) << i;
        EXPECT_EQ(refused[i].reason, c.refused[i].reason) << i;
        EXPECT_EQ(refused[i].number, c.refused[i].number) << i;
    }
}

const std::string k33(33, '3');
const std::string k99(99, '9');

const ListCase kListCases[] = {
    {"ShortNumbers", "Alarm admin NO:  ", "110,120,", {}},
    {"EmptyList", "Alarm admin NO:  ", "", {}},
    {"ThirtyTwoDigits", "Alarm admin NO:  ", std::string(32, '2') + ",", {}},
    {"FullList", "Alarm backup NO:  ", ListOf(255, 11), {}},
    // Once failed: the splitter stopped at the long number and silently
    // dropped the numbers after it.
    {"ThirtyThreeDigitsStopsTheList", "Alarm authorize NO:  ", "110," + k33 + ",120,130,",
     {{1, Reason::TooLong, k33}, {1, Reason::AfterRefused, "120"}, {1, Reason::AfterRefused, "130"}}},
    {"NinetyNineDigitsLast", "Alarm backup NO:  ", "110," + k99, {{2, Reason::TooLong, k99}}},
    {"TheTwoHundredFiftySixth", "Alarm admin NO:  ", ListOf(255, 11) + "13900000000,",
     {{0, Reason::TooMany, "13900000000"}}},
};

INSTANTIATE_TEST_SUITE_P(Lists, RefusedNumbers, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- control characters

struct ControlCase {
    const char* name;
    const char* label;
    std::string value;
    bool refused;
};

class ControlCharacters : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlCharacters, InAValueRefuseTheFile)
{
    const ControlCase& c = GetParam();
    const std::string report = WithValue(FullReport(), c.label, c.value);
    const std::optional<std::string_view> found = FindLabelWithControlCharacter(report);
    EXPECT_EQ(found.has_value(), c.refused);
    if (found && c.refused)
        EXPECT_EQ(*found, c.label);
    EXPECT_EQ(CheckConfigFileText(Bytes(report)).has_value(), c.refused);
}

const ControlCase kControlCases[] = {
    {"Clean", "Access Point Name:", "cmnet", false},
    {"GbkText", "Alarm text1:  ", "\xD4\xA4\xBE\xAF", false},
    {"LoneCarriageReturnInANumber", "Alarm admin NO:  ", "13800000009\rAT+FACTORY,", true},
    {"VerticalTab", "Alarm backup NO:  ", "110\x0B,", true},
    {"DataLinkEscape", "Access Point Name:", "cm\x10net", true},
    {"Tab", "Alarm text2:  ", "a\tb", true},
    {"Delete", "Modem's ID number", " 1A2B3C4D\x7F", true},
    {"LineFeedAlone", "Sms Center :", "+8613800\n ;", true},
};

INSTANTIATE_TEST_SUITE_P(Values, ControlCharacters, ::testing::ValuesIn(kControlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFilePlan, AControlCharacterInALineNobodyReadsIsHarmless)
{
    const std::string report = reportfixture::WithLineFirst(FullReport(), "Boot log\x1B[0m");
    EXPECT_FALSE(FindLabelWithControlCharacter(report).has_value());
}

// ---------------------------------------------------------------- the plan

TEST(ConfigFilePlan, ListsBecomeOneCommandEachWithoutATrailingComma)
{
    ParameterSet current;
    const ConfigFileLoad load = PlanConfigFileLoad(Bytes(FullReport()), current);
    ASSERT_FALSE(load.refusal) << load.refusal->text.toStdString();
    EXPECT_EQ(load.listCommands[0], QByteArray("AT+LRMSETADMINNO=13800138000,13900139000\r"));
    EXPECT_EQ(load.listCommands[1].left(15), QByteArray("AT+LRMSETLRMNO="));
    EXPECT_TRUE(load.listCommands[2].startsWith("AT+LRMSETBKNO="));
    EXPECT_EQ(load.listNumbers[0], (QStringList{QStringLiteral("13800138000"), QStringLiteral("13900139000")}));
    EXPECT_EQ(load.missingLines, CountMissingReportLabels(FullReport()));
}

TEST(ConfigFilePlan, ALineTheFileLacksKeepsTheCurrentValue)
{
    ParameterSet current;
    current.apnUser.Assign("terminal-user");
    current.dialNumber.Assign("*99#");
    std::string report = WithoutLine(FullReport(), "PPP Authentication User Id");
    report = WithoutLine(report, "Center call number");
    const ConfigFileLoad load = PlanConfigFileLoad(Bytes(report), current);
    ASSERT_FALSE(load.refusal) << load.refusal->text.toStdString();
    EXPECT_EQ(load.set->apnUser.View(), "terminal-user");
    EXPECT_EQ(load.set->dialNumber.View(), "*99#");
    EXPECT_EQ(load.missingLines, CountMissingReportLabels(FullReport()) + 2);
    // Nothing is written for them: they equal the terminal's values.
    for (const PlannedWrite& write : PlanSave(current, load.saveInputs)) {
        EXPECT_FALSE(write.command.startsWith("at+username=")) << write.command.toStdString();
        EXPECT_FALSE(write.command.startsWith("at+cent=")) << write.command.toStdString();
    }
}

struct SaveCheckCase {
    const char* name;
    const char* label;
    const char* value;
    SaveRefusal::Shown shown;
    const char* text;
};

class FileSaveChecks : public ::testing::TestWithParam<SaveCheckCase> {};

TEST_P(FileSaveChecks, RefuseTheFileBeforeAnyCommand)
{
    const SaveCheckCase& c = GetParam();
    ParameterSet current;
    const ConfigFileLoad load = PlanConfigFileLoad(Bytes(WithValue(FullReport(), c.label, c.value)), current);
    ASSERT_TRUE(load.refusal);
    EXPECT_EQ(load.refusal->shown, c.shown);
    EXPECT_EQ(load.refusal->text, QString::fromUtf8(c.text));
    EXPECT_TRUE(load.listCommands[0].isEmpty());
}

using Shown = SaveRefusal::Shown;
const SaveCheckCase kSaveChecks[] = {
    {"ShortDeviceId", "Modem's ID number", " 1234567", Shown::MessageBox, "设备ID号必须是8位长度"},
    {"DeviceIdNotHex", "Modem's ID number", " 1234567G", Shown::MessageBox, "设备ID号必须是十六进制字符串"},
    {"ShortSimNumber", "Modem's Phone Number", " 1380013800", Shown::MessageBox, "SIM 卡号必须是11位长度"},
    {"HeartbeatTooShort", "Heartbeat poll time seconds:", " 30 ;;", Shown::MessageBox,
     "心跳包大小超出范围,应该介于31到65535之间"},
    {"PlayCountOutOfRange", "Alarm sms play number:  ", "65536", Shown::Log, "播放次数参数范围应该是0到65535之间...."},
};

INSTANTIATE_TEST_SUITE_P(Values, FileSaveChecks, ::testing::ValuesIn(kSaveChecks),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- labels

struct LabelCase {
    const char* label;
    const char* command;  // the item's command prefix; "" when no item
};

class SaveItemLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(SaveItemLabels, NameTheirItem)
{
    const SaveItem* item = FindSaveItemByLabel(QString::fromUtf8(GetParam().label));
    if (*GetParam().command == '\0') {
        EXPECT_EQ(item, nullptr);
        return;
    }
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(item->commandPrefix, GetParam().command);
}

const LabelCase kLabels[] = {
    {"设备ID号码(固定8位)", "at+idnt="},
    {"设备ID号码(固定8位):", "at+idnt="},
    {" 设备SIM号码(固定11位)： ", "at+phon="},
    {"Modem's ID number", "at+idnt="},
    {"modem's phone number", "at+phon="},
    {"Alarm fm voice:", "AT+LRMFMVOICE="},
    {"Alarm fm voice", "AT+LRMFMVOICE="},
    {"Heartbeat poll time seconds:", "at+polltime="},
    {"Access Point Name", "at+apn="},
    {"电话预警", "AT+LRMPHNPRIO="},
    // Report lines the tool reads but never writes, and no label at all.
    {"Work Mode", ""},
    {"Server1's Ip", ""},
    {"Alarm admin NO", ""},
    {"", ""},
    {"设备ID", ""},
};

INSTANTIATE_TEST_SUITE_P(Labels, SaveItemLabels, ::testing::ValuesIn(kLabels));

// ---------------------------------------------------------------- changes

TEST(ConfigFileChanges, NameEachItemWithTheTerminalsAndTheFilesValue)
{
    auto current = std::make_unique<ParameterSet>();
    ASSERT_TRUE(ParseParameterReport(FullReport().c_str(), *current));
    std::string file = WithValue(FullReport(), "Alarm fm voice:  ", "12");
    file = WithValue(file, "Alarm admin NO:  ", "110,");
    const ConfigFileLoad load = PlanConfigFileLoad(Bytes(file), *current);
    ASSERT_FALSE(load.refusal) << load.refusal->text.toStdString();
    const QStringList changes = DescribeFileChanges(load, *current);
    ASSERT_EQ(changes.size(), 2) << changes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(changes[0].startsWith(QStringLiteral("FM音量：设备“"))) << changes[0].toStdString();
    EXPECT_TRUE(changes[0].endsWith(QStringLiteral("”，文件“12”"))) << changes[0].toStdString();
    EXPECT_EQ(changes[1], QStringLiteral("管理号码：设备“13800138000,13900139000”，文件“110”"));

    EXPECT_TRUE(DescribeFileChanges(PlanConfigFileLoad(Bytes(FullReport()), *current), *current).isEmpty());
}

TEST(ConfigFileChanges, AnOverrideIsAChangeAndIsChecked)
{
    auto current = std::make_unique<ParameterSet>();
    ASSERT_TRUE(ParseParameterReport(FullReport().c_str(), *current));
    const SaveItem* id = FindSaveItemByLabel(QStringLiteral("Modem's ID number"));
    ASSERT_NE(id, nullptr);
    const ConfigFileLoad load = PlanConfigFileLoad(Bytes(FullReport()), *current, {{id, QStringLiteral("0000BEEF")}});
    ASSERT_FALSE(load.refusal);
    const QStringList changes = DescribeFileChanges(load, *current);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes[0].startsWith(QStringLiteral("设备ID号码(固定8位)：设备“"))) << changes[0].toStdString();
    EXPECT_TRUE(changes[0].endsWith(QStringLiteral("文件“0000BEEF”")));

    const ConfigFileLoad refused = PlanConfigFileLoad(Bytes(FullReport()), *current, {{id, QStringLiteral("0000BEEG")}});
    ASSERT_TRUE(refused.refusal);
    EXPECT_EQ(refused.refusal->text, QStringLiteral("设备ID号必须是十六进制字符串"));
    EXPECT_TRUE(refused.listCommands[0].isEmpty());
}

}  // namespace
