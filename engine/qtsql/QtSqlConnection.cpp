#include "engine/qtsql/QtSqlConnection.h"

#include "engine/AliasSecurity.h"
#include "engine/Credentials.h"
#include "engine/SqlStatements.h"
#include "engine/TextEncoding.h"
#include "engine/qtsql/QtSqlRows.h"
#include "engine/qtsql/StoppableWork.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QUuid>
#include <optional>
#include <utility>

namespace
{

// The server's message, one line per error of its chain. Drivers add lines of their own
// that say nothing more ("QODBC: Unable to connect", "Error while executing the query"),
// and PostgreSQL's ODBC driver ends the server's line with ";".
QString errorText(const QSqlError& e)
{
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC|WARNING):"));
    QStringList lines;
    for (QString line : e.databaseText().split(QLatin1Char('\n'))) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        if (line.endsWith(QLatin1Char(';')) && severity.match(line).hasMatch())
            line.chop(1);
        if (line.trimmed().isEmpty() || line == QLatin1String("Error while executing the query"))
            continue;
        lines << line;
    }
    if (lines.isEmpty() && !e.driverText().trimmed().isEmpty())
        lines << e.driverText().trimmed();
    if (lines.isEmpty())
        lines << QStringLiteral("Le pilote de base de données n'a donné aucun message d'erreur");
    return lines.join(QLatin1Char('\n'));
}

// True when the server asks for a password it was not given, or refuses the one given.
bool refusesLogin(const QSqlError& e)
{
    const QString text = e.databaseText();
    return text.contains(QLatin1String("no password supplied"))
        || text.contains(QLatin1String("password authentication failed"));
}

// A statement that failed because the session with the server is gone: the server
// ended it (it stopped or restarted) or the line broke. neverRan tells that the
// failure proves the statement did nothing: the server had ended the session before
// the statement came, or the driver did not send it.
class LostSession : public EDatabaseError
{
public:
    LostSession(const QString& message, bool neverRan)
        : EDatabaseError(message)
        , neverRan(neverRan)
    {
    }
    bool neverRan;
};

bool saysAny(const QSqlError& e, std::initializer_list<const char*> signs)
{
    const QString text = e.databaseText() + QLatin1Char('\n') + e.driverText();
    for (const char* sign : signs)
        if (text.contains(QLatin1String(sign), Qt::CaseInsensitive))
            return true;
    return false;
}

// Throws the failure of a statement on driver: LostSession when the session is gone.
[[noreturn]] void fail(const QSqlError& e, const QSqlDriver* driver)
{
    const bool neverRan = saysAny(e,
        { "terminating connection due to administrator command", "unable due to the connection lost",
            "database not open" });
    if (neverRan || !driver || !driver->isOpen()
        || saysAny(e,
            { "terminating connection", "connection has been lost", "server closed the connection",
                "no connection to the server", "could not receive data from server", "could not send data to server" }))
        throw LostSession(errorText(e), neverRan);
    throw EDatabaseError(errorText(e));
}

