#include "engine/sqlite/SqliteConnection.h"

#include "engine/ErrorPosition.h"
#include "engine/SqlStatements.h"
#include "engine/sqlite/SqliteRows.h"
#include "engine/sqlite/SqliteStatement.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <exception>
#include <new>
#include <optional>
#include <sqlite3.h>

using namespace SqliteStatement;

namespace
{

constexpr int kBusyTimeoutMs = 5000;

// Binds the placeholders ?1, ?2... of a statement to values, as texts or nulls; a
// placeholder that the statement's own text wrote otherwise (a bare ?) stays null.
void bindValues(sqlite3_stmt* stmt, const std::vector<ParameterValue>& values)
{
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= count && i <= int(values.size()); ++i) {
        const char* name = sqlite3_bind_parameter_name(stmt, i);
        if (!name || name != '?' + QByteArray::number(i))
            continue;
        const ParameterValue& v = values[size_t(i - 1)];
        bindValue(stmt, i, v.null ? FieldValue {} : FieldValue { CellClass::Text, v.text.toUtf8(), 0, 0 });
    }
}

// How often a running statement reports, in steps of SQLite's virtual machine: a
// row of a plain query takes some ten, so a few thousand reports a second at most.
constexpr int kProgressSteps = 1000;

// Watches a statement while it steps: SQLite's progress handler calls the caller's
// callback every kProgressSteps, also while it sorts or groups before the first row,
// and interrupts the statement when the callback says stop. The callback's own
// exception cannot cross SQLite's frames: it stops the statement too and is thrown
// again by check().
class ProgressWatch
{
public:
    ProgressWatch(sqlite3* db, const ProgressCallback& callback, const ResultStore* rows = nullptr)
        : m_db(db)
        , m_callback(callback)
        , m_rows(rows)
    {
        if (m_callback)
            sqlite3_progress_handler(m_db, kProgressSteps, &ProgressWatch::onProgress, this);
    }
    ~ProgressWatch()
    {
        if (m_callback)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }
    ProgressWatch(const ProgressWatch&) = delete;
    ProgressWatch& operator=(const ProgressWatch&) = delete;

    // After a failed step: throws what stopped the statement, if the watch did.
    void check() const
    {
        if (m_error)
            std::rethrow_exception(m_error);
        if (m_stopped)
            throw EDatabaseError(cancelledMessage());
    }

private:
    static int onProgress(void* watch)
    {
        auto* self = static_cast<ProgressWatch*>(watch);
        try {
            self->m_stopped = !self->m_callback(self->m_rows ? self->m_rows->rowCount() : 0);
        } catch (...) {
            self->m_error = std::current_exception();
        }
        return self->m_stopped || self->m_error ? 1 : 0;
    }

    sqlite3* m_db;
    const ProgressCallback& m_callback;
    const ResultStore* m_rows;
    bool m_stopped = false;
    std::exception_ptr m_error;
};

