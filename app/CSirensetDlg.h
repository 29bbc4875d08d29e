#pragma once

#include "app/WindowTiming.h"
#include "dailylog/DailyLogLimits.h"
#include "device/CDeviceController.h"
#include "device/CLineWriter.h"
#include "device/IDeviceView.h"
#include "device/Timing.h"
#include "profiles/ProfileCheck.h"

#include <QDateTime>
#include <QDialog>
#include <QTemporaryDir>
#include <QList>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class CAdminNoDlg;
class CClockGroup;
class CPortList;
class CProfileBar;
class CWindowProfile;
class CWindowRecords;
class CRecorderTap;
class CPortReconnect;
class CWindowLog;
class CCommTerminal;
class CSendHistory;
class CConfigFile;
class CFileModeBar;
class CNumberCommands;
class CSignalMeter;
class CParameterSaver;
class CBackNoDlg;
class CLogPane;
class CLrmNoDlg;
class CNumberPage;
class CParameterTable;
class CTabSheet;
class CTerminalPanel;
class CPortCombo;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class CVisitRecorder;

// What the command line (or a test) asks of the main window.
struct MainWindowOptions {
    // Devices to list first (a simulator's pseudo-terminal, /dev/rfcomm0, ...);
    // start-up opens the first entry of the list.
    QStringList extraPorts;
    // Also list the machine's own serial devices (tests turn it off to see
    // the window on a machine without ports).
    bool listSystemPorts = true;
    // Also print every log entry on standard output (offscreen demo).
    bool logToStdout = false;
    // Start as a serial terminal: communication mode is chosen before the
    // port opens, so nothing (no 's' of the power-on catch) is written to a
    // line that carries data. hexDisplay ticks 十六进制显示.
    bool communicationMode = false;
    bool hexDisplay = false;
    // Ticks 时间戳.
    bool timeStamps = false;
    // Sees every log entry as it is shown (tests, batch runs).
    std::function<void(const QString&)> logObserver;
    Timing timing;
    WindowTiming windowTiming;
    // Folder of the service record, logs/yyyy-MM-dd.log under it; empty:
    // the application's data folder (CDailyLogFile::DefaultFolder()).
    QString logFolder;
    // How much of it is kept on disk.
    DailyLogLimits logLimits;
    // The time given to each log entry; empty: the computer's clock (tests
    // pass midnight with it).
    std::function<QDateTime()> now;
    // The service record (设备档案): kept unless turned off, in `recordDatabase`
    // (a file or a postgresql:// address; empty: the default file).
    bool record = true;
    QString recordDatabase;
    // Called with the location chosen in 设备档案 (the application keeps it
    // for the next start); empty: not kept.
    std::function<void(const QString&)> recordLocationChosen;
    // The project profile every read-back is checked against (--profile,
    // or the one chosen last); empty: none. A refused one is logged.
    QString profileFile;
    // Called with the profile the user chose in the window (the
    // application keeps it for the next start); empty: not kept.
    std::function<void(const QString&)> profileChosen;
};

// The main window: every control of the tool, the log pane, and the view
// the device side reports to. Owns the device controller.
class CSirensetDlg : public QDialog, private IDeviceView {
    Q_OBJECT
public:
    explicit CSirensetDlg(const MainWindowOptions& options = {}, QWidget* parent = nullptr);
    ~CSirensetDlg() override;

    CDeviceController& Device() { return m_device; }
    CLogPane* LogPane() const { return m_logEdit; }
    CParameterTable* ParameterTable() const { return m_paramList; }
    // The service record's recorder (nullptr without a record).
    CVisitRecorder* Recorder() const { return m_recorder.get(); }
    CParameterSaver& Saver() { return *m_saver; }
    // The view the device side reports to (tests call its hooks directly).
    IDeviceView& View() { return *this; }
    // The file the log entries of today go to (empty before the first).
    QString LogFilePath() const;
    // 自动重连 is looking for the lost port to come back.
    bool IsWatchingForPort() const;
    // Logs from any thread (kept in order with the device side's lines).
    void PostLog(const QString& line) { m_device.PostLog(line); }
    void SetBusy(bool busy) override;
    // The thirteen command buttons, in a fixed order.
    QList<QPushButton*> CommandButtons() const { return m_commandButtons; }
    CProfileBar* ProfileBar() const;
    // The last check of a read-back against the project profile.
    const std::optional<ProfileCheckResult>& LastProfileCheck() const;

signals:
    // Every check of a read-back against the project profile, once its
    // lines are logged and its rows marked: where a check's result is
    // handed on (to the service record).
    void profileChecked(const ProfileCheckResult& check);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // IDeviceView
    void AppendLog(const QString& line) override;
    void AppendReceivedEntry(const ReceivedEntry& entry) override;
    void SetRestartEnabled(bool enabled) override;
    void SetCommunicationRadioEnabled(bool enabled) override;
    void ShowPortClosed() override;
    void ShowMessage(const QString& text) override;
    QString CellText(int row, int column) override;
    void SetCellText(int row, int column, const QString& text) override;
    void LockCell(int row, int column) override;
    void ClearNumberPage(int category) override;
    void AppendNumberRow(int category, const QString& number) override;
    QStringList NumberRows(int category) override;
    QStringList TickedNumbers(int category) override;
    void ShowSaveProgress(int done, int total) override;
    void ShowVerifyResult(const QString& summary, const QStringList& mismatches) override;
    bool ConfirmFileChanges(const QStringList& changes) override;
    bool ChooseFileChanges(const QStringList& changes, std::vector<bool>& ticked) override;
    CNumberPage* NumberPage(int category) const;
    QWidget* CreateFileModeBar();
    QString AskCaptureFile();

