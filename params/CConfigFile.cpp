#include "params/CConfigFile.h"

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "params/CParameterSaver.h"
#include "params/ParameterReport.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <memory>

namespace {

// Whole-list commands and their log lines, by category.
struct ListCommand {
    const char* success;
    const char* failure;
};
const ListCommand kListCommands[3] = {
    {"重置管理号码成功", "重置管理号码失败"},
    {"重置授权号码成功", "重置授权号码失败"},
    {"重置备份号码成功", "重置备份号码失败"},
};


}  // namespace

CConfigFile::CConfigFile(CDeviceController& device)
    : m_device(device)
{
    device.RegisterTask(TaskCode::SaveConfigFile, [this](DeviceTask& task) { SaveConfigFile(PathOf(task)); });
    // The load queues the save of all parameters behind itself; that save
    // gives the buttons back, so the load only does when it queued nothing.
    device.RegisterTask(TaskCode::LoadConfigFile, [this](DeviceTask& task) { LoadConfigFile(PathOf(task)); },
                        CDeviceController::ButtonsAfterTask::LeftToTask);
}

QString CConfigFile::PathOf(const DeviceTask& task)
{
    return QFile::decodeName(task.command);
}

// ---------------------------------------------------------------- UI thread

void CConfigFile::RequestSave(const QString& path)
{
    // Like every other device operation, the buttons rest while it runs.
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(TaskCode::SaveConfigFile, QFile::encodeName(path))) {
        m_device.View().SetBusy(false);
        m_device.PostLog(QStringLiteral("配置保存文件失败"));
    }
}

void CConfigFile::RequestLoad(const QString& path)
{
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(TaskCode::LoadConfigFile, QFile::encodeName(path))) {
        m_device.View().SetBusy(false);
        m_device.PostLog(QStringLiteral("从文件配置失败"));
    }
}

// ---------------------------------------------------------------- file text

QByteArray CConfigFile::ToFileText(const QByteArray& report)
{
    return ConfigFileText(report);
}

QByteArray CConfigFile::FromFileText(const QByteArray& fileBytes)
{
    return ReportFromConfigFile(fileBytes);
}

void CConfigFile::SetOverrides(std::vector<CellOverride> overrides)
{
    std::lock_guard guard(m_overridesLock);
    m_overrides = std::move(overrides);
}

std::vector<CellOverride> CConfigFile::Overrides() const
{
    std::lock_guard guard(m_overridesLock);
    return m_overrides;
}

void CConfigFile::SetChangeFilter(ChangeFilter filter)
{
    std::lock_guard guard(m_overridesLock);
    m_changeFilter = std::move(filter);
}

ChangeFilter CConfigFile::GetChangeFilter() const
{
    std::lock_guard guard(m_overridesLock);
    return m_changeFilter;
}

bool CConfigFile::CanWriteFile(const QString& path, QString* why)
{
    // The save writes beside the file and renames over it; trying exactly
    // that, and throwing it away, tells whether it will work.
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        if (why)
            *why = probe.errorString();
        return false;
    }
    probe.cancelWriting();
    return true;
}

// ---------------------------------------------------------------- save

void CConfigFile::SaveConfigFile(const QString& path)
{
    m_lastSaveSucceeded = false;
    const bool replied =
        m_device.ExchangeCommand(ReplyChannel::FullReport, "AT+SHOW\r", m_device.timing().queryReplyMs);
    const QByteArray report = m_device.ReceivedText();
    // The file holds the report without the line noise around it.
    const QByteArray kept = m_device.ReceivedReport();
    if (!replied) {
        if (!report.isEmpty())
            m_device.PostLogBytes(report);
        m_device.PostLog(QStringLiteral("保存到文件失败"));
        return;
    }
    bool parsed = false;
    {
        std::lock_guard guard(m_device.ParamLock());
        parsed = ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), m_device.Params());
    }
    if (!parsed) {
        m_device.PostLogBytes(report);
        m_device.PostLog(QStringLiteral("参数加载中存在错误的参数，保存失败..."));
        return;
    }
    m_device.ShowParameterSet(m_device.Params(), true);
    m_device.PostLogBytes(report);
    m_device.PostRefusedListNumbers(report);
    if (!WriteFile(path, kept)) {
        m_device.CallOnUi([this] { m_device.View().ShowMessage(QStringLiteral("文件打开错误，保存失败")); });
        return;
    }
    m_lastSaveSucceeded = true;
    m_device.PostLog(QStringLiteral("参数保存到文件成功..."));
}

bool CConfigFile::WriteFile(const QString& path, const QByteArray& report)
{
    // Written beside the old file and renamed over it: a failure never
    // leaves a half-written file, and the old one stays as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = ToFileText(report);
    if (file.write(text) != text.size())
        return false;
    return file.commit();
}

// ---------------------------------------------------------------- load

