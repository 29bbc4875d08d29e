#pragma once

#include "signalmeter/SignalReading.h"

#include <QDialog>
#include <QTimer>

class CSignalChart;
class CSignalMeter;
class QDoubleSpinBox;
class QLabel;

// The signal meter's window: the latest reading large (CSQ, dBm, quality
// band, bit-error class), the last five minutes as a chart with their
// minimum, maximum and average, the missed readings, and the interval
// between queries. Closing it stops the meter.
class CSignalMeterDlg : public QDialog {
    Q_OBJECT
public:
    CSignalMeterDlg(CSignalMeter& meter, QWidget* parent = nullptr);

    // The texts shown, for tests and screen readers alike.
    QString ValueText() const;
    QString DetailText() const;
    QString FiguresText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void CreateControls();
    void ShowReading(const SignalReading& reading);
    void ShowFigures();
    void OnFinished();

    CSignalMeter& m_meter;
    QLabel* m_valueLabel = nullptr;   // "17" / "未知" / "--"
    QLabel* m_dbmLabel = nullptr;     // "-79 dBm"
    QLabel* m_bandLabel = nullptr;    // "良好"
    QLabel* m_detailLabel = nullptr;  // bit error, unknown, not understood, missed
    QLabel* m_figuresLabel = nullptr;
    QLabel* m_stateLabel = nullptr;
    QDoubleSpinBox* m_intervalBox = nullptr;
    CSignalChart* m_chart = nullptr;
    // Moves the chart on between readings.
    QTimer m_chartTimer;
};
