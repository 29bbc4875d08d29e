#include "SignalMeterFixture.h"
#include "records/CRecordStore.h"
#include "records/CVisitRecorder.h"

#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <vector>

namespace {

using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

using Kind = SignalReading::Kind;

// Replies as modems give them, and what the meter makes of them. Levels,
// dBm and bands as the meter's window states them: -113 dBm + 2 per step;
// below 10 poor, 10-14 fair, 15-19 good, 20 and above excellent.
struct ReplyCase {
    const char* reply;
    Kind kind;
    int rssi;
    int bitError;
    int dbm;
    const char* band;
    // As shown; the ends of the scale stand for every level beyond them
    // (3GPP TS 27.007), written with the minus sign U+2212.
    const char* dbmText = nullptr;
};

const ReplyCase kReplies[] = {
    {"\r\n+CSQ: 17,99\r\n\r\nOK\r\n", Kind::Value, 17, 99, -79, "良好", "-79 dBm"},
    {"+CSQ: 0,99", Kind::Value, 0, 99, -113, "差", "≤ \u2212113 dBm"},
    {"+CSQ: 1,99", Kind::Value, 1, 99, -111, "差", "-111 dBm"},
    {"+CSQ: 9,0", Kind::Value, 9, 0, -95, "差"},
    {"+CSQ: 10,3", Kind::Value, 10, 3, -93, "一般"},
    {"+CSQ: 14,99", Kind::Value, 14, 99, -85, "一般"},
    {"+CSQ: 15,99", Kind::Value, 15, 99, -83, "良好"},
    {"+CSQ: 19,7", Kind::Value, 19, 7, -75, "良好"},
    {"+CSQ: 20,99", Kind::Value, 20, 99, -73, "优秀"},
    {"+CSQ: 30,99", Kind::Value, 30, 99, -53, "优秀", "-53 dBm"},
    {"+CSQ: 31,99", Kind::Value, 31, 99, -51, "优秀", "≥ \u221251 dBm"},
    {"+CSQ:23 , 1", Kind::Value, 23, 1, -67, "优秀"},
    {"+CSQ: 99,99\r\nOK", Kind::Unknown, 99, 99, 0, ""},
    {"ERROR\r\n", Kind::NotUnderstood, 99, 99, 0, ""},
    {"+CSQ: 45,99", Kind::NotUnderstood, 99, 99, 0, ""},
    {"+CSQ: 17,8", Kind::NotUnderstood, 99, 99, 0, ""},
    {"+CSQ: 17", Kind::NotUnderstood, 99, 99, 0, ""},
    {"+csq: 17,99", Kind::NotUnderstood, 99, 99, 0, ""},
};

TEST(SignalReplyTest, RepliesAreReadAsTheModemMeansThem)
{
    for (const ReplyCase& c : kReplies) {
        SCOPED_TRACE(c.reply);
        const SignalReading reading = ParseSignalReply(QByteArray(c.reply));
        EXPECT_EQ(reading.kind, c.kind);
        if (c.kind != Kind::Value)
            continue;
        EXPECT_EQ(reading.rssi, c.rssi);
        EXPECT_EQ(reading.bitError, c.bitError);
        EXPECT_EQ(reading.HasBitError(), c.bitError != 99);
        EXPECT_EQ(SignalDbm(reading.rssi), c.dbm);
        EXPECT_EQ(BandName(BandOf(reading.rssi)), QString::fromUtf8(c.band));
        if (c.dbmText) {
            EXPECT_EQ(SignalDbmText(reading.rssi), QString::fromUtf8(c.dbmText));
        }
    }
    EXPECT_EQ(ParseSignalReply("ERROR\r\n").raw, QByteArray("ERROR\r\n"));
    EXPECT_EQ(BandLegend(), QStringLiteral("差 <10 · 一般 10–14 · 良好 15–19 · 优秀 ≥20"));
}

TEST(SignalReplyTest, FiguresCountEveryKindAndAverageOnlyLevels)
{
    SignalSession session;
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    session.Start(start);
    const char* replies[] = {"+CSQ: 12,99", "+CSQ: 99,99", "junk", "+CSQ: 18,99", "+CSQ: 15,99"};
    int second = 0;
    for (const char* reply : replies)
        session.Add(start.addSecs(++second * 100), ParseSignalReply(reply));
    session.Add(start.addSecs(++second * 100), MissedSignalReading());
    EXPECT_EQ(FiguresText(session.FiguresOfRun()),
              QStringLiteral("6 次读数，最小 12，最大 18，平均 15.0，未知 1，无法识别 1，未应答 1"));
    // The chart's five minutes back from the last reading: 300 s to 600 s.
    const SignalSession::Figures chart = session.FiguresOfChart(start.addSecs(600));
    EXPECT_EQ(chart.samples, 4);
    EXPECT_EQ(chart.minimum, 15);
    EXPECT_EQ(chart.maximum, 18);

    // A day at the shortest interval: the run's figures count every reading,
    // the session holds the chart's five minutes only, without raw replies.
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);  // no time-zone look-ups
    session.Start(utc);
    const int day = 24 * 3600 * 2;
    const SignalReading readings[] = {ParseSignalReply("garbled +CSQ: 8,99"), ParseSignalReply("+CSQ: 20,99")};
    for (int i = 0; i < day; ++i)
        session.Add(utc.addMSecs(i * 500LL), readings[i % 2]);
    const QDateTime last = utc.addMSecs((day - 1) * 500LL);
    EXPECT_EQ(FiguresText(session.FiguresOfRun()),
              QStringLiteral("172800 次读数，最小 8，最大 20，平均 14.0，未知 0，无法识别 0，未应答 0"));
    EXPECT_EQ(session.FiguresOfChart(last).samples, SignalSession::kChartSpanSeconds * 2 + 1);
    EXPECT_EQ(session.ChartSamples().size(), static_cast<std::size_t>(SignalSession::kChartSpanSeconds * 2 + 1));
    EXPECT_TRUE(session.ChartSamples().front().reading.raw.isEmpty());
}

