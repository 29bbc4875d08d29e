#include "reports/CReportPainter.h"

#include "reports/Coordinates.h"
#include "reports/QrCode.h"

#include <QImageReader>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <future>

namespace {

// Received level of a CSQ value, as the signal meter states it.
double DbmOf(double rssi)
{
    return -113 + 2 * rssi;
}

// The quality bands by CSQ, from the lowest: 差 <10, 一般 10–14, 良好
// 15–19, 优秀 ≥20; light tints so the curve stays readable in grey print.
struct Band {
    int fromRssi;
    int toRssi;
    const char* name;
    QColor tint;
};
const Band kBands[] = {
    {0, 10, "差", QColor(250, 222, 222)},
    {10, 15, "一般", QColor(252, 240, 214)},
    {15, 20, "良好", QColor(226, 242, 226)},
    {20, 31, "优秀", QColor(214, 234, 248)},
};

QString BandNameOf(double rssi)
{
    for (const Band& band : kBands) {
        if (rssi < band.toRssi)
            return QString::fromUtf8(band.name);
    }
    return QString::fromUtf8(kBands[3].name);
}

QString DbmText(double rssi, int decimals = 0)
{
    return QStringLiteral("%1 dBm").arg(DbmOf(rssi), 0, 'f', decimals);
}

constexpr double kLineMm = 0.25;

// A photo decoded at about the size it is printed (200 dpi): a 12
// megapixel JPEG is read at a fraction of its pixels.
QImage DecodePhoto(const QString& file, const QSizeF& boxMm)
{
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid())
        return {};
    const QSizeF box(boxMm.width() / 25.4 * 200, boxMm.height() / 25.4 * 200);
    const QSizeF fit = QSizeF(size).scaled(box, Qt::KeepAspectRatio);
    if (fit.width() < size.width())
        reader.setScaledSize(fit.toSize());
    return reader.read();
}

// Every photo decoded at once, one thread each: decoding is most of a
// report's time, and the photos do not depend on one another.
std::vector<QImage> DecodePhotos(const std::vector<ReportPhoto>& photos, const QSizeF& boxMm)
{
    std::vector<std::future<QImage>> pending;
    for (const ReportPhoto& photo : photos)
        pending.push_back(std::async(std::launch::async, DecodePhoto, photo.file, boxMm));
    std::vector<QImage> images;
    for (std::future<QImage>& image : pending)
        images.push_back(image.get());
    return images;
}
constexpr double kCellPadMm = 1.0;

}  // namespace

CReportPainter::CReportPainter(QPainter& painter, QPagedPaintDevice& device)
    : m_painter(painter), m_device(device)
{
    m_dotsPerMm = device.logicalDpiY() / 25.4;
    m_widthMm = Mm(device.width());
    m_heightMm = Mm(device.height());
}

QString CReportPainter::FontFamily()
{
    return QStringLiteral("Noto Sans CJK SC");
}

