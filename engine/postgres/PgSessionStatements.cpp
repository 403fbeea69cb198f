// The statement half of PgSession (PgSession.cpp holds the connection's): one
// statement's way through PostgreSQL's extended protocol. This file is the one
// place that knows what the server answers to each request, and in which state the
// connection is between them:
//
//   prepare    Parse      -> COMMAND_OK, or an error: the statement has not run
//                            (a parameter of no type the server can tell is then
//                            given text's, and the statement parsed again)
//   describe   Describe   -> COMMAND_OK with the result's columns and the number of
//                            parameters, or an error: the statement has not run
//   execute, one of two ways (from here on, the statement may have run):
//     copyRows        COPY (query) TO STDOUT (FORMAT binary), for a query without
//                     parameters whose every column has a binary form PgValues reads
//                     -> COPY_OUT, the rows as stream messages, then COMMAND_OK or
//                        an error (readCopy)
//     executePrepared Bind + Execute in single-row mode
//                     -> one SINGLE_TUPLE per row then TUPLES_OK, or COMMAND_OK for
//                        a statement without rows, or an error (readOutcome)
//
// Every request is read until libpq gives no more results: the connection is then
// ready for the next one. While the server works, the progress callback is called
// about every 50 ms; a stop sends the server's cancel request, and the results are
// still read to their end.

#include "engine/postgres/PgMessages.h"
#include "engine/postgres/PgSession.h"
#include "platform/Exceptions.h"

#include <QRegularExpression>
#include <cstdlib>
#include <libpq-fe.h>
#include <utility>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace
{

// How often the progress callback hears from a statement that runs.
constexpr int kReportMs = 50;

// The server's type text.
constexpr PgValues::Oid kTextType = 25;

// The failure that an error result tells.
PgFailure failureOf(const PGresult* r, bool sent)
{
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    const char* position = PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION);
    return PgFailure { PgMessages::errorOf(r), QByteArray(state ? state : ""), sent, false,
        position ? std::atoi(position) : 0 };
}

// The parameter (from 0) whose type the server could not determine, as its message
// names it ("$2"), when it is one of types still to infer; -1 otherwise.
qsizetype untypedParameter(const PgFailure& f, const std::vector<PgValues::Oid>& types)
{
    static const QRegularExpression named(QStringLiteral("\\$(\\d+)"));
    const QRegularExpressionMatch m = named.match(f.message);
    const qsizetype at = m.hasMatch() ? m.captured(1).toLongLong() - 1 : -1;
    if (f.state != "42P18" || at < 0 || at >= qsizetype(types.size()) || types[size_t(at)] != 0)
        return -1;
    return at;
}

// One row of a result in single-row mode into the store.
void appendRow(ResultStore& rows, const PGresult* r, const std::vector<PgValues::Oid>& types, bool binary)
{
    const int count = int(types.size());
    rows.beginRow();
    for (int i = 0; i < count; ++i) {
        if (PQgetisnull(r, 0, i))
            rows.appendNull();
        else if (binary)
            PgValues::appendBinary(rows, types[size_t(i)], PQgetvalue(r, 0, i), PQgetlength(r, 0, i));
        else
            PgValues::appendText(rows, types[size_t(i)], PQgetvalue(r, 0, i), PQgetlength(r, 0, i));
    }
    rows.endRow();
}

} // namespace

PgOutcome PgSession::runStatement(QByteArrayView sql, const std::vector<PgValues::Parameter>& parameters,
    const ProgressCallback& progress, bool stream)
{
    const QByteArray text = sql.toByteArray();
    // A parameter whose type nothing in the statement tells ($1 IS NULL) is taken as a
    // text, one after the other as the server names them. Only outside a transaction,
    // which a failed parse does not spoil.
    std::vector<PgValues::Oid> types(parameters.size(), 0);
    for (;;) {
        try {
            prepare(text, int(types.size()), types.empty() ? nullptr : types.data(), progress);
            break;
        } catch (const PgFailure& f) {
            const qsizetype untyped = untypedParameter(f, types);
            if (untyped < 0 || !idle())
                throw;
            types[size_t(untyped)] = kTextType;
        }
    }
    const PgDescription description = describe(progress);
    if (stream && description.streams())
        return copyRows(text, description, progress);
    return executePrepared(parameters, description, progress);
}

PgFailure PgSession::connectionFailure(bool sent) const
{
    return PgFailure { connectionMessage(), QByteArray(), sent, m_cancelled };
}

