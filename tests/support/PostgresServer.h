#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A PostgreSQL server of a test's own: Debian's postgresql binaries, a
// cluster made by initdb in a temporary folder, listening on a Unix socket
// (and, when asked, on a free TCP port of 127.0.0.1, never another address),
// run as an unprivileged user when the test runs as root, and stopped (and
// removed) when the object goes.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Whether the postgres binaries are installed at all (tests skip
    // without them, saying why).
    static bool Available();

    // Also listen on 127.0.0.1 (what libpq's SSL needs: it ignores SSL on a
    // Unix socket). Before Start().
    void ListenOnLoopback() { m_loopback = true; }
    // The TCP port on 127.0.0.1; 0 without one.
    int LoopbackPort() const { return m_port; }

    // Creates the cluster and starts the server; false with the reason.
    bool Start(QString* why);
    // Creates a database and returns its postgresql:// address.
    QString CreateDatabase(const QString& name, QString* why);
    // The address a database of that name has (or will have).
    QString Address(const QString& name) const;
    // Stops the server at once (its connections are cut), and starts it
    // again on the same cluster: a server that goes away and comes back.
    bool Stop(QString* why);
    bool Restart(QString* why);

private:
    bool StartServer(QString* why);

    bool Run(const QString& program, const QStringList& arguments, QString* why, int limitMs = 60000);

    QString m_binDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_dataDir;
    QString m_socketDir;
    bool m_running = false;
    bool m_loopback = false;
    int m_port = 0;
};

}  // namespace testsupport
