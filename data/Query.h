#pragma once

#include "data/DataSet.h"
#include "data/SqlParameters.h"
#include "engine/StatementParameters.h"

// A query: a statement run against the alias's database; its rows are read-only.
class TQuery : public TDataSet
{
    Q_OBJECT
public:
    explicit TQuery(QObject* owner = nullptr, const QString& name = {});

    // The statement text, stored unchanged; setting it scans its named parameters and
    // forgets the values given to them.
    const QString& sql() const { return m_sql; }
    void setSQL(const QString& text);

    // The values that open() binds to the statement's parameters (":nom"), by name:
    // through the engine's binding, never as part of the statement's text.
    void setParameterValues(const NamedValues& values) { m_values = values; }

    // Called while the statement runs (see ProgressCallback); none by default.
    void setOnProgress(ProgressCallback callback) { m_onProgress = std::move(callback); }

    // Runs the statement and reads its whole result. A failure, a stop asked by the
    // progress callback included, leaves the query closed.
    void open() override;

private:
    QString m_sql;
    ProgressCallback m_onProgress;
    ParsedStatement m_parsed;
    NamedValues m_values;
};