// The meter on a simulated terminal in configuration mode, with every
// reading it hands over.
class SignalMeterTest : public SignalMeterSessionTest {
protected:
    void SetUp() override
    {
        SignalMeterSessionTest::SetUp();
        if (HasFatalFailure())
            return;
        QObject::connect(m_meter.get(), &CSignalMeter::readingTaken,
                         [this](const SignalReading& reading) { m_readings.push_back(reading); });
        QObject::connect(m_meter.get(), &CSignalMeter::finished, [this] { m_finished = true; });
    }
    bool WaitForReading(const std::function<bool(const SignalReading&)>& wanted)
    {
        const std::size_t from = m_readings.size();
        return WaitUntil([&] {
            for (std::size_t i = from; i < m_readings.size(); ++i) {
                if (wanted(m_readings[i]))
                    return true;
            }
            return false;
        });
    }
    int Queries()
    {
        int count = 0;
        for (const std::string& command : Sim().ReceivedCommands())
            count += command == "at+csq";
        return count;
    }

    std::vector<SignalReading> m_readings;
    bool m_finished = false;
};

TEST_F(SignalMeterTest, ReadingsFollowTheSignalAndStoppingLeavesNoQueryUnanswered)
{
    ASSERT_TRUE(m_meter->Start());
    EXPECT_TRUE(m_view.busy);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue() && r.rssi == 23; }));
    SetSignal(9);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue() && r.rssi == 9; }));
    SetSignal(99);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.kind == Kind::Unknown; }));
    TerminalIdentity confused = Sim().Identity();
    confused.signalAnswer = TerminalIdentity::SignalAnswer::Garbled;
    Sim().SetIdentity(confused);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) {
        return r.kind == Kind::NotUnderstood && r.raw.contains("+CSQ: --,--");
    }));

    // A modem that stops answering: missed readings, and the polling goes on.
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+csq"};
    Sim().SetFaults(faults);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.kind == Kind::Missed; }));
    Sim().SetFaults({});
    SetSignal(20);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue() && r.rssi == 20; }));

    // Stopped while a query waits: that query runs to its end, none follows.
    Sim().SetFaults(faults);
    const int asked = Queries();
    ASSERT_TRUE(WaitUntil([&] { return Queries() > asked; }));
    m_meter->Stop();
    EXPECT_FALSE(m_finished);
    ASSERT_TRUE(WaitUntil([&] { return m_finished; }));
    ASSERT_TRUE(WaitUntilIdle());
    SpinFor(std::chrono::milliseconds(m_timing.signalMeterIntervalMs * 5));
    EXPECT_EQ(Queries(), asked + 1);
    EXPECT_FALSE(m_meter->IsRunning());
    EXPECT_EQ(m_readings.back().kind, Kind::Missed);

    const SignalSession::Figures run = m_meter->Session().FiguresOfRun();
    EXPECT_EQ(run.samples, static_cast<int>(m_readings.size()));
    EXPECT_EQ(run.minimum, 9);
    EXPECT_GE(run.missed, 2);
    EXPECT_GE(run.notUnderstood, 1);
    EXPECT_TRUE(WaitForLog(QStringLiteral("信号监测结束：") + FiguresText(run)));
    // Every query went out as the status probe sends it.
    for (const std::string& command : Sim().ReceivedCommands())
        EXPECT_EQ(command, "at+csq");
}

