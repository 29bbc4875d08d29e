#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

class CDeviceController;
struct DeviceTask;

// The terminal's queries and maintenance commands: parameter read-back,
// factory reset, version, status probe and clock. The Request* operations
// run on the UI thread (button handlers); the tasks on the worker.
class CDeviceQueries {
public:
    explicit CDeviceQueries(CDeviceController& device);

    // ---- UI thread ----
    void RequestReadBack();
    void RequestFactoryReset();
    void RequestVersion();
    // Queues the status probe after the short pause its button makes.
    void RequestStatusProbe();
    void RequestReadClock();
    void RequestSetClock(const QByteArray& command);

    // The clock command: from the computer's clock ("系统时间"), or from the
    // texts of the date and time pickers ("yyyy/MM/dd", "HH:mm:ss").
    static QByteArray SystemClockCommand(const QDateTime& now);
    static QByteArray ManualClockCommand(const QString& dateText, const QString& timeText);
    // 0 = Sunday ... 6 = Saturday.
    static int DayOfWeek(const QDate& date);

    // ---- worker thread ----
    void ReadBack(const DeviceTask& task);
    void FactoryReset();
    void QueryVersion();
    void StatusProbe();
    void ReadClock();
    void SetClock(const DeviceTask& task);

private:
    void QueueOrRelease(int code, const QByteArray& command, const char* failure);
    void RecordFactoryReset(bool succeeded);

    CDeviceController& m_device;
};
