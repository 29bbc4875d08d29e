#include "params/CConfigDocument.h"
#include "params/ChangedOnlyFile.h"
#include "params/ConfigFilePlan.h"
#include "params/ParameterTableLayout.h"

#include "ReportFixture.h"
#include "../support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// The fixture as a configuration file holds it: CR CR LF line ends.
QByteArray FixtureFile()
{
    return ConfigFileText(QByteArray::fromStdString(reportfixture::FullReport()));
}

CConfigDocument OpenFixture(const QByteArray& bytes = FixtureFile())
{
    CConfigDocument document;
    EXPECT_FALSE(document.Open(bytes, QStringLiteral("site.cfg")).has_value());
    return document;
}

QList<QByteArray> Lines(const QByteArray& bytes) { return bytes.split('\n'); }

// Every value the table shows for a document, by item.
std::map<const SaveItem*, QString> TableOf(const CConfigDocument& document)
{
    std::map<const SaveItem*, QString> table;
    for (const SaveItem& item : AllSaveItems())
        table[&item] = document.CellText(item);
    return table;
}

struct Edit {
    const char* label;
    const char* value;
    const char* shown;  // what the table shows afterwards
};

// One new value for every saved item, written as the user would type or
// choose it; the table shows `shown` once it is in the file.
const Edit kEdits[] = {
    {"预置内容一", "新的预警内容", "新的预警内容"},
    {"预置内容二", "Second text", "Second text"},
    {"预置内容三", "", ""},
    {"电话预警", "10", "10"},
    {"短信预警", "1", "1"},
    {"GPRS数据预警", "7", "7"},
    {"本地麦克风预警", "9", "9"},
    {"对讲机预警", "2", "2"},
    {"FM调频预警", "3", "3"},
    {"MP3预警", "4", "4"},
    {"预置内容预警", "5", "5"},
    {"Line in 输入预警", "6", "6"},
    {"短信预警播报次数", "9", "9"},
    {"GPRS预警播报次数", "12", "12"},
    {"本地预警播报次数", "0", "0"},
    {"数据中心数目", "0", "0"},
    {"GPRS主中心地址", "10.0.0.1", "10.0.0.1"},
    {"GPRS主中心端口", "6001", "6001"},
    {"GPRS备份中心地址", "10.0.0.2", "10.0.0.2"},
    {"GPRS备份中心端口", "6002", "6002"},
    {"主中心DNS服务器IP", "1.1.1.1", "1.1.1.1"},
    {"备份中心DNS服务器IP", "", ""},
    {"调试等级", "2", "2"},
    {"是否自动返回主中心", "否", "否"},
    {"设备ID号码(固定8位)", "abcd1234", "abcd1234"},
    {"设备SIM号码(固定11位)", "13900000000", "13900000000"},
    {"重连时尝试次数(2-65535)", "7", "7"},
    {"重连任务之间的间隔(30-65535秒)", "90", "90"},
    {"无线网络APN", "CMIOT", "CMIOT"},
    {"APN用户名", "user", "user"},
    {"APN密码", "secret", "secret"},
    {"APN拨号中心号码", "*98#", "*98#"},
    {"短信中心号码(+86)", "默认", "默认"},
    {"心跳包时间(31到65535)", "65535", "65535"},
    {"是否短信回执", "否", "否"},
    {"是否短信预警备份", "否", "否"},
    {"状态短信发送时间间隔(分钟)", "30", "30"},
    {"FM接收频率(MHz)", "88.5", "88.50"},
    {"FM接收信噪比", "20", "20"},
    {"FM音量", "47", "47"},
    {"是否启用FM接收", "否", "否"},
    {"MP3播放模式", "单曲", "单曲"},
    {"MP3播放音量", "0", "0"},
    {"TTS语音模式", "女声", "女声"},
    {"TTS播放音量", "1", "1"},
    {"TTS播放语速", "10", "10"},
    {"TTS播放语调", "2", "2"},
    {"是否带通讯模块", "否", "否"},
    {"是否开启对讲机模块", "是", "是"},
    {"是否开启拾音器功能", "否", "否"},
};

