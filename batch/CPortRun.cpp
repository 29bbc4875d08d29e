#include "batch/CPortRun.h"

#include "device/CDeviceController.h"
#include "device/CModeSwitcher.h"
#include "device/CRecorderTap.h"
#include "params/CConfigDocument.h"
#include "params/CConfigFile.h"
#include "params/CParameterSaver.h"
#include "params/ChangedOnlyFile.h"
#include "params/GbkText.h"
#include "records/CVisitRecorder.h"
#include "records/RecordedCheck.h"
#include "records/RecordLines.h"
#include "serial/PortTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#include <memory>

namespace {

// How the controller says that the port went away.
const char* const kPortLostLine = ">>> 串口连接已断开";

}  // namespace

CPortRun::CPortRun(const CommandLine& command, const QString& device, const Timing& timing, CBatchConsole* console,
                   UnitSource units)
    : m_command(command), m_devicePath(device), m_units(std::move(units))
{
    if (!console) {
        m_ownConsole = std::make_unique<CBatchConsole>();
        console = m_ownConsole.get();
    }
    m_console = console;
    m_device = std::make_unique<CDeviceController>(*m_console, timing);
    m_saver = std::make_unique<CParameterSaver>(*m_device);
    m_saver->SetVerifyAfterSave(command.verify);
    m_configFile = std::make_unique<CConfigFile>(*m_device);
    AttachRecorder();
    connect(m_device.get(), &CDeviceController::taskFinished, this, &CPortRun::OnTaskFinished);
    connect(m_device.get(), &CDeviceController::portLost, this, &CPortRun::OnPortLost);
    m_powerOnTimer.setSingleShot(true);
    connect(&m_powerOnTimer, &QTimer::timeout, this, &CPortRun::OnPowerOnTimeout);
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, &CPortRun::CompleteUnit);
}

CPortRun::~CPortRun()
{
    // The worker stops before the procedures it runs are destroyed, the
    // record's writer before the controller its lines go to.
    CloseRecord(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_recordTiming.shutdownWaitMs));
}

int CPortRun::CloseRecord(std::chrono::steady_clock::time_point deadline)
{
    m_device->Shutdown();
    return m_recorder ? m_recorder->Close(deadline) : 0;
}

void CPortRun::AttachRecorder()
{
    // The tap keeps the entry's module reply and the last report for the
    // profile's checks; with a record, every step goes on to it.
    m_tap = std::make_shared<CRecorderTap>();
    m_device->SetRecorder(m_tap);
    if (!m_command.record)
        return;
    CDeviceController* device = m_device.get();
    m_recorder = std::make_shared<CVisitRecorder>(m_command.database, m_devicePath,
                                                  [device](const QString& line) { device->PostLog(line); });
    // A record that cannot be written is said on standard error too: a
    // batch run's output may go to a file nobody reads.
    CBatchConsole* console = m_console;
    m_recorder->SetFailureLog([device, console](const QString& line) {
        device->PostToUi([console, line] { console->ShowMessage(line); });
    });
    m_recorder->SetProgress([device, this] { device->PostToUi([this] { OnRecordProgress(); }); });
    switch (m_command.mode) {
    case CommandLine::Mode::Read:
        m_recorder->SetTriggerNames(QString::fromLatin1(RecordTrigger::ReadRun), QString::fromLatin1(RecordTrigger::Verify));
        break;
    case CommandLine::Mode::Diff:
        m_recorder->SetTriggerNames(QString::fromLatin1(RecordTrigger::DiffRun), QString::fromLatin1(RecordTrigger::Verify));
        break;
    default:
        m_recorder->SetTriggerNames(QString::fromLatin1(RecordTrigger::BeforeApply),
                                    QString::fromLatin1(RecordTrigger::AfterApply));
        break;
    }
    m_tap = std::make_shared<CRecorderTap>(m_recorder);
    m_device->SetRecorder(m_tap);
}

bool CPortRun::Start()
{
    m_device->Start();
    const int portNumber = PortTable::Instance().Add(m_devicePath);
    m_portName = portNumber > 0 ? QStringLiteral("COM%1").arg(portNumber) : m_devicePath;
    m_record = UnitRecord{};
    m_record.port = m_portName;
    m_record.device = m_devicePath;
    m_record.start = QDateTime::currentDateTime();
    m_unitMark = static_cast<int>(m_console->LogLines().size());
    if (portNumber == 0 || !m_device->OpenPort(portNumber, m_command.baudRate)) {
        m_unitActive = true;
        m_stopping = true;
        EndUnit(1, QStringLiteral("失败"));
        Finish();
        return false;
    }
    m_device->SetConfigurationMode(true);
    BeginUnit();
    return true;
}

