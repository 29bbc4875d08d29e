#pragma once

#include "device/TerminalSend.h"

#include <QByteArray>
#include <QGroupBox>
#include <QList>
#include <QTimer>

#include <functional>

class CSerial;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QComboBox;
class QToolButton;
class CSendHistory;

// The small serial terminal of communication mode: a send box sent once by
// 发送 or repeatedly by 定时发送, as text or as hexadecimal bytes, and the
// 十六进制显示 switch of the received-data display. Writes go straight to the
// port on the UI thread: no purge, no reply awaited.
// Below them, the technician's additions: 时间戳 with the packet gap, 暂停显示
// and 保存接收数据…. Each is off at start; the window acts on their signals.
class CTerminalPanel : public QGroupBox {
    Q_OBJECT
public:
    // Puts bytes on the line; returns how many went out. With the port
    // closed it writes nothing, and the panel says nothing either.
    using Writer = std::function<int(const QByteArray&)>;
    // The panel's preferred size in the communication layout, below the
    // log pane; it grows when its texts need more.
    static constexpr QSize kSize{287, 240};

    // With a history, the sends of 发送 are remembered there and come back
    // by Up/Down in the send box or by its drop-down.
    explicit CTerminalPanel(Writer writer, QWidget* parent = nullptr, CSendHistory* history = nullptr);
    // A writer for CSerial::Write.
    static Writer SerialWriter(CSerial& serial);
    // The ticks of 定时发送 write through `writer` instead (it may skip a
    // tick the line has no time for); an empty one gives them back to the
    // panel's writer.
    void SetTimedWriter(Writer writer) { m_timedWriter = std::move(writer); }

    // Ends 定时发送 (timer and check box), e.g. when the user leaves
    // communication mode, so no timed data meets the configuration exchange.
    void StopTimedSend();
    bool IsTimedSendRunning() const { return m_sendTimer.isActive(); }
    int TimedSendIntervalMs() const { return m_sendTimer.interval(); }
    bool IsHexDisplay() const;
    // Ticks or clears 十六进制显示 as a click would (hexDisplayChanged follows).
    void SetHexDisplay(bool on);
    bool IsTimeStamps() const;
    void SetTimeStamps(bool on);
    int PacketGapMs() const;
    void SetPacketGapMs(int ms);
    bool IsDisplayPaused() const;
    void SetDisplayPaused(bool on);
    // The capture button's look: 保存接收数据… or, while a capture runs,
    // 停止保存 with the file's name in its tip.
    void ShowCaptureRunning(bool running, const QString& path = {});
    // What the library row offers: commands first, then sequences.
    struct LibraryItem {
        QString label;
        QString name;
        bool sequence = false;
    };
    void SetLibraryItems(const QList<LibraryItem>& items);
    void ShowSequenceRunning(bool running);
    // Its controls in reading order, for the window's tab order.
    QList<QWidget*> FocusChain() const;
    QSize sizeHint() const override;

signals:
    // The user switched 定时发送 on; its ticks follow.
    void timedSendStarted();
    // 十六进制显示 was switched; received data is shown as hex while on.
    void hexDisplayChanged(bool on);
    // 时间戳 or the packet gap changed.
    void timeStampsChanged(bool on);
    void packetGapChanged(int ms);
    void displayPausedChanged(bool paused);
    // 保存接收数据… (start) or 停止保存 (stop) was clicked.
    void captureClicked(bool start);
    // The command library row: 执行 on a command or a sequence, 停止 while a
    // sequence runs, 命令库… to edit the library.
    void libraryCommandChosen(const QString& name);
    void librarySequenceChosen(const QString& name);
    void sequenceStopClicked();
    void libraryEditRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateDisplayControls();
    void CreateLibraryControls();
    void OnRunClicked();
    // Up (older) / Down (newer) through the history in the send box.
    void StepHistory(int direction);
    void ShowHistoryEntry(int index);
    void FillHistoryMenu();
    void OnSendClicked();
    void OnTimedSendClicked(bool checked);
    void OnSendTimer();
    void SendOnce(TerminalSend::Trigger trigger);

    Writer m_writer;
    Writer m_timedWriter;
    // 定时发送: sends once per period while checked.
    QTimer m_sendTimer;
    QLineEdit* m_sendEdit = nullptr;
    QPushButton* m_sendButton = nullptr;
    QCheckBox* m_appendCrCheck = nullptr;
    QCheckBox* m_hexSendCheck = nullptr;
    QCheckBox* m_hexDisplayCheck = nullptr;
    QCheckBox* m_timedSendCheck = nullptr;
    QLineEdit* m_intervalEdit = nullptr;
    QCheckBox* m_timeStampCheck = nullptr;
    QSpinBox* m_packetGapSpin = nullptr;
    QPushButton* m_pauseButton = nullptr;
    QPushButton* m_captureButton = nullptr;
    bool m_captureRunning = false;
    CSendHistory* m_history = nullptr;
    QToolButton* m_historyButton = nullptr;
    // Where Up/Down stand in the history: -1 is the text being edited.
    int m_historyIndex = -1;
    QComboBox* m_libraryCombo = nullptr;
    QPushButton* m_runButton = nullptr;
    QPushButton* m_libraryButton = nullptr;
    QList<LibraryItem> m_libraryItems;
    bool m_sequenceRunning = false;
};
