// The catalogue of the SQLite connection: the tables and views of the main database,
// their columns as declared, and the place of each in the primary key.
#include "engine/sqlite/SqliteConnection.h"

#include "platform/Exceptions.h"

namespace
{

// The tables and views that a statement may name, SQLite's own left out.
const QLatin1String kTables("m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");

QString literal(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

} // namespace

std::vector<CatalogueTable> SqliteConnection::catalogue()
{
    // table_xinfo lists generated columns too; its hidden columns (of virtual tables)
    // cannot be selected by "*" and are left out. The join gives each table's columns
    // together and in order; the list sorts the tables itself.
    try {
        return catalogueFromRows(execute(QStringLiteral("SELECT '', m.name, m.type, 1, p.name, p.type, p.pk "
                                                        "FROM sqlite_schema AS m, pragma_table_xinfo(m.name) AS p "
                                                        "WHERE %1 AND p.hidden <> 1")
                                             .arg(kTables)));
    } catch (const EDatabaseError&) {
        // A view whose table was dropped or renamed fails the whole join: then each
        // table alone, such a view listed without columns.
    }
    std::vector<CatalogueTable> tables = catalogueFromRows(
        execute(QStringLiteral("SELECT '', m.name, m.type, 1, NULL, NULL, 0 FROM sqlite_schema AS m WHERE %1 "
                               "ORDER BY m.name")
                    .arg(kTables)));
    for (CatalogueTable& table : tables) {
        try {
            std::vector<CatalogueTable> one = catalogueFromRows(
                execute(QStringLiteral("SELECT '', '', '', 1, name, type, pk FROM pragma_table_xinfo(%1) "
                                       "WHERE hidden <> 1 ORDER BY cid")
                            .arg(literal(table.name))));
            if (!one.empty())
                table.columns = std::move(one.front().columns);
        } catch (const EDatabaseError&) {
        }
    }
    return tables;
}
