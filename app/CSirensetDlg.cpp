#include "app/CSirensetDlg.h"

#include "app/CAboutDlg.h"
#include "app/CLogPane.h"
#include "app/CPortCombo.h"
#include "app/CTerminalPanel.h"
#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
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
#include "resources/Texts.h"
#include "serial/PortTable.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDateTime>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>

#include <cstdio>

namespace {

// The window keeps the fixed geometry of the original dialog: the log pane's
// place and both of its heights are what users know from the manuals.
constexpr QSize kWindowSize(980, 690);
constexpr QRect kLogPaneConfiguration(685, 5, 287, 433);
constexpr QRect kLogPaneCommunication(685, 5, 287, 330);
constexpr int kButtonHeight = 26;

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
    CreateControls();
    ConnectControls();
    Initialise();
}

CSirensetDlg::~CSirensetDlg()
{
    // Stop the worker while the widgets it reports to still exist.
    m_device.Shutdown();
}

// ---------------------------------------------------------------- building

void CSirensetDlg::CreateControls()
{
    setWindowTitle(Texts::AppTitle());
    setFixedSize(kWindowSize);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/sirenset-32.png"));
    icon.addFile(QStringLiteral(":/icons/sirenset-64.png"));
    icon.addFile(QStringLiteral(":/icons/sirenset-128.png"));
    setWindowIcon(icon);

    CreateParameterTable();
    CreateNumberArea();
    CreateModeAndPortGroups();
    CreateRtcGroup();
    CreateCommandButtons();
    CreateLogArea();
    CreateTerminalPanel();

    m_note = new QLabel(Texts::Note(), this);
    m_note->setObjectName(QStringLiteral("noteLabel"));
    m_note->setGeometry(685, 652, 258, 30);
    m_note->setWordWrap(true);
    m_note->setAutoFillBackground(true);
    QPalette notePalette = m_note->palette();
    notePalette.setColor(QPalette::Window, QColor(245, 245, 220));
    notePalette.setColor(QPalette::WindowText, QColor(220, 0, 0));
    m_note->setPalette(notePalette);

    m_aboutButton = new QToolButton(this);
    m_aboutButton->setObjectName(QStringLiteral("aboutButton"));
    m_aboutButton->setText(QStringLiteral("?"));
    m_aboutButton->setToolTip(Texts::AboutTitle());
    m_aboutButton->setGeometry(948, 656, 24, 24);
}

void CSirensetDlg::CreateParameterTable()
{
    m_paramList = new CParameterTable(this);
    m_paramList->setObjectName(QStringLiteral("paramList"));
    m_paramList->setGeometry(5, 5, 675, 433);
    m_paramList->BuildParameterTable();
}

void CSirensetDlg::CreateNumberArea()
{
    m_tabSheet = new CTabSheet(this);
    m_tabSheet->setObjectName(QStringLiteral("tabSheet"));
    m_tabSheet->setGeometry(5, 445, 237, 200);
    m_adminPage = std::make_unique<CAdminNoDlg>();
    m_authorisedPage = std::make_unique<CLrmNoDlg>();
    m_backupPage = std::make_unique<CBackNoDlg>();
    // Tab index and list category are the same number: the order matters.
    m_tabSheet->AddPage(Texts::AdminNumbers(), m_adminPage.get(), CAdminNoDlg::kTemplateId);
    m_tabSheet->AddPage(Texts::AuthorisedNumbers(), m_authorisedPage.get(), CLrmNoDlg::kTemplateId);
    m_tabSheet->AddPage(Texts::BackupNumbers(), m_backupPage.get(), CBackNoDlg::kTemplateId);
    m_tabSheet->Show();
}

