#pragma once

#include <QString>

// The log lines of the service record's writing, in one place.
namespace RecordLines {

// A database that cannot be written: what was to go there waits in the
// outbox.
QString Failure(const QString& why, const QString& where);
// The outbox itself cannot be written: the step is lost.
QString OutboxFailure(const QString& why, const QString& outboxPath);
// Visits that waited in the outbox are now in their database.
QString OutboxWritten(int visits, const QString& target);
// A batch run's terminal: its record, as --export takes it.
QString VisitWritten(const QString& deviceKey, int snapshotNumber);
// A batch run's terminal whose record waits in the outbox.
QString VisitPending(const QString& outboxPath, const QString& target);

}  // namespace RecordLines
