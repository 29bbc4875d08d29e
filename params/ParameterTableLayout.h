#pragma once

#include "params/ParameterSet.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <vector>

// The parameter table as data: its columns, its rows with labels, editors
// and choice items, and which field each value cell shows. The grid widget
// is built from this; the conversions that turn a ParameterSet into the
// value cells' texts live here too, free of any widget.
//
// The table has two halves side by side: labels in column 0 and values in
// column 1 (rows 0 to 34), labels in column 2 and values in column 3 (rows
// 0 to 21).

inline constexpr int kParameterTableRowCount = 35;
inline constexpr int kLeftLabelColumn = 0;
inline constexpr int kLeftValueColumn = 1;
inline constexpr int kRightLabelColumn = 2;
inline constexpr int kRightValueColumn = 3;

struct RgbColour {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// Label columns: read-only, light grey, black text.
inline constexpr RgbColour kLabelBackground{240, 240, 240};
inline constexpr RgbColour kLabelText{0, 0, 0};
// Heading rows: label cell black with white text; the value cell next to it
// white on white and read-only.
inline constexpr RgbColour kHeadingLabelBackground{0, 0, 0};
inline constexpr RgbColour kHeadingLabelText{255, 255, 255};
inline constexpr RgbColour kHeadingValueBackground{255, 255, 255};
inline constexpr RgbColour kHeadingValueText{255, 255, 255};

struct ParameterTableColumn {
    QString header;
    int width = 0;        // pixels
    bool isLabel = false; // label columns are read-only
};

enum class ParameterEditor {
    Text,    // one-line text box
    Choice,  // drop-down list of the row's choices, nothing preselected
    Digits,  // digits-only box (the grid's default editor)
    Heading  // group heading: neither cell is editable
};

// The ParameterSet field a value cell shows.
enum class ParameterField {
    None,  // heading rows
    PresetText1, PresetText2, PresetText3,
    PhonePriority, SmsPriority, GprsPriority, MicPriority, FmPriority,
    IntercomPriority, LocalAlarmPriority, LineInPriority, Mp3Priority,
    SmsPlayCount, GprsPlayCount, LocalPlayCount,
    SmsReceipt, SmsBackup, StatusSmsInterval,
    FmFrequency, FmSnr, FmVolume, FmReceiveEnabled,
    Mp3PlayMode, Mp3Volume,
    TtsVoice, TtsVolume, TtsSpeed, TtsTone,
    CommModule, IntercomEnabled, PickupEnabled,
    ServerCount, ServerIp, ServerPort, BackupServerIp, BackupServerPort,
    DnsServer, BackupDnsServer,
    DebugLevel, ReturnToMainServer, DeviceId, SimNumber, LinkRetryTimes, RedialInterval,
    Apn, ApnUser, ApnPassword, DialNumber, SmsCentre, HeartbeatSeconds
};

// How a field becomes its cell text.
enum class CellConversion {
    None,               // heading rows
    AsText,             // the field's GBK text, decoded
    Decimal,            // a number field printed in decimal
    YesIfOne,           // number field: 1 -> "是", else "否"
    YesIfValueNonZero,  // decimal value of the text non-zero -> "是", else "否"
    YesIfExactlyOne,    // text exactly "1" -> "是", else "否"
    FmFrequency,        // decimal value / 100 with two decimals: "8850" -> "88.50"
    Mp3PlayMode,        // 0/1/2 -> "单曲"/"单曲循环"/"全部循环", other: cell unchanged
    TtsVoice,           // 0 -> "女声", else "男声"
    ModuleSwitch        // 1 -> "是", 2 -> cell locked read-only and unchanged, else "否"
};

struct ParameterTableRow {
    int row = 0;
    int labelColumn = kLeftLabelColumn;
    int valueColumn = kLeftValueColumn;
    QString label;
    ParameterEditor editor = ParameterEditor::Digits;
    QStringList choices;  // Choice rows only, in the order offered
    ParameterField field = ParameterField::None;
    CellConversion conversion = CellConversion::None;
};

const std::array<ParameterTableColumn, 4>& ParameterTableColumns();

// Every row of both halves: left rows 0 to 34, then right rows 0 to 21.
const std::vector<ParameterTableRow>& ParameterTableRows();

// The row whose label or value sits in (row, column); nullptr for cells
// without a label (column 2/3 below row 21).
const ParameterTableRow* FindParameterTableRow(int row, int column);

// What ShowParameterSet writes into one value cell.
struct ParameterCellValue {
    int row = 0;
    int column = 0;
    std::optional<QString> text;  // nothing: leave the cell's text as it is
    std::string bytes;            // text cells: the field's bytes behind `text`
    bool lockReadOnly = false;    // make the cell read-only (never undone)
};

// The value cells for a set, in table order: left rows 1 to 34, then right
// rows 1 to 21, heading rows left out.
std::vector<ParameterCellValue> ParameterSetCells(const ParameterSet& set);
