#include "database/PgConnection.h"

#include "Exceptions.h"
#include "Utf8.h"
#include "database/Databases.h"
#include "database/SqlStatements.h"

#include <QRegularExpression>
#include <exception>
#include <libpq-fe.h>
#include <optional>
#include <utility>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#endif

// Why a statement failed: the server's message, its SQLSTATE (empty for a failure of
// the connection itself), and whether the statement may have run.
struct PgConnection::Failure {
    QString message;
    QByteArray state;
    bool sent = false;
    bool cancelled = false;
};

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

// Failures that prove the server ended the session: the statement never reached it.
bool endsSession(const QByteArray& state)
{
    return state.isEmpty() || state.startsWith("08") || state.startsWith("57P");
}

// The statements of a text, each up to its semicolon.
std::vector<QByteArrayView> statementsOf(QByteArrayView utf8)
{
    std::vector<QByteArrayView> statements;
    for (;;) {
        const QByteArrayView s = firstStatement(utf8);
        if (s.isEmpty())
            return statements;
        statements.push_back(s);
        utf8 = utf8.sliced(s.data() + s.size() - utf8.data());
    }
}

QString quoteIdentifier(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

PgValues::Parameter parameterOf(const QVariant& v)
{
    PgValues::Parameter p;
    if (v.isNull())
        p.null = true;
    else if (v.typeId() == QMetaType::QByteArray) {
        p.bytes = v.toByteArray();
        p.binary = true;
    } else {
        p.bytes = v.toString().toUtf8();
    }
    return p;
}

QVariant variantOf(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Null:
        return {};
    case CellClass::Integer:
        return QVariant(c.integer);
    case CellClass::Float:
        return QVariant(c.real);
    case CellClass::Text:
        return QVariant(Utf8::decode(QByteArrayView(c.data, c.size)));
    case CellClass::Blob:
        return QVariant(QByteArray(c.data, c.size));
    }
    return {};
}

} // namespace

PgConnection::PgConnection(const AliasSettings& s)
    : m_aliasReadOnly(s.readOnly)
{
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
    try {
        open();
    } catch (...) {
        PQfinish(m_conn);
        throw;
    }
}

PgConnection::~PgConnection()
{
    PQfinish(m_conn);
}

void PgConnection::open()
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
        PQfinish(conn);
        throw EDatabaseError(message.isEmpty() ? lostMessage() : message);
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
void PgConnection::setUpSession()
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

QString PgConnection::connectionMessage() const
{
    const QString message = oneLinePerError(PQerrorMessage(m_conn));
    return message.isEmpty() ? lostMessage() : message;
}

void PgConnection::heal()
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
        open();
}

void PgConnection::cancel()
{
    m_cancelled = true;
    if (PGcancel* c = PQgetCancel(m_conn)) {
        char error[256];
        PQcancel(c, error, sizeof error);
        PQfreeCancel(c);
    }
}

void PgConnection::report(const ProgressCallback& progress, qint64 rows)
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

PGresult* PgConnection::nextResult(const ProgressCallback& progress, qint64 rows)
{
    while (PQisBusy(m_conn)) {
#ifdef Q_OS_WIN
        WSAPOLLFD p { SOCKET(PQsocket(m_conn)), POLLIN, 0 };
        WSAPoll(&p, 1, kReportMs);
#else
        pollfd p { PQsocket(m_conn), POLLIN, 0 };
        poll(&p, 1, kReportMs);
#endif
        report(progress, rows);
        if (!PQconsumeInput(m_conn))
            break;
    }
    return PQgetResult(m_conn);
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

PgConnection::Outcome PgConnection::readOutcome(const ProgressCallback& progress,
    const std::vector<ColumnInfo>& columns, const std::vector<PgValues::Oid>& types, bool binary)
{
    Outcome out;
    std::optional<Failure> failure;
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
            if (!failure) {
                const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                failure = Failure { errorOf(r), QByteArray(state ? state : ""), true, false };
            }
            break;
        }
        PQclear(r);
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (m_raised)
        std::rethrow_exception(std::exchange(m_raised, nullptr));
    if (m_cancelled)
        throw Failure { cancelledMessage(), "57014", true, true };
    if (failure)
        throw *failure;
    if (out.hasRows) {
        out.result.columns = columns;
        // A column of a type without a field type of its own is a string as long as its longest value.
        for (int i = 0; i < count; ++i) {
            ColumnInfo& c = out.result.columns[size_t(i)];
            if (c.type == ftUnknown) {
                c.type = ftString;
                c.size = int(qMin<qsizetype>(rows->longestText(i), 8192));
            }
        }
        out.result.rows = std::move(rows);
    }
    return out;
}

