#include "reports/ReportPdf.h"

#include "reports/CReportPainter.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>

bool WriteReportPdf(const ReportDocument& report, const QString& path, QString* why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("无法写入“%1”（%2）").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("%1 %2").arg(report.title, report.number));
        writer.setCreator(QStringLiteral("Sirenset %1").arg(QStringLiteral(SIRENSET_VERSION)));
        if (!PaintReport(writer, report)) {
            file.cancelWriting();
            *why = QStringLiteral("无法生成 PDF“%1”").arg(path);
            return false;
        }
    }
    if (!file.commit()) {
        *why = QStringLiteral("无法写入“%1”（%2）").arg(path, file.errorString());
        return false;
    }
    return true;
}
