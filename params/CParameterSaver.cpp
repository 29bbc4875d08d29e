#include "params/CParameterSaver.h"

#include "device/CDeviceController.h"
#include "device/DeviceTask.h"
#include "device/IDeviceView.h"
#include "device/ReplyChannel.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/SavePlan.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

static_assert(kAnyOkReply == ReplyChannel::AnyOk, "save items wait for \"OK\" anywhere");

namespace {

enum class LogOrder { CommandFirst, MessageFirst };
enum class ItemResult { Skipped, Written, Failed };
// Told of every item sent, whether the terminal acknowledged it.
using SentNote = std::function<void(const SaveItem&, const CellInput&, const ItemValue&, bool acknowledged)>;
// Every item sent, acknowledged or not, with the value shown before it.
using RecordNote = std::function<void(const SaveItem&, const QString& before, const CellInput&, bool acknowledged)>;

// The service record's side of the save, set by SaveAllParameters: called
// just before an item's command goes out, and once its reply was recognised
// or given up (before the next command).
thread_local std::function<void()> t_beforeSend;
thread_local RecordNote t_noteSent;

std::optional<std::vector<QString>> ReadCells(CDeviceController& device, std::span<const SaveItem> items)
{
    std::vector<QString> cells(items.size());
    IDeviceView& view = device.View();
    const bool read = device.CallOnUi([&] {
        for (std::size_t i = 0; i < items.size(); ++i)
            cells[i] = view.CellText(items[i].row, items[i].column);
    });
    if (!read)
        return std::nullopt;
    return cells;
}

// Shows a message box on the UI thread and waits until it is closed. Never
// called with the parameter lock held: the UI thread may need it meanwhile.
void ShowMessage(CDeviceController& device, const QString& text)
{
    device.CallOnUi([&] { device.View().ShowMessage(text); });
}

void ShowRefusal(CDeviceController& device, const SaveRefusal& refusal)
{
    if (refusal.shown == SaveRefusal::Shown::MessageBox)
        ShowMessage(device, refusal.text);
    else
        device.PostLog(refusal.text);
}

// Reads and prepares the cells of a procedure and refuses, with a message
// box, the first typed cell that cannot be saved. Nothing when the save
// must stop.
std::optional<std::vector<CellInput>> ReadSavableInputs(CDeviceController& device, std::span<const SaveItem> items)
{
    const std::optional<std::vector<QString>> cells = ReadCells(device, items);
    if (!cells)
        return std::nullopt;
    std::vector<CellInput> inputs = PrepareSaveInputs(items, *cells, device.ShownCellsSnapshot());
    if (const std::optional<QString> message = FirstUnsavableCell(items, inputs)) {
        ShowMessage(device, *message);
        return std::nullopt;
    }
    return inputs;
}

void LogOutcome(CDeviceController& device, const SaveItem& item, const QByteArray& command, bool written,
                LogOrder order)
{
    const QString message = QString::fromUtf8(written ? item.success : item.failure);
    if (order == LogOrder::CommandFirst) {
        device.PostLogBytes(command);
        device.PostLog(message);
    } else {
        device.PostLog(message);
        device.PostLogBytes(command);
    }
}

// The item procedure: convert, compare, send, log, store, pause.
ItemResult SaveItemValue(CDeviceController& device, const SaveItem& item, const CellInput& input, LogOrder order,
                         const SentNote& noteSent)
{
    ParameterSet& set = device.Params();
    const std::optional<ItemValue> value = ConvertCell(item, input);
    if (!value || MatchesStored(set, item, *value))
        return ItemResult::Skipped;

    const QByteArray command = SaveCommand(item, *value);
    const QString before = ShownValueText(set, item);
    if (t_beforeSend)
        t_beforeSend();
    bool wentOut = false;
    const bool written = device.SendCommandAndWait(item.replyCode, command, &wentOut);
    LogOutcome(device, item, command, written, order);
    // An item whose command never went out (the port was already gone)
    // was not sent: it ends the save, but counts and is recorded as nothing.
    if (!wentOut)
        return ItemResult::Failed;
    if (t_noteSent)
        t_noteSent(item, before, input, written);
    if (!written) {
        noteSent(item, input, *value, false);
        return ItemResult::Failed;
    }
    {
        // Re-entrant: the procedures that hold the lock for their whole run
        // take it once more here; the preset texts take it only here.
        std::lock_guard guard(device.ParamLock());
        StoreValue(set, item, *value);
    }
    noteSent(item, input, *value, true);
    device.Pause(device.timing().itemPauseMs);
    return ItemResult::Written;
}

bool SaveItemValues(CDeviceController& device, std::span<const SaveItem> items, const std::vector<CellInput>& inputs,
                    LogOrder order, const SentNote& noteSent)
{
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (SaveItemValue(device, items[i], inputs[i], order, noteSent) == ItemResult::Failed)
            return false;
    }
    return true;
}