QFont CReportPainter::Font(double points, bool bold) const
{
    QFont font(FontFamily());
    // Unshaped, Latin text keeps the glyphs the font's character map names,
    // so a PDF reader gets the text back: shaped, digits between Latin
    // letters take glyphs it cannot map ("1A2B3C4D" read as " A B C D").
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

double CReportPainter::TextHeight(const QString& text, const QFont& font, double widthMm) const
{
    m_painter.setFont(font);
    const QRectF bounds = m_painter.boundingRect(QRectF(0, 0, Px(widthMm), 1e6), Qt::TextWordWrap, text);
    return Mm(bounds.height());
}

double CReportPainter::DrawText(double xMm, double yMm, double widthMm, const QString& text, const QFont& font,
                                int flags) const
{
    m_painter.setFont(font);
    QRectF drawn;
    m_painter.drawText(QRectF(Px(xMm), Px(yMm), Px(widthMm), 1e6), flags | Qt::TextWordWrap, text, &drawn);
    return Mm(drawn.height());
}

void CReportPainter::Footer()
{
    const QFont font = Font(8);
    m_painter.setPen(Qt::darkGray);
    DrawText(0, m_heightMm - 5, m_widthMm, QStringLiteral("%1    第 %2 页").arg(m_footer).arg(m_page), font,
             Qt::AlignRight);
    m_painter.setPen(Qt::black);
}

void CReportPainter::NewPage()
{
    Footer();
    m_device.newPage();
    ++m_page;
    m_y = 0;
}

void CReportPainter::Reserve(double heightMm)
{
    // The footer keeps the last 8 mm of every page.
    if (m_y + heightMm > m_heightMm - 8 && m_y > 0)
        NewPage();
}

void CReportPainter::Header(const ReportDocument& report)
{
    const double qrMm = 28;
    const QrCode code = QrCode::Encode(QrPayload(report).toUtf8());
    if (!code.IsEmpty()) {
        // A quiet zone of four modules, as readers expect.
        const double module = qrMm / (code.size + 8);
        const double left = m_widthMm - qrMm + 4 * module;
        m_painter.fillRect(QRectF(Px(m_widthMm - qrMm), 0, Px(qrMm), Px(qrMm)), Qt::white);
        for (int y = 0; y < code.size; ++y) {
            for (int x = 0; x < code.size; ++x) {
                if (code.IsDark(x, y))
                    m_painter.fillRect(QRectF(Px(left + x * module), Px(4 * module + y * module), Px(module) + 0.5,
                                              Px(module) + 0.5),
                                       Qt::black);
            }
        }
    }
    const double textWidth = m_widthMm - qrMm - 4;
    m_y = 4;
    m_y += DrawText(0, m_y, textWidth, report.title.isEmpty() ? ReportKindName(report.kind) : report.title,
                    Font(17, true));
    m_y += 2;
    m_y += DrawText(0, m_y, textWidth, QStringLiteral("报告编号：%1").arg(report.number), Font(10));
    m_y += DrawText(0, m_y, textWidth,
                    QStringLiteral("生成时间：%1").arg(report.created.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                    Font(10));
    if (!report.templateName.isEmpty())
        m_y += DrawText(0, m_y, textWidth, QStringLiteral("检查表：%1").arg(report.templateName), Font(10));
    m_y = std::max(m_y, qrMm) + 3;
    m_painter.setPen(QPen(Qt::black, Px(0.5)));
    m_painter.drawLine(QPointF(0, Px(m_y)), QPointF(Px(m_widthMm), Px(m_y)));
    m_y += 3;
}

void CReportPainter::Section(const QString& title, double keepWithMm)
{
    Reserve(10 + keepWithMm);
    m_y += 2;
    m_y += DrawText(0, m_y, m_widthMm, title, Font(12, true));
    m_y += 1.5;
}

void CReportPainter::Table(const std::vector<double>& widths, const QStringList& header,
                           const std::vector<QStringList>& rows, const std::vector<int>& emphasised)
{
    const QFont bodyFont = Font(9);
    const QFont headFont = Font(9, true);
    const auto rowHeight = [&](const QStringList& cells, const QFont& font) {
        double height = 0;
        for (std::size_t c = 0; c < widths.size(); ++c)
            height = std::max(height, TextHeight(cells.value(static_cast<qsizetype>(c)), font,
                                                 widths[c] - 2 * kCellPadMm));
        return height + 2 * kCellPadMm;
    };
    const auto drawRow = [&](const QStringList& cells, const QFont& font, double height, bool shaded, int boldColumn) {
        double x = 0;
        m_painter.setPen(QPen(Qt::black, Px(kLineMm)));
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QRectF cell(Px(x), Px(m_y), Px(widths[c]), Px(height));
            if (shaded)
                m_painter.fillRect(cell, QColor(236, 236, 236));
            m_painter.drawRect(cell);
            const bool bold = static_cast<int>(c) == boldColumn;
            DrawText(x + kCellPadMm, m_y + kCellPadMm, widths[c] - 2 * kCellPadMm,
                     cells.value(static_cast<qsizetype>(c)), bold ? Font(9, true) : font);
            x += widths[c];
        }
        m_y += height;
    };
    const double headHeight = rowHeight(header, headFont);
    Reserve(headHeight + 8);
    drawRow(header, headFont, headHeight, true, -1);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const double height = rowHeight(rows[r], bodyFont);
        if (m_y + height > m_heightMm - 8) {
            // The header again at the top of the next page.
            NewPage();
            drawRow(header, headFont, headHeight, true, -1);
        }
        drawRow(rows[r], bodyFont, height, false, emphasised.empty() ? -1 : emphasised[r]);
    }
    m_y += 2;
}

