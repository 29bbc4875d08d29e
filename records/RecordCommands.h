#pragma once

#include "records/RecordTypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <vector>

// The service record from the command line: --history and --export. Each
// returns the program's exit status (0 done, 1 failed) and prints what went
// wrong on `err`.

// Every device, or one device's snapshots and changes; text or JSON.
int PrintHistory(const QString& location, const QString& device, bool json, std::FILE* out, std::FILE* err);
// Snapshot N ("1A2B3C4D@2"; without @N the latest) as a configuration file.
int ExportSnapshot(const QString& location, const QString& snapshot, const QString& file, std::FILE* err);

// A device key as typed: an 8-hex-digit ID in capitals, anything else as is.
QString NormalisedDeviceKey(const QString& typed);

// The texts both outputs use.
QString RecordTimeText(qint64 ms);
QJsonObject DeviceJson(const DeviceRow& row);
QJsonObject HistoryEntryJson(const HistoryEntry& entry);
QString HistoryEntryText(const HistoryEntry& entry);
