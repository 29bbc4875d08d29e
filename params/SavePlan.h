#pragma once

#include "params/ParameterSet.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// What a save of the parameter table would do, free of the port and of any
// widget: the items of the five save procedures with their commands and
// messages, how a value cell converts, is checked, compared with the tool's
// picture of the terminal and stored, and which commands that makes. The
// saver sends them; the file load checks a whole file with the same rules
// before its first command.

// The reply code of every item that waits for "OK" anywhere.
inline constexpr std::int8_t kAnyOkReply = 25;

// How a cell becomes the value that is sent.
enum class ValueRule {
    Text,          // the cell's text as it stands
    Number,        // the cell read as a decimal integer
    YesNo,         // "是" is 1, any other text 0
    FmFrequency,   // MHz to units of 10 kHz, as decimal text
    Mp3PlayMode,   // "单曲循环" is 1, "全部循环" 2, any other text 0
    TtsVoice,      // "女声" is 0, any other text 1
    CommModule,    // "是" is 1, any other text 2
    ModuleSwitch,  // "是" is 1, "否" 0, any other text is not sent
    SmsCentre,     // text; a changed text holding "默认" sends the empty text
};

// Where an item's value is kept in the parameter set. Text fields hold what
// was sent; for numeric rules on a text field the text is read as a decimal
// integer for the comparison and becomes the decimal text of the value sent.
using StoredField = std::variant<ShortText ParameterSet::*, PresetText ParameterSet::*, std::uint8_t ParameterSet::*,
                                 std::int32_t ParameterSet::*>;

struct SaveItem {
    int row = 0;
    int column = 0;
    const char* commandPrefix = "";  // the command up to and including "="
    std::int8_t replyCode = kAnyOkReply;
    ValueRule rule = ValueRule::Text;
    StoredField field;
    const char* success = "";
    const char* failure = "";
};

// One value cell as the save sees it.
struct CellInput {
    QString cell;
    // The cell still shows what the table was last filled with (from the
    // terminal or from a file): the user did not type it.
    bool untyped = false;
    // The value as the terminal's bytes: for an untyped text cell the bytes
    // it was filled from (which need not even be valid GBK), else the cell's
    // text in GBK; nothing when GBK cannot encode a typed cell.
    std::optional<std::string> bytes;
};

// What a cell converts to: sent, compared and stored.
struct ItemValue {
    std::optional<std::int32_t> number;  // numeric rules
    std::string text;                    // text rules: sent
    std::string compareText;             // text rules: compared with the stored text
    std::string storeText;               // text rules: stored after success
};

// What the table was last filled with, by (row, column) of the value cell.
struct ShownCell {
    QString text;
    std::string bytes;  // the terminal's or the file's bytes behind the text
};
using ShownCells = std::map<std::pair<int, int>, ShownCell>;

// A check that refuses the values before anything is sent.
struct SaveRefusal {
    enum class Shown { Log, MessageBox };
    Shown shown = Shown::Log;
    QString text;
};

enum class SaveProcedure { PresetTexts, Priorities, PlayCounts, Network, OtherSettings };

// The items of one procedure, in sending order, and of all five in the
// order the save runs them.
std::span<const SaveItem> SaveItems(SaveProcedure procedure);
const std::vector<SaveItem>& AllSaveItems();

// The cells as the save sees them: `cells` are the texts read from the
// table for `items`, `shown` what the table was last filled with.
std::vector<CellInput> PrepareSaveInputs(std::span<const SaveItem> items, const std::vector<QString>& cells,
                                         const ShownCells& shown);

// Why a typed cell cannot be saved at all (not GBK, a control character,
// longer than its field).
std::optional<QString> UnsavableCellMessage(const SaveItem& item, const CellInput& input);
// The first such cell among `items`.
std::optional<QString> FirstUnsavableCell(std::span<const SaveItem> items, const std::vector<CellInput>& inputs);

// The input checks of each procedure, on that procedure's inputs.
std::optional<SaveRefusal> PresetTextCheck(const std::vector<CellInput>& inputs);
std::optional<SaveRefusal> PlayCountCheck(const std::vector<CellInput>& inputs);
std::optional<SaveRefusal> NetworkCheck(const std::vector<CellInput>& inputs);
std::optional<SaveRefusal> OtherSettingsCheck(const std::vector<CellInput>& inputs);

// Every check of the whole save, in the order the save meets them, on the
// inputs of AllSaveItems(): what a save would refuse before sending its
// first command of the procedure concerned.
std::optional<SaveRefusal> CheckWholeSave(const std::vector<CellInput>& inputs);

// The value a cell stands for; nothing when the item's rule sends nothing
// for this text (a module switch showing neither 是 nor 否).
std::optional<ItemValue> ConvertCell(const SaveItem& item, const CellInput& input);
bool MatchesStored(const ParameterSet& set, const SaveItem& item, const ItemValue& value);
void StoreValue(ParameterSet& set, const SaveItem& item, const ItemValue& value);
QByteArray SaveCommand(const SaveItem& item, const ItemValue& value);

// One item the save would write.
struct PlannedWrite {
    const SaveItem* item = nullptr;
    ItemValue value;
    QByteArray command;
};
// The items a save would write, in order, if the terminal acknowledged
// every command: each cell converted and compared with `stored`. The checks
// are not run here.
std::vector<PlannedWrite> PlanSave(const ParameterSet& stored, const std::vector<CellInput>& inputs);

// The item's label for a message, without its closing colon.
QString SaveItemLabel(const SaveItem& item);

// The item a label names: the table's label ("设备ID号码(固定8位)", with
// or without its colon) or the label of the item's line in the terminal's
// report ("Modem's ID number", with or without its colon and padding).
// Nothing for a label of no saved item.
const SaveItem* FindSaveItemByLabel(const QString& label);

// The text the parameter table shows for the item's value in `set`.
QString ShownValueText(const ParameterSet& set, const SaveItem& item);

// An item a save wrote and the terminal acknowledged: the cell's text and
// the value it stood for.
struct WrittenItem {
    const SaveItem* item = nullptr;
    QString cell;
    ItemValue value;
};

// A written item that the terminal's report, read back afterwards, does
// not hold: what was sent and what the table would show for the report.
struct VerifyMismatch {
    const SaveItem* item = nullptr;
    QString sent;
    QString read;
};

// The written items whose value `readBack` does not match, by the same
// comparison a save uses to decide what to send.
std::vector<VerifyMismatch> CompareWrittenItems(const ParameterSet& readBack, const std::vector<WrittenItem>& written);

// "设备ID号码(固定8位)：发送“11111111”，读回“1A2B3C4D”"
QString VerifyMismatchText(const VerifyMismatch& mismatch);