void CPortRun::BeginUnit()
{
    const std::optional<NextUnit> next = m_units ? m_units() : std::optional<NextUnit>(NextUnit{});
    if (!next) {
        Finish();
        return;
    }
    m_unitValues.clear();
    m_conformSent = false;
    m_conformFile.reset();
    m_tap->Reset();
    if (m_command.mode == CommandLine::Mode::Conform) {
        // The row's values are what the profile's per-unit rules want of
        // this terminal; only what deviates is sent.
        for (const CellOverride& override : next->overrides)
            m_unitValues[override.item] = override.value;
        m_configFile->SetOverrides({});
    } else {
        m_configFile->SetOverrides(next->overrides);
    }
    m_configFile->SetChangeFilter({m_command.onlyLabels, m_command.skipLabels});
    m_record = UnitRecord{};
    m_record.port = m_portName;
    m_record.device = m_devicePath;
    m_record.row = next->row;
    m_record.start = QDateTime::currentDateTime();
    m_unitMark = static_cast<int>(m_console->LogLines().size());
    m_unitActive = true;
    m_caught = false;

    if (m_unitsDone == 0) {
        m_device->OnPortOpened();
        m_powerOnTimer.start(m_command.powerOnTimeoutSeconds * 1000);
        return;
    }
    // The next terminal: the technician may take a while to connect it, so
    // only a --timeout given on the command line limits the wait.
    const QString row = next->row > 0 ? QStringLiteral("（第%1行）").arg(next->row) : QString();
    m_device->PostLog(QStringLiteral("请接上下一台设备%1并重新上电，正在等待设备上电后进入配置状态...").arg(row));
    if (!m_device->ConfigEntryPending().exchange(true) && !m_device->PostTask(TaskCode::EnterConfiguration)) {
        m_device->PostLog(QStringLiteral("设备进入配置失败"));
        EndUnit(1, QStringLiteral("失败"));
        return;
    }
    if (m_command.timeoutGiven)
        m_powerOnTimer.start(m_command.powerOnTimeoutSeconds * 1000);
}

bool CPortRun::LoggedSince(int mark, const QString& line) const
{
    const QStringList& log = m_console->LogLines();
    for (qsizetype i = mark; i < log.size(); ++i) {
        if (log[i] == line)
            return true;
    }
    return false;
}

QString CPortRun::TargetFile() const
{
    // One file per terminal when a run reads several: the device ID joins
    // the name ("site.cfg" becomes "site-1A2B3C4D.cfg").
    if (m_command.ports.size() == 1 && !m_command.repeat)
        return m_command.file;
    QString id;
    {
        std::lock_guard guard(m_device->ParamLock());
        id = GbkToUnicode(m_device->Params().deviceId.View());
    }
    id.replace(QRegularExpression(QStringLiteral("[^0-9A-Za-z_-]")), QStringLiteral("_"));
    if (id.isEmpty())
        id = m_portName;
    const QFileInfo info(m_command.file);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.dir().filePath(info.completeBaseName() + QLatin1Char('-') + id + suffix);
}

void CPortRun::OnTaskFinished(int code)
{
    if (m_finished || !m_unitActive)
        return;
    if (m_endingAfterWorker) {
        // The port is gone or the run interrupted: the step that ends now
        // leaves its counts, and the terminal ends as EndAfterWorker says.
        if (code == TaskCode::SaveAll)
            TakeSaveCounts();
        return;
    }
    switch (code) {
    case TaskCode::EnterConfiguration:
        m_powerOnTimer.stop();
        m_caught = true;
        if (!LoggedSince(m_unitMark, QStringLiteral("参数加载完成..."))) {
            EndUnit(1, QStringLiteral("失败"));
            return;
        }
        m_record.start = QDateTime::currentDateTime();
        m_operationMark = static_cast<int>(m_console->LogLines().size());
        // --read checks the report it saves, read at once after this one.
        if (m_profile && m_command.mode != CommandLine::Mode::Read && m_command.mode != CommandLine::Mode::Conform)
            CheckProfile();
        switch (m_command.mode) {
        case CommandLine::Mode::Read:
            m_device->PostTask(TaskCode::SaveConfigFile, QFile::encodeName(TargetFile()));
            return;
        case CommandLine::Mode::Diff:
            RunDiff();
            return;
        case CommandLine::Mode::Conform:
            RunConform();
            return;
        default:
            m_device->PostTask(TaskCode::LoadConfigFile, QFile::encodeName(m_command.file));
            return;
        }
    case TaskCode::SaveConfigFile:
        if (LoggedSince(m_operationMark, QStringLiteral("参数保存到文件成功..."))) {
            if (m_profile)
                CheckProfile();
            EndUnit(0, QStringLiteral("成功"));
        } else {
            EndUnit(1, QStringLiteral("失败"));
        }
        return;
    case TaskCode::LoadConfigFile:
        // Success goes on with the save of all parameters it queued.
        if (!LoggedSince(m_operationMark, QStringLiteral("参数保存中，请等待...")))
            EndUnit(1, QStringLiteral("失败"));
        return;
    case TaskCode::SaveAll: {
        TakeSaveCounts();
        const CParameterSaver::Outcome outcome = m_saver->LastOutcome();
        // The verification's read-back is checked as every read is.
        std::optional<ProfileCheckResult> check;
        if (m_profile && outcome.verified && !outcome.readBackFailed)
            check = CheckProfile();
        if (!outcome.finished)
            EndUnit(1, QStringLiteral("失败"));
        else if (outcome.readBackFailed || outcome.mismatches > 0)
            EndUnit(1, QStringLiteral("校验失败"));
        else if (m_command.mode == CommandLine::Mode::Conform)
            EndConform(check ? *check : CheckProfile());
        else
            EndUnit(0, QStringLiteral("成功"));
        return;
    }
    default:
        return;
    }
}

