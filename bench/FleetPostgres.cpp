#include "FleetPostgres.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr const char* kServerUser = "nobody";
constexpr const char* kDatabaseUser = "sirenset";
constexpr int kCommandLimitMs = 120000;

QString PostgresBinDir()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : versions) {
        const QString bin = root.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

}  // namespace

FleetPostgres::FleetPostgres(QString folder) : m_folder(std::move(folder)), m_binDir(PostgresBinDir()) {}

FleetPostgres::~FleetPostgres()
{
    if (m_running) {
        QString ignored;
        Run(m_binDir + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_folder + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")},
            &ignored);
    }
}

bool FleetPostgres::Run(const QString& program, const QStringList& arguments, QString* why, QString* output)
{
    QProcess process;
    if (geteuid() == 0) {
        process.setProgram(QStringLiteral("runuser"));
        process.setArguments(QStringList{QStringLiteral("-u"), QString::fromLatin1(kServerUser), QStringLiteral("--"), program}
                             + arguments);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
    }
    process.setWorkingDirectory(m_folder);
    process.start();
    if (!process.waitForFinished(kCommandLimitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *why = QStringLiteral("%1 failed: %2%3")
                   .arg(program, QString::fromLocal8Bit(process.readAllStandardError()),
                        QString::fromLocal8Bit(process.readAllStandardOutput()));
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return true;
}

bool FleetPostgres::Start(QString* why)
{
    if (m_binDir.isEmpty()) {
        *why = QStringLiteral("no PostgreSQL binaries under /usr/lib/postgresql");
        return false;
    }
    if (!QDir().mkpath(m_folder)) {
        *why = QStringLiteral("cannot make %1").arg(m_folder);
        return false;
    }
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kServerUser);
        if (!user || chown(m_folder.toLocal8Bit().constData(), user->pw_uid, user->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand %1 to %2").arg(m_folder, QString::fromLatin1(kServerUser));
            return false;
        }
    }
    const QString data = m_folder + QStringLiteral("/data");
    if (!QFile::exists(data + QStringLiteral("/PG_VERSION"))
        && !Run(m_binDir + QStringLiteral("/initdb"),
                {QStringLiteral("-D"), data, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser),
                 QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                 QStringLiteral("--no-locale")},
                why))
        return false;
    // As a server would run: fsync on, so a visit's figure includes its
    // commit reaching the disk.
    const QString options = QStringLiteral("-c listen_addresses='' -k %1 -c shared_buffers=256MB").arg(m_folder);
    if (!Run(m_binDir + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), data, QStringLiteral("-o"), options, QStringLiteral("-l"),
              m_folder + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("start")},
             why))
        return false;
    m_running = true;
    return true;
}

QString FleetPostgres::Database(const QString& name, QString* why)
{
    QString output;
    const QStringList base{QStringLiteral("-h"), m_folder, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser)};
    if (!Run(m_binDir + QStringLiteral("/psql"),
             base + QStringList{QStringLiteral("-d"), QStringLiteral("postgres"), QStringLiteral("-tAc"),
                                QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(name)},
             why, &output))
        return {};
    if (output.trimmed() != QLatin1String("1")
        && !Run(m_binDir + QStringLiteral("/createdb"), base + QStringList{name}, why))
        return {};
    return QStringLiteral("postgresql://%1@localhost/%2?host=%3").arg(QString::fromLatin1(kDatabaseUser), name, m_folder);
}

qint64 FleetPostgres::DatabaseBytes(const QString& name)
{
    QString output;
    QString why;
    if (!Run(m_binDir + QStringLiteral("/psql"),
             {QStringLiteral("-h"), m_folder, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser), QStringLiteral("-d"),
              QStringLiteral("postgres"), QStringLiteral("-tAc"),
              QStringLiteral("SELECT pg_database_size('%1')").arg(name)},
             &why, &output))
        return -1;
    return output.trimmed().toLongLong();
}
