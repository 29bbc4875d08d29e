#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// What the device side tells the service record: every report read from
// the terminal, the entry's module reply, and every change sent to it. The
// controller calls it on the worker thread, after the log lines of the step
// it records. An implementation never blocks for long and never fails a
// task: it keeps its own failures to itself (and says so once in the log).
class IVisitRecorder {
public:
    enum class ReportTrigger {
        Entry,     // the configuration entry's report
        ReadBack,  // 参数回读 (and the reload after a factory reset)
        Verify,    // the read-back after a save
    };
    // SignalReadings: a run of the signal meter; it changes nothing on the
    // terminal, its items are the run's figures.
    enum class ChangeKind { Parameters, NumberList, FactoryReset, Clock, SignalReadings };

    struct SentItem {
        QString item;      // the item's label, or the command for lists and clock
        QString oldValue;  // what the tool showed before
        QString newValue;  // what was sent
        bool acknowledged = false;
    };
    struct Change {
        ChangeKind kind = ChangeKind::Parameters;
        std::vector<SentItem> items;
        bool succeeded = false;
        // Parameters: "" when not verified, else the verification's outcome.
        QString verify;
        qint64 startedMs = 0;
    };

    virtual ~IVisitRecorder() = default;
    // The entry's ati / AT+CGMR reply.
    virtual void ModuleReplied(const QByteArray& reply) = 0;
    virtual void ReportRead(ReportTrigger trigger, const QByteArray& report) = 0;

    // A change that sends several commands is recorded as it goes, so that
    // one cut short (port lost, SIGINT, a crash) leaves an honest trace:
    // ChangeBegun before its first command (the record shows it 未完成),
    // ChangeItemSent as each item is answered or given up, and ChangeDone at
    // the end with its result and verification. A ChangeDone without a
    // ChangeBegun records a whole change at once (clock, factory reset).
    // After a ChangeBegun, ChangeDone's `items` holds every item; those
    // already given by ChangeItemSent are its first ones and are not added
    // again.
    virtual void ChangeBegun(ChangeKind kind, qint64 startedMs) = 0;
    virtual void ChangeItemSent(const SentItem& item) = 0;
    virtual void ChangeDone(const Change& change) = 0;
};
