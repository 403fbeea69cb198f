#include "engine/postgres/PgSession.h"

#include "engine/AliasSecurity.h"
#include "engine/Credentials.h"
#include "engine/postgres/PgMessages.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <cctype>
#include <libpq-fe.h>

namespace
{

void ignoreNotice(void*, const char*)
{
}

// Failures that prove the server ended the session: the statement never reached it.
bool endsSession(const QByteArray& state)
{
    return state.isEmpty() || state.startsWith("08") || state.startsWith("57P");
}

// A query that COPY (...) TO STDOUT can wrap: it starts with SELECT, VALUES, TABLE,
// WITH or a parenthesis (the statements come without the comments before them).
bool streamable(QByteArrayView sql)
{
    if (sql.startsWith('('))
        return true;
    qsizetype n = 0;
    while (n < sql.size() && std::isalpha(static_cast<unsigned char>(sql[n])))
        ++n;
    if (n < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[n])) || sql[n] == '_' || sql[n] == '$'))
        return false;
    const QByteArrayView word = sql.first(n);
    for (const char* query : { "SELECT", "VALUES", "TABLE", "WITH" }) {
        if (word.compare(QByteArrayView(query), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

PgSession::PgSession(const AliasSettings& s)
    : m_settings(s)
    , m_aliasReadOnly(s.readOnly)
    , m_encoding(TextEncoding::named(s.encoding))
    , m_clientEncoding(m_encoding.isUtf8() ? "UTF8" : "SQL_ASCII")
{
    useSettings(s);
    try {
        open();
    } catch (...) {
        PQfinish(m_conn);
        throw;
    }
}

void PgSession::useSettings(const AliasSettings& s)
{
    m_keywords.clear();
    m_values.clear();
    m_noTlsRefusal = s.noTlsRefusal;
    const auto add = [this](const char* keyword, const QString& value) {
        m_keywords.emplace_back(keyword);
        m_values.push_back(value.toUtf8());
    };
    if (!s.host.isEmpty())
        add("host", s.host);
    if (s.port > 0)
        add("port", QString::number(s.port));
    if (!s.database.isEmpty())
        add("dbname", s.database);
    if (!s.user.isEmpty())
        add("user", s.user);
    // The alias's password, or the one the login prompt gave; kept for reconnecting.
    if (s.hasPassword || !s.password.isEmpty())
        add("password", s.password);
    // Options as Qt's driver takes them: "connect_timeout=5;sslmode=require".
    for (const QString& option : s.options.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        if (equals > 0) {
            m_keywords.push_back(option.left(equals).trimmed().toUtf8());
            m_values.push_back(option.mid(equals + 1).trimmed().toUtf8());
        }
    }
    add("client_encoding", QString::fromLatin1(m_clientEncoding));
    add("fallback_application_name", QStringLiteral("VeloSQL"));
}

void PgSession::reopen()
{
    // The login that the server took at the start serves again; one that it now
    // refuses (the password changed meanwhile) is asked again, as at the start.
    Credentials::connectWithLogin(m_settings, [this](const AliasSettings& s) {
        useSettings(s);
        open();
    });
}

PgSession::~PgSession()
{
    PQfinish(m_conn);
}

void PgSession::open()
{
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (size_t i = 0; i < m_keywords.size(); ++i) {
        keywords.push_back(m_keywords[i].constData());
        values.push_back(m_values[i].constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (PQstatus(conn) != CONNECTION_OK) {
        QString message = conn ? PgMessages::oneLinePerError(PQerrorMessage(conn)) : QString();
        // The server asks for a password it was not given, or refuses the one given: the
        // program may ask the user for a login (see Credentials).
        const bool loginRefused = conn
            && (PQconnectionNeedsPassword(conn)
                || (PQconnectionUsedPassword(conn)
                    && message.contains(QLatin1String("password authentication failed"))));
        PQfinish(conn);
        if (message.isEmpty())
            message = PgMessages::lost();
        if (loginRefused)
            throw ELoginRefused(message);
        if (!m_noTlsRefusal.isEmpty() && AliasSecurity::saysNoTls(message))
            throw EDatabaseError(m_noTlsRefusal);
        throw EDatabaseError(message);
    }
    PQfinish(m_conn);
    m_conn = conn;
    PQsetNoticeProcessor(m_conn, ignoreNotice, nullptr);
    // A session that cannot be set up counts as broken: the next statement tries again.
    try {
        setUpSession();
    } catch (...) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
}

// The forms the values are read in: ISO dates, amounts with a point, floats exact.
void PgSession::setUpSession()
{
    QString setup = QStringLiteral("SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; "
                                   "SET lc_monetary = 'C'; SET extra_float_digits = 1;");
    if (m_aliasReadOnly)
        setup += QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY;");
    PGresult* r = PQexec(m_conn, setup.toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    const QString message = ok ? QString() : PgMessages::errorOf(r);
    PQclear(r);
    if (!ok)
        throw EDatabaseError(message);
    const char* readOnly = PQparameterStatus(m_conn, "default_transaction_read_only");
    r = PQexec(m_conn, "SHOW transaction_read_only");
    m_readOnly = m_aliasReadOnly || (readOnly && qstrcmp(readOnly, "on") == 0)
        || (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 && qstrcmp(PQgetvalue(r, 0, 0), "on") == 0);
    PQclear(r);
}

QString PgSession::connectionMessage() const
{
    const QString message = PgMessages::oneLinePerError(PQerrorMessage(m_conn));
    return message.isEmpty() ? PgMessages::lost() : message;
}

void PgSession::heal()
{
    // A server that ended the session left its farewell and the end of the stream
    // on the socket: reading them marks the connection broken.
    for (int i = 0; i < 3 && PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) == PQTRANS_IDLE; ++i) {
        if (!PQconsumeInput(m_conn))
            break;
        PQisBusy(m_conn);
        while (PGnotify* n = PQnotifies(m_conn))
            PQfreemem(n);
    }
    if (PQstatus(m_conn) != CONNECTION_OK)
        reopen();
}

PgOutcome PgSession::run(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    if (m_encoding.isUtf8())
        return runEncoded(sql, parameters, progress);
    QByteArray stored;
    std::vector<PgValues::Parameter> storedParameters = parameters;
    try {
        stored = m_encoding.fromUtf8(sql);
        for (PgValues::Parameter& p : storedParameters)
            if (!p.null && !p.binary)
                p.bytes = m_encoding.fromUtf8(p.bytes);
    } catch (const EDatabaseError& e) {
        throw PgFailure { e.message(), "22P05", false, false };
    }
    return runEncoded(stored, storedParameters, progress);
}

PgOutcome PgSession::runEncoded(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    const bool stream = parameters.empty() && streamable(sql);
    PgOutcome out;
    const auto once = [&] {
        out = runStatement(sql, parameters, progress, stream);
        keepClientEncoding();
    };
    try {
        // A query read as a stream is parsed twice: described, then run inside COPY. In
        // a transaction, the locks that the first parse took stay until the rows are
        // read, so that no other session can change the columns of its tables in between.
        if (stream && idle())
            atomically(nullptr, once);
        else
            once();
    } catch (PgFailure& f) {
        nameEncodingKey(f);
        throw;
    }
    return out;
}

void PgSession::keepClientEncoding()
{
    const char* now = PQparameterStatus(m_conn, "client_encoding");
    if (!now || m_clientEncoding == now)
        return;
    PQsetClientEncoding(m_conn, m_clientEncoding.constData());
    throw PgFailure { clientEncodingSetBackMessage(QString::fromLatin1(m_clientEncoding)),
        QByteArray(), true, false };
}

void PgSession::nameEncodingKey(PgFailure& failure) const
{
    // A SQL_ASCII database holds whatever bytes its programs wrote; read as UTF-8, the
    // server refuses those that are not.
    const char* server = PQparameterStatus(m_conn, "server_encoding");
    if (!m_encoding.isUtf8() || failure.state != "22021" || !server || qstrcmp(server, "SQL_ASCII") != 0)
        return;
    failure.message += QStringLiteral("\nLa base de données est en SQL_ASCII : indiquez dans l'alias l'encodage de "
                                      "son texte, par exemple encoding=WIN1252.");
}

void PgSession::atomically(const char* savepoint, const std::function<void()>& work)
{
    const char* open = idle() ? nullptr : savepoint;
    // Nothing has run when a session that the server ended refuses the BEGIN: it opens
    // again and the work runs once.
    if (open)
        command(QStringLiteral("SAVEPOINT %1").arg(QLatin1String(open)));
    else
        runHealing("BEGIN", {}, {});
    try {
        work();
    } catch (...) {
        rollBack(open);
        throw;
    }
    try {
        command(open ? QStringLiteral("RELEASE SAVEPOINT %1").arg(QLatin1String(open)) : QStringLiteral("COMMIT"));
    } catch (PgFailure& f) {
        // The work has run; whether its changes stayed is the server's to say.
        rollBack(open);
        f.sent = true;
        throw;
    }
}

PgOutcome PgSession::runHealing(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    heal();
    const bool idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    try {
        return run(sql, parameters, progress);
    } catch (const PgFailure& f) {
        // Only a statement that never reached a server that has since ended the
        // session runs again, and only outside a transaction, which is lost with it.
        if (f.sent || f.cancelled || !idle || !endsSession(f.state) || PQstatus(m_conn) == CONNECTION_OK)
            throw;
    }
    reopen();
    return run(sql, parameters, progress);
}

PgOutcome PgSession::command(const QString& sql, const std::vector<PgValues::Parameter>& parameters)
{
    return run(sql.toUtf8(), parameters, {});
}

void PgSession::rollBack(const char* savepoint)
{
    if (PQstatus(m_conn) != CONNECTION_OK || PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        return;
    const QByteArray sql = savepoint
        ? QByteArray("ROLLBACK TO SAVEPOINT ") + savepoint + "; RELEASE SAVEPOINT " + savepoint
        : QByteArray("ROLLBACK");
    PQclear(PQexec(m_conn, sql.constData()));
}

void PgSession::begin(qsizetype ceiling)
{
    m_ceiling = ceiling;
    m_cancelled = false;
    m_raised = nullptr;
    m_sinceReport.start();
}

bool PgSession::idle() const
{
    return PQtransactionStatus(m_conn) == PQTRANS_IDLE;
}

bool PgSession::inTransaction() const
{
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

bool PgSession::transactionFailed() const
{
    return PQtransactionStatus(m_conn) == PQTRANS_INERROR;
}
