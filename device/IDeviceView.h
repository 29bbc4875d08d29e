#pragma once

#include "device/ReceivedEntry.h"

#include <QString>
#include <QStringList>

#include <vector>

// What the device side needs from whoever shows it: the main window, or the
// headless console of batch mode. Every call arrives on the UI (main) thread;
// CDeviceController marshals calls made on the worker thread.
class IDeviceView {
public:
    virtual ~IDeviceView() = default;

    // One entry of the log pane.
    virtual void AppendLog(const QString& line) = 0;
    // Disables (true) or enables (false) the thirteen command buttons.
    virtual void SetBusy(bool busy) = 0;
    // 重启进入通讯模式 and the 通讯模式 radio button.
    virtual void SetRestartEnabled(bool enabled) = 0;
    virtual void SetCommunicationRadioEnabled(bool enabled) = 0;
    // The port was closed without the user asking (device gone).
    virtual void ShowPortClosed() = 0;
    // A modal message box; returns when the user closed it.
    virtual void ShowMessage(const QString& text) = 0;

    // The parameter table, by (row, column) of its value cells.
    virtual QString CellText(int row, int column) = 0;
    virtual void SetCellText(int row, int column, const QString& text) = 0;
    // Makes a value cell read-only for the rest of the session.
    virtual void LockCell(int row, int column) = 0;

    // The number pages, by category (0 administrator, 1 authorised, 2 backup).
    virtual void ClearNumberPage(int category) = 0;
    virtual void AppendNumberRow(int category, const QString& number) = 0;
    // Texts of every row / of the ticked rows, in the order shown.
    virtual QStringList NumberRows(int category) = 0;
    virtual QStringList TickedNumbers(int category) = 0;

    // ---- beyond the terminal's own conversation; a view may ignore them ----
    // Communication mode: the entry of one read (or of a character held
    // back from one). A view without time stamps logs its text as any entry.
    virtual void AppendReceivedEntry(const ReceivedEntry& entry) { AppendLog(entry.text); }
    // A save of all parameters has written `done` of the `total` items it
    // is going to write (0 of N when it starts, N of N when it ends).
    virtual void ShowSaveProgress(int done, int total) { (void)done, (void)total; }
    // The read-back after a save compared the items written: `summary` is
    // the logged summary line, `mismatches` one logged line per item that
    // the terminal does not report as sent (empty when all matched).
    virtual void ShowVerifyResult(const QString& summary, const QStringList& mismatches)
    {
        (void)summary, (void)mismatches;
    }
    // Before a configuration file is applied: one line per item whose value
    // would change. True to go on, false to send nothing.
    virtual bool ConfirmFileChanges(const QStringList& changes)
    {
        (void)changes;
        return true;
    }
    // The same, with a tick per change: `ticked` comes in as the changes
    // are ticked at first and goes out as the user left them; only ticked
    // changes are sent. A view without ticks just confirms.
    virtual bool ChooseFileChanges(const QStringList& changes, std::vector<bool>& ticked)
    {
        (void)ticked;
        return ConfirmFileChanges(changes);
    }
};
