#include "LibraryCases.h"

#include "support/TestFiles.h"
#include "terminal/CCommandLibrary.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace librarycases;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

class CommandLibraryFileTest : public ::testing::Test {
protected:
    QString PathOf(const QString& name) const { return m_dir.filePath(name); }
    static QString Unusable(const QString& path, const QString& problem)
    {
        return QStringLiteral("命令库文件“%1”无法使用：%2。").arg(QDir::toNativeSeparators(path), problem);
    }

    QTemporaryDir m_dir;
};

void ExpectSameLibrary(const CCommandLibrary& a, const CCommandLibrary& b)
{
    EXPECT_EQ(a.Commands(), b.Commands());
    EXPECT_EQ(a.Sequences(), b.Sequences());
}

TEST_F(CommandLibraryFileTest, SavedLibraryLoadsEqualAndReadable)
{
    CCommandLibrary saved = SampleLibrary();
    TerminalCommand odd = TextCommand(QStringLiteral("引号\"和\\"), QStringLiteral("预警 \"x\""), 9);
    odd.lineEnd = TerminalCommand::LineEnd::CrLf;
    odd.check = CheckValue::Kind::Crc16CcittFalse;
    odd.checkOrder = CheckValue::ByteOrder::HighFirst;
    ASSERT_TRUE(saved.SetCommand(saved.Commands().size(), odd));
    const QString path = PathOf(QStringLiteral("sub/lib.json"));
    QString error;
    ASSERT_TRUE(saved.Save(path, &error)) << error.toStdString();

    CCommandLibrary loaded;
    ASSERT_TRUE(loaded.Load(path, &error)) << error.toStdString();
    ExpectSameLibrary(loaded, saved);
    // Readable by people: indented UTF-8 with the format's name.
    const QByteArray bytes = ReadFileBytes(path);
    EXPECT_TRUE(bytes.contains("\"format\": \"sirenset-command-library\"")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("\"version\": 1"));
    EXPECT_TRUE(bytes.contains("\n        {\n"));
    EXPECT_TRUE(bytes.contains(QStringLiteral("\"name\": \"读版本\"").toUtf8()));
}

