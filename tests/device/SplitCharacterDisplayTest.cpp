#include "DeviceSessionFixture.h"

#include "params/GbkText.h"

namespace {

using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

SimulatorOptions BootingIntoCommunication()
{
    SimulatorOptions options = testsupport::SimulatorSession::FastOptions();
    options.bootWindowMs = 40;
    return options;
}

const QString kHeldByteShown = QString(QChar::ReplacementCharacter);

// The controller in communication mode on a terminal that booted into it;
// the log starts empty after the boot text.
class SplitCharacterDisplayTest : public DeviceSessionTest {
protected:
    SplitCharacterDisplayTest() : DeviceSessionTest(BootingIntoCommunication()) {}

    void Start()
    {
        Device().SetConfigurationMode(false);
        ASSERT_TRUE(Device().OpenPort(m_session.PortNumber(), 115200));
        ASSERT_TRUE(WaitUntil([&] { return Sim().Mode() == TerminalMode::Communication; }));
        ASSERT_TRUE(WaitUntil([&] { return Shown().contains(QStringLiteral("configure program.")); }));
        SpinFor(100ms);
        m_view.logLines.clear();
    }
    QString Shown() const { return m_view.logLines.join(QString()); }
    bool WaitForShown(const QString& text)
    {
        return WaitUntil([&] { return Shown() == text; }, 3s);
    }
};

TEST_F(SplitCharacterDisplayTest, ChineseTextSplitAtAnyByteShowsTheSameText)
{
    // Long enough that no held byte is shown before its second byte comes.
    m_timing.commHeldByteMs = 10000;
    Start();
    for (const QString& line : {QStringLiteral("预警广播测试"), QStringLiteral("AT预警 OK广播\r\n测试1")}) {
        const std::string bytes = UnicodeToGbk(line).value();
        for (std::size_t split = 1; split < bytes.size(); ++split) {
            SCOPED_TRACE(split);
            m_view.logLines.clear();
            Sim().SendRaw(bytes.substr(0, split));
            // Past the gathering of the first read, so the second is a read
            // of its own.
            SpinFor(std::chrono::milliseconds(m_timing.commRxGatherMs + 40));
            Sim().SendRaw(bytes.substr(split));
            EXPECT_TRUE(WaitForShown(line)) << m_view.logLines.join(QLatin1Char('|')).toStdString();
        }
    }
}

TEST_F(SplitCharacterDisplayTest, AHeldByteIsShownAfterAQuietSpellAndBeforeEverySwitch)
{
    m_timing.commHeldByteMs = 60;
    Start();
    const std::string lead = "\xD4";  // first byte of 预 alone

    struct Case {
        const char* name;
        std::function<void()> afterLeadByte;  // nothing: the quiet spell shows it
        QString shown;
    };
    const Case cases[] = {
        {"QuietSpell", {}, QStringLiteral("A") + kHeldByteShown},
        {"HexDisplay", [&] { Device().SetHexDisplay(true); }, QStringLiteral("A") + kHeldByteShown},
        {"ConfigurationMode", [&] { Device().SetConfigurationMode(true); }, QStringLiteral("A") + kHeldByteShown},
        {"PortClosed", [&] { Device().ClosePort(); }, QStringLiteral("A") + kHeldByteShown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Device().SetHexDisplay(false);
        Device().SetConfigurationMode(false);
        if (!Device().IsPortOpen())
            ASSERT_TRUE(Device().OpenPort(m_session.PortNumber(), 115200));
        m_view.logLines.clear();
        Sim().SendRaw("A" + lead);
        ASSERT_TRUE(WaitUntil([&] { return Shown().startsWith(QLatin1Char('A')); }, 3s));
        if (c.afterLeadByte)
            c.afterLeadByte();
        EXPECT_TRUE(WaitForShown(c.shown)) << m_view.logLines.join(QLatin1Char('|')).toStdString();
        // Shown once: nothing of it is kept for a later read.
        SpinFor(std::chrono::milliseconds(m_timing.commHeldByteMs * 2));
        EXPECT_EQ(m_view.logLines.size(), 2);
    }
}

TEST_F(SplitCharacterDisplayTest, AZeroByteEndsTheTextOfItsReadAndWhatWasHeldBeforeIt)
{
    m_timing.commHeldByteMs = 10000;
    Start();
    Sim().SendRaw(std::string("B\xD4\0C", 4));
    EXPECT_TRUE(WaitForShown(QStringLiteral("B") + kHeldByteShown));
}

}  // namespace
