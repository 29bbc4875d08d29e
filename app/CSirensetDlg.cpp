#include "app/CSirensetDlg.h"

#include "app/CAboutDlg.h"
#include "app/CClockGroup.h"
#include "app/CPortList.h"
#include "app/CPortReconnect.h"
#include "app/CProfileBar.h"
#include "app/CWindowProfile.h"
#include "app/CWindowRecords.h"
#include "app/CWindowLog.h"
#include "app/PlainButton.h"
#include "params/CChangePreviewDlg.h"
#include "params/CFileModeBar.h"
#include "logpane/CLogPane.h"
#include "app/CPortCombo.h"
#include "terminal/CTerminalPanel.h"
#include "terminal/CCommTerminal.h"
#include "terminal/CSendHistory.h"
#include "signalmeter/CSignalMeter.h"
#include "signalmeter/CSignalMeterDlg.h"
#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
#include "device/CRecorderTap.h"
#include "controls/CComboAccessible.h"
#include "controls/CTabSheet.h"
#include "controls/MessageBoxes.h"
#include "numbers/CAdminNoDlg.h"
#include "numbers/CBackNoDlg.h"
#include "numbers/CLrmNoDlg.h"
#include "numbers/CNumberButtons.h"
#include "numbers/CNumberCommands.h"
#include "params/CConfigFile.h"
#include "params/CParameterSaver.h"
#include "params/CParameterTable.h"
#include "records/CVisitRecorder.h"
#include "records/RecordedCheck.h"
#include "resources/Texts.h"
#include "serial/PortTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

// Below this the log pane and the table stop shrinking; the window's
// minimum size follows from the layouts. It must stay within about
// 1080 x 560, what a 1366 x 768 screen at 125 % leaves beside a taskbar.
constexpr QSize kTableMinimum(420, 150);
constexpr QSize kLogPaneMinimum(287, 120);
// The size the window opens at when the screen has room for it.
constexpr QSize kPreferredSize(1040, 700);
constexpr int kMargin = 5;
constexpr int kSpacing = 5;

const char* const kBaudRates[] = {"9600", "38400", "115200"};
constexpr int kStartupBaudIndex = 2;

}  // namespace

