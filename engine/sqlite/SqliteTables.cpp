// The table half of the SQLite connection: the settings table opened with a key per
// row, and its rows written back or added in a write transaction of their own.
#include "engine/sqlite/SqliteConnection.h"

#include "engine/sqlite/SqliteRows.h"
#include "engine/sqlite/SqliteStatement.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <sqlite3.h>

using namespace SqliteStatement;

bool SqliteConnection::hasRowid(const QString& table)
{
    // A view may show a rowid of its own that finds nothing in it.
    {
        Statement view;
        const QByteArray name = table.toUtf8();
        if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM sqlite_schema WHERE type = 'view' AND name = ?1 COLLATE NOCASE", -1,
                &view.stmt, nullptr)
                == SQLITE_OK
            && sqlite3_bind_text64(
                   view.stmt, 1, name.constData(), sqlite3_uint64(name.size()), SQLITE_TRANSIENT, SQLITE_UTF8)
                == SQLITE_OK
            && sqlite3_step(view.stmt) == SQLITE_ROW)
            return false;
    }
    // A table WITHOUT ROWID has none.
    Statement s;
    const QByteArray probe = (QStringLiteral("SELECT rowid FROM ") + quoteIdentifier(table)).toUtf8();
    return sqlite3_prepare_v2(m_db, probe.constData(), int(probe.size()), &s.stmt, nullptr) == SQLITE_OK;
}

TableResult SqliteConnection::openTable(const QString& table)
{
    // Rows are found again by their rowid; those of a view or of a table WITHOUT ROWID
    // by every value they hold.
    const bool byRowid = hasRowid(table);
    QueryResult all = execute(QStringLiteral("SELECT %1* FROM %2")
                                  .arg(byRowid ? QStringLiteral("rowid, ") : QString(), quoteIdentifier(table)));
    const int first = byRowid ? 1 : 0;
    TableResult result;
    const int columns = int(all.columns.size()) - first;
    result.data.columns.assign(all.columns.begin() + first, all.columns.end());
    if (byRowid) {
        m_valueKeys.remove(table);
    } else {
        QStringList names;
        for (const ColumnInfo& c : result.data.columns)
            names << c.name;
        m_valueKeys.insert(table, names);
    }
    result.data.rows = std::make_unique<ResultStore>(columns, resultCeiling());
    for (qsizetype r = 0; r < all.rows->rowCount(); ++r) {
        QVariantList key;
        if (byRowid) {
            key << all.rows->cell(r, 0).integer;
        } else {
            // Each value as its class and its bytes, so that a text and a blob of the
            // same bytes, or an ill-formed text, find their row exactly.
            for (int c = 0; c < columns; ++c) {
                const CellRef cell = all.rows->cell(r, c);
                key << int(cell.cls)
                    << (cell.cls == CellClass::Integer        ? QVariant(cell.integer)
                               : cell.cls == CellClass::Float ? QVariant(cell.real)
                               : cell.data                    ? QVariant(QByteArray(cell.data, cell.size))
                                                              : QVariant());
            }
        }
        result.keys.push_back(key);
        result.data.rows->beginRow();
        for (int c = 0; c < columns; ++c)
            result.data.rows->appendCell(all.rows->cell(r, c + first));
        result.data.rows->endRow();
    }
    return result;
}

QString SqliteConnection::whereKey(const QString& table, const QVariantList& key, std::vector<FieldValue>& values) const
{
    const auto names = m_valueKeys.constFind(table);
    if (names == m_valueKeys.cend()) {
        FieldValue rowid;
        rowid.cls = CellClass::Integer;
        rowid.integer = key.value(0).toLongLong();
        values.push_back(rowid);
        return QStringLiteral("rowid = ?");
    }
    QStringList where;
    for (qsizetype i = 0; i < names->size(); ++i) {
        FieldValue v;
        v.cls = CellClass(key.value(2 * i).toInt());
        const QVariant value = key.value(2 * i + 1);
        v.integer = v.cls == CellClass::Integer ? value.toLongLong() : 0;
        v.real = v.cls == CellClass::Float ? value.toDouble() : 0;
        if (v.cls == CellClass::Text || v.cls == CellClass::Blob)
            v.bytes = value.toByteArray();
        values.push_back(v);
        // IS, not =: a null finds a null.
        where << quoteIdentifier(names->at(i)) + QStringLiteral(" IS ?");
    }
    return where.isEmpty() ? QStringLiteral("1") : where.join(QStringLiteral(" AND "));
}

void SqliteConnection::exec(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

void SqliteConnection::run(const QString& sql, const std::vector<FieldValue>& values)
{
    Statement s;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &s.stmt, nullptr) != SQLITE_OK)
        fail();
    for (size_t i = 0; i < values.size(); ++i)
        bindValue(s.stmt, int(i) + 1, values[i]);
    if (sqlite3_step(s.stmt) != SQLITE_DONE)
        fail();
}

void SqliteConnection::updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    QStringList names;
    QStringList sets;
    std::vector<FieldValue> values;
    for (const FieldChange& c : changes) {
        names << quoteIdentifier(c.column);
        sets << quoteIdentifier(c.column) + QStringLiteral(" = ?");
        values.push_back(c.after);
    }
    std::vector<FieldValue> keyValues;
    const QString where = whereKey(table, key, keyValues);
    values.insert(values.end(), keyValues.begin(), keyValues.end());

    // The write lock comes first, so that nobody changes the row between the check and the write.
    const bool outermost = sqlite3_get_autocommit(m_db) != 0;
    exec(outermost ? "BEGIN IMMEDIATE" : "SAVEPOINT velosql_post");
    try {
        {
            Statement s;
            const QByteArray check = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                         .arg(names.join(QStringLiteral(", ")), quoteIdentifier(table), where)
                                         .toUtf8();
            if (sqlite3_prepare_v2(m_db, check.constData(), int(check.size()), &s.stmt, nullptr) != SQLITE_OK)
                fail();
            for (size_t i = 0; i < keyValues.size(); ++i)
                bindValue(s.stmt, int(i) + 1, keyValues[i]);
            int rc = sqlite3_step(s.stmt);
            if (rc == SQLITE_DONE)
                throw EDatabaseError(recordGoneMessage());
            if (rc != SQLITE_ROW)
                fail();
            for (size_t i = 0; i < changes.size(); ++i)
                if (!changes[i].before.sameAs(SqliteRows::cellOf(s.stmt, int(i))))
                    throw EDatabaseError(recordChangedMessage());
            // Found by its values, the record must be the only one that holds them.
            rc = sqlite3_step(s.stmt);
            if (rc == SQLITE_ROW)
                throw EDatabaseError(recordNotUniqueMessage());
            if (rc != SQLITE_DONE)
                fail();
        }
        run(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                .arg(quoteIdentifier(table), sets.join(QStringLiteral(", ")), where),
            values);
        exec(outermost ? "COMMIT" : "RELEASE velosql_post");
    } catch (...) {
        rollBack(m_db, outermost, "velosql_post");
        throw;
    }
}

void SqliteConnection::insertRow(
    const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    if (columns.isEmpty()) {
        run(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoteIdentifier(table)), {});
        return;
    }
    QStringList names;
    QStringList marks;
    for (const QString& c : columns) {
        names << quoteIdentifier(c);
        marks << QStringLiteral("?");
    }
    run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quoteIdentifier(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        values);
}

