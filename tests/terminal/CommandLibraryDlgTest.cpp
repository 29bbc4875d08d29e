#include "LibraryCases.h"

#include "controls/MessageBoxes.h"
#include "terminal/CCommandLibraryDlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace librarycases;

template <typename Widget>
Widget* Find(QWidget* root, const QString& accessibleName)
{
    for (Widget* widget : root->findChildren<Widget*>()) {
        if (widget->accessibleName() == accessibleName)
            return widget;
    }
    ADD_FAILURE() << "no control named " << accessibleName.toStdString();
    return nullptr;
}

// The editor on the sample library saved in a folder of the test's own,
// with every message box recorded and answered Yes/Ok.
class CommandLibraryDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MessageBoxes::SetHandler([this](const MessageBoxes::Request& request) {
            m_messages << request.text;
            return MessageBoxes::Reply{MessageBoxes::Answer::Yes, m_chosenPath, {}};
        });
        m_library = SampleLibrary();
        m_library.SetFilePath(m_dir.filePath(QStringLiteral("commands.json")));
        ASSERT_TRUE(m_library.Store());
        m_dialog = std::make_unique<CCommandLibraryDlg>(m_library);
        m_dialog->show();
        Find<QListWidget>(m_dialog.get(), QStringLiteral("命令列表"))->setCurrentRow(1);  // 读寄存器
    }
    void TearDown() override
    {
        m_dialog.reset();
        MessageBoxes::SetHandler({});
    }

    template <typename Widget>
    Widget* Control(const QString& name)
    {
        return Find<Widget>(m_dialog.get(), name);
    }
    void Click(const QString& button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }
    void ReplaceText(const QString& edit, const QString& text)
    {
        QLineEdit* box = Control<QLineEdit>(edit);
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    CCommandLibrary Saved() const
    {
        CCommandLibrary saved;
        EXPECT_TRUE(saved.Load(m_library.FilePath()));
        return saved;
    }

    QTemporaryDir m_dir;
    CCommandLibrary m_library;
    std::unique_ptr<CCommandLibraryDlg> m_dialog;
    QStringList m_messages;
    QString m_chosenPath;
};

TEST_F(CommandLibraryDlgTest, PreviewFollowsTheCheckKindAndTheChangeIsSaved)
{
    EXPECT_EQ(Control<QLineEdit>(QStringLiteral("名称"))->text(), QStringLiteral("读寄存器"));
    EXPECT_EQ(m_dialog->PreviewText(), QStringLiteral("01 03 00 00 00 0A C5 CD"));
    QComboBox* check = Control<QComboBox>(QStringLiteral("校验"));
    QComboBox* order = Control<QComboBox>(QStringLiteral("校验字节顺序"));
    const struct {
        int check;
        int order;
        QString preview;
    } cases[] = {
        {0, 0, QStringLiteral("01 03 00 00 00 0A")},
        {1, 0, QStringLiteral("01 03 00 00 00 0A 08")},
        {2, 0, QStringLiteral("01 03 00 00 00 0A 0E")},
        {3, 1, QStringLiteral("01 03 00 00 00 0A CD C5")},
        {3, 0, QStringLiteral("01 03 00 00 00 0A C5 CD")},
        {1, 1, QStringLiteral("01 03 00 00 00 0A 08")},
    };
    for (const auto& c : cases) {
        check->setCurrentIndex(c.check);
        order->setCurrentIndex(c.order);
        EXPECT_EQ(m_dialog->PreviewText(), c.preview) << c.check << "/" << c.order;
    }
    Control<QComboBox>(QStringLiteral("行尾"))->setCurrentIndex(3);
    EXPECT_EQ(m_dialog->PreviewText(), QStringLiteral("01 03 00 00 00 0A 08 0D 0A"));
    // Nothing reaches the library before 保存修改.
    EXPECT_EQ(m_library.Commands()[1].check, CheckValue::Kind::Crc16Modbus);

    Click(QStringLiteral("保存修改"));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(m_library.Commands()[1].check, CheckValue::Kind::Xor);
    EXPECT_EQ(Saved().Commands(), m_library.Commands());
    EXPECT_EQ(CCommandLibrary::Frame(Saved().Commands()[1]), QByteArray::fromHex("01030000000A080D0A"));

    QSignalSpy send(m_dialog.get(), &CCommandLibraryDlg::sendCommandRequested);
    Click(QStringLiteral("发送"));
    ASSERT_EQ(send.size(), 1);
    EXPECT_EQ(send.front().front().toString(), QStringLiteral("读寄存器"));

    const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        m_dialog->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/command_library.png"));
    }
}