void CReportPainter::Pairs(const std::vector<std::pair<QString, QString>>& pairs)
{
    const double label = 30;
    const double value = m_widthMm / 2 - label;
    std::vector<QStringList> rows;
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        QStringList row{pairs[i].first, pairs[i].second};
        if (i + 1 < pairs.size())
            row << pairs[i + 1].first << pairs[i + 1].second;
        rows.push_back(row);
    }
    // No header row: the pairs name themselves.
    const QFont font = Font(9);
    const QFont labelFont = Font(9, true);
    const std::vector<double> fourColumns{label, value, label, value};
    for (const QStringList& row : rows) {
        // A lone last pair takes the whole row (a digest needs the width).
        const std::vector<double> widths = row.size() == 2 ? std::vector<double>{label, m_widthMm - label} : fourColumns;
        double height = 0;
        for (std::size_t c = 0; c < widths.size(); ++c)
            height = std::max(height, TextHeight(row.value(static_cast<qsizetype>(c)), c % 2 ? font : labelFont,
                                                 widths[c] - 2 * kCellPadMm));
        height += 2 * kCellPadMm;
        Reserve(height);
        double x = 0;
        m_painter.setPen(QPen(Qt::black, Px(kLineMm)));
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QRectF cell(Px(x), Px(m_y), Px(widths[c]), Px(height));
            if (c % 2 == 0)
                m_painter.fillRect(cell, QColor(244, 244, 244));
            m_painter.drawRect(cell);
            DrawText(x + kCellPadMm, m_y + kCellPadMm, widths[c] - 2 * kCellPadMm, row.value(static_cast<qsizetype>(c)),
                     c % 2 ? font : labelFont);
            x += widths[c];
        }
        m_y += height;
    }
    m_y += 2;
}

void CReportPainter::Identity(const ReportDocument& report)
{
    const ReportIdentity& identity = report.identity;
    QString snapshot = QStringLiteral("未记录");
    if (identity.snapshotId > 0)
        snapshot = QStringLiteral("%1@%2（快照 %3）").arg(identity.deviceKey).arg(identity.snapshotNumber).arg(identity.snapshotId);
    else if (identity.recordPending)
        snapshot = QStringLiteral("暂存待写队列");
    Section(QStringLiteral("一、设备信息"));
    Pairs({{QStringLiteral("设备ID"), identity.deviceId},
           {QStringLiteral("SIM卡号"), identity.simNumber},
           {QStringLiteral("通信模块"), identity.module.isEmpty() ? QStringLiteral("（无回复）") : identity.module},
           {QStringLiteral("档案快照"), snapshot},
           {QStringLiteral("快照SHA-256"), identity.snapshotDigest}});
}

void CReportPainter::Site(const ReportDocument& report)
{
    const ReportSite& site = report.site;
    QString coordinates;
    if (site.latitude && site.longitude)
        coordinates = CoordinateText(*site.latitude, CoordinateAxis::Latitude) + QLatin1Char(' ')
            + CoordinateText(*site.longitude, CoordinateAxis::Longitude);
    Section(QStringLiteral("二、安装地点"));
    Pairs({{QStringLiteral("项目"), site.project},
           {QStringLiteral("站点名称"), site.siteName},
           {QStringLiteral("地址"), site.address},
           {QStringLiteral("坐标"), coordinates},
           {QStringLiteral("安装单位"), site.installer},
           {QStringLiteral("施工技术员"), site.technician},
           {QStringLiteral("建设单位代表"), site.customerRepresentative},
           {QStringLiteral("日期"), site.date.toString(QStringLiteral("yyyy-MM-dd"))}});
}

void CReportPainter::Automatic(const ReportDocument& report)
{
    Section(QStringLiteral("三、自动检查（经串口依次执行）"));
    std::vector<QStringList> rows;
    std::vector<int> emphasised;
    int index = 1;
    for (const AutomaticCheck& check : report.automatic) {
        QString text = check.result;
        for (const QString& detail : check.details)
            text += QLatin1Char('\n') + detail;
        rows.push_back({QString::number(index++), check.title, OutcomeText(check.outcome), text});
        emphasised.push_back(check.outcome == AutomaticCheck::Outcome::Failed ? 2 : -1);
    }
    Table({10, 28, 18, m_widthMm - 56}, {QStringLiteral("序号"), QStringLiteral("检查项"), QStringLiteral("结果"),
                                           QStringLiteral("说明")},
          rows, emphasised);
    if (report.signal)
        Chart(*report.signal);
}

