#include "signalmeter/CSignalMeterDlg.h"

#include "signalmeter/CSignalChart.h"
#include "signalmeter/CSignalMeter.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kChartRefreshMs = 1000;

QColor BandColour(SignalBand band)
{
    switch (band) {
    case SignalBand::Poor: return QColor(0xb0, 0x1c, 0x1c);
    case SignalBand::Fair: return QColor(0x9a, 0x6a, 0x00);
    case SignalBand::Good: return QColor(0x2e, 0x7d, 0x32);
    case SignalBand::Excellent: return QColor(0x15, 0x65, 0xc0);
    }
    return {};
}

QLabel* ScaledLabel(QWidget* parent, qreal scale, bool bold)
{
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

CSignalMeterDlg::CSignalMeterDlg(CSignalMeter& meter, QWidget* parent)
    : QDialog(parent), m_meter(meter)
{
    setWindowTitle(QStringLiteral("信号监测"));
    CreateControls();
    connect(&m_meter, &CSignalMeter::readingTaken, this, &CSignalMeterDlg::ShowReading);
    connect(&m_meter, &CSignalMeter::finished, this, &CSignalMeterDlg::OnFinished);
    m_chartTimer.setInterval(kChartRefreshMs);
    connect(&m_chartTimer, &QTimer::timeout, this, &CSignalMeterDlg::ShowFigures);
    m_chartTimer.start();
    ShowFigures();
}

void CSignalMeterDlg::CreateControls()
{
    m_valueLabel = ScaledLabel(this, 3.0, true);
    m_valueLabel->setObjectName(QStringLiteral("signalValue"));
    m_valueLabel->setText(QStringLiteral("--"));
    m_valueLabel->setAccessibleName(QStringLiteral("信号强度 (CSQ)"));
    m_dbmLabel = ScaledLabel(this, 1.6, false);
    m_dbmLabel->setObjectName(QStringLiteral("signalDbm"));
    m_dbmLabel->setAccessibleName(QStringLiteral("接收电平"));
    m_bandLabel = ScaledLabel(this, 1.6, true);
    m_bandLabel->setObjectName(QStringLiteral("signalBand"));
    m_bandLabel->setAccessibleName(QStringLiteral("信号质量"));

    auto* caption = new QLabel(QStringLiteral("CSQ"), this);
    auto* valueColumn = new QVBoxLayout;
    valueColumn->addWidget(caption);
    valueColumn->addWidget(m_valueLabel);
    auto* levelColumn = new QVBoxLayout;
    levelColumn->addStretch(1);
    levelColumn->addWidget(m_dbmLabel);
    levelColumn->addWidget(m_bandLabel);
    auto* top = new QHBoxLayout;
    top->addLayout(valueColumn);
    top->addSpacing(24);
    top->addLayout(levelColumn);
    top->addStretch(1);

    m_detailLabel = new QLabel(this);
    m_detailLabel->setObjectName(QStringLiteral("signalDetail"));
    m_detailLabel->setWordWrap(true);
    m_detailLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* legend = new QLabel(QStringLiteral("质量等级：") + BandLegend(), this);
    legend->setObjectName(QStringLiteral("bandLegend"));

    m_chart = new CSignalChart(this);
    m_figuresLabel = new QLabel(this);
    m_figuresLabel->setObjectName(QStringLiteral("signalFigures"));
    m_figuresLabel->setWordWrap(true);
    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("signalState"));

    m_intervalBox = new QDoubleSpinBox(this);
    m_intervalBox->setObjectName(QStringLiteral("intervalBox"));
    m_intervalBox->setRange(CSignalMeter::kShortestIntervalMs / 1000.0, CSignalMeter::kLongestIntervalMs / 1000.0);
    m_intervalBox->setSingleStep(0.5);
    m_intervalBox->setDecimals(1);
    m_intervalBox->setSuffix(QStringLiteral(" 秒"));
    m_intervalBox->setValue(m_meter.IntervalMs() / 1000.0);
    connect(m_intervalBox, &QDoubleSpinBox::valueChanged, this,
            [this](double seconds) { m_meter.SetIntervalMs(static_cast<int>(seconds * 1000 + 0.5)); });
    auto* intervalLabel = new QLabel(QStringLiteral("查询间隔："), this);
    intervalLabel->setBuddy(m_intervalBox);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(intervalLabel);
    intervalRow->addWidget(m_intervalBox);
    intervalRow->addStretch(1);
    intervalRow->addWidget(m_stateLabel);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_detailLabel);
    layout->addWidget(legend);
    layout->addWidget(m_chart, 1);
    layout->addWidget(m_figuresLabel);
    layout->addLayout(intervalRow);
    layout->addWidget(buttons);
}