CSirensetDlg::CSirensetDlg(const MainWindowOptions& options, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_device(*this, options.timing),
      m_saver(std::make_unique<CParameterSaver>(m_device)),
      m_configFile(std::make_unique<CConfigFile>(m_device)),
      m_numberCommands(std::make_unique<CNumberCommands>(m_device))
{
    if (options.record) {
        m_recorder = std::make_shared<CVisitRecorder>(options.recordDatabase, QString(),
                                                      [this](const QString& line) { m_device.PostLog(line); });
        // Visits that could not be written wait in the outbox; while the
        // window is open they are tried again now and then, by the writer's
        // own thread.
        m_outboxRetryTimer.setInterval(RecordTiming{}.outboxRetryMs);
        connect(&m_outboxRetryTimer, &QTimer::timeout, this, [this] { m_recorder->Wake(); });
        m_outboxRetryTimer.start();
    }
    // Every step goes on to the record (when there is one) through the tap.
    m_tap = std::make_shared<CRecorderTap>(m_recorder);
    m_device.SetRecorder(m_tap);
    m_profile = std::make_unique<CWindowProfile>(m_tap);
    m_lineWriter = std::make_unique<CLineWriter>(m_device.Serial(), m_options.timing);
    m_signalMeter = std::make_unique<CSignalMeter>(m_device);
    CreateControls();
    m_profile->SetParts(CWindowProfile::Parts{&m_device, m_paramList, m_fileBar, m_configFile.get(), m_saver.get(), this,
                                              m_restoreFolder.path(), [this] { return m_portCombo->currentText(); },
                                              [this](const QString& line) { PostLog(line); }});
    m_records = std::make_unique<CWindowRecords>(
        options.recordDatabase, CWindowRecords::Parts{&m_device, m_fileBar, m_configFile.get(), m_profile.get(), m_recorder,
                                                      this, m_restoreFolder.path(), options.recordLocationChosen});
    m_log = std::make_unique<CWindowLog>(
        *m_logEdit, CWindowLog::Options{options.logObserver, options.logToStdout, options.now, options.logFolder,
                                        options.logLimits});
    CCommTerminal::Hooks hooks;
    hooks.log = [this](const QString& line, const QString* hexBody) { m_log->Entry(line, hexBody); };
    hooks.logReceived = [this](const QString& line, const QString* hexBody) { m_log->Entry(line, hexBody, true); };
    hooks.now = [this] { return m_log->Now(); };
    hooks.askCaptureFile = [this] { return AskCaptureFile(); };
    m_commTerminal = std::make_unique<CCommTerminal>(m_device, *m_lineWriter, *m_terminalPanel, *m_logEdit,
                                                     std::move(hooks));
    ConnectControls();
    Initialise();
}

CSirensetDlg::~CSirensetDlg()
{
    m_reconnect->Stop();
    // Stop the worker while the widgets it reports to still exist.
    m_device.Shutdown();
    // The record's writer gets a bounded time; what it has not written by
    // then waits in the outbox, and the window closes all the same.
    m_outboxRetryTimer.stop();
    if (m_recorder)
        m_recorder->Close(std::chrono::steady_clock::now() + std::chrono::milliseconds(RecordTiming{}.shutdownWaitMs));
}

// ---------------------------------------------------------------- building

void CSirensetDlg::CreateControls()
{
    // Combo boxes named after their labels, here and in the dialogs the
    // window opens.
    CComboAccessible::Install();
    setWindowTitle(Texts::AppTitle());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/sirenset-32.png"));
    icon.addFile(QStringLiteral(":/icons/sirenset-64.png"));
    icon.addFile(QStringLiteral(":/icons/sirenset-128.png"));
    setWindowIcon(icon);

    // Left: the table over a row of control groups. Right, over the whole
    // height: the log pane, then the terminal panel (communication) or the
    // 清空 button (configuration), then the note.
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(kSpacing);
    bottom->addLayout(CreateNumberArea(), 1);
    bottom->addLayout(CreateModeAndPortGroups(), 0);
    bottom->addLayout(CreateDeviceCommands(), 1);
    auto* left = new QVBoxLayout;
    left->setSpacing(kSpacing);
    left->addWidget(CreateParameterTable(), 1);
    left->addLayout(bottom, 0);
    auto* right = CreateLogArea();
    right->addLayout(CreateNoteArea());

    // Over everything: the row that opens a configuration file and, while
    // one is shown, says so.
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    root->setSpacing(kSpacing);
    // The project profile takes the free room at the left of that row.
    auto* top = new QHBoxLayout;
    top->setSpacing(kSpacing * 2);
    top->addWidget(CreateProfileBar(), 0);
    top->addWidget(CreateFileModeBar(), 1);
    root->addLayout(top, 0);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(kSpacing);
    root->addLayout(layout, 1);
    // The table and the log pane take what the window has to spare.
    layout->addLayout(left, 3);
    layout->addLayout(right, 1);

    SetTabOrder();
    resize(InitialSize());
}

QWidget* CSirensetDlg::CreateParameterTable()
{
    m_paramList = new CParameterTable(this);
    m_paramList->setObjectName(QStringLiteral("paramList"));
    m_paramList->setMinimumSize(kTableMinimum);
    m_paramList->setAccessibleName(Texts::ParameterTableName());
    m_paramList->BuildParameterTable();
    return m_paramList;
}

QWidget* CSirensetDlg::CreateFileModeBar()
{
    // The pages are created after the bar; it reaches them only when used.
    CFileModeBar::NumberPages pages;
    pages.read = [this](int category) { return NumberRows(category); };
    pages.write = [this](int category, const QStringList& numbers) {
        if (CNumberPage* page = NumberPage(category)) {
            page->RemoveAllNumbers();
            for (const QString& number : numbers)
                page->AppendNumber(number);
        }
    };
    m_fileBar = new CFileModeBar(*m_paramList, std::move(pages), this);
    m_fileBar->setObjectName(QStringLiteral("fileModeBar"));
    connect(m_fileBar, &CFileModeBar::fileStateChanged, this, [this] {
        // The marks belong to the terminal's values, not to a file's.
        m_profile->MarkDeviations();
        const QString suffix = m_fileBar->TitleSuffix();
        setWindowTitle(suffix.isEmpty() ? Texts::AppTitle() : Texts::AppTitle() + QStringLiteral(" — ") + suffix);
        // The number buttons edit the file's lists, terminal or not; without
        // a file they follow the other command buttons again.
        if (m_addButton) {
            const bool enabled = m_fileBar->IsFileShown() || m_saveButton->isEnabled();
            for (QPushButton* button : {m_addButton, m_deleteButton, m_resetButton})
                button->setEnabled(enabled);
        }
    });
    return m_fileBar;
}

QLayout* CSirensetDlg::CreateNumberArea()
{
    m_tabSheet = new CTabSheet(this);
    m_tabSheet->setObjectName(QStringLiteral("tabSheet"));
    m_adminPage = std::make_unique<CAdminNoDlg>();
    m_authorisedPage = std::make_unique<CLrmNoDlg>();
    m_backupPage = std::make_unique<CBackNoDlg>();
    // Tab index and list category are the same number: the order matters.
    m_tabSheet->AddPage(Texts::AdminNumbers(), m_adminPage.get(), CAdminNoDlg::kTemplateId);
    m_tabSheet->AddPage(Texts::AuthorisedNumbers(), m_authorisedPage.get(), CLrmNoDlg::kTemplateId);
    m_tabSheet->AddPage(Texts::BackupNumbers(), m_backupPage.get(), CBackNoDlg::kTemplateId);
    m_tabSheet->Show();

    m_addButton = PlainButton(Texts::Add(), "addButton", this);
    m_deleteButton = PlainButton(Texts::Delete(), "deleteButton", this);
    m_resetButton = PlainButton(Texts::Reset(), "resetButton", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_deleteButton);
    buttons->addWidget(m_resetButton);

    auto* column = new QVBoxLayout;
    column->addWidget(m_tabSheet, 1);
    column->addLayout(buttons);
    return column;
}

QLayout* CSirensetDlg::CreateModeAndPortGroups()
{
    auto* modeGroup = new QGroupBox(Texts::WorkModeGroup(), this);
    m_configRadio = new QRadioButton(Texts::ConfigurationMode(), modeGroup);
    m_configRadio->setObjectName(QStringLiteral("configModeRadio"));
    m_commRadio = new QRadioButton(Texts::CommunicationMode(), modeGroup);
    m_commRadio->setObjectName(QStringLiteral("commModeRadio"));
    auto* modeLayout = new QVBoxLayout(modeGroup);
    modeLayout->addWidget(m_configRadio);
    modeLayout->addWidget(m_commRadio);

    m_restartButton = PlainButton(Texts::RestartToCommunication(), "restartButton", this);

    auto* portGroup = new QGroupBox(Texts::SerialGroup(), this);
    m_portCombo = new CPortCombo(portGroup);
    m_portCombo->setObjectName(QStringLiteral("portCombo"));
    m_portCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_portCombo->setMinimumContentsLength(6);
    m_portCombo->view()->setMinimumWidth(320);
    m_baudCombo = new QComboBox(portGroup);
    m_baudCombo->setObjectName(QStringLiteral("baudCombo"));
    for (const char* rate : kBaudRates)
        m_baudCombo->addItem(QString::fromLatin1(rate));
    m_openButton = PlainButton(Texts::Open(), "openButton", portGroup);
    m_autoReconnectCheck = new QCheckBox(Texts::AutoReconnect(), portGroup);
    m_autoReconnectCheck->setObjectName(QStringLiteral("autoReconnectCheck"));
    auto* portLayout = new QGridLayout(portGroup);
    auto* portLabel = new QLabel(Texts::PortLabel(), portGroup);
    portLabel->setBuddy(m_portCombo);
    auto* baudLabel = new QLabel(Texts::BaudLabel(), portGroup);
    baudLabel->setBuddy(m_baudCombo);
    portLayout->addWidget(portLabel, 0, 0);
    portLayout->addWidget(m_portCombo, 0, 1);
    portLayout->addWidget(baudLabel, 1, 0);
    portLayout->addWidget(m_baudCombo, 1, 1);
    portLayout->addWidget(m_autoReconnectCheck, 2, 0);
    portLayout->addWidget(m_openButton, 2, 1);
    portLayout->setColumnStretch(1, 1);

    auto* column = new QVBoxLayout;
    column->addWidget(modeGroup);
    column->addWidget(m_restartButton);
    column->addWidget(portGroup);
    column->addStretch(1);
    return column;
}

QLayout* CSirensetDlg::CreateDeviceCommands()
{
    auto* column = new QVBoxLayout;
    m_clockGroup = new CClockGroup(m_options.timing.clockTickMs, this);
    column->addWidget(m_clockGroup);

    m_saveButton = PlainButton(Texts::SaveSettings(), "saveButton", this);
    m_readBackButton = PlainButton(Texts::ReadBack(), "readBackButton", this);
    m_factoryButton = PlainButton(Texts::FactoryReset(), "factoryButton", this);
    m_versionButton = PlainButton(Texts::QueryVersion(), "versionButton", this);
    m_statusButton = PlainButton(Texts::StatusProbe(), "statusButton", this);
    m_saveFileButton = PlainButton(Texts::SaveConfigToFile(), "saveFileButton", this);
    m_loadFileButton = PlainButton(Texts::ConfigureFromFile(), "loadFileButton", this);
    m_powerTestButton = PlainButton(Texts::PowerOnTest(), "powerTestButton", this);
    m_signalButton = PlainButton(Texts::SignalMeter(), "signalButton", this);
    m_verifyCheck = new QCheckBox(Texts::VerifyAfterSave(), this);
    m_verifyCheck->setObjectName(QStringLiteral("verifyCheck"));
    // Shown while a save writes its items; it keeps its place when hidden,
    // so the buttons do not move when a save starts.
    m_saveProgress = new QProgressBar(this);
    m_saveProgress->setObjectName(QStringLiteral("saveProgress"));
    m_saveProgress->setAccessibleName(Texts::SaveProgressName());
    m_saveProgress->setFormat(Texts::SaveProgressFormat());
    m_saveProgress->setTextVisible(true);
    m_saveProgress->setAlignment(Qt::AlignCenter);
    QSizePolicy progressPolicy = m_saveProgress->sizePolicy();
    progressPolicy.setRetainSizeWhenHidden(true);
    m_saveProgress->setSizePolicy(progressPolicy);
    m_saveProgress->hide();
    // Six columns, so that three buttons and two buttons share a row evenly.
    // 保存后校验 sits under 保存设置, the button it belongs to.
    auto* grid = new QGridLayout;
    grid->addWidget(m_saveButton, 0, 0, 1, 2);
    grid->addWidget(m_readBackButton, 0, 2, 1, 2);
    grid->addWidget(m_factoryButton, 0, 4, 1, 2);
    grid->addWidget(m_verifyCheck, 1, 0, 1, 2);
    grid->addWidget(m_versionButton, 1, 2, 1, 2);
    grid->addWidget(m_statusButton, 1, 4, 1, 2);
    grid->addWidget(m_saveFileButton, 2, 0, 1, 3);
    grid->addWidget(m_loadFileButton, 2, 3, 1, 3);
    grid->addWidget(m_powerTestButton, 3, 0, 1, 4);
    grid->addWidget(m_signalButton, 3, 4, 1, 2);
    grid->addWidget(m_saveProgress, 4, 0, 1, 6);
    for (int gridColumn = 0; gridColumn < 6; ++gridColumn)
        grid->setColumnStretch(gridColumn, 1);
    column->addLayout(grid);
    column->addStretch(1);

    m_commandButtons = {m_saveButton,     m_readBackButton, m_addButton,       m_deleteButton,  m_resetButton,
                        m_powerTestButton, m_saveFileButton, m_loadFileButton, m_clockGroup->SetButton(), m_clockGroup->ReadButton(),
                        m_versionButton,  m_statusButton,   m_factoryButton, m_signalButton};
    return column;
}

QBoxLayout* CSirensetDlg::CreateLogArea()
{
    m_logEdit = new CLogPane(this);
    m_logEdit->setObjectName(QStringLiteral("logPane"));
    m_logEdit->setMinimumSize(kLogPaneMinimum);
    m_logEdit->setAccessibleName(Texts::LogPaneName());
    m_sendHistory = std::make_unique<CSendHistory>();
    m_terminalPanel = new CTerminalPanel([this](const QByteArray& bytes) { return m_commTerminal->Send(bytes); }, this,
                                         m_sendHistory.get());
    m_clearButton = PlainButton(Texts::ClearLog(), "clearButton", this);
    auto* clearRow = new QHBoxLayout;
    clearRow->addWidget(m_clearButton);
    clearRow->addStretch(1);
    // 设备档案 shares the row of 清空 (and is shown with it), so the layout
    // keeps its heights.
    m_recordsButton = PlainButton(QStringLiteral("设备档案"), "recordsButton", this);
    m_recordsButton->setToolTip(QStringLiteral("设备档案：每台设备读到的参数和所做的修改"));
    clearRow->addWidget(m_recordsButton);

    auto* column = new QVBoxLayout;
    column->setSpacing(kSpacing);
    column->addWidget(m_logEdit, 1);
    // One of the two is shown; the terminal panel takes more of the log
    // pane's height than the button does.
    column->addWidget(m_terminalPanel, 0);
    column->addLayout(clearRow, 0);
    return column;
}

QLayout* CSirensetDlg::CreateNoteArea()
{
    m_note = new QLabel(Texts::Note(), this);
    m_note->setObjectName(QStringLiteral("noteLabel"));
    m_note->setWordWrap(true);
    m_note->setAutoFillBackground(true);
    m_note->setMargin(4);
    QPalette notePalette = m_note->palette();
    notePalette.setColor(QPalette::Window, QColor(245, 245, 220));
    notePalette.setColor(QPalette::WindowText, QColor(220, 0, 0));
    m_note->setPalette(notePalette);

    m_aboutButton = new QToolButton(this);
    m_aboutButton->setObjectName(QStringLiteral("aboutButton"));
    m_aboutButton->setText(QStringLiteral("?"));
    m_aboutButton->setToolTip(Texts::AboutTitle());
    // Read aloud as what it opens, not as "?".
    m_aboutButton->setAccessibleName(Texts::AboutTitle());

    auto* noteRow = new QHBoxLayout;
    noteRow->addWidget(m_note, 1);
    noteRow->addWidget(m_aboutButton, 0, Qt::AlignVCenter);
    return noteRow;
}

void CSirensetDlg::SetTabOrder()
{
    // Reading order: the left side (the table, then the groups below it
    // from left to right, each from top to bottom), then the right side
    // from top to bottom.
    QList<QWidget*> chain = {m_profile->Bar()->ChooseButton(), m_profile->Bar()->ConformButton(), m_fileBar->OpenButton(),
                             m_fileBar->SaveAsButton(),        m_fileBar->CloseButton(),           m_paramList};
    chain << m_tabSheet << m_addButton << m_deleteButton << m_resetButton;
    chain << m_configRadio << m_commRadio << m_restartButton << m_portCombo << m_baudCombo << m_autoReconnectCheck
          << m_openButton;
    chain << m_clockGroup->TabChain();
    chain << m_saveButton << m_readBackButton << m_factoryButton << m_verifyCheck << m_versionButton << m_statusButton
          << m_saveFileButton << m_loadFileButton << m_powerTestButton;
    chain << m_logEdit;
    chain << m_terminalPanel->FocusChain();
    chain << m_clearButton << m_recordsButton << m_aboutButton;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

QSize CSirensetDlg::InitialSize() const
{
    // As large as preferred, but never beyond the screen's free area (the
    // frame needs a little of it), and never below what the layouts need.
    QSize size = kPreferredSize;
    if (const QScreen* shown = screen()) {
        const QSize available = shown->availableGeometry().size() - QSize(16, 40);
        size = size.boundedTo(available);
    }
    return size.expandedTo(minimumSizeHint());
}

void CSirensetDlg::ConnectControls()
{
    connect(m_openButton, &QPushButton::clicked, this, &CSirensetDlg::OnOpenClicked);
    connect(m_portCombo, &CPortCombo::aboutToShowPopup, this, [this] { m_portList->Refresh(); });
    connect(m_clearButton, &QPushButton::clicked, this, &CSirensetDlg::OnClearLog);
    connect(m_aboutButton, &QToolButton::clicked, this, &CSirensetDlg::ShowAbout);
    connect(m_recordsButton, &QPushButton::clicked, m_records.get(), &CWindowRecords::ShowDialog);
    connect(m_configRadio, &QRadioButton::clicked, this, &CSirensetDlg::OnConfigurationModeClicked);
    connect(m_commRadio, &QRadioButton::clicked, this, &CSirensetDlg::OnCommunicationModeClicked);
    connect(m_terminalPanel, &CTerminalPanel::hexDisplayChanged, this, &CSirensetDlg::OnHexDisplayToggled);
    connect(m_logEdit, &CLogPane::bytesTyped, this, [this](const QByteArray& bytes) { m_commTerminal->Send(bytes); });
    connect(m_restartButton, &QPushButton::clicked, this, &CSirensetDlg::OnRestartClicked);
    connect(&m_device, &CDeviceController::taskFinished, m_profile.get(), &CWindowProfile::OnTaskFinished);
    connect(m_readBackButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestReadBack(); });
    connect(m_factoryButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestFactoryReset(); });
    connect(m_versionButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestVersion(); });
    connect(m_statusButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestStatusProbe(); });
    connect(m_signalButton, &QPushButton::clicked, this, &CSirensetDlg::OnSignalMeterClicked);
    connect(m_clockGroup->ReadButton(), &QPushButton::clicked, this, [this] { m_device.Queries().RequestReadClock(); });
    connect(m_clockGroup->SetButton(), &QPushButton::clicked, this,
            [this] { m_device.Queries().RequestSetClock(m_clockGroup->SetClockCommand()); });
    // While a configuration file is shown, the number buttons edit its lists.
    m_numberCommands->SetListEditHandler(
        [this](CNumberCommands::ListEdit edit, int category, const QStringList& numbers) {
            return m_fileBar->EditNumbers(edit, category, numbers, m_numberCommands->TickedNumbers());
        });
    auto* numberButtons = new CNumberButtons(*m_numberCommands, m_tabSheet, this);
    numberButtons->Connect(m_addButton, m_deleteButton, m_resetButton, m_powerTestButton);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { m_saver->OnSaveSettings(); });
    connect(m_saveFileButton, &QPushButton::clicked, this, &CSirensetDlg::OnSaveToFileClicked);
    connect(m_loadFileButton, &QPushButton::clicked, this, &CSirensetDlg::OnLoadFromFileClicked);
    connect(m_verifyCheck, &QCheckBox::toggled, this, [this](bool on) { m_saver->SetVerifyAfterSave(on); });
    connect(m_logEdit, &CLogPane::saveLogRequested, this, &CSirensetDlg::OnSaveLogRequested);
    m_portList = std::make_unique<CPortList>(*m_portCombo, *m_baudCombo, m_options.extraPorts, m_options.listSystemPorts);
    CPortReconnect::Hooks reconnectHooks;
    reconnectHooks.lost = [this] {
        m_lineWriter->Cancel();
        m_commTerminal->OnPortClosed();
    };
    reconnectHooks.reopened = [this] {
        SetPortControlsForOpen(true);
        SetBusy(true);
        m_tap->Reset();
        m_device.OnPortOpened();
    };
    m_reconnect = std::make_unique<CPortReconnect>(m_device, *m_portList, *m_autoReconnectCheck,
                                                   m_options.windowTiming.reconnectPollMs, std::move(reconnectHooks));
}