// Prepares sql on db, binds values in order and runs it; throws as fail() does.
QSqlQuery runBound(QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        fail(q.lastError(), db.driver());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q.lastError(), db.driver());
    return q;
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
    static const QRegularExpression postgres(
        QStringLiteral("(^|;)\\s*DRIVER\\s*=[^;]*postgres"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression chosen(
        QStringLiteral("(^|;)\\s*(UseDeclareFetch|B6)\\s*="), QRegularExpression::CaseInsensitiveOption);
    if (!postgres.match(connection).hasMatch() || chosen.match(connection).hasMatch())
        return connection;
    const QString separator = connection.trimmed().endsWith(QLatin1Char(';')) ? QString() : QStringLiteral(";");
    return connection + separator + QStringLiteral("UseDeclareFetch=1;Fetch=%1").arg(kFetchRows);
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

// The driver's transaction, where it has one: committed on request, rolled back
// when left otherwise.
class DriverTransaction
{
public:
    DriverTransaction(QSqlDatabase& db, bool wanted)
        : m_db(db)
        , m_open(wanted && db.driver()->hasFeature(QSqlDriver::Transactions) && db.transaction())
    {
    }
    ~DriverTransaction()
    {
        if (m_open)
            m_db.rollback();
    }
    DriverTransaction(const DriverTransaction&) = delete;
    DriverTransaction& operator=(const DriverTransaction&) = delete;

    bool open() const { return m_open; }
    // A refused commit throws what, followed by the driver's text.
    void commit(const QString& what)
    {
        if (!m_open)
            return;
        m_open = false;
        if (!m_db.commit()) {
            const QString message = what + QLatin1Char('\n') + errorText(m_db.lastError());
            m_db.rollback();
            throw EDatabaseError(message);
        }
    }

private:
    QSqlDatabase& m_db;
    bool m_open;
};

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
    try {
        work();
        return;
    } catch (const LostSession& lost) {
        const bool transactionLost = std::exchange(m_transactionOpen, false);
        reopen(lost.message());
        if (transactionLost)
            throw EDatabaseError(lost.message() + QLatin1Char('\n')
                + QStringLiteral("La transaction ouverte est perdue avec la connexion : ses modifications ne sont "
                                 "pas enregistrées"));
        if (!lost.neverRan || !repeatable)
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
        result = runEach(sql, places, progress);
    } else {
        // The driver runs the text whole; several statements run in one transaction, so
        // that they apply all or none.
        // Inside the user's own transaction the statements join it: the driver's commit
        // would end that one too.
        QSqlDatabase db = database();
        DriverTransaction transaction(db, scan.run() == TextRun::AllOrNone && !m_transactionOpen);
        const QByteArray utf8 = sql.toUtf8();
        const BoundText bound = places.empty() ? BoundText { sql, {} } : boundText(places, utf8, utf8);
        result = runText(bound.sql, bound.values, progress);
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
    return result;
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
    const QString& sql, const ParameterPlaces& places, const ProgressCallback& progress)
{
    const QByteArray utf8 = sql.toUtf8();
    const std::vector<QByteArrayView> statements = splitStatements(utf8);
    std::optional<QueryResult> result;
    for (size_t i = 0; i < statements.size(); ++i) {
        try {
            const BoundText bound = boundText(places, utf8, statements[i]);
            result = runText(bound.sql, bound.values, progress);
        } catch (const LostSession&) {
            throw;
        } catch (const EDatabaseError& e) {
            throw EDatabaseError(statementFailure(TextRun::AsWritten, int(i) + 1, e.message(), statements[i]));
        }
    }
    return result;
}

QString QtSqlConnection::quotedTable(const QString& table) const
{
    if (const auto found = m_tableNames.constFind(table); found != m_tableNames.cend())
        return *found;
    return database().driver()->escapeIdentifier(table, QSqlDriver::TableName);
}

QString QtSqlConnection::resolveTable(const QString& table) const
{
    // A table created under a quoted name keeps its letter case ("ListBase"); one created
    // under a plain name was folded the server's way. The exact name wins when it exists.
    if (const auto found = m_tableNames.constFind(table); found != m_tableNames.cend())
        return *found;
    QSqlDatabase db = database();
    if (!isPlainName(table) || db.tables(QSql::Tables).contains(table) || db.tables(QSql::Views).contains(table))
        return db.driver()->escapeIdentifier(table, QSqlDriver::TableName);
    return table;
}

TableResult QtSqlConnection::openTable(const QString& table)
{
    const QString select = QStringLiteral("SELECT * FROM %1");
    const SqlStatementScan scan = scanStatements(select.toUtf8());
    QString name;
    TableResult result;
    // The name is looked for in the session that reads the table: a session found lost
    // meanwhile may have answered with no table at all.
    inSession(
        [&] {
            name = resolveTable(table);
            result.data = run(select.arg(name), ParameterPlaces(), scan, {});
        },
        true);
    m_tableNames.insert(table, name);
    QSqlDatabase db = database();
    // Rows are found again by their primary key, or by all their values without one.
    QStringList keyColumns;
    const QSqlIndex pk = db.primaryIndex(name);
    for (int i = 0; i < pk.count(); ++i)
        keyColumns << pk.fieldName(i);
    if (keyColumns.isEmpty())
        for (const ColumnInfo& c : result.data.columns)
            keyColumns << c.name;
    m_keyColumns.insert(table, keyColumns);
    std::vector<int> keyIndexes;
    for (const QString& k : keyColumns) {
        int index = 0;
        while (index < int(result.data.columns.size()) && result.data.columns[size_t(index)].name != k)
            ++index;
        keyIndexes.push_back(index);
    }
    for (qsizetype r = 0; r < result.data.rows->rowCount(); ++r) {
        QVariantList key;
        for (const int index : keyIndexes)
            key << toVariant(result.data.rows->cell(r, index));
        result.keys.push_back(key);
    }
    return result;
}

QString QtSqlConnection::whereKey(const QString& table, const QVariantList& key, QVariantList& bound) const
{
    QSqlDriver* driver = database().driver();
    QStringList where;
    const QStringList keyColumns = m_keyColumns.value(table);
    for (int i = 0; i < keyColumns.size(); ++i) {
        const QString name = driver->escapeIdentifier(keyColumns[i], QSqlDriver::FieldName);
        if (key.value(i).isNull()) {
            where << name + QStringLiteral(" IS NULL");
        } else {
            where << name + QStringLiteral(" = ?");
            bound << key.value(i);
        }
    }
    return where.join(QStringLiteral(" AND "));
}

void QtSqlConnection::updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    // The write and its check run in one transaction, which a lost session undid.
    inSession([&] { writeRow(table, key, changes); }, true);
}

void QtSqlConnection::writeRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes)
{
    QSqlDatabase db = database();
    QSqlDriver* driver = db.driver();
    const QString quoted = quotedTable(table);
    QStringList names;
    QStringList sets;
    for (const FieldChange& c : changes) {
        names << driver->escapeIdentifier(c.column, QSqlDriver::FieldName);
        sets << names.last() + QStringLiteral(" = ?");
    }
    QVariantList keyValues;
    const QString where = whereKey(table, key, keyValues);

    DriverTransaction transaction(db, true);
    if (transaction.open()) {
        // A write that changes nothing holds the row until the commit, so that nobody
        // changes it between the check and the write.
        runBound(db, QStringLiteral("UPDATE %1 SET %2 = %2 WHERE %3").arg(quoted, names.first(), where), keyValues);
    }
    {
        QSqlQuery check = runBound(db,
            QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(names.join(QStringLiteral(", ")), quoted, where),
            keyValues);
        const QueryResult stored = readQtSqlRows(check, m_odbc);
        if (check.lastError().isValid())
            fail(check.lastError(), driver);
        if (stored.rows->rowCount() == 0)
            throw EDatabaseError(recordGoneMessage());
        if (stored.rows->rowCount() > 1)
            throw EDatabaseError(recordNotUniqueMessage());
        for (size_t i = 0; i < changes.size(); ++i)
            if (!changes[i].before.sameAs(stored.rows->cell(0, int(i))))
                throw EDatabaseError(recordChangedMessage());
    }
    QVariantList values;
    for (const FieldChange& c : changes)
        values << toVariant(c.after.ref());
    values << keyValues;
    QSqlQuery update = runBound(
        db, QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(quoted, sets.join(QStringLiteral(", ")), where), values);
    if (!transaction.open() && update.numRowsAffected() == 0)
        throw EDatabaseError(recordGoneMessage());
    update.finish();
    transaction.commit(QStringLiteral("Le serveur a refusé l'enregistrement"));
}