// The statements of a batch apply all or none: a savepoint set before the first is
// released after the last, or rolled back when one fails.
class BatchSavepoint
{
public:
    explicit BatchSavepoint(sqlite3* db)
        : m_db(db)
        , m_outermost(sqlite3_get_autocommit(db) != 0)
    {
        if (sqlite3_exec(db, "SAVEPOINT velosql_batch", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw EDatabaseError(Utf8::decode(sqlite3_errmsg(db)));
    }
    ~BatchSavepoint()
    {
        if (m_open)
            rollBack(m_db, m_outermost, "velosql_batch");
    }
    BatchSavepoint(const BatchSavepoint&) = delete;
    BatchSavepoint& operator=(const BatchSavepoint&) = delete;

    // Keeps every change: commits them when no transaction was open before.
    void release()
    {
        if (!m_open)
            return;
        if (sqlite3_exec(m_db, "RELEASE velosql_batch", nullptr, nullptr, nullptr) != SQLITE_OK) {
            const QString message = Utf8::decode(sqlite3_errmsg(m_db));
            rollBack(m_db, m_outermost, "velosql_batch");
            m_open = false;
            throw EDatabaseError(message);
        }
        m_open = false;
    }
    // A statement that ends transactions ended this one too: nothing is left to undo.
    void checkStillOpen()
    {
        if (sqlite3_get_autocommit(m_db))
            m_open = false;
    }

private:
    sqlite3* m_db;
    bool m_outermost;
    bool m_open = true;
};

// The text as SQLite runs it: each parameter becomes the placeholder ?n of its value
// in values, numbered over the whole text, which every statement of it binds.
QByteArray withPlaceholders(const QString& sql, const BoundParameters& parameters, std::vector<ParameterValue>& values)
{
    QByteArray utf8 = sql.toUtf8();
    const ParameterPlaces places(sql, parameters);
    if (places.empty())
        return utf8;
    BoundStatement bound = places.bind(utf8, utf8, [](int n) { return '?' + QByteArray::number(n); });
    values = std::move(bound.values);
    return std::move(bound.sql);
}

} // namespace

SqliteConnection::SqliteConnection(const QString& fileName, bool readOnly)
{
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const QByteArray path = fileName.toUtf8();
    const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString message = m_db ? Utf8::decode(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(message + QStringLiteral(" : ") + fileName);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 0);
    // Reading the schema tells a database from a file that is not one, without changing it.
    char* error = nullptr;
    if (sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = Utf8::decode(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw EDatabaseError(message + QStringLiteral(" : ") + fileName);
    }
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(m_db);
}

QString SqliteConnection::errorMessage() const
{
    QString message = Utf8::decode(sqlite3_errmsg(m_db));
    // Another program, often VeloSQL on another workstation, holds a transaction open.
    if (sqlite3_errcode(m_db) == SQLITE_BUSY)
        message += QStringLiteral("\nUn autre poste ou programme tient la base verrouillée, le plus souvent par une "
                                  "transaction ouverte (BEGIN) : elle se libère à son COMMIT ou à son ROLLBACK.");
    return message;
}

void SqliteConnection::fail() const
{
    throw EDatabaseError(errorMessage());
}

bool SqliteConnection::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

// The file of every database the connection has attached (main first), each with
// the journal and write-ahead log files that SQLite keeps beside it. The temporary
// and in-memory databases have no file.
QStringList SqliteConnection::databaseFiles() const
{
    QStringList files;
    const auto addDatabase = [&](const char* name) {
        const char* file = sqlite3_db_filename(m_db, name);
        if (!file || !*file)
            return;
        const QString path = Utf8::decode(file);
        files << path << path + QStringLiteral("-journal") << path + QStringLiteral("-wal")
              << path + QStringLiteral("-shm");
    };
#if SQLITE_VERSION_NUMBER >= 3039000
    for (int i = 0; const char* name = sqlite3_db_name(m_db, i); ++i)
        addDatabase(name);
#else
    addDatabase("main");
#endif
    return files;
}

bool SqliteConnection::fileReplaced() const
{
    int moved = 0;
    return sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved;
}

ColumnInfo SqliteConnection::columnFromDeclaredType(const QString& name, const QString& declared)
{
    ColumnInfo c;
    c.name = name;
    const QString t = declared.trimmed().toUpper();
    static const QRegularExpression sizeRe(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    const auto m = sizeRe.match(t);
    const int first = m.hasMatch() ? m.captured(1).toInt() : 0;
    const int second = m.hasMatch() && m.hasCaptured(2) ? m.captured(2).toInt() : 0;
    const QString base = t.left(t.indexOf(QLatin1Char('('))).trimmed();
    auto is = [&](const char* word) { return base == QLatin1String(word); };
    auto has = [&](const char* part) { return base.contains(QLatin1String(part)); };

    if (is("MONEY") || is("CURRENCY") || is("SMALLMONEY"))
        c.type = ftCurrency;
    else if (is("DECIMAL") || is("NUMERIC") || is("BCD")) {
        c.type = ftBCD;
        c.precision = first;
        c.size = second;
    } else if (is("DATETIME") || has("TIMESTAMP"))
        c.type = ftDateTime;
    else if (is("DATE"))
        c.type = ftDate;
    else if (is("TIME"))
        c.type = ftTime;
    else if (is("BOOLEAN") || is("BOOL") || is("LOGICAL") || is("BIT"))
        c.type = ftBoolean;
    else if (is("SMALLINT") || is("TINYINT") || is("INT2"))
        c.type = ftSmallint;
    else if (is("WORD"))
        c.type = ftWord;
    else if (has("AUTOINC"))
        c.type = ftAutoInc;
    else if (is("MEMO") || is("TEXT") || has("CLOB") || is("LONGTEXT") || is("MEDIUMTEXT"))
        c.type = ftMemo;
    else if (is("FMTMEMO"))
        c.type = ftFmtMemo;
    else if (is("GRAPHIC") || is("IMAGE"))
        c.type = ftGraphic;
    else if (is("OLE"))
        c.type = ftParadoxOle;
    else if (is("TYPEDBINARY"))
        c.type = ftTypedBinary;
    else if (has("BLOB") || is("BINARY") || is("VARBINARY") || is("BYTEA"))
        c.type = ftBlob;
    else if (has("CHAR")) {
        c.type = ftString;
        c.size = first;
    } else if (has("INT"))
        c.type = ftInteger;
    else if (has("REAL") || has("FLOA") || has("DOUB"))
        c.type = ftFloat;
    else
        c.type = ftUnknown; // typed from its values
    return c;
}

void SqliteConnection::failIn(int number, TextRun run, QByteArrayView statement, qsizetype position) const
{
    throw EDatabaseError(statementFailure(run, number, errorMessage(), statement), position);
}

QueryResult SqliteConnection::execute(
    const QString& sql, const ProgressCallback& progress, const BoundParameters& parameters)
{
    std::vector<ParameterValue> values;
    const QByteArray utf8 = withPlaceholders(sql, parameters, values);
    const char* tail = utf8.constData();
    const char* const end = tail + utf8.size();
    // Set once the text shows a second statement, unless it holds one that no
    // transaction may hold.
    std::optional<BatchSavepoint> batch;
    TextRun run = TextRun::Single;
    int number = 0;
    for (;;) {
        Statement s;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(m_db, tail, int(end - tail), &s.stmt, &next) != SQLITE_OK) {
            const QByteArrayView rest(tail, end - tail);
            // The engine counts the bytes of the rest of the text it was given.
            const int offset = sqlite3_error_offset(m_db);
            const qsizetype position
                = offset < 0 ? -1 : ErrorPosition::fromUtf8Offset(utf8, (tail - utf8.constData()) + offset);
            failIn(number + 1, number == 0 ? scanStatements(rest).run() : run, rest, position);
        }
        const bool last = holdsNoStatement(QByteArrayView(next, end - next));
        tail = next;
        if (!s.stmt) {
            if (last) {
                if (batch)
                    batch->release();
                throw EDatabaseError(noCursorMessage());
            }
            continue;
        }
        ++number;
        bindValues(s.stmt, values);
        if (number == 1 && !last) {
            run = scanStatements(utf8).run();
            if (run == TextRun::AllOrNone)
                batch.emplace(m_db);
        }
        if (!last || sqlite3_column_count(s.stmt) == 0) {
            runToEnd(s.stmt, number, run, progress);
            if (batch)
                batch->checkStillOpen();
            if (last) {
                // Every statement ran: their changes stay, as one statement's do.
                if (batch)
                    batch->release();
                throw EDatabaseError(noCursorMessage());
            }
            continue;
        }

        QueryResult result = readResult(s.stmt, number, run, progress);
        if (batch)
            batch->release();
        return result;
    }
}

void SqliteConnection::runToEnd(sqlite3_stmt* stmt, int number, TextRun run, const ProgressCallback& progress) const
{
    const ProgressWatch watch(m_db, progress);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) { }
    if (rc != SQLITE_DONE) {
        watch.check();
        failIn(number, run, sqlite3_sql(stmt));
    }
}

QueryResult SqliteConnection::readResult(
    sqlite3_stmt* stmt, int number, TextRun run, const ProgressCallback& progress) const
{
    QueryResult result;
    result.columns = SqliteRows::declaredColumns(stmt);
    result.rows = std::make_unique<ResultStore>(int(result.columns.size()), resultCeiling());
    const ProgressWatch watch(m_db, progress, result.rows.get());
    if (SqliteRows::copyRows(stmt, *result.rows) != SQLITE_DONE) {
        watch.check();
        failIn(number, run, sqlite3_sql(stmt));
    }
    for (int i = 0; i < int(result.columns.size()); ++i)
        if (result.columns[size_t(i)].type == ftUnknown)
            result.columns[size_t(i)] = SqliteRows::columnFromValues(result.columns[size_t(i)].name, *result.rows, i);
    return result;
}

qint64 SqliteConnection::pragmaValue(const char* sql)
{
    Statement s;
    if (sqlite3_prepare_v2(m_db, sql, -1, &s.stmt, nullptr) != SQLITE_OK || sqlite3_step(s.stmt) != SQLITE_ROW)
        fail();
    return sqlite3_column_int64(s.stmt, 0);
}

ChangeMark SqliteConnection::changeMark()
{
    // data_version moves with the commits of other connections only; this
    // connection's own writes are counted apart.
    ChangeMark mark;
    mark.known = true;
    mark.parts = { pragmaValue("PRAGMA data_version"), qint64(sqlite3_total_changes64(m_db)),
        pragmaValue("PRAGMA schema_version") };
    return mark;
}

bool SqliteConnection::inTransaction()
{
    return sqlite3_get_autocommit(m_db) == 0;
}

void SqliteConnection::endTransaction(bool commit)
{
    // A COMMIT refused (a reader still busy, a full disk) leaves the transaction open.
    if (inTransaction())
        exec(commit ? "COMMIT" : "ROLLBACK");
}