PgConnection::Outcome PgConnection::run(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    const QByteArray text = sql.toByteArray();
    const int n = int(parameters.size());
    const auto failed = [this](bool sent) { return Failure { connectionMessage(), QByteArray(), sent, m_cancelled }; };
    // Prepared first: a statement that the server cannot parse, or a connection found
    // broken here, has not run.
    if (!PQsendPrepare(m_conn, "", text.constData(), n, nullptr))
        throw failed(false);
    try {
        readOutcome(progress, {}, {}, false);
    } catch (Failure& f) {
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
            for (int i = 0; i < PQnfields(r); ++i) {
                types.push_back(PQftype(r, i));
                columns.push_back(PgValues::column(Utf8::decode(PQfname(r, i)), PQftype(r, i), PQfmod(r, i)));
                binary = binary && PgValues::readsBinary(PQftype(r, i));
            }
        }
        const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        Failure f { ok ? QString() : errorOf(r), QByteArray(state ? state : ""), false, m_cancelled };
        PQclear(r);
        while (PGresult* rest = PQgetResult(m_conn))
            PQclear(rest);
        if (!ok)
            throw f;
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

PgConnection::Outcome PgConnection::runHealing(
    QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress)
{
    heal();
    const bool idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    try {
        return run(sql, parameters, progress);
    } catch (const Failure& f) {
        // Only a statement that never reached a server that has since ended the
        // session runs again, and only outside a transaction, which is lost with it.
        if (f.sent || f.cancelled || !idle || !endsSession(f.state) || PQstatus(m_conn) == CONNECTION_OK)
            throw;
    }
    open();
    return run(sql, parameters, progress);
}

PgConnection::Outcome PgConnection::command(const QString& sql, const std::vector<PgValues::Parameter>& parameters)
{
    return run(sql.toUtf8(), parameters, {});
}

void PgConnection::rollBack(const char* savepoint)
{
    if (PQstatus(m_conn) != CONNECTION_OK || PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        return;
    const QByteArray sql = savepoint
        ? QByteArray("ROLLBACK TO SAVEPOINT ") + savepoint + "; RELEASE SAVEPOINT " + savepoint
        : QByteArray("ROLLBACK");
    PQclear(PQexec(m_conn, sql.constData()));
}

QueryResult PgConnection::execute(const QString& sql, const ProgressCallback& progress)
{
    m_cancelled = false;
    m_raised = nullptr;
    m_sinceReport.start();
    const QByteArray utf8 = sql.toUtf8();
    const std::vector<QByteArrayView> statements = statementsOf(utf8);
    if (statements.empty())
        throw EDatabaseError(noCursorMessage());
    const bool several = statements.size() > 1;
    // Several statements apply all or none, in a transaction of their own or in a
    // savepoint of the one open, unless they manage their own transactions.
    const bool batch = several && !scanStatements(utf8).managesTransactions;
    const char* savepoint = nullptr;
    if (batch) {
        heal();
        savepoint = PQtransactionStatus(m_conn) == PQTRANS_IDLE ? nullptr : "velosql_batch";
        try {
            command(savepoint ? QStringLiteral("SAVEPOINT velosql_batch") : QStringLiteral("BEGIN"));
        } catch (const Failure& f) {
            throw EDatabaseError(f.message);
        }
    }
    Outcome last;
    for (size_t i = 0; i < statements.size(); ++i) {
        try {
            last = batch || i > 0 ? run(statements[i], {}, progress) : runHealing(statements[i], {}, progress);
        } catch (const Failure& f) {
            if (batch)
                rollBack(savepoint);
            if (f.cancelled)
                throw EDatabaseError(cancelledMessage());
            throw EDatabaseError(several ? statementFailure(int(i) + 1, f.message, statements[i]) : f.message);
        } catch (...) {
            if (batch)
                rollBack(savepoint);
            throw;
        }
    }
    if (batch) {
        try {
            command(savepoint ? QStringLiteral("RELEASE SAVEPOINT velosql_batch") : QStringLiteral("COMMIT"));
        } catch (const Failure& f) {
            rollBack(savepoint);
            throw EDatabaseError(f.message);
        }
    }
    if (!last.hasRows)
        throw EDatabaseError(noCursorMessage());
    return std::move(last.result);
}

QString PgConnection::quotedTable(const QString& table) const
{
    // A plain name reaches the table as a statement that names it would: letter case aside.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(table).hasMatch() ? table : quoteIdentifier(table);
}

TableResult PgConnection::openTable(const QString& table)
{
    m_cancelled = false;
    m_raised = nullptr;
    const QString name = quotedTable(table);
    const std::vector<PgValues::Parameter> nameParameter { PgValues::parameter(
        FieldValue { CellClass::Text, name.toUtf8(), 0, 0 }.ref()) };
    TableResult result;
    try {
        heal();
        // Rows are found again by their primary key, or by their place in the table without one.
        Outcome keys = command(
            QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
                           "AND a.attnum = ANY(i.indkey) WHERE i.indrelid = $1::text::regclass AND i.indisprimary "
                           "ORDER BY array_position(i.indkey::int2[], a.attnum)"),
            nameParameter);
        QStringList keyColumns;
        for (qsizetype r = 0; r < keys.result.rows->rowCount(); ++r) {
            const CellRef c = keys.result.rows->cell(r, 0);
            keyColumns << Utf8::decode(QByteArrayView(c.data, c.size));
        }
        const bool byPlace = keyColumns.isEmpty();
        Outcome all = command(
            QStringLiteral("SELECT %1* FROM %2").arg(byPlace ? QStringLiteral("ctid::text, ") : QString(), name));
        Outcome rights
            = command(QStringLiteral("SELECT has_table_privilege($1::text::regclass, 'UPDATE')"), nameParameter);
        result.readOnly = m_readOnly || rights.result.rows->cell(0, 0).integer == 0;
        QueryResult& data = all.result;
        std::vector<int> keyIndexes;
        if (byPlace) {
            keyColumns << QStringLiteral("ctid");
            keyIndexes.push_back(0);
        } else {
            for (const QString& k : keyColumns)
                for (size_t i = 0; i < data.columns.size(); ++i)
                    if (data.columns[i].name == k)
                        keyIndexes.push_back(int(i));
        }
        m_keyColumns.insert(table, keyColumns);
        const int first = byPlace ? 1 : 0;
        result.data.columns.assign(data.columns.begin() + first, data.columns.end());
        result.data.rows = byPlace ? std::make_unique<ResultStore>(int(result.data.columns.size())) : nullptr;
        for (qsizetype r = 0; r < data.rows->rowCount(); ++r) {
            QVariantList key;
            for (const int index : keyIndexes)
                key << variantOf(data.rows->cell(r, index));
            result.keys.push_back(key);
            if (byPlace) {
                result.data.rows->beginRow();
                for (int c = first; c < data.rows->columnCount(); ++c)
                    result.data.rows->appendCell(data.rows->cell(r, c));
                result.data.rows->endRow();
            }
        }
        if (!byPlace)
            result.data.rows = std::move(data.rows);
    } catch (const Failure& f) {
        throw EDatabaseError(f.message);
    }
    return result;
}

QString PgConnection::whereKey(
    const QString& table, const QVariantList& key, std::vector<PgValues::Parameter>& parameters) const
{
    QStringList where;
    const QStringList keyColumns = m_keyColumns.value(table);
    for (int i = 0; i < keyColumns.size(); ++i) {
        const bool place = keyColumns[i] == QLatin1String("ctid") && keyColumns.size() == 1;
        const QString name = place ? keyColumns[i] : quoteIdentifier(keyColumns[i]);
        if (key.value(i).isNull()) {
            where << name + QStringLiteral(" IS NULL");
        } else {
            parameters.push_back(parameterOf(key.value(i)));
            where << QStringLiteral("%1 = $%2%3")
                         .arg(name)
                         .arg(parameters.size())
                         .arg(place ? QStringLiteral("::tid") : QString());
        }
    }
    return where.join(QStringLiteral(" AND "));
}

void PgConnection::write(const std::function<void()>& work)
{
    m_cancelled = false;
    m_raised = nullptr;
    const char* savepoint = nullptr;
    try {
        heal();
        savepoint = PQtransactionStatus(m_conn) == PQTRANS_IDLE ? nullptr : "velosql_post";
        command(savepoint ? QStringLiteral("SAVEPOINT velosql_post") : QStringLiteral("BEGIN"));
        work();
        command(savepoint ? QStringLiteral("RELEASE SAVEPOINT velosql_post") : QStringLiteral("COMMIT"));
    } catch (const Failure& f) {
        rollBack(savepoint);
        // A role or a session that may only read.
        if (f.state == "25006" || f.state == "42501")
            throw EDatabaseError(readOnlyMessage());
        throw EDatabaseError(f.message);
    } catch (...) {
        rollBack(savepoint);
        throw;
    }
}

void PgConnection::updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    if (m_readOnly)
        throw EDatabaseError(readOnlyMessage());
    write([&] {
        QStringList names;
        for (const FieldChange& c : changes)
            names << quoteIdentifier(c.column);
        std::vector<PgValues::Parameter> keyParameters;
        const QString where = whereKey(table, key, keyParameters);
        // The row stays locked from the check to the write, so that nobody changes it between.
        const Outcome stored = command(QStringLiteral("SELECT %1 FROM %2 WHERE %3 FOR UPDATE")
                                           .arg(names.join(QStringLiteral(", ")), quotedTable(table), where),
            keyParameters);
        if (stored.result.rows->rowCount() == 0)
            throw EDatabaseError(recordGoneMessage());
        for (size_t i = 0; i < changes.size(); ++i)
            if (!changes[i].before.sameAs(stored.result.rows->cell(0, int(i))))
                throw EDatabaseError(recordChangedMessage());
        std::vector<PgValues::Parameter> parameters;
        QStringList sets;
        for (size_t i = 0; i < changes.size(); ++i) {
            parameters.push_back(PgValues::parameter(changes[i].after.ref()));
            sets << QStringLiteral("%1 = $%2").arg(names[qsizetype(i)]).arg(i + 1);
        }
        const QString whereAfter = whereKey(table, key, parameters);
        command(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                    .arg(quotedTable(table), sets.join(QStringLiteral(", ")), whereAfter),
            parameters);
    });
}

void PgConnection::insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    if (m_readOnly)
        throw EDatabaseError(readOnlyMessage());
    write([&] {
        QStringList names;
        QStringList marks;
        std::vector<PgValues::Parameter> parameters;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            names << quoteIdentifier(columns[i]);
            marks << QStringLiteral("$%1").arg(i + 1);
            parameters.push_back(PgValues::parameter(values[size_t(i)].ref()));
        }
        command(columns.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable(table))
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quotedTable(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
            parameters);
    });
}
