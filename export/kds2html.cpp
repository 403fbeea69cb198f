#include "export/kds2html.h"

#include "data/DataSetWalk.h"
#include "export/CurrencyText.h"
#include "export/ExportOutput.h"
#include "platform/Exceptions.h"
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

    DataSetWalk walk(data);
    for (int row = 2; !walk.atEnd(); ++row) {
        if (!reportRecord(m_onProgress, walk))
            return false;
        writeDataRow(fields, row, walk, out);
        walk.next();
    }
    out.append("</table>\r\n");
    appendLines(out, m_footer, { "</body>", "</html>" });
    return true;
}

void TKDataSetToHTML::writeHeaderRow(const std::vector<const TField*>& fields, ExportOutput& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields)
        writeCell("<th ", *field, 1, column++, field->displayLabel().toHtmlEscaped(), " </th>\r\n", out);
    out.append("</tr>\r\n");
}

void TKDataSetToHTML::writeDataRow(
    const std::vector<const TField*>& fields, int row, DataSetWalk& walk, ExportOutput& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields) {
        if (m_onFormatCell) {
            // The callback may have moved the cursor: every cell is read from the row written.
            walk.keepPlace();
            writeCell("<td nowrap ", *field, row, column, cellText(*field), " </td>\r\n", out);
        } else {
            out.append("<td nowrap  >");
            appendValue(*field, out);
            out.append(" </td>\r\n");
        }
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
    const QString text = field.asString().toHtmlEscaped();
    return text.isEmpty() ? QStringLiteral("&nbsp") : text;
}

// cellText() encoded straight into the output, without going through a QString.
void TKDataSetToHTML::appendValue(const TField& field, ExportOutput& out)
{
    QByteArray& bytes = out.buffer();
    const qsizetype before = bytes.size();
    if (field.dataType() == ftCurrency)
        m_currency->append(bytes, field.asCurrency());
    else
        field.appendText1252(bytes, Windows1252::Unmappable::HtmlText);
    if (bytes.size() == before)
        bytes.append("&nbsp");
    out.appended();
}
