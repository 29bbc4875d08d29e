#pragma once

#include "device/IDeviceView.h"

#include <QMap>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <cstdio>

class CLogFile;

// The view of a run without a window: log lines go to standard output as
// UTF-8, one per line, as they are logged; message-box texts go to standard
// error. The parameter table and the number pages are kept as plain data,
// so the device side runs exactly as it does with the window.
class CBatchConsole : public IDeviceView {
public:
    CBatchConsole(std::FILE* out = stdout, std::FILE* err = stderr);

    // Runs on several ports print each line after the port's name
    // ("[COM33] "); a log file gets every line too.
    void SetPrefix(const QString& prefix) { m_prefix = prefix; }
    void SetLogFile(CLogFile* file) { m_logFile = file; }
    // A line on standard output that is not part of the log (progress).
    void PrintLine(const QString& text);

    void AppendLog(const QString& line) override;
    void ShowSaveProgress(int done, int total) override;
    void SetBusy(bool busy) override { m_busy = busy; }
    void SetRestartEnabled(bool) override {}
    void SetCommunicationRadioEnabled(bool) override {}
    void ShowPortClosed() override {}
    void ShowMessage(const QString& text) override;

    QString CellText(int row, int column) override { return m_cells.value({row, column}); }
    void SetCellText(int row, int column, const QString& text) override { m_cells[{row, column}] = text; }
    void LockCell(int row, int column) override { m_lockedCells.insert({row, column}); }

    void ClearNumberPage(int category) override;
    void AppendNumberRow(int category, const QString& number) override;
    QStringList NumberRows(int category) override;
    // Nothing can be ticked without a window.
    QStringList TickedNumbers(int) override { return {}; }

    const QStringList& LogLines() const { return m_log; }
    int MessageCount() const { return m_messages; }
    bool IsBusy() const { return m_busy; }

    // The text as printed: line ends as LF, a command's closing CR dropped.
    static QString Printable(const QString& line);

private:
    // The text with the port's name before each of its lines.
    QString Tagged(const QString& text) const;

    QString m_prefix;
    CLogFile* m_logFile = nullptr;
    std::FILE* m_out;
    std::FILE* m_err;
    QStringList m_log;
    int m_messages = 0;
    bool m_busy = true;
    QMap<QPair<int, int>, QString> m_cells;
    QSet<QPair<int, int>> m_lockedCells;
    QStringList m_pages[3];
};