void CPortRun::TakeSaveCounts()
{
    const CParameterSaver::Outcome outcome = m_saver->LastOutcome();
    m_record.itemsSent = outcome.sent;
    m_record.itemsAcknowledged = outcome.written;
    m_record.verified = outcome.verified;
    m_record.mismatches = outcome.mismatches;
}

TerminalFacts CPortRun::FactsOf(const ParameterSet& set) const
{
    const std::optional<QByteArray> module = m_tap->ModuleReply();
    return TerminalFacts{&set, module ? GbkToUnicode(*module) : QString(), m_unitValues};
}

ProfileCheckResult CPortRun::CheckProfile()
{
    auto set = std::make_unique<ParameterSet>();
    {
        std::lock_guard guard(m_device->ParamLock());
        *set = m_device->Params();
    }
    ProfileCheckResult check = CheckAgainstProfile(*m_profile, FactsOf(*set), QDate::currentDate());
    // Said at once, after the lines of the read it checks and before
    // anything that follows.
    for (const QString& line : check.LogLines())
        m_console->AppendLog(line);
    m_record.profileCheck = check;
    // The record keeps which rules the terminal met that day.
    if (m_recorder)
        m_recorder->ProfileChecked(RecordedCheckOf(check));
    return check;
}

void CPortRun::RunConform()
{
    const ProfileCheckResult check = CheckProfile();
    auto set = std::make_unique<ParameterSet>();
    {
        std::lock_guard guard(m_device->ParamLock());
        *set = m_device->Params();
    }
    const ConformPlan plan = PlanConformance(*m_profile, check, FactsOf(*set));
    if (plan.SendsNothing()) {
        EndConform(check);
        return;
    }
    if (!QueueConformLoad(plan))
        EndUnit(1, QStringLiteral("失败"));
}

bool CPortRun::QueueConformLoad(const ConformPlan& plan)
{
    // The terminal's own report is the file: a load of it alone sends
    // nothing, so what goes out is the lists put right in it and the items
    // typed over it, each checked as --set checks a value.
    CConfigDocument document;
    if (const std::optional<QString> refusal = document.Open(m_tap->LastReport(), m_portName)) {
        m_console->AppendLog(QStringLiteral("按规范修正失败：%1").arg(*refusal));
        return false;
    }
    for (const auto& [category, numbers] : plan.lists) {
        if (const std::optional<QString> refusal = document.SetNumbers(category, numbers)) {
            m_console->AppendLog(QStringLiteral("按规范修正失败：%1").arg(*refusal));
            return false;
        }
    }
    m_conformFile = std::make_unique<QTemporaryFile>();
    const QByteArray& bytes = document.FileBytes();
    if (!m_conformFile->open() || m_conformFile->write(bytes) != bytes.size() || !m_conformFile->flush()) {
        m_console->AppendLog(QStringLiteral("按规范修正失败：无法写入临时文件"));
        return false;
    }
    m_conformFile->close();
    m_configFile->SetOverrides(plan.items);
    m_configFile->SetChangeFilter(ChangeFilter{{}, {}, true});
    m_conformSent = true;
    m_console->AppendLog(QStringLiteral("按规范修正：%1 项参数，%2 个号码列表")
                             .arg(plan.items.size())
                             .arg(plan.lists.size()));
    if (!m_device->PostTask(TaskCode::LoadConfigFile, QFile::encodeName(m_conformFile->fileName()))) {
        m_console->AppendLog(QStringLiteral("从文件配置失败"));
        return false;
    }
    return true;
}

