// The escaping of a cell's text in both HTML outputs: the HTML export's cells and the
// clipboard's table (HtmlText.h, the one rule of both).
//
// Input: the numbers of columns and rows, each column's name (UTF-16 code units, lone
// surrogates too), type and visibility, then each cell's class and bytes or number.
// The data set in memory is exported twice into buffers: on the direct path, and with
// a cell callback that changes nothing, which takes the path through QString. Both
// documents must be the same bytes. In each header and data cell, no '<', '>' or '"'
// may stand, every '&' must start an entity, and the cell must decode (Windows-1252,
// then the entities, read as a browser reads them, by the small decoder below) to the
// label or the text of the value, each character that HTML text may not hold as
// U+FFFD; an empty value is written "&nbsp". The clipboard's cell of the same text must
// decode to the same text, its line breaks as <br>.

#include "FuzzSupport.h"
#include "export/ClipboardTable.h"
#include "export/kds2html.h"
#include "platform/HtmlText.h"
#include "platform/Windows1252.h"

#include <QBuffer>
#include <optional>

namespace
{

constexpr TFieldType kTypes[] = { ftString, ftMemo, ftBlob, ftInteger, ftFloat, ftBoolean, ftDate };

// A code point as text; one above U+10FFFF is none.
std::optional<QString> fromCodePoint(quint32 cp)
{
    if (cp > 0x10FFFF)
        return std::nullopt;
    if (cp <= 0xFFFF)
        return QString(QChar(char16_t(cp)));
    QString pair;
    pair.append(QChar(QChar::highSurrogate(cp)));
    pair.append(QChar(QChar::lowSurrogate(cp)));
    return pair;
}

// Decodes the entities of HTML text: the four of markup and numeric references
// ("&#8364;"). Nothing when a '&' starts no entity.
std::optional<QString> decodeEntities(const QString& text)
{
    static const std::pair<QLatin1StringView, QChar> named[]
        = { { QLatin1StringView("&amp;"), u'&' }, { QLatin1StringView("&lt;"), u'<' },
              { QLatin1StringView("&gt;"), u'>' }, { QLatin1StringView("&quot;"), u'"' } };
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != u'&') {
            out.append(text[i++]);
            continue;
        }
        const QStringView rest = QStringView(text).sliced(i);
        bool found = false;
        for (const auto& [entity, c] : named) {
            if (rest.startsWith(entity)) {
                out.append(c);
                i += entity.size();
                found = true;
                break;
            }
        }
        if (found)
            continue;
        if (!rest.startsWith(u"&#"))
            return std::nullopt;
        qsizetype end = 2;
        quint32 cp = 0;
        while (end < rest.size() && rest[end].isDigit() && rest[end].unicode() < 0x80 && end < 10)
            cp = cp * 10 + quint32(rest[end++].unicode() - u'0');
        if (end == 2 || end >= rest.size() || rest[end] != u';')
            return std::nullopt;
        // A browser reads a reference to 128..159 as the Windows-1252 character of
        // that byte: "&#128;" is "€".
        const std::optional<QString> character
            = cp >= 0x80 && cp < 0xA0 ? Windows1252::decode(QByteArray(1, char(cp))) : fromCodePoint(cp);
        if (!character)
            return std::nullopt;
        out.append(*character);
        i += end + 1;
    }
    return out;
}

// Reads the document's cells in order, header row first.
class CellReader
{
public:
    CellReader(const QByteArray& document, const QString& context)
        : m_document(document)
        , m_context(context)
    {
    }

    void expect(QByteArrayView literal)
    {
        FUZZ_CHECK(QByteArrayView(m_document).sliced(m_at).startsWith(literal),
            QStringLiteral("%1 expected at %2\n%3").arg(QString::fromLatin1(literal)).arg(m_at).arg(m_context));
        m_at += literal.size();
    }
    // After the table's opening tag.
    void skipToTable()
    {
        const qsizetype table = m_document.indexOf("<table ");
        FUZZ_CHECK(table >= 0, m_context);
        m_at = m_document.indexOf(">\r\n", table);
        FUZZ_CHECK(m_at >= 0, m_context);
        m_at += 3;
    }
    // A cell's content, up to its closing tag: markup cannot stand in it.
    QByteArray cell(QByteArrayView open, QByteArrayView close)
    {
        expect(open);
        const qsizetype end = m_document.indexOf('<', m_at);
        FUZZ_CHECK(end > m_at && m_document[end - 1] == ' ', m_context);
        const QByteArray content = m_document.mid(m_at, end - 1 - m_at);
        m_at = end - 1;
        expect(close);
        FUZZ_CHECK(!content.contains('>') && !content.contains('"'),
            QStringLiteral("markup in %1\n%2").arg(shownBytes(content), m_context));
        return content;
    }

private:
    const QByteArray& m_document;
    const QString& m_context;
    qsizetype m_at = 0;
};

