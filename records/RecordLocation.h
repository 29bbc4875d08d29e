#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

class QSqlDatabase;

// Where the service record is kept, as the user gave it: an SQLite file, or
// a PostgreSQL address "postgresql://[user[:password]@][host][:port][,host
// [:port]...][/dbname][?keyword=value&...]" (also "postgres://"), read as
// libpq reads it: userinfo up to the first '@' before any '/', several hosts
// with their ports, IPv6 hosts in brackets, percent-decoding of every part,
// query parameters that override the rest (?host=/socket/dir), "ssl=true"
// for sslmode=require, and every other keyword libpq knows handed to it.
//
// The password never leaves this class but towards libpq: what is shown or
// kept is the text without it (Redacted()).
class RecordLocation {
public:
    // How long a database server may take, each with its default. A
    // keyword the address gives itself wins over these.
    struct ServerLimits {
        // Connecting, the start-up exchange included (libpq: seconds, 2 at least).
        static constexpr int kConnectTimeoutSeconds = 10;
        // TCP keepalives: a silent peer is found dead after idle + interval
        // × count seconds.
        static constexpr int kKeepalivesIdleSeconds = 10;
        static constexpr int kKeepalivesIntervalSeconds = 5;
        static constexpr int kKeepalivesCount = 3;
        // Data sent and not acknowledged for this long ends the connection.
        static constexpr int kTcpUserTimeoutMs = 20000;
        // The server ends any one statement after this (sent as the
        // connection's `options`).
        static constexpr int kStatementTimeoutMs = 30000;

        int connectTimeoutSeconds = kConnectTimeoutSeconds;
        int keepalivesIdleSeconds = kKeepalivesIdleSeconds;
        int keepalivesIntervalSeconds = kKeepalivesIntervalSeconds;
        int keepalivesCount = kKeepalivesCount;
        int tcpUserTimeoutMs = kTcpUserTimeoutMs;
        int statementTimeoutMs = kStatementTimeoutMs;
    };
    using Parameters = std::vector<std::pair<QString, QString>>;

    // A file path, or an address that parses; std::nullopt with the reason
    // in `why` otherwise (in which the password never stands).
    static std::optional<RecordLocation> Parse(const QString& text, QString* why);
    // Whether the text is meant as a server address (by its scheme).
    static bool IsServerAddress(const QString& text);
    // The text to show or keep: an address without its password (from the
    // userinfo and ?password=); a file path in native separators. Works on
    // any text, an address that does not parse included.
    static QString Redacted(const QString& text);

    bool IsServer() const { return m_server; }
    // The address's libpq parameters as given (decoded, password included),
    // each keyword once, in the order libpq would list them.
    const Parameters& ServerParameters() const { return m_parameters; }
    // What libpq is given: the address's parameters over the limits' (and,
    // for a reader, every transaction read-only).
    Parameters ConnectionParameters(const ServerLimits& limits, bool readOnly) const;
    // Hands ConnectionParameters() to a QPSQL connection: host, port, user,
    // password and dbname through their setters, every other keyword as a
    // connect option. False with the reason when a value cannot pass the
    // driver unchanged.
    bool Configure(QSqlDatabase& db, const ServerLimits& limits, bool readOnly, QString* why) const;
    // The connect-option text Configure() gives the driver (tests read it).
    static std::optional<QString> ConnectOptions(const Parameters& parameters, QString* why);

private:
    RecordLocation() = default;

    QString m_text;
    bool m_server = false;
    Parameters m_parameters;
};