// ---------------------------------------------------------------- start-up

void CSirensetDlg::Initialise()
{
    m_clockGroup->Start();

    m_configRadio->setChecked(!m_options.communicationMode);
    m_commRadio->setChecked(m_options.communicationMode);
    m_device.SetConfigurationMode(!m_options.communicationMode);
    m_terminalPanel->SetHexDisplay(m_options.hexDisplay);
    m_terminalPanel->SetTimeStamps(m_options.timeStamps);

    m_verifyCheck->setChecked(true);
    m_saver->SetVerifyAfterSave(true);
    m_autoReconnectCheck->setChecked(true);

    m_portList->Fill(this);
    m_profile->LoadStartProfile(m_options.profileFile);

    m_device.Start();
    m_baudCombo->setCurrentIndex(kStartupBaudIndex);
    if (m_options.communicationMode)
        ShowCommunicationLayout();
    else
        ShowConfigurationLayout();
    OnOpenClicked();
    m_restartButton->setEnabled(false);
}

// ---------------------------------------------------------------- port

void CSirensetDlg::OnOpenClicked()
{
    // The user chose: whatever 自动重连 waited for is not wanted any more.
    m_reconnect->OnUserChoice();
    const int portNumber = m_portList->ChosenPortNumber();
    const int baudRate = m_portList->ChosenBaudRate();
    if (!m_device.IsPortOpen()) {
        if (!m_device.OpenPort(portNumber, baudRate)) {
            SetPortControlsForOpen(false);
            SetBusy(true);
            return;
        }
        m_reconnect->Remember(portNumber, baudRate);
        if (m_recorder)
            m_recorder->SetPort(PortTable::Instance().DeviceFor(portNumber).value_or(m_portCombo->currentText()));
        SetPortControlsForOpen(true);
        SetBusy(true);
        // Another terminal may be on the line now.
        m_tap->Reset();
        m_device.OnPortOpened();
        return;
    }
    m_lineWriter->Cancel();
    m_device.ClosePort();
    m_commTerminal->OnPortClosed();
    PostLog(QStringLiteral(">>> 串口已经关闭..."));
    SetPortControlsForOpen(false);
    SetBusy(true);
}

