#include "terminal/CCommTerminal.h"

#include "logpane/CLogPane.h"
#include "terminal/CTerminalPanel.h"
#include "device/CDeviceController.h"
#include "device/CLineWriter.h"
#include "params/GbkText.h"
#include "terminal/CCommandLibraryDlg.h"

#include <QShortcut>

CCommTerminal::CCommTerminal(CDeviceController& device, CLineWriter& writer, CTerminalPanel& panel, CLogPane& pane,
                             Hooks hooks, QObject* parent)
    : QObject(parent),
      m_device(device),
      m_writer(writer),
      m_panel(panel),
      m_pane(pane),
      m_hooks(std::move(hooks)),
      m_runner([this](const QByteArray& bytes) { return Send(bytes); },
               [this](const QString& line) { m_hooks.log(line, nullptr); })
{
    m_panel.SetPacketGapMs(m_device.CommGatherMs());
    connect(&m_panel, &CTerminalPanel::timeStampsChanged, this, &CCommTerminal::OnTimeStampsChanged);
    connect(&m_panel, &CTerminalPanel::packetGapChanged, this, &CCommTerminal::ApplyGathering);
    connect(&m_panel, &CTerminalPanel::displayPausedChanged, &m_pane, &CLogPane::SetDisplayPaused);
    connect(&m_panel, &CTerminalPanel::captureClicked, this, &CCommTerminal::OnCaptureClicked);
    m_device.SetReceivedBytesObserver([this](const QByteArray& bytes) { OnReceivedBytes(bytes); });
    connect(&m_panel, &CTerminalPanel::libraryCommandChosen, this, &CCommTerminal::SendLibraryCommand);
    connect(&m_panel, &CTerminalPanel::librarySequenceChosen, this, &CCommTerminal::RunSequence);
    connect(&m_panel, &CTerminalPanel::sequenceStopClicked, this, &CCommTerminal::StopSequence);
    connect(&m_panel, &CTerminalPanel::libraryEditRequested, this, &CCommTerminal::ShowLibraryEditor);
    connect(&m_runner, &CSequenceRunner::finished, this, [this] { m_panel.ShowSequenceRunning(false); });
    m_panel.SetTimedWriter([this](const QByteArray& bytes) { return SendTimed(bytes); });
    connect(&m_panel, &CTerminalPanel::timedSendStarted, this, [this] {
        m_timedSendEnd = m_writer.EndMark();
        m_tooSlowSaid = false;
    });
    OpenLibrary();
    CreateShortcuts();
}

void CCommTerminal::OpenLibrary()
{
    QString notice;
    if (!m_library.OpenFile(&notice))
        m_hooks.log(notice, nullptr);
    ShowLibraryInPanel();
}

void CCommTerminal::ShowLibraryInPanel()
{
    QList<CTerminalPanel::LibraryItem> items;
    for (const TerminalCommand& command : m_library.Commands()) {
        const QString label = command.shortcut > 0
                                  ? QStringLiteral("%1  (Ctrl+%2)").arg(command.name).arg(command.shortcut)
                                  : command.name;
        items.append({label, command.name, false});
    }
    for (const CommandSequence& sequence : m_library.Sequences())
        items.append({QStringLiteral("序列：") + sequence.name, sequence.name, true});
    m_panel.SetLibraryItems(items);
}

void CCommTerminal::CreateShortcuts()
{
    // On the panel, so they work only while communication mode shows it;
    // with Ctrl, so digits typed to the terminal stay digits.
    for (int key = 1; key <= CCommandLibrary::kMaxShortcut; ++key) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + key)), &m_panel);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] { OnShortcut(key); });
    }
}

void CCommTerminal::OnShortcut(int key)
{
    if (const TerminalCommand* command = m_library.CommandForShortcut(key))
        SendLibraryCommand(command->name);
}

bool CCommTerminal::SendLibraryCommand(const QString& name)
{
    const TerminalCommand* command = m_library.FindCommand(name);
    if (!command)
        return false;
    Send(CCommandLibrary::Frame(*command));
    return true;
}