TEST_F(CommandLibraryDlgTest, BadHexIsRefusedAndNothingIsLost)
{
    const CCommandLibrary before = m_library;
    ReplaceText(QStringLiteral("内容"), QStringLiteral("01 0G"));
    const QString problem =
        QStringLiteral("十六进制内容第 5 个字符“G”不是十六进制数字（只能用 0-9、A-F 和空格）");
    EXPECT_EQ(m_dialog->PreviewText(), problem);

    Click(QStringLiteral("保存修改"));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("命令“读寄存器”：") + problem});
    // Neither choosing another command nor sending leaves the edit.
    Control<QListWidget>(QStringLiteral("命令列表"))->setCurrentRow(0);
    QSignalSpy send(m_dialog.get(), &CCommandLibraryDlg::sendCommandRequested);
    Click(QStringLiteral("发送"));
    EXPECT_TRUE(send.isEmpty());
    EXPECT_EQ(m_messages.size(), 3);
    EXPECT_EQ(Control<QListWidget>(QStringLiteral("命令列表"))->currentRow(), 1);
    EXPECT_EQ(Control<QLineEdit>(QStringLiteral("内容"))->text(), QStringLiteral("01 0G"));
    EXPECT_EQ(m_library.Commands(), before.Commands());
    EXPECT_EQ(Saved().Commands(), before.Commands());

    // A taken shortcut is refused the same way.
    ReplaceText(QStringLiteral("内容"), QStringLiteral("0103"));
    Control<QComboBox>(QStringLiteral("快捷键"))->setCurrentIndex(1);
    Click(QStringLiteral("保存修改"));
    EXPECT_EQ(m_messages.last(), QStringLiteral("快捷键 1 已给了命令“读版本”，不能再给命令“读寄存器”"));
    EXPECT_EQ(m_library.Commands(), before.Commands());
}

TEST_F(CommandLibraryDlgTest, ImportMergesAndSaysWhat)
{
    CCommandLibrary other;
    ASSERT_TRUE(other.Assign({TextCommand(QStringLiteral("读版本"), QStringLiteral("AT+GMR"), 1)}, {}));
    m_chosenPath = m_dir.filePath(QStringLiteral("shared.json"));
    ASSERT_TRUE(other.Export(m_chosenPath));
    Click(QStringLiteral("导入"));
    EXPECT_EQ(m_messages.last(),
              QStringLiteral("导入命令 1 条、序列 0 个。\n名称已有而内容不同，改名导入：“读版本”→“读版本 (2)”。\n"
                             "快捷键已被占用，导入时去掉了快捷键：“读版本 (2)”。"));
    EXPECT_EQ(Control<QListWidget>(QStringLiteral("命令列表"))->count(), 3);
    EXPECT_EQ(Saved().Commands(), m_library.Commands());

    ASSERT_TRUE(QFile(m_chosenPath).open(QIODevice::WriteOnly | QIODevice::Truncate));
    Click(QStringLiteral("导入"));
    EXPECT_TRUE(m_messages.last().endsWith(QStringLiteral("命令库没有改变。"))) << m_messages.last().toStdString();
    EXPECT_EQ(m_library.Commands().size(), 3);
}

}  // namespace
