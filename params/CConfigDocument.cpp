#include "params/CConfigDocument.h"

#include "params/ChangeSelection.h"
#include "params/ConfigFilePlan.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterTableLayout.h"
#include "params/TypedValueCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <string>
#include <type_traits>
#include <variant>

namespace {

constexpr std::array<const char*, 3> kNumberListLabels{"Alarm admin NO:  ", "Alarm authorize NO:  ",
                                                       "Alarm backup NO:  "};
constexpr std::array<NumberList ParameterSet::*, 3> kNumberLists{
    &ParameterSet::adminNumbers, &ParameterSet::authorisedNumbers, &ParameterSet::backupNumbers};

// The report line that keeps an item's field.
const ReportLabelField* ReportLineOf(const SaveItem& item)
{
    static const std::vector<ReportLabelField> lines = ReportLabelFields();
    for (const ReportLabelField& line : lines) {
        const bool same = std::visit(
            [](auto lineField, auto itemField) {
                if constexpr (std::is_same_v<decltype(lineField), decltype(itemField)>)
                    return lineField == itemField;
                else
                    return false;
            },
            line.field, item.field);
        if (same)
            return &line;
    }
    return nullptr;
}

// A line's field as the report writes it.
std::string ReportValue(const ParameterSet& set, const ReportLabelField& line)
{
    return std::visit(
        [&](auto member) {
            const auto& value = set.*member;
            if constexpr (std::is_integral_v<std::decay_t<decltype(value)>>)
                return std::to_string(value);
            else
                return value.ToString();
        },
        line.field);
}

// Where a label's line stands in the file's bytes: the same first
// occurrence the parser finds (line ends do not change where a label is).
struct FileLine {
    qsizetype labelEnd = -1;
    qsizetype contentEnd = -1;  // before the line's CRs
};

std::optional<FileLine> FindFileLine(const QByteArray& bytes, const QByteArray& label)
{
    const qsizetype at = bytes.indexOf(label);
    if (at < 0)
        return std::nullopt;
    FileLine line;
    line.labelEnd = at + label.size();
    const qsizetype lineFeed = bytes.indexOf('\n', line.labelEnd);
    if (lineFeed < 0)
        return std::nullopt;
    line.contentEnd = lineFeed;
    while (line.contentEnd > line.labelEnd && bytes.at(line.contentEnd - 1) == '\r')
        --line.contentEnd;
    return line;
}

QByteArray LineEndOf(const QByteArray& bytes)
{
    return bytes.contains("\r\r\n") ? QByteArrayLiteral("\r\r\n") : QByteArrayLiteral("\r\n");
}

// What follows a modem value that has a cut: the terminal writes " ;" or " ;;".
QByteArray DefaultSuffix(std::size_t cut)
{
    return cut == 0 ? QByteArray() : QByteArray(" ") + QByteArray(static_cast<qsizetype>(cut - 1), ';');
}

// The bytes with the value of `label`'s line replaced; a line the file
// lacks is added before the closing "OK" (or at the end).
QByteArray ReplaceValue(QByteArray bytes, const QByteArray& label, bool modemLine, std::size_t cut,
                        const QByteArray& value)
{
    const std::optional<FileLine> line = FindFileLine(bytes, label);
    if (!line) {
        QByteArray added = label;
        if (modemLine)
            added += ' ';
        added += value + DefaultSuffix(cut) + LineEndOf(bytes);
        qsizetype at = bytes.lastIndexOf("\nOK");
        at = at < 0 ? (bytes.startsWith("OK") ? 0 : -1) : at + 1;
        if (at < 0) {
            if (!bytes.isEmpty() && !bytes.endsWith('\n'))
                bytes += LineEndOf(bytes);
            at = bytes.size();
        }
        return bytes.insert(at, added);
    }
    if (!modemLine)
        return bytes.replace(line->labelEnd, line->contentEnd - line->labelEnd, value);
    qsizetype valueStart = line->labelEnd;
    while (valueStart < line->contentEnd && bytes.at(valueStart) == ' ')
        ++valueStart;
    const qsizetype rest = line->contentEnd - valueStart;
    const auto cutLength = static_cast<qsizetype>(cut);
    if (rest >= cutLength && (rest > 0 || cut == 0))
        return bytes.replace(valueStart, rest - cutLength, value);
    // The line has no room for the suffix (an empty SMS centre): write it anew.
    QByteArray written = value;
    if (valueStart == line->labelEnd && !value.isEmpty())
        written.prepend(' ');
    return bytes.replace(valueStart, rest, written + DefaultSuffix(cut));
}

bool SameLists(const ParameterSet& left, const ParameterSet& right)
{
    for (NumberList ParameterSet::*list : kNumberLists) {
        if (!std::equal((left.*list).begin(), (left.*list).end(), (right.*list).begin(),
                        [](const auto& a, const auto& b) { return a == b; }))
            return false;
    }
    return true;
}

}  // namespace

