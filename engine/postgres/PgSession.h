#pragma once

#include "engine/AliasSettings.h"
#include "engine/Connection.h"
#include "engine/TextEncoding.h"
#include "engine/postgres/PgValues.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

// Why a statement failed: the server's message, its SQLSTATE (empty for a failure of
// the connection itself), whether the statement may have run, and whether it was
// stopped by the progress callback.
struct PgFailure {
    QString message;
    QByteArray state;
    bool sent = false;
    bool cancelled = false;
    // Where the server points in the statement as the caller gave it: characters from
    // 1, 0 when it points nowhere.
    int position = 0;
};

// One statement's outcome: its rows when it gave a result set.
struct PgOutcome {
    bool hasRows = false;
    QueryResult result;
};

// What the server says of a prepared statement: its result's columns and their type
// numbers, whether PgValues reads every one of them in the binary form, and how many
// parameters it takes.
struct PgDescription {
    std::vector<ColumnInfo> columns;
    std::vector<PgValues::Oid> types;
    bool binary = true;
    int parameters = 0;

    // True when COPY's binary stream can carry the rows: a query without parameters
    // that gives columns, each with a binary form.
    bool streams() const { return parameters == 0 && !types.empty() && binary; }
};

// One session with a PostgreSQL server through its client library, libpq. Each
// statement is prepared and described first, then run with its rows read one at a
// time straight into a result store, in the server's binary form when every column
// has one that PgValues reads: a query without parameters as a COPY stream, any
// other statement in libpq's single-row mode. Waiting on the server, it calls the
// progress callback about every 50 ms and sends the server's cancel request when
// told to stop.
//
// The session's client encoding is the one the program decodes: UTF8, or SQL_ASCII
// when the alias names the encoding of a legacy database's text, whose bytes are then
// read as they are stored and decoded here (see TextEncoding). A statement that changes
// it (SET client_encoding, set_config) is refused and the encoding set back, so that no
// text is ever read or written in another form than the one decoded.
//
// A session found broken before a statement is sent (the server restarted) is
// opened again, once, and the statement runs. A statement is sent at most once: when
// the session breaks after it went, the server's message is the error, and the next
// statement connects again.
class PgSession
{
public:
    // Connects as the alias says; throws EDatabaseError with the server's message.
    explicit PgSession(const AliasSettings& settings);
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // True when the alias, the role or the session may only read.
    bool readOnly() const { return m_readOnly; }
    // True when no transaction is open.
    bool idle() const;
    // True inside a transaction, spoilt or not, on a session that still answers: one
    // lost with its connection is gone whatever the user answers.
    bool inTransaction() const;
    // True inside a transaction that a failed statement has spoilt.
    bool transactionFailed() const;

    // Starts the watch of a new statement or group of statements, whose results may
    // hold ceiling bytes at most (see ResultStore).
    void begin(qsizetype ceiling);
    // Before a statement is sent: a session that the server closed meanwhile is
    // opened again; throws EDatabaseError when the server refuses.
    void heal();
    // Runs one statement with its parameters; throws PgFailure. A query that streams
    // runs in a transaction of its own when none is open.
    PgOutcome run(
        QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress);
    // run(), connecting again and running it once more when the session broke before
    // the statement could have run.
    PgOutcome runHealing(
        QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress);
    // Runs work in a transaction of its own, or in the savepoint named savepoint of
    // the one open; a failure rolls it back and is thrown again. A failure to end the
    // transaction comes as a PgFailure sent.
    void atomically(const char* savepoint, const std::function<void()>& work);
    // Runs a statement that the engine writes itself; throws PgFailure.
    PgOutcome command(const QString& sql, const std::vector<PgValues::Parameter>& parameters = {});
    // Undoes the work since the savepoint, or the transaction when there is none.
    void rollBack(const char* savepoint);

private:
    // run() with the statement and its parameters as the session sends them.
    PgOutcome runEncoded(
        QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters, const ProgressCallback& progress);
    // After a statement: a client encoding that the statement changed is set back, and
    // the statement refused.
    void keepClientEncoding();
    // Adds to a failure to read text as UTF-8 the alias's key that would read it.
    void nameEncodingKey(PgFailure& failure) const;
    // Takes the connection parameters of s.
    void useSettings(const AliasSettings& s);
    void open();
    // Connects again after the session was lost, asking for a login when the server
    // refuses the one it took before.
    void reopen();
    void setUpSession();
    // One statement's way through the protocol (PgSessionStatements.cpp, the session's
    // statement half, which tells the server's answers to each step): run() inside the
    // transaction that it may have opened; a query without parameters that COPY can
    // wrap streams when stream is true.
    PgOutcome runStatement(QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters,
        const ProgressCallback& progress, bool stream);
    // Has the server parse the statement as the unnamed one; it has not run yet. types:
    // the parameters' types, or null for the server to infer them.
    void prepare(
        const QByteArray& text, int parameterCount, const PgValues::Oid* types, const ProgressCallback& progress);
    // What the statement prepared gives and takes.
    PgDescription describe(const ProgressCallback& progress);
    // Runs the query prepared inside COPY, its rows read as a binary stream.
    PgOutcome copyRows(const QByteArray& text, const PgDescription& description, const ProgressCallback& progress);
    // Runs the statement prepared with its parameters, its rows read one at a time.
    PgOutcome executePrepared(const std::vector<PgValues::Parameter>& parameters, const PgDescription& description,
        const ProgressCallback& progress);
    // Reads every result of the request sent; the first error wins.
    PgOutcome readOutcome(const ProgressCallback& progress, const PgDescription& description);
    // Reads the binary stream of a COPY (query) TO STDOUT sent.
    PgOutcome readCopy(const ProgressCallback& progress, const PgDescription& description);
    // The outcome of the statement read: what a row or the callback raised, a cancel
    // or the first failure are thrown; otherwise the rows get their columns.
    PgOutcome finish(PgOutcome out, const std::optional<PgFailure>& failure, const std::vector<ColumnInfo>& columns,
        std::unique_ptr<ResultStore> rows);
    // Waits up to a report's interval for the server's next bytes, then calls report().
    void waitForInput(const ProgressCallback& progress, qint64 rows);
    // Waits for the next result, calling progress while the server works.
    pg_result* nextResult(const ProgressCallback& progress, qint64 rows);
    void cancel();
    // Calls progress when it was last called 50 ms ago or more. A false answer
    // cancels the statement; an exception cancels it too and is thrown again once
    // the statement's results are read.
    void report(const ProgressCallback& progress, qint64 rows);
    // The failure of a request that libpq could not send: the connection's message.
    PgFailure connectionFailure(bool sent) const;
    QString connectionMessage() const;

    pg_conn* m_conn = nullptr;
    AliasSettings m_settings;
    std::vector<QByteArray> m_keywords;
    std::vector<QByteArray> m_values;
    // What to say when the server offers no TLS that the engine asked for.
    QString m_noTlsRefusal;
    bool m_aliasReadOnly;
    TextEncoding m_encoding;
    // The client encoding that the session keeps: "UTF8" or "SQL_ASCII".
    QByteArray m_clientEncoding;
    bool m_readOnly = false;
    bool m_cancelled = false;
    qsizetype m_ceiling = ResultStore::defaultCeiling();
    QElapsedTimer m_sinceReport;
    // What a row or the progress callback raised while a statement ran.
    std::exception_ptr m_raised;
};