// What a read-back that matched checked: "2 项", "3 个号码列表" or
// "2 项参数和 3 个号码列表".
QString VerifiedText(std::size_t items, std::size_t lists)
{
    const QString itemsText = QStringLiteral("%1 项").arg(items);
    if (lists == 0)
        return itemsText;
    const QString listsText = QStringLiteral("%1 个号码列表").arg(lists);
    return items == 0 ? listsText : QStringLiteral("%1参数和 %2").arg(itemsText, listsText);
}

}  // namespace

CParameterSaver::CParameterSaver(CDeviceController& device)
    : m_device(device)
{
    // The save enables the buttons itself, whichever way it ends.
    m_device.RegisterTask(TaskCode::SaveAll, [this](DeviceTask& task) { SaveAllParameters(task.command); },
                          CDeviceController::ButtonsAfterTask::LeftToTask);
}

void CParameterSaver::OnSaveSettings()
{
    m_device.View().SetBusy(true);
    if (m_device.PostTask(TaskCode::SaveAll)) {
        m_device.PostLog(QStringLiteral("参数保存中，请等待..."));
        return;
    }
    m_device.View().SetBusy(false);
    m_device.PostLog(QStringLiteral("参数保存失败"));
}

void CParameterSaver::SaveAllParameters(const QByteArray& listCommands)
{
    m_written.clear();
    m_sentLists = SentNumberLists(listCommands);
    const qint64 startedMs = QDateTime::currentMSecsSinceEpoch();
    // A file load has begun the change with its lists; a save of its own
    // begins one before its first command.
    t_beforeSend = [this, startedMs] {
        if (!m_device.OpenedChange())
            m_device.RecordChangeBegun(IVisitRecorder::ChangeKind::Parameters, startedMs);
    };
    t_noteSent = [this](const SaveItem& item, const QString& before, const CellInput& input, bool acknowledged) {
        m_device.RecordChangeItem({SaveItemLabel(item), before, input.cell, acknowledged});
    };
    BeginOutcome(0);
    // Cells that cannot be saved at all are refused before anything of the
    // save is sent, not halfway through it.
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, AllSaveItems());
    if (inputs) {
        std::size_t planned = 0;
        {
            std::lock_guard guard(m_device.ParamLock());
            planned = PlanSave(m_device.Params(), *inputs).size();
        }
        BeginOutcome(static_cast<int>(planned));
        if (planned > 0) {
            const int total = static_cast<int>(planned);
            m_device.PostToUi([this, total] { m_device.View().ShowSaveProgress(0, total); });
        }
    }
    if (inputs && SavePresetTexts() && SavePriorities() && SavePlayCounts() && SaveNetworkParameters()
        && SaveOtherSettings()) {
        m_device.PostLog(QStringLiteral("参数设置完成"));
        {
            std::lock_guard guard(m_outcomeLock);
            m_outcome.finished = true;
        }
        if (m_verify && (!m_written.empty() || !m_sentLists.empty()))
            VerifyWrittenItems();
    }
    t_beforeSend = nullptr;
    t_noteSent = nullptr;
    RecordSave();
    m_device.PostSetBusy(false);
}

IVisitRecorder::SentItem CParameterSaver::ListItem(const QByteArray& command, bool acknowledged)
{
    return {QString(), QString(), GbkToUnicode(command.trimmed()), acknowledged};
}

void CParameterSaver::RecordSave()
{
    // Nothing begun: the save sent nothing (refused, or nothing differed)
    // and followed no lists, so it changed nothing.
    const std::optional<CDeviceController::OpenChange>& open = m_device.OpenedChange();
    if (!open)
        return;
    const Outcome outcome = LastOutcome();
    IVisitRecorder::Change change;
    change.kind = open->kind;
    change.items = open->items;
    change.startedMs = open->startedMs;
    change.succeeded = outcome.finished;
    if (outcome.readBackFailed)
        change.verify = QStringLiteral("读回失败");
    else if (outcome.verified)
        change.verify = outcome.mismatches == 0 ? QStringLiteral("一致")
                                                : QStringLiteral("%1 项不一致").arg(outcome.mismatches);
    m_device.RecordChange(change);
}

void CParameterSaver::BeginOutcome(int planned)
{
    std::lock_guard guard(m_outcomeLock);
    m_outcome = Outcome{};
    m_outcome.planned = planned;
}

CParameterSaver::Outcome CParameterSaver::LastOutcome() const
{
    std::lock_guard guard(m_outcomeLock);
    return m_outcome;
}

