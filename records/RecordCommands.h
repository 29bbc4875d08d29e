#pragma once

#include "records/RecordTypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <optional>
#include <vector>

// The service record from the command line: --history and --export. Each
// reads the record only (never creating, migrating or writing it), returns
// the program's exit status (0 done, 1 failed, 2 a usage error) and prints
// what went wrong on `err`.

// Every device, or one device's snapshots and changes; text or JSON.
int PrintHistory(const QString& location, const QString& device, bool json, std::FILE* out, std::FILE* err);
// Snapshot N ("1A2B3C4D@2"; without @N the latest) as a configuration file.
int ExportSnapshot(const QString& location, const QString& snapshot, const QString& file, std::FILE* err);

// A device key as typed: an 8-hex-digit ID in capitals, anything else as is.
QString NormalisedDeviceKey(const QString& typed);

// --export's "DEVICEID[@N]": the device and N from 1 (0: the latest).
struct SnapshotName {
    QString device;
    int number = 0;
};
// std::nullopt with the usage error in `why`.
std::optional<SnapshotName> ParseSnapshotName(const QString& text, QString* why);

// The texts both outputs use.
QString RecordTimeText(qint64 ms);
QJsonObject DeviceJson(const DeviceRow& row);
QJsonObject HistoryEntryJson(const HistoryEntry& entry);
// One entry for people: its line and, indented, what it changed.
QString HistoryEntryText(const HistoryEntry& entry);
// The device table: its header row, and one row per device.
QString DeviceTableHeader();
QString DeviceLine(const DeviceRow& row);
// The words for what took a snapshot and for a kind of change, in the
// history and in 设备档案 alike.
QString TriggerText(const QString& trigger);
QString ChangeKindText(const QString& kind);
