#include "engine/qtsql/QtSqlRows.h"

#include "platform/Exceptions.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <algorithm>

namespace
{

// The ODBC SQL types (sql.h) that say more than the Qt type of their values.
enum OdbcType {
    OdbcNumeric = 2,
    OdbcDecimal = 3,
    OdbcLongText = -1,
    OdbcLongWideText = -10,
    OdbcBit = -7,
};

// The column's type from the SQL type number an ODBC driver gives, where it says more
// than Qt's type; false for the others.
bool odbcTypeOf(const QSqlField& f, ColumnInfo& c)
{
    switch (f.typeID()) {
    case OdbcBit:
        c.type = ftBoolean;
        return true;
    case OdbcLongText:
    case OdbcLongWideText:
        c.type = ftMemo;
        return true;
    case OdbcNumeric:
    case OdbcDecimal:
        c.type = ftBCD;
        c.precision = std::max(f.length(), 0);
        c.size = std::max(f.precision(), 0);
        return true;
    default:
        return false;
    }
}

// A column's type, size and precision as the driver describes it; an ODBC driver
// gives SQL type numbers.
ColumnInfo columnOf(const QSqlField& f, bool odbc)
{
    ColumnInfo c;
    c.name = f.name();
    if (odbc && odbcTypeOf(f, c))
        return c;
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

// Stores a value as the result holds it. Exact decimals come as text (every digit, as
// the server writes them); a float that comes as text goes back to a number.
void appendValue(ResultStore& rows, const QVariant& v, const ColumnInfo& column)
{
    if (v.isNull()) {
        rows.appendNull();
        return;
    }
    if (column.type == ftFloat && v.metaType().id() == QMetaType::QString) {
        bool ok = false;
        const double d = v.toString().toDouble(&ok);
        if (ok) {
            rows.appendFloat(d);
            return;
        }
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

// How many rows are read between two calls of a statement's progress callback, at
// most; rows of large values are reported as time passes, so that a stop lands soon.
constexpr qint64 kRowsPerProgress = 1024;
constexpr qint64 kReportMs = 50;

} // namespace

QueryResult readQtSqlRows(QSqlQuery& q, bool odbc, const ProgressCallback& progress, qsizetype ceiling)
{
    if (progress && !progress(0))
        throw EDatabaseError(cancelledMessage());
    const QSqlRecord record = q.record();
    QueryResult result;
    result.rows = std::make_unique<ResultStore>(record.count(), ceiling);
    for (int i = 0; i < record.count(); ++i)
        result.columns.push_back(columnOf(record.field(i), odbc));
    qint64 rowsRead = 0;
    qint64 reported = 0;
    QElapsedTimer sinceReport;
    sinceReport.start();
    while (q.next()) {
        result.rows->beginRow();
        for (int i = 0; i < record.count(); ++i)
            appendValue(*result.rows, q.value(i), result.columns[size_t(i)]);
        result.rows->endRow();
        if (!progress || (++rowsRead - reported < kRowsPerProgress && sinceReport.elapsed() < kReportMs))
            continue;
        reported = rowsRead;
        sinceReport.restart();
        if (!progress(rowsRead))
            throw EDatabaseError(cancelledMessage());
    }
    return result;
}
