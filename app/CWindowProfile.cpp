#include "app/CWindowProfile.h"

#include "app/CProfileBar.h"
#include "controls/MessageBoxes.h"
#include "device/CDeviceController.h"
#include "device/CRecorderTap.h"
#include "device/DeviceTask.h"
#include "params/CChangePreviewDlg.h"
#include "params/CConfigFile.h"
#include "params/CFileModeBar.h"
#include "params/CParameterSaver.h"
#include "params/CParameterTable.h"
#include "params/GbkText.h"
#include "profiles/ConformPlan.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <mutex>
#include <utility>

CWindowProfile::CWindowProfile(std::shared_ptr<CRecorderTap> tap, QObject* parent)
    : QObject(parent), m_tap(std::move(tap))
{
}

CProfileBar* CWindowProfile::CreateBar(QWidget* parent, std::function<void(const QString&)> chosen)
{
    m_bar = new CProfileBar(parent);
    m_bar->setObjectName(QStringLiteral("profileBar"));
    connect(m_bar, &CProfileBar::profileChosen, this, [chosen = std::move(chosen)](const QString& path) {
        if (chosen)
            chosen(path);
    });
    // Another profile: the terminal last read is checked against it at once.
    connect(m_bar, &CProfileBar::profileChanged, this, &CWindowProfile::CheckAgain);
    connect(m_bar, &CProfileBar::conformRequested, this, &CWindowProfile::OnConformRequested);
    return m_bar;
}

void CWindowProfile::LoadStartProfile(const QString& file)
{
    if (file.isEmpty())
        return;
    // No box before the window is up: the log says why none is in use.
    if (const std::optional<QString> refusal = m_bar->LoadProfile(file))
        m_parts.log(QStringLiteral("未使用项目配置规范：") + *refusal);
}

void CWindowProfile::NoteLogLine(const QString& line)
{
    // A report read and parsed, by the entry, 参数回读 or 保存配置到文件: the
    // end of its task checks it against the project profile.
    if (line == QStringLiteral("参数加载完成...") || line == QStringLiteral("参数保存到文件成功..."))
        m_reportLoaded = true;
}

void CWindowProfile::OnTaskFinished(int code)
{
    const bool loaded = std::exchange(m_reportLoaded, false);
    if (code == TaskCode::LoadConfigFile)
        EndConformLoad();
    bool readBack = false;
    switch (code) {
    case TaskCode::EnterConfiguration:
    case TaskCode::ReadBack:
    case TaskCode::FactoryReset:
    case TaskCode::SaveConfigFile:
        readBack = loaded;
        break;
    case TaskCode::SaveAll: {
        // The verification's read-back is checked as every read is.
        const CParameterSaver::Outcome outcome = m_parts.saver->LastOutcome();
        readBack = outcome.verified && !outcome.readBackFailed;
        break;
    }
    default:
        break;
    }
    if (readBack)
        CheckReadBack();
}

void CWindowProfile::CheckReadBack()
{
    // The values as the device side read them (the table may hold edits).
    auto set = std::make_unique<ParameterSet>();
    {
        std::lock_guard guard(m_parts.device->ParamLock());
        *set = m_parts.device->Params();
    }
    m_checkedSet = std::move(set);
    const std::optional<QByteArray> module = m_tap->ModuleReply();
    m_checkedModule = module ? std::optional<QString>(GbkToUnicode(*module)) : std::nullopt;
    m_checkingReadBack = true;
    CheckAgain();
    m_checkingReadBack = false;
}

TerminalFacts CWindowProfile::CheckedFacts() const
{
    return TerminalFacts{m_checkedSet.get(), m_checkedModule, {}};
}

void CWindowProfile::CheckAgain()
{
    const std::shared_ptr<const ProjectProfile> profile = m_bar->Profile();
    if (!profile || !m_checkedSet) {
        m_lastCheck.reset();
        MarkDeviations();
        m_bar->ShowCheck(nullptr);
        return;
    }
    m_lastCheck = CheckAgainstProfile(*profile, CheckedFacts(), QDate::currentDate());
    // After the lines of the read it checks, in order with the device's.
    for (const QString& line : m_lastCheck->LogLines())
        m_parts.log(line);
    MarkDeviations();
    m_bar->ShowCheck(&*m_lastCheck);
    emit profileChecked(*m_lastCheck);
    if (m_checkingReadBack)
        emit readBackChecked(*m_lastCheck);
}

