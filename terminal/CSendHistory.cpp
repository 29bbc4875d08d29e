#include "terminal/CSendHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kFormatName = QStringLiteral("sirenset-send-history");
constexpr int kVersion = 1;

}  // namespace

CSendHistory::CSendHistory(QString path) : m_path(std::move(path))
{
    Read();
}

QString CSendHistory::DefaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/send-history.json");
}

bool CSendHistory::Add(const SentEntry& entry)
{
    if (entry.text.isEmpty())
        return true;
    if (!m_entries.isEmpty() && m_entries.front() == entry)
        return true;  // nothing changes: no write
    m_entries.removeAll(entry);
    m_entries.prepend(entry);
    while (m_entries.size() > kLimit)
        m_entries.removeLast();
    return Write();
}

void CSendHistory::Read()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("format")).toString() != kFormatName
        || root.value(QStringLiteral("version")).toInt() != kVersion)
        return;
    for (const QJsonValue& value : root.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject object = value.toObject();
        const SentEntry entry{object.value(QStringLiteral("text")).toString(),
                              object.value(QStringLiteral("hex")).toBool()};
        if (!entry.text.isEmpty() && !m_entries.contains(entry) && m_entries.size() < kLimit)
            m_entries << entry;
    }
}

bool CSendHistory::Write() const
{
    QJsonArray entries;
    for (const SentEntry& entry : m_entries)
        entries.append(QJsonObject{{QStringLiteral("text"), entry.text}, {QStringLiteral("hex"), entry.hex}});
    const QJsonObject root{{QStringLiteral("format"), kFormatName},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("entries"), entries}};
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return file.commit();
}
