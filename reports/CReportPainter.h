#pragma once

#include "reports/ReportTypes.h"

#include <QFont>
#include <QRectF>
#include <QString>

class QPagedPaintDevice;
class QPainter;

// Paints a report onto the pages of a paged device: a PDF writer for
// 保存PDF, a printer for 打印, the same pages either way. The painter is
// begun on the device by the caller; each page that fills up is ended
// with the device's newPage(). Every length is given in millimetres and
// turned into the device's pixels here, so any resolution lays out alike.
class CReportPainter {
public:
    CReportPainter(QPainter& painter, QPagedPaintDevice& device);

    // All pages of `report`.
    void Paint(const ReportDocument& report);

    // The family of the CJK font the pages are set in (embedded in a PDF),
    // the one the window uses too. It maps the Kangxi radicals onto the
    // glyphs of their ideographs, and Qt's PDF writer names each glyph by
    // its lowest character: a reader takes 广 back as the radical ⼴ (the
    // same character in its compatibility form, NFKC) and a few, 车 among
    // them, as radicals without one.
    static QString FontFamily();

private:
    double Px(double mm) const { return mm * m_dotsPerMm; }
    double Mm(double px) const { return px / m_dotsPerMm; }
    QFont Font(double points, bool bold = false) const;
    // Height in mm of `text` set in `font` across `widthMm`, wrapped.
    double TextHeight(const QString& text, const QFont& font, double widthMm) const;
    // Draws wrapped text at the cursor's line, returns its height in mm.
    double DrawText(double xMm, double yMm, double widthMm, const QString& text, const QFont& font,
                    int flags = 0) const;
    // A new page when `heightMm` does not fit below the cursor.
    void Reserve(double heightMm);
    void NewPage();
    void Footer();

    void Header(const ReportDocument& report);
    // A section's title, on the next page unless `keepWithMm` of what
    // follows fits below it too.
    void Section(const QString& title, double keepWithMm = 6);
    // Rows of label and value, two pairs a row.
    void Pairs(const std::vector<std::pair<QString, QString>>& pairs);
    // A table: column widths in mm (summing to the page's width), a header
    // row and rows; each cell wraps, a row is as tall as its tallest cell.
    void Table(const std::vector<double>& widths, const QStringList& header, const std::vector<QStringList>& rows,
               const std::vector<int>& emphasised = {});
    void Identity(const ReportDocument& report);
    void Site(const ReportDocument& report);
    void Automatic(const ReportDocument& report);
    void Chart(const SignalTrace& trace);
    void Manual(const ReportDocument& report);
    void Photos(const ReportDocument& report);
    void Verdict(const ReportDocument& report);
    void Signatures(const ReportDocument& report);

    QPainter& m_painter;
    QPagedPaintDevice& m_device;
    double m_dotsPerMm = 300 / 25.4;
    double m_widthMm = 180;
    double m_heightMm = 267;
    double m_y = 0;  // the cursor, mm from the top of the paintable area
    int m_page = 1;
    QString m_footer;
};

// The report's pages on `device` (A4 is the caller's choice of page size):
// begins a painter, paints, ends it. False when the device cannot be
// painted on (a PDF file that cannot be written).
bool PaintReport(QPagedPaintDevice& device, const ReportDocument& report);
