#include "engine/postgres/PgSession.h"

#include "engine/Credentials.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <cctype>
#include <cstdlib>
#include <exception>
#include <libpq-fe.h>
#include <optional>
#include <utility>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace
{

// How often the progress callback hears from a statement that runs.
constexpr int kReportMs = 50;

void ignoreNotice(void*, const char*)
{
}

// One line per error: a continuation line (indented) joins the line it continues.
QString oneLinePerError(const QByteArray& text)
{
    QStringList errors;
    for (const QByteArray& line : text.split('\n')) {
        const QString part = Utf8::decode(line).simplified();
        if (part.isEmpty())
            continue;
        if ((line.startsWith('\t') || line.startsWith(' ')) && !errors.isEmpty())
            errors.last() += QLatin1Char(' ') + part;
        else if (!errors.contains(part))
            errors << part;
    }
    return errors.join(QLatin1Char('\n'));
}

QString lostMessage()
{
    return QStringLiteral("La connexion au serveur de base de données a été perdue");
}

// A result's error: the server's primary message, or libpq's own text.
QString errorOf(const PGresult* r)
{
    if (const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY))
        return Utf8::decode(primary).simplified();
    const QString text = oneLinePerError(PQresultErrorMessage(r));
    return text.isEmpty() ? lostMessage() : text;
}

// The failure that an error result tells.
PgFailure failureOf(const PGresult* r, bool sent)
{
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    const char* position = PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION);
    return PgFailure { errorOf(r), QByteArray(state ? state : ""), sent, false, position ? atoi(position) : 0 };
}

// Failures that prove the server ended the session: the statement never reached it.
bool endsSession(const QByteArray& state)
{
    return state.isEmpty() || state.startsWith("08") || state.startsWith("57P");
}

