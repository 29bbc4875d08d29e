#include "params/ConfigFilePlan.h"

#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterTableLayout.h"

namespace {

constexpr const char* kListPrefixes[3] = {"AT+LRMSETADMINNO=", "AT+LRMSETLRMNO=", "AT+LRMSETBKNO="};

QString ListName(int category)
{
    static const QString names[3] = {QStringLiteral("管理号码"), QStringLiteral("授权号码"), QStringLiteral("备份号码")};
    return category >= 0 && category < 3 ? names[category] : QString();
}

}  // namespace

std::vector<CellInput> InputsAfterShowing(const ParameterSet& set)
{
    ShownCells shown;
    for (const ParameterCellValue& cell : ParameterSetCells(set)) {
        if (cell.text)
            shown[{cell.row, cell.column}] = {*cell.text, cell.bytes};
    }
    const std::vector<SaveItem>& items = AllSaveItems();
    std::vector<QString> texts;
    texts.reserve(items.size());
    for (const SaveItem& item : items) {
        const auto cell = shown.find({item.row, item.column});
        texts.push_back(cell == shown.end() ? QString() : cell->second.text);
    }
    return PrepareSaveInputs(items, texts, shown);
}

QByteArray ConfigFileText(const QByteArray& report)
{
    QByteArray text;
    text.reserve(report.size() + report.count('\n'));
    for (const char c : report) {
        if (c == '\n')
            text.append('\r');
        text.append(c);
    }
    return text;
}

QByteArray ReportFromConfigFile(const QByteArray& fileBytes)
{
    QByteArray text;
    text.reserve(qMin<qsizetype>(fileBytes.size() + 64, kMaxConfigReportBytes));
    const qsizetype size = fileBytes.size();
    for (qsizetype i = 0; i < size && text.size() < kMaxConfigReportBytes; ++i) {
        const char c = fileBytes[i];
        if (c == '\r' && i + 2 < size && fileBytes[i + 1] == '\r' && fileBytes[i + 2] == '\n') {
            text.append("\r\n");
            i += 2;
        } else if (c == '\r' && i + 1 < size && fileBytes[i + 1] == '\n') {
            text.append("\r\n");
            i += 1;
        } else if (c == '\n') {
            text.append("\r\n");
        } else {
            text.append(c);
        }
    }
    // A line end that straddles the limit counts as the bytes that fit.
    text.truncate(kMaxConfigReportBytes);
    return text;
}

QString RefusedListNumberText(const RefusedListNumber& refused)
{
    const QString number = GbkToUnicode(refused.number);
    switch (refused.reason) {
    case RefusedListNumber::Reason::TooLong:
        return QStringLiteral("%1列表中的号码“%2”超过32位").arg(ListName(refused.category), number);
    case RefusedListNumber::Reason::AfterRefused:
        return QStringLiteral("%1列表中超长号码之后的号码“%2”未被读取").arg(ListName(refused.category), number);
    case RefusedListNumber::Reason::TooMany:
        return QStringLiteral("%1列表超过255个号码，号码“%2”未被读取").arg(ListName(refused.category), number);
    }
    return {};
}

std::optional<SaveRefusal> CheckConfigFileText(const QByteArray& reportText)
{
    const std::string_view report(reportText.constData(), static_cast<std::size_t>(reportText.size()));
    const auto refuse = [](const QString& text) { return SaveRefusal{SaveRefusal::Shown::Log, text}; };

    // A CR or another control byte inside a value would end the command it
    // is sent in and start one of its own on the terminal.
    if (const std::optional<std::string_view> label = FindLabelWithControlCharacter(report)) {
        const QString shown = GbkToUnicode(*label).trimmed();
        return refuse(QStringLiteral("配置文件中“%1”一行的值含有控制字符，文件未被使用，未发送任何命令").arg(shown));
    }
    // Whether the parse succeeds depends on the text alone, not on the set.
    auto scratch = std::make_unique<ParameterSet>();
    if (!ParseParameterReport(reportText.constData(), static_cast<std::size_t>(reportText.size()), *scratch))
        return refuse(QStringLiteral("参数加载失败"));
    const std::vector<RefusedListNumber> refused = FindRefusedListNumbers(report);
    if (!refused.empty()) {
        return refuse(
            QStringLiteral("配置文件中%1，文件未被使用，未发送任何命令").arg(RefusedListNumberText(refused.front())));
    }
    return std::nullopt;
}

