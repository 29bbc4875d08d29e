#include "terminal/CSendHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kFormatName = QStringLiteral("sirenset-send-history");
constexpr int kVersion = 1;

}  // namespace

CSendHistory::CSendHistory(QString path) : m_path(std::move(path)), m_entries(ReadFile()) {}

QString CSendHistory::DefaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/send-history.json");
}

bool CSendHistory::IsKept(const SentEntry& entry)
{
    return !entry.text.isEmpty() && entry.text.size() <= kMaxEntryLength;
}

bool CSendHistory::Add(const SentEntry& entry)
{
    if (!IsKept(entry))
        return true;
    if (!m_entries.isEmpty() && m_entries.front() == entry)
        return true;  // nothing changes: no write
    return MergeAndWrite(entry);
}

bool CSendHistory::MergeAndWrite(const SentEntry& newest)
{
    // Another window's write must not fall between our read and our write;
    // if its lock cannot be had in time, the merge is still written.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(kLockWaitMs);
    // Newest first: this send, then what the file holds (the other
    // windows' sends and ours as last written), then any of ours the file
    // lacks (it was replaced, or an earlier write failed).
    QList<SentEntry> merged{newest};
    for (const QList<SentEntry>& source : {ReadFile(), m_entries}) {
        for (const SentEntry& entry : source) {
            if (merged.size() < kLimit && !merged.contains(entry))
                merged << entry;
        }
    }
    m_entries = merged;
    return Write();
}

QList<SentEntry> CSendHistory::ReadFile() const
{
    QList<SentEntry> entries;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("format")).toString() != kFormatName
        || root.value(QStringLiteral("version")).toInt() != kVersion)
        return entries;
    for (const QJsonValue& value : root.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject object = value.toObject();
        const SentEntry entry{object.value(QStringLiteral("text")).toString(),
                              object.value(QStringLiteral("hex")).toBool()};
        if (IsKept(entry) && !entries.contains(entry) && entries.size() < kLimit)
            entries << entry;
    }
    return entries;
}

bool CSendHistory::Write() const
{
    QJsonArray entries;
    for (const SentEntry& entry : m_entries)
        entries.append(QJsonObject{{QStringLiteral("text"), entry.text}, {QStringLiteral("hex"), entry.hex}});
    const QJsonObject root{{QStringLiteral("format"), kFormatName},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("entries"), entries}};
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return file.commit();
}
