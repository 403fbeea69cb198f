#include "export/ClipboardTable.h"

#include "platform/Exceptions.h"
#include "platform/HtmlText.h"

#include <QScopeGuard>

namespace
{
// Rows written between two calls of the progress callback.
constexpr qsizetype kProgressRows = 1024;

// Fields of a row with a tab between them.
void appendTextRow(QString& out, const QStringList& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += u'\t';
        out += ClipboardTable::textCell(cells[i]);
    }
    out += u'\n';
}

void appendHtmlRow(QString& out, const QStringList& cells, QLatin1StringView tag)
{
    out += QLatin1StringView("<tr>");
    for (const QString& cell : cells)
        out += u'<' + tag + u'>' + ClipboardTable::htmlCell(cell) + QLatin1StringView("</") + tag + u'>';
    out += QLatin1StringView("</tr>\n");
}
} // namespace

QString ClipboardTable::tooLargeMessage(qsizetype ceiling)
{
    return QStringLiteral("Résultat trop volumineux pour le presse-papiers : sa copie prendrait plus de %1 Mo de "
                          "mémoire.")
        .arg(ceiling >> 20);
}

QString ClipboardTable::textCell(const QString& text)
{
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r') && !text.contains(u'"'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QLatin1StringView("\"\""));
    return u'"' + quoted + u'"';
}

QString ClipboardTable::htmlCell(const QString& text)
{
    QString cell = HtmlText::escaped(text);
    cell.replace(QLatin1StringView("\r\n"), QLatin1StringView("<br>"));
    cell.replace(u'\r', QLatin1StringView("<br>"));
    cell.replace(u'\n', QLatin1StringView("<br>"));
    return cell;
}

ClipboardTable ClipboardTable::of(
    const TDataSet& dataSet, const QList<int>& fields, qsizetype ceiling, const RecordProgress& progress)
{
    bool changed = false;
    const auto watch = [&changed] { changed = true; };
    const QMetaObject::Connection layout = QObject::connect(&dataSet, &TDataSet::layoutChanged, &dataSet, watch);
    const QMetaObject::Connection order = QObject::connect(&dataSet, &TDataSet::orderChanged, &dataSet, watch);
    const auto unwatch = qScopeGuard([&] {
        QObject::disconnect(layout);
        QObject::disconnect(order);
    });

    ClipboardTable table;
    table.html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>\n<table border=\"1\">\n");
    QStringList cells;
    for (const int f : fields)
        cells << dataSet.field(f)->fieldName();
    appendTextRow(table.text, cells);
    appendHtmlRow(table.html, cells, QLatin1StringView("th"));
    const qsizetype rows = dataSet.recordCount();
    for (qsizetype row = 0; row < rows; ++row) {
        if (progress && row % kProgressRows == 0) {
            if (!progress(row, rows))
                return {};
            if (changed)
                throw EDatabaseError(QStringLiteral("Les données ont été fermées ou remplacées pendant leur parcours"));
        }
        cells.clear();
        for (const int f : fields)
            cells << dataSet.field(f)->shownText(dataSet.cellAt(row, f));
        appendTextRow(table.text, cells);
        appendHtmlRow(table.html, cells, QLatin1StringView("td"));
        // What the strings hold, room to grow included.
        if ((table.text.capacity() + table.html.capacity()) * qsizetype(sizeof(QChar)) > ceiling)
            throw Exception(tooLargeMessage(ceiling));
    }
    table.html += QLatin1StringView("</table>\n</body></html>\n");
    return table;
}