void CSirensetDlg::SetPortControlsForOpen(bool open)
{
    m_openButton->setText(open ? Texts::Close() : Texts::Open());
    m_portCombo->setEnabled(!open);
    m_baudCombo->setEnabled(!open);
}

void CSirensetDlg::ShowPortClosed()
{
    SetPortControlsForOpen(false);
    SetBusy(true);
}

// ---------------------------------------------------------------- modes

void CSirensetDlg::OnConfigurationModeClicked()
{
    ShowConfigurationLayout();
    m_restartButton->setEnabled(false);
    SetBusy(true);
    m_device.Modes().OnConfigurationModeChosen(m_baudCombo->currentText().toInt());
}

void CSirensetDlg::OnCommunicationModeClicked()
{
    ShowCommunicationLayout();
    SetBusy(true);
    m_device.Modes().OnCommunicationModeChosen();
}

void CSirensetDlg::OnRestartClicked()
{
    // The radio buttons follow without running their handlers.
    m_configRadio->setChecked(false);
    m_commRadio->setChecked(true);
    if (m_device.Modes().OnRestartChosen())
        ShowCommunicationLayout();
}

void CSirensetDlg::OnSignalMeterClicked()
{
    if (!m_signalMeter->Start())
        return;
    auto* meter = new CSignalMeterDlg(*m_signalMeter, this);
    meter->setAttribute(Qt::WA_DeleteOnClose);
    // Any loss of the port ends the run; the window then says it stopped.
    meter->show();
}

