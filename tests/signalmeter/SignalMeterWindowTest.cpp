#include "SignalMeterFixture.h"
#include "signalmeter/CSignalMeterDlg.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

using testsupport::WaitUntil;

class SignalMeterWindowTest : public SignalMeterSessionTest {
protected:
    void TearDown() override
    {
        m_window.reset();
        SignalMeterSessionTest::TearDown();
    }
    void Screenshot(const char* name)
    {
        const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        m_window->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
    }

    std::unique_ptr<CSignalMeterDlg> m_window;
};

TEST_F(SignalMeterWindowTest, TheValueFollowsTheSignalAndClosingStopsTheMeter)
{
    ASSERT_TRUE(m_meter->Start());
    m_window = std::make_unique<CSignalMeterDlg>(*m_meter);
    m_window->show();
    const struct {
        int rssi;
        const char* value;
        const char* detail;
    } steps[] = {{23, "23", "-67 dBm 优秀"}, {12, "12", "-89 dBm 一般"}, {99, "未知", "模块报告信号未知 (99)"},
                 {4, "4", "-105 dBm 差"}, {0, "0", "≤ \u2212113 dBm 差"}, {31, "31", "≥ \u221251 dBm 优秀"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.rssi);
        SetSignal(step.rssi);
        EXPECT_TRUE(WaitUntil([&] {
            return m_window->ValueText() == QString::fromUtf8(step.value)
                && m_window->DetailText() == QString::fromUtf8(step.detail);
        })) << m_window->ValueText().toStdString() << " / " << m_window->DetailText().toStdString();
    }
    m_window->resize(560, 460);
    Screenshot("signal_meter_top.png");
    SetSignal(17);
    ASSERT_TRUE(WaitUntil([&] { return m_window->ValueText() == QStringLiteral("17"); }));
    EXPECT_TRUE(m_window->FiguresText().startsWith(QStringLiteral("最近 5 分钟：最小 0，最大 31，平均 ")))
        << m_window->FiguresText().toStdString();
    EXPECT_TRUE(m_window->findChild<QLabel*>(QStringLiteral("bandLegend"))->text().contains(BandLegend()));
    m_window->resize(560, 460);
    Screenshot("signal_meter.png");

    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return !m_meter->IsRunning(); }));
    EXPECT_TRUE(WaitUntilIdle());
}

}  // namespace