void CSirensetDlg::CreateModeAndPortGroups()
{
    auto* modeGroup = new QGroupBox(Texts::WorkModeGroup(), this);
    modeGroup->setGeometry(248, 441, 138, 62);
    m_configRadio = new QRadioButton(Texts::ConfigurationMode(), modeGroup);
    m_configRadio->setObjectName(QStringLiteral("configModeRadio"));
    m_configRadio->setGeometry(10, 18, 130, 20);
    m_commRadio = new QRadioButton(Texts::CommunicationMode(), modeGroup);
    m_commRadio->setObjectName(QStringLiteral("commModeRadio"));
    m_commRadio->setGeometry(10, 38, 130, 20);

    m_restartButton = new QPushButton(Texts::RestartToCommunication(), this);
    m_restartButton->setObjectName(QStringLiteral("restartButton"));
    m_restartButton->setGeometry(248, 507, 138, kButtonHeight);

    auto* portGroup = new QGroupBox(Texts::SerialGroup(), this);
    portGroup->setGeometry(248, 537, 138, 112);
    auto* portLabel = new QLabel(Texts::PortLabel(), portGroup);
    portLabel->setGeometry(6, 22, 45, 22);
    m_portCombo = new CPortCombo(portGroup);
    m_portCombo->setObjectName(QStringLiteral("portCombo"));
    m_portCombo->setGeometry(50, 20, 82, 24);
    m_portCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_portCombo->view()->setMinimumWidth(320);
    auto* baudLabel = new QLabel(Texts::BaudLabel(), portGroup);
    baudLabel->setGeometry(6, 52, 45, 22);
    m_baudCombo = new QComboBox(portGroup);
    m_baudCombo->setObjectName(QStringLiteral("baudCombo"));
    m_baudCombo->setGeometry(50, 50, 82, 24);
    for (const char* rate : kBaudRates)
        m_baudCombo->addItem(QString::fromLatin1(rate));
    m_openButton = new QPushButton(Texts::Open(), portGroup);
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_openButton->setGeometry(50, 80, 82, kButtonHeight);
}

void CSirensetDlg::CreateRtcGroup()
{
    auto* group = new QGroupBox(Texts::RtcGroup(), this);
    group->setGeometry(392, 441, 288, 90);
    m_rtcCombo = new QComboBox(group);
    m_rtcCombo->setObjectName(QStringLiteral("rtcCombo"));
    m_rtcCombo->setGeometry(6, 22, 84, 24);
    m_clockText = new QLabel(group);
    m_clockText->setObjectName(QStringLiteral("clockText"));
    m_clockText->setGeometry(96, 22, 186, 24);
    m_datePicker = new QDateEdit(QDate::currentDate(), group);
    m_datePicker->setObjectName(QStringLiteral("datePicker"));
    m_datePicker->setGeometry(94, 22, 100, 24);
    m_datePicker->setCalendarPopup(true);
    m_timePicker = new QTimeEdit(QTime::currentTime(), group);
    m_timePicker->setObjectName(QStringLiteral("timePicker"));
    m_timePicker->setGeometry(198, 22, 84, 24);
    m_setClockButton = MakeCommandButton(Texts::SetTime(), "setClockButton", QRect(398, 499, 134, kButtonHeight));
    m_readClockButton = MakeCommandButton(Texts::ReadRtcTime(), "readClockButton", QRect(540, 499, 134, kButtonHeight));
}

QPushButton* CSirensetDlg::MakeCommandButton(const QString& text, const char* objectName, const QRect& geometry)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void CSirensetDlg::CreateCommandButtons()
{
    m_addButton = MakeCommandButton(Texts::Add(), "addButton", QRect(5, 652, 76, kButtonHeight));
    m_deleteButton = MakeCommandButton(Texts::Delete(), "deleteButton", QRect(85, 652, 76, kButtonHeight));
    m_resetButton = MakeCommandButton(Texts::Reset(), "resetButton", QRect(165, 652, 77, kButtonHeight));

    m_saveButton = MakeCommandButton(Texts::SaveSettings(), "saveButton", QRect(392, 537, 92, kButtonHeight));
    m_readBackButton = MakeCommandButton(Texts::ReadBack(), "readBackButton", QRect(490, 537, 92, kButtonHeight));
    m_factoryButton = MakeCommandButton(Texts::FactoryReset(), "factoryButton", QRect(588, 537, 92, kButtonHeight));
    m_versionButton = MakeCommandButton(Texts::QueryVersion(), "versionButton", QRect(392, 567, 92, kButtonHeight));
    m_statusButton = MakeCommandButton(Texts::StatusProbe(), "statusButton", QRect(490, 567, 92, kButtonHeight));
    m_saveFileButton = MakeCommandButton(Texts::SaveConfigToFile(), "saveFileButton", QRect(392, 597, 141, kButtonHeight));
    m_loadFileButton = MakeCommandButton(Texts::ConfigureFromFile(), "loadFileButton", QRect(539, 597, 141, kButtonHeight));
    m_powerTestButton = MakeCommandButton(Texts::PowerOnTest(), "powerTestButton", QRect(392, 627, 288, kButtonHeight));

    m_commandButtons = {m_saveButton,     m_readBackButton, m_addButton,       m_deleteButton,  m_resetButton,
                        m_powerTestButton, m_saveFileButton, m_loadFileButton, m_setClockButton, m_readClockButton,
                        m_versionButton,  m_statusButton,   m_factoryButton};
}