void CSirensetDlg::OnSaveToFileClicked()
{
    const QString path =
        MessageBoxes::GetSaveFileName(this, QStringLiteral("Kestrel-Alarm.cfg"), QStringLiteral("*.cfg"), QStringLiteral("cfg"));
    if (!path.isEmpty())
        m_configFile->RequestSave(path);
}

void CSirensetDlg::OnLoadFromFileClicked()
{
    const QString path = MessageBoxes::GetOpenFileName(this, QStringLiteral("*.cfg"), QStringLiteral("*.cfg"));
    if (path.isEmpty())
        return;
    // Nothing of a 按规范修正 that never ran goes into a file's load.
    m_profile->EndConformLoad();
    m_configFile->RequestLoad(path);
}

// ---------------------------------------------------------------- project profile

CProfileBar* CSirensetDlg::ProfileBar() const
{
    return m_profile->Bar();
}

const std::optional<ProfileCheckResult>& CSirensetDlg::LastProfileCheck() const
{
    return m_profile->LastCheck();
}

QWidget* CSirensetDlg::CreateProfileBar()
{
    CProfileBar* bar = m_profile->CreateBar(this, m_options.profileChosen);
    connect(m_profile.get(), &CWindowProfile::profileChecked, this, &CSirensetDlg::profileChecked);
    if (m_recorder)
        connect(m_profile.get(), &CWindowProfile::readBackChecked, this,
                [this](const ProfileCheckResult& check) { m_recorder->ProfileChecked(RecordedCheckOf(check)); });
    return bar;
}