void CPortRun::EndConform(const ProfileCheckResult& check)
{
    // What is left after everything else was put right needs a person; a
    // deviation still to be put right (待整改) is listed but does not fail.
    for (const Deviation& deviation : check.deviations)
        m_console->AppendLog(QStringLiteral("需人工处理：") + deviation.Text());
    const int counting = check.CountingDeviations();
    if (counting > 0) {
        m_console->AppendLog(QStringLiteral("按规范修正未完成：%1 项需人工处理").arg(counting));
        EndUnit(1, QStringLiteral("需人工处理"));
        return;
    }
    m_console->AppendLog(m_conformSent ? QStringLiteral("已按规范修正") : QStringLiteral("设备符合规范，未发送任何命令"));
    EndUnit(0, QStringLiteral("成功"));
}

void CPortRun::RunDiff()
{
    QFile file(m_command.file);
    if (!file.open(QIODevice::ReadOnly)) {
        m_device->PostLog(QStringLiteral("打开文件失败"));
        EndUnit(1, QStringLiteral("失败"));
        return;
    }
    const QByteArray text = CConfigFile::FromFileText(file.read(CConfigFile::kMaxFileBytes));
    auto current = std::make_unique<ParameterSet>();
    {
        std::lock_guard guard(m_device->ParamLock());
        *current = m_device->Params();
    }
    const ConfigFileLoad load = PlanConfigFileLoad(text, *current, m_configFile->Overrides());
    if (load.refusal) {
        m_device->PostLog(load.refusal->text);
        EndUnit(1, QStringLiteral("失败"));
        return;
    }
    // --only / --skip: the changes left out are not shown.
    const std::vector<FileChange> all = ListFileChanges(load, *current);
    const std::vector<bool> ticked = InitialTicks(all, m_configFile->GetChangeFilter());
    QStringList changes;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (ticked[i])
            changes << all[i].text;
    }
    for (const QString& line : changes)
        m_device->PostLog(line);
    m_record.changes = static_cast<int>(changes.size());
    if (m_command.changedOnly && !WriteChangedOnlyFile(*current)) {
        EndUnit(1, QStringLiteral("失败"));
        return;
    }
    if (changes.isEmpty()) {
        m_device->PostLog(QStringLiteral("文件与设备的参数相同"));
        EndUnit(0, QStringLiteral("无差异"));
    } else {
        m_device->PostLog(QStringLiteral("共%1项与设备不同，未发送任何命令").arg(changes.size()));
        EndUnit(3, QStringLiteral("有差异"));
    }
}

bool CPortRun::WriteChangedOnlyFile(const ParameterSet& current)
{
    QFile source(m_command.file);
    if (!source.open(QIODevice::ReadOnly)) {
        m_device->PostLog(QStringLiteral("打开文件失败"));
        return false;
    }
    const ChangedOnlyFile built = BuildChangedOnlyFile(source.read(CConfigFile::kMaxFileBytes), current,
                                                       m_configFile->Overrides(), m_configFile->GetChangeFilter());
    if (built.refusal) {
        m_device->PostLog(*built.refusal);
        return false;
    }
    QSaveFile file(m_command.outputFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(built.bytes) != built.bytes.size() || !file.commit()) {
        m_device->PostLog(QStringLiteral("无法写入配置文件“%1”").arg(m_command.outputFile));
        return false;
    }
    m_device->PostLog(QStringLiteral("只含不同项的配置文件已写入“%1”").arg(m_command.outputFile));
    return true;
}

void CPortRun::OnPowerOnTimeout()
{
    if (m_finished || !m_device->IsPowerOnPolling())
        return;
    m_device->PostLog(QStringLiteral("等待设备上电超时（%1 秒），请检查连接和电源后重试").arg(m_command.powerOnTimeoutSeconds));
    // Ends the waiting entry as choosing communication mode would.
    m_device->SetConfigurationMode(false);
    m_device->Reply().SetEvent();
    if (m_unitsDone > 0) {
        // A --repeat that waited in vain for one more terminal is over.
        m_unitActive = false;
        Finish();
        return;
    }
    m_stopping = true;
    EndUnit(1, QStringLiteral("失败"));
    Finish();
}