void CReportPainter::Chart(const SignalTrace& trace)
{
    const double height = 52;
    Reserve(height + 10);
    m_y += DrawText(0, m_y, m_widthMm, QStringLiteral("信号强度曲线（dBm，%1 秒，%2 次读数）").arg(trace.seconds, 0, 'f', 0).arg(trace.readings),
                    Font(10, true));
    m_y += 3;
    const double left = 16;
    const double plotWidth = m_widthMm - left - 16;
    const QRectF plot(Px(left), Px(m_y), Px(plotWidth), Px(height - 8));
    const double lowest = 0;
    const double highest = 31;
    const auto yOf = [&](double rssi) { return plot.bottom() - (rssi - lowest) / (highest - lowest) * plot.height(); };
    const double span = std::max(trace.seconds, 1.0);
    const auto xOf = [&](double seconds) { return plot.left() + std::clamp(seconds / span, 0.0, 1.0) * plot.width(); };

    const QFont small = Font(7.5);
    for (const Band& band : kBands) {
        const QRectF stripe(plot.left(), yOf(band.toRssi), plot.width(), yOf(band.fromRssi) - yOf(band.toRssi));
        m_painter.fillRect(stripe, band.tint);
        m_painter.setPen(Qt::darkGray);
        DrawText(Mm(plot.right()) + 1, Mm(stripe.center().y()) - 1.5, 15, QString::fromUtf8(band.name), small);
    }
    // The dBm scale at the band edges.
    m_painter.setPen(Qt::darkGray);
    for (const int rssi : {0, 10, 15, 20, 31}) {
        DrawText(0, Mm(yOf(rssi)) - 1.5, left - 1, QStringLiteral("%1").arg(DbmOf(rssi)), small, Qt::AlignRight);
        m_painter.setPen(QPen(QColor(180, 180, 180), Px(0.15)));
        m_painter.drawLine(QPointF(plot.left(), yOf(rssi)), QPointF(plot.right(), yOf(rssi)));
        m_painter.setPen(Qt::darkGray);
    }
    DrawText(Mm(plot.left()), Mm(plot.bottom()) + 0.5, 20, QStringLiteral("0 秒"), small);
    DrawText(Mm(plot.right()) - 30, Mm(plot.bottom()) + 0.5, 30, QStringLiteral("%1 秒").arg(span, 0, 'f', 0), small,
             Qt::AlignRight);

    // The curve; a reading without a level leaves a gap.
    QPainterPath path;
    bool drawing = false;
    for (const SignalTrace::Point& point : trace.points) {
        if (!point.rssi) {
            drawing = false;
            continue;
        }
        const QPointF at(xOf(point.seconds), yOf(*point.rssi));
        if (drawing)
            path.lineTo(at);
        else
            path.moveTo(at);
        drawing = true;
        m_painter.setBrush(QColor(20, 70, 160));
        m_painter.setPen(Qt::NoPen);
        m_painter.drawEllipse(at, Px(0.5), Px(0.5));
    }
    m_painter.setBrush(Qt::NoBrush);
    m_painter.setPen(QPen(QColor(20, 70, 160), Px(0.45)));
    m_painter.drawPath(path);
    if (trace.averageRssi) {
        m_painter.setPen(QPen(QColor(200, 60, 20), Px(0.3), Qt::DashLine));
        m_painter.drawLine(QPointF(plot.left(), yOf(*trace.averageRssi)), QPointF(plot.right(), yOf(*trace.averageRssi)));
    }
    m_painter.setPen(QPen(Qt::black, Px(kLineMm)));
    m_painter.drawRect(plot);
    m_y = Mm(plot.bottom()) + 4;
    QString figures = QStringLiteral("未读到信号强度");
    if (trace.minimumRssi && trace.maximumRssi && trace.averageRssi)
        figures = QStringLiteral("最小 %1，平均 %2，最大 %3，质量 %4（红色虚线为平均值）")
                      .arg(DbmText(*trace.minimumRssi), DbmText(*trace.averageRssi, 1), DbmText(*trace.maximumRssi),
                           BandNameOf(*trace.averageRssi));
    m_painter.setPen(Qt::black);
    m_y += DrawText(0, m_y, m_widthMm, figures, Font(9.5));
    m_y += 2;
}

void CReportPainter::Manual(const ReportDocument& report)
{
    Section(QStringLiteral("四、现场检查"));
    std::vector<QStringList> rows;
    std::vector<int> emphasised;
    for (const ManualCheck& check : report.manual) {
        rows.push_back({check.group, check.text, check.required ? QStringLiteral("是") : QStringLiteral("否"),
                        ManualResultText(check.result), check.note});
        const bool bad = check.result == ManualCheck::Result::Failed
            || (check.required && check.result == ManualCheck::Result::NotChecked);
        emphasised.push_back(bad ? 3 : -1);
    }
    Table({36, 64, 12, 16, m_widthMm - 128},
          {QStringLiteral("类别"), QStringLiteral("检查项"), QStringLiteral("必检"), QStringLiteral("结果"),
           QStringLiteral("备注")},
          rows, emphasised);
}

