#include "engine/postgres/PgConnection.h"

#include "engine/ErrorPosition.h"
#include "engine/SqlStatements.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

namespace
{

// The name under which statements on a table's rows see them.
const QString kRow = QStringLiteral("velosql_row");
// Every value of a row, as the server writes the row: what finds a row again in a
// relation that has neither a primary key nor a place of its own (a view, a foreign or
// partitioned table).
const QString kRowText = QStringLiteral("ROW(velosql_row.*)::text");
// A row's place in an ordinary table.
const QString kPlace = QStringLiteral("ctid");

QString quoteIdentifier(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// A text value bound to a statement's parameter.
PgValues::Parameter textParameter(const QString& text)
{
    return PgValues::parameter(FieldValue { CellClass::Text, text.toUtf8(), 0, 0 }.ref());
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

// Where a failure points in the whole text sql, whose UTF-8 form utf8 holds statement.
qsizetype positionIn(const QString& sql, QByteArrayView utf8, QByteArrayView statement, const PgFailure& f)
{
    if (f.position <= 0)
        return -1;
    const qsizetype start = ErrorPosition::fromUtf8Offset(utf8, statement.data() - utf8.data());
    return ErrorPosition::afterCharacters(sql, start, f.position - 1);
}

// Moves the rows of data into result, each with the values of its key, read from the
// columns keyIndexes; a first column that only identifies rows is no field. The rows
// may hold ceiling bytes at most (see ResultStore).
void takeRows(QueryResult& data, bool identityFirst, const std::vector<int>& keyIndexes, qsizetype ceiling,
    TableResult& result)
{
    const int first = identityFirst ? 1 : 0;
    result.data.columns.assign(data.columns.begin() + first, data.columns.end());
    result.data.rows = first ? std::make_unique<ResultStore>(int(result.data.columns.size()), ceiling) : nullptr;
    for (qsizetype r = 0; r < data.rows->rowCount(); ++r) {
        QVariantList key;
        for (const int index : keyIndexes)
            key << toVariant(data.rows->cell(r, index));
        result.keys.push_back(key);
        if (first) {
            result.data.rows->beginRow();
            for (int c = first; c < data.rows->columnCount(); ++c)
                result.data.rows->appendCell(data.rows->cell(r, c));
            result.data.rows->endRow();
        }
    }
    if (!first)
        result.data.rows = std::move(data.rows);
}

} // namespace

PgConnection::PgConnection(const AliasSettings& settings)
    : m_session(settings)
{
}

QueryResult PgConnection::execute(
    const QString& sql, const ProgressCallback& progress, const BoundParameters& parameters)
{
    m_session.begin(resultCeiling());
    const QByteArray utf8 = sql.toUtf8();
    const std::vector<QByteArrayView> statements = splitStatements(utf8);
    const ParameterPlaces places(sql, parameters);
    if (statements.empty())
        throw EDatabaseError(noCursorMessage());
    // Several statements apply all or none, in a transaction of their own or in a
    // savepoint of the one open, unless one of them cannot run in a transaction.
    const TextRun run = statements.size() > 1 ? scanStatements(utf8).run() : TextRun::Single;
    const bool batch = run == TextRun::AllOrNone;
    PgOutcome last;
    const auto runAll = [&] {
        for (size_t i = 0; i < statements.size(); ++i) {
            // Each statement takes the parameters that stand in it as $1, $2...
            const BoundStatement bound = places.empty()
                ? BoundStatement()
                : places.bind(utf8, statements[i], [](int n) { return '$' + QByteArray::number(n); });
            const QByteArrayView statement = places.empty() ? statements[i] : QByteArrayView(bound.sql);
            std::vector<PgValues::Parameter> values;
            for (const ParameterValue& v : bound.values)
                values.push_back(v.null ? PgValues::Parameter { {}, true, false } : textParameter(v.text));
            try {
                last = batch || i > 0 ? m_session.run(statement, values, progress)
                                      : m_session.runHealing(statement, values, progress);
            } catch (const PgFailure& f) {
                if (f.cancelled)
                    throw EDatabaseError(cancelledMessage());
                throw EDatabaseError(
                    statementFailure(run, int(i) + 1, f.message, statements[i]), positionIn(sql, utf8, statements[i], f));
            }
        }
    };
    if (batch) {
        try {
            m_session.heal();
            m_session.atomically("velosql_batch", runAll);
        } catch (const PgFailure& f) {
            throw EDatabaseError(f.message);
        }
    } else {
        runAll();
    }
    if (!last.hasRows)
        throw EDatabaseError(noCursorMessage());
    return std::move(last.result);
}

QString PgConnection::quotedTable(const QString& table) const
{
    if (const auto found = m_tableNames.constFind(table); found != m_tableNames.cend())
        return *found;
    // A plain name reaches the table as a statement that names it would: letter case aside.
    return isPlainName(table) ? table : quoteIdentifier(table);
}

QString PgConnection::resolveTable(const QString& table)
{
    // A table created under a quoted name keeps its letter case ("ListBase"); one created
    // under a plain name was folded to lower case. The exact name wins when it exists.
    QString name = quotedTable(table);
    if (name == table) {
        const PgOutcome exact = m_session.command(
            QStringLiteral("SELECT to_regclass($1) IS NOT NULL"), { textParameter(quoteIdentifier(table)) });
        if (exact.result.rows->cell(0, 0).integer != 0)
            name = quoteIdentifier(table);
    }
    m_tableNames.insert(table, name);
    return name;
}

TableResult PgConnection::openTable(const QString& table)
{
    m_session.begin(resultCeiling());
    TableResult result;
    try {
        m_session.heal();
        const QString name = resolveTable(table);
        const std::vector<PgValues::Parameter> nameParameter { textParameter(name) };
        // Rows are found again by their primary key; without one, by their place in an
        // ordinary table, or else by all their values.
        PgOutcome keys = m_session.command(
            QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
                           "AND a.attnum = ANY(i.indkey) WHERE i.indrelid = $1::text::regclass AND i.indisprimary "
                           "ORDER BY array_position(i.indkey::int2[], a.attnum)"),
            nameParameter);
        QStringList keyColumns;
        for (qsizetype r = 0; r < keys.result.rows->rowCount(); ++r) {
            const CellRef c = keys.result.rows->cell(r, 0);
            keyColumns << quoteIdentifier(Utf8::decode(QByteArrayView(c.data, c.size)));
        }
        // A role that may not update the relation, or a view that the server cannot
        // update (it joins, groups, or picks distinct rows), makes it one to read only.
        PgOutcome relation = m_session.command(
            QStringLiteral("SELECT has_table_privilege(oid, 'UPDATE') AND pg_relation_is_updatable(oid, true) & 4 = 4, "
                           "relkind = 'r' FROM pg_class WHERE oid = $1::text::regclass"),
            nameParameter);
        result.readOnly = m_session.readOnly() || relation.result.rows->cell(0, 0).integer == 0;
        const bool ordinary = relation.result.rows->cell(0, 1).integer != 0;
        // The key that is no column of the relation comes first, and is not one of its fields.
        const QString identity = !keyColumns.isEmpty() ? QString() : ordinary ? kPlace : kRowText;
        const QString identityText = identity == kPlace ? kPlace + QStringLiteral("::text") : identity;
        PgOutcome all = m_session.command(
            QStringLiteral("SELECT %1* FROM %2 AS %3")
                .arg(identity.isEmpty() ? QString() : identityText + QStringLiteral(", "), name, kRow));
        QueryResult& data = all.result;
        std::vector<int> keyIndexes;
        if (!identity.isEmpty()) {
            keyColumns << identity;
            keyIndexes.push_back(0);
        } else {
            for (const QString& k : keyColumns)
                for (size_t i = 0; i < data.columns.size(); ++i)
                    if (quoteIdentifier(data.columns[i].name) == k)
                        keyIndexes.push_back(int(i));
        }
        m_keyColumns.insert(table, keyColumns);
        takeRows(data, !identity.isEmpty(), keyIndexes, resultCeiling(), result);
    } catch (const PgFailure& f) {
        throw EDatabaseError(f.message);
    }
    return result;
}

QString PgConnection::whereKey(
    const QString& table, const QVariantList& key, std::vector<PgValues::Parameter>& parameters) const
{
    QStringList where;
    for (const QString& column : m_keyColumns.value(table)) {
        const QVariant value = key.value(int(where.size()));
        if (value.isNull()) {
            where << column + QStringLiteral(" IS NULL");
        } else {
            parameters.push_back(parameterOf(value));
            where << QStringLiteral("%1 = $%2%3")
                         .arg(column)
                         .arg(parameters.size())
                         .arg(column == kPlace ? QStringLiteral("::tid") : QString());
        }
    }
    return where.join(QStringLiteral(" AND "));
}

void PgConnection::write(const std::function<void()>& work)
{
    m_session.begin(resultCeiling());
    try {
        m_session.heal();
        m_session.atomically("velosql_post", work);
    } catch (const PgFailure& f) {
        // A role or a session that may only read.
        if (f.state == "25006" || f.state == "42501")
            throw EDatabaseError(readOnlyMessage());
        throw EDatabaseError(f.message);
    }
}

void PgConnection::updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    if (m_session.readOnly())
        throw EDatabaseError(readOnlyMessage());
    write([&] {
        QStringList names;
        for (const FieldChange& c : changes)
            names << quoteIdentifier(c.column);
        std::vector<PgValues::Parameter> keyParameters;
        const QString where = whereKey(table, key, keyParameters);
        // The row stays locked from the check to the write, so that nobody changes it between.
        const PgOutcome stored
            = m_session.command(QStringLiteral("SELECT %1 FROM %2 AS %3 WHERE %4 FOR UPDATE")
                                    .arg(names.join(QStringLiteral(", ")), quotedTable(table), kRow, where),
                keyParameters);
        if (stored.result.rows->rowCount() == 0)
            throw EDatabaseError(recordGoneMessage());
        if (stored.result.rows->rowCount() > 1)
            throw EDatabaseError(recordNotUniqueMessage());
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
        m_session.command(QStringLiteral("UPDATE %1 AS %2 SET %3 WHERE %4")
                              .arg(quotedTable(table), kRow, sets.join(QStringLiteral(", ")), whereAfter),
            parameters);
    });
}

