#include "app/CCommTerminal.h"

#include "app/CLogPane.h"
#include "app/CTerminalPanel.h"
#include "device/CDeviceController.h"
#include "device/CLineWriter.h"
#include "params/GbkText.h"

CCommTerminal::CCommTerminal(CDeviceController& device, CLineWriter& writer, CTerminalPanel& panel, CLogPane& pane,
                             Hooks hooks, QObject* parent)
    : QObject(parent), m_device(device), m_writer(writer), m_panel(panel), m_pane(pane), m_hooks(std::move(hooks))
{
    m_panel.SetPacketGapMs(m_device.CommGatherMs());
    connect(&m_panel, &CTerminalPanel::timeStampsChanged, this, &CCommTerminal::OnTimeStampsChanged);
    connect(&m_panel, &CTerminalPanel::packetGapChanged, this, &CCommTerminal::ApplyGathering);
    connect(&m_panel, &CTerminalPanel::displayPausedChanged, &m_pane, &CLogPane::SetDisplayPaused);
    connect(&m_panel, &CTerminalPanel::captureClicked, this, &CCommTerminal::OnCaptureClicked);
    m_device.SetReceivedBytesObserver([this](const QByteArray& bytes) { OnReceivedBytes(bytes); });
}

CCommTerminal::~CCommTerminal()
{
    m_device.SetReceivedBytesObserver({});
}

int CCommTerminal::Send(const QByteArray& bytes)
{
    const int taken = m_writer.Send(bytes);
    if (taken > 0 && m_panel.IsTimeStamps())
        m_hooks.log(m_stamps.SentPrefix(Now()) + SentText(bytes), nullptr);
    return taken;
}

QString CCommTerminal::SentText(const QByteArray& bytes) const
{
    if (m_panel.IsHexDisplay())
        return QString::fromLatin1(bytes.toHex(' '));
    return GbkToUnicode(bytes);
}

void CCommTerminal::ShowReceived(const ReceivedEntry& entry)
{
    if (!m_panel.IsTimeStamps()) {
        m_hooks.log(entry.hex ? QString() : entry.text, entry.hex ? &entry.text : nullptr);
        return;
    }
    const QString prefix = m_stamps.ReceivedPrefix(entry.firstByte, Now());
    if (entry.hex) {
        m_hooks.log(prefix, &entry.text);
        return;
    }
    m_hooks.log(prefix + entry.text, nullptr);
}

CommTimeStamps::Now CCommTerminal::Now() const
{
    return {m_hooks.now ? m_hooks.now() : QDateTime::currentDateTime(), std::chrono::steady_clock::now()};
}

void CCommTerminal::OnTimeStampsChanged(bool on)
{
    m_stamps.Reset();
    ApplyGathering();
}

void CCommTerminal::ApplyGathering()
{
    // With time stamps an entry is a packet: it ends when the line has
    // been quiet for the gap, so a reply is not cut by the gathering time.
    m_device.SetCommGathering(m_panel.PacketGapMs(), m_panel.IsTimeStamps());
}

void CCommTerminal::OnReceivedBytes(const QByteArray& bytes)
{
    if (!m_capture.IsRunning())
        return;
    if (!m_capture.Write(bytes)) {
        m_hooks.log(QStringLiteral("保存接收数据失败：%1（%2）").arg(m_capture.Path(), m_capture.Problem()), nullptr);
        m_panel.ShowCaptureRunning(false);
    }
}

void CCommTerminal::OnCaptureClicked(bool start)
{
    if (!start) {
        StopCapture();
        return;
    }
    const QString path = m_hooks.askCaptureFile ? m_hooks.askCaptureFile() : QString();
    if (path.isEmpty())
        return;
    QString why;
    if (!m_capture.Start(path, &why)) {
        m_hooks.log(QStringLiteral("保存接收数据失败：%1（%2）").arg(path, why), nullptr);
        return;
    }
    m_panel.ShowCaptureRunning(true, path);
    m_hooks.log(QStringLiteral("开始保存接收数据到 %1").arg(path), nullptr);
}

void CCommTerminal::StopCapture()
{
    if (!m_capture.IsRunning())
        return;
    m_capture.Stop();
    m_panel.ShowCaptureRunning(false);
    const QString problem = m_capture.Problem();
    if (problem.isEmpty())
        m_hooks.log(QStringLiteral("停止保存接收数据：%1，共 %2 字节").arg(m_capture.Path()).arg(m_capture.BytesWritten()),
                    nullptr);
    else
        m_hooks.log(QStringLiteral("保存接收数据失败：%1（%2）").arg(m_capture.Path(), problem), nullptr);
}