CConfigDocument::CConfigDocument() : m_set(std::make_unique<ParameterSet>()) {}
CConfigDocument::~CConfigDocument() = default;

CConfigDocument::CConfigDocument(const CConfigDocument& other)
    : m_open(other.m_open),
      m_displayName(other.m_displayName),
      m_bytes(other.m_bytes),
      m_savedBytes(other.m_savedBytes),
      m_set(std::make_unique<ParameterSet>(*other.m_set))
{
}

CConfigDocument& CConfigDocument::operator=(const CConfigDocument& other)
{
    if (this != &other) {
        CConfigDocument copy(other);
        std::swap(m_open, copy.m_open);
        std::swap(m_displayName, copy.m_displayName);
        std::swap(m_bytes, copy.m_bytes);
        std::swap(m_savedBytes, copy.m_savedBytes);
        std::swap(m_set, copy.m_set);
    }
    return *this;
}

std::optional<QString> CConfigDocument::Open(const QByteArray& fileBytes, const QString& displayName)
{
    const QByteArray report = ReportFromConfigFile(fileBytes);
    if (std::optional<SaveRefusal> refusal = CheckConfigFileText(report))
        return refusal->text;
    auto set = std::make_unique<ParameterSet>();
    ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), *set);
    m_set = std::move(set);
    m_bytes = m_savedBytes = fileBytes;
    m_displayName = displayName;
    m_open = true;
    return std::nullopt;
}

std::optional<QString> CConfigDocument::OpenFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("打开文件失败");
    return Open(file.read(4 * qint64(kMaxConfigReportBytes)), QFileInfo(path).fileName());
}

QString CConfigDocument::CellText(const SaveItem& item) const
{
    return ShownValueText(*m_set, item);
}

std::optional<int> CConfigDocument::NumberListCategory(const QString& name)
{
    return NumberListCategoryOf(name);
}

std::optional<QByteArray> CConfigDocument::ReportLabelOf(const SaveItem& item)
{
    const ReportLabelField* line = ReportLineOf(item);
    if (!line)
        return std::nullopt;
    return QByteArray(line->label.data(), static_cast<qsizetype>(line->label.size()));
}

std::optional<QString> CConfigDocument::DisplayedValue(const QString& label) const
{
    if (const std::optional<int> category = NumberListCategory(label))
        return Numbers(*category).join(QLatin1Char(','));
    if (const SaveItem* item = FindSaveItemByLabel(label))
        return CellText(*item);
    return std::nullopt;
}

std::optional<QString> CConfigDocument::SetValue(const QString& label, const QString& value)
{
    if (const std::optional<int> category = NumberListCategory(label)) {
        QString numbers = value.trimmed();
        if (numbers.endsWith(QLatin1Char(',')))
            numbers.chop(1);
        return SetNumbers(*category, numbers.isEmpty() ? QStringList() : numbers.split(QLatin1Char(',')));
    }
    const SaveItem* item = FindSaveItemByLabel(label);
    if (!item)
        return QStringLiteral("没有名为“%1”的配置项").arg(label);
    return SetValue(*item, value);
}