void CSirensetDlg::OnHexDisplayToggled(bool on)
{
    m_device.SetHexDisplay(on);
}

void CSirensetDlg::ShowConfigurationLayout()
{
    // A timed send or the rest of a paste must not interleave with the
    // configuration exchange.
    m_terminalPanel->StopTimedSend();
    m_commTerminal->StopSequence();
    m_lineWriter->Cancel();
    m_terminalPanel->hide();
    m_clearButton->show();
    m_recordsButton->show();
    m_logEdit->SetTerminalInput(false);
}

void CSirensetDlg::ShowCommunicationLayout()
{
    m_terminalPanel->show();
    m_clearButton->hide();
    m_recordsButton->hide();
    m_logEdit->SetTerminalInput(true);
}

// ---------------------------------------------------------------- view

QString CSirensetDlg::LogFilePath() const
{
    return m_log->FilePath();
}

bool CSirensetDlg::IsWatchingForPort() const
{
    return m_reconnect->IsWatching();
}

void CSirensetDlg::AppendLog(const QString& line)
{
    m_profile->NoteLogLine(line);
    m_log->Entry(line);
}

void CSirensetDlg::AppendReceivedEntry(const ReceivedEntry& entry)
{
    m_commTerminal->ShowReceived(entry);
}

QString CSirensetDlg::AskCaptureFile()
{
    const QString proposed = QStringLiteral("接收数据-%1.bin")
                                 .arg(m_log->Now()
                                          .toString(QStringLiteral("yyyyMMdd-HHmmss")));
    return MessageBoxes::GetSaveFileName(this, proposed, QStringLiteral("所有文件 (*)"), QString());
}