void CParameterSaver::NoteSent(const SaveItem& item, const CellInput& input, const ItemValue& value, bool acknowledged)
{
    if (!acknowledged) {
        std::lock_guard guard(m_outcomeLock);
        ++m_outcome.sent;
        return;
    }
    m_written.push_back({&item, input.cell, value});
    int done = 0;
    int total = 0;
    {
        std::lock_guard guard(m_outcomeLock);
        ++m_outcome.sent;
        done = ++m_outcome.written;
        // A cell edited while the save runs can make one item more.
        m_outcome.planned = std::max(m_outcome.planned, done);
        total = m_outcome.planned;
    }
    m_device.PostToUi([this, done, total] { m_device.View().ShowSaveProgress(done, total); });
}

void CParameterSaver::VerifyWrittenItems()
{
    m_device.PostLog(QStringLiteral("正在校验：读回设备参数..."));
    const bool replied =
        m_device.ExchangeCommand(ReplyChannel::FullReport, "AT+SHOW\r", m_device.timing().queryReplyMs);
    const QByteArray report = m_device.ReceivedText();
    if (replied)
        m_device.RecordReport(IVisitRecorder::ReportTrigger::Verify, m_device.ReceivedReport());
    auto readBack = std::make_unique<ParameterSet>();
    {
        std::lock_guard guard(m_device.ParamLock());
        *readBack = m_device.Params();
    }
    const bool parsed =
        replied && ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), *readBack);
    if (!parsed) {
        const QString line = QStringLiteral("校验失败：无法读回设备参数");
        m_device.PostLog(line);
        {
            std::lock_guard guard(m_outcomeLock);
            m_outcome.readBackFailed = true;
        }
        m_device.PostToUi([this, line] { m_device.View().ShowVerifyResult(line, {line}); });
        return;
    }

    QStringList lines;
    for (const VerifyMismatch& mismatch : CompareWrittenItems(*readBack, m_written)) {
        lines << QStringLiteral("校验不一致：") + VerifyMismatchText(mismatch);
        m_device.PostLog(lines.constLast());
    }
    for (const SentNumberList& list : m_sentLists) {
        if (const std::optional<QString> mismatch = NumberListMismatch(*readBack, list)) {
            lines << QStringLiteral("校验不一致：") + *mismatch;
            m_device.PostLog(lines.constLast());
        }
    }
    const QString summary =
        lines.isEmpty() ? QStringLiteral("校验完成：%1全部一致").arg(VerifiedText(m_written.size(), m_sentLists.size()))
                        : QStringLiteral("校验失败：%1 项不一致").arg(lines.size());
    m_device.PostLog(summary);
    {
        // The tool's picture is now what the terminal reports, so the next
        // save sends again whatever did not take.
        std::lock_guard guard(m_device.ParamLock());
        m_device.Params() = *readBack;
    }
    {
        std::lock_guard guard(m_outcomeLock);
        m_outcome.verified = true;
        m_outcome.mismatches = static_cast<int>(lines.size());
    }
    m_device.PostToUi([this, summary, lines] { m_device.View().ShowVerifyResult(summary, lines); });
}

bool CParameterSaver::SavePresetTexts()
{
    const SentNote noteSent = [this](const SaveItem& item, const CellInput& input, const ItemValue& value,
                                     bool acknowledged) { NoteSent(item, input, value, acknowledged); };
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::PresetTexts);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = PresetTextCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    // Compared without the lock; each store takes it.
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst, noteSent);
}

bool CParameterSaver::SavePriorities()
{
    const SentNote noteSent = [this](const SaveItem& item, const CellInput& input, const ItemValue& value,
                                     bool acknowledged) { NoteSent(item, input, value, acknowledged); };
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::Priorities);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst, noteSent);
}

bool CParameterSaver::SavePlayCounts()
{
    const SentNote noteSent = [this](const SaveItem& item, const CellInput& input, const ItemValue& value,
                                     bool acknowledged) { NoteSent(item, input, value, acknowledged); };
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::PlayCounts);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = PlayCountCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst, noteSent);
}

bool CParameterSaver::SaveNetworkParameters()
{
    const SentNote noteSent = [this](const SaveItem& item, const CellInput& input, const ItemValue& value,
                                     bool acknowledged) { NoteSent(item, input, value, acknowledged); };
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::Network);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = NetworkCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::CommandFirst, noteSent);
}

bool CParameterSaver::SaveOtherSettings()
{
    const SentNote noteSent = [this](const SaveItem& item, const CellInput& input, const ItemValue& value,
                                     bool acknowledged) { NoteSent(item, input, value, acknowledged); };
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::OtherSettings);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = OtherSettingsCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst, noteSent);
}