void CPortRun::OnPortLost()
{
    m_stopping = true;
    EndAfterWorker(m_unitActive, QStringLiteral("失败"));
}

void CPortRun::Interrupt()
{
    if (m_finished)
        return;
    // Nothing waits for a record after this: what is not written waits in
    // the outbox.
    m_interrupted = true;
    m_stopping = true;
    if (m_settling) {
        m_device->ClosePort();
        CompleteUnit();
        Finish();
        return;
    }
    if (m_endingAfterWorker)
        return;
    // The port first, so the terminal is free at once; then the worker.
    m_device->ClosePort();
    EndAfterWorker(IsBusyWithTerminal(), QStringLiteral("中断"));
}

void CPortRun::EndAfterWorker(bool endUnit, const QString& result)
{
    if (m_endingAfterWorker)
        return;
    m_endingAfterWorker = true;
    // The worker's step in progress ends at once (nothing it waits for can
    // come any more), and Shutdown returns once it has. The lines it logged
    // and the end of its task are then queued for this thread; the terminal
    // ends after them, with the counts and failures of what was done.
    m_device->Shutdown();
    m_device->PostToUi([this, endUnit, result] {
        if (endUnit)
            EndUnit(1, result);
        if (m_interrupted && m_settling)
            CompleteUnit();
        Finish();
    });
}

void CPortRun::EndUnit(int status, const QString& result)
{
    if (!m_unitActive)
        return;
    m_unitActive = false;
    m_powerOnTimer.stop();
    m_record.status = status;
    m_record.result = result;
    m_record.end = QDateTime::currentDateTime();
    {
        std::lock_guard guard(m_device->ParamLock());
        m_record.deviceId = GbkToUnicode(m_device->Params().deviceId.View());
        m_record.simNumber = GbkToUnicode(m_device->Params().simNumber.View());
    }
    const QStringList& log = m_console->LogLines();
    for (qsizetype i = m_unitMark; i < log.size(); ++i) {
        if (log[i].contains(QStringLiteral("失败")) || log[i].contains(QStringLiteral("超时"))
            || log[i].startsWith(QStringLiteral("校验不一致")) || log[i].startsWith(QString::fromUtf8(kPortLostLine))
            || log[i].startsWith(QStringLiteral("需人工处理：")))
            m_record.failures << CBatchConsole::Printable(log[i]);
    }
    ++m_unitsDone;
    if (m_recorder && m_caught) {
        // The terminal's own record, never the one before it: its visit,
        // and the steps handed over up to now.
        m_record.visitUid = m_recorder->CurrentVisit();
        m_record.recordMark = m_recorder->Mark();
        m_settling = true;
        m_settleTimer.start(m_recordTiming.unitSettleMs);
        OnRecordProgress();
        return;
    }
    CompleteUnit();
}

void CPortRun::OnRecordProgress()
{
    if (!m_settling)
        return;
    // A writer stuck on an earlier step will not be done in time: no wait.
    if (m_recorder->Outcome(m_record.visitUid, m_record.recordMark).settled || m_recorder->IsStalled())
        CompleteUnit();
}

void CPortRun::RefreshRecord(UnitRecord& record) const
{
    if (!m_recorder || record.visitUid.isEmpty())
        return;
    const CRecordWriter::Outcome outcome = m_recorder->Outcome(record.visitUid, record.recordMark);
    record.recordPending = outcome.pending;
    record.recordId = outcome.snapshotId;
    record.snapshot = outcome.snapshotNumber;
}

void CPortRun::TakeRecordOutcome()
{
    RefreshRecord(m_record);
    const CRecordWriter::Outcome outcome = m_recorder->Outcome(m_record.visitUid, m_record.recordMark);
    // Said in the terminal's own log, after its last line.
    if (outcome.pending)
        m_console->AppendLog(RecordLines::VisitPending(m_recorder->OutboxPath(), m_recorder->Target()));
    else if (outcome.snapshotId > 0)
        m_console->AppendLog(RecordLines::VisitWritten(outcome.deviceKey, outcome.snapshotNumber));
}

void CPortRun::CompleteUnit()
{
    if (m_settling) {
        m_settling = false;
        m_settleTimer.stop();
        TakeRecordOutcome();
    }
    emit unitFinished(m_record);
    if (m_finished)
        return;
    if (m_command.repeat && !m_stopping && m_device->IsPortOpen())
        BeginUnit();
    else
        Finish();
}

void CPortRun::Finish()
{
    // A terminal's end waits for its record; it finishes the run then.
    if (m_finished || m_settling)
        return;
    m_finished = true;
    m_powerOnTimer.stop();
    emit finished();
}