void PgConnection::insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    if (m_session.readOnly())
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
        m_session.command(columns.isEmpty()
                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable(table))
                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quotedTable(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
            parameters);
    });
}

void PgConnection::endTransaction(bool commit)
{
    if (!m_session.inTransaction())
        return;
    // After a failed statement the server keeps nothing of the transaction: its COMMIT
    // would roll back, and say so only by its command tag.
    const bool failed = m_session.transactionFailed();
    m_session.begin(resultCeiling());
    try {
        m_session.command(commit && !failed ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
    } catch (const PgFailure& f) {
        throw EDatabaseError(f.message);
    }
    if (commit && failed)
        throw EDatabaseError(failedTransactionMessage());
}

std::vector<CatalogueTable> PgConnection::catalogue()
{
    // The relations of every schema but the server's own (and other sessions' temporary
    // ones); "reached by name" when the search path finds them without their schema.
    return catalogueFromRows(execute(QStringLiteral(
        "SELECT s.nspname::text, c.relname::text, CASE WHEN c.relkind IN ('v', 'm') THEN 'view' ELSE 'table' END, "
        "CASE WHEN pg_catalog.pg_table_is_visible(c.oid) THEN 1 ELSE 0 END, a.attname::text, "
        "pg_catalog.format_type(a.atttypid, a.atttypmod), "
        "COALESCE(pg_catalog.array_position(i.indkey::int2[], a.attnum) - pg_catalog.array_lower(i.indkey::int2[], 1) "
        "+ 1, 0) "
        "FROM pg_catalog.pg_class c "
        "JOIN pg_catalog.pg_namespace s ON s.oid = c.relnamespace "
        "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "LEFT JOIN pg_catalog.pg_index i ON i.indrelid = c.oid AND i.indisprimary "
        "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') "
        "AND s.nspname NOT IN ('pg_catalog', 'information_schema') AND s.nspname NOT LIKE 'pg\\_toast%' "
        "AND (s.nspname NOT LIKE 'pg\\_temp\\_%' OR s.oid = pg_catalog.pg_my_temp_schema()) "
        "ORDER BY s.nspname, c.relname, a.attnum")));
}