std::optional<QString> CConfigDocument::SetValue(const SaveItem& item, const QString& value)
{
    if (!m_open)
        return QStringLiteral("没有打开配置文件");
    if (value == CellText(item))
        return std::nullopt;
    if (std::optional<QString> refusal = EditorRefusal(item, value))
        return refusal;
    const ReportLabelField* line = ReportLineOf(item);
    if (!line)
        return QStringLiteral("“%1”不能写入配置文件").arg(SaveItemLabel(item));
    if (item.rule == ValueRule::ModuleSwitch && ShownValueText(*m_set, item).isEmpty())
        return QStringLiteral("“%1”：文件中的终端没有此模块，不能修改").arg(SaveItemLabel(item));

    // The same checks a save of the table makes; a refusal the file's own
    // values already cause is not the edit's fault.
    const std::vector<SaveItem>& items = AllSaveItems();
    const auto index = static_cast<std::size_t>(&item - items.data());
    std::vector<CellInput> inputs = InputsAfterShowing(*m_set);
    const std::optional<SaveRefusal> before = CheckWholeSave(inputs);
    inputs[index] = CellInput{value, false, UnicodeToGbk(value)};
    if (std::optional<QString> unsavable = UnsavableCellMessage(item, inputs[index]))
        return unsavable;
    if (const std::optional<SaveRefusal> after = CheckWholeSave(inputs); after && (!before || before->text != after->text))
        return after->text;
    const std::optional<ItemValue> converted = ConvertCell(item, inputs[index]);
    if (!converted)
        return QStringLiteral("“%1”不能设为“%2”").arg(SaveItemLabel(item), value);

    ParameterSet expected = *m_set;
    StoreValue(expected, item, *converted);
    const QByteArray label = QByteArray::fromRawData(line->label.data(), static_cast<qsizetype>(line->label.size()));
    const QByteArray bytes = ReplaceValue(m_bytes, label, line->modemLine, line->cut,
                                          QByteArray::fromStdString(ReportValue(expected, *line)));
    if (!Commit(bytes, expected, &item, &*converted))
        return QStringLiteral("“%1”的值“%2”写入文件后不能原样读回").arg(SaveItemLabel(item), value);
    return std::nullopt;
}

QStringList CConfigDocument::Numbers(int category) const
{
    QStringList numbers;
    for (const std::string& number : ((*m_set).*kNumberLists.at(static_cast<std::size_t>(category))).NonEmptyNumbers())
        numbers << QString::fromLatin1(number);
    return numbers;
}

std::optional<QString> CConfigDocument::SetNumbers(int category, const QStringList& numbers)
{
    if (!m_open)
        return QStringLiteral("没有打开配置文件");
    if (category < 0 || category >= static_cast<int>(kNumberLists.size()))
        return QStringLiteral("没有这类号码");
    if (numbers == Numbers(category))
        return std::nullopt;
    if (std::optional<QString> refusal = NumberListRefusal(numbers))
        return refusal;

    const auto which = static_cast<std::size_t>(category);
    ParameterSet expected = *m_set;
    NumberList& list = expected.*kNumberLists[which];
    list.Clear();
    for (const QString& number : numbers)
        list.Insert(number.toStdString());
    const QByteArray label(kNumberListLabels[which]);
    // The terminal ends every number with a comma; keep what the file does.
    bool trailingComma = true;
    if (const std::optional<FileLine> line = FindFileLine(m_bytes, label); line && line->contentEnd > line->labelEnd)
        trailingComma = m_bytes.at(line->contentEnd - 1) == ',';
    QByteArray value = numbers.join(QLatin1Char(',')).toLatin1();
    if (trailingComma && !value.isEmpty())
        value += ',';
    if (!Commit(ReplaceValue(m_bytes, label, false, 0, value), expected, nullptr, nullptr))
        return QStringLiteral("号码写入文件后不能原样读回");
    return std::nullopt;
}

bool CConfigDocument::Commit(const QByteArray& bytes, const ParameterSet& expected, const SaveItem* edited,
                             const ItemValue* editedValue)
{
    const QByteArray report = ReportFromConfigFile(bytes);
    if (CheckConfigFileText(report))
        return false;
    auto parsed = std::make_unique<ParameterSet>();
    ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), *parsed);
    const ReportLabelField* editedLine = edited ? ReportLineOf(*edited) : nullptr;
    for (const ReportLabelField& line : ReportLabelFields()) {
        if (editedLine && line.label == editedLine->label)
            continue;
        if (ReportValue(*parsed, line) != ReportValue(expected, line))
            return false;
    }
    if (edited && !MatchesStored(*parsed, *edited, *editedValue))
        return false;
    if (!SameLists(*parsed, expected))
        return false;
    m_bytes = bytes;
    m_set = std::move(parsed);
    return true;
}

std::optional<QString> CConfigDocument::SaveFile(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_bytes) != m_bytes.size() || !file.commit())
        return QStringLiteral("文件打开错误，保存失败");
    MarkSaved();
    return std::nullopt;
}
