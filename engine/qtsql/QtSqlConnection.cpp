#include "engine/qtsql/QtSqlConnection.h"

#include "engine/AliasSecurity.h"
#include "engine/Credentials.h"
#include "engine/ErrorPosition.h"
#include "engine/KeyValueList.h"
#include "engine/SqlStatements.h"
#include "engine/TextEncoding.h"
#include "engine/qtsql/QtSqlFailures.h"
#include "engine/qtsql/QtSqlRows.h"
#include "engine/qtsql/StoppableWork.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QUuid>
#include <optional>
#include <utility>

using namespace QtSqlFailures;

namespace
{

// True when the server asks for a password it was not given, or refuses the one given.
bool refusesLogin(const QSqlError& e)
{
    const QString text = e.databaseText();
    return text.contains(QLatin1String("no password supplied"))
        || text.contains(QLatin1String("password authentication failed"));
}

// Opens db as s says; throws ELoginRefused when the server wants another password.
// A read-only alias makes a PostgreSQL server refuse every write of the session, by
// whichever driver it is reached.
void openAs(QSqlDatabase& db, const AliasSettings& s)
{
    db.setUserName(s.user);
    db.setPassword(s.password);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        if (refusesLogin(error))
            throw ELoginRefused(errorText(error));
        if (!s.noTlsRefusal.isEmpty() && AliasSecurity::saysNoTls(error.databaseText()))
            throw EDatabaseError(s.noTlsRefusal);
        throw EDatabaseError(errorText(error));
    }
    if (s.readOnly && db.driver()->dbmsType() == QSqlDriver::PostgreSQL) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"))) {
            const QString message = errorText(q.lastError());
            db.close();
            throw EDatabaseError(message);
        }
    }
}

// How many rows PostgreSQL's ODBC driver fetches at a time when it reads through a cursor.
constexpr int kFetchRows = 1000;

// PostgreSQL's ODBC driver reads a whole result into its own memory before it gives the
// first row, beyond the reach of the result's memory ceiling. Told to, it reads through
// a cursor, a block of rows at a time: so it is told, unless the connection string says
// otherwise (UseDeclareFetch, or its short name B6).
QString withBlockFetch(const QString& connection)
{
    if (!KeyValueList::namesPostgresDriver(connection)
        || KeyValueList::value(connection, { QStringLiteral("UseDeclareFetch"), QStringLiteral("B6") }))
        return connection;
    return KeyValueList::with(KeyValueList::with(connection, QStringLiteral("UseDeclareFetch"), QStringLiteral("1")),
        QStringLiteral("Fetch"), QString::number(kFetchRows));
}

// Runs sql on q, its placeholders bound to values; the last result set it gives, if any. Some drivers give one result
// per statement, the first one first: the text's result is the last one. Others
// report only the first statement's outcome; the server then refuses the commit of a
// batch in which a later one failed.
std::optional<QueryResult> execAndRead(QSqlQuery& q, const QString& sql, const QVariantList& values,
    const QSqlDriver* driver, const ProgressCallback& progress, bool odbc, qsizetype ceiling)
{
    if (values.isEmpty()) {
        if (!q.exec(sql))
            fail(q.lastError(), driver);
    } else {
        if (!q.prepare(sql))
            fail(q.lastError(), driver);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            fail(q.lastError(), driver);
    }
    std::optional<QueryResult> result;
    for (;;) {
        result.reset();
        if (q.isSelect()) {
            result = readQtSqlRows(q, odbc, progress, ceiling);
            if (q.lastError().isValid())
                fail(q.lastError(), driver);
        }
        if (!q.nextResult())
            break;
    }
    if (q.lastError().isValid())
        fail(q.lastError(), driver);
    return result;
}

