#include "database/QtSqlConnection.h"

#include "database/Databases.h"
#include "Exceptions.h"
#include "database/SqlStatements.h"
#include "Utf8.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QUuid>

namespace
{

QString errorText(const QSqlError& e)
{
    QStringList lines;
    if (!e.databaseText().isEmpty())
        lines << e.databaseText().trimmed();
    if (!e.driverText().isEmpty() && e.driverText() != e.databaseText())
        lines << e.driverText().trimmed();
    return lines.isEmpty() ? e.text() : lines.join(QLatin1Char('\n'));
}

ColumnInfo columnOf(const QSqlField& f)
{
    ColumnInfo c;
    c.name = f.name();
    switch (f.metaType().id()) {
    case QMetaType::Bool:
        c.type = ftBoolean;
        break;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        c.type = ftSmallint;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        c.type = ftInteger;
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        if (f.precision() > 0 && f.length() > 0) {
            c.type = ftBCD;
            c.precision = f.length();
            c.size = f.precision();
        } else {
            c.type = ftFloat;
        }
        break;
    case QMetaType::QDate:
        c.type = ftDate;
        break;
    case QMetaType::QTime:
        c.type = ftTime;
        break;
    case QMetaType::QDateTime:
        c.type = ftDateTime;
        break;
    case QMetaType::QByteArray:
        c.type = ftBlob;
        break;
    default:
        if (f.length() > 0 && f.length() <= 8192) {
            c.type = ftString;
            c.size = f.length();
        } else {
            c.type = ftMemo;
        }
        break;
    }
    return c;
}

void appendValue(ResultStore& rows, const QVariant& v)
{
    if (v.isNull()) {
        rows.appendNull();
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::SChar:
    case QMetaType::UChar:
        rows.appendInteger(v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        rows.appendFloat(v.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        rows.appendBlob(b.constData(), b.size());
        break;
    }
    case QMetaType::QDate: {
        const QByteArray t = v.toDate().toString(Qt::ISODate).toUtf8();
        rows.appendText(t.constData(), t.size());
        break;
    }
    case QMetaType::QTime: {
        const QByteArray t = v.toTime().toString(Qt::ISODateWithMs).toUtf8();
        rows.appendText(t.constData(), t.size());
        break;
    }
    case QMetaType::QDateTime: {
        const QByteArray t = v.toDateTime().toString(Qt::ISODateWithMs).toUtf8();
        rows.appendText(t.constData(), t.size());
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        rows.appendText(t.constData(), t.size());
        break;
    }
    }
}

// Reads every row of an executed query, each value as a result holds it, telling
// progress before each row.
QueryResult readRows(
    QSqlQuery& q, const ProgressCallback& progress = {}, qsizetype ceiling = ResultStore::defaultCeiling())
{
    const QSqlRecord record = q.record();
    QueryResult result;
    result.rows = std::make_unique<ResultStore>(record.count(), ceiling);
    for (int i = 0; i < record.count(); ++i)
        result.columns.push_back(columnOf(record.field(i)));
    while (q.next()) {
        if (progress && !progress(result.rows->rowCount()))
            throw EDatabaseError(cancelledMessage());
        result.rows->beginRow();
        for (int i = 0; i < record.count(); ++i)
            appendValue(*result.rows, q.value(i));
        result.rows->endRow();
    }
    if (q.lastError().isValid())
        throw EDatabaseError(errorText(q.lastError()));
    return result;
}

// A cell as the driver binds it or compares it.
QVariant toVariant(const CellRef& c)
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
    , m_readOnly(s.readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(s.driver, m_name);
    db.setDatabaseName(s.database);
    if (!s.host.isEmpty())
        db.setHostName(s.host);
    if (s.port > 0)
        db.setPort(s.port);
    db.setUserName(s.user);
    db.setPassword(s.password);
    db.setConnectOptions(s.options);
    if (!db.open()) {
        const QString message = errorText(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw EDatabaseError(message);
    }
}

QtSqlConnection::~QtSqlConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QueryResult QtSqlConnection::execute(const QString& sql, const ProgressCallback& progress)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    // The driver runs the text whole; several statements run in one transaction, so
    // that they apply all or none.
    const SqlStatementScan scan = scanStatements(sql.toUtf8());
    DriverTransaction transaction(db, scan.statements > 1 && !scan.managesTransactions);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw EDatabaseError(errorText(q.lastError()));
    // Some drivers report only the first statement's outcome; the server then refuses
    // the commit of a batch in which a later one failed.
    const QString refused = QStringLiteral("Le serveur a refusé les instructions : aucune n'a été appliquée");
    if (!q.isSelect()) {
        q.finish();
        transaction.commit(refused);
        throw EDatabaseError(noCursorMessage());
    }
    QueryResult result = readRows(q, progress, resultCeiling());
    q.finish();
    transaction.commit(refused);
    return result;
}

TableResult QtSqlConnection::openTable(const QString& table)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    const QString quoted = db.driver()->escapeIdentifier(table, QSqlDriver::TableName);
    TableResult result;
    result.data = execute(QStringLiteral("SELECT * FROM ") + quoted);
    // Rows are found again by their primary key, or by all their values without one.
    QStringList keyColumns;
    const QSqlIndex pk = db.primaryIndex(table);
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
    QSqlDriver* driver = QSqlDatabase::database(m_name, false).driver();
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
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlDriver* driver = db.driver();
    const QString quotedTable = driver->escapeIdentifier(table, QSqlDriver::TableName);
    QStringList names;
    QStringList sets;
    for (const FieldChange& c : changes) {
        names << driver->escapeIdentifier(c.column, QSqlDriver::FieldName);
        sets << names.last() + QStringLiteral(" = ?");
    }
    QVariantList keyValues;
    const QString where = whereKey(table, key, keyValues);
    auto run = [&](const QString& sql, const QVariantList& values) {
        QSqlQuery q(db);
        if (!q.prepare(sql))
            throw EDatabaseError(errorText(q.lastError()));
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            throw EDatabaseError(errorText(q.lastError()));
        return q;
    };

    DriverTransaction transaction(db, true);
    if (transaction.open()) {
        // A write that changes nothing holds the row until the commit, so that nobody
        // changes it between the check and the write.
        run(QStringLiteral("UPDATE %1 SET %2 = %2 WHERE %3").arg(quotedTable, names.first(), where), keyValues);
    }
    {
        QSqlQuery check = run(
            QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(names.join(QStringLiteral(", ")), quotedTable, where),
            keyValues);
        const QueryResult stored = readRows(check);
        if (stored.rows->rowCount() == 0)
            throw EDatabaseError(recordGoneMessage());
        for (size_t i = 0; i < changes.size(); ++i)
            if (!changes[i].before.sameAs(stored.rows->cell(0, int(i))))
                throw EDatabaseError(recordChangedMessage());
    }
    QVariantList values;
    for (const FieldChange& c : changes)
        values << toVariant(c.after.ref());
    values << keyValues;
    QSqlQuery update = run(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(quotedTable, sets.join(QStringLiteral(", ")), where), values);
    if (!transaction.open() && update.numRowsAffected() == 0)
        throw EDatabaseError(recordGoneMessage());
    update.finish();
    transaction.commit(QStringLiteral("Le serveur a refusé l'enregistrement"));
}

void QtSqlConnection::insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlDriver* driver = db.driver();
    const QString quotedTable = driver->escapeIdentifier(table, QSqlDriver::TableName);
    QStringList names;
    QStringList marks;
    for (const QString& c : columns) {
        names << driver->escapeIdentifier(c, QSqlDriver::FieldName);
        marks << QStringLiteral("?");
    }
    QSqlQuery q(db);
    q.prepare(columns.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable)
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quotedTable, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
    for (const FieldValue& v : values)
        q.addBindValue(toVariant(v.ref()));
    if (!q.exec())
        throw EDatabaseError(errorText(q.lastError()));
}