void CSirensetDlg::CreateLogArea()
{
    m_logEdit = new CLogPane(this);
    m_logEdit->setObjectName(QStringLiteral("logPane"));
    m_logEdit->setGeometry(kLogPaneConfiguration);
    m_clearButton = MakeCommandButton(Texts::ClearLog(), "clearButton", QRect(685, 443, 80, kButtonHeight));
}

void CSirensetDlg::CreateTerminalPanel()
{
    m_terminalPanel = new CTerminalPanel(CTerminalPanel::SerialWriter(m_device.Serial()), this);
    m_terminalPanel->setGeometry(QRect(QPoint(685, 340), CTerminalPanel::kSize));
}

void CSirensetDlg::ConnectControls()
{
    connect(m_openButton, &QPushButton::clicked, this, &CSirensetDlg::OnOpenClicked);
    connect(m_portCombo, &CPortCombo::aboutToShowPopup, this, &CSirensetDlg::RefreshPortList);
    connect(&m_clockTimer, &QTimer::timeout, this, &CSirensetDlg::OnClockTick);
    connect(m_rtcCombo, &QComboBox::currentIndexChanged, this, &CSirensetDlg::OnRtcModeChanged);
    connect(m_clearButton, &QPushButton::clicked, this, &CSirensetDlg::OnClearLog);
    connect(m_aboutButton, &QToolButton::clicked, this, &CSirensetDlg::ShowAbout);
    connect(m_configRadio, &QRadioButton::clicked, this, &CSirensetDlg::OnConfigurationModeClicked);
    connect(m_commRadio, &QRadioButton::clicked, this, &CSirensetDlg::OnCommunicationModeClicked);
    connect(m_terminalPanel, &CTerminalPanel::hexDisplayChanged, this, &CSirensetDlg::OnHexDisplayToggled);
    connect(m_logEdit, &CLogPane::bytesTyped, this, [this](const QByteArray& bytes) {
        m_device.Serial().Write(bytes.constData(), bytes.size());
    });
    connect(m_restartButton, &QPushButton::clicked, this, &CSirensetDlg::OnRestartClicked);
    connect(m_readBackButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestReadBack(); });
    connect(m_factoryButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestFactoryReset(); });
    connect(m_versionButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestVersion(); });
    connect(m_statusButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestStatusProbe(); });
    connect(m_readClockButton, &QPushButton::clicked, this, [this] { m_device.Queries().RequestReadClock(); });
    connect(m_setClockButton, &QPushButton::clicked, this, &CSirensetDlg::OnSetClockClicked);
    auto* numberButtons = new CNumberButtons(*m_numberCommands, m_tabSheet, this);
    numberButtons->Connect(m_addButton, m_deleteButton, m_resetButton, m_powerTestButton);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { m_saver->OnSaveSettings(); });
    connect(m_saveFileButton, &QPushButton::clicked, this, &CSirensetDlg::OnSaveToFileClicked);
    connect(m_loadFileButton, &QPushButton::clicked, this, &CSirensetDlg::OnLoadFromFileClicked);
}

// ---------------------------------------------------------------- start-up

void CSirensetDlg::Initialise()
{
    m_datePicker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    m_rtcCombo->addItem(Texts::SystemTime());
    m_rtcCombo->addItem(Texts::ManualTime());
    m_rtcCombo->setCurrentIndex(0);

    m_clockTimer.start(m_options.timing.clockTickMs);
    OnClockTick();
    // The clock text stays hidden until the RTC choice is changed, as users
    // know it: both pickers are shown at start.
    m_clockText->hide();
    m_datePicker->show();
    m_timePicker->show();

    m_configRadio->setChecked(true);
    m_device.SetConfigurationMode(true);

    FillPortList();

    m_device.Start();
    m_baudCombo->setCurrentIndex(kStartupBaudIndex);
    ShowConfigurationLayout();
    OnOpenClicked();
    m_restartButton->setEnabled(false);
}