TEST(ConfigDocumentTest, OpenedAndWrittenWithoutAnEditIsTheSameFile)
{
    for (const QByteArray& bytes : {FixtureFile(), QByteArray::fromStdString(reportfixture::FullReport())}) {
        const CConfigDocument document = OpenFixture(bytes);
        EXPECT_EQ(document.FileBytes(), bytes);
        EXPECT_FALSE(document.IsModified());
        EXPECT_EQ(document.DisplayName(), QStringLiteral("site.cfg"));
    }
}

// Every item, through every editor kind: the edit changes its own line only,
// and the file read back shows the edited value and every other value as
// before.
TEST(ConfigDocumentTest, EveryItemRoundTripsThroughTheFile)
{
    ASSERT_EQ(std::size(kEdits), AllSaveItems().size());
    const QByteArray original = FixtureFile();
    std::set<const SaveItem*> covered;
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(edit.label);
        CConfigDocument document = OpenFixture(original);
        const SaveItem* item = FindSaveItemByLabel(QString::fromUtf8(edit.label));
        ASSERT_NE(item, nullptr);
        covered.insert(item);
        ASSERT_NE(document.CellText(*item), QString::fromUtf8(edit.shown)) << "the edit must change something";
        std::map<const SaveItem*, QString> expected = TableOf(document);
        expected[item] = QString::fromUtf8(edit.shown);

        const std::optional<QString> refusal = document.SetValue(QString::fromUtf8(edit.label), QString::fromUtf8(edit.value));
        ASSERT_FALSE(refusal.has_value()) << refusal->toStdString();
        EXPECT_TRUE(document.IsModified());
        EXPECT_EQ(TableOf(document), expected);

        CConfigDocument reread;
        ASSERT_FALSE(reread.Open(document.FileBytes(), QStringLiteral("again.cfg")).has_value());
        EXPECT_EQ(TableOf(reread), expected);
        for (int list = 0; list < 3; ++list)
            EXPECT_EQ(reread.Numbers(list), OpenFixture(original).Numbers(list));

        const QList<QByteArray> before = Lines(original);
        const QList<QByteArray> after = Lines(document.FileBytes());
        ASSERT_EQ(after.size(), before.size());
        int changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            if (before[i] != after[i]) {
                ++changed;
                EXPECT_TRUE(after[i].endsWith("\r\r")) << "line ends kept";
            }
        }
        EXPECT_EQ(changed, 1);
    }
    EXPECT_EQ(covered.size(), AllSaveItems().size());
}

TEST(ConfigDocumentTest, ReportLabelsNameTheSameItems)
{
    CConfigDocument document = OpenFixture();
    ASSERT_FALSE(document.SetValue(QStringLiteral("Access Point Name:"), QStringLiteral("CMWAP")).has_value());
    ASSERT_FALSE(document.SetValue(QStringLiteral("Heartbeat poll time seconds"), QStringLiteral("90")).has_value());
    EXPECT_TRUE(document.FileBytes().contains("Access Point Name: CMWAP\r\r\n"));
    EXPECT_TRUE(document.FileBytes().contains("Heartbeat poll time seconds: 90 ;;\r\r\n"));
}

// A value a save would refuse, or the table's editor would not offer, never
// reaches the file.
TEST(ConfigDocumentTest, RefusedEditsLeaveTheFileAsItWas)
{
    const std::string tooLong(100, 'A');
    const struct {
        const char* label;
        const char* value;
        const char* message;
    } refused[] = {
        {"设备ID号码(固定8位)", "1234567", "设备ID号必须是8位长度"},
        {"设备ID号码(固定8位)", "1234567G", "设备ID号必须是十六进制字符串"},
        {"设备SIM号码(固定11位)", "1390000000", "SIM 卡号必须是11位长度"},
        {"短信中心号码(+86)", "+86 138", "短信中心号码必须是+，或者数字"},
        {"心跳包时间(31到65535)", "30", "心跳包大小超出范围,应该介于31到65535之间"},
        {"心跳包时间(31到65535)", "000031", "心跳包大小超出范围,应该介于31到65535之间"},
        {"FM接收频率(MHz)", "88,5", "FM接收频率只能是数字格式"},
        {"电话预警", "11", "“电话预警”只能选择：1 … 10"},
        {"是否短信回执", "1", "“是否短信回执”只能选择：否、是"},
        {"GPRS主中心端口", "60a1", "“GPRS主中心端口”只能输入数字"},
        {"无线网络APN", "CM\xF0\x9F\x98\x80NET", "“无线网络APN”含有GBK编码无法表示的字符，请修改后再保存"},
        {"无线网络APN", "CM\rNET", "“无线网络APN”含有控制字符，请修改后再保存"},
        {"无线网络APN", tooLong.c_str(), "“无线网络APN”超过99字节，请修改后再保存"},
        {"no such item", "1", "没有名为“no such item”的配置项"},
    };
    for (const auto& edit : refused) {
        SCOPED_TRACE(std::string(edit.label) + "=" + edit.value);
        CConfigDocument document = OpenFixture();
        const std::optional<QString> refusal = document.SetValue(QString::fromUtf8(edit.label), QString::fromUtf8(edit.value));
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(*refusal, QString::fromUtf8(edit.message));
        EXPECT_EQ(document.FileBytes(), FixtureFile());
        EXPECT_FALSE(document.IsModified());
    }
}

