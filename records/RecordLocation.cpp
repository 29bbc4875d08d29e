#include "records/RecordLocation.h"

#include <QDir>
#include <QSqlDatabase>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <tuple>

namespace {

const char* const kSchemes[] = {"postgresql://", "postgres://"};

// Every connection keyword libpq 15 to 17 knows; an address naming another
// fails as libpq fails. (One this libpq does not know yet fails when it
// connects, with libpq's own reason.)
const char* const kKeywords[] = {
    "host", "hostaddr", "port", "dbname", "user", "password", "passfile", "require_auth", "channel_binding",
    "connect_timeout", "client_encoding", "options", "application_name", "fallback_application_name", "keepalives",
    "keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout", "replication", "sslmode",
    "sslnegotiation", "sslcompression", "sslcert", "sslkey", "sslcertmode", "sslpassword", "sslrootcert", "sslcrl",
    "sslcrldir", "sslsni", "requirepeer", "ssl_min_protocol_version", "ssl_max_protocol_version", "gssencmode",
    "krbsrvname", "gsslib", "gssdelegation", "service", "target_session_attrs", "load_balance_hosts",
};

// The name libpq's servers and logs see when the address gives none.
constexpr const char* kApplicationName = "sirenset";

bool IsKeyword(const QString& keyword)
{
    return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                       [&keyword](const char* known) { return keyword == QLatin1String(known); });
}

qsizetype SchemeLength(const QString& text)
{
    for (const char* scheme : kSchemes) {
        if (text.startsWith(QLatin1String(scheme)))
            return qsizetype(qstrlen(scheme));
    }
    return -1;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// libpq's percent-decoding: "%" and two hex digits, never "%00"; "+" stays.
// `part` names what is decoded in a failure (never its text: it may be the
// password).
std::optional<QString> Decoded(const QString& raw, const QString& part, QString* why)
{
    const QByteArray bytes = raw.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            out += bytes[i];
            continue;
        }
        const int high = i + 2 < bytes.size() ? HexValue(bytes[i + 1]) : -1;
        const int low = i + 2 < bytes.size() ? HexValue(bytes[i + 2]) : -1;
        if (high < 0 || low < 0) {
            *why = QStringLiteral("地址中%1的百分号编码无效（“%”之后须是两位十六进制数）").arg(part);
            return std::nullopt;
        }
        if (high == 0 && low == 0) {
            *why = QStringLiteral("地址中%1含有不允许的 %2").arg(part, QStringLiteral("%00"));
            return std::nullopt;
        }
        out += char(high * 16 + low);
        i += 2;
    }
    return QString::fromUtf8(out);
}

void Store(RecordLocation::Parameters* parameters, const QString& keyword, const QString& value)
{
    const auto found = std::find_if(parameters->begin(), parameters->end(),
                                    [&keyword](const auto& entry) { return entry.first == keyword; });
    if (found != parameters->end())
        found->second = value;
    else
        parameters->emplace_back(keyword, value);
}

QString ValueOf(const RecordLocation::Parameters& parameters, const QString& keyword)
{
    for (const auto& [key, value] : parameters) {
        if (key == keyword)
            return value;
    }
    return {};
}

bool Has(const RecordLocation::Parameters& parameters, const char* keyword)
{
    return std::any_of(parameters.begin(), parameters.end(),
                       [keyword](const auto& entry) { return entry.first == QLatin1String(keyword); });
}

// An '@' past the userinfo: a user name or password that holds '@' or '/'
// unencoded, which libpq would read as host or database.
QString MisplacedAtText()
{
    return QStringLiteral("地址中的“@”位置不对：用户名或密码中的“@”、“/”须写作 %40、%2F");
}

// The text of an address that does not parse, shown without anything that
// may be a password: what stands before its last '@' and its query.
QString RedactedUnparsed(const QString& text, qsizetype schemeLength)
{
    QString rest = text.mid(schemeLength);
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    const bool hadUserinfo = at >= 0;
    if (hadUserinfo)
        rest = rest.mid(at + 1);
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    if (query >= 0)
        rest = rest.left(query) + QStringLiteral("?…");
    return text.left(schemeLength) + (hadUserinfo ? QStringLiteral("…@") : QString()) + rest;
}

// The address parsed into libpq's parameters, and its text without password.
struct Parsed {
    RecordLocation::Parameters parameters;
    QString shown;
};

