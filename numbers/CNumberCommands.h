#pragma once

#include "device/IVisitRecorder.h"
#include "params/NumberList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class CDeviceController;
class NumberList;
struct DeviceTask;

// The commands that change the terminal's three number lists (add, delete,
// reset) and the power-on test of the vehicle station / FM transmitter.
//
// The Request* operations run on the UI thread after a button's dialog:
// they build the command, check it, disable the command buttons and queue
// one task. The tasks run on the worker: one exchange per command, and the
// tool's own copy of a list (the controller's ParameterSet) changes only
// after the terminal acknowledged with "OK". The worker never holds the
// ParameterSet lock while it waits for the UI thread: page rows are read
// first, the stored lists changed under the lock, and the pages updated
// after it is released.
//
// Kind codes are those of the add tasks: category + 1 (1 administrator,
// 2 authorised, 3 backup).
//
// The object registers its task codes in its constructor; it must outlive
// the controller's worker (shut the controller down before destroying it).
class CNumberCommands {
public:
    enum AddResult {
        Malformed = 0,     // a number could not be taken from the command
        Applied = 1,
        AlreadyShown = 2,  // a number is already on the list's page
    };

    static constexpr int KindOf(int category) { return category + 1; }
    static constexpr int CategoryOf(int kind) { return kind - 1; }

    explicit CNumberCommands(CDeviceController& device);

    CNumberCommands(const CNumberCommands&) = delete;
    CNumberCommands& operator=(const CNumberCommands&) = delete;

    // ---- UI thread ----
    // Adds the numbers of the entry dialog ("12,345", no trailing comma) to
    // a list. An unknown category does nothing; a number longer than a slot
    // is refused with a message box, a number the list already holds (or
    // that the entry repeats) with "号码重复,添加失败"; nothing is sent then.
    void RequestAdd(int category, const QString& numberText);
    // Empties a list (after the reset dialog's confirmation).
    void RequestReset(int category);
    // Deletes the numbers ticked on the pages when the task runs.
    void RequestDelete();
    void RequestPowerOnTest();

    // While a configuration file is shown in the window, add, delete and
    // reset change the file's lists instead of the terminal's: the handler
    // gets the category (-1 for a delete, which takes the ticked rows of
    // every page), what was asked, and the numbers; it answers true when it
    // took the request. Empty: every request goes to the terminal.
    using ListEdit = NumberListEdit;
    using ListEditHandler = std::function<bool(ListEdit edit, int category, const QStringList& numbers)>;
    void SetListEditHandler(ListEditHandler handler) { m_listEditHandler = std::move(handler); }

    // The ticked rows of the three pages, by category.
    std::array<QStringList, 3> TickedNumbers() const;
    // "你将删除管理号:" + numbers joined by "," ... for each list with a
    // ticked row, in list order, with nothing between the parts; empty when
    // nothing is ticked.
    static QString DeleteConfirmationText(const std::array<QStringList, 3>& ticked);

    // Whether the numbers of an add command may be sent: none of them is
    // stored in the list already, repeated in the command, empty or longer
    // than a slot. Takes the ParameterSet lock briefly.
    bool CheckNewNumbers(const QByteArray& command, int kind);

    // ---- worker thread ----
    // Stores the numbers of an acknowledged add command in the lowest empty
    // slots and appends them to the page, stopping at the first number the
    // page already shows (that number's slot is given back; numbers before
    // it stay). Numbers that found no empty slot are appended to `notKept`.
    AddResult ApplyAddedNumbers(const QByteArray& command, int kind, QList<QByteArray>* notKept = nullptr);
    // Empties the stored list and removes every row of its page.
    void ClearNumberList(int kind);
    // Rebuilds the three pages from the stored lists (rows come back unticked).
    void RefreshNumberPages();
    // Sends one command and waits for "OK" (no pause, no retry), and hands
    // it to the service record as a change of its own. True when the
    // terminal acknowledged in time.
    bool ExchangeNumberCommand(const QByteArray& command);

    // The tasks: add (codes 1-3), reset (20-22), delete (26), power-on test (27).
    void AddNumbers(const DeviceTask& task);
    void ResetNumbers(const DeviceTask& task);
    void DeleteNumbers();
    void PowerOnTest(const DeviceTask& task);

private:
    void RegisterTasks();
    void QueueOrRelease(int code, const QByteArray& command, const QString& failure);
    // One list of the delete task; false when the task must end here (the
    // terminal did not acknowledge, or the program is closing).
    bool DeleteTickedNumbers(int category);
    static AddResult StoreAddedNumbers(const QList<QByteArray>& numbers, NumberList& list, QStringList& rows,
                                       QStringList& appended, QList<QByteArray>& notKept);
    NumberList& StoredList(int category);
    // A list command sent, as the service record keeps it.
    static IVisitRecorder::SentItem ListItem(const QByteArray& command, bool acknowledged);

    CDeviceController& m_device;
    ListEditHandler m_listEditHandler;
};