void CSirensetDlg::FillPortList()
{
    PortTable& ports = PortTable::Instance();
    for (const QString& device : m_options.extraPorts)
        ports.Add(device, QString());
    RefreshPortList();
    if (m_portCombo->count() == 0 && !m_noPortMessageShown) {
        m_noPortMessageShown = true;
        MessageBoxes::Show(this, Texts::NoSerialPort());
    }
    m_portCombo->setCurrentIndex(0);
    m_baudCombo->setCurrentIndex(0);
}

void CSirensetDlg::RefreshPortList()
{
    PortTable& ports = PortTable::Instance();
    const QString current = m_portCombo->currentText();
    QStringList entries;
    // Devices named on the command line come first, so start-up opens them.
    for (const QString& device : m_options.extraPorts) {
        const int number = ports.Add(device, QString());
        if (const auto entry = ports.EntryFor(number))
            entries << entry->DisplayText();
    }
    const QList<PortEntry> systemPorts = m_options.listSystemPorts ? ports.ScanSystemPorts() : QList<PortEntry>();
    for (const PortEntry& entry : systemPorts) {
        const QString text = entry.DisplayText();
        if (!entries.contains(text))
            entries << text;
    }
    m_portCombo->blockSignals(true);
    m_portCombo->clear();
    m_portCombo->addItems(entries);
    const int keep = m_portCombo->findText(current);
    m_portCombo->setCurrentIndex(keep >= 0 ? keep : 0);
    m_portCombo->blockSignals(false);
}

// ---------------------------------------------------------------- port

void CSirensetDlg::OnOpenClicked()
{
    const int portNumber = PortTable::NumberFromDisplayText(m_portCombo->currentText());
    const int baudRate = m_baudCombo->currentText().toInt();
    if (!m_device.IsPortOpen()) {
        if (!m_device.OpenPort(portNumber, baudRate)) {
            SetPortControlsForOpen(false);
            SetBusy(true);
            return;
        }
        SetPortControlsForOpen(true);
        SetBusy(true);
        m_device.OnPortOpened();
        return;
    }
    m_device.ClosePort();
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

void CSirensetDlg::OnSetClockClicked()
{
    const bool systemTime = m_rtcCombo->currentText().contains(QStringLiteral("系统"));
    const QByteArray command =
        systemTime ? CDeviceQueries::SystemClockCommand(QDateTime::currentDateTime())
                   : CDeviceQueries::ManualClockCommand(m_datePicker->text(), m_timePicker->text());
    m_device.Queries().RequestSetClock(command);
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
    if (!path.isEmpty())
        m_configFile->RequestLoad(path);
}

void CSirensetDlg::OnHexDisplayToggled(bool on)
{
    m_device.SetHexDisplay(on);
}

void CSirensetDlg::ShowConfigurationLayout()
{
    // A timed send must not interleave with the configuration exchange.
    m_terminalPanel->StopTimedSend();
    m_terminalPanel->hide();
    m_clearButton->show();
    m_logEdit->setGeometry(kLogPaneConfiguration);
    m_logEdit->SetTerminalInput(false);
}

void CSirensetDlg::ShowCommunicationLayout()
{
    m_terminalPanel->show();
    m_clearButton->hide();
    m_logEdit->setGeometry(kLogPaneCommunication);
    m_logEdit->SetTerminalInput(true);
}

// ---------------------------------------------------------------- view

void CSirensetDlg::AppendLog(const QString& line)
{
    m_logEdit->AppendLog(line);
    if (m_options.logObserver)
        m_options.logObserver(line);
    if (m_options.logToStdout) {
        QString shown = line;
        shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        std::fputs(shown.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void CSirensetDlg::SetBusy(bool busy)
{
    for (QPushButton* button : m_commandButtons)
        button->setEnabled(!busy);
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
    m_paramList->SetCellText(row, column, text);
}

void CSirensetDlg::LockCell(int row, int column)
{
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
    if (CNumberPage* page = NumberPage(category))
        page->RemoveAllNumbers();
}

void CSirensetDlg::AppendNumberRow(int category, const QString& number)
{
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

void CSirensetDlg::OnClockTick()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    m_clockText->setText(QString::asprintf("%d/%02d/%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                                           time.hour(), time.minute(), time.second()));
}

void CSirensetDlg::OnRtcModeChanged()
{
    const bool systemTime = m_rtcCombo->currentText().contains(QStringLiteral("系统"));
    m_clockText->setVisible(systemTime);
    m_datePicker->setVisible(!systemTime);
    m_timePicker->setVisible(!systemTime);
}

void CSirensetDlg::OnClearLog()
{
    m_logEdit->ClearLog();
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
