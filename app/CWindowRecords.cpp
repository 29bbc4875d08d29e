#include "app/CWindowRecords.h"

#include "app/CProfileBar.h"
#include "app/CWindowProfile.h"
#include "controls/MessageBoxes.h"
#include "device/CDeviceController.h"
#include "params/CConfigFile.h"
#include "params/CFileModeBar.h"
#include "params/GbkText.h"
#include "records/CDeviceRecordsDlg.h"
#include "records/CRecordStore.h"
#include "records/CVisitRecorder.h"
#include "resources/Texts.h"

#include <QDir>
#include <QFile>

#include <mutex>
#include <utility>

CWindowRecords::CWindowRecords(QString location, Parts parts, QObject* parent)
    : QObject(parent), m_location(std::move(location)), m_parts(std::move(parts))
{
}

void CWindowRecords::ShowDialog()
{
    QWidget* window = m_parts.window;
    auto* dialog = new CDeviceRecordsDlg(m_location, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The fleet against the profile the window checks terminals with.
    dialog->SetProfile(m_parts.profile->Bar()->Profile());
    connect(dialog, &CDeviceRecordsDlg::restoreRequested, this, &CWindowRecords::RestoreFromRecord);
    connect(dialog, &CDeviceRecordsDlg::openRequested, this, [this](const QString& name, const QByteArray& report) {
        // As 打开配置文件… does: the table shows the snapshot, no terminal needed.
        if (const std::optional<QString> problem = m_parts.fileBar->OpenDocument(report, name))
            MessageBoxes::Show(m_parts.window, *problem);
    });
    connect(dialog, &CDeviceRecordsDlg::locationChosen, this, [this](const QString& location) {
        m_location = location;
        if (m_parts.recorder)
            m_parts.recorder->SetLocation(location);
        if (m_parts.locationChosen)
            m_parts.locationChosen(location);
    });
    dialog->show();
}

QString CWindowRecords::AttachedKey() const
{
    // A terminal is attached when configuration mode has loaded its report.
    CDeviceController& device = *m_parts.device;
    if (!device.IsPortOpen() || !device.IsConfigurationMode() || device.ConfigEntryPending())
        return {};
    QString id;
    QString sim;
    {
        std::lock_guard guard(device.ParamLock());
        id = GbkToUnicode(device.Params().deviceId.View());
        sim = GbkToUnicode(device.Params().simNumber.View());
    }
    DeviceKeyKind kind{};
    if (id.trimmed().isEmpty() && sim.trimmed().isEmpty())
        return {};
    return CRecordStore::DeviceKeyFor(id, sim, &kind);
}

void CWindowRecords::RestoreFromRecord(const QString& deviceKey, const QByteArray& report)
{
    QWidget* window = m_parts.window;
    const QString attachedKey = AttachedKey();
    if (attachedKey.isEmpty()) {
        MessageBoxes::Show(window, QStringLiteral("请先连接设备并进入配置模式，再恢复到此版本"), Texts::AppTitle());
        return;
    }
    if (attachedKey != deviceKey
        && MessageBoxes::Show(window,
                              QStringLiteral("所选快照属于设备 %1，当前连接的是设备 %2。\n仍要用这个快照配置当前设备吗？")
                                  .arg(deviceKey, attachedKey),
                              Texts::AppTitle(), MessageBoxes::Buttons::YesNo, MessageBoxes::Icon::Question)
               != MessageBoxes::Answer::Yes)
        return;
    // Exactly the path of 从文件配置: the file the snapshot makes, loaded.
    const QString path = QDir(m_parts.folder).filePath(QStringLiteral("restore.cfg"));
    QFile file(path);
    const QByteArray bytes = CConfigFile::ToFileText(report);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        MessageBoxes::Show(window, QStringLiteral("无法写入临时文件：%1").arg(file.errorString()), Texts::AppTitle());
        return;
    }
    file.close();
    m_parts.profile->EndConformLoad();
    m_parts.configFile->RequestLoad(path);
}
