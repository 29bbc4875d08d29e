#pragma once

#include "records/RecordTypes.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One step of a visit as the writer stores it: a report, or one step of a
// change (begun, an item, done), or a profile check's result. Each carries an id of its own, so that a
// step sent twice (replayed from the outbox after a stall that may or may
// not have reached the database) is stored once; and everything the store
// needs to place it, so that another process can replay it.
struct RecordEvent {
    enum class Type { Report, ChangeBegun, ChangeItem, ChangeDone, ProfileCheck };
    Type type = Type::Report;
    QString uid;       // this step's own id
    QString visitUid;  // the visit: one terminal caught on one port
    qint64 atMs = 0;
    VisitContext context;

    // Report
    QString trigger;
    QByteArray report;
    QString module;
    // A verification that shows another device ID than the save began on:
    // the key it began on (the terminal was renamed); "" otherwise.
    QString renamedFrom;

    // Changes: the change's own id, and (begun, a profile check) the device
    // it belongs to.
    QString changeUid;
    QString deviceKey;
    QString kind;       // begun: a ChangeKind
    int seq = 0;        // item: 1 for the first
    ChangeItem item;    // item
    QString result;     // done: "成功", "失败"
    QString verify;     // done

    // Profile check
    RecordedProfileCheck check;
};

// A new id for a visit, a change or a step.
QString NewRecordUid();

// The event as kept in the outbox, and back (nothing when the text is not
// an event this program wrote).
QByteArray RecordEventToJson(const RecordEvent& event);
std::optional<RecordEvent> RecordEventFromJson(const QByteArray& json);