// A statement as Qt SQL prepares it: part of utf8 with each parameter as a "?", and
// the values in order (a null as a null text).
struct BoundText {
    QString sql;
    QVariantList values;
};
BoundText boundText(const ParameterPlaces& places, QByteArrayView utf8, QByteArrayView part)
{
    const BoundStatement bound = places.bind(utf8, part, [](int) { return QByteArray("?"); });
    BoundText text { Utf8::decode(bound.sql), {} };
    for (const ParameterValue& v : bound.values)
        text.values << (v.null ? QVariant(QMetaType::fromType<QString>()) : QVariant(v.text));
    return text;
}

} // namespace

QtSqlConnection::QtSqlConnection(const AliasSettings& s)
    : m_name(QStringLiteral("velosql-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_settings(s)
    , m_odbc(s.isOdbc())
{
    // Qt's drivers decode the server's text themselves: a legacy code page would be misread.
    if (!TextEncoding::named(s.encoding).isUtf8())
        throw EDatabaseError(
            QStringLiteral("L'alias %1 indique encoding=%2 : seul le pilote QPSQL lit une base de données dans cet "
                           "encodage.")
                .arg(s.alias, s.encoding));
    QSqlDatabase db = QSqlDatabase::addDatabase(s.driver, m_name);
    db.setDatabaseName(m_odbc ? withBlockFetch(s.database) : s.database);
    if (!s.host.isEmpty())
        db.setHostName(s.host);
    if (s.port > 0)
        db.setPort(s.port);
    db.setConnectOptions(s.options);
    // Exact decimals come as text, with every digit, not as rounded floats.
    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    try {
        openAs(db, s);
    } catch (const EDatabaseError&) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw;
    }
}

QtSqlConnection::~QtSqlConnection()
{
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase QtSqlConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void QtSqlConnection::reopen(const QString& loss)
{
    QSqlDatabase db = database();
    db.close();
    try {
        // The login that the server took last; asked again only if it refuses it now
        // and the alias holds no password.
        Credentials::connectWithLogin(m_settings, [&db](const AliasSettings& s) { openAs(db, s); });
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(loss.isEmpty() ? e.message() : loss + QLatin1Char('\n') + e.message());
    }
}

void QtSqlConnection::inSession(const std::function<void()>& work, bool repeatable)
{
    // A driver that saw its session end closes it: nothing has been sent since.
    if (!database().isOpen())
        reopen(QString());
    bool sent = false;
    try {
        probe();
        sent = true;
        work();
        return;
    } catch (const LostSession& lost) {
        const bool transactionLost = std::exchange(m_transactionOpen, false);
        reopen(lost.message());
        if (transactionLost)
            throw EDatabaseError(lost.message() + QLatin1Char('\n')
                + QStringLiteral("La transaction ouverte est perdue avec la connexion : ses modifications ne sont "
                                 "pas enregistrées"));
        if (sent && (!lost.neverRan || !repeatable))
            throw EDatabaseError(lost.message() + QLatin1Char('\n')
                + QStringLiteral("La connexion au serveur a été rétablie, mais l'instruction n'est pas relancée : "
                                 "elle a peut-être été exécutée"));
    }
    try {
        work();
    } catch (const LostSession& lost) {
        throw EDatabaseError(lost.message());
    }
}

void QtSqlConnection::probe()
{
    // A PostgreSQL server's farewell to a session it ended reads the same whether the
    // session was idle or running a statement: a statement of no consequence finds
    // it before the work is sent, so that a statement that fails so has run.
    QSqlDatabase db = database();
    if (db.driver()->dbmsType() != QSqlDriver::PostgreSQL)
        return;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT 1")))
        fail(q.lastError(), db.driver());
}

QueryResult QtSqlConnection::execute(
    const QString& sql, const ProgressCallback& progress, const BoundParameters& parameters)
{
    const SqlStatementScan scan = scanStatements(sql.toUtf8());
    const ParameterPlaces places(sql, parameters);
    QueryResult result;
    // A text that cannot run in one transaction may have applied part of itself
    // before the session was lost: it is not run again.
    inSession([&] { result = run(sql, places, scan, progress); }, !scan.outsideTransaction);
    return result;
}

QueryResult QtSqlConnection::run(
    const QString& sql, const ParameterPlaces& places, const SqlStatementScan& scan, const ProgressCallback& progress)
{
    std::optional<QueryResult> result;
    if (scan.run() == TextRun::AsWritten) {
        result = runEach(sql, places, progress, TextRun::AsWritten);
    } else if (scan.run() == TextRun::Single) {
        const QByteArray utf8 = sql.toUtf8();
        const BoundText bound = places.empty() ? BoundText { sql, {} } : boundText(places, utf8, utf8);
        result = runText(bound.sql, bound.values, progress);
    } else {
        // Several statements run one by one in one transaction, so that they apply all or
        // none and a failure names its statement. Inside the user's own transaction they
        // join it: the driver's commit would end that one too.
        QSqlDatabase db = database();
        DriverTransaction transaction(db, !m_transactionOpen);
        result = runEach(sql, places, progress, TextRun::AllOrNone);
        transaction.commit(QStringLiteral("Le serveur a refusé les instructions : aucune n'a été appliquée"));
    }
    if (!result)
        throw EDatabaseError(noCursorMessage());
    return std::move(*result);
}

std::optional<QueryResult> QtSqlConnection::runText(
    const QString& sql, const QVariantList& values, const ProgressCallback& progress)
{
    QSqlDatabase db = database();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    std::optional<QueryResult> result;
    const auto work = [&, driver = db.driver(), ceiling = resultCeiling()](const ProgressCallback& reading) {
        result = execAndRead(q, sql, values, driver, reading, m_odbc, ceiling);
    };
    // An ODBC driver does its work out of the window's thread, where a stop can reach it.
    if (m_odbc)
        runStoppable(q, work, progress);
    else
        work(progress);
    q.finish();
    if (const TransactionEffect effect = transactionEffect(sql.toUtf8()); effect != TransactionEffect::None)
        m_transactionOpen = effect == TransactionEffect::Opens;
    keepClientEncoding(sql);
    return result;
}

void QtSqlConnection::keepClientEncoding(const QString& sql)
{
    // The driver writes UTF-8 whatever the session says: text written under another
    // client encoding would be stored misread. Only a statement that names it changes it.
    static const QRegularExpression names(
        QStringLiteral("client_encoding|\\bnames\\b"), QRegularExpression::CaseInsensitiveOption);
    QSqlDatabase db = database();
    if (db.driver()->dbmsType() != QSqlDriver::PostgreSQL || !names.match(sql).hasMatch())
        return;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SHOW client_encoding")) || !q.next())
        fail(q.lastError(), db.driver());
    if (q.value(0).toString().compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0)
        return;
    if (!q.exec(QStringLiteral("SET client_encoding = 'UTF8'")))
        fail(q.lastError(), db.driver());
    throw DriverFailure(clientEncodingSetBackMessage(QStringLiteral("UTF8")));
}

void QtSqlConnection::endTransaction(bool commit)
{
    if (!m_transactionOpen)
        return;
    inSession(
        [&] {
            const QSqlDatabase db = database();
            QSqlQuery q(db);
            if (!q.exec(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")))
                fail(q.lastError(), db.driver());
            m_transactionOpen = false;
        },
        false);
}

std::optional<QueryResult> QtSqlConnection::runEach(
    const QString& sql, const ParameterPlaces& places, const ProgressCallback& progress, TextRun run)
{
    const QByteArray utf8 = sql.toUtf8();
    const std::vector<QByteArrayView> statements = splitStatements(utf8);
    std::optional<QueryResult> result;
    for (size_t i = 0; i < statements.size(); ++i) {
        try {
            const BoundText bound = boundText(places, utf8, statements[i]);
            result = runText(bound.sql, bound.values, progress);
        } catch (const DriverFailure& e) {
            // The driver tells no place: the token its message quotes, in the statement.
            const qsizetype near = ErrorPosition::nearToken(e.message(), Utf8::decode(statements[i]));
            const qsizetype position
                = near < 0 ? -1 : ErrorPosition::fromUtf8Offset(utf8, statements[i].data() - utf8.data()) + near;
            throw EDatabaseError(statementFailure(run, int(i) + 1, e.message(), statements[i]), position);
        }
    }
    return result;
}

bool QtSqlConnection::unquotedNamesFoldToLower() const
{
    return database().driver()->dbmsType() == QSqlDriver::PostgreSQL;
}

namespace
{

// A column's type as ODBC names its SQL type, with the size of a text or binary column
// and the precision and scale of a decimal one; Qt's name of the value's type from
// another driver.
QString typeName(const QSqlField& f, bool odbc)
{
    struct Named {
        int type;
        const char* name;
        bool sized;
    };
    static constexpr Named kOdbcTypes[] = { { 1, "CHAR", true }, { 12, "VARCHAR", true }, { -1, "LONGVARCHAR", false },
        { -8, "WCHAR", true }, { -9, "WVARCHAR", true }, { -10, "WLONGVARCHAR", false }, { 2, "NUMERIC", true },
        { 3, "DECIMAL", true }, { 4, "INTEGER", false }, { 5, "SMALLINT", false }, { -5, "BIGINT", false },
        { -6, "TINYINT", false }, { -7, "BIT", false }, { 6, "FLOAT", false }, { 7, "REAL", false },
        { 8, "DOUBLE", false }, { 9, "DATE", false }, { 91, "DATE", false }, { 10, "TIME", false },
        { 92, "TIME", false }, { 11, "TIMESTAMP", false }, { 93, "TIMESTAMP", false }, { -2, "BINARY", true },
        { -3, "VARBINARY", true }, { -4, "LONGVARBINARY", false }, { -11, "GUID", false }, { 16, "BOOLEAN", false } };
    if (odbc) {
        for (const Named& n : kOdbcTypes) {
            if (n.type != f.typeID())
                continue;
            QString name = QLatin1String(n.name);
            if (n.sized && f.length() > 0) {
                const bool decimal = n.type == 2 || n.type == 3;
                name += decimal && f.precision() > 0 ? QStringLiteral("(%1,%2)").arg(f.length()).arg(f.precision())
                                                     : QStringLiteral("(%1)").arg(f.length());
            }
            return name;
        }
    }
    return QString::fromLatin1(f.metaType().name());
}

} // namespace

std::vector<CatalogueTable> QtSqlConnection::catalogue()
{
    const QSqlDatabase db = database();
    std::vector<CatalogueTable> tables;
    const QStringList viewList = db.tables(QSql::Views);
    const QSet<QString> views(viewList.cbegin(), viewList.cend());
    QSet<QString> seen;
    for (const QString& name : db.tables(QSql::Tables) + viewList) {
        // The driver names the tables of every schema without their schema: a name
        // given twice is listed once, as a statement reaches it.
        if (seen.contains(name))
            continue;
        seen.insert(name);
        CatalogueTable table { name, {}, views.contains(name), true, {} };
        QSqlRecord record = db.record(name);
        // Qt reads a name with a quote, a dot or capitals its own way and then finds no
        // columns: the columns of an empty result then, without a key. A failed
        // statement would end the user's transaction on some servers: none inside one.
        if (record.isEmpty() && !m_transactionOpen) {
            QSqlQuery q(db);
            const QString quoted = QLatin1Char('"') + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
            if (q.exec(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(quoted)))
                record = q.record();
        }
        const QSqlIndex key = db.primaryIndex(name);
        for (int i = 0; i < record.count(); ++i)
            table.columns.push_back(CatalogueColumn {
                record.fieldName(i), typeName(record.field(i), m_odbc), int(key.indexOf(record.fieldName(i))) + 1 });
        tables.push_back(std::move(table));
    }
    return tables;
}
