#include "export/CsvExport.h"

#include "data/RowsSnapshot.h"
#include "export/ExportOutput.h"
#include "export/ExportedFields.h"
#include "export/RowPieces.h"
#include "export/SheetValue.h"
#include "platform/ByteAppend.h"

#include <QLocale>
#include <charconv>
#include <cstring>
#include <vector>

namespace
{

// Quotes the value that ends out from at, in place, when it holds the delimiter, a
// quote or a line end. Only a text may hold the last three.
void quoteIfNeeded(QByteArray& out, qsizetype at, char delimiter, bool text)
{
    const char* value = out.constData() + at;
    const qsizetype size = out.size() - at;
    bool quote = std::memchr(value, delimiter, size_t(size)) != nullptr;
    for (qsizetype i = 0; text && !quote && i < size; ++i) {
        const char c = value[i];
        quote = c == '"' || c == '\r' || c == '\n';
    }
    if (!quote)
        return;
    const QByteArray bare(value, size);
    out.truncate(at);
    ByteAppend::append(out, '"');
    for (const char c : bare) {
        if (c == '"')
            ByteAppend::append(out, '"');
        ByteAppend::append(out, c);
    }
    ByteAppend::append(out, '"');
}

// Appends the text of a value as the file writes it; false when it is no text (a
// number, a date...), which holds no quote and no line end.
bool appendValue(QByteArray& out, const CellRef& cell, TFieldType type, const TextForms& forms)
{
    const SheetValue value = SheetValue::of(cell, type, forms);
    switch (value.kind) {
    case SheetValue::Blank:
        return false;
    case SheetValue::Date:
    case SheetValue::Time:
    case SheetValue::DateTime:
        value.appendIso(out);
        return false;
    case SheetValue::ByteCount: {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, qint64(value.number)).ptr - digits);
        return false;
    }
    default:
        forms.appendTextUtf8(out, cell, type);
        return value.kind == SheetValue::Text;
    }
}

void formatRecords(
    const RowsSnapshot& rows, const std::vector<int>& columns, char delimiter, RowPiece& piece, qsizetype end)
{
    ResultStore::Place place;
    for (qsizetype row = piece.first; row < end; ++row) {
        bool first = true;
        for (const int column : columns) {
            if (!first)
                ByteAppend::append(piece.main, delimiter);
            first = false;
            const qsizetype at = piece.main.size();
            const bool text = appendValue(piece.main, rows.cell(row, column, place), rows.type(column), rows.forms());
            quoteIfNeeded(piece.main, at, delimiter, text);
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
    const std::vector<int> columns = ExportedFields::chosen(data, m_fields);
    const char delimiter = m_delimiter ? m_delimiter : delimiterFor(rows.forms().locale);
    out.append("\xEF\xBB\xBF");
    QByteArray header;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            ByteAppend::append(header, delimiter);
        const qsizetype at = header.size();
        header += data.field(columns[i])->displayLabel().toUtf8();
        quoteIfNeeded(header, at, delimiter, true);
    }
    header.append("\r\n");
    out.append(header);
    return writeInPieces(
        data, rows.rowCount(),
        [&rows, &columns, delimiter](
            RowPiece& piece, qsizetype end) { formatRecords(rows, columns, delimiter, piece, end); },
        m_onProgress, out, nullptr);
}
