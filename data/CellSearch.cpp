#include "data/CellSearch.h"

#include <cstring>
#include <vector>

namespace
{

// Rows looked at between two calls of the progress callback.
constexpr qsizetype kProgressRows = 4096;

bool isAscii(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool isAscii(const QByteArray& bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

bool contains(const char* haystack, qsizetype size, const char* needle)
{
    const QByteArrayView bytes(haystack, size);
    return bytes.indexOf(QByteArrayView(needle)) >= 0;
}

} // namespace

CellSearch::CellSearch(const QString& text, Qt::CaseSensitivity sensitivity)
    : m_text(text)
    , m_sensitivity(sensitivity)
{
    const bool caseBlind = sensitivity == Qt::CaseInsensitive;
    // Decoding turns ill-formed bytes into U+FFFD and drops a leading byte order mark:
    // a text holding either is searched in decoded text. So is a case-blind search
    // beyond ASCII, where folding is not byte for byte.
    m_byBytes = !text.contains(QChar(0xFFFD)) && !text.contains(QChar(0xFEFF)) && !(caseBlind && !isAscii(text));
    for (int b = 0; b < 256; ++b)
        m_fold[size_t(b)] = uchar(caseBlind && b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
    m_pattern = text.toUtf8();
    for (char& c : m_pattern)
        c = char(m_fold[uchar(c)]);
    m_inBinaryText = inText(TField::binaryText());
    m_foldsFromOutside = caseBlind && (m_pattern.contains('k') || m_pattern.contains('s'));
    // Horspool's shifts: how far the window moves after a mismatch, by its last byte.
    const qsizetype m = m_pattern.size();
    m_shift.fill(m);
    for (qsizetype k = 0; k + 1 < m; ++k)
        m_shift[uchar(m_pattern[k])] = m - 1 - k;
}

bool CellSearch::inBytes(const char* haystack, qsizetype size) const
{
    const qsizetype m = m_pattern.size();
    const auto* h = reinterpret_cast<const uchar*>(haystack);
    const auto* p = reinterpret_cast<const uchar*>(m_pattern.constData());
    for (qsizetype i = 0; i + m <= size;) {
        qsizetype j = m - 1;
        while (m_fold[h[i + j]] == p[j]) {
            if (j == 0)
                return true;
            --j;
        }
        i += m_shift[m_fold[h[i + m - 1]]];
    }
    return false;
}

bool CellSearch::matches(const TField& field, const CellRef& cell) const
{
    if (m_text.isEmpty())
        return true;
    if (field.showsBinary())
        return cell.cls != CellClass::Null && m_inBinaryText;
    if (cell.cls == CellClass::Null)
        return false;
    if (m_byBytes) {
        const char* bytes = cell.data;
        qsizetype size = cell.size;
        // Numbers, dates and the like as the exports write them: when that is plain
        // ASCII with no "?" (which may stand for a character outside Windows-1252), it
        // is the text shown.
        if (cell.cls != CellClass::Text || !field.showsStoredText()) {
            m_written.resize(0);
            field.dataSet()->textForms().appendText1252(
                m_written, cell, field.dataType(), Windows1252::Unmappable::QuestionMark);
            bytes = m_written.constData();
            size = m_written.size();
            if (!isAscii(m_written) || m_written.contains('?'))
                return inText(field.textOf(cell));
        }
        if (!m_foldsFromOutside || (!contains(bytes, size, "\xE2\x84\xAA") && !contains(bytes, size, "\xC5\xBF")))
            return inBytes(bytes, size);
    }
    return inText(field.textOf(cell));
}

std::optional<CellSearch::Place> CellSearch::find(
    const TDataSet& dataSet, const QList<int>& fields, Place from, bool backward, const Progress& progress) const
{
    const qsizetype rows = dataSet.recordCount();
    const auto columns = qsizetype(fields.size());
    if (m_text.isEmpty() || rows == 0 || columns == 0)
        return std::nullopt;
    const qsizetype cells = rows * columns;
    qsizetype start = from.row * columns + from.column;
    if (from.row < 0 || from.row >= rows || from.column < 0 || from.column >= columns)
        start = backward ? cells : -1;
    // Fields of the rows, read once.
    std::vector<const TField*> shown;
    for (const int f : fields)
        shown.push_back(dataSet.field(f));
    const int step = backward ? -1 : 1;
    qsizetype row = start / columns;
    int column = int(start % columns);
    if (start < 0) {
        row = -1;
        column = int(columns) - 1;
    }
    for (qsizetype k = 1; k <= cells; ++k) {
        column += step;
        if (column < 0 || column >= columns) {
            column = backward ? int(columns) - 1 : 0;
            row = ((row + step) % rows + rows) % rows;
            if (progress && k / columns % kProgressRows == 0 && !progress(k / columns, rows))
                return std::nullopt;
        }
        if (matches(*shown[size_t(column)], dataSet.cellAt(row, shown[size_t(column)]->index())))
            return Place { row, column };
    }
    return std::nullopt;
}