    void CreateControls();
    QWidget* CreateParameterTable();
    QLayout* CreateNumberArea();
    QLayout* CreateModeAndPortGroups();
    QLayout* CreateDeviceCommands();
    QBoxLayout* CreateLogArea();
    QLayout* CreateNoteArea();
    void SetTabOrder();
    QSize InitialSize() const;
    void ConnectControls();
    void Initialise();

    void OnOpenClicked();
    void OnClearLog();
    void OnConfigurationModeClicked();
    void OnCommunicationModeClicked();
    void OnRestartClicked();
    void OnSignalMeterClicked();
    void OnSaveToFileClicked();
    void OnLoadFromFileClicked();
    // 设备档案: the record's dialog, and its 恢复到此版本 through the path of
    // 从文件配置.
    void OnHexDisplayToggled(bool on);
    void OnSaveLogRequested();
    void ShowAbout();

    QWidget* CreateProfileBar();

    void ShowConfigurationLayout();
    void ShowCommunicationLayout();
    void SetPortControlsForOpen(bool open);

    MainWindowOptions m_options;
    CDeviceController m_device;
    // Typed keys, pastes and panel sends, in order, paced at the line's speed.
    std::unique_ptr<CLineWriter> m_lineWriter;
    // Time stamps, packets, pause and capture of communication mode.
    std::unique_ptr<CCommTerminal> m_commTerminal;
    // What 发送 sent, for Up/Down and the drop-down; kept across runs.
    std::unique_ptr<CSendHistory> m_sendHistory;
    // 信号监测: polls the signal quality while the antenna is placed.
    std::unique_ptr<CSignalMeter> m_signalMeter;
    std::shared_ptr<CVisitRecorder> m_recorder;
    // Procedures that register their tasks with the device side; they live
    // as long as the worker that runs them.
    std::unique_ptr<CParameterSaver> m_saver;
    std::unique_ptr<CConfigFile> m_configFile;
    std::unique_ptr<CNumberCommands> m_numberCommands;

    CParameterTable* m_paramList = nullptr;
    CFileModeBar* m_fileBar = nullptr;  // a configuration file shown in the table
    // Between the device side and the record: keeps the entry's module
    // reply and the last report read, for the profile's checks.
    std::shared_ptr<CRecorderTap> m_tap;
    // The project profile: its bar, the check after each read-back, its
    // marks and 按规范修正.
    std::unique_ptr<CWindowProfile> m_profile;
    // The pages belong to the window, not to the tab sheet that shows them.
    std::unique_ptr<CAdminNoDlg> m_adminPage;
    std::unique_ptr<CLrmNoDlg> m_authorisedPage;
    std::unique_ptr<CBackNoDlg> m_backupPage;
    CTabSheet* m_tabSheet = nullptr;
    QRadioButton* m_configRadio = nullptr;
    QRadioButton* m_commRadio = nullptr;
    QPushButton* m_restartButton = nullptr;
    CPortCombo* m_portCombo = nullptr;
    QComboBox* m_baudCombo = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_readBackButton = nullptr;
    QPushButton* m_powerTestButton = nullptr;
    QPushButton* m_saveFileButton = nullptr;
    QPushButton* m_loadFileButton = nullptr;
    QPushButton* m_factoryButton = nullptr;
    QPushButton* m_versionButton = nullptr;
    QPushButton* m_statusButton = nullptr;
    QPushButton* m_signalButton = nullptr;
    QCheckBox* m_verifyCheck = nullptr;
    QProgressBar* m_saveProgress = nullptr;
    QCheckBox* m_autoReconnectCheck = nullptr;
    CClockGroup* m_clockGroup = nullptr;
    CLogPane* m_logEdit = nullptr;
    QPushButton* m_clearButton = nullptr;
    CTerminalPanel* m_terminalPanel = nullptr;
    QLabel* m_note = nullptr;
    QToolButton* m_aboutButton = nullptr;
    QPushButton* m_recordsButton = nullptr;
    // Where the record is kept now (the dialog may change it).
    std::unique_ptr<CWindowRecords> m_records;
    // Where a snapshot to restore is written for the file load to read.
    QTemporaryDir m_restoreFolder;

    QList<QPushButton*> m_commandButtons;

    // Where log entries go: the pane, the daily log, observers.
    std::unique_ptr<CWindowLog> m_log;
    // Wakes the record's writer to write out what waits in the outbox.
    QTimer m_outboxRetryTimer;
    // What the port list offers, and 自动重连 of a lost port.
    std::unique_ptr<CPortList> m_portList;
    std::unique_ptr<CPortReconnect> m_reconnect;
};
