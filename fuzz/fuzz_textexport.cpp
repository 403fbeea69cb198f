// The quoting of the text export, read back by a small reader of the quoted format.
//
// Input: the delimiter byte, the numbers of columns and rows, each column's type, then
// each cell's class and bytes or number. The data set in memory goes through the
// export's own path (TKDatasetToText::exportTo into buffers); the reader below then
// splits the text back into lines and values. Every value must read back as the
// field's text in Windows-1252 ("?" for what the code page lacks), every binary
// field as its size, and the side output must hold the binary contents in record and
// field order.
//
// The delimiter is any byte but the quote: with '"' between values, "a" then "b"
// reads as the one value a"b, so no reader can split such lines back.

#include "FuzzSupport.h"
#include "export/kdb2text.h"
#include "platform/Windows1252.h"

#include <QBuffer>
#include <optional>

namespace
{

constexpr TFieldType kTypes[] = { ftString, ftInteger, ftFloat, ftDate, ftBoolean, ftMemo, ftBlob, ftGraphic };

using Line = std::vector<QByteArray>;

// Reads lines of quoted values: each value is '"', its bytes with every '"' doubled,
// '"'; values are separated by delimiter, lines end with CR LF. Nothing when the
// text is not of that form.
std::optional<std::vector<Line>> readQuoted(QByteArrayView text, char delimiter)
{
    std::vector<Line> lines;
    qsizetype at = 0;
    const qsizetype n = text.size();
    const auto endOfLine = [&] { return at + 1 < n && text[at] == '\r' && text[at + 1] == '\n'; };
    while (at < n) {
        Line line;
        while (!endOfLine()) {
            if (text[at] != '"')
                return std::nullopt;
            ++at;
            QByteArray value;
            while (true) {
                if (at >= n)
                    return std::nullopt;
                if (text[at] == '"') {
                    if (at + 1 < n && text[at + 1] == '"') {
                        value.append('"');
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                value.append(text[at++]);
            }
            line.push_back(value);
            // After a value: the delimiter and the next value's quote, or the line's end.
            if (at + 1 < n && text[at] == delimiter && text[at + 1] == '"')
                ++at;
            else if (!endOfLine())
                return std::nullopt;
        }
        at += 2;
        lines.push_back(line);
    }
    return lines;
}

struct Table {
    char delimiter;
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<FuzzCell>> rows;
};

Table readTable(FuzzInput& input)
{
    Table table;
    table.delimiter = char(input.byte());
    const int columnCount = 1 + input.pick(6);
    const int rowCount = input.pick(5);
    for (int c = 0; c < columnCount; ++c) {
        ColumnInfo column;
        column.name = QStringLiteral("C%1").arg(c);
        column.type = kTypes[input.pick(std::size(kTypes))];
        table.columns.push_back(column);
    }
    for (int r = 0; r < rowCount; ++r) {
        std::vector<FuzzCell> row;
        for (int c = 0; c < columnCount; ++c) {
            row.push_back(readCell(input));
        }
        table.rows.push_back(row);
    }
    return table;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const Table table = readTable(input);
    if (table.delimiter == '"')
        return 0;
    MemoryDataSet dataSet(table.columns, table.rows);
    TKDatasetToText exporter;
    exporter.setDataset(&dataSet);
    exporter.setDelimiter(table.delimiter);
    QBuffer text;
    QBuffer side;
    text.open(QIODevice::WriteOnly);
    side.open(QIODevice::WriteOnly);
    exporter.exportTo(text, side);

    const QString context
        = QStringLiteral("delimiter %1\ntext %2").arg(int(uchar(table.delimiter))).arg(shownBytes(text.data()));
    const std::optional<std::vector<Line>> lines = readQuoted(text.data(), table.delimiter);
    FUZZ_CHECK(lines, QStringLiteral("not quoted values\n%1").arg(context));
    FUZZ_CHECK(qsizetype(lines->size()) == dataSet.recordCount(), context);
    QByteArray contents;
    dataSet.first();
    for (const Line& line : *lines) {
        FUZZ_CHECK(int(line.size()) == dataSet.fieldCount(), context);
        for (int f = 0; f < dataSet.fieldCount(); ++f) {
            const TField& field = *dataSet.field(f);
            QByteArray expected;
            if (isBlobType(field.dataType())) {
                const QByteArray blob = field.blobContents();
                contents += blob;
                expected = QByteArray::number(blob.size());
            } else {
                expected = Windows1252::encode(field.asString());
            }
            FUZZ_CHECK(line[size_t(f)] == expected,
                QStringLiteral("record %1, field %2: read %3, expected %4\n%5")
                    .arg(dataSet.recNo())
                    .arg(f)
                    .arg(shownBytes(line[size_t(f)]), shownBytes(expected), context));
        }
        dataSet.next();
    }
    FUZZ_CHECK(side.data() == contents,
        QStringLiteral("side output %1, expected %2\n%3").arg(shownBytes(side.data()), shownBytes(contents), context));
    return 0;
}
