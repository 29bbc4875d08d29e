#pragma once

#include <QByteArray>
#include <QStringList>

// What differs between two reports of one terminal.

// Line by line, keyed by each line's label (the text before its first
// colon): "LABEL：旧值 → 新值", "LABEL：+新值", "LABEL：-旧值".
QStringList ReportLineDifferences(const QByteArray& older, const QByteArray& newer);

// What configuring a terminal that reports `current` from `target` would
// change, in the words of the file preview. A target the preview refuses
// gives its refusal as the only line.
QStringList ReportPreviewDifferences(const QByteArray& current, const QByteArray& target);