bool CCommTerminal::RunSequence(const QString& name)
{
    const CommandSequence* sequence = m_library.FindSequence(name);
    if (!sequence || !m_runner.Start(*sequence, m_library))
        return false;
    m_panel.ShowSequenceRunning(true);
    return true;
}

void CCommTerminal::StopSequence()
{
    if (m_runner.IsRunning())
        m_runner.Stop();
}

void CCommTerminal::OnPortClosed()
{
    if (m_runner.IsRunning())
        m_runner.OnPortClosed();
}

CCommandLibraryDlg* CCommTerminal::ShowLibraryEditor()
{
    if (!m_libraryEditor) {
        m_libraryEditor = new CCommandLibraryDlg(m_library, m_panel.window());
        m_libraryEditor->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_libraryEditor, &QObject::destroyed, this, [this] {
            m_libraryEditor = nullptr;
            ShowLibraryInPanel();
        });
        connect(m_libraryEditor, &QDialog::finished, this, &CCommTerminal::ShowLibraryInPanel);
        connect(m_libraryEditor, &CCommandLibraryDlg::sendCommandRequested, this, &CCommTerminal::SendLibraryCommand);
        connect(m_libraryEditor, &CCommandLibraryDlg::runSequenceRequested, this, &CCommTerminal::RunSequence);
    }
    m_libraryEditor->show();
    m_libraryEditor->raise();
    m_libraryEditor->activateWindow();
    return m_libraryEditor;
}

CCommTerminal::~CCommTerminal()
{
    m_device.SetReceivedBytesObserver({});
}

int CCommTerminal::Send(const QByteArray& bytes)
{
    if (!bytes.isEmpty() && m_device.IsPortOpen() && !m_writer.HasRoomFor(bytes.size())) {
        if (!m_queueFullSaid)
            m_hooks.log(QStringLiteral("发送队列放不下：已有 %1 字节等待发送，上限 %2 MB，这次的 %3 字节没有发送")
                            .arg(m_writer.Pending())
                            .arg(CLineWriter::kMaxPendingBytes / (1024 * 1024))
                            .arg(bytes.size()),
                        nullptr);
        m_queueFullSaid = true;
        return 0;
    }
    // The time of the send is taken before the writer has the bytes: a
    // quick echo can be read before Send returns, and it answers this send.
    const CommTimeStamps::Now sentAt = Now();
    const int taken = m_writer.Send(bytes);
    if (taken > 0)
        m_queueFullSaid = false;
    if (taken > 0 && m_panel.IsTimeStamps())
        m_hooks.log(m_stamps.SentPrefix(sentAt) + SentText(bytes), nullptr);
    return taken;
}

int CCommTerminal::SendTimed(const QByteArray& bytes)
{
    // A period shorter than the line needs for one send would pile sends
    // up without end, and typed keys would wait behind all of them.
    if (!m_writer.IsDone(m_timedSendEnd)) {
        if (!m_tooSlowSaid)
            m_hooks.log(QStringLiteral("定时发送：串口太慢，%1 ms 内发不完一次的数据，上一次没发完时跳过本次发送")
                            .arg(m_panel.TimedSendIntervalMs()),
                        nullptr);
        m_tooSlowSaid = true;
        return 0;
    }
    const int taken = Send(bytes);
    if (taken > 0)
        m_timedSendEnd = m_writer.EndMark();
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
        m_hooks.logReceived(entry.hex ? QString() : entry.text, entry.hex ? &entry.text : nullptr);
        return;
    }
    const QString prefix = m_stamps.ReceivedPrefix(entry.firstByte, Now());
    if (entry.hex)
        m_hooks.logReceived(prefix, &entry.text);
    else
        m_hooks.logReceived(prefix + entry.text, nullptr);
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
    if (m_runner.IsRunning())
        m_runner.OnReceived(bytes);
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
