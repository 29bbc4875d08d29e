#include "params/CParameterSaver.h"

#include "device/CDeviceController.h"
#include "device/DeviceTask.h"
#include "device/IDeviceView.h"
#include "device/ReplyChannel.h"
#include "params/SavePlan.h"

#include <QString>

#include <mutex>
#include <optional>
#include <span>
#include <vector>

static_assert(kAnyOkReply == ReplyChannel::AnyOk, "save items wait for \"OK\" anywhere");

namespace {

enum class LogOrder { CommandFirst, MessageFirst };
enum class ItemResult { Skipped, Written, Failed };

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
ItemResult SaveItemValue(CDeviceController& device, const SaveItem& item, const CellInput& input, LogOrder order)
{
    ParameterSet& set = device.Params();
    const std::optional<ItemValue> value = ConvertCell(item, input);
    if (!value || MatchesStored(set, item, *value))
        return ItemResult::Skipped;

    const QByteArray command = SaveCommand(item, *value);
    const bool written = device.SendCommandAndWait(item.replyCode, command);
    LogOutcome(device, item, command, written, order);
    if (!written)
        return ItemResult::Failed;
    {
        // Re-entrant: the procedures that hold the lock for their whole run
        // take it once more here; the preset texts take it only here.
        std::lock_guard guard(device.ParamLock());
        StoreValue(set, item, *value);
    }
    device.Pause(device.timing().itemPauseMs);
    return ItemResult::Written;
}

bool SaveItemValues(CDeviceController& device, std::span<const SaveItem> items, const std::vector<CellInput>& inputs,
                    LogOrder order)
{
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (SaveItemValue(device, items[i], inputs[i], order) == ItemResult::Failed)
            return false;
    }
    return true;
}

}  // namespace

CParameterSaver::CParameterSaver(CDeviceController& device)
    : m_device(device)
{
    // The save enables the buttons itself, whichever way it ends.
    m_device.RegisterTask(TaskCode::SaveAll, [this](DeviceTask&) { SaveAllParameters(); },
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

void CParameterSaver::SaveAllParameters()
{
    // Cells that cannot be saved at all are refused before anything of the
    // save is sent, not halfway through it.
    const bool savable = ReadSavableInputs(m_device, AllSaveItems()).has_value();
    if (savable && SavePresetTexts() && SavePriorities() && SavePlayCounts() && SaveNetworkParameters()
        && SaveOtherSettings())
        m_device.PostLog(QStringLiteral("参数设置完成"));
    m_device.PostSetBusy(false);
}

bool CParameterSaver::SavePresetTexts()
{
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::PresetTexts);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = PresetTextCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    // Compared without the lock; each store takes it.
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SavePriorities()
{
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::Priorities);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SavePlayCounts()
{
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::PlayCounts);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = PlayCountCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst);
}

bool CParameterSaver::SaveNetworkParameters()
{
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::Network);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = NetworkCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::CommandFirst);
}

bool CParameterSaver::SaveOtherSettings()
{
    const std::span<const SaveItem> items = SaveItems(SaveProcedure::OtherSettings);
    const std::optional<std::vector<CellInput>> inputs = ReadSavableInputs(m_device, items);
    if (!inputs)
        return false;
    if (const std::optional<SaveRefusal> refusal = OtherSettingsCheck(*inputs)) {
        ShowRefusal(m_device, *refusal);
        return false;
    }
    std::lock_guard guard(m_device.ParamLock());
    return SaveItemValues(m_device, items, *inputs, LogOrder::MessageFirst);
}
