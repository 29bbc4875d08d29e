#pragma once

#include "params/ParameterReport.h"
#include "params/ParameterSet.h"
#include "params/SavePlan.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <vector>

// Configuration files hold the terminal's parameter report exactly as it
// was received, written with CR CR LF line ends.
inline constexpr int kMaxConfigReportBytes = static_cast<int>(kMaxParameterReportBytes);

// The file's bytes for a report: every LF written as CR LF.
QByteArray ConfigFileText(const QByteArray& report);
// A file's text as the parser reads it: CR CR LF, CR LF and bare LF line
// ends all become CR LF; at most the first kMaxConfigReportBytes bytes.
QByteArray ReportFromConfigFile(const QByteArray& fileBytes);

// One value of a file replaced for one terminal (a device ID, a SIM
// number): the value is checked as if the user had typed it into the
// item's cell.
struct CellOverride {
    const SaveItem* item = nullptr;
    QString value;
};

// Everything a load of a file decides before its first command: the file is
// refused as a whole, or it yields the three whole-list commands and the
// values the table then shows.
struct ConfigFileLoad {
    // Set: the file is refused and nothing may be sent.
    std::optional<SaveRefusal> refusal;
    // The file parsed over the terminal's current values: a line the file
    // lacks leaves the terminal's value, so nothing is sent for it.
    std::unique_ptr<ParameterSet> set;
    // "AT+LRMSETADMINNO=…\r", "AT+LRMSETLRMNO=…\r", "AT+LRMSETBKNO=…\r".
    std::array<QByteArray, 3> listCommands;
    std::array<QStringList, 3> listNumbers;
    // How many of the report's labels the file does not have.
    int missingLines = 0;
    // The inputs the save of all parameters will see once the table shows
    // the file's values, in the order of AllSaveItems().
    std::vector<CellInput> saveInputs;
    // The replaced values, to be typed into their cells once the table
    // shows the file's values.
    std::vector<CellOverride> overrides;
};

// The cells the table will show for a set, as the save then reads them, in
// the order of AllSaveItems().
std::vector<CellInput> InputsAfterShowing(const ParameterSet& set);

// The checks that need nothing but the file: control characters in any
// value, the parse, and every number of the three lists. Nothing when the
// file passes them.
std::optional<SaveRefusal> CheckConfigFileText(const QByteArray& reportText);

// Checks a file's text (after ReportFromConfigFile) completely: control
// characters in any value, the parse, every number of the three lists, and
// every input check of the save that follows. `current` is the tool's
// picture of the terminal.
// `overrides` replace the file's values of their items.
ConfigFileLoad PlanConfigFileLoad(const QByteArray& reportText, const ParameterSet& current,
                                  const std::vector<CellOverride>& overrides = {});

// What applying a planned (not refused) load would change on the terminal,
// one line per item in sending order, then one per number list that
// differs: "LABEL：设备“…”，文件“…”".
QStringList DescribeFileChanges(const ConfigFileLoad& load, const ParameterSet& current);

// A whole number list a load sent: the read-back after the save that
// follows the load checks that the terminal holds it.
struct SentNumberList {
    int category = 0;     // 0 administrator, 1 authorised, 2 backup
    QByteArray numbers;   // as sent: "13800000001,13800000002", or empty
};

// The three whole-list commands of a load, one after another, as they ride
// on the save it queues; SentNumberLists takes them apart again.
QByteArray SentListCommands(const ConfigFileLoad& load);
std::vector<SentNumberList> SentNumberLists(const QByteArray& listCommands);

// "管理号码：发送“13811111111”，读回“13800000001,13800000002”" when the
// report read back holds another list than the one sent; nothing when the
// lists are equal (the same numbers in the same order).
std::optional<QString> NumberListMismatch(const ParameterSet& readBack, const SentNumberList& sent);

// The message of a refused list number, for a file or a read-back.
QString RefusedListNumberText(const struct RefusedListNumber& refused);
