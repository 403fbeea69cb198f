// The table half of a Qt SQL connection: a table opened with a key per row (its
// primary key, else all its values), rows written back once each is found unchanged,
// and rows added, each in a driver transaction of its own.
#include "engine/qtsql/QtSqlConnection.h"

#include "engine/SqlStatements.h"
#include "engine/qtsql/QtSqlFailures.h"
#include "engine/qtsql/QtSqlRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace QtSqlFailures;

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
