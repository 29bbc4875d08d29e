#include "app/CClockGroup.h"

#include "app/PlainButton.h"
#include "device/CDeviceQueries.h"
#include "resources/Texts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimeEdit>

CClockGroup::CClockGroup(int tickMs, QWidget* parent)
    : QGroupBox(Texts::RtcGroup(), parent), m_tickMs(tickMs)
{
    m_modeCombo = new QComboBox(this);
    m_modeCombo->setObjectName(QStringLiteral("rtcCombo"));
    // No label stands beside it: it is named after its group.
    m_modeCombo->setAccessibleName(Texts::RtcGroup());
    m_clockText = new QLabel(this);
    m_clockText->setObjectName(QStringLiteral("clockText"));
    m_datePicker = new QDateEdit(QDate::currentDate(), this);
    m_datePicker->setObjectName(QStringLiteral("datePicker"));
    m_datePicker->setAccessibleName(Texts::DatePickerName());
    m_datePicker->setCalendarPopup(true);
    m_timePicker = new QTimeEdit(QTime::currentTime(), this);
    m_timePicker->setObjectName(QStringLiteral("timePicker"));
    m_timePicker->setAccessibleName(Texts::TimePickerName());
    m_setButton = PlainButton(Texts::SetTime(), "setClockButton", this);
    m_readButton = PlainButton(Texts::ReadRtcTime(), "readClockButton", this);

    // The clock text and the two pickers take turns in one place. A stack
    // is as large as its largest page whichever is shown, so the swap never
    // changes the window's minimum size: shown side by side for a moment,
    // they used to widen the window for good.
    auto* pickers = new QWidget;
    auto* pickerRow = new QHBoxLayout(pickers);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    pickerRow->addWidget(m_datePicker, 1);
    pickerRow->addWidget(m_timePicker, 1);
    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("clockStack"));
    m_stack->addWidget(m_clockText);
    m_stack->addWidget(pickers);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_modeCombo, 0, 0);
    layout->addWidget(m_stack, 0, 1);
    layout->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_setButton);
    buttons->addWidget(m_readButton);
    layout->addLayout(buttons, 1, 0, 1, 2);

    connect(&m_timer, &QTimer::timeout, this, &CClockGroup::OnTick);
    connect(m_modeCombo, &QComboBox::currentIndexChanged, this, &CClockGroup::OnModeChanged);
}

void CClockGroup::Start()
{
    m_datePicker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    m_modeCombo->addItem(Texts::SystemTime());
    m_modeCombo->addItem(Texts::ManualTime());
    m_modeCombo->setCurrentIndex(0);

    m_timer.start(m_tickMs);
    OnTick();
    // 系统时间 is chosen, and 时间设置 then sends the computer's clock: show
    // that clock, not pickers frozen at the start-up time that would not
    // be sent.
    OnModeChanged();
}

QByteArray CClockGroup::SetClockCommand() const
{
    return IsSystemTime() ? CDeviceQueries::SystemClockCommand(QDateTime::currentDateTime())
                          : CDeviceQueries::ManualClockCommand(m_datePicker->text(), m_timePicker->text());
}

QList<QWidget*> CClockGroup::TabChain() const
{
    return {m_modeCombo, m_datePicker, m_timePicker, m_setButton, m_readButton};
}

bool CClockGroup::IsSystemTime() const
{
    return m_modeCombo->currentText().contains(QStringLiteral("系统"));
}

void CClockGroup::OnTick()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    m_clockText->setText(QString::asprintf("%d/%02d/%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                                           time.hour(), time.minute(), time.second()));
}

void CClockGroup::OnModeChanged()
{
    // Showing one page hides the other (the pickers' page as a whole).
    m_stack->setCurrentWidget(IsSystemTime() ? static_cast<QWidget*>(m_clockText) : m_datePicker->parentWidget());
}
