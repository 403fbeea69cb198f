#include "export/XlsxExport.h"

#include "platform/Exceptions.h"

#ifndef VELOSQL_XLSX

bool XlsxExport::available()
{
    return false;
}

bool XlsxExport::ExportToFile(const QString&)
{
    throw Exception(unavailableMessage());
}

#else

#include "data/RowsSnapshot.h"
#include "export/ExportedFields.h"
#include "export/SheetValue.h"
#include "export/XlsxWorkbook.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QTemporaryFile>
#include <algorithm>
#include <vector>

namespace
{

// Column widths in characters, as the grid's (see TDBGrid::sizeColumns): the field's
// characters and its widest texts, a little more for the bold caption and the filter's
// button, within the grid's bounds. An amount shows its currency symbol and groups of
// thousands too: a spreadsheet shows a number that does not fit as "####".
double columnWidth(const TField& field, const QLocale& locale)
{
    qsizetype chars = field.columnCharacters();
    for (const QString& text : field.widestTexts())
        chars = std::max(chars, text.size());
    if (field.dataType() == ftCurrency)
        chars += locale.currencySymbol().size() + 3;
    return double(std::clamp<qsizetype>(chars + 2, 4, 60));
}

struct Column {
    int field;
    TFieldType type;
};

class SheetWriter
{
public:
    SheetWriter(XlsxWorkbook& book, const TDataSet& data, const std::vector<int>& fields, const QLocale& locale)
        : m_book(book)
    {
        for (const int i : fields) {
            m_columns.push_back({ i, data.field(i)->dataType() });
            m_captions.push_back(data.field(i)->displayLabel());
            m_widths.push_back(columnWidth(*data.field(i), locale));
        }
    }

    // Starts a sheet for records more records.
    void begin(const QString& name, qsizetype records)
    {
        m_sheet = m_book.addSheet(name, m_widths);
        for (qsizetype c = 0; c < m_captions.size(); ++c)
            m_book.writeText(m_sheet, 0, int(c), m_captions[c].toUtf8(), XlsxWorkbook::Header);
        m_book.freezeHeader(m_sheet, records, int(m_columns.size()));
        m_row = 0;
    }

    void writeRecord(const RowsSnapshot& rows, qsizetype row, ResultStore::Place& place)
    {
        ++m_row;
        for (size_t c = 0; c < m_columns.size(); ++c) {
            const CellRef cell = rows.cell(row, m_columns[c].field, place);
            writeCell(int(c), cell, m_columns[c].type, rows.forms());
        }
    }

private:
    void writeCell(int column, const CellRef& cell, TFieldType type, const TextForms& forms)
    {
        const SheetValue value = SheetValue::of(cell, type, forms);
        if (!value.hasSerial()) {
            // A date that no spreadsheet counts, as its text in ISO 8601.
            m_text.resize(0);
            value.appendIso(m_text);
            m_book.writeText(m_sheet, m_row, column, m_text, XlsxWorkbook::Plain);
            return;
        }
        switch (value.kind) {
        case SheetValue::Blank:
            return;
        case SheetValue::Number:
        case SheetValue::ByteCount:
            m_book.writeNumber(m_sheet, m_row, column, value.number, XlsxWorkbook::Plain);
            return;
        case SheetValue::Amount:
            m_book.writeNumber(m_sheet, m_row, column, value.number, XlsxWorkbook::Currency);
            return;
        case SheetValue::Date:
            m_book.writeNumber(m_sheet, m_row, column, value.serial(), XlsxWorkbook::Date);
            return;
        case SheetValue::Time:
            m_book.writeNumber(m_sheet, m_row, column, value.serial(), XlsxWorkbook::Time);
            return;
        case SheetValue::DateTime:
            m_book.writeNumber(m_sheet, m_row, column, value.serial(), XlsxWorkbook::DateTime);
            return;
        case SheetValue::Truth:
            m_book.writeTruth(m_sheet, m_row, column, value.number != 0);
            return;
        case SheetValue::Text:
            m_text.resize(0);
            forms.appendTextUtf8(m_text, cell, type);
            m_book.writeText(m_sheet, m_row, column, m_text, XlsxWorkbook::Plain);
            return;
        }
    }

    XlsxWorkbook& m_book;
    std::vector<Column> m_columns;
    QStringList m_captions;
    std::vector<double> m_widths;
    XlsxWorkbook::Sheet m_sheet = nullptr;
    qsizetype m_row = 0;
    QByteArray m_text;
};

// The name of the sheet that holds the records from first on.
QString sheetName(qsizetype first, qsizetype perSheet, qsizetype count)
{
    if (count <= perSheet)
        return QStringLiteral("Résultat");
    return QStringLiteral("Résultat %1").arg(first / perSheet + 1);
}

// Writes the workbook to path; false when progress stopped it.
bool writeWorkbook(const QString& path, TDataSet& data, const std::vector<int>& fields, qsizetype perSheet,
    const RecordProgress& progress)
{
    const RowsSnapshot rows(data);
    XlsxWorkbook book(path, rows.forms().locale);
    SheetWriter writer(book, data, fields, rows.forms().locale);
    const qsizetype count = rows.rowCount();
    ResultStore::Place place;
    for (qsizetype row = 0; row < count || row == 0; ++row) {
        if (row % perSheet == 0)
            writer.begin(sheetName(row, perSheet, count), std::min(perSheet, count - row));
        if (row == count)
            break;
        if (progress && !progress(row, count))
            return false;
        writer.writeRecord(rows, row, place);
    }
    book.close();
    return true;
}

// The finished workbook copied into target from a temporary file: a pipe or a device
// (a workbook is written by seeking back into it), and any file on Windows.
bool writeCopied(AtomicFile& target, TDataSet& data, const std::vector<int>& fields, qsizetype perSheet,
    const RecordProgress& progress)
{
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("velosql-XXXXXX.xlsx")));
    if (!file.open())
        throw EInOutError(QStringLiteral("Ne peut créer de fichier temporaire dans %1")
                              .arg(QDir::toNativeSeparators(QDir::tempPath())),
            5);
    if (!writeWorkbook(file.fileName(), data, fields, perSheet, progress))
        return false;
    QFile written(file.fileName());
    if (!written.open(QIODevice::ReadOnly))
        throw EInOutError(inOutErrorMessage(5), 5);
    QByteArray piece;
    while (!(piece = written.read(qint64(1) << 20)).isEmpty())
        target.write(piece);
    return true;
}

} // namespace

bool XlsxExport::available()
{
    return true;
}

bool XlsxExport::ExportToFile(const QString& fileName)
{
    TDataSet& data = ExportedFields::checked(m_dataSet);
    const qsizetype perSheet = std::clamp<qsizetype>(m_sheetRecords, 1, kSheetRecords);
    AtomicFile target(fileName, QStringLiteral("Ne peut créer le fichier %1"));
    const QString path = target.writerPath();
    const std::vector<int> fields = ExportedFields::chosen(data, m_fields);
    // The library opens the file by its name, anew. Windows lets no second writer open
    // the new file that the replacement holds, and would take the name in its ANSI code
    // page, which may lack some of its characters: there it gets a temporary file.
#ifdef Q_OS_WIN
    const bool byName = false;
#else
    const bool byName = !path.isEmpty();
#endif
    // Stopped: the target goes without commit, which discards its temporary file.
    if (!(byName ? writeWorkbook(path, data, fields, perSheet, m_onProgress)
                 : writeCopied(target, data, fields, perSheet, m_onProgress)))
        return false;
    target.commit();
    return true;
}

#endif
