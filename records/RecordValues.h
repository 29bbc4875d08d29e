#pragma once

#include "records/RecordTypes.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A report's parsed values as the record indexes them (see RecordedItem):
// every item the table shows and saves, in table order, then the three
// number lists. The device ID and SIM number are given apart: they differ
// on every terminal, and the rest is what a project's terminals share.
struct ParsedValues {
    QString unitId;
    QString unitSim;
    std::vector<RecordedItem> items;
    // SHA-256 (hex) of the items: equal digests, equal values.
    QString Digest() const;
};
ParsedValues ParseRecordValues(const QByteArray& report);

// The label an item is recorded under, from a label as --set accepts it
// (the table's, with or without its colon, or the report's) or a list's
// name; "" for neither.
QString RecordedItemLabel(const QString& label);
// The names of the recorded lists.
QString RecordedListName(int category);
// Whether `label` (as recorded) is the device ID's or the SIM number's.
bool IsDeviceIdLabel(const QString& label);
bool IsSimNumberLabel(const QString& label);
