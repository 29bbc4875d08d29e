#pragma once

#include "params/ConfigFilePlan.h"
#include "device/IVisitRecorder.h"
#include "params/SavePlan.h"

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <vector>

class CDeviceController;

// Writes the edited parameter table to the terminal: the 保存设置 button and
// the save task (code 19) with its five procedures. Each procedure reads its
// value cells, checks them, and writes every item whose cell differs from
// the tool's picture of the terminal (the controller's parameter set), one
// AT command per item, storing each value the terminal acknowledged. The
// first failure ends the whole save, so the next save retries exactly what
// still differs.
//
// Every cell is converted by its item's rule and compared with the stored
// value, touched or not (a "否" over a stored 0 for the module sends 2).
// Text the user did not type is sent as the bytes the table was filled
// from; only typed text must be valid GBK.
//
// The constructor registers task code 19 with the controller, so the saver
// must stay alive until the controller has shut down its worker.
class CParameterSaver {
public:
    // How the last save of all parameters ended.
    struct Outcome {
        bool finished = false;   // the save ran to its end ("参数设置完成")
        int planned = 0;         // items it set out to write
        int sent = 0;            // items sent, answered or not
        int written = 0;         // items the terminal acknowledged
        bool verified = false;   // a read-back compared the written items (and lists)
        bool readBackFailed = false;
        int mismatches = 0;
    };

    explicit CParameterSaver(CDeviceController& device);

    // Any thread: whether a save that wrote items reads the report back
    // and compares them afterwards (on unless turned off).
    void SetVerifyAfterSave(bool verify) { m_verify = verify; }
    bool VerifiesAfterSave() const { return m_verify; }

    // UI thread: the handler of 保存设置. Disables the command buttons and
    // queues the save task.
    void OnSaveSettings();

    // Worker thread: the body of task code 19. Runs the five procedures in
    // order, each only after the earlier ones succeeded, logs "参数设置完成"
    // when all did, and enables the command buttons in every case.
    // `listCommands`: the whole-list commands a file load sent just before
    // (the task's command text), which the read-back checks too.
    void SaveAllParameters(const QByteArray& listCommands = {});

    // Worker thread, called by SaveAllParameters. True when every item was
    // unchanged or written; false when a check refused the values or an
    // item failed.
    bool SavePresetTexts();
    bool SavePriorities();
    bool SavePlayCounts();
    bool SaveNetworkParameters();
    bool SaveOtherSettings();

    // Any thread: the outcome of the last save (one that is running counts
    // as not finished).
    Outcome LastOutcome() const;

    // A whole-list command sent, as the service record keeps it.
    static IVisitRecorder::SentItem ListItem(const QByteArray& command, bool acknowledged);

private:
    // Worker thread, after a save that wrote items or followed a load's
    // lists: reads the report back and compares every written item and
    // every sent list with it.
    void VerifyWrittenItems();
    void NoteSent(const SaveItem& item, const CellInput& input, const ItemValue& value, bool acknowledged);
    void BeginOutcome(int planned);
    // Ends the change the save (or the file load before it) began, with
    // the save's outcome: the result and verification the log shows.
    void RecordSave();

    CDeviceController& m_device;
    std::atomic<bool> m_verify{true};
    // Worker thread only, during a save.
    std::vector<WrittenItem> m_written;
    std::vector<SentNumberList> m_sentLists;
    mutable std::mutex m_outcomeLock;
    Outcome m_outcome;
};
