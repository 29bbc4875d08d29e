// One acceptance report written as PDF after the checks have ended: eight
// photos of 12 megapixels (4000 × 3000 JPEG), a 60 s signal run, the
// shipped checklist. The goal is one second or less per report.
#include "reports/ReportJson.h"
#include "reports/ReportPdf.h"
#include "reports/ReportTemplate.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

// A photo with detail everywhere, so that it is as costly to decode as a
// camera's: gradients with noise over them.
QString MakePhoto(int index)
{
    const QString path = Folder().filePath(QStringLiteral("photo-%1.jpg").arg(index));
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(index + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = static_cast<int>(random.bounded(40));
            line[x] = qRgb((x / 16 + noise) & 255, (y / 12 + noise) & 255, ((x + y) / 28 + index * 30) & 255);
        }
    }
    image.save(path, "JPEG", 90);
    return path;
}

ReportDocument MakeReport()
{
    const ReportTemplate checklist = DefaultReportTemplate(ReportKind::Acceptance);
    ReportDocument report;
    report.title = checklist.title;
    report.templateName = checklist.name;
    report.signatures = checklist.signatures;
    report.created = QDateTime::currentDateTime();
    report.number = ReportNumber(report.kind, QStringLiteral("1A2B3C4D"), report.created);
    report.identity = {QStringLiteral("1A2B3C4D"), QStringLiteral("13912345678"), QStringLiteral("LRM-200 REV 1.2"),
                       QStringLiteral("1A2B3C4D"), 7, 3, false, QString(64, QLatin1Char('a'))};
    report.site.project = QStringLiteral("县应急广播二期");
    report.site.date = report.created.date();
    for (const QString& id : AutomaticCheckIds())
        report.automatic.push_back({id, AutomaticCheckTitle(id), AutomaticCheck::Outcome::Passed, QStringLiteral("合格"), {}});
    SignalTrace trace;
    for (int second = 0; second < 60; ++second)
        trace.points.push_back({double(second), 15 + second % 5});
    trace.seconds = 60;
    trace.readings = trace.values = 60;
    trace.minimumRssi = 15;
    trace.maximumRssi = 19;
    trace.averageRssi = 17;
    report.signal = trace;
    report.manual = checklist.items;
    for (int i = 0; i < 8; ++i)
        report.photos.push_back({MakePhoto(i), QStringLiteral("照片 %1").arg(i + 1)});
    return report;
}

void BM_AcceptanceReportWithEightPhotos(benchmark::State& state)
{
    static const ReportDocument report = MakeReport();
    const QString pdf = Folder().filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        QString why;
        if (!WriteReportPdf(report, pdf, &why))
            state.SkipWithError(qPrintable(why));
        // The JSON beside it takes the PDF's and the photos' digests.
        WriteReportJson(ReportToJson(report, FileDigest(pdf)), pdf + QStringLiteral(".json"), &why);
    }
    state.counters["pdf_MB"] = QFileInfo(pdf).size() / 1e6;
    state.counters["photo_MB"] = QFileInfo(report.photos[0].file).size() / 1e6;
}
// Wall time, and the CPU of every thread (the photos are decoded side by side).
BENCHMARK(BM_AcceptanceReportWithEightPhotos)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
