#pragma once

#include <QByteArray>
#include <QGroupBox>
#include <QList>
#include <QTimer>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTimeEdit;

// RTC时间设置: the computer's clock, or date and time pickers, and the
// buttons that set and read the terminal's clock.
class CClockGroup : public QGroupBox {
public:
    explicit CClockGroup(int tickMs, QWidget* parent = nullptr);

    // Start-up: 系统时间 chosen, the computer's clock shown and ticking.
    void Start();
    // What 时间设置 sends: the computer's clock, or the pickers' time.
    QByteArray SetClockCommand() const;

    QPushButton* SetButton() const { return m_setButton; }
    QPushButton* ReadButton() const { return m_readButton; }
    // The group's controls in tab order.
    QList<QWidget*> TabChain() const;

private:
    void OnTick();
    void OnModeChanged();
    bool IsSystemTime() const;

    int m_tickMs = 0;
    QComboBox* m_modeCombo = nullptr;
    QLabel* m_clockText = nullptr;
    // Holds the clock text or the date and time pickers.
    QStackedWidget* m_stack = nullptr;
    QDateEdit* m_datePicker = nullptr;
    QTimeEdit* m_timePicker = nullptr;
    QPushButton* m_setButton = nullptr;
    QPushButton* m_readButton = nullptr;
    QTimer m_timer;
};