// One row of a result in single-row mode into the store.
void appendRow(ResultStore& rows, const PGresult* r, const std::vector<PgValues::Oid>& types, bool binary)
{
    const int count = int(types.size());
    rows.beginRow();
    for (int i = 0; i < count; ++i) {
        if (PQgetisnull(r, 0, i))
            rows.appendNull();
        else if (binary)
            PgValues::appendBinary(rows, types[size_t(i)], PQgetvalue(r, 0, i), PQgetlength(r, 0, i));
        else
            PgValues::appendText(rows, types[size_t(i)], PQgetvalue(r, 0, i), PQgetlength(r, 0, i));
    }
    rows.endRow();
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
    add("client_encoding", QStringLiteral("UTF8"));
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
        QString message = conn ? oneLinePerError(PQerrorMessage(conn)) : QString();
        // The server asks for a password it was not given, or refuses the one given: the
        // program may ask the user for a login (see Credentials).
        const bool loginRefused = conn
            && (PQconnectionNeedsPassword(conn)
                || (PQconnectionUsedPassword(conn)
                    && message.contains(QLatin1String("password authentication failed"))));
        PQfinish(conn);
        if (message.isEmpty())
            message = lostMessage();
        if (loginRefused)
            throw ELoginRefused(message);
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
    const QString message = ok ? QString() : errorOf(r);
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
    const QString message = oneLinePerError(PQerrorMessage(m_conn));
    return message.isEmpty() ? lostMessage() : message;
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

void PgSession::cancel()
{
    m_cancelled = true;
    if (PGcancel* c = PQgetCancel(m_conn)) {
        char error[256];
        PQcancel(c, error, sizeof error);
        PQfreeCancel(c);
    }
}

void PgSession::report(const ProgressCallback& progress, qint64 rows)
{
    if (!progress || m_cancelled || m_sinceReport.elapsed() < kReportMs)
        return;
    m_sinceReport.restart();
    try {
        if (!progress(rows))
            cancel();
    } catch (...) {
        m_raised = std::current_exception();
        cancel();
    }
}

void PgSession::waitForInput(const ProgressCallback& progress, qint64 rows)
{
#ifdef Q_OS_WIN
    WSAPOLLFD p { SOCKET(PQsocket(m_conn)), POLLIN, 0 };
    WSAPoll(&p, 1, kReportMs);
#else
    pollfd p { PQsocket(m_conn), POLLIN, 0 };
    poll(&p, 1, kReportMs);
#endif
    report(progress, rows);
}

PGresult* PgSession::nextResult(const ProgressCallback& progress, qint64 rows)
{
    while (PQisBusy(m_conn)) {
        waitForInput(progress, rows);
        if (!PQconsumeInput(m_conn))
            break;
    }
    return PQgetResult(m_conn);
}

PgOutcome PgSession::readOutcome(const ProgressCallback& progress, const std::vector<ColumnInfo>& columns,
    const std::vector<PgValues::Oid>& types, bool binary)
{
    PgOutcome out;
    std::optional<PgFailure> failure;
    const int count = int(types.size());
    auto rows = std::make_unique<ResultStore>(count);
    qint64 read = 0;
    while (PGresult* r = nextResult(progress, read)) {
        switch (PQresultStatus(r)) {
        case PGRES_SINGLE_TUPLE:
            if (!failure && !m_cancelled) {
                // A row that the store refuses (its memory ceiling, a value cut short)
                // stops the statement on the server; the results are read to their end
                // all the same, so that the connection is ready for the next one.
                try {
                    appendRow(*rows, r, types, binary);
                } catch (...) {
                    m_raised = std::current_exception();
                    cancel();
                    break;
                }
                if ((++read & 0x3FF) == 0)
                    report(progress, read);
            }
            break;
        case PGRES_TUPLES_OK:
            out.hasRows = true;
            break;
        case PGRES_COMMAND_OK:
        case PGRES_EMPTY_QUERY:
            break;
        case PGRES_COPY_OUT: {
            char* buffer = nullptr;
            while (PQgetCopyData(m_conn, &buffer, 0) > 0)
                PQfreemem(buffer);
            break;
        }
        case PGRES_COPY_IN:
            PQputCopyEnd(m_conn, "COPY FROM STDIN");
            break;
        default:
            if (!failure)
                failure = failureOf(r, true);
            break;
        }
        PQclear(r);
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    return finish(std::move(out), failure, columns, std::move(rows));
}

PgOutcome PgSession::finish(PgOutcome out, const std::optional<PgFailure>& failure,
    const std::vector<ColumnInfo>& columns, std::unique_ptr<ResultStore> rows)
{
    if (m_raised)
        std::rethrow_exception(std::exchange(m_raised, nullptr));
    if (m_cancelled)
        throw PgFailure { cancelledMessage(), "57014", true, true };
    if (failure)
        throw *failure;
    if (out.hasRows) {
        out.result.columns = columns;
        // A column of a type without a field type of its own is a string as long as its longest value.
        for (size_t i = 0; i < columns.size(); ++i) {
            ColumnInfo& c = out.result.columns[i];
            if (c.type == ftUnknown) {
                c.type = ftString;
                c.size = int(qMin<qsizetype>(rows->longestText(int(i)), 8192));
            }
        }
        out.result.rows = std::move(rows);
    }
    return out;
}

PgOutcome PgSession::readCopy(
    const ProgressCallback& progress, const std::vector<ColumnInfo>& columns, const std::vector<PgValues::Oid>& types)
{
    PgOutcome out;
    std::optional<PgFailure> failure;
    const auto failOn = [&failure](const PGresult* r) {
        if (!failure)
            failure = failureOf(r, true);
    };
    auto rows = std::make_unique<ResultStore>(int(types.size()));
    PGresult* r = nextResult(progress, 0);
    const bool streaming = r && PQresultStatus(r) == PGRES_COPY_OUT;
    if (r && !streaming)
        failOn(r);
    PQclear(r);
    if (streaming) {
        PgValues::BinaryCopy stream(*rows, types);
        qint64 read = 0;
        for (;;) {
            char* buffer = nullptr;
            const int size = PQgetCopyData(m_conn, &buffer, 1);
            if (size == 0) {
                waitForInput(progress, read);
                if (!PQconsumeInput(m_conn))
                    break;
                continue;
            }
            if (size < 0)
                break;
            if (!failure && !m_cancelled) {
                // As in readOutcome: a refused row stops the statement on the server,
                // and the stream is read to its end all the same.
                try {
                    if (stream.read(buffer, size) && (++read & 0x3FF) == 0)
                        report(progress, read);
                } catch (...) {
                    m_raised = std::current_exception();
                    cancel();
                }
            }
            PQfreemem(buffer);
        }
        out.hasRows = true;
    }
    while (PGresult* rest = nextResult(progress, 0)) {
        if (PQresultStatus(rest) != PGRES_COMMAND_OK)
            failOn(rest);
        PQclear(rest);
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (PQstatus(m_conn) == CONNECTION_BAD && !failure)
        failure = PgFailure { connectionMessage(), QByteArray(), true, false };
    return finish(std::move(out), failure, columns, std::move(rows));
}

PgOutcome PgSession::run(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    const bool stream = parameters.empty() && streamable(sql);
    if (!stream || !idle())
        return runStatement(sql, parameters, progress, stream);
    // A query read as a stream is parsed twice: described, then run inside COPY. In a
    // transaction, the locks that the first parse took stay until the rows are read,
    // so that no other session can change the columns of its tables in between.
    PgOutcome out;
    atomically(nullptr, [&] { out = runStatement(sql, parameters, progress, true); });
    return out;
}

void PgSession::atomically(const char* savepoint, const std::function<void()>& work)
{
    const char* open = idle() ? nullptr : savepoint;
    command(open ? QStringLiteral("SAVEPOINT %1").arg(QLatin1String(open)) : QStringLiteral("BEGIN"));
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

PgOutcome PgSession::runStatement(QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters,
    const ProgressCallback& progress, bool stream)
{
    const QByteArray text = sql.toByteArray();
    const int n = int(parameters.size());
    const auto failed = [this](bool sent) {
        return PgFailure { connectionMessage(), QByteArray(), sent, m_cancelled };
    };
    // Prepared first: a statement that the server cannot parse, or a connection found
    // broken here, has not run.
    if (!PQsendPrepare(m_conn, "", text.constData(), n, nullptr))
        throw failed(false);
    try {
        readOutcome(progress, {}, {}, false);
    } catch (PgFailure& f) {
        f.sent = false;
        throw;
    }
    if (!PQsendDescribePrepared(m_conn, ""))
        throw failed(false);
    std::vector<ColumnInfo> columns;
    std::vector<PgValues::Oid> types;
    bool binary = true;
    {
        PGresult* r = nextResult(progress, 0);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (ok) {
            stream = stream && PQnparams(r) == 0 && PQnfields(r) > 0;
            for (int i = 0; i < PQnfields(r); ++i) {
                types.push_back(PQftype(r, i));
                columns.push_back(PgValues::column(Utf8::decode(PQfname(r, i)), PQftype(r, i), PQfmod(r, i)));
                binary = binary && PgValues::readsBinary(PQftype(r, i));
            }
        }
        std::optional<PgFailure> failure;
        if (!ok) {
            failure = failureOf(r, false);
            failure->cancelled = m_cancelled;
        }
        PQclear(r);
        while (PGresult* rest = PQgetResult(m_conn))
            PQclear(rest);
        if (failure)
            throw *failure;
    }

    if (stream && binary) {
        // The rows come as COPY's binary stream: one plain message per row, where a
        // result row would cost a result object of its own.
        QByteArray query = text;
        if (query.endsWith(';'))
            query.chop(1);
        static constexpr QByteArrayView wrapStart = "COPY (";
        query = wrapStart.toByteArray() + query + "\n) TO STDOUT (FORMAT binary)";
        if (!PQsendQueryParams(m_conn, query.constData(), 0, nullptr, nullptr, nullptr, nullptr, 1))
            throw failed(true);
        try {
            return readCopy(progress, columns, types);
        } catch (PgFailure& f) {
            // The server counted from the start of the wrapper, not of the statement.
            f.position = f.position > int(wrapStart.size()) ? f.position - int(wrapStart.size()) : 0;
            throw;
        }
    }

    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgValues::Parameter& p : parameters) {
        values.push_back(p.null ? nullptr : p.bytes.constData());
        lengths.push_back(int(p.bytes.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    if (!PQsendQueryPrepared(m_conn, "", n, values.data(), lengths.data(), formats.data(), binary ? 1 : 0))
        throw failed(true);
    if (!types.empty())
        PQsetSingleRowMode(m_conn);
    return readOutcome(progress, columns, types, binary);
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

void PgSession::begin()
{
    m_cancelled = false;
    m_raised = nullptr;
    m_sinceReport.start();
}

bool PgSession::idle() const
{
    return PQtransactionStatus(m_conn) == PQTRANS_IDLE;
}
