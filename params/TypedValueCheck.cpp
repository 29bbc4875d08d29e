#include "params/TypedValueCheck.h"

#include "params/ConfigFilePlan.h"
#include "params/GbkText.h"
#include "params/ParameterTableLayout.h"

#include <algorithm>
#include <set>

namespace {

bool AllDigits(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A table every check of a save passes: the checked items hold values that
// are valid, everything else is empty. A value typed into one cell of it is
// refused only for its own sake.
const std::vector<CellInput>& ValidTableInputs()
{
    static const std::vector<CellInput> inputs = [] {
        ParameterSet set;
        set.deviceId.Assign("00000000");
        set.simNumber.Assign("00000000000");
        set.smsCentre.Assign(kDefaultSmsCentreGbk);
        set.heartbeatSeconds.Assign("60");
        set.fmFrequency.Assign("8800");
        return InputsAfterShowing(set);
    }();
    return inputs;
}

}  // namespace

std::optional<QString> EditorRefusal(const SaveItem& item, const QString& value)
{
    const ParameterTableRow* row = FindParameterTableRow(item.row, item.column);
    if (!row)
        return std::nullopt;
    if (row->editor == ParameterEditor::Choice && !row->choices.contains(value)) {
        const QString first = row->choices.value(0);
        const QString last = row->choices.value(row->choices.size() - 1);
        const QString offered = row->choices.size() > 3 ? QStringLiteral("%1 … %2").arg(first, last)
                                                        : row->choices.join(QStringLiteral("、"));
        return QStringLiteral("“%1”只能选择：%2").arg(SaveItemLabel(item), offered);
    }
    if (row->editor == ParameterEditor::Digits && !AllDigits(value))
        return QStringLiteral("“%1”只能输入数字").arg(SaveItemLabel(item));
    return std::nullopt;
}

std::optional<QString> TypedValueRefusal(const SaveItem& item, const QString& value)
{
    if (std::optional<QString> refusal = EditorRefusal(item, value))
        return refusal;
    const std::vector<SaveItem>& items = AllSaveItems();
    const auto index = static_cast<std::size_t>(&item - items.data());
    if (index >= items.size())
        return QStringLiteral("“%1”不能保存").arg(SaveItemLabel(item));
    std::vector<CellInput> inputs = ValidTableInputs();
    inputs[index] = CellInput{value, false, UnicodeToGbk(value)};
    if (std::optional<QString> unsavable = UnsavableCellMessage(item, inputs[index]))
        return unsavable;
    if (const std::optional<SaveRefusal> refusal = CheckWholeSave(inputs))
        return refusal->text;
    if (!ConvertCell(item, inputs[index]))
        return QStringLiteral("“%1”不能设为“%2”").arg(SaveItemLabel(item), value);
    return std::nullopt;
}

bool IsNumericItem(const SaveItem& item)
{
    const ParameterTableRow* row = FindParameterTableRow(item.row, item.column);
    if (!row)
        return false;
    if (row->conversion == CellConversion::FmFrequency || row->editor == ParameterEditor::Digits)
        return true;
    return row->editor == ParameterEditor::Choice && !row->choices.isEmpty()
        && std::all_of(row->choices.begin(), row->choices.end(), [](const QString& choice) { return AllDigits(choice); });
}

std::optional<QString> NumberListRefusal(const QStringList& numbers)
{
    if (numbers.size() > static_cast<qsizetype>(NumberList::kSlotCount))
        return QStringLiteral("每类号码最多%1个").arg(NumberList::kSlotCount);
    std::set<QString> seen;
    for (const QString& number : numbers) {
        if (number.isEmpty() || !AllDigits(number))
            return QStringLiteral("号码“%1”只能由数字组成").arg(number);
        if (number.size() > static_cast<qsizetype>(NumberList::kMaxNumberLength))
            return QStringLiteral("号码“%1”超过%2位").arg(number).arg(NumberList::kMaxNumberLength);
        if (!seen.insert(number).second)
            return QStringLiteral("号码“%1”重复").arg(number);
    }
    return std::nullopt;
}
