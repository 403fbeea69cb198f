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

int CatalogueTable::keyColumns() const
{
    int n = 0;
    for (const CatalogueColumn& c : columns)
        n += c.keyPosition > 0 ? 1 : 0;
    return n;
}

namespace
{

QString cellText(const CellRef& cell)
{
    if (cell.cls == CellClass::Integer)
        return QString::number(cell.integer);
    return Utf8::decode(QByteArrayView(cell.data, cell.size));
}

qint64 cellInteger(const CellRef& cell)
{
    if (cell.cls == CellClass::Integer)
        return cell.integer;
    return QByteArrayView(cell.data, cell.size).toLongLong();
}

} // namespace

std::vector<CatalogueTable> catalogueFromRows(const QueryResult& rows)
{
    std::vector<CatalogueTable> tables;
    const ResultStore* store = rows.rows.get();
    // The rows of one table repeat its schema and name: compared as stored bytes, they
    // are decoded once a table.
    QByteArrayView schemaBytes;
    QByteArrayView tableBytes;
    for (qsizetype r = 0, n = store ? store->rowCount() : 0; r < n; ++r) {
        const CellRef schema = store->cell(r, 0);
        const CellRef table = store->cell(r, 1);
        if (tables.empty() || QByteArrayView(table.data, table.size) != tableBytes
            || QByteArrayView(schema.data, schema.size) != schemaBytes) {
            schemaBytes = QByteArrayView(schema.data, schema.size);
            tableBytes = QByteArrayView(table.data, table.size);
            const QString kind = cellText(store->cell(r, 2));
            tables.push_back(CatalogueTable { cellText(table), cellText(schema),
                kind.compare(QLatin1String("view"), Qt::CaseInsensitive) == 0 || kind == QLatin1String("v"),
                cellInteger(store->cell(r, 3)) != 0, {} });
        }
        // A table without a column (a view that cannot be read) still has its row.
        if (store->cell(r, 4).cls != CellClass::Null)
            tables.back().columns.push_back(CatalogueColumn {
                cellText(store->cell(r, 4)), cellText(store->cell(r, 5)), int(cellInteger(store->cell(r, 6))) });
    }
    return tables;
}
