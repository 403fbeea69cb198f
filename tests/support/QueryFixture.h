#pragma once

#include "TestDatabase.h"
#include "data/Query.h"

// A fresh test database built by the statements of setup, and a query that has
// opened select on it through the alias "Velorin".
struct QueryFixture {
    TestDatabase db;
    TQuery query;

    explicit QueryFixture(const QString& setup, const QString& select = QStringLiteral("SELECT * FROM t"))
    {
        db.exec(setup);
        query.setDatabaseName(QStringLiteral("Velorin"));
        query.setSQL(select);
        query.open();
    }
};