void PgSession::prepare(
    const QByteArray& text, int parameterCount, const PgValues::Oid* types, const ProgressCallback& progress)
{
    if (!PQsendPrepare(m_conn, "", text.constData(), parameterCount, types))
        throw connectionFailure(false);
    try {
        readOutcome(progress, PgDescription {});
    } catch (PgFailure& f) {
        f.sent = false;
        throw;
    }
}

PgDescription PgSession::describe(const ProgressCallback& progress)
{
    if (!PQsendDescribePrepared(m_conn, ""))
        throw connectionFailure(false);
    PgDescription d;
    std::optional<PgFailure> failure;
    PGresult* r = nextResult(progress, 0);
    if (PQresultStatus(r) == PGRES_COMMAND_OK) {
        d.parameters = PQnparams(r);
        for (int i = 0; i < PQnfields(r); ++i) {
            d.types.push_back(PQftype(r, i));
            d.columns.push_back(PgValues::column(m_encoding.decode(PQfname(r, i)), PQftype(r, i), PQfmod(r, i)));
            d.binary = d.binary && PgValues::readsBinary(PQftype(r, i));
        }
    } else {
        failure = failureOf(r, false);
        failure->cancelled = m_cancelled;
    }
    PQclear(r);
    while (PGresult* rest = PQgetResult(m_conn))
        PQclear(rest);
    if (failure)
        throw *failure;
    return d;
}

PgOutcome PgSession::copyRows(
    const QByteArray& text, const PgDescription& description, const ProgressCallback& progress)
{
    // The rows come as COPY's binary stream: one plain message per row, where a
    // result row would cost a result object of its own.
    QByteArray query = text;
    if (query.endsWith(';'))
        query.chop(1);
    static constexpr QByteArrayView wrapStart = "COPY (";
    query = wrapStart.toByteArray() + query + "\n) TO STDOUT (FORMAT binary)";
    if (!PQsendQueryParams(m_conn, query.constData(), 0, nullptr, nullptr, nullptr, nullptr, 1))
        throw connectionFailure(true);
    try {
        return readCopy(progress, description);
    } catch (PgFailure& f) {
        // The server counted from the start of the wrapper, not of the statement.
        f.position = f.position > int(wrapStart.size()) ? f.position - int(wrapStart.size()) : 0;
        throw;
    }
}

