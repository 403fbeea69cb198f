#include "export/CsvExport.h"

#include "data/RowsSnapshot.h"
#include "export/ExportOutput.h"
#include "export/ExportedFields.h"
#include "export/RowPieces.h"
#include "export/SheetValue.h"
#include "platform/ByteAppend.h"

#include <QLocale>
#include <charconv>
#include <vector>

namespace
{

// Appends value, quoted when it holds the delimiter, a quote or a line end.
void appendField(QByteArray& out, const char* value, qsizetype size, char delimiter)
{
    bool quote = false;
    for (qsizetype i = 0; i < size && !quote; ++i) {
        const char c = value[i];
        quote = c == delimiter || c == '"' || c == '\r' || c == '\n';
    }
    if (!quote) {
        ByteAppend::append(out, value, size);
        return;
    }
    ByteAppend::append(out, '"');
    for (qsizetype i = 0; i < size; ++i) {
        if (value[i] == '"')
            ByteAppend::append(out, '"');
        ByteAppend::append(out, value[i]);
    }
    ByteAppend::append(out, '"');
}

// The text of a value as the file writes it, before quoting.
void appendValue(QByteArray& out, const CellRef& cell, TFieldType type, const TextForms& forms)
{
    const SheetValue value = SheetValue::of(cell, type, forms);
    switch (value.kind) {
    case SheetValue::Blank:
        return;
    case SheetValue::Date:
    case SheetValue::Time:
    case SheetValue::DateTime:
        value.appendIso(out);
        return;
    case SheetValue::ByteCount: {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, qint64(value.number)).ptr - digits);
        return;
    }
    default:
        forms.appendTextUtf8(out, cell, type);
    }
}

void formatRecords(const RowsSnapshot& rows, const std::vector<int>& columns, char delimiter, RowPiece& piece,
    qsizetype end)
{
    ResultStore::Place place;
    QByteArray value;
    for (qsizetype row = piece.first; row < end; ++row) {
        bool first = true;
        for (const int column : columns) {
            if (!first)
                ByteAppend::append(piece.main, delimiter);
            first = false;
            value.resize(0);
            appendValue(value, rows.cell(row, column, place), rows.type(column), rows.forms());
            appendField(piece.main, value.constData(), value.size(), delimiter);
        }
        ByteAppend::append(piece.main, "\r\n");
        piece.endRecord();
    }
}

} // namespace

char CsvExport::delimiterFor(const QLocale& locale)
{
    return locale.decimalPoint() == QLatin1String(",") ? ';' : ',';
}

bool CsvExport::ExportToFile(const QString& fileName)
{
    TDataSet& data = ExportedFields::checked(m_dataSet);
    ExportOutput out(fileName);
    // Stopped: the output goes without commit, which discards its temporary file.
    if (!write(data, out))
        return false;
    out.commit();
    return true;
}

bool CsvExport::exportTo(QIODevice& device)
{
    TDataSet& data = ExportedFields::checked(m_dataSet);
    ExportOutput out(device);
    const bool complete = write(data, out);
    out.commit();
    return complete;
}

bool CsvExport::write(TDataSet& data, ExportOutput& out) const
{
    const RowsSnapshot rows(data);
    const std::vector<int> columns = ExportedFields::visible(data);
    const char delimiter = m_delimiter ? m_delimiter : delimiterFor(rows.forms().locale);
    out.append("\xEF\xBB\xBF");
    QByteArray header;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            ByteAppend::append(header, delimiter);
        const QByteArray name = data.field(columns[i])->displayLabel().toUtf8();
        appendField(header, name.constData(), name.size(), delimiter);
    }
    header.append("\r\n");
    out.append(header);
    return writeInPieces(
        data, rows.rowCount(),
        [&rows, &columns, delimiter](
            RowPiece& piece, qsizetype end) { formatRecords(rows, columns, delimiter, piece, end); },
        m_onProgress, out, nullptr);
}