TEST_F(CommandLibraryFileTest, DamagedFilesAreRefusedAndNothingIsLost)
{
    const QByteArray head = R"({"format": "sirenset-command-library", "version": 1, )";
    struct Case {
        const char* what;
        QByteArray bytes;
        QString problem;
        bool prefixOnly = false;
    };
    const Case cases[] = {
        {"bad JSON", "{\n  \"format\" \"x\"\n}", QStringLiteral("不是有效的 JSON：第 2 行第 "), true},
        {"not an object", "[1, 2]", QStringLiteral("最外层应为对象 {…}")},
        {"wrong format name", R"({"format": "other", "version": 1})",
         QStringLiteral("不是命令库文件（格式名应为“sirenset-command-library”，文件中为“other”）")},
        {"no format name", R"({"version": 1})",
         QStringLiteral("不是命令库文件（格式名应为“sirenset-command-library”，文件中为“”）")},
        {"newer version", R"({"format": "sirenset-command-library", "version": 2})",
         QStringLiteral("版本“2”不受支持（本程序读取版本 1）")},
        {"commands not a list", head + R"("commands": {}})", QStringLiteral("“commands”（命令）应为列表 […]")},
        {"unknown check kind", head + R"("commands": [{"name": "a", "content": "x", "check": "crc32"}]})",
         QStringLiteral("第 1 条命令：校验方式“crc32”未知（可用：none、xor、sum8、crc16-modbus、crc16-ccitt-false）")},
        {"unknown line end", head + R"("commands": [{"name": "a", "content": "x", "lineEnd": "\r"}]})",
         QStringLiteral("第 1 条命令：行尾“\r”未知（可用：none、cr、lf、crlf）")},
        {"missing name", head + R"("commands": [{"name": "a", "content": "x"}, {"content": "y"}]})",
         QStringLiteral("第 2 条命令：缺少“name”")},
        {"shortcut not a number", head + R"("commands": [{"name": "a", "content": "x", "shortcut": "3"}]})",
         QStringLiteral("第 1 条命令：“shortcut”应为整数")},
        {"bad hex", head + R"("commands": [{"name": "读", "content": "01 0G", "contentKind": "hex"}]})",
         QStringLiteral("命令“读”：十六进制内容第 5 个字符“G”不是十六进制数字（只能用 0-9、A-F 和空格）")},
        {"duplicate names", head + R"("commands": [{"name": "读", "content": "1"}, {"name": "读", "content": "2"}]})",
         QStringLiteral("命令名称“读”重复")},
        {"empty name", head + R"("commands": [{"name": " ", "content": "1"}]})",
         QStringLiteral("第 1 条命令没有名称")},
        {"shortcut out of range", head + R"("commands": [{"name": "读", "content": "1", "shortcut": 10}]})",
         QStringLiteral("命令“读”的快捷键 10 不在 1-9 之内")},
        {"shortcut twice",
         head + R"("commands": [{"name": "甲", "content": "1", "shortcut": 3}, {"name": "乙", "content": "2", "shortcut": 3}]})",
         QStringLiteral("快捷键 3 已给了命令“甲”，不能再给命令“乙”")},
        {"duplicate sequences",
         head + R"("sequences": [{"name": "巡检", "steps": []}, {"name": "巡检", "steps": []}]})",
         QStringLiteral("序列名称“巡检”重复")},
        {"no repeats", head + R"("sequences": [{"name": "巡检", "repeat": 0, "steps": []}]})",
         QStringLiteral("序列“巡检”的重复次数 0 无效（至少 1 次）")},
        {"unknown step", head + R"("sequences": [{"name": "巡检", "steps": [{"kind": "jump"}]}]})",
         QStringLiteral("第 1 个序列第 1 步：步骤类型“jump”未知（可用：send、wait、pause）")},
        {"wait without time",
         head + R"("sequences": [{"name": "巡检", "steps": [{"kind": "pause", "ms": 5}, {"kind": "wait", "text": "OK"}]}]})",
         QStringLiteral("第 1 个序列第 2 步：缺少“timeoutMs”")},
        {"wait of 0 ms",
         head + R"("sequences": [{"name": "巡检", "steps": [{"kind": "pause", "ms": 5}, {"kind": "wait", "text": "OK", "timeoutMs": 0}]}]})",
         QStringLiteral("序列“巡检”第 2 步：等待时间 0 ms 无效（须大于 0）")},
        {"negative pause", head + R"("sequences": [{"name": "巡检", "steps": [{"kind": "pause", "ms": -1}]}]})",
         QStringLiteral("序列“巡检”第 1 步：暂停时间 -1 ms 无效（不能为负）")},
        {"send without command", head + R"("sequences": [{"name": "巡检", "steps": [{"kind": "send", "command": ""}]}]})",
         QStringLiteral("序列“巡检”第 1 步：没有填写要发送的命令名称")},
    };
    const CCommandLibrary before = SampleLibrary();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = PathOf(QStringLiteral("damaged.json"));
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        for (const bool import : {false, true}) {
            CCommandLibrary library = SampleLibrary();
            QString error;
            ImportResult result;
            EXPECT_FALSE(import ? library.Import(path, &result, &error) : library.Load(path, &error));
            if (c.prefixOnly)
                EXPECT_TRUE(error.startsWith(Unusable(path, c.problem).chopped(1))) << error.toStdString();
            else
                EXPECT_EQ(error, Unusable(path, c.problem));
            ExpectSameLibrary(library, before);
        }
    }
    CCommandLibrary library = SampleLibrary();
    QString error;
    EXPECT_FALSE(library.Load(PathOf(QStringLiteral("missing.json")), &error));
    EXPECT_TRUE(error.startsWith(Unusable(PathOf(QStringLiteral("missing.json")), QStringLiteral("无法读取（")).chopped(1)));
    ExpectSameLibrary(library, before);
}