PgOutcome PgSession::executePrepared(const std::vector<PgValues::Parameter>& parameters,
    const PgDescription& description, const ProgressCallback& progress)
{
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgValues::Parameter& p : parameters) {
        values.push_back(p.null ? nullptr : p.bytes.constData());
        lengths.push_back(int(p.bytes.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    if (!PQsendQueryPrepared(m_conn, "", int(parameters.size()), values.data(), lengths.data(), formats.data(),
            description.binary ? 1 : 0))
        throw connectionFailure(true);
    if (!description.types.empty())
        PQsetSingleRowMode(m_conn);
    return readOutcome(progress, description);
}

PgOutcome PgSession::readOutcome(const ProgressCallback& progress, const PgDescription& description)
{
    PgOutcome out;
    std::optional<PgFailure> failure;
    auto rows = std::make_unique<ResultStore>(int(description.types.size()), m_ceiling);
    qint64 read = 0;
    while (PGresult* r = nextResult(progress, read)) {
        switch (PQresultStatus(r)) {
        case PGRES_SINGLE_TUPLE:
            if (!failure && !m_cancelled) {
                // A row that the store refuses (its memory ceiling, a value cut short)
                // stops the statement on the server; the results are read to their end
                // all the same, so that the connection is ready for the next one.
                try {
                    appendRow(*rows, r, description.types, description.binary);
                } catch (...) {
                    m_raised = std::current_exception();
                    cancel();
                    break;
                }
                if ((++read & 0x3FF) == 0)
                    report(progress, read);
            }
            break;
        case PGRES_TUPLES_OK:
            out.hasRows = true;
            break;
        case PGRES_COMMAND_OK:
        case PGRES_EMPTY_QUERY:
            break;
        case PGRES_COPY_OUT: {
            char* buffer = nullptr;
            while (PQgetCopyData(m_conn, &buffer, 0) > 0)
                PQfreemem(buffer);
            break;
        }
        case PGRES_COPY_IN:
            PQputCopyEnd(m_conn, "COPY FROM STDIN");
            break;
        default:
            if (!failure)
                failure = failureOf(r, true);
            break;
        }
        PQclear(r);
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    return finish(std::move(out), failure, description.columns, std::move(rows));
}

PgOutcome PgSession::readCopy(const ProgressCallback& progress, const PgDescription& description)
{
    PgOutcome out;
    std::optional<PgFailure> failure;
    const auto failOn = [&failure](const PGresult* r) {
        if (!failure)
            failure = failureOf(r, true);
    };
    auto rows = std::make_unique<ResultStore>(int(description.types.size()), m_ceiling);
    PGresult* r = nextResult(progress, 0);
    const bool streaming = r && PQresultStatus(r) == PGRES_COPY_OUT;
    if (r && !streaming)
        failOn(r);
    PQclear(r);
    if (streaming) {
        PgValues::BinaryCopy stream(*rows, description.types);
        qint64 read = 0;
        for (;;) {
            char* buffer = nullptr;
            int size = PQgetCopyData(m_conn, &buffer, 1);
            if (size == 0) {
                // What the socket holds already is read without a wait: the server is
                // most often ahead, and a wait costs a system call of its own.
                if (!PQconsumeInput(m_conn))
                    break;
                size = PQgetCopyData(m_conn, &buffer, 1);
            }
            if (size == 0) {
                waitForInput(progress, read);
                if (!PQconsumeInput(m_conn))
                    break;
                continue;
            }
            if (size < 0)
                break;
            if (!failure && !m_cancelled) {
                // As in readOutcome: a refused row stops the statement on the server,
                // and the stream is read to its end all the same.
                try {
                    if (stream.read(buffer, size) && (++read & 0x3FF) == 0)
                        report(progress, read);
                } catch (...) {
                    m_raised = std::current_exception();
                    cancel();
                }
            }
            PQfreemem(buffer);
        }
        out.hasRows = true;
    }
    while (PGresult* rest = nextResult(progress, 0)) {
        if (PQresultStatus(rest) != PGRES_COMMAND_OK)
            failOn(rest);
        PQclear(rest);
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (PQstatus(m_conn) == CONNECTION_BAD && !failure)
        failure = PgFailure { connectionMessage(), QByteArray(), true, false };
    return finish(std::move(out), failure, description.columns, std::move(rows));
}

PgOutcome PgSession::finish(PgOutcome out, const std::optional<PgFailure>& failure,
    const std::vector<ColumnInfo>& columns, std::unique_ptr<ResultStore> rows)
{
    if (m_raised)
        std::rethrow_exception(std::exchange(m_raised, nullptr));
    if (m_cancelled)
        throw PgFailure { cancelledMessage(), "57014", true, true };
    if (failure)
        throw *failure;
    if (out.hasRows) {
        // A legacy database's text came as it is stored: the engine keeps it as UTF-8.
        if (!m_encoding.isUtf8())
            rows = m_encoding.decodeText(*rows);
        out.result.columns = columns;
        // A column of a type without a field type of its own is a string as long as its longest value.
        for (size_t i = 0; i < columns.size(); ++i) {
            ColumnInfo& c = out.result.columns[i];
            if (c.type == ftUnknown) {
                c.type = ftString;
                c.size = int(qMin<qsizetype>(rows->longestText(int(i)), 8192));
            }
        }
        out.result.rows = std::move(rows);
    }
    return out;
}

void PgSession::waitForInput(const ProgressCallback& progress, qint64 rows)
{
#ifdef Q_OS_WIN
    WSAPOLLFD p { SOCKET(PQsocket(m_conn)), POLLIN, 0 };
    WSAPoll(&p, 1, kReportMs);
#else
    pollfd p { PQsocket(m_conn), POLLIN, 0 };
    poll(&p, 1, kReportMs);
#endif
    report(progress, rows);
}

PGresult* PgSession::nextResult(const ProgressCallback& progress, qint64 rows)
{
    while (PQisBusy(m_conn)) {
        waitForInput(progress, rows);
        if (!PQconsumeInput(m_conn))
            break;
    }
    return PQgetResult(m_conn);
}

void PgSession::cancel()
{
    m_cancelled = true;
    if (PGcancel* c = PQgetCancel(m_conn)) {
        char error[256];
        PQcancel(c, error, sizeof error);
        PQfreeCancel(c);
    }
}

void PgSession::report(const ProgressCallback& progress, qint64 rows)
{
    if (!progress || m_cancelled || m_sinceReport.elapsed() < kReportMs)
        return;
    m_sinceReport.restart();
    try {
        if (!progress(rows))
            cancel();
    } catch (...) {
        m_raised = std::current_exception();
        cancel();
    }
}