// A text as HTML shows it: each character that HTML text may not hold as U+FFFD.
QString shownInHtml(const QString& text)
{
    QString shown;
    const QList<uint> codePoints = text.toUcs4(); // a lone surrogate gives U+FFFD
    for (const uint cp : codePoints)
        shown += fromCodePoint(HtmlText::shown(cp)).value_or(QString(QChar(HtmlText::kReplacement)));
    return shown;
}

// The same text in the clipboard's table: its line breaks as one <br> each.
void checkClipboardCell(const QString& text, const QString& context)
{
    const QString cell = ClipboardTable::htmlCell(text);
    QString content = cell;
    content.replace(QLatin1StringView("<br>"), QLatin1StringView("\n"));
    FUZZ_CHECK(!content.contains(u'<') && !content.contains(u'>') && !content.contains(u'"'),
        QStringLiteral("markup in the clipboard's %1\n%2").arg(shownText(cell), context));
    QString expected = shownInHtml(text);
    expected.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n")).replace(u'\r', u'\n');
    const std::optional<QString> decoded = decodeEntities(content);
    FUZZ_CHECK(decoded && *decoded == expected,
        QStringLiteral("clipboard's cell %1, expected %2\n%3").arg(shownText(cell), shownText(expected), context));
}

void checkCell(const QByteArray& content, const QString& text, const QString& context)
{
    const QString expected = shownInHtml(text);
    if (content == "&nbsp") {
        FUZZ_CHECK(expected.isEmpty(), QStringLiteral("&nbsp for %1\n%2").arg(shownText(expected), context));
        return;
    }
    const std::optional<QString> decoded = decodeEntities(Windows1252::decode(content));
    FUZZ_CHECK(decoded, QStringLiteral("a '&' that starts no entity in %1\n%2").arg(shownBytes(content), context));
    FUZZ_CHECK(*decoded == expected,
        QStringLiteral("cell %1 decodes to %2, expected %3\n%4")
            .arg(shownBytes(content), shownText(*decoded), shownText(expected), context));
}

QByteArray exported(TDataSet& dataSet, bool callback)
{
    TKDataSetToHTML exporter;
    exporter.setDataSet(&dataSet);
    if (callback)
        exporter.setOnFormatCell([](QObject*, int, int, const QString&, QString&, QString&) {});
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    exporter.exportTo(buffer);
    return buffer.data();
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
    const int columnCount = 1 + input.pick(4);
    const int rowCount = input.pick(4);
    std::vector<ColumnInfo> columns;
    std::vector<bool> visible;
    for (int c = 0; c < columnCount; ++c) {
        ColumnInfo column;
        const QByteArray name = input.chunk();
        column.name = QString(reinterpret_cast<const QChar*>(name.constData()), name.size() / 2);
        const int kind = input.byte();
        column.type = kTypes[kind % std::size(kTypes)];
        visible.push_back(kind < 224);
        columns.push_back(column);
    }
    std::vector<std::vector<FuzzCell>> rows;
    for (int r = 0; r < rowCount; ++r) {
        std::vector<FuzzCell> row;
        for (int c = 0; c < columnCount; ++c) {
            row.push_back(readCell(input));
        }
        rows.push_back(row);
    }
    MemoryDataSet dataSet(columns, rows);
    std::vector<const TField*> shownFields;
    for (int c = 0; c < columnCount; ++c) {
        dataSet.field(c)->setVisible(visible[size_t(c)]);
        if (visible[size_t(c)])
            shownFields.push_back(dataSet.field(c));
    }

    const QByteArray direct = exported(dataSet, false);
    const QByteArray throughText = exported(dataSet, true);
    const QString context = QStringLiteral("document %1").arg(shownBytes(direct));
    FUZZ_CHECK(direct == throughText, QStringLiteral("with a callback: %1\n%2").arg(shownBytes(throughText), context));

    CellReader reader(direct, context);
    reader.skipToTable();
    reader.expect("<tr>\r\n");
    for (const TField* field : shownFields) {
        checkCell(reader.cell("<th  >", " </th>\r\n"), field->displayLabel(), context);
        checkClipboardCell(field->displayLabel(), context);
    }
    reader.expect("</tr>\r\n");
    for (dataSet.first(); !dataSet.eof(); dataSet.next()) {
        reader.expect("<tr>\r\n");
        for (const TField* field : shownFields) {
            checkCell(reader.cell("<td nowrap  >", " </td>\r\n"), field->asString(), context);
            checkClipboardCell(field->asString(), context);
        }
        reader.expect("</tr>\r\n");
    }
    reader.expect("</table>\r\n");
    return 0;
}
