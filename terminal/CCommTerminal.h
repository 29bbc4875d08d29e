#pragma once

#include "device/CommTimeStamps.h"
#include "device/CReceiveCapture.h"
#include "device/ReceivedEntry.h"
#include "terminal/CCommandLibrary.h"
#include "terminal/CSequenceRunner.h"

#include <QDateTime>
#include <QObject>

#include <functional>

class CDeviceController;
class CLineWriter;
class CLogPane;
class CTerminalPanel;
class CCommandLibraryDlg;

// The technician's serial terminal of communication mode, beyond the
// panel's own sending: time stamps and packets, the display pause, the
// capture of received bytes, and the command library with its shortcut
// keys (Ctrl+1…9) and sequences. Owned by the main window; UI thread.
class CCommTerminal : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Logs one entry as the window logs any entry (pane, daily log,
        // observers). With `hexBody` the entry is `line` + *hexBody, and the
        // pane draws the hex in its columns after `line`.
        std::function<void(const QString& line, const QString* hexBody)> log;
        // The same for an entry of received data.
        std::function<void(const QString& line, const QString* hexBody)> logReceived;
        // The wall clock of the log (tests fix it).
        std::function<QDateTime()> now;
        // Asks for the capture file (empty: cancelled).
        std::function<QString()> askCaptureFile;
    };

    CCommTerminal(CDeviceController& device, CLineWriter& writer, CTerminalPanel& panel, CLogPane& pane,
                  Hooks hooks, QObject* parent = nullptr);
    ~CCommTerminal() override;

    // Everything the technician sends (panel, typed keys, library): put on
    // the line in order and, with 时间戳, shown as sent. Bytes taken (none,
    // with one log line, when the line's queue has no room for them).
    int Send(const QByteArray& bytes);
    // A tick of 定时发送: skipped while the previous tick's bytes still wait
    // for the line, which is then said once per run of 定时发送.
    int SendTimed(const QByteArray& bytes);
    // A received entry from the device side.
    void ShowReceived(const ReceivedEntry& entry);
    // Ends the capture (window closing, port closed by the user: the file
    // stays as far as it got).
    void StopCapture();
    bool IsCapturing() const { return m_capture.IsRunning(); }
    const CReceiveCapture& Capture() const { return m_capture; }

    CCommandLibrary& Library() { return m_library; }
    // Sends the library's command `name` as framed (false: no such command).
    bool SendLibraryCommand(const QString& name);
    bool RunSequence(const QString& name);
    bool IsSequenceRunning() const { return m_runner.IsRunning(); }
    // The line is closed or leaves communication mode: a running sequence
    // ends (failed at once / stopped).
    void OnPortClosed();
    void StopSequence();
    // 命令库…: the editor, one at a time, beside the window.
    CCommandLibraryDlg* ShowLibraryEditor();

private:
    void OnReceivedBytes(const QByteArray& bytes);
    void OnTimeStampsChanged(bool on);
    void ApplyGathering();
    void OnCaptureClicked(bool start);
    CommTimeStamps::Now Now() const;
    QString SentText(const QByteArray& bytes) const;
    void OpenLibrary();
    void ShowLibraryInPanel();
    void CreateShortcuts();
    void OnShortcut(int key);

    CDeviceController& m_device;
    CLineWriter& m_writer;
    CTerminalPanel& m_panel;
    CLogPane& m_pane;
    Hooks m_hooks;
    CommTimeStamps m_stamps;
    CReceiveCapture m_capture;
    CCommandLibrary m_library;
    CSequenceRunner m_runner;
    CCommandLibraryDlg* m_libraryEditor = nullptr;
    // The line writer's mark at the end of the last timed send.
    qint64 m_timedSendEnd = 0;
    bool m_tooSlowSaid = false;
    // A full queue is said once until it takes bytes again.
    bool m_queueFullSaid = false;
};