void CConfigFile::LoadConfigFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_device.PostLog(QStringLiteral("打开文件失败"));
        m_device.PostSetBusy(false);
        return;
    }
    const QByteArray text = FromFileText(file.read(kMaxFileBytes));
    file.close();

    // The whole file is checked against the terminal's values before the
    // first command, so a refused file leaves the terminal as it was.
    std::unique_ptr<ParameterSet> current;
    {
        std::lock_guard guard(m_device.ParamLock());
        current = std::make_unique<ParameterSet>(m_device.Params());
    }
    ConfigFileLoad load = PlanConfigFileLoad(text, *current, Overrides());
    if (load.refusal) {
        RefuseLoad(*load.refusal);
        return;
    }
    // The technician sees what would change, may untick changes, and may
    // still say no.
    const std::vector<FileChange> changes = ListFileChanges(load, *current);
    const ChangeFilter filter = GetChangeFilter();
    std::vector<bool> ticked = InitialTicks(changes, filter);
    bool confirmed = false;
    m_device.CallOnUi([&] { confirmed = m_device.View().ChooseFileChanges(FileChangeTexts(changes), ticked); });
    KeepTickedChanges(load, *current, changes, ticked, filter.changesOnly);
    if (!confirmed) {
        m_device.PostLog(QStringLiteral("已取消从文件配置，未发送任何命令"));
        m_device.PostSetBusy(false);
        return;
    }
    if (load.missingLines > 0) {
        m_device.PostLog(
            QStringLiteral("配置文件缺少%1行参数，这些参数保持设备当前的值，不会发送").arg(load.missingLines));
    }

    m_device.CallOnUi([this] {
        for (int category = 0; category < 3; ++category)
            m_device.View().ClearNumberPage(category);
    });
    // The lists and the parameters of the save that follows are one change:
    // a list-only file is a change of the number lists.
    const IVisitRecorder::ChangeKind kind = PlanSave(*current, load.saveInputs).empty()
                                                ? IVisitRecorder::ChangeKind::NumberList
                                                : IVisitRecorder::ChangeKind::Parameters;
    const qint64 startedMs = QDateTime::currentMSecsSinceEpoch();
    for (int category = 0; category < 3; ++category) {
        if (!SendNumberList(category, load, kind, startedMs)) {
            EndLoadChange();
            m_device.PostSetBusy(false);
            return;
        }
    }

    m_device.ShowParameterSet(*load.set, false);
    if (!load.overrides.empty()) {
        m_device.CallOnUi([&] {
            for (const CellOverride& override : load.overrides)
                m_device.View().SetCellText(override.item->row, override.item->column, override.value);
        });
    }
    // The save carries the lists just sent, so that its read-back checks
    // them with the items it writes.
    if (m_device.PostTask(TaskCode::SaveAll, SentListCommands(load))) {
        m_device.PostLog(QStringLiteral("参数保存中，请等待..."));
        return;
    }
    m_device.PostLog(QStringLiteral("参数保存失败"));
    EndLoadChange();
    m_device.PostSetBusy(false);
}

void CConfigFile::EndLoadChange()
{
    // Only a load that sent a list began a change; ending here, it failed.
    const std::optional<CDeviceController::OpenChange>& open = m_device.OpenedChange();
    if (!open)
        return;
    IVisitRecorder::Change change;
    change.kind = open->kind;
    change.items = open->items;
    change.startedMs = open->startedMs;
    change.succeeded = false;
    m_device.RecordChange(change);
}

void CConfigFile::RefuseLoad(const SaveRefusal& refusal)
{
    if (refusal.shown == SaveRefusal::Shown::MessageBox)
        m_device.CallOnUi([&] { m_device.View().ShowMessage(refusal.text); });
    else
        m_device.PostLog(refusal.text);
    if (refusal.text != QStringLiteral("参数加载失败"))
        m_device.PostLog(QStringLiteral("从文件配置失败"));
    m_device.PostSetBusy(false);
}

bool CConfigFile::SendNumberList(int category, const ConfigFileLoad& load, IVisitRecorder::ChangeKind kind,
                                 qint64 startedMs)
{
    const auto index = static_cast<std::size_t>(category);
    const QStringList& shown = load.listNumbers[index];
    m_device.CallOnUi([&] {
        for (const QString& number : shown)
            m_device.View().AppendNumberRow(category, number);
    });
    // A list left unticked is not sent.
    if (load.listCommands[index].isEmpty())
        return true;
    const ListCommand& list = kListCommands[category];
    if (!m_device.OpenedChange())
        m_device.RecordChangeBegun(kind, startedMs);
    const bool acknowledged =
        m_device.ExchangeCommand(ReplyChannel::AnyOk, load.listCommands[index], m_device.timing().queryReplyMs);
    m_device.PostLog(QString::fromUtf8(acknowledged ? list.success : list.failure));
    m_device.RecordChangeItem(CParameterSaver::ListItem(load.listCommands[index], acknowledged));
    return acknowledged;
}
