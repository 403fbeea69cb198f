#pragma once

#include "database/DataSet.h"
#include "database/SqlParameters.h"

// A query: a statement run against the alias's database; its rows are read-only.
class TQuery : public TDataSet
{
    Q_OBJECT
public:
    explicit TQuery(QObject* owner = nullptr, const QString& name = {});

    // The statement text, stored unchanged; setting it scans its named parameters.
    const QString& sql() const { return m_sql; }
    void setSQL(const QString& text);

    // Runs the statement and reads its whole result. A failure leaves the query closed.
    void open() override;

private:
    QString m_sql;
    ParsedStatement m_parsed;
};