TEST_F(CommandLibraryFileTest, ImportSkipsIdenticalRenamesClashesAndDropsTakenShortcuts)
{
    CCommandLibrary library = SampleLibrary();  // 读版本 (key 1), 读寄存器, 巡检
    TerminalCommand keyTwo = library.Commands()[1];
    keyTwo.shortcut = 2;
    ASSERT_TRUE(library.SetCommand(1, keyTwo));
    CCommandLibrary other;
    ASSERT_TRUE(other.Assign(
        {TextCommand(QStringLiteral("读版本"), QStringLiteral("AT+VER"), 1),           // identical
         ModbusCommand(QStringLiteral("读寄存器"), QStringLiteral("02 03 00 00 00 01")),  // clash
         TextCommand(QStringLiteral("复位"), QStringLiteral("AT+RST"), 2)},              // taken key
        {{QStringLiteral("巡检"), {SendStep(QStringLiteral("读寄存器"))}, 1}}));
    const QString path = PathOf(QStringLiteral("shared.json"));
    ASSERT_TRUE(other.Export(path));

    ImportResult result;
    QString error;
    ASSERT_TRUE(library.Import(path, &result, &error)) << error.toStdString();
    EXPECT_EQ(result.skipped, QStringList{QStringLiteral("读版本")});
    EXPECT_EQ(result.addedCommands, (QStringList{QStringLiteral("读寄存器 (2)"), QStringLiteral("复位")}));
    EXPECT_EQ(result.addedSequences, QStringList{QStringLiteral("巡检 (2)")});
    EXPECT_EQ(result.shortcutDropped, QStringList{QStringLiteral("复位")});
    EXPECT_EQ(result.Summary(),
              QStringLiteral("导入命令 2 条、序列 1 个。\n"
                             "名称已有而内容不同，改名导入：“读寄存器”→“读寄存器 (2)”、“巡检”→“巡检 (2)”。\n"
                             "快捷键已被占用，导入时去掉了快捷键：“复位”。\n"
                             "与已有的完全相同，跳过：“读版本”。"));

    ASSERT_EQ(library.Commands().size(), 4);
    EXPECT_EQ(library.FindCommand(QStringLiteral("读寄存器 (2)"))->content, QStringLiteral("02 03 00 00 00 01"));
    EXPECT_EQ(library.FindCommand(QStringLiteral("复位"))->shortcut, 0);
    EXPECT_EQ(library.CommandForShortcut(1)->name, QStringLiteral("读版本"));
    EXPECT_EQ(library.CommandForShortcut(2)->name, QStringLiteral("读寄存器"));
    // The imported sequence still sends the command it came with.
    EXPECT_EQ(library.FindSequence(QStringLiteral("巡检 (2)"))->steps,
              QList<SequenceStep>{SendStep(QStringLiteral("读寄存器 (2)"))});
    EXPECT_EQ(library.FindSequence(QStringLiteral("巡检"))->repeat, 3);

    // Importing the same file again adds nothing.
    const CCommandLibrary once = library;
    ASSERT_TRUE(library.Import(path, &result, &error));
    EXPECT_EQ(result.skipped, (QStringList{QStringLiteral("读版本"), QStringLiteral("读寄存器"), QStringLiteral("复位"),
                                           QStringLiteral("巡检")}));
    EXPECT_EQ(result.Summary(), QStringLiteral("导入命令 0 条、序列 0 个。\n"
                                               "与已有的完全相同，跳过：“读版本”、“读寄存器”、“复位”、“巡检”。"));
    ExpectSameLibrary(library, once);
}

TEST_F(CommandLibraryFileTest, AnImportedSequenceSendsTheCommandsItCameWith)
{
    using Commands = QList<QPair<QString, QString>>;  // name, content
    struct Case {
        const char* what;
        Commands library;
        Commands file;
        QStringList sends;      // the file's sequence, by the file's names
        QStringList contents;   // what its steps send once imported
    };
    const QString a = QStringLiteral("A");
    const QString a2 = QStringLiteral("A (2)");
    const QString a3 = QStringLiteral("A (3)");
    const Case cases[] = {
        {"a clash renamed", {{a, "AT+OLD"}}, {{a, "AT+READ"}}, {a}, {"AT+READ"}},
        {"names that chain", {{a, "AT+OLD"}}, {{a, "AT+READ"}, {a2, "AT+WRITE"}}, {a, a2}, {"AT+READ", "AT+WRITE"}},
        {"chained, the other way round", {{a, "AT+OLD"}}, {{a2, "AT+WRITE"}, {a, "AT+READ"}}, {a, a2},
         {"AT+READ", "AT+WRITE"}},
        {"three deep", {{a, "AT+1"}, {a2, "AT+2"}}, {{a, "AT+READ"}, {a2, "AT+WRITE"}, {a3, "AT+ERASE"}},
         {a3, a, a2, a}, {"AT+ERASE", "AT+READ", "AT+WRITE", "AT+READ"}},
        {"one skipped onto a name the file also has", {{a2, "AT+READ"}}, {{a, "AT+READ"}, {a2, "AT+WRITE"}},
         {a, a2}, {"AT+READ", "AT+WRITE"}},
        {"a command of the library, not of the file", {{QStringLiteral("X"), "AT+X"}}, {{a, "AT+READ"}},
         {QStringLiteral("X"), a}, {"AT+X", "AT+READ"}},
    };
    auto toCommands = [](const Commands& list) {
        QList<TerminalCommand> commands;
        for (const auto& [name, content] : list)
            commands << TextCommand(name, content);
        return commands;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCommandLibrary library;
        library.SetFilePath({});
        ASSERT_TRUE(library.Assign(toCommands(c.library), {}));
        CommandSequence sequence{QStringLiteral("巡检"), {}, 1};
        for (const QString& name : c.sends)
            sequence.steps << SendStep(name);
        CCommandLibrary other;
        ASSERT_TRUE(other.Assign(toCommands(c.file), {sequence}));
        const QString path = PathOf(QStringLiteral("chain.json"));
        ASSERT_TRUE(other.Export(path));

        ImportResult result;
        QString error;
        ASSERT_TRUE(library.Import(path, &result, &error)) << error.toStdString();
        const CommandSequence* imported = library.FindSequence(QStringLiteral("巡检"));
        ASSERT_NE(imported, nullptr);
        QStringList contents;
        for (const SequenceStep& step : imported->steps) {
            const TerminalCommand* command = library.FindCommand(step.text);
            contents << (command ? command->content : QStringLiteral("<none: %1>").arg(step.text));
        }
        EXPECT_EQ(contents, c.contents);
    }
}

