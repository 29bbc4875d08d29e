#pragma once

#include <QString>

// The fleet benchmarks' PostgreSQL server: a cluster of their own under the
// build folder (made by initdb the first time, kept for the next run, since
// a million terminals take long to generate), listening on a Unix socket
// beside it and on no TCP port, run as "nobody" when the bench runs as root
// (initdb and postgres refuse root), stopped when the object goes.
class FleetPostgres {
public:
    explicit FleetPostgres(QString folder);
    ~FleetPostgres();
    FleetPostgres(const FleetPostgres&) = delete;
    FleetPostgres& operator=(const FleetPostgres&) = delete;

    // Starts the server (making the cluster when missing); false with why.
    bool Start(QString* why);
    // The address of database `name`, made when missing.
    QString Database(const QString& name, QString* why);
    // The size of database `name` in bytes (-1 when unknown).
    qint64 DatabaseBytes(const QString& name);

private:
    bool Run(const QString& program, const QStringList& arguments, QString* why, QString* output = nullptr);

    QString m_folder;
    QString m_binDir;
    bool m_running = false;
};