void CReportPainter::Photos(const ReportDocument& report)
{
    if (report.photos.empty())
        return;
    const double gap = 6;
    const double boxWidth = (m_widthMm - gap) / 2;
    const double boxHeight = 64;
    const std::vector<QImage> images = DecodePhotos(report.photos, QSizeF(boxWidth, boxHeight));
    // The title stays with the first row of photos.
    Section(QStringLiteral("五、现场照片"), boxHeight + 14);
    for (std::size_t i = 0; i < report.photos.size(); i += 2) {
        Reserve(boxHeight + 12);
        double rowHeight = 0;
        for (std::size_t k = i; k < std::min(i + 2, report.photos.size()); ++k) {
            const ReportPhoto& photo = report.photos[k];
            const double x = (k - i) * (boxWidth + gap);
            const QImage& image = images[k];
            double drawnHeight = 10;
            if (!image.isNull()) {
                const QSizeF shown = QSizeF(image.size()).scaled(QSizeF(boxWidth, boxHeight), Qt::KeepAspectRatio);
                m_painter.drawImage(QRectF(Px(x + (boxWidth - shown.width()) / 2), Px(m_y), Px(shown.width()),
                                           Px(shown.height())),
                                    image);
                drawnHeight = shown.height();
            } else {
                DrawText(x, m_y, boxWidth, QStringLiteral("（无法读取照片：%1）").arg(photo.file), Font(9));
            }
            const double caption = DrawText(x, m_y + drawnHeight + 1, boxWidth,
                                            QStringLiteral("图 %1  %2").arg(k + 1).arg(photo.caption), Font(9),
                                            Qt::AlignHCenter);
            rowHeight = std::max(rowHeight, drawnHeight + 1 + caption);
        }
        m_y += rowHeight + 4;
    }
}

void CReportPainter::Verdict(const ReportDocument& report)
{
    const QStringList reasons = report.VerdictReasons();
    Section(report.photos.empty() ? QStringLiteral("五、结论") : QStringLiteral("六、结论"), 10 + 5 * reasons.size());
    const QString label = report.kind == ReportKind::Acceptance ? QStringLiteral("验收结论：") : QStringLiteral("巡检结论：");
    m_painter.setPen(reasons.isEmpty() ? QColor(0, 110, 40) : QColor(180, 20, 20));
    m_y += DrawText(0, m_y, m_widthMm, label + VerdictText(reasons.isEmpty()), Font(15, true));
    m_painter.setPen(Qt::black);
    for (const QString& reason : reasons)
        m_y += DrawText(4, m_y, m_widthMm - 4, QStringLiteral("· ") + reason, Font(9.5));
    m_y += 2;
}

void CReportPainter::Signatures(const ReportDocument& report)
{
    Section(report.photos.empty() ? QStringLiteral("六、签字") : QStringLiteral("七、签字"),
            12 * report.signatures.size() + 4);
    for (const QString& role : report.signatures) {
        m_y += 8;
        const QFont font = Font(10.5);
        DrawText(0, m_y - 4.5, 45, role + QStringLiteral("（签字）："), font);
        DrawText(110, m_y - 4.5, 20, QStringLiteral("日期："), font);
        m_painter.setPen(QPen(Qt::black, Px(kLineMm)));
        m_painter.drawLine(QPointF(Px(45), Px(m_y)), QPointF(Px(105), Px(m_y)));
        m_painter.drawLine(QPointF(Px(122), Px(m_y)), QPointF(Px(m_widthMm), Px(m_y)));
        m_y += 4;
    }
}

void CReportPainter::Paint(const ReportDocument& report)
{
    m_footer = QStringLiteral("%1  %2").arg(ReportKindName(report.kind), report.number);
    m_page = 1;
    m_painter.setRenderHint(QPainter::Antialiasing);
    Header(report);
    Identity(report);
    Site(report);
    Automatic(report);
    Manual(report);
    Photos(report);
    Verdict(report);
    Signatures(report);
    Footer();
}

bool PaintReport(QPagedPaintDevice& device, const ReportDocument& report)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    CReportPainter(painter, device).Paint(report);
    return painter.end();
}