void CSirensetDlg::SetBusy(bool busy)
{
    for (QPushButton* button : m_commandButtons)
        button->setEnabled(!busy);
    m_profile->Bar()->SetIdle(!busy);
    // The buttons come back when a save has ended, finished or not.
    if (!busy)
        m_saveProgress->hide();
}

void CSirensetDlg::ShowSaveProgress(int done, int total)
{
    if (total <= 0 || done >= total) {
        m_saveProgress->hide();
        return;
    }
    m_saveProgress->setRange(0, total);
    m_saveProgress->setValue(qMax(done, 0));
    m_saveProgress->show();
}

void CSirensetDlg::ShowVerifyResult(const QString& summary, const QStringList& mismatches)
{
    if (mismatches.isEmpty())
        return;
    MessageBoxes::Show(this, summary + QStringLiteral("\n\n") + mismatches.join(QLatin1Char('\n')), Texts::AppTitle(),
                       MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Warning);
}

bool CSirensetDlg::ConfirmFileChanges(const QStringList& changes)
{
    return CChangePreviewDlg::Confirm(this, changes);
}

bool CSirensetDlg::ChooseFileChanges(const QStringList& changes, std::vector<bool>& ticked)
{
    if (m_profile->IsConformPending())
        return m_profile->ChooseConformChanges(changes, ticked);
    return CChangePreviewDlg::Choose(this, changes, ticked);
}

