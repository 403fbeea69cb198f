#include "export/kdb2text.h"

#include "data/RowsSnapshot.h"
#include "export/ExportOutput.h"
#include "export/RowPieces.h"
#include "platform/AtomicFile.h"
#include "platform/ByteAppend.h"
#include "platform/FileIdentity.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <charconv>
#include <vector>

namespace
{

constexpr char kQuote = '"';

// Formats the records of a piece: each field's text value in quotes, every quote
// inside doubled, transcoded straight into the piece (in Windows-1252 the quote is one
// byte that no other character shares, so doubling bytes doubles characters); a
// binary field's contents go to the side output and its size, quoted, in their place.
void formatRecords(const RowsSnapshot& rows, int fieldCount, char delimiter, RowPiece& piece, qsizetype end)
{
    const TextForms& forms = rows.forms();
    ResultStore::Place place;
    for (qsizetype row = piece.first; row < end; ++row) {
        for (int i = 0; i < fieldCount; ++i) {
            if (i > 0)
                ByteAppend::append(piece.main, delimiter);
            const CellRef cell = rows.cell(row, i, place);
            const TFieldType type = rows.type(i);
            ByteAppend::append(piece.main, kQuote);
            if (isBlobType(type)) {
                const qsizetype before = piece.side.size();
                forms.appendContents(piece.side, cell, type);
                char digits[24];
                ByteAppend::append(piece.main, digits,
                    std::to_chars(digits, digits + sizeof digits, piece.side.size() - before).ptr - digits);
            } else {
                forms.appendText1252(piece.main, cell, type, Windows1252::Unmappable::QuotedText);
            }
            ByteAppend::append(piece.main, kQuote);
        }
        ByteAppend::append(piece.main, "\r\n");
        piece.endRecord();
    }
}

// Refuses, before anything is created, an export whose side file would be its text
// file, or either of them a file of the open database.
void refuseTargets(const QString& textName, const QString& sideName)
{
    if (sameFile(textName, sideName))
        throw EInOutError(QStringLiteral("Ne peut exporter dans %1 : le fichier annexe %2 désigne le même fichier")
                              .arg(QDir::toNativeSeparators(textName), QDir::toNativeSeparators(sideName)),
            5);
    AtomicFile::refuseDatabaseFile(textName);
    AtomicFile::refuseDatabaseFile(sideName);
}

bool hasExtension(const QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        const QChar c = name[i];
        if (c == u'.')
            return true;
        if (c == u'\\' || c == u'/' || c == u':')
            return false;
    }
    return false;
}

} // namespace

QString QuotedValue(const QString& text, QChar quote)
{
    QString result;
    result.reserve(text.size() + 2);
    result.append(quote);
    for (const QChar c : text) {
        result.append(c);
        if (c == quote)
            result.append(quote);
    }
    result.append(quote);
    return result;
}

QString JoinValues(const QStringList& values, QChar delimiter, QChar quote)
{
    QString result;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            result.append(delimiter);
        result.append(QuotedValue(values[i], quote));
    }
    return result;
}

void StripExtension(QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
}

void ReplaceExtension(QString& name, const QString& extension)
{
    StripExtension(name);
    name += u'.' + extension;
}

QString textFileName(const QString& fileName)
{
    return hasExtension(fileName) ? fileName : fileName + QStringLiteral(".txt");
}

QString sideFileName(const QString& fileName)
{
    QString name = textFileName(fileName);
    ReplaceExtension(name, QStringLiteral("mem"));
    return name;
}

char delimiterOf(const QString& separator)
{
    if (separator.isEmpty())
        return '\0';
    const int byte = Windows1252::byteFor(separator.front().unicode());
    return byte < 0 ? '?' : char(byte);
}

TKDatasetToText::TKDatasetToText(QObject* owner, const QString& name)
    : TComponent(owner, name)
{
}

TDataSet& TKDatasetToText::checkedDataset() const
{
    if (!m_dataset)
        throw TKDBToTextError(QStringLiteral("Dataset is not specified"));
    if (!m_dataset->active())
        throw TKDBToTextError(QStringLiteral("Dataset is not active"));
    return *m_dataset;
}

bool TKDatasetToText::writeRecords(TDataSet& data, ExportOutput& text, ExportOutput& side) const
{
    const RowsSnapshot rows(data);
    const int fieldCount = data.fieldCount();
    const char delimiter = m_delimiter;
    return writeInPieces(
        data, rows.rowCount(),
        [&rows, fieldCount, delimiter](
            RowPiece& piece, qsizetype end) { formatRecords(rows, fieldCount, delimiter, piece, end); },
        m_onProgress, text, &side);
}

bool TKDatasetToText::ExportToFile(const QString& fileName)
{
    TDataSet& data = checkedDataset();
    const QString textName = textFileName(fileName);
    const QString sideName = sideFileName(textName);
    refuseTargets(textName, sideName);
    ExportOutput text(textName);
    // Only binary contents of at least one byte create the side file.
    ExportOutput side(sideName, ExportOutput::Creation::WhenWritten);
    const auto wait = stallWait(m_onProgress, data);
    text.setStallWait(wait);
    side.setStallWait(wait);
    // Stopped: the outputs go without commit, which discards their temporary files.
    if (!writeRecords(data, text, side))
        return false;
    ExportOutput::commitTogether(text, side);
    return true;
}

bool TKDatasetToText::exportTo(QIODevice& textDevice, QIODevice& sideDevice)
{
    TDataSet& data = checkedDataset();
    ExportOutput text(textDevice);
    ExportOutput side(sideDevice);
    const bool complete = writeRecords(data, text, side);
    text.commit();
    side.commit();
    return complete;
}