TEST(ConfigDocumentTest, NumberListsAreRewrittenWithTheChecksOfTheNumberPages)
{
    CConfigDocument document = OpenFixture();
    const QStringList admins{QStringLiteral("13800138000"), QStringLiteral("13911112222"), QStringLiteral("13933334444")};
    ASSERT_FALSE(document.SetNumbers(0, admins).has_value());
    ASSERT_FALSE(document.SetNumbers(2, {}).has_value());
    EXPECT_TRUE(document.FileBytes().contains("Alarm admin NO:  13800138000,13911112222,13933334444,\r\r\n"));
    EXPECT_TRUE(document.FileBytes().contains("Alarm backup NO:  \r\r\n"));

    CConfigDocument reread;
    ASSERT_FALSE(reread.Open(document.FileBytes(), QString()).has_value());
    EXPECT_EQ(reread.Numbers(0), admins);
    EXPECT_EQ(reread.Numbers(1), OpenFixture().Numbers(1));
    EXPECT_TRUE(reread.Numbers(2).isEmpty());

    QStringList tooMany;
    for (int i = 0; i < 256; ++i)
        tooMany << QString::number(13000000000LL + i);
    const std::pair<QStringList, const char*> refused[] = {
        {{QStringLiteral("1380013800a")}, "号码“1380013800a”只能由数字组成"},
        {{QString(33, u'1')}, "号码“111111111111111111111111111111111”超过32位"},
        {{QStringLiteral("138"), QStringLiteral("138")}, "号码“138”重复"},
        {tooMany, "每类号码最多255个"},
    };
    const QByteArray before = document.FileBytes();
    for (const auto& [numbers, message] : refused) {
        EXPECT_EQ(document.SetNumbers(1, numbers).value_or(QString()), QString::fromUtf8(message));
        EXPECT_EQ(document.FileBytes(), before);
    }
    tooMany.removeLast();
    EXPECT_FALSE(document.SetNumbers(1, tooMany).has_value());
    ASSERT_FALSE(reread.Open(document.FileBytes(), QString()).has_value());
    EXPECT_EQ(reread.Numbers(1), tooMany);
}

TEST(ConfigDocumentTest, AnSmsCentreAfterTheDefaultGetsTheTerminalsSuffix)
{
    const QByteArray noCentre = ConfigFileText(
        QByteArray::fromStdString(reportfixture::WithValue(reportfixture::FullReport(), "Sms Center :", "")));
    CConfigDocument document = OpenFixture(noCentre);
    const SaveItem* centre = FindSaveItemByLabel(QStringLiteral("短信中心号码(+86)"));
    EXPECT_EQ(document.CellText(*centre), QStringLiteral("默认"));
    ASSERT_FALSE(document.SetValue(*centre, QStringLiteral("+8613800755500")).has_value());
    EXPECT_TRUE(document.FileBytes().contains("Sms Center : +8613800755500 ;\r\r\n"));
    ASSERT_FALSE(document.SetValue(*centre, QStringLiteral("默认")).has_value());
    EXPECT_EQ(document.CellText(*centre), QStringLiteral("默认"));
}

