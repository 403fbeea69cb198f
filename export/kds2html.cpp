#include "kds2html.h"

#include "Exceptions.h"
#include "ExportOutput.h"
#include "Windows1252.h"

#include <vector>

namespace {

constexpr auto kPolicy = Windows1252::Unmappable::CharacterReference;

void appendLine(QByteArray& out, QStringView line)
{
    Windows1252::appendEncoded(out, line, kPolicy);
    out.append("\r\n");
}

void appendLines(QByteArray& out, const QStringList& lines, std::initializer_list<const char*> defaults)
{
    if (lines.isEmpty()) {
        for (const char* line : defaults)
            out.append(line).append("\r\n");
        return;
    }
    for (const QString& line : lines)
        appendLine(out, line);
}

// Appends Windows-1252 bytes that hold no "&", escaping "<", ">" and the double quote.
void appendEscaped(QByteArray& out, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    const char* run = p;
    for (; p < end; ++p) {
        const char* entity;
        switch (*p) {
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        default: continue;
        }
        out.append(run, p - run).append(entity);
        run = p + 1;
    }
    out.append(run, end - run);
}

} // namespace

TKDataSetToHTML::TKDataSetToHTML(QObject* owner, const QString& name) : TComponent(owner, name) {}

TDataSet& TKDataSetToHTML::checkedDataSet() const
{
    // No data set at all is reported as a closed one: there is nothing to export either way.
    if (!m_dataSet || !m_dataSet->active())
        throw EDatabaseError(QStringLiteral("Ne peut effectuer cette opération sur un ensemble de données fermé"));
    return *m_dataSet;
}

void TKDataSetToHTML::ExportToFile(const QString& fileName)
{
    TDataSet& data = checkedDataSet();
    ExportOutput out(fileName);
    writeDocument(data, out);
    out.commit();
}

void TKDataSetToHTML::exportTo(QIODevice& device)
{
    TDataSet& data = checkedDataSet();
    ExportOutput out(device);
    writeDocument(data, out);
    out.commit();
}

void TKDataSetToHTML::writeDocument(TDataSet& data, ExportOutput& out)
{
    m_locale = QLocale();
    QByteArray& bytes = out.buffer();
    appendLines(bytes, m_header, {"<html>", "<head> <title> DataSet </title> </head>", "<body>"});
    bytes.append("<table border = \"1\" rows = \"")
        .append(QByteArray::number(data.recordCount()))
        .append("\" bordercolor=\"#000000\" cellspacing=\"0\" cellpadding=\"2\">\r\n");

    std::vector<const TField*> fields;
    for (int i = 0; i < data.fieldCount(); ++i)
        if (data.field(i)->visible())
            fields.push_back(data.field(i));
    writeHeaderRow(fields, bytes);

    data.first();
    for (int row = 2; !data.eof(); ++row) {
        writeDataRow(fields, row, bytes);
        out.flushIfFull();
        data.next();
    }
    bytes.append("</table>\r\n");
    appendLines(bytes, m_footer, {"</body>", "</html>"});
}

void TKDataSetToHTML::writeHeaderRow(const std::vector<const TField*>& fields, QByteArray& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields)
        writeCell("<th ", *field, 1, column++, field->displayLabel().toHtmlEscaped(), " </th>\r\n", out);
    out.append("</tr>\r\n");
}

void TKDataSetToHTML::writeDataRow(const std::vector<const TField*>& fields, int row, QByteArray& out)
{
    out.append("<tr>\r\n");
    int column = 1;
    for (const TField* field : fields) {
        if (m_onFormatCell) {
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
                                const char* closeTag, QByteArray& out)
{
    QString attrs;
    if (m_onFormatCell)
        m_onFormatCell(this, row, column, field.fieldName(), attrs, data);
    out.append(openTag);
    Windows1252::appendEncoded(out, attrs, kPolicy);
    out.append(" >");
    Windows1252::appendEncoded(out, data, kPolicy);
    out.append(closeTag);
}

// The content of a data cell as the callback first sees it.
QString TKDataSetToHTML::cellText(const TField& field) const
{
    if (field.dataType() == ftCurrency)
        return m_locale.toCurrencyString(double(field.asCurrency()) / 10000.0, QString(), 2);
    const QString text = field.asString().toHtmlEscaped();
    return text.isEmpty() ? QStringLiteral("&nbsp") : text;
}

// cellText() encoded, without going through a QString for the common values.
void TKDataSetToHTML::appendValue(const TField& field, QByteArray& out)
{
    if (field.dataType() != ftCurrency) {
        m_value.resize(0);
        field.appendText1252(m_value, kPolicy);
        // An "&" may be the value's own or start a character reference: only the
        // text itself tells them apart.
        if (!m_value.contains('&')) {
            if (m_value.isEmpty())
                out.append("&nbsp");
            else
                appendEscaped(out, m_value);
            return;
        }
    }
    Windows1252::appendEncoded(out, cellText(field), kPolicy);
}