TEST_F(SignalMeterTest, APortThatGoesAwayEndsTheRunAtOnce)
{
    ASSERT_TRUE(m_meter->Start());
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue(); }));
    Sim().Vanish();
    ASSERT_TRUE(WaitUntil([&] { return m_finished; }));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(m_meter->EndedEarly());
    const QRegularExpression summary(QStringLiteral("^信号监测提前结束（串口已断开，运行 \\d+\\.\\d 秒）：") +
                                     QRegularExpression::escape(FiguresText(m_meter->Session().FiguresOfRun())) +
                                     QLatin1Char('$'));
    EXPECT_EQ(m_view.logLines.filter(summary).size(), 1) << Log().toStdString();
    EXPECT_FALSE(m_meter->Start());
    EXPECT_TRUE(WaitForLog(QStringLiteral("信号监测失败：串口未打开")));
}

// A run of the meter is kept in the terminal's service record with its
// figures and how long it ran, and leaves the device's last result as it
// was; a run the port ended is kept as failed, and says why.
struct RecordCase {
    const char* what;
    bool portLost;
    const char* result;
};

class SignalMeterRecordTest : public SignalMeterTest, public ::testing::WithParamInterface<RecordCase> {
protected:
    void BeforeEntry() override
    {
        m_recorder = std::make_shared<CVisitRecorder>(m_dir.filePath(QStringLiteral("records.sqlite")),
                                                      QStringLiteral("COM7"), nullptr);
        Device().SetRecorder(m_recorder);
    }
    QTemporaryDir m_dir;
    std::shared_ptr<CVisitRecorder> m_recorder;
};

TEST_P(SignalMeterRecordTest, ARunIsKeptWithItsFigures)
{
    const RecordCase& c = GetParam();
    const std::string deviceId = Sim().Parameters().deviceId;
    ASSERT_TRUE(m_meter->Start());
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue() && r.rssi == 23; }));
    SetSignal(12);
    ASSERT_TRUE(WaitForReading([](const SignalReading& r) { return r.HasValue() && r.rssi == 12; }));
    if (c.portLost)
        Sim().Vanish();
    else
        m_meter->Stop();
    ASSERT_TRUE(WaitUntil([&] { return m_finished; }));
    ASSERT_TRUE(WaitUntilIdle());
    Device().Shutdown();
    ASSERT_TRUE(m_recorder->Flush(30000));

    CRecordStore store(m_dir.filePath(QStringLiteral("records.sqlite")));
    ASSERT_TRUE(store.Open());
    const auto history = store.History(QString::fromStdString(deviceId));
    ASSERT_TRUE(history) << store.LastError().toStdString();
    ASSERT_FALSE(history->entries.empty());
    const auto& run = history->entries.back();
    EXPECT_EQ(run.kind, QStringLiteral("signal"));
    EXPECT_EQ(run.result, QString::fromUtf8(c.result));
    QStringList items;
    QMap<QString, QString> values;
    for (const auto& item : run.items) {
        items << item.item;
        values[item.item] = item.newValue;
    }
    QStringList expected{QStringLiteral("开始"), QStringLiteral("结束"), QStringLiteral("读数"),
                         QStringLiteral("最小"), QStringLiteral("最大"), QStringLiteral("平均"),
                         QStringLiteral("未知"), QStringLiteral("无法识别"), QStringLiteral("未应答"),
                         QStringLiteral("时长")};
    if (c.portLost)
        expected << QStringLiteral("提前结束");
    EXPECT_EQ(items, expected);
    EXPECT_EQ(values.value(QStringLiteral("读数")), QString::number(m_readings.size()));
    EXPECT_EQ(values.value(QStringLiteral("最小")), QStringLiteral("12 (-89 dBm)"));
    EXPECT_EQ(values.value(QStringLiteral("最大")), QStringLiteral("23 (-67 dBm)"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d+\.\d 秒$)")).match(values.value(QStringLiteral("时长"))).hasMatch())
        << values.value(QStringLiteral("时长")).toStdString();
    if (c.portLost) {
        EXPECT_EQ(values.value(QStringLiteral("提前结束")), QStringLiteral("串口已断开"));
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, SignalMeterRecordTest,
                         ::testing::Values(RecordCase{"stopped", false, "成功"}, RecordCase{"port_lost", true, "失败"}),
                         [](const ::testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.what); });

TEST(SignalDurationTest, DurationsReadAsTheLogWritesThem)
{
    const struct {
        qint64 ms;
        const char* text;
    } rows[] = {{0, "0.0 秒"},          {12'549, "12.5 秒"},          {59'999, "59.9 秒"},
                {60'000, "1 分 00 秒"}, {3'599'000, "59 分 59 秒"},    {7'500'000, "2 小时 05 分 00 秒"}};
    for (const auto& row : rows)
        EXPECT_EQ(CSignalMeter::DurationText(row.ms), QString::fromUtf8(row.text)) << row.ms;
}

}  // namespace