void CWindowProfile::MarkDeviations()
{
    if (!m_parts.table)
        return;
    m_parts.table->ClearMarks();
    const std::shared_ptr<const ProjectProfile> profile = m_bar->Profile();
    if (!m_lastCheck || !profile || m_parts.fileBar->IsFileShown())
        return;
    for (const Deviation& deviation : m_lastCheck->deviations) {
        for (const ProfileRule& rule : profile->rules) {
            if (rule.index == deviation.rule && rule.item)
                m_parts.table->MarkItem(rule.item->row, rule.item->column, deviation.Text(),
                                      deviation.pending ? CParameterTable::PendingMarkBackground()
                                                        : CParameterTable::MarkBackground());
        }
    }
}

void CWindowProfile::OnConformRequested()
{
    const std::shared_ptr<const ProjectProfile> profile = m_bar->Profile();
    if (!profile || !m_lastCheck || !m_checkedSet)
        return;
    const ConformPlan plan = PlanConformance(*profile, *m_lastCheck, CheckedFacts());
    QStringList notes;
    for (const Deviation& deviation : plan.needsPerson)
        notes << deviation.Text();
    if (plan.SendsNothing()) {
        MessageBoxes::Show(m_parts.window,
                           QStringLiteral("没有可以按规范改正的项，以下 %1 项需人工处理：\n\n").arg(notes.size())
                               + notes.join(QLatin1Char('\n')),
                           QStringLiteral("按规范修正"), MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Information);
        return;
    }
    QString why;
    const std::optional<QByteArray> bytes = ConformFileBytes(m_tap->LastReport(), m_parts.portName(), plan, &why);
    const QString path = QDir(m_parts.folder).filePath(QStringLiteral("conform.cfg"));
    QFile file(path);
    if (bytes && (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*bytes) != bytes->size()))
        why = QStringLiteral("无法写入临时文件：%1").arg(file.errorString());
    file.close();
    if (!bytes || !why.isEmpty()) {
        m_parts.log(QStringLiteral("按规范修正失败：") + why);
        return;
    }
    // The load of the terminal's own report with the deviations typed
    // over it, sending only what changes: the path of 从文件配置, with its
    // preview, its save and its verification.
    m_parts.configFile->SetOverrides(plan.items);
    m_parts.configFile->SetChangeFilter(ChangeFilter{{}, {}, true});
    m_conformNotes = notes;
    m_conformPending = true;
    m_parts.log(QStringLiteral("按规范修正：%1 项参数，%2 个号码列表").arg(plan.items.size()).arg(plan.lists.size()));
    m_parts.configFile->RequestLoad(path);
}

void CWindowProfile::EndConformLoad()
{
    // 从文件配置 afterwards loads its file as it stands.
    if (!m_conformPending)
        return;
    m_conformPending = false;
    m_conformNotes.clear();
    m_parts.configFile->SetOverrides({});
    m_parts.configFile->SetChangeFilter({});
}

bool CWindowProfile::ChooseConformChanges(const QStringList& changes, std::vector<bool>& ticked)
{
    // 按规范修正: the deviations a value puts right, ticked, and under
    // them what needs a person.
    CChangePreviewDlg::Extras extras;
    extras.title = QStringLiteral("按规范修正");
    extras.heading = QStringLiteral("按规范修正将修改以下 %1 项：").arg(changes.size());
    extras.notesHeading = QStringLiteral("需人工处理（不会发送）：");
    extras.notes = m_conformNotes;
    EndConformLoad();
    // The load's lines name the file's value; here the value comes from
    // the profile (the ticks go by position, the texts are only shown).
    QStringList shown;
    for (QString line : changes)
        shown << line.replace(QStringLiteral("”，文件“"), QStringLiteral("”，按规范改为“"));
    return CChangePreviewDlg::Choose(m_parts.window, shown, ticked, extras);
}