void CSirensetDlg::SetRestartEnabled(bool enabled)
{
    m_restartButton->setEnabled(enabled);
}

void CSirensetDlg::SetCommunicationRadioEnabled(bool enabled)
{
    m_commRadio->setEnabled(enabled);
}

void CSirensetDlg::ShowMessage(const QString& text)
{
    MessageBoxes::Show(this, text);
}

QString CSirensetDlg::CellText(int row, int column)
{
    return m_paramList->CellText(row, column);
}

void CSirensetDlg::SetCellText(int row, int column, const QString& text)
{
    if (m_fileBar->AcceptTerminalValues())
        m_paramList->SetCellText(row, column, text);
}

void CSirensetDlg::LockCell(int row, int column)
{
    if (m_fileBar->AcceptTerminalValues())
        m_paramList->LockCell(row, column);
}

CNumberPage* CSirensetDlg::NumberPage(int category) const
{
    switch (category) {
    case 0: return m_adminPage.get();
    case 1: return m_authorisedPage.get();
    case 2: return m_backupPage.get();
    default: return nullptr;
    }
}

void CSirensetDlg::ClearNumberPage(int category)
{
    if (!m_fileBar->AcceptTerminalValues())
        return;
    if (CNumberPage* page = NumberPage(category))
        page->RemoveAllNumbers();
}

void CSirensetDlg::AppendNumberRow(int category, const QString& number)
{
    if (!m_fileBar->AcceptTerminalValues())
        return;
    if (CNumberPage* page = NumberPage(category))
        page->AppendNumber(number);
}

QStringList CSirensetDlg::NumberRows(int category)
{
    const CNumberPage* page = NumberPage(category);
    return page ? page->Numbers() : QStringList();
}

QStringList CSirensetDlg::TickedNumbers(int category)
{
    const CNumberPage* page = NumberPage(category);
    return page ? page->CheckedNumbers() : QStringList();
}

// ---------------------------------------------------------------- clock, log, about

void CSirensetDlg::OnClearLog()
{
    m_logEdit->ClearLog();
}

void CSirensetDlg::OnSaveLogRequested()
{
    const QString proposed =
        QStringLiteral("Sirenset-%1.log").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss")));
    const QString path =
        MessageBoxes::GetSaveFileName(this, proposed, QStringLiteral("日志文件 (*.log *.txt)"), QStringLiteral("log"));
    if (path.isEmpty())
        return;
    QString why;
    if (!m_logEdit->SaveTo(path, &why))
        MessageBoxes::Show(this, Texts::SaveLogFailed(path, why), Texts::AppTitle(), MessageBoxes::Buttons::Ok,
                           MessageBoxes::Icon::Warning);
}

void CSirensetDlg::ShowAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CSirensetDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(Texts::AboutMenuEntry(), this, &CSirensetDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CSirensetDlg::closeEvent(QCloseEvent* event)
{
    m_lineWriter->Cancel();
    m_commTerminal->StopSequence();
    m_commTerminal->StopCapture();
    m_log->Close();
    m_reconnect->Stop();
    m_device.Shutdown();
    QDialog::closeEvent(event);
}

void CSirensetDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape and Enter must not close the tool in the middle of a
    // conversation; the window closes by its close button only.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