std::optional<Parsed> ParseAddress(const QString& text, qsizetype schemeLength, QString* why)
{
    Parsed parsed;
    qsizetype pos = schemeLength;
    const qsizetype end = text.size();
    const auto at = [&text, end](qsizetype i) { return i < end ? text[i] : QChar(); };
    const auto scan = [&text, end](qsizetype from, const char* stops) {
        qsizetype i = from;
        while (i < end && !(text[i].unicode() < 128 && std::strchr(stops, char(text[i].unicode()))))
            ++i;
        return i;
    };
    QString shownUser;
    // Userinfo: up to the first '@', if no '/' comes before it.
    const qsizetype userEnd = scan(pos, "@/");
    if (userEnd < end && text[userEnd] == QLatin1Char('@')) {
        const QString userinfo = text.mid(pos, userEnd - pos);
        const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
        const QString rawUser = colon >= 0 ? userinfo.left(colon) : userinfo;
        const std::optional<QString> user = Decoded(rawUser, QStringLiteral("的用户名"), why);
        if (!user)
            return std::nullopt;
        if (!user->isEmpty())
            Store(&parsed.parameters, QStringLiteral("user"), *user);
        if (colon >= 0) {
            const std::optional<QString> password = Decoded(userinfo.mid(colon + 1), QStringLiteral("的密码"), why);
            if (!password)
                return std::nullopt;
            if (!password->isEmpty())
                Store(&parsed.parameters, QStringLiteral("password"), *password);
        }
        shownUser = rawUser + QLatin1Char('@');
        pos = userEnd + 1;
    }

    // Hosts, each with its port, separated by ','.
    const qsizetype netlocStart = pos;
    QStringList hosts;
    QStringList ports;
    for (;;) {
        QString host;
        if (at(pos) == QLatin1Char('[')) {
            const qsizetype close = text.indexOf(QLatin1Char(']'), pos + 1);
            if (close < 0) {
                *why = QStringLiteral("地址中的 IPv6 主机缺少“]”");
                return std::nullopt;
            }
            host = text.mid(pos + 1, close - pos - 1);
            if (host.isEmpty()) {
                *why = QStringLiteral("地址中的 IPv6 主机为空");
                return std::nullopt;
            }
            pos = close + 1;
            if (pos < end && !QStringLiteral(":/?,").contains(text[pos])) {
                *why = QStringLiteral("地址中“]”之后应是“:”、“/”、“?”或“,”");
                return std::nullopt;
            }
        } else {
            const qsizetype hostEnd = scan(pos, ":/?,");
            host = text.mid(pos, hostEnd - pos);
            pos = hostEnd;
        }
        QString port;
        if (at(pos) == QLatin1Char(':')) {
            const qsizetype portEnd = scan(pos + 1, "/?,");
            port = text.mid(pos + 1, portEnd - pos - 1);
            pos = portEnd;
        }
        hosts << host;
        ports << port;
        if (at(pos) != QLatin1Char(','))
            break;
        ++pos;
    }
    QString database;
    if (at(pos) == QLatin1Char('/')) {
        const qsizetype pathEnd = scan(pos + 1, "?");
        database = text.mid(pos + 1, pathEnd - pos - 1);
        pos = pathEnd;
    }
    if (text.mid(netlocStart, pos - netlocStart).contains(QLatin1Char('@'))) {
        *why = MisplacedAtText();
        return std::nullopt;
    }
    const QString joinedHosts = hosts.join(QLatin1Char(','));
    const QString joinedPorts = ports.join(QLatin1Char(','));
    for (const auto& [keyword, raw, part] :
         {std::tuple{"host", joinedHosts, QStringLiteral("的主机")}, std::tuple{"port", joinedPorts, QStringLiteral("的端口")},
          std::tuple{"dbname", database, QStringLiteral("的数据库名")}}) {
        if (raw.isEmpty())
            continue;
        const std::optional<QString> value = Decoded(raw, part, why);
        if (!value)
            return std::nullopt;
        Store(&parsed.parameters, QString::fromLatin1(keyword), *value);
    }
    parsed.shown = text.left(schemeLength) + shownUser + text.mid(netlocStart, pos - netlocStart);

    // Query parameters: keyword=value joined by '&', overriding the above.
    if (at(pos) != QLatin1Char('?'))
        return parsed;
    QStringList shownItems;
    const QStringList items = text.mid(pos + 1).split(QLatin1Char('&'));
    for (int i = 0; i < items.size(); ++i) {
        const QString& item = items[i];
        if (item.isEmpty() && i == items.size() - 1)
            break;  // a trailing '&'
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        if (equals < 0) {
            *why = QStringLiteral("地址的第 %1 个参数缺少“=”").arg(i + 1);
            return std::nullopt;
        }
        const std::optional<QString> keyword =
            Decoded(item.left(equals), QStringLiteral("第 %1 个参数的名称").arg(i + 1), why);
        if (!keyword)
            return std::nullopt;
        if (item.indexOf(QLatin1Char('='), equals + 1) >= 0) {
            *why = QStringLiteral("地址中参数“%1”的值含有未编码的“=”（须写作 %2）").arg(*keyword, QStringLiteral("%3D"));
            return std::nullopt;
        }
        std::optional<QString> value = Decoded(item.mid(equals + 1), QStringLiteral("参数“%1”的值").arg(*keyword), why);
        if (!value)
            return std::nullopt;
        QString name = *keyword;
        if (name == QLatin1String("ssl") && *value == QLatin1String("true")) {
            name = QStringLiteral("sslmode");
            value = QStringLiteral("require");
        }
        if (!IsKeyword(name)) {
            *why = QStringLiteral("地址中的参数“%1”无效：libpq 没有这个参数").arg(name);
            return std::nullopt;
        }
        Store(&parsed.parameters, name, *value);
        if (name != QLatin1String("password"))
            shownItems << item;
    }
    if (!shownItems.isEmpty())
        parsed.shown += QLatin1Char('?') + shownItems.join(QLatin1Char('&'));
    return parsed;
}

