#pragma once

#include "database/Connection.h"
#include "database/PgValues.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <exception>
#include <functional>
#include <vector>

struct AliasSettings;
struct pg_conn;
struct pg_result;

// A PostgreSQL server through its client library, libpq. Each statement is prepared
// and described first, then run with its rows read one at a time straight into the
// result store, in the server's binary form when every column has one the engine
// reads (see PgValues). Waiting on the server, it calls the progress callback about
// every 50 ms and sends the server's cancel request when told to stop.
//
// A connection found broken before a statement is sent (the server restarted) is
// opened again, once, and the statement runs. A statement is sent at most once: when
// the connection breaks after it went, the server's message is the error, and the
// next statement connects again.
class PgConnection : public Connection
{
public:
    // Connects as the alias says; throws EDatabaseError with the server's message.
    explicit PgConnection(const AliasSettings& settings);
    ~PgConnection() override;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    QueryResult execute(const QString& sql, const ProgressCallback& progress = {}) override;
    bool isReadOnly() const override { return m_readOnly; }
    TableResult openTable(const QString& table) override;
    void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) override;
    void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) override;
    // A server does not say cheaply whether it changed: the marks are never known.
    ChangeMark changeMark() override { return {}; }

private:
    // One statement's outcome: its rows when it gave a result set.
    struct Outcome {
        bool hasRows = false;
        QueryResult result;
    };
    struct Failure;

    void open();
    // Before a statement is sent: a connection that the server closed meanwhile is
    // opened again.
    void heal();
    void setUpSession();
    // Runs one statement with its parameters; throws Failure.
    Outcome run(
        QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress);
    // run(), connecting again and running it once more when the connection broke
    // before the statement could have run.
    Outcome runHealing(
        QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress);
    // Runs a statement that the engine writes itself; throws EDatabaseError.
    Outcome command(const QString& sql, const std::vector<PgValues::Parameter>& parameters = {});
    // Waits for the next result, calling progress while the server works.
    pg_result* nextResult(const ProgressCallback& progress, qint64 rows);
    void cancel();
    // Calls progress when it was last called kReportMs ago or more. A false answer
    // cancels the statement; an exception cancels it too and is thrown again once
    // the statement's results are read.
    void report(const ProgressCallback& progress, qint64 rows);
    // Reads every result of the statement sent; the first error wins.
    Outcome readOutcome(const ProgressCallback& progress, const std::vector<ColumnInfo>& columns,
        const std::vector<PgValues::Oid>& types, bool binary);
    // Undoes the work since the savepoint, or the transaction when there is none.
    void rollBack(const char* savepoint);
    // Runs work in a transaction (a savepoint inside one already open) that a failure
    // rolls back; a server that refuses the write to this role or session says so as
    // a read-only data set does.
    void write(const std::function<void()>& work);
    // The condition that finds the row with key; its values join parameters.
    QString whereKey(const QString& table, const QVariantList& key, std::vector<PgValues::Parameter>& parameters) const;
    QString connectionMessage() const;
    QString quotedTable(const QString& table) const;

    pg_conn* m_conn = nullptr;
    std::vector<QByteArray> m_keywords;
    std::vector<QByteArray> m_values;
    bool m_aliasReadOnly;
    bool m_readOnly = false;
    bool m_cancelled = false;
    QElapsedTimer m_sinceReport;
    // What a row or the progress callback raised while a statement ran.
    std::exception_ptr m_raised;
    // Per table: the columns that find a row again (its primary key, or its ctid).
    QHash<QString, QStringList> m_keyColumns;
};
