#include "MainWindowFixture.h"

#include "app/CLogPane.h"
#include "support/SimulatorSession.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

namespace {

using namespace std::chrono_literals;
using testsupport::SimulatorSession;
using testsupport::SpinFor;
using testsupport::WaitUntil;

SimulatorOptions CommunicationOptions()
{
    SimulatorOptions options = SimulatorSession::FastOptions();
    options.bootWindowMs = 40;  // no 's' comes: it boots into communication mode
    return options;
}

// The window as a technician's terminal on a simulated terminal that echoes
// what it gets.
class CommTerminalTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        MainWindowOptions options = Options({m_session.DevicePath()});
        options.communicationMode = true;
        Open(options);
        ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入通讯状态...")));
        ASSERT_TRUE(WaitUntil([&] { return m_session.sim().Mode() == TerminalMode::Communication; }));
        m_session.sim().ClearLogs();
        m_log.clear();
    }

    void SendFromPanel(const QString& text)
    {
        Find<QCheckBox>("appendCrCheck")->setChecked(true);
        auto* edit = Find<QLineEdit>("sendEdit");
        edit->setText(text);
        QTest::mouseClick(Find<QPushButton>("sendButton"), Qt::LeftButton);
    }
    // Entries that match `pattern`, with their closing return dropped.
    QStringList Entries(const QString& pattern) const
    {
        const QRegularExpression re(QLatin1Char('^') + pattern + QLatin1Char('$'));
        QStringList found;
        for (const QString& line : m_log)
            if (re.match(CLogPane::DisplayText(line)).hasMatch())
                found << line;
        return found;
    }

    SimulatorSession m_session{CommunicationOptions()};
};

const QString kTime = QStringLiteral(R"(\[\d\d:\d\d:\d\d\.\d{3}\] )");

TEST_F(CommTerminalTest, TimeStampsMarkSendsAndShowHowLongTheReplyTook)
{
    // Off: the entry is the bytes alone, as always.
    SendFromPanel(QStringLiteral("PING"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("PING\r")));
    EXPECT_TRUE(Entries(kTime + QStringLiteral(".*")).isEmpty()) << LogText().toStdString();

    Find<QCheckBox>("timeStampCheck")->setChecked(true);
    m_log.clear();
    SendFromPanel(QStringLiteral("STATUS"));
    ASSERT_TRUE(WaitUntil([&] { return Entries(kTime + QStringLiteral(R"(\+\d+ ms STATUS)")).size() == 1; }))
        << LogText().toStdString();
    EXPECT_EQ(Entries(kTime + QStringLiteral("发送: STATUS")).size(), 1) << LogText().toStdString();
    EXPECT_TRUE(m_log.first().contains(QStringLiteral("发送: STATUS"))) << "the send is shown before its reply";

    // In hex display, sends and replies are shown as hex too.
    Find<QCheckBox>("hexDisplayCheck")->setChecked(true);
    m_log.clear();
    SendFromPanel(QStringLiteral("AB"));
    ASSERT_TRUE(WaitUntil([&] { return Entries(kTime + QStringLiteral(R"(\+\d+ ms 41 42 0d)")).size() == 1; }))
        << LogText().toStdString();
    EXPECT_EQ(Entries(kTime + QStringLiteral("发送: 41 42 0d")).size(), 1) << LogText().toStdString();
}

TEST_F(CommTerminalTest, WithTimeStampsAPacketThatTricklesInIsOneEntry)
{
    Find<QCheckBox>("timeStampCheck")->setChecked(true);
    Find<QSpinBox>("packetGapSpin")->setValue(200);
    for (const char* piece : {"$GP", "RMC,", "0931", "12\r\n"}) {
        m_session.sim().SendRaw(piece);
        SpinFor(80ms);  // a gathering of 200 ms would cut the packet
    }
    ASSERT_TRUE(WaitUntil([&] { return !Entries(kTime + QStringLiteral(".*12")).isEmpty(); }));
    SpinFor(300ms);
    EXPECT_EQ(Entries(kTime + QStringLiteral(R"(\$GPRMC,093112\n)")).size(), 1) << LogText().toStdString();
}

TEST_F(CommTerminalTest, CaptureKeepsEveryByteWhateverTheDisplayShowsOrPauses)
{
    const QString path = m_folder.filePath(QStringLiteral("capture.bin"));
    m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path, {}}; };
    auto* capture = Find<QPushButton>("captureButton");
    QTest::mouseClick(capture, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("开始保存接收数据到 %1").arg(path)));
    EXPECT_EQ(capture->text(), QStringLiteral("停止保存"));

    // A zero byte ends what the text display shows; GBK and binary follow;
    // then more text than the pane holds, so it starts afresh; part of it
    // while the display is paused.
    std::string expected = std::string("A\0B\xb2\xe2\xca\xd4\r\n", 9);
    for (int value = 0; value < 256; ++value)
        expected += static_cast<char>(value);
    m_session.sim().SendRaw(expected);
    ASSERT_TRUE(WaitForLog(QStringLiteral("A")));
    auto* pause = Find<QPushButton>("pauseDisplayButton");
    for (int block = 0; block < 8; ++block) {
        if (block == 4)
            QTest::mouseClick(pause, Qt::LeftButton);
        const std::string text = std::string(5000, static_cast<char>('a' + block)) + "\r\n";
        expected += text;
        m_session.sim().SendRaw(text);
        SpinFor(60ms);
    }
    EXPECT_TRUE(m_window->LogPane()->IsDisplayPaused());
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().SentBytes().size() == expected.size(); }));
    // The daily log's observer still saw every entry while paused.
    ASSERT_TRUE(WaitUntil([&] { return LogText().count(QLatin1Char('h')) == 5000; })) << LogText().size();
    QTest::mouseClick(pause, Qt::LeftButton);
    SpinFor(100ms);
    QTest::mouseClick(capture, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("停止保存接收数据：%1，共 %2 字节").arg(path).arg(expected.size())))
        << LogText().right(300).toStdString();
    EXPECT_EQ(capture->text(), QStringLiteral("保存接收数据…"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), expected);
}

TEST_F(CommTerminalTest, ACaptureFileThatCannotBeMadeIsSaidAndNothingRuns)
{
    const QString path = m_folder.filePath(QStringLiteral("no-such-folder/capture.bin"));
    m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path, {}}; };
    QTest::mouseClick(Find<QPushButton>("captureButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("保存接收数据失败：%1（").arg(path)); }));
    EXPECT_EQ(Find<QPushButton>("captureButton")->text(), QStringLiteral("保存接收数据…"));
}

}  // namespace
