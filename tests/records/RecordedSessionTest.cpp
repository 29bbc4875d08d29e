#include "device/CDeviceQueries.h"
#include "records/CRecordStore.h"
#include "records/CVisitRecorder.h"
#include "sim/ParameterReport.h"
#include "support/QtPrinters.h"

#include "device/DeviceSessionFixture.h"

#include <QDateTime>
#include <QTemporaryDir>

namespace {

// A controller with the service record attached, against the simulator.
class RecordedSessionTest : public DeviceSessionTest {
protected:
    void Attach(const QString& location)
    {
        CDeviceController* device = &Device();
        m_recorder = std::make_shared<CVisitRecorder>(location, QStringLiteral("COM7"),
                                                      [device](const QString& line) { device->PostLog(line); },
                                                      RecordTiming{}, m_dir.filePath(QStringLiteral("outbox.sqlite")));
        // Before any task: the worker reads the recorder without a lock.
        device->SetRecorder(m_recorder);
    }
    QString DbPath() const { return m_dir.filePath(QStringLiteral("records.sqlite")); }
    std::optional<DeviceHistory> History()
    {
        CRecordStore store(DbPath());
        EXPECT_TRUE(store.Open());
        return store.History(QString::fromStdString(Sim().Parameters().deviceId));
    }

    QTemporaryDir m_dir;
    std::shared_ptr<CVisitRecorder> m_recorder;
};

}  // namespace

// The entry, a read-back of the same values, a factory reset with the
// reload it brings, and a clock setting: each step lands in the record.
TEST_F(RecordedSessionTest, RecordsEveryReadAndChangeOfAVisit)
{
    TerminalParameters before = Sim().Parameters();
    before.deviceId = "00C0FFEE";
    before.serverIp = "10.0.0.5";
    Sim().SetParameters(before);
    Attach(DbPath());
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();

    const int readBackMark = CountLog(QStringLiteral("参数加载完成..."));
    Device().Queries().RequestReadBack();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) > readBackMark; }));
    ASSERT_TRUE(WaitUntilIdle());

    Device().Queries().RequestFactoryReset();
    ASSERT_TRUE(WaitForLog(QStringLiteral("恢复出厂设置成功")));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) > readBackMark + 1; }));
    ASSERT_TRUE(WaitUntilIdle());

    Device().Queries().RequestSetClock(CDeviceQueries::ManualClockCommand(QStringLiteral("2026/05/01"), QStringLiteral("08:00:00")));
    ASSERT_TRUE(WaitForLog(QStringLiteral("设置RTC时间成功")));
    ASSERT_TRUE(WaitUntilIdle());
    Device().Shutdown();
    ASSERT_TRUE(m_recorder->Flush(30000));

    CRecordStore store(DbPath());
    ASSERT_TRUE(store.Open());
    const auto first = store.History(QStringLiteral("00C0FFEE"));
    ASSERT_TRUE(first) << store.LastError().toStdString();
    // Entry and read-back were equal: one snapshot, seen twice.
    ASSERT_EQ(first->entries.size(), 2u);
    EXPECT_EQ(first->entries[0].trigger, QStringLiteral("entry"));
    EXPECT_EQ(first->entries[0].seen, 2);
    EXPECT_EQ(first->entries[0].port, QStringLiteral("COM7"));
    EXPECT_FALSE(first->entries[0].module.isEmpty());
    // The report from its first label (after a blank line and a heading) to its "OK".
    const std::string report = ParameterReport::Build(before);
    EXPECT_EQ(store.SnapshotReport(QStringLiteral("00C0FFEE")),
              QByteArray::fromStdString(report.substr(report.find("Alarm admin NO:  "))));
    EXPECT_EQ(first->entries[1].kind, QStringLiteral("factory-reset"));
    EXPECT_EQ(first->entries[1].result, QStringLiteral("成功"));

    // The reload after the reset reports the factory ID: a device of its own
    // (or the same, when the factory ID is this one).
    DeviceKeyKind kind{};
    const QString resetKey = CRecordStore::DeviceKeyOf(
        QByteArray::fromStdString(ParameterReport::Build(Sim().Parameters())), &kind, nullptr);
    const auto after = store.History(resetKey);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->entries.size(), 2u);
    EXPECT_EQ(after->entries[0].trigger, QStringLiteral("readback"));
    EXPECT_EQ(after->entries[1].kind, QStringLiteral("clock"));
    ASSERT_EQ(after->entries[1].items.size(), 1u);
    EXPECT_TRUE(after->entries[1].items[0].newValue.startsWith(QStringLiteral("AT+EXCCLK=")));
    EXPECT_FALSE(m_recorder->HasFailed());
    EXPECT_FALSE(Log().contains(QStringLiteral("设备档案无法记录"))) << Log().toStdString();
}

// A record that cannot be kept stops nothing: the entry and the read-back
// run as without one, and the log says so once, with the reason.
TEST_F(RecordedSessionTest, AnUnwritableRecordIsLoggedOnceAndConfiguringGoesOn)
{
    Attach(QStringLiteral("/proc/sirenset-records/records.sqlite"));
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    Device().Queries().RequestReadBack();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) == 2; }));
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_TRUE(m_recorder->Flush(30000));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Log().contains(QStringLiteral("设备档案无法记录")); }));
    QStringList failures;
    for (const QString& line : m_view.logLines) {
        if (line.startsWith(QStringLiteral("设备档案无法记录")))
            failures << line;
    }
    ASSERT_EQ(failures.size(), 1) << Log().toStdString();
    EXPECT_TRUE(failures[0].contains(QStringLiteral("/proc/sirenset-records"))) << failures[0].toStdString();
    EXPECT_TRUE(m_recorder->HasFailed());
}
