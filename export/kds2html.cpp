#include "export/kds2html.h"

#include "data/DataSetWalk.h"
#include "data/RowsSnapshot.h"
#include "export/CurrencyText.h"
#include "export/ExportOutput.h"
#include "export/RowPieces.h"
#include "platform/ByteAppend.h"
#include "platform/Exceptions.h"
#include "platform/HtmlText.h"
#include "platform/Windows1252.h"

#include <vector>

namespace
{

constexpr auto kPolicy = Windows1252::Unmappable::CharacterReference;

void appendEncoded(ExportOutput& out, QStringView text)
{
    out.append(Windows1252::encode(text, kPolicy));
}

void appendLines(ExportOutput& out, const QStringList& lines, std::initializer_list<const char*> defaults)
{
    if (lines.isEmpty()) {
        for (const char* line : defaults) {
            out.append(QByteArrayView(line));
            out.append("\r\n");
        }
        return;
    }
    for (const QString& line : lines) {
        appendEncoded(out, line);
        out.append("\r\n");
    }
}

} // namespace

TKDataSetToHTML::TKDataSetToHTML(QObject* owner, const QString& name)
    : TComponent(owner, name)
{
}

TDataSet& TKDataSetToHTML::checkedDataSet() const
{
    // No data set at all is reported as a closed one: there is nothing to export either way.
    if (!m_dataSet || !m_dataSet->active())
        throw EDatabaseError(QStringLiteral("Ne peut effectuer cette opération sur un ensemble de données fermé"));
    return *m_dataSet;
}

bool TKDataSetToHTML::ExportToFile(const QString& fileName)
{
    TDataSet& data = checkedDataSet();
    ExportOutput out(fileName);
    out.setStallWait(stallWait(m_onProgress, data));
    // Stopped: the output goes without commit, which discards its temporary file.
    if (!writeDocument(data, out))
        return false;
    out.commit();
    return true;
}

bool TKDataSetToHTML::exportTo(QIODevice& device)
{
    TDataSet& data = checkedDataSet();
    ExportOutput out(device);
    const bool complete = writeDocument(data, out);
    out.commit();
    return complete;
}

bool TKDataSetToHTML::writeDocument(TDataSet& data, ExportOutput& out)
{
    m_currency.emplace(QLocale());
    appendLines(out, m_header, { "<html>", "<head> <title> DataSet </title> </head>", "<body>" });
    out.append("<table border = \"1\" rows = \"");
    out.append(QByteArray::number(data.recordCount()));
    out.append("\" bordercolor=\"#000000\" cellspacing=\"0\" cellpadding=\"2\">\r\n");

    std::vector<const TField*> fields;
    for (int i = 0; i < data.fieldCount(); ++i)
        if (data.field(i)->visible())
            fields.push_back(data.field(i));
    writeHeaderRow(fields, out);

    if (!(m_onFormatCell ? writeCalledBack(data, fields, out) : writeRows(data, fields, out)))
        return false;
    out.append("</table>\r\n");
    appendLines(out, m_footer, { "</body>", "</html>" });
    return true;
}

// Without a cell callback, the rows are formatted in pieces on every core.
bool TKDataSetToHTML::writeRows(TDataSet& data, const std::vector<const TField*>& fields, ExportOutput& out) const
{
    const RowsSnapshot rows(data);
    std::vector<int> columns;
    for (const TField* field : fields)
        columns.push_back(field->index());
    const CurrencyText& currency = *m_currency;
    const auto format = [&rows, &columns, &currency](RowPiece& piece, qsizetype end) {
        ResultStore::Place place;
        QByteArray& bytes = piece.main;
        for (qsizetype row = piece.first; row < end; ++row) {
            ByteAppend::append(bytes, "<tr>\r\n");
            for (const int column : columns) {
                ByteAppend::append(bytes, "<td nowrap  >");
                const qsizetype before = bytes.size();
                const CellRef cell = rows.cell(row, column, place);
                const TFieldType type = rows.type(column);
                if (type == ftCurrency)
                    currency.append(bytes, rows.forms().amountOf(cell, type));
                else
                    rows.forms().appendText1252(bytes, cell, type, Windows1252::Unmappable::HtmlText);
                if (bytes.size() == before)
                    ByteAppend::append(bytes, "&nbsp");
                ByteAppend::append(bytes, " </td>\r\n");
            }
            ByteAppend::append(bytes, "</tr>\r\n");
            piece.endRecord();
        }
    };
    return writeInPieces(data, rows.rowCount(), format, m_onProgress, out, nullptr);
}

// With a cell callback, which may read and move the data set, the rows are written in
// turn through its cursor.
bool TKDataSetToHTML::writeCalledBack(TDataSet& data, const std::vector<const TField*>& fields, ExportOutput& out)
{
    DataSetWalk walk(data);
    for (int row = 2; !walk.atEnd(); ++row) {
        if (!reportRecord(m_onProgress, walk))
            return false;
        writeDataRow(fields, row, walk, out);
        walk.next();
    }
    return true;
}

void TKDataSetToHTML::writeHeaderRow(const std::vector<const TField*>& fields, ExportOutput& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields)
        writeCell("<th ", *field, 1, column++, HtmlText::escaped(field->displayLabel()), " </th>\r\n", out);
    out.append("</tr>\r\n");
}

void TKDataSetToHTML::writeDataRow(
    const std::vector<const TField*>& fields, int row, DataSetWalk& walk, ExportOutput& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields) {
        // The callback may have moved the cursor: every cell is read from the row written.
        walk.keepPlace();
        writeCell("<td nowrap ", *field, row, column, cellText(*field), " </td>\r\n", out);
        ++column;
    }
    out.append("</tr>\r\n");
}

void TKDataSetToHTML::writeCell(const char* openTag, const TField& field, int row, int column, QString data,
    const char* closeTag, ExportOutput& out)
{
    QString attrs;
    if (m_onFormatCell)
        m_onFormatCell(this, row, column, field.fieldName(), attrs, data);
    out.append(QByteArrayView(openTag));
    appendEncoded(out, attrs);
    out.append(" >");
    appendEncoded(out, data);
    out.append(QByteArrayView(closeTag));
}

// The content of a data cell as the callback first sees it.
QString TKDataSetToHTML::cellText(const TField& field) const
{
    if (field.dataType() == ftCurrency)
        return m_currency->text(field.asCurrency());
    const QString text = HtmlText::escaped(field.asString());
    return text.isEmpty() ? QStringLiteral("&nbsp") : text;
}
