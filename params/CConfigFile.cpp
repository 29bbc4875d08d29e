#include "params/CConfigFile.h"

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"

#include <QFile>
#include <QSaveFile>

#include <memory>

namespace {

// Whole-list commands and their log lines, by category.
struct ListCommand {
    const char* prefix;
    const char* success;
    const char* failure;
};
const ListCommand kListCommands[3] = {
    {"AT+LRMSETADMINNO=", "重置管理号码成功", "重置管理号码失败"},
    {"AT+LRMSETLRMNO=", "重置授权号码成功", "重置授权号码失败"},
    {"AT+LRMSETBKNO=", "重置备份号码成功", "重置备份号码失败"},
};

// How much of a file is looked at: enough for kMaxReportBytes of report
// text whatever its line ends.
constexpr qint64 kMaxFileBytes = 4 * CConfigFile::kMaxReportBytes;

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
    QByteArray text;
    text.reserve(report.size() + report.count('\n'));
    for (const char c : report) {
        if (c == '\n')
            text.append('\r');
        text.append(c);
    }
    return text;
}

QByteArray CConfigFile::FromFileText(const QByteArray& fileBytes)
{
    QByteArray text;
    text.reserve(qMin<qsizetype>(fileBytes.size() + 64, kMaxReportBytes));
    const qsizetype size = fileBytes.size();
    for (qsizetype i = 0; i < size && text.size() < kMaxReportBytes; ++i) {
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
    text.truncate(kMaxReportBytes);
    return text;
}

// ---------------------------------------------------------------- save

void CConfigFile::SaveConfigFile(const QString& path)
{
    m_lastSaveSucceeded = false;
    const bool replied =
        m_device.ExchangeCommand(ReplyChannel::FullReport, "AT+SHOW\r", m_device.timing().queryReplyMs);
    const QByteArray report = m_device.ReceivedText();
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
    if (!WriteFile(path, report)) {
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

    // The file's set is private to this task: no lock.
    auto fileSet = std::make_unique<ParameterSet>();
    ClearParameterSet(*fileSet);
    if (!ParseParameterReport(text.constData(), static_cast<std::size_t>(text.size()), *fileSet)) {
        m_device.PostLog(QStringLiteral("参数加载失败"));
        m_device.PostSetBusy(false);
        return;
    }

    m_device.CallOnUi([this] {
        for (int category = 0; category < 3; ++category)
            m_device.View().ClearNumberPage(category);
    });
    const NumberList* lists[3] = {&fileSet->adminNumbers, &fileSet->authorisedNumbers, &fileSet->backupNumbers};
    for (int category = 0; category < 3; ++category) {
        if (!SetNumberList(category, lists[category]->NonEmptyNumbers())) {
            m_device.PostSetBusy(false);
            return;
        }
    }

    m_device.ShowParameterSet(*fileSet, false);
    if (m_device.PostTask(TaskCode::SaveAll)) {
        m_device.PostLog(QStringLiteral("参数保存中，请等待..."));
        return;
    }
    m_device.PostLog(QStringLiteral("参数保存失败"));
    m_device.PostSetBusy(false);
}

bool CConfigFile::SetNumberList(int category, const std::vector<std::string>& numbers)
{
    QByteArray command = kListCommands[category].prefix;
    QStringList shown;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            command.append(',');
        command.append(numbers[i].data(), static_cast<qsizetype>(numbers[i].size()));
        shown << GbkToUnicode(numbers[i]);
    }
    command.append('\r');
    m_device.CallOnUi([&] {
        for (const QString& number : shown)
            m_device.View().AppendNumberRow(category, number);
    });
    const ListCommand& list = kListCommands[category];
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, command, m_device.timing().queryReplyMs)) {
        m_device.PostLog(QString::fromUtf8(list.success));
        return true;
    }
    m_device.PostLog(QString::fromUtf8(list.failure));
    return false;
}