void CSignalMeterDlg::ShowReading(const SignalReading& reading)
{
    QPalette bandPalette = m_bandLabel->palette();
    switch (reading.kind) {
    case SignalReading::Kind::Value: {
        const SignalBand band = BandOf(reading.rssi);
        m_valueLabel->setText(QString::number(reading.rssi));
        m_dbmLabel->setText(SignalDbmText(reading.rssi));
        m_bandLabel->setText(BandName(band));
        bandPalette.setColor(QPalette::WindowText, BandColour(band));
        // The bit-error class only when the modem gives one.
        m_detailLabel->setText(reading.HasBitError() ? QStringLiteral("误码等级：%1").arg(reading.bitError) : QString());
        break;
    }
    case SignalReading::Kind::Unknown:
        m_valueLabel->setText(QStringLiteral("未知"));
        m_dbmLabel->clear();
        m_bandLabel->clear();
        m_detailLabel->setText(QStringLiteral("模块报告信号未知 (99)"));
        break;
    case SignalReading::Kind::NotUnderstood:
        m_valueLabel->setText(QStringLiteral("--"));
        m_dbmLabel->clear();
        m_bandLabel->clear();
        m_detailLabel->setText(QStringLiteral("无法识别的回复：") + QString::fromLatin1(reading.raw).trimmed());
        break;
    case SignalReading::Kind::Missed:
        m_valueLabel->setText(QStringLiteral("--"));
        m_dbmLabel->clear();
        m_bandLabel->clear();
        m_detailLabel->setText(QStringLiteral("未应答"));
        break;
    }
    m_bandLabel->setPalette(bandPalette);
    ShowFigures();
}

void CSignalMeterDlg::ShowFigures()
{
    const QDateTime now = QDateTime::currentDateTime();
    const SignalSession& session = m_meter.Session();
    m_chart->Show(&session, now);
    const SignalSession::Figures chart = session.FiguresOfChart(now);
    const SignalSession::Figures run = session.FiguresOfRun();
    const auto level = [](const std::optional<int>& value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    const QString average = chart.average ? QString::number(*chart.average, 'f', 1) : QStringLiteral("-");
    m_figuresLabel->setText(QStringLiteral("最近 5 分钟：最小 %1，最大 %2，平均 %3    未应答 %4 次（共 %5 次查询）")
                                .arg(level(chart.minimum), level(chart.maximum), average)
                                .arg(run.missed)
                                .arg(run.samples));
    if (m_meter.IsRunning())
        m_stateLabel->setText(QStringLiteral("监测中"));
}

void CSignalMeterDlg::OnFinished()
{
    m_chartTimer.stop();
    ShowFigures();
    m_stateLabel->setText(QStringLiteral("已停止"));
    m_intervalBox->setEnabled(false);
}

QString CSignalMeterDlg::ValueText() const
{
    return m_valueLabel->text();
}

QString CSignalMeterDlg::DetailText() const
{
    QStringList parts;
    for (const QLabel* label : {m_dbmLabel, m_bandLabel, m_detailLabel}) {
        if (!label->text().isEmpty())
            parts << label->text();
    }
    return parts.join(QLatin1Char(' '));
}

QString CSignalMeterDlg::FiguresText() const
{
    return m_figuresLabel->text();
}

void CSignalMeterDlg::closeEvent(QCloseEvent* event)
{
    m_meter.Stop();
    QDialog::closeEvent(event);
}

void CSignalMeterDlg::reject()
{
    m_meter.Stop();
    QDialog::reject();
}
