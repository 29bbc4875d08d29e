#include "reports/ReportJson.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <future>
#include <vector>

namespace {

QJsonValue Optional(const std::optional<double>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue Optional(const std::optional<int>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QString OutcomeKey(AutomaticCheck::Outcome outcome)
{
    switch (outcome) {
    case AutomaticCheck::Outcome::Passed:
        return QStringLiteral("passed");
    case AutomaticCheck::Outcome::Failed:
        return QStringLiteral("failed");
    case AutomaticCheck::Outcome::Skipped:
        break;
    }
    return QStringLiteral("skipped");
}

}  // namespace

QString FileDigest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject ReportToJson(const ReportDocument& report, const QString& pdfDigest)
{
    const ReportIdentity& identity = report.identity;
    const ReportSite& site = report.site;
    QJsonArray automatic;
    for (const AutomaticCheck& check : report.automatic)
        automatic.append(QJsonObject{{QStringLiteral("id"), check.id},
                                     {QStringLiteral("title"), check.title},
                                     {QStringLiteral("outcome"), OutcomeKey(check.outcome)},
                                     {QStringLiteral("resultText"), OutcomeText(check.outcome)},
                                     {QStringLiteral("result"), check.result},
                                     {QStringLiteral("details"), QJsonArray::fromStringList(check.details)}});
    QJsonArray manual;
    for (const ManualCheck& check : report.manual)
        manual.append(QJsonObject{{QStringLiteral("id"), check.id},
                                  {QStringLiteral("group"), check.group},
                                  {QStringLiteral("text"), check.text},
                                  {QStringLiteral("required"), check.required},
                                  {QStringLiteral("result"), ManualResultText(check.result)},
                                  {QStringLiteral("note"), check.note}});
    // Photos are large: their digests are taken side by side.
    std::vector<std::future<QString>> digests;
    for (const ReportPhoto& photo : report.photos)
        digests.push_back(std::async(std::launch::async, FileDigest, photo.file));
    QJsonArray photos;
    for (std::size_t i = 0; i < report.photos.size(); ++i)
        photos.append(QJsonObject{{QStringLiteral("file"), report.photos[i].file},
                                  {QStringLiteral("caption"), report.photos[i].caption},
                                  {QStringLiteral("sha256"), digests[i].get()}});
    QJsonObject json{
        {QStringLiteral("kind"),
         report.kind == ReportKind::Acceptance ? QStringLiteral("acceptance") : QStringLiteral("inspection")},
        {QStringLiteral("number"), report.number},
        {QStringLiteral("title"), report.title},
        {QStringLiteral("template"), report.templateName},
        {QStringLiteral("created"), report.created.toString(Qt::ISODate)},
        {QStringLiteral("identity"),
         QJsonObject{{QStringLiteral("deviceId"), identity.deviceId},
                     {QStringLiteral("simNumber"), identity.simNumber},
                     {QStringLiteral("module"), identity.module},
                     {QStringLiteral("deviceKey"), identity.deviceKey},
                     {QStringLiteral("snapshotId"), identity.snapshotId > 0 ? QJsonValue(identity.snapshotId) : QJsonValue()},
                     {QStringLiteral("snapshot"), identity.snapshotNumber > 0 ? QJsonValue(identity.snapshotNumber) : QJsonValue()},
                     {QStringLiteral("recordPending"), identity.recordPending},
                     {QStringLiteral("snapshotSha256"), identity.snapshotDigest}}},
        {QStringLiteral("site"),
         QJsonObject{{QStringLiteral("project"), site.project},
                     {QStringLiteral("siteName"), site.siteName},
                     {QStringLiteral("address"), site.address},
                     {QStringLiteral("latitude"), Optional(site.latitude)},
                     {QStringLiteral("longitude"), Optional(site.longitude)},
                     {QStringLiteral("installer"), site.installer},
                     {QStringLiteral("technician"), site.technician},
                     {QStringLiteral("customerRepresentative"), site.customerRepresentative},
                     {QStringLiteral("date"), site.date.toString(Qt::ISODate)}}},
        {QStringLiteral("automatic"), automatic},
        {QStringLiteral("manual"), manual},
        {QStringLiteral("photos"), photos},
        {QStringLiteral("signatures"), QJsonArray::fromStringList(report.signatures)},
        {QStringLiteral("verdict"), VerdictText(report.Passed())},
        {QStringLiteral("verdictReasons"), QJsonArray::fromStringList(report.VerdictReasons())},
        {QStringLiteral("qr"), QrPayload(report)},
    };
    if (report.signal) {
        const SignalTrace& trace = *report.signal;
        QJsonArray points;
        for (const SignalTrace::Point& point : trace.points)
            points.append(QJsonArray{point.seconds, Optional(point.rssi)});
        json.insert(QStringLiteral("signal"),
                    QJsonObject{{QStringLiteral("seconds"), trace.seconds},
                                {QStringLiteral("readings"), trace.readings},
                                {QStringLiteral("values"), trace.values},
                                {QStringLiteral("minimumRssi"), Optional(trace.minimumRssi)},
                                {QStringLiteral("maximumRssi"), Optional(trace.maximumRssi)},
                                {QStringLiteral("averageRssi"), Optional(trace.averageRssi)},
                                {QStringLiteral("points"), points}});
    }
    if (!pdfDigest.isEmpty())
        json.insert(QStringLiteral("pdfSha256"), pdfDigest);
    return json;
}

bool WriteReportJson(const QJsonObject& json, const QString& path, QString* why)
{
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(json).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *why = QStringLiteral("无法写入“%1”（%2）").arg(path, file.errorString());
        return false;
    }
    return true;
}
