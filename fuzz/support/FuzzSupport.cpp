#include "FuzzSupport.h"

#include <QLocale>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

void fuzzInit()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

void fuzzFail(const char* file, int line, const char* condition, const QString& details)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, condition, qPrintable(details));
    std::fflush(stderr);
    std::abort();
}

QString shownBytes(QByteArrayView bytes)
{
    return QStringLiteral("%1 bytes [%2]").arg(bytes.size()).arg(QString::fromLatin1(bytes.toByteArray().toHex(' ')));
}

QString shownText(const QString& text)
{
    QStringList units;
    for (const QChar c : text)
        units.append(QString::number(c.unicode(), 16));
    return QStringLiteral("%1 code units [%2]").arg(text.size()).arg(units.join(u' '));
}

MemoryDataSet::MemoryDataSet(const std::vector<ColumnInfo>& columns, const std::vector<std::vector<FuzzCell>>& rows)
{
    QueryResult result;
    result.columns = columns;
    result.rows = std::make_unique<ResultStore>(int(columns.size()));
    for (const std::vector<FuzzCell>& row : rows) {
        result.rows->beginRow();
        for (const FuzzCell& cell : row) {
            switch (cell.cls) {
            case CellClass::Null:
                result.rows->appendNull();
                break;
            case CellClass::Integer:
                result.rows->appendInteger(cell.integer);
                break;
            case CellClass::Float:
                result.rows->appendFloat(cell.real);
                break;
            case CellClass::Text:
                result.rows->appendText(cell.bytes.constData(), cell.bytes.size());
                break;
            case CellClass::Blob:
                result.rows->appendBlob(cell.bytes.constData(), cell.bytes.size());
                break;
            }
        }
        result.rows->endRow();
    }
    setResult(std::move(result));
}