TEST_F(CommandLibraryFileTest, EditsThatBreakTheRulesChangeNothing)
{
    CCommandLibrary library = SampleLibrary();
    const CCommandLibrary before = library;
    QString error;
    EXPECT_FALSE(library.SetCommand(1, TextCommand(QStringLiteral("读版本"), QStringLiteral("x")), &error));
    EXPECT_EQ(error, QStringLiteral("命令名称“读版本”重复"));
    EXPECT_FALSE(library.SetCommand(2, TextCommand(QStringLiteral("新"), QStringLiteral("x"), 1), &error));
    EXPECT_EQ(error, QStringLiteral("快捷键 1 已给了命令“读版本”，不能再给命令“新”"));
    ExpectSameLibrary(library, before);

    // A rename follows into the sequences that send the command.
    ASSERT_TRUE(library.SetCommand(0, TextCommand(QStringLiteral("版本"), QStringLiteral("AT+VER"), 1), &error));
    EXPECT_EQ(library.FindSequence(QStringLiteral("巡检"))->steps[0], SendStep(QStringLiteral("版本")));
}

TEST_F(CommandLibraryFileTest, BrokenOwnFileIsKeptAsideNeverOverwritten)
{
    const QString path = PathOf(QStringLiteral("commands.json"));
    const QByteArray broken = "{\"format\": \"sirenset-command-library\", \"version\": 1, \"commands\": [";
    ASSERT_TRUE(WriteFileBytes(path, broken));

    CCommandLibrary library;
    library.SetFilePath(path);
    QString notice;
    EXPECT_FALSE(library.OpenFile(&notice));
    EXPECT_TRUE(library.Commands().isEmpty());
    EXPECT_TRUE(notice.startsWith(Unusable(path, QStringLiteral("不是有效的 JSON：第 1 行第 ")).chopped(1)));
    EXPECT_TRUE(notice.endsWith(QStringLiteral("原文件已改名为“%1”保留，命令库从空白开始。")
                                    .arg(QDir::toNativeSeparators(path + ".broken"))))
        << notice.toStdString();
    EXPECT_EQ(ReadFileBytes(path + ".broken"), broken);

    ASSERT_TRUE(library.SetCommand(0, TextCommand(QStringLiteral("a"), QStringLiteral("b"))));
    ASSERT_TRUE(library.Store());
    // A second broken file goes beside the first, not over it.
    ASSERT_TRUE(WriteFileBytes(path, "garbage"));
    CCommandLibrary again;
    again.SetFilePath(path);
    EXPECT_FALSE(again.OpenFile(&notice));
    EXPECT_EQ(ReadFileBytes(path + ".broken"), broken);
    EXPECT_EQ(ReadFileBytes(path + ".broken2"), QByteArray("garbage"));

    // A good own file opens quietly; a missing one gives an empty library.
    ASSERT_TRUE(library.Store());
    CCommandLibrary good;
    good.SetFilePath(path);
    notice.clear();
    EXPECT_TRUE(good.OpenFile(&notice));
    EXPECT_TRUE(notice.isEmpty());
    ExpectSameLibrary(good, library);
    CCommandLibrary fresh;
    fresh.SetFilePath(PathOf(QStringLiteral("none.json")));
    EXPECT_TRUE(fresh.OpenFile(&notice));
    EXPECT_TRUE(fresh.Commands().isEmpty());
}

}  // namespace
