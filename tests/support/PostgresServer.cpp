#include "support/PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {
namespace {

// The user the server runs as when the tests run as root: initdb and
// postgres refuse root.
constexpr const char* kServerUser = "nobody";
constexpr const char* kDatabaseUser = "sirenset";

QString FindBinDir()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : versions) {
        const QString bin = root.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

}  // namespace

PostgresServer::PostgresServer()
    : m_binDir(FindBinDir())
{
}

PostgresServer::~PostgresServer()
{
    if (m_running) {
        QString ignored;
        Run(m_binDir + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_dataDir, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
             QStringLiteral("stop")},
            &ignored);
    }
}

bool PostgresServer::Available()
{
    return !FindBinDir().isEmpty();
}

bool PostgresServer::Run(const QString& program, const QStringList& arguments, QString* why, int limitMs)
{
    QProcess process;
    if (geteuid() == 0) {
        process.setProgram(QStringLiteral("runuser"));
        process.setArguments(QStringList{QStringLiteral("-u"), QString::fromLatin1(kServerUser), QStringLiteral("--"),
                                         program}
                             + arguments);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir ? m_dir->path() : QDir::tempPath());
    process.start();
    if (!process.waitForFinished(limitMs) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PostgresServer::Start(QString* why)
{
    if (m_binDir.isEmpty()) {
        *why = QStringLiteral("no PostgreSQL binaries under /usr/lib/postgresql");
        return false;
    }
    // Short: a socket's path must fit in 107 bytes.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/sspg-XXXXXX"));
    if (!m_dir->isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    m_dataDir = m_dir->filePath(QStringLiteral("data"));
    m_socketDir = m_dir->path();
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kServerUser);
        if (!user || chown(m_socketDir.toLocal8Bit().constData(), user->pw_uid, user->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand the folder to %1").arg(QString::fromLatin1(kServerUser));
            return false;
        }
    }
    if (!Run(m_binDir + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), m_dataDir, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser),
              QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-locale"),
              QStringLiteral("--no-sync")},
             why))
        return false;
    return StartServer(why);
}

bool PostgresServer::StartServer(QString* why)
{
    const QString options =
        QStringLiteral("-c listen_addresses='' -k %1 -c fsync=off -c full_page_writes=off").arg(m_socketDir);
    if (!Run(m_binDir + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), m_dataDir, QStringLiteral("-o"), options, QStringLiteral("-l"),
              m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("start")},
             why))
        return false;
    m_running = true;
    return true;
}

bool PostgresServer::Stop(QString* why)
{
    if (!Run(m_binDir + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), m_dataDir, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
              QStringLiteral("stop")},
             why))
        return false;
    m_running = false;
    return true;
}

bool PostgresServer::Restart(QString* why)
{
    return StartServer(why);
}

QString PostgresServer::CreateDatabase(const QString& name, QString* why)
{
    if (!Run(m_binDir + QStringLiteral("/createdb"),
             {QStringLiteral("-h"), m_socketDir, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser), name}, why))
        return {};
    return Address(name);
}

QString PostgresServer::Address(const QString& name) const
{
    return QStringLiteral("postgresql://%1@localhost/%2?host=%3")
        .arg(QString::fromLatin1(kDatabaseUser), name, m_socketDir);
}

}  // namespace testsupport
