#pragma once

#include "device/IDeviceView.h"
#include "support/QtPrinters.h"

#include <QMap>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

// The view a device test gives the controller: it keeps what would be shown
// (log entries, busy state, message boxes) so tests can compare it line by
// line. Called on the main thread only, like the window.
class RecordingView : public IDeviceView {
public:
    void AppendLog(const QString& line) override { logLines << line; }
    void SetBusy(bool isBusy) override
    {
        busy = isBusy;
        busyChanges << isBusy;
    }
    void SetRestartEnabled(bool enabled) override { restartEnabled = enabled; }
    void SetCommunicationRadioEnabled(bool enabled) override { communicationRadioEnabled = enabled; }
    void ShowPortClosed() override { ++portClosedCount; }
    void ShowMessage(const QString& text) override
    {
        messages << text;
        if (onMessage)
            onMessage(text);
    }

    QString CellText(int row, int column) override { return cells.value({row, column}); }
    void SetCellText(int row, int column, const QString& text) override { cells[{row, column}] = text; }
    void LockCell(int row, int column) override { lockedCells.insert({row, column}); }

    void ClearNumberPage(int category) override { pages[category].clear(); ticked[category].clear(); }
    void AppendNumberRow(int category, const QString& number) override { pages[category] << number; }
    QStringList NumberRows(int category) override { return pages[category]; }
    QStringList TickedNumbers(int category) override { return ticked[category]; }

    void ShowSaveProgress(int done, int total) override { progress << QPair<int, int>(done, total); }
    void ShowVerifyResult(const QString& summary, const QStringList& mismatches) override
    {
        verifySummaries << summary;
        verifyMismatches << mismatches;
    }
    bool ConfirmFileChanges(const QStringList& changes) override
    {
        fileChanges << changes;
        return confirmFileChanges;
    }
    // Unticks every change whose text starts with one of `untickChanges`.
    bool ChooseFileChanges(const QStringList& changes, std::vector<bool>& ticks) override
    {
        initialTicks = ticks;
        for (qsizetype i = 0; i < changes.size(); ++i) {
            for (const QString& prefix : untickChanges) {
                if (changes[i].startsWith(prefix))
                    ticks[static_cast<std::size_t>(i)] = false;
            }
        }
        return ConfirmFileChanges(changes);
    }

    QMap<QPair<int, int>, QString> cells;
    QSet<QPair<int, int>> lockedCells;
    QStringList pages[3];
    QStringList ticked[3];
    QStringList logLines;
    QStringList messages;
    QList<bool> busyChanges;
    bool busy = true;
    bool restartEnabled = false;
    bool communicationRadioEnabled = true;
    int portClosedCount = 0;
    std::function<void(const QString&)> onMessage;
    QList<QPair<int, int>> progress;
    QStringList verifySummaries;
    QList<QStringList> verifyMismatches;
    QList<QStringList> fileChanges;
    bool confirmFileChanges = true;
    QStringList untickChanges;
    std::vector<bool> initialTicks;
};
