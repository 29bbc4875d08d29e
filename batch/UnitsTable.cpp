#include "batch/UnitsTable.h"

#include "params/GbkText.h"

#include <QStringDecoder>

QString DecodeUnitsText(const QByteArray& bytes)
{
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(text);
    if (!utf8.hasError())
        return decoded;
    return GbkToUnicode(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

std::optional<std::vector<QStringList>> ParseCsv(const QString& text, std::vector<int>* recordLines, QString* why)
{
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    int line = 1;
    int recordLine = 1;
    const auto endField = [&] {
        record << field;
        field.clear();
        fieldStarted = false;
    };
    const auto endRecord = [&] {
        endField();
        // Blank lines hold no terminal.
        const bool blank = record.size() == 1 && record.first().trimmed().isEmpty();
        if (!blank) {
            records.push_back(record);
            if (recordLines)
                recordLines->push_back(recordLine);
        }
        record.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            endField();
        } else if (c == QLatin1Char('\n')) {
            endRecord();
            ++line;
            recordLine = line;
        } else if (c != QLatin1Char('\r')) {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted) {
        if (why)
            *why = QStringLiteral("第%1行的引号没有结束").arg(recordLine);
        return std::nullopt;
    }
    if (fieldStarted || !record.isEmpty() || !field.isEmpty())
        endRecord();
    return records;
}

std::optional<UnitsTable> ParseUnitsTable(const QByteArray& bytes, QString* why)
{
    std::vector<int> lines;
    std::optional<std::vector<QStringList>> records = ParseCsv(DecodeUnitsText(bytes), &lines, why);
    if (!records)
        return std::nullopt;
    if (records->empty()) {
        *why = QStringLiteral("文件中没有标题行");
        return std::nullopt;
    }
    UnitsTable table;
    for (const QString& label : records->front())
        table.labels << label.trimmed();
    for (std::size_t i = 1; i < records->size(); ++i) {
        const QStringList& row = (*records)[i];
        if (row.size() > table.labels.size()) {
            *why = QStringLiteral("第%1行有%2个值，标题行只有%3个标签").arg(lines[i]).arg(row.size()).arg(table.labels.size());
            return std::nullopt;
        }
        table.rows.push_back(row);
        table.rowLines.push_back(lines[i]);
    }
    return table;
}

namespace {

std::optional<CellOverride> OverrideFor(const QString& label, const QString& value, QString* why)
{
    const SaveItem* item = FindSaveItemByLabel(label);
    if (!item) {
        *why = QStringLiteral("没有名为“%1”的参数").arg(label.trimmed());
        return std::nullopt;
    }
    return CellOverride{item, value};
}

}  // namespace

std::optional<std::vector<CellOverride>> OverridesFromSettings(const QStringList& settings, QString* why)
{
    std::vector<CellOverride> overrides;
    for (const QString& setting : settings) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            *why = QStringLiteral("“%1”不是“标签=值”的形式").arg(setting);
            return std::nullopt;
        }
        std::optional<CellOverride> override = OverrideFor(setting.left(equals), setting.mid(equals + 1), why);
        if (!override)
            return std::nullopt;
        overrides.push_back(*override);
    }
    return MergeOverrides({}, overrides);
}

std::optional<std::vector<CellOverride>> OverridesFromRow(const QStringList& labels, const QStringList& row,
                                                          QString* why)
{
    std::vector<CellOverride> overrides;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        // An empty field keeps the file's value.
        if (row.value(i).isEmpty())
            continue;
        std::optional<CellOverride> override = OverrideFor(labels[i], row.value(i), why);
        if (!override)
            return std::nullopt;
        overrides.push_back(*override);
    }
    return MergeOverrides({}, overrides);
}

std::vector<CellOverride> MergeOverrides(const std::vector<CellOverride>& base, const std::vector<CellOverride>& top)
{
    std::vector<CellOverride> merged = base;
    for (const CellOverride& override : top) {
        bool replaced = false;
        for (CellOverride& existing : merged) {
            if (existing.item == override.item) {
                existing.value = override.value;
                replaced = true;
            }
        }
        if (!replaced)
            merged.push_back(override);
    }
    return merged;
}
