#include "kdb2text.h"

#include "ExportOutput.h"
#include "Windows1252.h"

#include <charconv>
#include <cstring>
#include <optional>
#include <vector>

namespace
{

constexpr char kQuote = '"';

// Writes a field's text value in quotes, every quote inside doubled, transcoded
// straight into the output. In Windows-1252 the quote is one byte that no other
// character shares, so doubling bytes doubles characters.
void appendQuotedText(ExportOutput& out, const TField& field)
{
    QByteArray& bytes = out.buffer();
    bytes.append(kQuote);
    field.appendText1252(bytes, Windows1252::Unmappable::QuotedText);
    bytes.append(kQuote);
    out.appended();
}

void appendQuotedCount(ExportOutput& out, qsizetype count)
{
    char text[24];
    text[0] = kQuote;
    char* end = std::to_chars(text + 1, text + sizeof text - 1, count).ptr;
    *end++ = kQuote;
    out.append(text, end - text);
}

// Appends a binary field's contents to the side output and returns their size.
// side() creates the side output; it is asked for only by contents of at least one
// byte, which first go through pending. Once it exists (sideOutput), contents go
// straight into its buffer.
template <class SideOutput>
qsizetype appendContents(const TField& field, ExportOutput*& sideOutput, SideOutput& side, QByteArray& pending)
{
    if (sideOutput) {
        QByteArray& bytes = sideOutput->buffer();
        const qsizetype before = bytes.size();
        field.appendBlobContents(bytes);
        const qsizetype count = bytes.size() - before;
        sideOutput->appended(); // may write the buffer out
        return count;
    }
    pending.resize(0);
    field.appendBlobContents(pending);
    if (!pending.isEmpty()) {
        sideOutput = &side();
        sideOutput->append(pending);
    }
    return pending.size();
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

// side() gives the side file's output; it is called only for content of at least one
// byte, so that an export without any leaves no side file.
template <class SideOutput>
void TKDatasetToText::writeRecords(TDataSet& data, ExportOutput& text, SideOutput&& side) const
{
    std::vector<const TField*> fields;
    for (int i = 0; i < data.fieldCount(); ++i)
        fields.push_back(data.field(i));
    ExportOutput* sideOutput = nullptr;
    QByteArray pending;
    data.first();
    while (!data.eof()) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text.append(m_delimiter);
            const TField& field = *fields[i];
            if (isBlobType(field.dataType()))
                appendQuotedCount(text, appendContents(field, sideOutput, side, pending));
            else
                appendQuotedText(text, field);
        }
        text.append("\r\n");
        data.next();
    }
}

void TKDatasetToText::ExportToFile(const QString& fileName)
{
    TDataSet& data = checkedDataset();
    const QString textName = textFileName(fileName);
    ExportOutput text(textName);
    std::optional<ExportOutput> side;
    writeRecords(data, text, [&]() -> ExportOutput& {
        if (!side)
            side.emplace(sideFileName(textName));
        return *side;
    });
    text.commit();
    if (side)
        side->commit();
}

void TKDatasetToText::exportTo(QIODevice& textDevice, QIODevice& sideDevice)
{
    TDataSet& data = checkedDataset();
    ExportOutput text(textDevice);
    ExportOutput side(sideDevice);
    writeRecords(data, text, [&]() -> ExportOutput& { return side; });
    text.commit();
    side.commit();
}
