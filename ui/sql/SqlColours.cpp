#include "ui/sql/SqlColours.h"

#include "ui/sql/SqlTokens.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <optional>

namespace
{

// Dark colours, readable on the white of the box and of a selection's inverse.
std::optional<QTextCharFormat> formatOf(SqlTokenKind kind)
{
    QTextCharFormat f;
    switch (kind) {
    case SqlTokenKind::Keyword:
        f.setForeground(QColor(0, 0, 160));
        return f;
    case SqlTokenKind::Quoted:
        f.setForeground(QColor(160, 0, 0));
        return f;
    case SqlTokenKind::Number:
        f.setForeground(QColor(128, 0, 128));
        return f;
    case SqlTokenKind::Comment:
        f.setForeground(QColor(110, 110, 110));
        return f;
    case SqlTokenKind::Parameter:
        f.setForeground(QColor(0, 120, 0));
        return f;
    case SqlTokenKind::Word:
    case SqlTokenKind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace

QList<QTextLayout::FormatRange> sqlFormatRanges(const QString& text)
{
    QList<QTextLayout::FormatRange> ranges;
    for (const SqlToken& token : sqlTokens(text)) {
        if (const auto format = formatOf(token.kind))
            ranges.append(QTextLayout::FormatRange { int(token.start), int(token.length), *format });
    }
    return ranges;
}

LineEditSqlColours::LineEditSqlColours(QLineEdit* edit)
    : QObject(edit)
    , m_edit(edit)
{
    connect(edit, &QLineEdit::textChanged, this, &LineEditSqlColours::recolour);
    recolour();
}

void LineEditSqlColours::recolour()
{
    // The event's positions count from the cursor.
    const int cursor = m_edit->cursorPosition();
    QList<QInputMethodEvent::Attribute> attributes;
    for (const QTextLayout::FormatRange& r : sqlFormatRanges(m_edit->text()))
        attributes.append(
            QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, r.start - cursor, r.length, r.format));
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(m_edit, &event);
}

SqlHighlighter::SqlHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document)
{
}

void SqlHighlighter::highlightBlock(const QString& text)
{
    // The editor holds one statement on one line: each block is the whole statement.
    for (const QTextLayout::FormatRange& r : sqlFormatRanges(text))
        setFormat(r.start, r.length, r.format);
}