// A value as libpq's conninfo wants it: in single quotes, '\' and '\''
// escaped.
QString Quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// The keywords QSqlDatabase takes through its own setters (and quotes
// itself).
bool HasSetter(const QString& keyword)
{
    for (const char* own : {"host", "user", "password", "dbname"}) {
        if (keyword == QLatin1String(own))
            return true;
    }
    return false;
}

// A port QSqlDatabase::setPort() can carry: one number.
std::optional<int> SinglePort(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port > 0 && port <= 65535 && QString::number(port) == text ? std::optional<int>(port) : std::nullopt;
}

}  // namespace

bool RecordLocation::IsServerAddress(const QString& text)
{
    return SchemeLength(text) > 0;
}

std::optional<RecordLocation> RecordLocation::Parse(const QString& text, QString* why)
{
    QString ignored;
    if (!why)
        why = &ignored;
    RecordLocation location;
    location.m_text = text;
    const qsizetype schemeLength = SchemeLength(text);
    if (schemeLength < 0) {
        if (text.trimmed().isEmpty()) {
            *why = QStringLiteral("没有给出设备档案的位置");
            return std::nullopt;
        }
        return location;
    }
    std::optional<Parsed> parsed = ParseAddress(text, schemeLength, why);
    if (!parsed)
        return std::nullopt;
    location.m_server = true;
    location.m_parameters = std::move(parsed->parameters);
    return location;
}

QString RecordLocation::Redacted(const QString& text)
{
    const qsizetype schemeLength = SchemeLength(text);
    if (schemeLength < 0)
        return QDir::toNativeSeparators(text);
    QString ignored;
    const std::optional<Parsed> parsed = ParseAddress(text, schemeLength, &ignored);
    return parsed ? parsed->shown : RedactedUnparsed(text, schemeLength);
}

RecordLocation::Parameters RecordLocation::ConnectionParameters(const ServerLimits& limits, bool readOnly) const
{
    Parameters parameters = m_parameters;
    const auto byDefault = [&parameters](const char* keyword, const QString& value) {
        if (!Has(parameters, keyword))
            parameters.emplace_back(QString::fromLatin1(keyword), value);
    };
    byDefault("connect_timeout", QString::number(limits.connectTimeoutSeconds));
    byDefault("keepalives", QStringLiteral("1"));
    byDefault("keepalives_idle", QString::number(limits.keepalivesIdleSeconds));
    byDefault("keepalives_interval", QString::number(limits.keepalivesIntervalSeconds));
    byDefault("keepalives_count", QString::number(limits.keepalivesCount));
    byDefault("tcp_user_timeout", QString::number(limits.tcpUserTimeoutMs));
    byDefault("fallback_application_name", QString::fromLatin1(kApplicationName));
    // Ours first: a setting the address's own options give comes later and
    // wins.
    QString options = QStringLiteral("-c statement_timeout=%1").arg(limits.statementTimeoutMs);
    if (readOnly)
        options += QStringLiteral(" -c default_transaction_read_only=on");
    const QString given = ValueOf(parameters, QStringLiteral("options"));
    Store(&parameters, QStringLiteral("options"), given.isEmpty() ? options : options + QLatin1Char(' ') + given);
    return parameters;
}

std::optional<QString> RecordLocation::ConnectOptions(const Parameters& parameters, QString* why)
{
    QStringList options;
    for (const auto& [keyword, value] : parameters) {
        if (HasSetter(keyword) || (keyword == QLatin1String("port") && SinglePort(value)))
            continue;
        // Qt's PostgreSQL driver turns every ';' of its options into a
        // blank: such a value would reach libpq changed.
        if (value.contains(QLatin1Char(';'))) {
            *why = QStringLiteral("地址中参数“%1”的值含有“;”，无法原样交给 PostgreSQL 驱动").arg(keyword);
            return std::nullopt;
        }
        options << keyword + QLatin1Char('=') + Quoted(value);
    }
    return options.join(QLatin1Char(' '));
}

bool RecordLocation::Configure(QSqlDatabase& db, const ServerLimits& limits, bool readOnly, QString* why) const
{
    const Parameters parameters = ConnectionParameters(limits, readOnly);
    const std::optional<QString> options = ConnectOptions(parameters, why);
    if (!options)
        return false;
    for (const auto& [keyword, value] : parameters) {
        if (keyword == QLatin1String("host"))
            db.setHostName(value);
        else if (keyword == QLatin1String("user"))
            db.setUserName(value);
        else if (keyword == QLatin1String("password"))
            db.setPassword(value);
        else if (keyword == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else if (keyword == QLatin1String("port") && SinglePort(value))
            db.setPort(*SinglePort(value));
    }
    db.setConnectOptions(*options);
    return true;
}
