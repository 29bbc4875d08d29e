#include "support/PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
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

// A TCP port of 127.0.0.1 free now (the server takes it a moment later; a
// start that loses the race is tried again with another).
int FreeLoopbackPort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(probe);
    return port;
}

constexpr int kStartAttempts = 3;

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
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        // A restart keeps its port, so addresses handed out stay right.
        if (m_loopback && (m_port == 0 || attempt > 0))
            m_port = FreeLoopbackPort();
        const QString listen = m_port > 0 ? QStringLiteral("-c listen_addresses='127.0.0.1' -p %1").arg(m_port)
                                          : QStringLiteral("-c listen_addresses=''");
        const QString options =
            QStringLiteral("%1 -k %2 -c fsync=off -c full_page_writes=off").arg(listen, m_socketDir);
        if (Run(m_binDir + QStringLiteral("/pg_ctl"),
                {QStringLiteral("-D"), m_dataDir, QStringLiteral("-o"), options, QStringLiteral("-l"),
                 m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("start")},
                why))
            break;
        if (!m_loopback || attempt + 1 == kStartAttempts)
            return false;
    }
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
    QStringList arguments{QStringLiteral("-h"), m_socketDir, QStringLiteral("-U"), QString::fromLatin1(kDatabaseUser)};
    // The port names the Unix socket as well.
    if (m_port > 0)
        arguments << QStringLiteral("-p") << QString::number(m_port);
    if (!Run(m_binDir + QStringLiteral("/createdb"), arguments << name, why))
        return {};
    return Address(name);
}

QString PostgresServer::Address(const QString& name) const
{
    const QString port = m_port > 0 ? QStringLiteral(":%1").arg(m_port) : QString();
    return QStringLiteral("postgresql://%1@localhost%2/%3?host=%4")
        .arg(QString::fromLatin1(kDatabaseUser), port, name, m_socketDir);
}

}  // namespace testsupport