void QtSqlConnection::insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    inSession([&] { addRow(table, columns, values); }, true);
}

void QtSqlConnection::addRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    QSqlDatabase db = database();
    QSqlDriver* driver = db.driver();
    const QString quoted = quotedTable(table);
    QStringList names;
    QStringList marks;
    for (const QString& c : columns) {
        names << driver->escapeIdentifier(c, QSqlDriver::FieldName);
        marks << QStringLiteral("?");
    }
    QVariantList bound;
    for (const FieldValue& v : values)
        bound << toVariant(v.ref());
    runBound(db,
        columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted)
                          : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(quoted, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        bound);
}

// Of the servers reached through ODBC, only PostgreSQL is known to fold to small letters.
bool QtSqlConnection::unquotedNamesFoldToLower() const
{
    return database().driver()->dbmsType() == QSqlDriver::PostgreSQL;
}

std::vector<CatalogueTable> QtSqlConnection::catalogue()
{
    const QSqlDatabase db = database();
    std::vector<CatalogueTable> tables;
    for (const QString& name : db.tables(QSql::Tables) + db.tables(QSql::Views)) {
        CatalogueTable table { name, {} };
        const QSqlRecord record = db.record(name);
        for (int i = 0; i < record.count(); ++i)
            table.columns << record.fieldName(i);
        tables.push_back(std::move(table));
    }
    return tables;
}
