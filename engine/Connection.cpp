#include "engine/Connection.h"

#include "platform/Utf8.h"

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

std::vector<CatalogueTable> catalogueFromRows(const QueryResult& rows)
{
    std::vector<CatalogueTable> tables;
    const auto text = [&rows](qsizetype r, int c) {
        const CellRef cell = rows.rows->cell(r, c);
        return Utf8::decode(QByteArrayView(cell.data, cell.size));
    };
    for (qsizetype r = 0, n = rows.rows ? rows.rows->rowCount() : 0; r < n; ++r) {
        const QString table = text(r, 0);
        if (tables.empty() || tables.back().name != table)
            tables.push_back(CatalogueTable { table, {} });
        tables.back().columns << text(r, 1);
    }
    return tables;
}