TEST(ConfigDocumentTest, ALineTheFileLacksIsAddedBeforeOk)
{
    const QByteArray withoutApn = ConfigFileText(
        QByteArray::fromStdString(reportfixture::WithoutLine(reportfixture::FullReport(), "Access Point Name:")));
    CConfigDocument document = OpenFixture(withoutApn);
    ASSERT_FALSE(document.SetValue(QStringLiteral("无线网络APN"), QStringLiteral("CMIOT")).has_value());
    EXPECT_EQ(document.FileBytes().size(), withoutApn.size() + QByteArray("Access Point Name: CMIOT\r\r\n").size());
    CConfigDocument reread;
    ASSERT_FALSE(reread.Open(document.FileBytes(), QString()).has_value());
    EXPECT_EQ(reread.CellText(*FindSaveItemByLabel(QStringLiteral("无线网络APN"))), QStringLiteral("CMIOT"));
}

TEST(ConfigDocumentTest, FilesAreReadAndWrittenOnDisk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.cfg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(FixtureFile());
    file.close();

    CConfigDocument document;
    ASSERT_FALSE(document.OpenFile(path).has_value());
    EXPECT_EQ(document.DisplayName(), QStringLiteral("site.cfg"));
    ASSERT_FALSE(document.SetValue(QStringLiteral("无线网络APN"), QStringLiteral("CMIOT")).has_value());
    const QString saved = dir.filePath(QStringLiteral("new.cfg"));
    ASSERT_FALSE(document.SaveFile(saved).has_value());
    EXPECT_FALSE(document.IsModified());
    CConfigDocument reread;
    ASSERT_FALSE(reread.OpenFile(saved).has_value());
    EXPECT_EQ(reread.FileBytes(), document.FileBytes());

    EXPECT_EQ(CConfigDocument().OpenFile(dir.filePath(QStringLiteral("missing.cfg"))).value_or(QString()),
              QStringLiteral("打开文件失败"));
    EXPECT_EQ(CConfigDocument().Open("not a report\r\r\n", QString()).value_or(QString()), QStringLiteral("参数加载失败"));
}

}  // namespace

namespace {

// --diff --changed-only: the file keeps the changed lines and the lines
// every report needs, and applying it changes exactly what --diff listed.
TEST(ChangedOnlyFileTest, HoldsTheChangedLinesAndWhatEveryFileNeeds)
{
    const CConfigDocument terminal = OpenFixture();
    CConfigDocument wanted = OpenFixture();
    // The backup centre's label holds the main centre's: dropping the main
    // centre's line must not let the backup address take its place.
    for (const auto& [label, value] : {std::pair{"GPRS备份中心地址", "10.9.9.9"}, std::pair{"无线网络APN", "CMIOT"},
                                       std::pair{"电话预警", "10"}, std::pair{"TTS播放语速", "9"}}) {
        ASSERT_FALSE(wanted.SetValue(QString::fromUtf8(label), QString::fromUtf8(value)).has_value());
    }
    ASSERT_FALSE(wanted.SetNumbers(2, {QStringLiteral("110")}).has_value());

    const ChangedOnlyFile built =
        BuildChangedOnlyFile(wanted.FileBytes(), terminal.Parameters(), {}, ChangeFilter{{}, {QStringLiteral("TTS播放语速")}});
    ASSERT_FALSE(built.refusal.has_value()) << built.refusal->toStdString();
    EXPECT_EQ(built.changes.size(), 4) << built.changes.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(built.changes.join(QString()).contains(QStringLiteral("TTS播放语速")));
    const QByteArray& file = built.bytes;
    EXPECT_TRUE(file.contains("Secondary Server's Ip 10.9.9.9\r\r\n"));
    EXPECT_TRUE(file.contains("Server's Ip 116.62.10.20\r\r\n")) << "kept so that it still names the main centre";
    EXPECT_TRUE(file.contains("Access Point Name: CMIOT\r\r\n"));
    EXPECT_TRUE(file.contains("Alarm phone priority:  10\r\r\n"));
    EXPECT_TRUE(file.contains("Alarm backup NO:  110,\r\r\n"));
    EXPECT_TRUE(file.contains("Alarm sms priority:  2\r\r\n")) << "a line every report needs";
    EXPECT_TRUE(file.contains("Alarm text1:  "));
    for (const char* dropped : {"Alarm tts play speed:", "Modem's ID number", "Heartbeat poll time", "Work Mode:", "OK"})
        EXPECT_FALSE(file.contains(dropped)) << dropped;
}

}  // namespace