ConfigFileLoad PlanConfigFileLoad(const QByteArray& reportText, const ParameterSet& current,
                                  const std::vector<CellOverride>& overrides)
{
    ConfigFileLoad load;
    const std::string_view report(reportText.constData(), static_cast<std::size_t>(reportText.size()));
    if ((load.refusal = CheckConfigFileText(reportText)))
        return load;
    load.set = std::make_unique<ParameterSet>(current);
    ParseParameterReport(reportText.constData(), static_cast<std::size_t>(reportText.size()), *load.set);

    load.saveInputs = InputsAfterShowing(*load.set);
    const std::vector<SaveItem>& items = AllSaveItems();
    for (const CellOverride& override : overrides) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (&items[i] != override.item)
                continue;
            // Typed: every check of a typed cell applies to it.
            load.saveInputs[i] = CellInput{override.value, false, UnicodeToGbk(override.value)};
        }
    }
    load.overrides = overrides;
    if (std::optional<SaveRefusal> refusal = CheckWholeSave(load.saveInputs)) {
        load.refusal = std::move(refusal);
        return load;
    }

    const NumberList* lists[3] = {&load.set->adminNumbers, &load.set->authorisedNumbers, &load.set->backupNumbers};
    for (int category = 0; category < 3; ++category) {
        QByteArray command = kListPrefixes[category];
        bool first = true;
        for (const std::string& number : lists[category]->NonEmptyNumbers()) {
            if (!first)
                command.append(',');
            first = false;
            command.append(number.data(), static_cast<qsizetype>(number.size()));
            load.listNumbers[static_cast<std::size_t>(category)] << GbkToUnicode(number);
        }
        command.append('\r');
        load.listCommands[static_cast<std::size_t>(category)] = command;
    }
    load.missingLines = CountMissingReportLabels(report);
    return load;
}

namespace {

QString NumbersText(const NumberList& list)
{
    QStringList numbers;
    for (const std::string& number : list.NonEmptyNumbers())
        numbers << GbkToUnicode(number);
    return numbers.join(QLatin1Char(','));
}

}  // namespace

QStringList DescribeFileChanges(const ConfigFileLoad& load, const ParameterSet& current)
{
    QStringList lines;
    const std::vector<SaveItem>& items = AllSaveItems();
    for (const PlannedWrite& write : PlanSave(current, load.saveInputs)) {
        const auto index = static_cast<std::size_t>(write.item - items.data());
        lines << QStringLiteral("%1：设备“%2”，文件“%3”")
                     .arg(SaveItemLabel(*write.item), ShownValueText(current, *write.item), load.saveInputs[index].cell);
    }
    const NumberList* now[3] = {&current.adminNumbers, &current.authorisedNumbers, &current.backupNumbers};
    for (int category = 0; category < 3; ++category) {
        const QString before = NumbersText(*now[category]);
        const QString after = load.listNumbers[static_cast<std::size_t>(category)].join(QLatin1Char(','));
        if (before != after)
            lines << QStringLiteral("%1：设备“%2”，文件“%3”").arg(ListName(category), before, after);
    }
    return lines;
}

QByteArray SentListCommands(const ConfigFileLoad& load)
{
    return load.listCommands[0] + load.listCommands[1] + load.listCommands[2];
}

std::vector<SentNumberList> SentNumberLists(const QByteArray& listCommands)
{
    std::vector<SentNumberList> lists;
    for (const QByteArray& command : listCommands.split('\r')) {
        for (int category = 0; category < 3; ++category) {
            if (command.startsWith(kListPrefixes[category]))
                lists.push_back({category, command.mid(qstrlen(kListPrefixes[category]))});
        }
    }
    return lists;
}

std::optional<QString> NumberListMismatch(const ParameterSet& readBack, const SentNumberList& sent)
{
    const NumberList* lists[3] = {&readBack.adminNumbers, &readBack.authorisedNumbers, &readBack.backupNumbers};
    if (sent.category < 0 || sent.category >= 3)
        return std::nullopt;
    const QByteArray read = QByteArray::fromStdString(lists[sent.category]->JoinedWithCommas());
    if (read == sent.numbers)
        return std::nullopt;
    return QStringLiteral("%1：发送“%2”，读回“%3”").arg(ListName(sent.category), GbkToUnicode(sent.numbers), GbkToUnicode(read));
}
