#include "support/PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <vector>

#include <algorithm>

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
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

// posix_spawn, not QProcess: ThreadSanitizer's runtime of clang 14 aborts
// in the clone() that QProcess starts a child with, and the suites that
// start a server run under it.
bool PostgresServer::Run(const QString& program, const QStringList& arguments, QString* why, int limitMs)
{
    QStringList command;
    if (geteuid() == 0)
        command << QStringLiteral("runuser") << QStringLiteral("-u") << QString::fromLatin1(kServerUser)
                << QStringLiteral("--");
    command << program << arguments;
    std::vector<QByteArray> texts;
    for (const QString& part : command)
        texts.push_back(part.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    // The output goes to a file: a server that pg_ctl leaves running would
    // hold a pipe open for good.
    QTemporaryFile output;
    if (!output.open()) {
        *why = QStringLiteral("%1 failed: no file for its output").arg(program);
        return false;
    }
    const QByteArray outputPath = output.fileName().toLocal8Bit();
    const QByteArray workingDir = (m_dir ? m_dir->path() : QDir::tempPath()).toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.constData(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingDir.constData());
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(strerror(spawned)));
        return false;
    }
    int status = 0;
    bool ended = false;
    for (int waitedMs = 0; waitedMs <= limitMs; waitedMs += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        usleep(10 * 1000);
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(output.readAll()));
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
