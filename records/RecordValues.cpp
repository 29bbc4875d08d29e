#include "records/RecordValues.h"

#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterSet.h"
#include "params/ParameterTableLayout.h"
#include "params/SavePlan.h"

#include <QCryptographicHash>

#include <map>
#include <memory>

namespace {

bool IsField(const SaveItem& item, ShortText ParameterSet::*field)
{
    const auto* text = std::get_if<ShortText ParameterSet::*>(&item.field);
    return text && *text == field;
}

const SaveItem* DeviceIdItem()
{
    for (const SaveItem& item : AllSaveItems()) {
        if (IsField(item, &ParameterSet::deviceId))
            return &item;
    }
    return nullptr;
}

const SaveItem* SimNumberItem()
{
    for (const SaveItem& item : AllSaveItems()) {
        if (IsField(item, &ParameterSet::simNumber))
            return &item;
    }
    return nullptr;
}

const NumberList& ListOf(const ParameterSet& set, int category)
{
    return category == 0 ? set.adminNumbers : category == 1 ? set.authorisedNumbers : set.backupNumbers;
}

QString ListText(const NumberList& list)
{
    QStringList numbers;
    for (const std::string& number : list.NonEmptyNumbers())
        numbers << GbkToUnicode(number);
    return numbers.join(QLatin1Char(','));
}

}  // namespace

QString ParsedValues::Digest() const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const RecordedItem& item : items) {
        hash.addData(item.item.toUtf8());
        hash.addData(QByteArrayView("\t"));
        hash.addData(item.value.toUtf8());
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex());
}

ParsedValues ParseRecordValues(const QByteArray& report)
{
    // Large: on the heap, as the store's own parse does.
    auto set = std::make_unique<ParameterSet>();
    ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), *set);
    std::map<std::pair<int, int>, QString> shown;
    for (const ParameterCellValue& cell : ParameterSetCells(*set))
        shown[{cell.row, cell.column}] = cell.text.value_or(QString());
    ParsedValues values;
    values.unitId = GbkToUnicode(set->deviceId.View()).trimmed();
    values.unitSim = GbkToUnicode(set->simNumber.View()).trimmed();
    const SaveItem* id = DeviceIdItem();
    const SaveItem* sim = SimNumberItem();
    for (const SaveItem& item : AllSaveItems()) {
        if (&item == id || &item == sim)
            continue;
        const auto found = shown.find({item.row, item.column});
        values.items.push_back({SaveItemLabel(item), found == shown.end() ? QString() : found->second});
    }
    for (int category = 0; category < 3; ++category)
        values.items.push_back({RecordedListName(category), ListText(ListOf(*set, category))});
    return values;
}

QString RecordedListName(int category)
{
    static const char* const names[] = {"管理号码", "授权号码", "备份号码"};
    return QString::fromUtf8(names[category < 0 || category > 2 ? 0 : category]);
}

QString RecordedItemLabel(const QString& label)
{
    const QString trimmed = label.trimmed();
    for (int category = 0; category < 3; ++category) {
        if (trimmed == RecordedListName(category))
            return trimmed;
    }
    const SaveItem* item = FindSaveItemByLabel(trimmed);
    return item ? SaveItemLabel(*item) : QString();
}

bool IsDeviceIdLabel(const QString& label)
{
    const SaveItem* item = DeviceIdItem();
    return item && label == SaveItemLabel(*item);
}

bool IsSimNumberLabel(const QString& label)
{
    const SaveItem* item = SimNumberItem();
    return item && label == SaveItemLabel(*item);
}
